// Hostile file systems: full, read-only, unreadable, linked, huge. The
// program reports the error the operator should see and never damages the
// record it already wrote.

#include "day_data.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using namespace testsupport;

namespace {

QByteArray OldRecord(int lines)
{
    QByteArray bytes = Sj(QStringLiteral("最終更新：2026/12/07 17:45:10")) + "\r\n";
    for (int n = 0; n < lines; ++n)
        bytes += AbsenceLine(quint32(700000 + n)) + "\r\n";
    return bytes;
}

// The error line as the front end prints it (UTF-8, the error box's ".").
QString CreateError(const QString &path)
{
    return QStringLiteral("ﾌｧｲﾙ %1 を作成できません.\n").arg(path);
}

class TmpfsMount {
public:
    TmpfsMount(const QString &path, const char *options) : m_path(QFile::encodeName(path))
    {
        ::mkdir(m_path.constData(), 0755);
        if (::mount("tmpfs", m_path.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options) == 0)
            m_mounted = true;
        else
            m_error = std::strerror(errno);
    }
    ~TmpfsMount()
    {
        if (m_mounted)
            ::umount2(m_path.constData(), MNT_DETACH);
    }
    bool Mounted() const { return m_mounted; }
    std::string Error() const { return m_error; }

private:
    QByteArray m_path;
    bool m_mounted = false;
    std::string m_error;
};

} // namespace

TEST(HostileFileSystem, FullFileSystemKeepsEarlierRecord)
{
    if (CliPath().isEmpty())
        GTEST_SKIP() << "the command-line front end is not built";
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root; running as uid " << ::geteuid();
    DayDir base;
    ASSERT_TRUE(base.isValid());
    const QString fs = base.file(QStringLiteral("fs"));
    TmpfsMount mount(fs, "size=1m,nr_inodes=40,mode=0755");
    if (!mount.Mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here: " << mount.Error();

    QByteArray day;
    for (quint32 n = 0; n < 3000; ++n)
        day += AbsenceLine(n) + "\r\n";
    ASSERT_TRUE(WriteFile(fs + QLatin1Char('/') + DataName(0), day));
    const QByteArray oldRecord = OldRecord(500);
    const QString record = fs + QLatin1Char('/') + RecordName();
    ASSERT_TRUE(WriteFile(record, oldRecord));

    // No room for the new record's bytes.
    struct statvfs st {};
    ASSERT_EQ(::statvfs(QFile::encodeName(fs).constData(), &st), 0);
    const qint64 free = qint64(st.f_bavail) * qint64(st.f_frsize);
    ASSERT_GT(free, 16 * 1024);
    ASSERT_TRUE(WriteFile(fs + QStringLiteral("/filler"), QByteArray(free - 16 * 1024, 'x')));
    const QStringList before = QDir(fs).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);

    const CliResult noSpace = RunCli(DayArgs(fs, {QStringLiteral("collect"), QStringLiteral("save")}));
    EXPECT_EQ(noSpace.exitCode, 1);
    EXPECT_TRUE(noSpace.errText() == QStringLiteral("ｽﾄﾘｰﾑへの書き込みｴﾗｰ.\n")
                || noSpace.errText() == CreateError(record))
        << noSpace.errText().toStdString();
    EXPECT_EQ(ReadFile(record), oldRecord);
    EXPECT_EQ(QDir(fs).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), before);

    // No inode left: the temporary file cannot even be created.
    ASSERT_TRUE(QFile::remove(fs + QStringLiteral("/filler")));
    int made = 0;
    for (;; ++made) {
        const QByteArray name = QFile::encodeName(fs + QStringLiteral("/inode%1").arg(made));
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0) {
            ASSERT_EQ(errno, ENOSPC);
            break;
        }
        ::close(fd);
    }
    const CliResult noInode = RunCli(DayArgs(fs, {QStringLiteral("collect"), QStringLiteral("save")}));
    EXPECT_EQ(noInode.exitCode, 1);
    EXPECT_EQ(noInode.errText(), CreateError(record));
    EXPECT_EQ(ReadFile(record), oldRecord);

    // With room again, the same save goes through.
    for (int k = 0; k < made; ++k)
        QFile::remove(fs + QStringLiteral("/inode%1").arg(k));
    const CliResult roomy = RunCli(DayArgs(fs, {QStringLiteral("collect"), QStringLiteral("save")}));
    EXPECT_EQ(roomy.exitCode, 0) << roomy.errText().toStdString();
    EXPECT_EQ(SplitCrLf(ReadFile(record)).size(), 3001);
}

