// What only POSIX systems have: file leases broken by a writer, links that
// belong to other users, a file size limit, and links named like a killed
// save's leftovers.

#include "program.h"
#include "absence_list.h"
#include "collection.h"
#include "day_files.h"
#include "errors.h"
#include "platform/lease_request.h"
#include "platform/platform.h"
#include "platform/platform_p.h"
#include "platform/posix_p.h"
#include "record_file.h"
#include "support.h"

#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <optional>
#include <thread>
#include <unistd.h>

namespace {
// Lease breaks arrive as SIGIO, which the programs handle from their start.
const bool processPrepared = (absence::PrepareProcess(), true);
} // namespace

using namespace absence;
using namespace testsupport;

namespace {

class PosixFilesTest : public ::testing::Test {
protected:
    JapaneseDay day{At(10, 20, 30)};
    WorkDir dir;
    AbsenceList list;
    const QByteArray a = "*09:00:00 2-1 =" + Sj("山田　発熱");

    QByteArray record() const { return dir.read(RecordName()); }
};

} // namespace

TEST_F(PosixFilesTest, WriterOpeningDuringTheReadGetsTheFileAfterIt)
{
    dir.write(DataName(0), "*10:00:00 1-1 =a\r\n");
    platform::InputFile file(dir.file(DataName(0)), platform::Sharing::Readers);
    if (!file.sharingEnforced())
        GTEST_SKIP() << "no leases on this file system";
    std::atomic<int> opened{-2};
    std::thread writer([&] { opened = ::open(QFile::encodeName(dir.file(DataName(0))).constData(), O_WRONLY); });
    // Its open breaks the lease, sends us SIGIO and waits (a watchdog, no time limit).
    for (int spin = 0; spin < 20000 && ::fcntl(int(file.nativeHandle()), F_GETLEASE) != F_UNLCK; ++spin)
        ::usleep(500);
    EXPECT_EQ(::fcntl(int(file.nativeHandle()), F_GETLEASE), F_UNLCK) << "the writer's open did not break the lease";
    EXPECT_EQ(opened.load(), -2) << "the writer got the file while we read it";
    EXPECT_TRUE(file.Close());
    writer.join();
    EXPECT_GE(opened.load(), 0) << "the writer never got the file";
    ::close(opened);
}


TEST_F(PosixFilesTest, LinksAreFollowedOnlyWhenOursOrTheFolderOwners)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a link to another user needs root; running as uid " << ::geteuid();
    dir.write(DataName(0), "*10:00:00 1-1 =a\r\n");
    dir.write("secret.txt", "*11:00:00 1-1 =secret\r\n");
    const QByteArray link = QFile::encodeName(dir.file(DataName(1))), folder = QFile::encodeName(dir.path());
    ASSERT_EQ(::symlink("secret.txt", link.constData()), 0);
    // Link owner, folder owner, whether followed.
    const struct { uid_t link, folder; bool followed; } cases[] = {
        {0, 0, true}, {65534, 0, false}, {65534, 65534, true}, {0, 65534, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "link of " << c.link << " in a folder of " << c.folder);
        ASSERT_EQ(::lchown(link.constData(), c.link, gid_t(-1)) | ::chown(folder.constData(), c.folder, gid_t(-1)), 0);
        int code = 0;
        try {
            Collect(list, Day());
        } catch (const InOutError &e) {
            code = e.code();
        }
        EXPECT_EQ(code, c.followed ? 0 : 5);
        EXPECT_EQ(list.Count(), c.followed ? 2 : 1);
    }
}

