#include "posix_open.h"

#include <algorithm>
#include <cerrno>
#include <deque>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace absence::platform::posix {

namespace {

// Most links followed for one name, as many as the kernel follows.
constexpr int MaxLinkHops = 40;

// The rule of fs.protected_symlinks, applied in every folder: a link is
// followed when it is ours or belongs to the owner of its directory.
bool mayFollow(const struct stat &link, int dirFd)
{
    if (link.st_uid == ::geteuid())
        return true;
    struct stat dir;
    return ::fstat(dirFd, &dir) == 0 && link.st_uid == dir.st_uid;
}

// The text of the link that `linkFd` (opened with O_PATH | O_NOFOLLOW) is, read
// from that very inode so that it cannot be swapped after the owner check.
bool readLinkText(int linkFd, std::string &text)
{
    std::vector<char> buf(4096);
    for (;;) {
        const ssize_t n = ::readlinkat(linkFd, "", buf.data(), buf.size());
        if (n < 0)
            return false;
        if (size_t(n) < buf.size()) {
            text.assign(buf.data(), size_t(n));
            return true;
        }
        buf.resize(buf.size() * 2);
    }
}

} // namespace

int OpenAt(int dirFd, const char *name, int flags, unsigned mode)
{
    int fd;
    do {
        fd = ::openat(dirFd, name, flags, mode_t(mode));
    } while (fd < 0 && errno == EINTR);
    return fd;
}

DayEntry::~DayEntry()
{
    Reset();
}

void DayEntry::Reset()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_dirFd >= 0)
        ::close(m_dirFd);
    m_fd = m_dirFd = -1;
    m_found = false;
    m_status = {};
}

int DayEntry::TakeFile()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

DayEntry::Outcome DayEntry::Fail(Outcome outcome, int error)
{
    m_outcome = outcome;
    m_error = error;
    return outcome;
}

DayEntry::Outcome DayEntry::Open(const char *folder, const std::string &name, const Admit &admit)
{
    Reset();
    m_name = name;
    m_dirFd = OpenAt(AT_FDCWD, folder, O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (m_dirFd < 0)
        return Fail(Outcome::Failed, errno);
    if (m_name.empty())
        return Fail(Outcome::Failed, ENOENT);
    return Walk(admit);
}

DayEntry::Outcome DayEntry::Walk(const Admit &admit)
{
    // What is still to be looked up, a name at a time; "/" for the root.
    std::deque<std::string> parts{m_name};
    int hops = 0;
    while (!parts.empty()) {
        const std::string part = std::move(parts.front());
        parts.pop_front();
        const bool last = parts.empty();
        if (part == "/") {
            const int root = OpenAt(AT_FDCWD, "/", O_PATH | O_DIRECTORY | O_CLOEXEC);
            if (root < 0)
                return Fail(Outcome::Failed, errno);
            ::close(m_dirFd);
            m_dirFd = root;
            if (last)
                return Fail(Outcome::Failed, EISDIR);
            continue;
        }
        if (last)
            m_name = part;
        const int entry = OpenAt(m_dirFd, part.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        if (entry < 0) {
            // A folder on the way that is missing is no place for a record.
            const int e = errno;
            return Fail(last && e == ENOENT ? Outcome::Absent : Outcome::Failed, e);
        }
        struct stat st;
        if (::fstat(entry, &st) != 0) {
            const int e = errno;
            ::close(entry);
            return Fail(Outcome::Failed, e);
        }
        if (S_ISLNK(st.st_mode)) {
            if (++hops > MaxLinkHops) {
                ::close(entry);
                return Fail(Outcome::Loop, ELOOP);
            }
            const bool permitted = mayFollow(st, m_dirFd);
            std::string text;
            const bool read = permitted && readLinkText(entry, text);
            const int e = errno;
            ::close(entry);
            if (!permitted)
                return Fail(Outcome::ForeignLink, EACCES);
            if (!read || text.empty())
                return Fail(Outcome::Failed, read ? ENOENT : e);
            // The link's text is taken from the link's folder, each of its
            // names looked up as this one was.
            std::vector<std::string> names;
            if (text.front() == '/')
                names.push_back("/");
            for (std::string::size_type at = 0; at <= text.size();) {
                const std::string::size_type slash = std::min(text.find('/', at), text.size());
                if (slash > at)
                    names.push_back(text.substr(at, slash - at));
                at = slash + 1;
            }
            parts.insert(parts.begin(), names.begin(), names.end());
            continue;
        }
        if (!last) {
            if (!S_ISDIR(st.st_mode)) {
                ::close(entry);
                return Fail(Outcome::Failed, ENOTDIR);
            }
            ::close(m_dirFd);
            m_dirFd = entry;
            continue;
        }
        m_found = true;
        m_status = st;
        // A named pipe, a socket or a device is not read: it could hold the
        // reader for ever, or feed it without end.
        if (!S_ISREG(st.st_mode)) {
            ::close(entry);
            return Fail(Outcome::Failed, S_ISDIR(st.st_mode) ? EISDIR : EACCES);
        }
        if (admit) {
            const int refusal = admit(m_dirFd, entry, m_name, st);
            if (refusal != 0) {
                ::close(entry);
                return Fail(Outcome::Refused, refusal);
            }
        }
        ::close(entry);
        // Non-blocking for the open: a file leased by another program is
        // reported held at once rather than waited for.
        const int f = OpenAt(m_dirFd, m_name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (f < 0) {
            const int e = errno;
            if ((e == ELOOP || e == ENOENT) && ++hops <= MaxLinkHops) {
                // Swapped since the look: looked at again.
                m_found = false;
                parts.push_front(m_name);
                continue;
            }
            // A network file system reports the server's sharing violation
            // as busy; a lease held elsewhere makes the open EWOULDBLOCK.
            const bool busy = e == EBUSY || e == ETXTBSY || e == EAGAIN || e == EWOULDBLOCK;
            return Fail(busy ? Outcome::Busy : e == ELOOP ? Outcome::Loop : Outcome::Failed, e);
        }
        struct stat opened;
        if (::fstat(f, &opened) != 0) {
            const int e = errno;
            ::close(f);
            return Fail(Outcome::Failed, e);
        }
        if (opened.st_dev != st.st_dev || opened.st_ino != st.st_ino) {
            // Another file took the name after the look: look again.
            ::close(f);
            m_found = false;
            if (++hops > MaxLinkHops)
                return Fail(Outcome::Loop, ELOOP);
            parts.push_front(m_name);
            continue;
        }
        ::fcntl(f, F_SETFL, ::fcntl(f, F_GETFL) & ~O_NONBLOCK);
        m_status = opened;
        m_fd = f;
        m_error = 0;
        return m_outcome = Outcome::Opened;
    }
    return Fail(Outcome::Failed, ENOENT);
}

} // namespace absence::platform::posix