TEST(HostileFileSystem, ReadOnlyDirectoryGivesCreationError)
{
    if (CliPath().isEmpty())
        GTEST_SKIP() << "the command-line front end is not built";
    DayDir dir;
    ASSERT_TRUE(dir.isValid());
    WriteDay(dir, 2, 100);
    const QByteArray oldRecord = OldRecord(20);
    dir.write(RecordName(), oldRecord);
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0555), 0);

    CliRun collect;
    collect.unprivileged = true;
    collect.args = DayArgs(dir.path(), {QStringLiteral("collect"), QStringLiteral("print")});
    const CliResult reading = RunCli(collect);
    ASSERT_EQ(reading.exitCode, 0) << "the unprivileged user cannot even read the day: "
                                   << reading.errText().toStdString();
    EXPECT_EQ(reading.out.count('\n'), 200);

    CliRun save = collect;
    save.args = DayArgs(dir.path(), {QStringLiteral("collect"), QStringLiteral("save")});
    const CliResult saving = RunCli(save);
    EXPECT_EQ(saving.exitCode, 1);
    EXPECT_EQ(saving.errText(), CreateError(dir.file(RecordName())));
    EXPECT_EQ(dir.read(RecordName()), oldRecord);
    EXPECT_EQ(dir.entries().size(), 3);
    if (!DropsPrivileges())
        Figure(QStringLiteral("read-only directory: ran as uid %1 (not root), no user switch").arg(::geteuid()));
}

TEST(HostileFileSystem, UnreadableDataFileGivesAccessDenied)
{
    if (CliPath().isEmpty())
        GTEST_SKIP() << "the command-line front end is not built";
    DayDir dir;
    ASSERT_TRUE(dir.isValid());
    WriteDay(dir, 3, 50);
    ASSERT_EQ(::chmod(QFile::encodeName(dir.file(DataName(1))).constData(), 0), 0);

    CliRun options;
    options.unprivileged = true;
    options.args = DayArgs(dir.path(), {QStringLiteral("collect"), QStringLiteral("save")});
    const CliResult run = RunCli(options);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.errText(), QStringLiteral("ﾌｧｲﾙへのｱｸｾｽが拒否されました.\n"));
    // The run stopped there: nothing was saved.
    EXPECT_FALSE(QFile::exists(dir.file(RecordName())));
}

// A folder the operator may enter but not list: the day's files are read by
// their exact names, and a missing one is absent, since no other spelling of
// it can be seen there (this one is not read).
TEST(HostileFileSystem, FolderThatCannotBeListedIsReadByExactNames)
{
    if (CliPath().isEmpty())
        GTEST_SKIP() << "the command-line front end is not built";
    DayDir dir;
    ASSERT_TRUE(dir.isValid());
    WriteDay(dir, 3, 40);
    dir.write(DayFile(QStringLiteral("a5.txt")), AbsenceLine(999) + "\r\n");
    dir.write(RecordName(), OldRecord(7));
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0111), 0);

    CliRun options;
    options.unprivileged = true;
    options.args = DayArgs(dir.path(), {QStringLiteral("collect"), QStringLiteral("print"), QStringLiteral("open"),
                                        QStringLiteral("print")});
    const CliResult run = RunCli(options);
    EXPECT_EQ(run.exitCode, 0) << run.errText().toStdString();
    EXPECT_EQ(run.out.count('\n'), 120 + 8);
}

