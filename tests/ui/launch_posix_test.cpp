// The desktop entry for folders, started the way a desktop starts it: glib's
// `gio launch ENTRY FOLDER` on a virtual X display of the test's own. The
// program must start in the folder with its start window shown; a folder that
// cannot be entered must show the error box and start no program at all.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/types.h>

#include "services.h"

namespace {

const QString kBuildUi = QStringLiteral(ABSENCE_BINARY_DIR "/ui");

// Generous: starting Qt on a virtual display while CI builds beside it has
// taken over 20 s; only a failing run waits this long.
bool WaitFor(const std::function<bool()> &done, int ms = 60000)
{
    for (int waited = 0; waited < ms; waited += 50) {
        if (done())
            return true;
        QThread::msleep(50);
    }
    return done();
}

// Processes running `exe` that carry this test's marker in their environment
// (other suites may run the same programs at the same time).
QList<pid_t> Processes(const QString &exe, const QByteArray &marker)
{
    QList<pid_t> found;
    const QString wanted = QFileInfo(exe).canonicalFilePath();
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const pid_t pid = entry.toInt(&number);
        if (!number)
            continue;
        const QString base = QStringLiteral("/proc/") + entry;
        if (QFile::symLinkTarget(base + QStringLiteral("/exe")) != wanted)
            continue;
        QFile environ(base + QStringLiteral("/environ"));
        if (environ.open(QIODevice::ReadOnly) && environ.readAll().split('\0').contains(marker))
            found << pid;
    }
    return found;
}

bool Gone(pid_t pid)
{
    // A zombie no longer has an executable.
    return QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid)).isEmpty();
}

class LaunchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *tool : {"Xvfb", "gio", "xdotool"})
            ASSERT_FALSE(QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                << tool << " is missing (scripts/install-deps installs it)";
        ASSERT_TRUE(m_root.isValid());

        // Xvfb picks a free display and writes its number on -displayfd.
        m_xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                              QStringLiteral("-screen"), QStringLiteral("0"),
                                              QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                                              QStringLiteral("tcp")});
        ASSERT_TRUE(m_xvfb.waitForStarted(10000));
        QByteArray number;
        ASSERT_TRUE(WaitFor([&] {
            m_xvfb.waitForReadyRead(50);
            number += m_xvfb.readAllStandardOutput();
            return number.contains('\n');
        }));
        m_display = QStringLiteral(":") + QString::fromLatin1(number.trimmed());

        m_env = QProcessEnvironment::systemEnvironment();
        m_env.remove(QStringLiteral("QT_QPA_PLATFORM")); // the suite's own, not the program's
        m_env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        m_env.remove(QStringLiteral("LC_ALL"));
        // On a real X display libxkbcommon-x11 strndup()s counted strings out
        // of the server's replies, which are not NUL-terminated: AddressSanitizer's
        // strict string checks take that for an overflow inside the library.
        QString asan = m_env.value(QStringLiteral("ASAN_OPTIONS"));
        if (!asan.isEmpty())
            m_env.insert(QStringLiteral("ASAN_OPTIONS"),
                         asan.replace(QStringLiteral("strict_string_checks=1"),
                                      QStringLiteral("strict_string_checks=0")));
        m_env.insert(QStringLiteral("DISPLAY"), m_display);
        m_env.insert(QStringLiteral("LANG"), QStringLiteral("ja_JP.UTF-8"));
        // No session bus and no gvfs daemons may be started and left behind.
        m_env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent"));
        m_env.insert(QStringLiteral("GIO_USE_VFS"), QStringLiteral("local"));
        m_env.insert(QString::fromLatin1(m_marker.left(m_marker.indexOf('='))),
                     QString::fromLatin1(m_marker.mid(m_marker.indexOf('=') + 1)));
    }

    void TearDown() override
    {
        for (const QString &exe : {Program(), Launcher()}) {
            for (pid_t pid : Processes(exe, m_marker)) {
                ::kill(pid, SIGTERM);
                if (!WaitFor([pid] { return Gone(pid); }, 5000))
                    ::kill(pid, SIGKILL);
            }
        }
        m_xvfb.terminate();
        if (!m_xvfb.waitForFinished(5000))
            m_xvfb.kill();
        m_xvfb.waitForFinished(5000);
    }

    static QString Program() { return kBuildUi + QStringLiteral("/absence-collector"); }
    static QString Launcher() { return kBuildUi + QStringLiteral("/absence-collector-open"); }

    // `gio launch` of the build tree's desktop entry on `folder`, from the
    // test's root folder; its standard error (and the launcher's) goes to a file.
    void Launch(const QString &folder)
    {
        QProcess gio;
        gio.setProcessEnvironment(m_env);
        gio.setWorkingDirectory(m_root.path());
        gio.setStandardErrorFile(StderrPath(), QIODevice::Append);
        gio.start(QStringLiteral("gio"),
                  {QStringLiteral("launch"), kBuildUi + QStringLiteral("/jp.school.AbsenceCollector.desktop"), folder});
        ASSERT_TRUE(gio.waitForFinished(30000));
        ASSERT_EQ(gio.exitCode(), 0) << Stderr().toStdString();
    }

    QString StderrPath() const { return m_root.filePath(QStringLiteral("stderr.txt")); }
    QString Stderr() const
    {
        QFile file(StderrPath());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // Whether `pid` shows a window titled exactly `title` on the display.
    bool ShowsWindow(pid_t pid, const QString &title) const
    {
        QProcess xdotool;
        xdotool.setProcessEnvironment(m_env);
        xdotool.start(QStringLiteral("xdotool"),
                      {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
                       QStringLiteral("--pid"), QString::number(pid), QStringLiteral("--name"),
                       QLatin1Char('^') + title + QLatin1Char('$')});
        return xdotool.waitForFinished(10000) && xdotool.exitCode() == 0
               && !xdotool.readAllStandardOutput().trimmed().isEmpty();
    }

    QTemporaryDir m_root;
    QProcess m_xvfb;
    QString m_display;
    QProcessEnvironment m_env;
    const QByteArray m_marker = "ABSENCE_LAUNCH_TEST=" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
};

