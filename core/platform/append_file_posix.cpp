// A station's data file taking whole lines at its end on POSIX systems.
//
// One write() to a descriptor opened with O_APPEND puts its bytes at the end
// of the file as it is at that moment, whatever others append meanwhile. The
// open for writing breaks a collector's read lease (the collector reads a
// few milliseconds and closes), and while the file is open here no collector
// gets its lease: it reports the file in use instead of reading half a line.
// The open is non-blocking and tried again, so that a holder that does not
// let go (a lease kept past its break, a server's sharing violation) ends in
// an error after a few seconds rather than at the kernel's lease-break-time.

#include "platform.h"
#include "platform_p.h"
#include "posix_p.h"

#include "errors.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace absence::platform {

AppendFilePrivate::AppendFilePrivate(const QString &path)
{
    const QByteArray encoded = QFile::encodeName(path);
    const qsizetype slash = encoded.lastIndexOf('/');
    const QByteArray dir = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : encoded.left(slash);
    const std::string name = encoded.mid(slash + 1).toStdString();
    detail::RetryWhileHeld([&] { return OpenOnce(dir, name); });
}

// True when the file is open, or the outcome is final.
bool AppendFilePrivate::OpenOnce(const QByteArray &dir, const std::string &name)
{
    using Found = posix::DayEntry::Outcome;
    switch (entry.Open(dir.constData(), name, O_RDWR | O_APPEND)) {
    case Found::Opened:
        file.Reset(entry.TakeFile());
        outcome = Outcome::Opened;
        return true;
    case Found::Absent: {
        // Made where the name (or a permitted link) leads; one made by
        // someone else meanwhile is looked up again.
        const int f = posix::OpenAt(entry.folder(), entry.name().c_str(),
                                    O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (f >= 0) {
            file.Reset(f);
            made = true;
            outcome = Outcome::Opened;
            return true;
        }
        if (errno != EEXIST)
            return Fail(Outcome::Failed, errno);
        Fail(Outcome::Shared, EEXIST);
        return false;
    }
    case Found::Busy:
        Fail(Outcome::Shared, entry.error());
        return false;
    case Found::ForeignLink:
        return Fail(Outcome::ForeignLink, entry.error());
    case Found::Loop:
        return Fail(Outcome::Loop, entry.error());
    case Found::Refused:
    case Found::Failed:
        break;
    }
    return Fail(Outcome::Failed, entry.error());
}

// Ends the open with that outcome: true, as OpenOnce gives for a final one.
bool AppendFilePrivate::Fail(Outcome o, int e)
{
    outcome = o;
    err = e;
    return true;
}

int AppendFile::errorCode() const
{
    if (d->outcome == Outcome::Shared)
        return SharingViolationCode;
    return posix::IoErrorCode(d->err);
}

bool AppendFile::ReadAll(QByteArray &bytes)
{
    bytes.clear();
    char buffer[65536];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(d->file.fd, buffer, sizeof buffer, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            d->err = errno;
            return false;
        }
        if (n == 0)
            return true;
        bytes.append(buffer, n);
        at += n;
    }
}

bool AppendFile::Append(QByteArrayView bytes, bool &replaced)
{
    replaced = false;
    const int fd = d->file.fd;
    {
        // The line whole before the program ends, if it was asked to.
        const detail::EndDeferred deferred;
        ssize_t n;
        do {
            n = ::write(fd, bytes.data(), size_t(bytes.size()));
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            d->err = errno;
            return false;
        }
        if (n < bytes.size()) {
            // Cut short (the disk filled up): the piece is taken away again
            // unless someone has written after it, so no half line stays.
            const off_t end = ::lseek(fd, 0, SEEK_CUR);
            struct stat st { };
            if (end >= n && ::fstat(fd, &st) == 0 && st.st_size == end && ::ftruncate(fd, end - n) == 0)
                ::fdatasync(fd);
            d->err = ENOSPC;
            return false;
        }
    }
    if (::fdatasync(fd) != 0) {
        d->err = errno;
        return false;
    }
    if (d->made) {
        // The new file's name on the disk too.
        posix::Descriptor folder(posix::OpenAt(d->entry.folder(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (folder.fd < 0 || ::fsync(folder.fd) != 0) {
            d->err = errno;
            return false;
        }
    }
    struct stat st { };
    replaced = ::fstat(fd, &st) == 0 && st.st_nlink == 0;
    return true;
}

} // namespace absence::platform