// The lease helper asked as the front ends ask it: it leases a day's file of
// another user and hands it over, keeping no lease itself; it refuses what is
// not a day's file of that one name, whatever the caller may read, and a
// write lease on anything but a record the caller could replace. What it
// refuses, it has not opened.
TEST_F(PosixFilesTest, LeaseHelperLeasesOnlyADaysFileAndKeepsNoLease)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving files and links to another user needs root; running as uid " << ::geteuid();
    namespace lease = platform::lease;
    using Outcome = lease::Reply::Outcome;
    using Kind = lease::Request::Kind;
    const auto path = [&](const QString &name) { return QFile::encodeName(dir.file(name)); };
    const auto give = [&](const QString &name) { return ::lchown(path(name).constData(), 65534, 65534) == 0; };
    dir.write(DataName(0), "*10:00:00 1-1 =a\r\n");
    dir.write("other.TXT", "*11:00:00 1-1 =b\r\n");
    ASSERT_TRUE(give(DataName(0)) && give("other.TXT"));
    ASSERT_EQ(::link(path("other.TXT").constData(), path(DataName(1)).constData()), 0);
    ASSERT_EQ(::symlink(DataName(0).toUtf8().constData(), path(DataName(2)).constData()), 0);
    ASSERT_TRUE(give(DataName(2))); // planted in our folder by another user
    dir.write("notes.txt", "n\r\n");
    ASSERT_EQ(::symlink("notes.txt", path(DataName(3)).constData()), 0); // our own
    ASSERT_EQ(::mkfifo(path(DataName(4)).constData(), 0644), 0);
    // Records of another user: one we may write, one we may only read, and
    // one we may write in a folder we may not (the helper holds no right to
    // override either).
    dir.write(RecordName(), "r\r\n");
    ASSERT_TRUE(dir.makeDir("ro") && dir.write("ro/" + RecordName(), "r\r\n"));
    ASSERT_TRUE(give(RecordName()) && ::chmod(path(RecordName()).constData(), 0666) == 0);
    ASSERT_TRUE(::chmod(path("ro/" + RecordName()).constData(), 0666) == 0 && ::chmod(path("ro").constData(), 0555) == 0);
    const std::string folder = QFile::encodeName(dir.path()).toStdString(), day0 = DataName(0).toStdString(),
                      record = RecordName().toStdString();
    const struct { Kind kind; std::string folder, name; Outcome outcome; int error; mode_t mode = 0; } cases[] = {
        {Kind::Read, folder, day0, Outcome::Leased, 0},
        {Kind::Read, "/etc", "passwd", Outcome::Refused, EINVAL},
        {Kind::Read, folder, DataName(1).toStdString(), Outcome::Refused, EMLINK},
        {Kind::Read, folder, DataName(2).toStdString(), Outcome::Refused, EACCES},
        {Kind::Read, folder, DataName(3).toStdString(), Outcome::Refused, EPERM},
        {Kind::Read, folder, DataName(4).toStdString(), Outcome::Refused, EACCES},
        {Kind::Read, folder + "/../" + QFileInfo(dir.path()).fileName().toStdString(), day0, Outcome::Refused, EINVAL},
        {Kind::Write, folder, day0, Outcome::Refused, EPERM},
        {Kind::Write, folder, record, Outcome::Leased, 0},
        {Kind::Write, folder, record, Outcome::Refused, EACCES, 0444},
        {Kind::Write, folder + "/ro", record, Outcome::Refused, EACCES},
        {Kind::Read, folder + "/ro", record, Outcome::Leased, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(1, char(c.kind)) + " " + c.folder + " " + c.name);
        const QByteArray target = QByteArray::fromStdString(c.folder + "/" + c.name);
        if (c.mode) {
            ASSERT_EQ(::chmod(target.constData(), c.mode), 0);
        }
        // Whether the helper opened the file, as more than a handle that
        // reads nothing: watched where nothing else opens files.
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        const bool watched = c.folder.rfind(folder, 0) == 0 && c.folder.find("..") == std::string::npos
                             && ::inotify_add_watch(watch, target.constData(), IN_OPEN) >= 0;
        lease::Reply reply;
        int fd = -1;
        ASSERT_TRUE(lease::Ask(QFile::encodeName(LeaseHelperPath()).toStdString(), {c.kind, c.folder, c.name}, reply, fd))
            << std::strerror(errno);
        EXPECT_EQ(int(reply.outcome), int(c.outcome));
        EXPECT_EQ(reply.error, c.error) << std::strerror(reply.error);
        EXPECT_EQ(fd >= 0, c.outcome == Outcome::Leased);
        char events[256];
        if (watched) {
            EXPECT_EQ(::read(watch, events, sizeof events) > 0, c.outcome == Outcome::Leased);
        }
        ::close(watch);
        if (fd < 0)
            continue;
        EXPECT_EQ(::fcntl(fd, F_GETLEASE), c.kind == Kind::Write ? F_WRLCK : F_RDLCK);
        ::close(fd);
        // The helper has exited: with our copy closed, a writer gets in at once.
        const int writer = ::open(target.constData(), O_WRONLY | O_NONBLOCK);
        EXPECT_GE(writer, 0) << "a lease outlived the hand-over: " << std::strerror(errno);
        ::close(writer);
    }
}

