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
#include <QUuid>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

#include "support.h"

namespace {

const QString kBuildUi = QStringLiteral(ABSENCE_BINARY_DIR "/ui");

// Generous watchdogs: starting Qt on a virtual display while CI builds beside
// it has taken over 20 s. Every wait below ends on the event itself.
constexpr int kPatienceMs = 60000;

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

// Ends `pid` with `sig` and waits until it has exited: its pidfd becomes
// readable then (it need not be our child, and need not be reaped).
bool Stop(pid_t pid, int sig, int ms)
{
    // glibc 2.36's <sys/pidfd.h> declares pidfd_open() without C linkage.
    const int fd = int(::syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0)
        return errno == ESRCH;
    ::kill(pid, sig);
    pollfd ended{fd, POLLIN, 0};
    const bool gone = ::poll(&ended, 1, ms) == 1;
    ::close(fd);
    return gone;
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
        // -noreset: by default the server resets whenever its last client
        // leaves (an error box closed, a probe done), and refuses the clients
        // that connect meanwhile.
        m_xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                              QStringLiteral("-noreset"), QStringLiteral("-screen"),
                                              QStringLiteral("0"), QStringLiteral("1280x1024x24"),
                                              QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        ASSERT_TRUE(m_xvfb.waitForStarted(10000));
        QByteArray number;
        while (!number.contains('\n') && m_xvfb.waitForReadyRead(kPatienceMs))
            number += m_xvfb.readAllStandardOutput();
        ASSERT_TRUE(number.contains('\n')) << "Xvfb gave no display number";
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
                if (!Stop(pid, SIGTERM, 5000))
                    Stop(pid, SIGKILL, 5000);
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

    // The process whose window titled exactly `title` is mapped on the
    // display, once it is; 0 when none comes. xdotool's --sync waits for it
    // over one connection.
    pid_t WindowOwner(const QString &title) const
    {
        QProcess xdotool;
        xdotool.setProcessEnvironment(m_env);
        xdotool.start(QStringLiteral("xdotool"),
                      {QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                       QStringLiteral("--name"), QLatin1Char('^') + title + QLatin1Char('$'),
                       QStringLiteral("getwindowpid")});
        if (!xdotool.waitForFinished(kPatienceMs)) {
            xdotool.kill();
            xdotool.waitForFinished();
            return 0;
        }
        return xdotool.exitCode() == 0 ? pid_t(xdotool.readAllStandardOutput().trimmed().toInt()) : 0;
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
    QFile data(folder + QLatin1Char('/') + testsupport::DataName(0));
    ASSERT_TRUE(data.open(QIODevice::WriteOnly));
    data.write(testsupport::Sj(QStringLiteral("*7:45:10 1-2=山田 太郎 発熱のため欠席\r\n")));
    data.close();

    Launch(folder);

    const pid_t pid = WindowOwner(QStringLiteral("欠席連絡集積"));
    ASSERT_NE(pid, 0) << "no start window on " << m_display.toStdString() << "; stderr: " << Stderr().toStdString();
    EXPECT_TRUE(Processes(Program(), m_marker).contains(pid)) << "the window is not the program's";
    EXPECT_EQ(QFile::symLinkTarget(QStringLiteral("/proc/%1/cwd").arg(pid)), QFileInfo(folder).canonicalFilePath());
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

        const pid_t launcher = WindowOwner(QStringLiteral("absence-collector"));
        EXPECT_NE(launcher, 0) << "no error box; stderr: " << Stderr().toStdString();
        EXPECT_TRUE(Processes(Launcher(), m_marker).contains(launcher)) << "the box is not the launcher's";
        EXPECT_TRUE(Stderr().contains(QStringLiteral("ﾌｫﾙﾀﾞ %1 は開けません.").arg(folder))) << Stderr().toStdString();
        EXPECT_TRUE(Processes(Program(), m_marker).isEmpty()) << "the program started elsewhere";

        if (launcher) {
            EXPECT_TRUE(Stop(launcher, SIGTERM, kPatienceMs)) << "the launcher outlived its error box";
        }
        QFile::remove(StderrPath());
    }
}

} // namespace