// A record file name that is a symbolic link: the link stays and the file it
// points to is replaced, so a record kept elsewhere (say on a shared folder)
// is updated where it lies. A dangling link gets its target created; a link
// that points to itself is replaced by the record.
TEST(HostileFileSystem, RecordBehindSymbolicLink)
{
    if (CliPath().isEmpty())
        GTEST_SKIP() << "the command-line front end is not built";
    DayDir dir, store;
    ASSERT_TRUE(dir.isValid() && store.isValid());
    WriteDay(dir, 3, 200);
    const QStringList collectSave{QStringLiteral("collect"), QStringLiteral("save")};
    ASSERT_EQ(RunCli(DayArgs(dir.path(), collectSave)).exitCode, 0);
    const QByteArray newRecord = dir.read(RecordName());
    ASSERT_TRUE(QFile::remove(dir.file(RecordName())));

    const QString target = store.file(QStringLiteral("kept.TXT"));
    const QByteArray oldRecord = OldRecord(30);
    store.write(QStringLiteral("kept.TXT"), oldRecord);
    const QByteArray link = QFile::encodeName(dir.file(RecordName()));
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), link.constData()), 0);
    auto isLinkToTarget = [&] {
        struct stat st {};
        return ::lstat(link.constData(), &st) == 0 && S_ISLNK(st.st_mode)
               && QFile::symLinkTarget(dir.file(RecordName())) == target;
    };

    const CliResult opened = RunCli(DayArgs(dir.path(), {QStringLiteral("open"), QStringLiteral("print")}));
    EXPECT_EQ(opened.exitCode, 0) << opened.errText().toStdString();
    EXPECT_EQ(opened.out.count('\n'), 31);

    const CliResult saved = RunCli(DayArgs(dir.path(), collectSave));
    EXPECT_EQ(saved.exitCode, 0) << saved.errText().toStdString();
    EXPECT_TRUE(isLinkToTarget());
    EXPECT_EQ(ReadFile(target), newRecord);
    EXPECT_EQ(store.entries(), QStringList{QStringLiteral("kept.TXT")});
    EXPECT_EQ(dir.entries().size(), 4);

    // Dangling: opening fails clearly, saving creates the target.
    ASSERT_TRUE(QFile::remove(target));
    const CliResult openDangling = RunCli(DayArgs(dir.path(), {QStringLiteral("open")}));
    EXPECT_EQ(openDangling.exitCode, 1);
    EXPECT_EQ(openDangling.errText(), QStringLiteral("ﾌｧｲﾙ %1 は開けません.\n").arg(dir.file(RecordName())));
    const CliResult saveDangling = RunCli(DayArgs(dir.path(), collectSave));
    EXPECT_EQ(saveDangling.exitCode, 0) << saveDangling.errText().toStdString();
    EXPECT_TRUE(isLinkToTarget());
    EXPECT_EQ(ReadFile(target), newRecord);

    // A link to itself holds nothing; the save puts the record in its place.
    ASSERT_EQ(::unlink(link.constData()), 0);
    ASSERT_EQ(::symlink(RecordName().toUtf8().constData(), link.constData()), 0);
    const CliResult saveLoop = RunCli(DayArgs(dir.path(), collectSave));
    EXPECT_EQ(saveLoop.exitCode, 0) << saveLoop.errText().toStdString();
    EXPECT_EQ(dir.read(RecordName()), newRecord);
    EXPECT_EQ(dir.entries().size(), 4);
}