TEST_F(PosixFilesTest, ShortWriteLeavesTheOldRecordByteForByte)
{
    const QByteArray old = JoinLines({"old record", Sj("最終更新：2026/12/07 17:00:00")});
    dir.write(RecordName(), old);
    QList<QByteArray> many;
    for (int i = 0; i < 200; ++i)
        many << a + QByteArray::number(i);
    list.Assign(many);

    // A file size limit turns the write into a short one (root ignores permissions).
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 256;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool raised = false;
    QString what;
    bool isWriteError = false;
    try {
        Save(list, Day());
    } catch (const AbsenceError &e) {
        raised = true;
        what = e.message();
        isWriteError = dynamic_cast<const WriteError *>(&e) != nullptr;
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(raised) << "a write cut short by the size limit raised nothing";
    EXPECT_TRUE(isWriteError) << what.toStdString();
    EXPECT_EQ(record(), old) << "record now holds " << record().size() << " of "
                             << JoinLines(list.Lines()).size() << " bytes";
    EXPECT_EQ(dir.entries(), QStringList{RecordName()});
}


TEST_F(PosixFilesTest, LinkNamedLikeALeftoverIsLeftAlone)
{
    const QString link = RecordName() + ".Ll6mM7";
    ASSERT_EQ(::symlink("elsewhere", QFile::encodeName(dir.file(link)).constData()), 0);
    const struct timespec old[2] = {{::time(nullptr) - 120, 0}, {::time(nullptr) - 120, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(dir.file(link)).constData(), old, AT_SYMLINK_NOFOLLOW), 0);
    list.Assign({a});
    Save(list, Day());
    EXPECT_TRUE(QFileInfo(dir.file(link)).isSymLink());
}

TEST_F(PosixFilesTest, DanglingLinkIsStillAnEntryBearingTheName)
{
    ASSERT_EQ(::symlink("nowhere", QFile::encodeName(DataFilePath(Day(), 2)).constData()), 0);
    EXPECT_FALSE(IsFileAbsent(DataFilePath(Day(), 2)));
}

TEST_F(PosixFilesTest, LookUpThatCannotListTheFolderIsNotAbsent)
{
    dir.write(DataName(0), "x");
    dir.write(DayFile("a1.txt"), "x");
    // Names made before the limit: the day's clock, and the sanitizers' own
    // checks on its first use, need descriptors too.
    const QString paths[] = {DataFilePath(Day(), 0), DataFilePath(Day(), 1), DataFilePath(Day(), 2)};
    // No descriptor left to list the folder with: only the exact name is known.
    const int lowestFree = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ::close(lowestFree);
    struct rlimit saved, none;
    ASSERT_TRUE(lowestFree > 0 && getrlimit(RLIMIT_NOFILE, &saved) == 0);
    none = saved;
    none.rlim_cur = rlim_t(lowestFree);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
    const platform::EntryLookup found[] = {platform::LookUpEntry(paths[0]), platform::LookUpEntry(paths[1]),
                                           platform::LookUpEntry(paths[2])};
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(found[0].path, paths[0]);
    for (const platform::EntryLookup &unknown : {found[1], found[2]})
        EXPECT_TRUE(unknown.result == platform::EntryLookup::Result::Unknown && unknown.errorCode == 4);
    EXPECT_EQ(platform::LookUpEntry(paths[1]).path, dir.file(DayFile("a1.txt")));
}

// What a refused lease means, from each client's setlease in the kernel
// (fs/smb/client, fs/nfs, fs/locks.c). This machine's kernel has neither CIFS
// nor NFS: the decision is tested with each file system's own mount line.
TEST(PosixLeases, RefusalMeansAWriterOnlyWhereTheMountDecidesTheLease)
{
    const char *mountinfo =
        "27 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw,discard\n"
        "90 27 0:51 / /srv/smb rw,relatime shared:60 master:2 - cifs //nas/absence rw,vers=3.1.1,cache=strict\n"
        "91 27 0:52 / /srv/nfs rw,relatime - nfs4 nas:/absence rw,vers=4.2,rsize=1048576\n";
    std::string type, options;
    EXPECT_FALSE(platform::posix::FindMount(mountinfo, makedev(0, 53), type, options));
    ASSERT_TRUE(platform::posix::FindMount(mountinfo, makedev(0, 51), type, options));
    EXPECT_EQ(type + ' ' + options, "cifs rw,vers=3.1.1,cache=strict");

    using platform::Sharing;
    constexpr auto Held = platform::posix::LeaseRefusal::HeldOpen;
    constexpr auto CannotTell = platform::posix::LeaseRefusal::CannotTell;
    const struct { const char *type, *options; Sharing sharing; platform::posix::LeaseRefusal means; } cases[] = {
        {"ext4", "rw,discard", Sharing::Readers, Held},
        {"tmpfs", "rw,size=1m", Sharing::Exclusive, Held},
        // SMB2/3: the server's caching decides, whether it comes as leases or oplocks.
        {"cifs", "rw,vers=3.1.1,cache=strict", Sharing::Readers, CannotTell},
        {"smb3", "rw,vers=3.0,cache=loose,nolease", Sharing::Readers, CannotTell},
        {"cifs", "rw,vers=2.1,cache=none", Sharing::Exclusive, CannotTell},
        // The mount assumes the caching, or takes the local lease without it.
        {"cifs", "rw,vers=3.1.1,cache=ro", Sharing::Readers, Held},
        {"cifs", "rw,vers=3.1.1,cache=ro", Sharing::Exclusive, CannotTell},
        {"cifs", "rw,vers=3.1.1,cache=singleclient", Sharing::Exclusive, Held},
        {"cifs", "rw,vers=3.1.1,cache=singleclient", Sharing::Readers, CannotTell},
        {"cifs", "rw,vers=3.1.1,cache=strict,locallease", Sharing::Readers, Held},
        {"cifs", "rw,vers=3.1.1,cache=strict,locallease", Sharing::Exclusive, CannotTell},
        {"cifs", "rw,cache=robust,nolocallease", Sharing::Readers, CannotTell}, // options match whole
        // NFSv4: a delegation decides; v3 has no leases at all.
        {"nfs4", "rw,vers=4.2,rsize=1048576", Sharing::Readers, CannotTell},
        {"nfs", "rw,vers=4.1", Sharing::Exclusive, CannotTell},
        {"nfs", "rw,vers=3,proto=tcp", Sharing::Readers, CannotTell},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(platform::posix::RefusedLeaseMeans(c.type, c.options, c.sharing), c.means)
            << c.type << ' ' << c.options << (c.sharing == Sharing::Readers ? " read" : " write");
    }
}

// A request to end that comes while a line is appended ends the program once
// the line is written; at any other moment it ends the program at once.
TEST(PosixSignals, RequestToEndWaitsForTheAppend)
{
    for (const bool appending : {true, false}) {
        for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
            int pipeFds[2];
            ASSERT_EQ(::pipe(pipeFds), 0);
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                ::close(pipeFds[0]);
                {
                    std::optional<platform::detail::EndDeferred> deferred;
                    if (appending)
                        deferred.emplace();
                    ::kill(::getpid(), sig);
                    (void)!::write(pipeFds[1], "line", 4);
                }
                (void)!::write(pipeFds[1], "after", 5);
                ::_exit(0);
            }
            ::close(pipeFds[1]);
            char buffer[16];
            ssize_t n, got = 0;
            while ((n = ::read(pipeFds[0], buffer + got, sizeof buffer - size_t(got))) > 0)
                got += n;
            ::close(pipeFds[0]);
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << "signal " << sig << ", status " << status;
            EXPECT_EQ(QByteArray(buffer, int(got)), appending ? QByteArray("line") : QByteArray())
                << "signal " << sig << (appending ? " while appending" : "");
        }
    }
}

