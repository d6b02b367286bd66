#include "posix_open.h"

#include <cerrno>
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

DayEntry::Outcome DayEntry::Open(const char *folder, const std::string &name, int access)
{
    Reset();
    m_name = name;
    m_access = access;
    m_dirFd = OpenAt(AT_FDCWD, folder, O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (m_dirFd < 0)
        return Fail(Outcome::Failed, errno);
    if (m_name.empty())
        return Fail(Outcome::Failed, ENOENT);
    return Walk();
}

DayEntry::Outcome DayEntry::Walk()
{
    for (int hop = 0; hop <= MaxLinkHops; ++hop) {
        const int entry = OpenAt(m_dirFd, m_name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        if (entry < 0)
            return Fail(errno == ENOENT ? Outcome::Absent : Outcome::Failed, errno);
        struct stat st;
        if (::fstat(entry, &st) != 0) {
            const int e = errno;
            ::close(entry);
            return Fail(Outcome::Failed, e);
        }
        if (S_ISLNK(st.st_mode)) {
            const bool permitted = mayFollow(st, m_dirFd);
            std::string text;
            const bool read = permitted && readLinkText(entry, text);
            const int e = errno;
            ::close(entry);
            if (!permitted)
                return Fail(Outcome::ForeignLink, EACCES);
            if (!read || text.empty())
                return Fail(Outcome::Failed, read ? ENOENT : e);
            // The next hop: the link's text is taken from the link's folder.
            const std::string::size_type cut = text.rfind('/');
            if (cut != std::string::npos) {
                const std::string dirPart = cut == 0 ? std::string("/") : text.substr(0, cut);
                const int next = OpenAt(m_dirFd, dirPart.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
                if (next < 0)
                    return Fail(Outcome::Failed, errno);
                ::close(m_dirFd);
                m_dirFd = next;
                text.erase(0, cut + 1);
                if (text.empty())
                    text = ".";
            }
            m_name = text;
            continue;
        }
        ::close(entry);
        m_found = true;
        m_status = st;
        if (S_ISDIR(st.st_mode))
            return Fail(Outcome::Failed, EISDIR);
        const bool writing = (m_access & O_ACCMODE) != O_RDONLY;
        if (writing && !S_ISREG(st.st_mode))
            return Fail(Outcome::Failed, EACCES);
        // Non-blocking only for the open (a named pipe without a writer
        // reads as empty), then ordinary blocking reads.
        const int f = OpenAt(m_dirFd, m_name.c_str(), m_access | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (f < 0) {
            const int e = errno;
            if (e == ELOOP || e == ENOENT) {
                m_found = false;
                continue;
            }
            // A network file system reports the server's sharing violation
            // so; an open for writing that has to break a lease first
            // (started now) says so too.
            const bool busy = e == EBUSY || e == ETXTBSY || (writing && e == EWOULDBLOCK);
            return Fail(busy ? Outcome::Busy : Outcome::Failed, e);
        }
        ::fcntl(f, F_SETFL, ::fcntl(f, F_GETFL) & ~O_NONBLOCK);
        const bool statted = ::fstat(f, &m_status) == 0;
        if (!statted || S_ISDIR(m_status.st_mode) || (writing && !S_ISREG(m_status.st_mode))) {
            const int e = !statted ? errno : S_ISDIR(m_status.st_mode) ? EISDIR : EACCES;
            ::close(f);
            return Fail(Outcome::Failed, e);
        }
        m_fd = f;
        m_error = 0;
        return m_outcome = Outcome::Opened;
    }
    return Fail(Outcome::Loop, ELOOP);
}

} // namespace absence::platform::posix