// A named pipe, a device or a socket named like a day's file is never opened
// for reading: it could hold the run for ever or feed it without end. It is
// told as a folder bearing the name is, at once; a save puts a real record
// in its place.
TEST(HostileFileSystem, PipesDevicesAndSocketsNamedLikeDayFilesAreNotRead)
{
    if (CliPath().isEmpty())
        GTEST_SKIP() << "the command-line front end is not built";
    DayDir dir;
    ASSERT_TRUE(dir.isValid());
    WriteDay(dir, 3, 10);
    const QString data1 = dir.file(DataName(1)), record = dir.file(RecordName());
    const QByteArray data1Name = QFile::encodeName(data1);
    ASSERT_TRUE(QFile::remove(data1));

    // A watchdog, not a time limit: a run that waits on a pipe never ends.
    auto runGuarded = [&](const QStringList &commands) {
        CliRun options;
        options.args = DayArgs(dir.path(), commands);
        return CliProcess(options).Wait(30000);
    };
    auto expectDenied = [&](const char *what) {
        SCOPED_TRACE(what);
        const CliResult run = runGuarded({QStringLiteral("collect"), QStringLiteral("print")});
        ASSERT_TRUE(run.finished) << "collect waited on it until killed";
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.errText(), QStringLiteral("ﾌｧｲﾙへのｱｸｾｽが拒否されました.\n"));
        EXPECT_TRUE(run.out.isEmpty());
    };

    ASSERT_EQ(::mkfifo(data1Name.constData(), 0644), 0);
    const int silent = ::open(data1Name.constData(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(silent, 0);
    expectDenied("a named pipe a writer holds open without writing");
    ::close(silent);
    // Fed without end as soon as anyone opens it for reading.
    QProcess feeder;
    feeder.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("exec yes > \"$0\""), data1});
    ASSERT_TRUE(feeder.waitForStarted());
    expectDenied("a named pipe fed without end");
    feeder.kill();
    feeder.waitForFinished();
    ASSERT_EQ(::unlink(data1Name.constData()), 0);

    if (::mknod(data1Name.constData(), S_IFCHR | 0644, makedev(1, 5)) == 0) { // /dev/zero's numbers
        expectDenied("a device");
        ASSERT_EQ(::unlink(data1Name.constData()), 0);
    } else {
        Figure(QStringLiteral("no device node made (uid %1): %2").arg(::geteuid()).arg(QString::fromLocal8Bit(std::strerror(errno))));
    }

    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(size_t(data1Name.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, data1Name.constData(), size_t(data1Name.size()));
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    expectDenied("a socket");
    ::close(listener);
    ASSERT_EQ(::unlink(data1Name.constData()), 0);

    ASSERT_EQ(::mkfifo(QFile::encodeName(record).constData(), 0644), 0);
    const CliResult opened = runGuarded({QStringLiteral("open"), QStringLiteral("print")});
    ASSERT_TRUE(opened.finished) << "open waited on the named pipe until killed";
    EXPECT_EQ(opened.exitCode, 1);
    EXPECT_EQ(opened.errText(), QStringLiteral("ﾌｧｲﾙ %1 は開けません.\n").arg(record));
    const CliResult saved = runGuarded({QStringLiteral("collect"), QStringLiteral("save")});
    ASSERT_TRUE(saved.finished);
    EXPECT_EQ(saved.exitCode, 0) << saved.errText().toStdString();
    EXPECT_EQ(SplitCrLf(dir.read(RecordName())).size(), 21);
}

// A station's file that grows while it is read (where no lease keeps the
// writer out: another user's file, no helper) is read to the size it had
// when opened, so a writer faster than the reader cannot hold the run.
TEST(HostileFileSystem, DataFileGrowingWhileReadIsReadToItsSizeAtOpen)
{
    if (CliPath().isEmpty() || !DropsPrivileges())
        GTEST_SKIP() << "needs the command-line front end and root (to switch users); uid " << ::geteuid();
    DayDir dir;
    ASSERT_TRUE(dir.isValid());
    const int lines = 100000;
    WriteDay(dir, 1, lines); // root's: the operator gets no lease on it
    const QByteArray data0 = QFile::encodeName(dir.file(DataName(0)));
    const int writer = ::open(data0.constData(), O_WRONLY | O_APPEND);
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_TRUE(writer >= 0 && watch >= 0 && ::inotify_add_watch(watch, data0.constData(), IN_ACCESS) >= 0);

    CliRun options;
    options.unprivileged = true;
    options.standardOutputFile = dir.file(QStringLiteral("out"));
    options.args = DayArgs(dir.path(), {QStringLiteral("collect"), QStringLiteral("print")});
    CliProcess run(options);
    // From its first read on, the file grows faster than it is read.
    pollfd first{watch, POLLIN, 0};
    ASSERT_EQ(::poll(&first, 1, 30000), 1) << "the front end never read " << data0.constData();
    QByteArray more;
    for (quint32 n = 0; n < 2000; ++n)
        more += AbsenceLine(900000 + n) + "\r\n";
    for (int k = 0; k < 100 && !run.Ended(); ++k)
        ASSERT_EQ(::write(writer, more.constData(), size_t(more.size())), more.size());
    const CliResult result = run.Wait(60000);
    ::close(writer);
    ::close(watch);
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0) << result.errText().toStdString();
    EXPECT_EQ(ReadFile(options.standardOutputFile).count('\n'), lines);
}

