#include "pages.h"

#include "day_tally.h"
#include "faces.h"
#include "absence_list.h"
#include "list_pages.h"

#include <QFile>
#include <QGuiApplication>
#include <QStandardPaths>
#include <vector>

namespace cli {

bool CanWritePdf()
{
    return true;
}

std::unique_ptr<QCoreApplication> MakeApplication(int &argc, char **argv, bool drawsPages)
{
    if (!drawsPages)
        return std::make_unique<QCoreApplication>(argc, argv);
    // "-platform offscreen" after the program's own arguments: Qt takes it
    // out again, and it wins over QT_QPA_PLATFORM.
    static std::vector<char *> arguments;
    static char platformFlag[] = "-platform";
    static char offscreen[] = "offscreen";
    arguments.assign(argv, argv + argc);
    arguments.push_back(platformFlag);
    arguments.push_back(offscreen);
    arguments.push_back(nullptr);
    argc += 2;
    // Where fontconfig does not list the faces (Windows), the offscreen
    // platform reads the font files of one folder: the system's, which holds
    // the Japanese faces, rather than a "fonts" folder beside Qt's own.
    if (qEnvironmentVariableIsEmpty("QT_QPA_FONTDIR")) {
        const QString fonts = QStandardPaths::writableLocation(QStandardPaths::FontsLocation);
        qputenv("QT_QPA_FONTDIR", QFile::encodeName(fonts));
    }
    auto app = std::make_unique<QGuiApplication>(argc, arguments.data());
    absence::ui::InstallFaceSubstitutes();
    return app;
}

void WritePdf(const QString &path, const QDate &day, const absence::AbsenceList &list)
{
    absence::ui::WriteListPdf(path, absence::ui::DayCaption(day), absence::ui::ListText(list));
}

void WriteSheet(const QString &path, const QDate &day, const absence::AbsenceList &list)
{
    absence::ui::WriteSheetPdf(path, absence::ui::DayCaption(day),
                               absence::ui::MakeSheetText(absence::TallyDay(list, day), list.Lines()));
}

} // namespace cli
