#include "lease_request.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace absence::platform::lease {

namespace {

// Longest date tag: the short dates of every locale fit.
constexpr std::size_t MaxTagSize = 32;

bool isTagByte(char c)
{
    return (c >= '0' && c <= '9') || c == '-' || c == '.' || c == ' ';
}

char upper(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

bool hasParentPart(std::string_view path)
{
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos)
            end = path.size();
        if (path.substr(start, end - start) == "..")
            return true;
        start = end + 1;
    }
    return false;
}

// Four bytes of a marker, the outcome, the error.
constexpr char ReplyMarker[] = {'A', 'C', 'L', '1'};
constexpr std::size_t ReplySize = sizeof ReplyMarker + 1 + sizeof(std::int32_t);

} // namespace

bool IsDayFileName(std::string_view name)
{
    // "A" [digit] ".TXT" after the tag.
    if (name.size() < 6)
        return false;
    const std::size_t suffix = name.size() >= 7 && name[name.size() - 5] >= '0' && name[name.size() - 5] <= '9' ? 6 : 5;
    const std::string_view tail = name.substr(name.size() - suffix);
    if (upper(tail[0]) != 'A' || tail[suffix - 4] != '.' || upper(tail[suffix - 3]) != 'T' ||
        upper(tail[suffix - 2]) != 'X' || upper(tail[suffix - 1]) != 'T')
        return false;
    const std::string_view tag = name.substr(0, name.size() - suffix);
    if (tag.empty() || tag.size() > MaxTagSize || tag[0] < '0' || tag[0] > '9' ||
        tag.find("..") != std::string_view::npos)
        return false;
    for (const char c : tag)
        if (!isTagByte(c))
            return false;
    return true;
}

bool IsRecordFileName(std::string_view name)
{
    return IsDayFileName(name) && upper(name[name.size() - 5]) == 'A';
}

int Refusal(Request::Kind kind, const Candidate &file)
{
    if (!file.regular)
        return EINVAL;
    // A second name could be anyone's file, linked into the folder.
    if (file.links != 1)
        return EMLINK;
    // The links followed must end at a day's file too.
    if (!IsDayFileName(file.name))
        return EPERM;
    if (kind == Request::Kind::Write) {
        if (!IsRecordFileName(file.name))
            return EPERM;
        if (!file.callerMayWrite)
            return EACCES;
    }
    return 0;
}

std::string Encode(const Request &request)
{
    std::string bytes(1, char(request.kind));
    bytes += request.folder;
    bytes += '\0';
    bytes += request.name;
    bytes += '\0';
    return bytes;
}

bool Parse(std::string_view bytes, Request &request)
{
    if (bytes.size() < 4 || bytes.size() > MaxRequestSize || bytes.back() != '\0')
        return false;
    const char kind = bytes[0];
    if (kind != char(Request::Kind::Read) && kind != char(Request::Kind::Write))
        return false;
    // The last byte is a NUL: the first one ends the folder.
    const std::size_t end = bytes.find('\0', 1);
    if (end + 1 >= bytes.size())
        return false;
    const std::string_view folder = bytes.substr(1, end - 1);
    const std::string_view name = bytes.substr(end + 1, bytes.size() - end - 2);
    if (folder.empty() || folder.size() > MaxFolderSize || folder[0] != '/' || hasParentPart(folder) ||
        name.find('\0') != std::string_view::npos || !IsDayFileName(name))
        return false;
    request.kind = Request::Kind(kind);
    request.folder = std::string(folder);
    request.name = std::string(name);
    return true;
}

bool SendReply(int socket, const Reply &reply, int fd)
{
    char data[ReplySize];
    std::memcpy(data, ReplyMarker, sizeof ReplyMarker);
    data[sizeof ReplyMarker] = char(reply.outcome);
    const std::int32_t error = reply.error;
    std::memcpy(data + sizeof ReplyMarker + 1, &error, sizeof error);
    iovec iov{data, sizeof data};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (fd >= 0) {
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr *c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(c), &fd, sizeof fd);
    }
    ssize_t sent;
    do {
        sent = ::sendmsg(socket, &msg, MSG_DONTWAIT | MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent == ssize_t(sizeof data);
}

bool ReceiveReply(int socket, Reply &reply, int &fd)
{
    fd = -1;
    char data[ReplySize + 1];
    iovec iov{data, sizeof data};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    // Room for more than one, so that extra descriptors are not lost open.
    alignas(cmsghdr) char control[CMSG_SPACE(4 * sizeof(int))];
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t got;
    do {
        got = ::recvmsg(socket, &msg, MSG_CMSG_CLOEXEC);
    } while (got < 0 && errno == EINTR);
    if (got < 0)
        return false;
    for (cmsghdr *c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS)
            continue;
        const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < count; ++i) {
            int received;
            std::memcpy(&received, CMSG_DATA(c) + i * sizeof(int), sizeof received);
            if (fd < 0)
                fd = received;
            else
                ::close(received);
        }
    }
    const bool wellFormed = got == ssize_t(ReplySize) && !(msg.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) &&
                            std::memcmp(data, ReplyMarker, sizeof ReplyMarker) == 0;
    const auto outcome = Reply::Outcome(data[sizeof ReplyMarker]);
    if (!wellFormed || outcome < Reply::Outcome::Leased || outcome > Reply::Outcome::Refused ||
        (outcome == Reply::Outcome::Leased) != (fd >= 0)) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
        errno = EPROTO;
        return false;
    }
    std::int32_t error;
    std::memcpy(&error, data + sizeof ReplyMarker + 1, sizeof error);
    reply.outcome = outcome;
    reply.error = error;
    return true;
}

bool Ask(const std::string &helper, const Request &request, Reply &reply, int &fd)
{
    fd = -1;
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0)
        return false;
    // The helper's standard input is its end of the pair; it writes nothing,
    // so its output goes nowhere; it inherits neither our environment nor a
    // blocked signal.
    posix_spawn_file_actions_t files;
    posix_spawnattr_t attributes;
    ::posix_spawn_file_actions_init(&files);
    ::posix_spawn_file_actions_adddup2(&files, pair[1], 0);
    ::posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_adddup2(&files, 1, 2);
    ::posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    ::posix_spawnattr_setsigmask(&attributes, &none);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    std::string name = HelperName;
    char *argv[] = {name.data(), nullptr};
    char *envp[] = {nullptr};
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, helper.c_str(), &files, &attributes, argv, envp);
    ::posix_spawn_file_actions_destroy(&files);
    ::posix_spawnattr_destroy(&attributes);
    ::close(pair[1]);
    bool answered = false;
    if (spawned == 0) {
        const std::string bytes = Encode(request);
        answered = ::send(pair[0], bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size()) &&
                   ReceiveReply(pair[0], reply, fd);
    }
    const int error = spawned ? spawned : answered ? 0 : EPROTO;
    ::close(pair[0]);
    if (pid > 0) {
        int status;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    }
    errno = error;
    return answered;
}

} // namespace absence::platform::lease