TEST(HostileFileSystem, HugeRecordLoadsAndSaves)
{
    if (CliPath().isEmpty())
        GTEST_SKIP() << "the command-line front end is not built";
    DayDir dir;
    ASSERT_TRUE(dir.isValid());
    const qint64 size = qint64(qEnvironmentVariableIntValue("ABSENCE_HUGE_MB") > 0
                                   ? qEnvironmentVariableIntValue("ABSENCE_HUGE_MB") : 200) << 20;
    // A forked child starts with our resident pages: the floor of the figure.
    const long floorKb = RunCliMeasured(QStringList{QStringLiteral("--help")}).peakRssKb;
    // No last-update line in it, so the save adds one and keeps every line.
    QByteArray old;
    old.reserve(size + 256);
    LineDigest expected;
    for (quint32 n = 0; old.size() < size; ++n) {
        const QByteArray line = PadHour(AbsenceLine(n));
        old += line;
        old += "\r\n";
        expected.Add(line);
    }
    expected.Add(StampLine());
    ASSERT_TRUE(WriteFile(dir.file(RecordName()), old));
    const qint64 oldSize = old.size();
    old = QByteArray();

    const CliResult run = RunCliMeasured(DayArgs(dir.path(), {QStringLiteral("open"), QStringLiteral("save")}));
    ASSERT_EQ(run.exitCode, 0) << run.errText().toStdString();
    const QByteArray saved = dir.read(RecordName());
    EXPECT_EQ(saved.size(), oldSize + StampLine().size() + 2);
    EXPECT_TRUE(DigestRecord(saved) == expected);
    EXPECT_EQ(dir.entries().size(), 1);
    Figure(QStringLiteral("record of %1 MB (%2 lines): open save in %3 s, peak RSS %4 MB = %5 x "
                          "the file (floor %6 MB)")
               .arg(double(oldSize) / (1 << 20), 0, 'f', 1).arg(expected.count - 1)
               .arg(run.seconds, 0, 'f', 1).arg(run.peakRssKb / 1024)
               .arg(double(run.peakRssKb) * 1024 / double(oldSize), 0, 'f', 2).arg(floorKb / 1024));
}

