// Starts the windowed program in a folder. The program takes no arguments and
// works in its current directory, so the desktop entry that opens a folder
// runs this launcher instead: it enters the folder and replaces itself with
// the program. Without an argument (the menu) the program starts where the
// launcher was started.
//
// A folder that cannot be entered never starts the program anywhere else: the
// operator gets the program's error box and the launcher exits with status 1.

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QString>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "application.h"
#include "dialogs.h"
#include "errors.h"
#include "program.h"

#ifndef ABSENCE_LIBEXEC_TO_BIN
#error "ABSENCE_LIBEXEC_TO_BIN must name the bin folder relative to the launcher's"
#endif

namespace {

constexpr const char *kProgramName = "absence-collector";

std::string Directory(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// The windowed program: beside the launcher in the build tree, else in the
// installed bin folder, found from the launcher's own place so that the
// package and `cmake --install` into any prefix both work.
std::string ProgramPath()
{
    const std::string self = absence::ExecutablePath();
    if (self.empty())
        return std::string(ABSENCE_INSTALL_BINDIR) + '/' + kProgramName;
    const std::string here = Directory(self);
    const std::string beside = here + '/' + kProgramName;
    if (access(beside.c_str(), X_OK) == 0)
        return beside;
    return here + '/' + ABSENCE_LIBEXEC_TO_BIN + '/' + kProgramName;
}

// The message goes to standard error always, and into the program's error
// box when there is a display to show it on.
int Fail(int argc, char **argv, const std::string &program, const QString &message, int status)
{
    const QString text = absence::ErrorReportText(message);
    std::fprintf(stderr, "%s: %s\n", kProgramName, text.toLocal8Bit().constData());
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        return status;

    QApplication app(argc, argv);
    absence::ui::InitialiseApplication();
    absence::ui::CentredMessageBox box;
    box.setIcon(QMessageBox::Critical);
    // Titled like the program's own boxes, not after the launcher.
    box.setWindowTitle(absence::ui::ApplicationTitleFor(QFile::decodeName(program.c_str())));
    box.setText(text);
    box.setTextFormat(Qt::PlainText);
    QPushButton *ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string program = ProgramPath();

    if (argc > 2) {
        std::fprintf(stderr, "usage: %s [FOLDER]\n", argv[0]);
        return 2;
    }
    if (argc == 2) {
        if (chdir(argv[1]) != 0) {
            const QString folder = QFile::decodeName(argv[1]);
            return Fail(argc, argv, program, QStringLiteral("ﾌｫﾙﾀﾞ %1 は開けません").arg(folder), 1);
        }
        // The shell's idea of the current directory follows the change, for
        // anything the program starts.
        char cwd[PATH_MAX];
        if (getcwd(cwd, sizeof cwd))
            setenv("PWD", cwd, 1);
    }

    char *const programArgv[] = {const_cast<char *>(kProgramName), nullptr};
    execv(program.c_str(), programArgv);
    const int error = errno;
    std::fprintf(stderr, "%s: %s: %s\n", kProgramName, program.c_str(), std::strerror(error));
    return Fail(argc, argv, program, absence::FileOpenError(QFile::decodeName(program.c_str())).message(), 127);
}
