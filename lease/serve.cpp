// The lease helper's work. It runs as the user who started it, with CAP_LEASE
// in its permitted set from its file capability, and takes a lease on one
// day's file for a front end. What it may open is what that user may open,
// and of that only a day's file: one name, a regular file that has no other
// name, reached through no link of another user; a write lease only on a
// record the user could replace. It reads no environment,
// loads nothing, never opens a file for writing, and keeps no lease: the open
// file goes back to the front end and the helper exits.

#include "serve.h"

#include "platform/lease_request.h"
#include "platform/posix_open.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/capability.h>
#include <sys/socket.h>
#include <unistd.h>

namespace absence::platform::lease {

namespace {

const cap_value_t Lease[] = {CAP_LEASE};

// CAP_LEASE stays permitted when it was; every other capability goes (a root
// caller's too), and none is effective.
bool keepOnlyLease()
{
    cap_t caps = ::cap_get_proc();
    if (!caps)
        return false;
    cap_flag_value_t permitted = CAP_CLEAR;
    bool done = ::cap_get_flag(caps, CAP_LEASE, CAP_PERMITTED, &permitted) == 0 && ::cap_clear(caps) == 0 &&
                (permitted != CAP_SET || ::cap_set_flag(caps, CAP_PERMITTED, 1, Lease, CAP_SET) == 0) &&
                ::cap_set_proc(caps) == 0;
    ::cap_free(caps);
    return done;
}

// The lease, with CAP_LEASE effective for this one call and gone from the
// permitted set right after it.
int setLease(int fd, int type)
{
    cap_t caps = ::cap_get_proc();
    if (!caps)
        return -1;
    // Not raised (not permitted): the kernel refuses the lease, as it should.
    if (::cap_set_flag(caps, CAP_EFFECTIVE, 1, Lease, CAP_SET) == 0)
        ::cap_set_proc(caps);
    const int result = ::fcntl(fd, F_SETLEASE, type);
    const int error = errno;
    if (::cap_clear(caps) != 0 || ::cap_set_proc(caps) != 0)
        ::_exit(3); // nothing more runs with the capability
    ::cap_free(caps);
    errno = error;
    return result;
}

// The caller's own right to write `name` in `folderFd` and to replace it
// there; the helper holds no capability that could stand in for it.
bool callerMayWrite(int folderFd, const std::string &name)
{
    return ::faccessat(folderFd, name.c_str(), W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) == 0 &&
           ::faccessat(folderFd, ".", W_OK | X_OK, AT_EACCESS) == 0;
}

Reply take(const Request &request, posix::DayEntry &entry)
{
    // Decided on the handle that reads nothing, before the file is opened.
    const auto admit = [&request](int folderFd, int, const std::string &name, const struct stat &st) {
        Candidate file;
        file.name = name;
        file.regular = S_ISREG(st.st_mode);
        file.links = st.st_nlink;
        file.callerMayWrite = request.kind == Request::Kind::Write && callerMayWrite(folderFd, name);
        return Refusal(request.kind, file);
    };
    switch (entry.Open(request.folder.c_str(), request.name, O_RDONLY, admit)) {
    case posix::DayEntry::Outcome::Opened:
        break;
    case posix::DayEntry::Outcome::Busy:
        return {Reply::Outcome::Held, entry.error()};
    default:
        return {Reply::Outcome::Refused, entry.error()};
    }
    if (setLease(entry.file(), request.kind == Request::Kind::Write ? F_WRLCK : F_RDLCK) != 0)
        return {errno == EAGAIN ? Reply::Outcome::Held : Reply::Outcome::Refused, errno};
    return {Reply::Outcome::Leased, 0};
}

} // namespace

int Serve(int socket)
{
    // A writer that opens the file before the hand-over breaks the lease and
    // signals its holder, which must not end the helper then.
    ::signal(SIGIO, SIG_IGN);
    // Nothing of the caller's stays open here but the socket and the streams.
    ::close_range(3, ~0U, 0);
    int type = 0;
    socklen_t length = sizeof type;
    if (::getsockopt(socket, SOL_SOCKET, SO_TYPE, &type, &length) != 0 || type != SOCK_SEQPACKET)
        return 2;

    Reply reply{Reply::Outcome::Refused, EINVAL};
    posix::DayEntry entry;
    if (!keepOnlyLease()) {
        reply.error = errno ? errno : EPERM;
    } else {
        char buffer[MaxRequestSize + 1];
        ssize_t got;
        do {
            got = ::recv(socket, buffer, sizeof buffer, 0);
        } while (got < 0 && errno == EINTR);
        Request request;
        if (got > 0 && Parse(std::string_view(buffer, size_t(got)), request))
            reply = take(request, entry);
    }
    // The helper's copy of the file closes with `entry`: the lease stays only
    // with the front end's.
    return SendReply(socket, reply, reply.outcome == Reply::Outcome::Leased ? entry.file() : -1) ? 0 : 1;
}

} // namespace absence::platform::lease
