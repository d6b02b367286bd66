// The day's files on Linux and other POSIX systems.
//
// Sharing is told by file leases: a read lease is refused while the file is
// open for writing anywhere (Samba's clients included), a write lease while
// it is open at all. A lease on another user's file needs CAP_LEASE, which
// these programs never hold: they load plugins the user chooses. They ask the
// lease helper instead, which holds it and runs only for the office's group
// (lease_request.h). Without a lease (a file system that has none, or no
// helper for this user) the file is read all the same: nothing tells whether
// someone still writes it.

#include "platform.h"
#include "platform_p.h"

#include "errors.h"
#include "lease_request.h"
#include "posix_open.h"
#include "services.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#ifndef ABSENCE_LEASE_HELPER
#error "ABSENCE_LEASE_HELPER must name the lease helper relative to the programs' folder"
#endif

namespace absence::platform {

namespace {

using posix::OpenAt;

struct Descriptor {
    int fd = -1;
    Descriptor() = default;
    explicit Descriptor(int f) : fd(f) {}
    ~Descriptor() { Reset(); }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    void Reset(int f = -1)
    {
        if (fd >= 0)
            ::close(fd);
        fd = f;
    }
};

// True when nobody but root and this user could have put the file at `path`
// there: it and every folder above it are theirs, and writable by no one else
// (a sticky folder such as /tmp aside). A copy of a program in a shared folder
// must not run a file that another user placed beside it.
bool placedByUsOrRoot(const std::string &path)
{
    char real[PATH_MAX];
    if (!::realpath(path.c_str(), real))
        return false;
    for (std::string part = real;;) {
        struct stat st;
        if (::stat(part.c_str(), &st) != 0 || (st.st_uid != 0 && st.st_uid != ::geteuid())
            || (st.st_mode & S_IWGRP && st.st_gid != 0)
            || (st.st_mode & S_IWOTH && !(S_ISDIR(st.st_mode) && st.st_mode & S_ISVTX)))
            return false;
        if (part == "/")
            return true;
        const std::string::size_type slash = part.rfind('/');
        part.erase(slash == 0 ? 1 : slash);
    }
}

// The lease helper, found from this program's own place: the installed
// programs and the build tree's lie the same way from it. Empty when there is
// none to trust.
std::string leaseHelperPath()
{
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return std::string();
    std::string path(self, size_t(length));
    path.erase(path.rfind('/') + 1);
    path += ABSENCE_LEASE_HELPER;
    return placedByUsOrRoot(path) ? path : std::string();
}

int codeOf(int err)
{
    return IoErrorCode(err);
}

} // namespace

QChar PathSeparator()
{
    return QLatin1Char('/');
}

QString CurrentDirectory()
{
    std::vector<char> buf(4096);
    while (::getcwd(buf.data(), buf.size()) == nullptr) {
        if (errno != ERANGE)
            return QString();
        buf.resize(buf.size() * 2);
    }
    QString dir = QFile::decodeName(buf.data());
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    return dir;
}

bool IsDirectory(const QString &path)
{
    struct stat st;
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0
           && S_ISDIR(st.st_mode);
}

static bool asciiCaseEqual(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = char(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = char(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return true;
}

static QString findEntry(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString dir = slash < 0 ? QStringLiteral(".") : path.left(slash);
    const QByteArray wanted = QFile::encodeName(path.mid(slash + 1));
    if (wanted.isEmpty())
        return QString();
    // lstat first: an exact name wins, and a dangling link still counts.
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0)
        return path;
    DIR *d = ::opendir(QFile::encodeName(dir.isEmpty() ? QStringLiteral("/") : dir).constData());
    if (!d)
        return QString();
    // Several names may differ only in case; take the least, so the answer
    // does not depend on the directory's order.
    QByteArray best;
    while (const dirent *e = ::readdir(d)) {
        const QByteArray name(e->d_name);
        if (asciiCaseEqual(name, wanted) && (best.isEmpty() || name < best))
            best = name;
    }
    ::closedir(d);
    if (best.isEmpty())
        return QString();
    return (dir == QLatin1String("/") ? QString() : dir) + QLatin1Char('/') + QFile::decodeName(best);
}

EntryLookup LookUpEntry(const QString &path)
{
    EntryLookup lookup;
    lookup.path = findEntry(path);
    if (!lookup.path.isEmpty())
        lookup.result = EntryLookup::Result::Found;
    return lookup;
}

qint64 RegularFileSize(const QString &path)
{
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode))
        return st.st_size;
    return -1;
}

// ---------------------------------------------------------------------------

class InputFilePrivate {
public:
    using Outcome = InputFile::Outcome;