TEST_F(LaunchTest, OpeningAFolderStartsTheProgramThereWithItsStartWindow)
{
    const QString folder = m_root.filePath(QStringLiteral("欠席連絡 12月8日 事務室"));
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile data(folder + QStringLiteral("/2026-12-08A0.TXT"));
    ASSERT_TRUE(data.open(QIODevice::WriteOnly));
    data.write(absence::ToCp932(QStringLiteral("*7:45:10 1-2=山田 太郎 発熱のため欠席\r\n")));
    data.close();

    Launch(folder);

    pid_t pid = 0;
    ASSERT_TRUE(WaitFor([&] {
        const QList<pid_t> found = Processes(Program(), m_marker);
        pid = found.isEmpty() ? 0 : found.first();
        return pid != 0;
    })) << "no absence-collector started; stderr: " << Stderr().toStdString();
    EXPECT_EQ(QFile::symLinkTarget(QStringLiteral("/proc/%1/cwd").arg(pid)), QFileInfo(folder).canonicalFilePath());
    EXPECT_TRUE(WaitFor([&] { return ShowsWindow(pid, QStringLiteral("欠席連絡集積")); }))
        << "no start window on " << m_display.toStdString() << "; stderr: " << Stderr().toStdString();
}

TEST_F(LaunchTest, AFolderThatCannotBeEnteredShowsTheErrorBoxAndStartsNothing)
{
    const QString file = m_root.filePath(QStringLiteral("ただの ファイル.TXT"));
    QFile plain(file);
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();

    for (const QString &folder : {m_root.filePath(QStringLiteral("無い フォルダ")), file}) {
        SCOPED_TRACE(folder.toStdString());
        Launch(folder);

        pid_t launcher = 0;
        EXPECT_TRUE(WaitFor([&] {
            const QList<pid_t> found = Processes(Launcher(), m_marker);
            launcher = found.isEmpty() ? 0 : found.first();
            return launcher != 0 && ShowsWindow(launcher, QStringLiteral("absence-collector"));
        })) << "no error box; stderr: " << Stderr().toStdString();
        EXPECT_TRUE(Stderr().contains(QStringLiteral("ﾌｫﾙﾀﾞ %1 は開けません.").arg(folder))) << Stderr().toStdString();
        EXPECT_TRUE(Processes(Program(), m_marker).isEmpty()) << "the program started elsewhere";

        if (launcher) {
            ::kill(launcher, SIGTERM);
            EXPECT_TRUE(WaitFor([launcher] { return Gone(launcher); }, 10000));
        }
        QFile::remove(StderrPath());
    }
}

} // namespace