namespace {

bool Chown(const QString &path, uid_t uid, gid_t gid)
{
    return ::lchown(QFile::encodeName(path).constData(), uid, gid) == 0;
}

// Files held open by this test, links planted by `stranger` and the record's
// group, for an operator who owns the folder and its files.
void CheckHeldFilesAndPlantedLinks(bool unprivileged, uid_t stranger)
{
    const uid_t op = unprivileged ? UnprivilegedUid() : ::geteuid();
    DayDir dir, store;
    ASSERT_TRUE(dir.isValid() && store.isValid());
    WriteDay(dir, 3, 20);
    const QByteArray oldRecord = OldRecord(10);
    dir.write(RecordName(), oldRecord);
    for (const QString &name : dir.entries() + QStringList{QString()}) // and the folder itself
        ASSERT_TRUE(Chown(dir.file(name), op, op));
    const QString record = dir.file(RecordName()), data1 = dir.file(DataName(1));
    const QString cannotOpen = QStringLiteral("ﾌｧｲﾙ %1 は開けません.\n").arg(record);
    // Runs the day's commands; an empty `error` means success is expected.
    auto expectRun = [&](const QStringList &commands, const QString &error) {
        CliRun options;
        options.args = DayArgs(dir.path(), commands);
        options.unprivileged = unprivileged;
        const CliResult run = RunCli(options);
        EXPECT_EQ(run.exitCode, error.isEmpty() ? 0 : 1);
        if (!error.isEmpty()) {
            EXPECT_EQ(run.errText(), error) << commands.join(QLatin1Char(' ')).toStdString();
        }
        EXPECT_TRUE(run.out.isEmpty());
    };
    const QStringList collect{QStringLiteral("collect"), QStringLiteral("print")},
        open{QStringLiteral("open"), QStringLiteral("print")},
        save{QStringLiteral("collect"), QStringLiteral("save")};

    int held = ::open(QFile::encodeName(data1).constData(), O_WRONLY | O_APPEND);
    expectRun(collect, QStringLiteral("I/O ｴﾗｰ (32)\n"));
    ::close(held);
    // A write lease held by another program (a server's oplock): held too.
    const auto oldSigio = ::signal(SIGIO, SIG_IGN); // the break it asks for
    held = ::open(QFile::encodeName(data1).constData(), O_RDONLY);
    ASSERT_EQ(::fcntl(held, F_SETLEASE, F_WRLCK), 0) << std::strerror(errno);
    expectRun(collect, QStringLiteral("I/O ｴﾗｰ (32)\n"));
    ::close(held);
    ::signal(SIGIO, oldSigio);
    held = ::open(QFile::encodeName(record).constData(), O_RDONLY);
    expectRun(open, cannotOpen);
    expectRun(save, CreateError(record));
    EXPECT_EQ(dir.read(RecordName()), oldRecord);
    ::close(held);

    // Links to a file only the operator may read.
    const QString secret = store.file(QStringLiteral("secret.TXT"));
    const QByteArray secretBytes = AbsenceLine(424242) + "\r\n";
    store.write(QStringLiteral("secret.TXT"), secretBytes);
    ASSERT_TRUE(Chown(secret, op, op) && ::chmod(QFile::encodeName(secret).constData(), 0600) == 0);
    auto plant = [&](const QString &path) {
        return QFile::remove(path) && QFile::link(secret, path) && Chown(path, stranger, stranger);
    };
    ASSERT_TRUE(plant(data1));
    expectRun(collect, QStringLiteral("ﾌｧｲﾙへのｱｸｾｽが拒否されました.\n"));
    ASSERT_TRUE(QFile::remove(data1) && plant(record));
    expectRun(open, cannotOpen);
    expectRun(save, CreateError(record));
    EXPECT_EQ(ReadFile(secret), secretBytes);
    EXPECT_EQ(QFile::symLinkTarget(record), secret);
    EXPECT_EQ(dir.entries().size(), 3);

    // The operator's own links, whose way runs through another user's link
    // to a folder of that user's choosing.
    const QString sub = dir.file(QStringLiteral("sub"));
    auto linkThroughSub = [&](const QString &path) {
        return (!QFile::exists(path) || QFile::remove(path))
               && ::symlink("sub/secret.TXT", QFile::encodeName(path).constData()) == 0 && Chown(path, op, op);
    };
    ASSERT_TRUE(QFile::link(store.path(), sub) && Chown(sub, stranger, stranger));
    ASSERT_TRUE(linkThroughSub(data1) && linkThroughSub(record));
    expectRun(collect, QStringLiteral("ﾌｧｲﾙへのｱｸｾｽが拒否されました.\n"));
    ASSERT_TRUE(QFile::remove(data1));
    expectRun(save, CreateError(record));
    EXPECT_EQ(ReadFile(secret), secretBytes);
    ASSERT_TRUE(QFile::remove(sub));

#ifdef ABSENCE_CLI_PDF
    // A PDF written beside the day's files keeps the record's link rule:
    // another user's link, live or dangling, is refused and nothing is made;
    // the operator's own is written through to its target.
    const QString pdf = dir.file(QStringLiteral("list.pdf")), made = store.file(QStringLiteral("made.pdf"));
    for (const QString &to : {secret, made}) {
        ASSERT_TRUE(QFile::link(to, pdf) && Chown(pdf, stranger, stranger));
        expectRun({QStringLiteral("collect"), QStringLiteral("pdf"), pdf}, CreateError(pdf));
        ASSERT_TRUE(QFile::remove(pdf));
    }
    EXPECT_EQ(ReadFile(secret), secretBytes);
    EXPECT_FALSE(QFile::exists(made));
    const QString own = dir.file(QStringLiteral("own.pdf"));
    ASSERT_TRUE(WriteFile(own, "old") && Chown(own, op, op) && QFile::link(own, pdf) && Chown(pdf, op, op));
    expectRun({QStringLiteral("collect"), QStringLiteral("pdf"), pdf}, QString());
    EXPECT_TRUE(ReadFile(own).startsWith("%PDF-"));
    EXPECT_EQ(QFile::symLinkTarget(pdf), own);
    ASSERT_TRUE(QFile::remove(pdf) && QFile::remove(own));
#endif

    // The staff group's record (0664) keeps group and mode; an operator
    // outside that group cannot give it, and it gets the operator's group.
    const gid_t staff = unprivileged ? 0 : Nogroup;
    ASSERT_TRUE(QFile::remove(record) && WriteFile(record, oldRecord) && Chown(record, op, staff)
                && ::chmod(QFile::encodeName(record).constData(), 0664) == 0);
    expectRun(save, QString());
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(record).constData(), &st), 0);
    EXPECT_EQ(st.st_gid, unprivileged ? gid_t(op) : staff);
    EXPECT_EQ(st.st_mode & 07777, 0664u);
    EXPECT_EQ(dir.entries().size(), 3);

    // A record a station made set-user-ID, set-group-ID and executable: the
    // new one keeps its read and write bits only.
    ASSERT_EQ(::chmod(QFile::encodeName(record).constData(), 06777), 0);
    expectRun(save, QString());
    ASSERT_EQ(::stat(QFile::encodeName(record).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0666u);
}

} // namespace