    Outcome outcome = Outcome::Failed;
    int err = 0; // errno
    int fd = -1;
    bool leased = false;
    posix::DayEntry entry; // where the last entry lies, kept so the record can be replaced there
    struct stat status {};

    InputFilePrivate(const QString &path, Sharing sharing)
    {
        const QByteArray encoded = QFile::encodeName(path);
        const qsizetype slash = encoded.lastIndexOf('/');
        const QByteArray dir = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : encoded.left(slash);
        const std::string name = encoded.mid(slash + 1).toStdString();
        if (!Open(dir, name) || !S_ISREG(status.st_mode))
            return;
        const int type = sharing == Sharing::Readers ? F_RDLCK : F_WRLCK;
        if (::fcntl(fd, F_SETLEASE, type) == 0) {
            leased = true;
        } else if (errno == EAGAIN) {
            Shared();
        } else if (errno == EACCES) {
            LeaseThroughHelper(dir, name, type);
        }
        // EINVAL (no leases on this file system), or no helper for this
        // user: nothing tells, so it is read.
    }
    ~InputFilePrivate() { Close(); }

    void Fail(Outcome o, int e)
    {
        outcome = o;
        err = e;
    }
    void Shared()
    {
        Close();
        Fail(Outcome::Shared, EAGAIN);
    }

    // The file looked up and opened (posix_open.h); false when that failed.
    bool Open(const QByteArray &dir, const std::string &name)
    {
        using Found = posix::DayEntry::Outcome;
        switch (entry.Open(dir.constData(), name)) {
        case Found::Opened:
            fd = entry.TakeFile();
            status = entry.status();
            Fail(Outcome::Opened, 0);
            return true;
        case Found::Absent:
            Fail(Outcome::Absent, entry.error());
            break;
        case Found::Busy:
            Fail(Outcome::Shared, entry.error());
            break;
        case Found::ForeignLink:
            Fail(Outcome::ForeignLink, entry.error());
            break;
        case Found::Loop:
            Fail(Outcome::Loop, entry.error());
            break;
        case Found::Failed:
            Fail(Outcome::Failed, entry.error());
            break;
        }
        return false;
    }

    // Another user's file: the lease helper opens it again and takes the
    // lease on its open file, which is then read here in place of ours.
    void LeaseThroughHelper(const QByteArray &dir, const std::string &name, int type)
    {
        const std::string helper = leaseHelperPath();
        if (helper.empty())
            return;
        // A write lease is refused while the file is open anywhere else, here too.
        if (type == F_WRLCK)
            Close();
        lease::Request request;
        request.kind = type == F_WRLCK ? lease::Request::Kind::Write : lease::Request::Kind::Read;
        request.folder = (dir.startsWith('/') ? dir : QFile::encodeName(CurrentDirectory()) + '/' + dir).toStdString();
        request.name = name;
        lease::Reply reply;
        int given = -1;
        if (lease::Ask(helper, request, reply, given)) {
            struct stat st;
            // Only the file looked up here: the name may have changed hands meanwhile.
            if (reply.outcome == lease::Reply::Outcome::Leased && ::fstat(given, &st) == 0
                && st.st_dev == status.st_dev && st.st_ino == status.st_ino) {
                // The lease break is signalled here, as for a lease of our own.
                ::fcntl(given, F_SETOWN, ::getpid());
                Close();
                fd = given;
                status = st;
                leased = true;
                return;
            }
            if (given >= 0)
                ::close(given);
            if (reply.outcome == lease::Reply::Outcome::Held)
                return Shared();
        }
        if (fd < 0)
            Open(dir, name);
    }

    bool Close()
    {
        if (fd < 0)
            return true;
        const int f = fd;
        fd = -1;
        // Closing the file ends its lease.
        leased = false;
        if (::close(f) == 0 || errno == EINTR)
            return true;
        err = errno;
        return false;
    }
};

InputFilePrivate *InputFilePrivateOf(const InputFile &file)
{
    return file.d.get();
}

InputFile::InputFile(const QString &path, Sharing sharing) : d(std::make_unique<InputFilePrivate>(path, sharing)) {}
InputFile::~InputFile() = default;

InputFile::Outcome InputFile::outcome() const
{
    return d->outcome;
}

int InputFile::errorCode() const
{
    if (d->outcome == Outcome::Shared)
        return SharingViolationCode;
    return codeOf(d->err);
}

qint64 InputFile::size() const
{
    return d->fd >= 0 && S_ISREG(d->status.st_mode) ? qint64(d->status.st_size) : -1;
}

bool InputFile::sharingEnforced() const
{
    return d->leased;
}