TEST(PosixErrors, ErrnoMapping)
{
    using platform::posix::IoErrorCode;
    EXPECT_EQ(IoErrorCode(ENOENT), 2);
    EXPECT_EQ(IoErrorCode(ENOTDIR), 3);
    EXPECT_EQ(IoErrorCode(ENAMETOOLONG), 3);
    EXPECT_EQ(IoErrorCode(EMFILE), 4);
    EXPECT_EQ(IoErrorCode(ENFILE), 4);
    EXPECT_EQ(IoErrorCode(EACCES), 5);
    EXPECT_EQ(IoErrorCode(EPERM), 5);
    EXPECT_EQ(IoErrorCode(EISDIR), 5);
    EXPECT_EQ(IoErrorCode(ENOSPC), 101);
    // A network file system's sharing violation.
    EXPECT_EQ(IoErrorCode(EBUSY), 32);
    EXPECT_EQ(IoErrorCode(ETXTBSY), 32);
    EXPECT_EQ(IoErrorCode(EIO), 1117); // not 5, which reads as access denied
    EXPECT_EQ(IoErrorCode(EROFS), EROFS);
    EXPECT_EQ(InOutError(IoErrorCode(EROFS)).message(), QStringLiteral("I/O %1 (%2)").arg(QString::fromUtf8("ｴﾗｰ")).arg(EROFS));
}
