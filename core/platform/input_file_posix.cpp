// A day's file opened for reading on Linux and other POSIX systems.
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
#include "posix_p.h"

#include "errors.h"
#include "lease_request.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef ABSENCE_LEASE_HELPER
#error "ABSENCE_LEASE_HELPER must name the lease helper relative to the programs' folder"
#endif

namespace absence::platform {

namespace {

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

} // namespace

InputFilePrivate::InputFilePrivate(const QString &path, Sharing sharing)
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

InputFilePrivate::~InputFilePrivate()
{
    Close();
}

void InputFilePrivate::Fail(Outcome o, int e)
{
    outcome = o;
    err = e;
}

void InputFilePrivate::Shared()
{
    Close();
    Fail(Outcome::Shared, EAGAIN);
}

// The file looked up and opened (posix_open.h); false when that failed.
bool InputFilePrivate::Open(const QByteArray &dir, const std::string &name)
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

// Another user's file: the lease helper opens it again and takes the lease
// on its open file, which is then read here in place of ours.
void InputFilePrivate::LeaseThroughHelper(const QByteArray &dir, const std::string &name, int type)
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

bool InputFilePrivate::Close()
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
    return posix::IoErrorCode(d->err);
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

} // namespace absence::platform