TEST(HostileFileSystem, HeldFilesLinksOfAnotherUserAndGroupInARootFolder)
{
    if (CliPath().isEmpty() || ::geteuid() != 0)
        GTEST_SKIP() << "needs the command-line front end and root (to give links away); uid " << ::geteuid();
    CheckHeldFilesAndPlantedLinks(false, UnprivilegedUid());
}

TEST(HostileFileSystem, HeldFilesLinksOfAnotherUserAndGroupAsAnUnprivilegedOperator)
{
    if (CliPath().isEmpty() || !DropsPrivileges())
        GTEST_SKIP() << "needs the command-line front end and root (to switch users); uid " << ::geteuid();
    // The operator owns the folder and the files, so leases work for it; root
    // is the stranger here.
    CheckHeldFilesAndPlantedLinks(true, 0);
}

// The lease helper is found beside the front end; one that another user put
// beside a copy of it is never run (the operator's own is: it runs as the
// operator anyway).
TEST(HostileFileSystem, LeaseHelperPlantedBesideACopyIsNotRun)
{
    if (CliPath().isEmpty() || !DropsPrivileges())
        GTEST_SKIP() << "needs the command-line front end and root (to switch users); uid " << ::geteuid();
    DayDir copy, dir;
    ASSERT_TRUE(copy.isValid() && dir.isValid());
    WriteDay(dir, 2, 5); // root's: the operator's own lease on them is refused
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);
    const QString cli = copy.file(QStringLiteral("bin/absence-collector-cli")), marker = dir.file(QStringLiteral("ran"));
    const QString helper = QDir::cleanPath(QFileInfo(cli).path() + QLatin1Char('/')
        + QFileInfo(CliPath()).dir().relativeFilePath(LeaseHelperPath()));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(cli).path()) && QFile::copy(CliPath(), cli) && QDir().mkpath(QFileInfo(helper).path())
                && WriteFile(helper, "#!/bin/sh\ntouch '" + QFile::encodeName(marker) + "'\n")
                && ::chmod(QFile::encodeName(helper).constData(), 0755) == 0);
    CliRun options;
    options.unprivileged = true;
    options.executable = cli;
    options.args = DayArgs(dir.path(), {QStringLiteral("collect"), QStringLiteral("print")});
    for (const uid_t owner : {uid_t(12345), UnprivilegedUid()}) {
        SCOPED_TRACE(testing::Message() << "helper of uid " << owner);
        QFile::remove(marker);
        ASSERT_TRUE(Chown(helper, owner, owner));
        const CliResult run = RunCli(options);
        EXPECT_EQ(run.exitCode, 0) << run.errText().toStdString();
        EXPECT_EQ(run.out.count('\n'), 10);
        EXPECT_EQ(QFile::exists(marker), owner == UnprivilegedUid());
    }
}