qint64 InputFile::Read(char *buffer, qint64 max)
{
    if (d->fd < 0)
        return 0;
    ssize_t n;
    do {
        n = ::read(d->fd, buffer, size_t(max));
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        d->err = errno;
    return n;
}

bool InputFile::Close()
{
    return d->Close();
}

qintptr InputFile::nativeHandle() const
{
    return d->fd;
}

// ---------------------------------------------------------------------------

namespace {

// Removes what saves killed at the wrong instant left of their new record:
// our own regular files of exactly the temporary name's shape, left alone
// for over a minute (a save still running renames its file within moments).
void removeLeftovers(int readableDirFd, const QByteArray &base)
{
    const int scan = ::dup(readableDirFd);
    if (scan < 0)
        return;
    DIR *d = ::fdopendir(scan);
    if (!d) {
        ::close(scan);
        return;
    }
    const time_t now = ::time(nullptr);
    std::vector<QByteArray> stale;
    while (const dirent *e = ::readdir(d)) {
        const QByteArray name(e->d_name);
        if (!detail::IsTemporaryRecordName(name, base))
            continue;
        struct stat st;
        if (::fstatat(readableDirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0
            && detail::IsStaleLeftover(S_ISREG(st.st_mode), st.st_uid == ::geteuid(), now - st.st_mtime))
            stale.push_back(name);
    }
    ::closedir(d);
    for (const QByteArray &name : stale)
        ::unlinkat(readableDirFd, name.constData(), 0);
}

// A new file beside the record, removed again unless it took the record's
// place. Where the file system and /proc allow, it has no name until it is
// complete, so a save killed while writing leaves nothing in the folder.
class TemporaryRecord {
public:
    TemporaryRecord(int dirFd, const QByteArray &name, mode_t mode) : m_dirFd(dirFd), m_base(name)
    {
        // The nameless file gets its name through /proc, which needs no
        // privilege (unlike AT_EMPTY_PATH); without /proc it could not.
        if (::access("/proc/self/fd", X_OK) == 0)
            m_fd = OpenAt(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
            m_fd = OpenAt(dirFd, NextName().constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
            if (m_fd < 0 && errno != EEXIST)
                break;
            m_named = m_fd >= 0;
        }
    }
    ~TemporaryRecord()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (m_named)
            ::unlinkat(m_dirFd, m_name.constData(), 0);
    }
    TemporaryRecord(const TemporaryRecord &) = delete;
    TemporaryRecord &operator=(const TemporaryRecord &) = delete;

    int fd() const { return m_fd; }
    // On the disk; false when that failed.
    bool Finish() { return ::fdatasync(m_fd) == 0; }
    // Takes the place of the record in the same directory, then is closed.
    bool Replace()
    {
        if (!m_named) {
            const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
            for (int attempt = 0; attempt < 100 && !m_named; ++attempt) {
                if (::linkat(AT_FDCWD, self.constData(), m_dirFd, NextName().constData(), AT_SYMLINK_FOLLOW) == 0)
                    m_named = true;
                else if (errno != EEXIST)
                    return false;
            }
            if (!m_named)
                return false;
        }
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0 && errno != EINTR)
            return false;
        if (::renameat(m_dirFd, m_name.constData(), m_dirFd, m_base.constData()) != 0)
            return false;
        m_named = false;
        return true;
    }

private:
    const QByteArray &NextName()
    {
        m_name = detail::TemporaryRecordName(m_base);
        return m_name;
    }

    int m_dirFd;
    int m_fd = -1;
    bool m_named = false; // a name in the directory that is ours to remove
    QByteArray m_base;
    QByteArray m_name;
};

} // namespace

class RecordReplacementPrivate {
public:
    // The old record, held by a write lease until the new one has taken its
    // place, so that a program opening it meanwhile waits.
    std::optional<InputFile> old;
    Descriptor ownDir;
    Descriptor readableDir; // the folder opened for reading: scanned and synced
    int dirFd = -1;
    QByteArray name;
    std::optional<TemporaryRecord> temp;

    explicit RecordReplacementPrivate(const QString &path)
    {
        old.emplace(path, Sharing::Exclusive);
        const InputFilePrivate &held = *InputFilePrivateOf(*old);
        dirFd = held.entry.folder();
        name = QByteArray::fromStdString(held.entry.name());
        std::optional<struct stat> keep;
        switch (held.outcome) {
        case InputFile::Outcome::Opened:
            keep = held.status;
            break;
        case InputFile::Outcome::Absent:
            break;
        case InputFile::Outcome::Loop: {
            // Links that lead round in a circle hold no record: the entry in
            // the working directory becomes the record.
            const QByteArray encoded = QFile::encodeName(path);
            const qsizetype slash = encoded.lastIndexOf('/');
            ownDir.Reset(::open(slash <= 0 ? "/" : encoded.left(slash).constData(),
                                O_PATH | O_DIRECTORY | O_CLOEXEC));
            dirFd = ownDir.fd;
            name = encoded.mid(slash + 1);
            break;
        }
        case InputFile::Outcome::Failed:
            // A record we may replace but not read: nothing tells who holds it.
            if (held.entry.found() && !S_ISDIR(held.entry.status().st_mode)) {
                keep = held.entry.status();
                break;
            }
            return;
        case InputFile::Outcome::Shared:
        case InputFile::Outcome::ForeignLink:
            return;
        }
        if (dirFd < 0)
            return;
        readableDir.Reset(OpenAt(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (readableDir.fd >= 0)
            removeLeftovers(readableDir.fd, name);

        temp.emplace(dirFd, name, keep ? 0600 : 0666);
        if (temp->fd() < 0) {
            temp.reset();
            return;
        }
        if (keep) {
            // Both before the rename: the record is never seen with the wrong
            // access. The group only where we may give it (a member of it).
            struct stat made;
            if (::fstat(temp->fd(), &made) == 0 && made.st_gid != keep->st_gid
                && ::fchown(temp->fd(), uid_t(-1), keep->st_gid) != 0) {
                // Not a member of that group: the file system's choice stays.
            }
            if (::fchmod(temp->fd(), keep->st_mode & 07777) != 0)
                temp.reset();
        }
    }

    // The rename itself on the disk: the folder synced, or where it cannot be
    // read, the whole file system the new record lies on.
    bool SyncFolder()
    {
        if (readableDir.fd >= 0)
            return ::fsync(readableDir.fd) == 0;
        Descriptor record(OpenAt(dirFd, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        return record.fd >= 0 && ::syncfs(record.fd) == 0;
    }
};

RecordReplacement::RecordReplacement(const QString &path) : d(std::make_unique<RecordReplacementPrivate>(path)) {}
RecordReplacement::~RecordReplacement() = default;

bool RecordReplacement::ready() const
{
    return d->temp.has_value();
}

bool RecordReplacement::Write(const char *data, qint64 size)
{
    // A write cut short is retried, and then the reason (disk full, file too
    // large) shows up.
    while (size > 0) {
        const ssize_t n = ::write(d->temp->fd(), data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

RecordReplacement::Result RecordReplacement::Commit()
{
    if (!d->temp->Finish())
        return Result::WriteFailed;
    if (!d->temp->Replace())
        return Result::CannotCreate;
    // Only now may the operator be told it is saved: until the folder is on
    // the disk, a power cut can bring the old record back.
    if (!d->SyncFolder())
        return Result::WriteFailed;
    return Result::Done;
}

// ---------------------------------------------------------------------------

namespace {

std::FILE *streamOf(Stream stream)
{
    return stream == Stream::Output ? stdout : stderr;
}

} // namespace

bool WriteBytes(Stream stream, QByteArrayView bytes)
{
    std::FILE *f = streamOf(stream);
    if (!bytes.isEmpty())
        std::fwrite(bytes.data(), 1, size_t(bytes.size()), f);
    return !std::ferror(f);
}

bool WriteText(Stream stream, QByteArrayView utf8)
{
    return WriteBytes(stream, utf8);
}

bool Flush(Stream stream)
{
    std::FILE *f = streamOf(stream);
    return std::fflush(f) == 0 && !std::ferror(f);
}

namespace {
extern "C" void ignoreSignal(int) {}
} // namespace

void PrepareProcess()
{
    // A lease break sends the holder SIGIO, whose default action ends the
    // process; the break needs no answer, as the file is released as soon as
    // it is read. A closed pipe must give a write error, not end the program
    // silently. Handlers rather than SIG_IGN, so that programs started from
    // here do not inherit ignored signals; handlers already set are kept.
    for (int sig : {SIGIO, SIGPIPE}) {
        struct sigaction old {};
        if (::sigaction(sig, nullptr, &old) != 0)
            continue;
        if (!(old.sa_flags & SA_SIGINFO) && old.sa_handler == SIG_DFL) {
            struct sigaction sa {};
            sa.sa_handler = ignoreSignal;
            sigemptyset(&sa.sa_mask);
            sa.sa_flags = SA_RESTART;
            ::sigaction(sig, &sa, nullptr);
        }
    }
}

LocaleSettings SystemLocaleSettings()
{
    return LocaleSettings::fromEnvironment();
}

} // namespace absence::platform
