// Putting a new record in place of the old one on POSIX systems: written
// beside it, synced, renamed over it while the old one is held by its lease,
// and the folder synced.

#include "platform.h"
#include "platform_p.h"
#include "posix_p.h"

#include <QFile>

#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace absence::platform {

namespace {

using posix::Descriptor;
using posix::OpenAt;

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
        if (::fstatat(readableDirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            detail::IsStaleLeftover(S_ISREG(st.st_mode), st.st_uid == ::geteuid(), now - st.st_mtime))
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
            ownDir.Reset(::open(slash < 0    ? "."
                                : slash == 0 ? "/"
                                             : encoded.left(slash).constData(),
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
            if (::fstat(temp->fd(), &made) == 0 && made.st_gid != keep->st_gid &&
                ::fchown(temp->fd(), uid_t(-1), keep->st_gid) != 0) {
                // Not a member of that group: the file system's choice stays.
            }
            // Read and write bits only: a set-id, sticky or execute bit that
            // someone gave the old file must not pass to what we write.
            if (::fchmod(temp->fd(), keep->st_mode & 0666) != 0)
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

RecordReplacement::RecordReplacement(const QString &path) : d(std::make_unique<RecordReplacementPrivate>(path))
{
}
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

} // namespace absence::platform
