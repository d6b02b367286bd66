// A day's file opened for reading on Linux and other POSIX systems.
//
// Sharing is told by file leases: a read lease is refused while the file is
// open for writing anywhere (Samba's clients included), a write lease while
// it is open at all. A lease on another user's file needs CAP_LEASE, which
// these programs never hold: they load plugins the user chooses. They ask the
// lease helper instead, which holds it and runs only for the office's group
// (lease_request.h). Without a lease (a file system that has none, or no
// helper for this user) the file is read all the same: nothing tells whether
// someone still writes it. On a folder mounted from a server, a refused lease
// may only mean that the server grants no caching: see RefusedLeaseMeans.

#include "platform.h"
#include "posix_p.h"

#include "errors.h"
#include "lease_request.h"
#include "program.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

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
        if (::stat(part.c_str(), &st) != 0 || (st.st_uid != 0 && st.st_uid != ::geteuid()) ||
            (st.st_mode & S_IWGRP && st.st_gid != 0) ||
            (st.st_mode & S_IWOTH && !(S_ISDIR(st.st_mode) && st.st_mode & S_ISVTX)))
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
    std::string path = ExecutablePath();
    if (path.empty())
        return path;
    path.erase(path.rfind('/') + 1);
    path += ABSENCE_LEASE_HELPER;
    return placedByUsOrRoot(path) ? path : std::string();
}

// Whether `option` is one of the comma-separated `options`.
bool hasOption(std::string_view options, std::string_view option)
{
    for (std::string_view::size_type at = 0; at <= options.size();) {
        const std::string_view::size_type comma = std::min(options.find(',', at), options.size());
        if (options.substr(at, comma - at) == option)
            return true;
        at = comma + 1;
    }
    return false;
}

// What a refused lease means for the file on `device`: as on a local file
// system unless the mount says otherwise.
posix::LeaseRefusal refusedLeaseMeans(dev_t device, Sharing sharing)
{
    std::string text;
    posix::Descriptor info(posix::OpenAt(AT_FDCWD, "/proc/self/mountinfo", O_RDONLY | O_CLOEXEC));
    char buffer[16384];
    for (ssize_t n; info.fd >= 0 && (n = ::read(info.fd, buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno != EINTR)
            break;
        if (n > 0)
            text.append(buffer, size_t(n));
    }
    std::string type, options;
    if (!posix::FindMount(text, device, type, options))
        return posix::LeaseRefusal::HeldOpen;
    return posix::RefusedLeaseMeans(type, options, sharing);
}

} // namespace

namespace posix {

// The kernel's answers, file system by file system (fs/locks.c, the
// client's setlease in fs/smb/client and fs/nfs):
// - a local file system (generic_setlease) refuses a read lease while the
//   file is open for writing, a write lease while it is open at all;
// - CIFS/SMB (cifs_setlease) takes that same local lease only where the
//   client holds the server's caching for the file (an SMB lease or oplock:
//   read caching for a read lease, write caching for a write lease) or the
//   mount assumes it (cache=ro: read; cache=singleclient: write), or, with
//   `locallease`, holds no read caching at all; otherwise it refuses. A
//   server that sees a writer grants no caching, but so does one with
//   leases and oplocks off, or one that granted only read caching when a
//   write lease is asked for: the refusal cannot tell them apart;
// - NFSv4 (nfs4_add_lease) grants a lease only on a delegation of the
//   server, which it withholds for a writer elsewhere and for reasons of
//   its own alike; NFSv2/3 have no leases (EINVAL), and the file is read
//   unchecked as on any file system without them.
LeaseRefusal RefusedLeaseMeans(std::string_view type, std::string_view options, Sharing sharing)
{
    if (type == "cifs" || type == "smb3") {
        const bool local = sharing == Sharing::Readers
                               ? hasOption(options, "cache=ro") || hasOption(options, "locallease")
                               : hasOption(options, "cache=singleclient");
        return local ? LeaseRefusal::HeldOpen : LeaseRefusal::CannotTell;
    }
    if (type == "nfs" || type == "nfs4")
        return LeaseRefusal::CannotTell;
    return LeaseRefusal::HeldOpen;
}

bool FindMount(std::string_view mountinfo, dev_t device, std::string &type, std::string &options)
{
    const std::string wanted = std::to_string(major(device)) + ':' + std::to_string(minor(device));
    while (!mountinfo.empty()) {
        const std::string_view::size_type end = std::min(mountinfo.find('\n'), mountinfo.size());
        std::string_view line = mountinfo.substr(0, end);
        mountinfo.remove_prefix(std::min(end + 1, mountinfo.size()));
        // ID, parent ID, major:minor, root, mount point, mount options, optional
        // fields, "-", type, source, super block options; none holds a blank.
        std::vector<std::string_view> fields;
        for (std::string_view::size_type at = 0; at < line.size();) {
            const std::string_view::size_type blank = std::min(line.find(' ', at), line.size());
            fields.push_back(line.substr(at, blank - at));
            at = blank + 1;
        }
        if (fields.size() < 10 || fields[2] != wanted)
            continue;
        for (size_t i = 6; i + 3 < fields.size(); ++i) {
            if (fields[i] == "-") {
                type = fields[i + 1];
                options = fields[i + 3];
                return true;
            }
        }
    }
    return false;
}

} // namespace posix

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
        if (refusedLeaseMeans(status.st_dev, sharing) == posix::LeaseRefusal::HeldOpen)
            Shared();
    } else if (errno == EACCES) {
        LeaseThroughHelper(dir, name, sharing);
    }
    // EINVAL (no leases on this file system), a refusal that cannot tell,
    // or no helper for this user: nothing tells, so it is read.
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
        remaining = status.st_size;
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
    case Found::Refused:
    case Found::Failed:
        Fail(Outcome::Failed, entry.error());
        break;
    }
    return false;
}

// Another user's file: the lease helper opens it again and takes the lease
// on its open file, which is then read here in place of ours.
void InputFilePrivate::LeaseThroughHelper(const QByteArray &dir, const std::string &name, Sharing sharing)
{
    const int type = sharing == Sharing::Readers ? F_RDLCK : F_WRLCK;
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
        if (reply.outcome == lease::Reply::Outcome::Leased && ::fstat(given, &st) == 0 && st.st_dev == status.st_dev &&
            st.st_ino == status.st_ino) {
            // The lease break is signalled here, as for a lease of our own.
            ::fcntl(given, F_SETOWN, ::getpid());
            Close();
            fd = given;
            status = st;
            remaining = st.st_size;
            leased = true;
            return;
        }
        if (given >= 0)
            ::close(given);
        if (reply.outcome == lease::Reply::Outcome::Held &&
            refusedLeaseMeans(status.st_dev, sharing) == posix::LeaseRefusal::HeldOpen)
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
    if (d->fd < 0 || d->remaining <= 0)
        return 0;
    ssize_t n;
    do {
        n = ::read(d->fd, buffer, size_t(std::min(max, d->remaining)));
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        d->err = errno;
    else
        d->remaining -= n;
    return n;
}

qintptr InputFile::nativeHandle() const
{
    return d->fd;
}

} // namespace absence::platform
