#pragma once
// Opening a day's file on POSIX systems without following a link someone else
// planted. Shared by the front ends' file handling and the lease helper, so it
// is plain POSIX and the C++ library: the helper, which holds CAP_LEASE, links
// nothing else.

#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/stat.h>

namespace absence::platform::posix {

// openat() again after a signal.
int OpenAt(int dirFd, const char *name, int flags, unsigned mode = 0);

// A day's entry looked up hop by hop from a folder and opened (for reading
// unless told otherwise): a
// link is followed only when it belongs to the effective user or to the owner
// of the folder it lies in, also where it stands for a folder on the way of
// another link's text, and the last entry is opened without following
// links, so one swapped in meanwhile is not followed either. Only a regular
// file is opened: what the entry is, is decided on a handle that reads
// nothing (O_PATH), and the file opened must be that very one.
class DayEntry {
public:
    // Asked about the last entry on its O_PATH handle `entry` (in the folder
    // `folderFd`, named `name`) before it is opened: 0 lets it be opened,
    // anything else is the errno it is refused with (Outcome::Refused).
    using Admit = std::function<int(int folderFd, int entry, const std::string &name, const struct stat &st)>;

    enum class Outcome {
        Opened,
        Absent, // no entry at the end of the links followed
        Busy, // the file system says another program holds it
        ForeignLink, // a link that may not be followed
        Loop, // too many links
        Refused, // the Admit check said no (error() tells why)
        Failed, // error() tells why; EACCES for what is no regular file
        // (EISDIR for a folder)
    };

    DayEntry() = default;
    ~DayEntry();
    DayEntry(const DayEntry &) = delete;
    DayEntry &operator=(const DayEntry &) = delete;

    // Looks `name` up in `folder` (relative to the current directory); again
    // from the start when called again. `access` O_WRONLY or O_RDWR (with
    // O_APPEND, say) opens it for writing, and a lease that the open must
    // break first makes it Busy rather than wait.
    Outcome Open(const char *folder, const std::string &name, int access = O_RDONLY, const Admit &admit = {});
    // The opened file's descriptor, now the caller's to close.
    int TakeFile();

    Outcome outcome() const { return m_outcome; }
    int error() const { return m_error; } // errno
    int file() const { return m_fd; } // -1 unless opened
    int folder() const { return m_dirFd; } // of the last entry (O_PATH)
    const std::string &name() const { return m_name; }
    bool found() const { return m_found; } // the last entry exists (also when it could not be opened)
    const struct stat &status() const { return m_status; }

private:
    Outcome Fail(Outcome outcome, int error);
    Outcome Walk(const Admit &admit);
    void Reset();

    int m_dirFd = -1;
    int m_fd = -1;
    int m_access = O_RDONLY;
    std::string m_name;
    bool m_found = false;
    struct stat m_status { };
    Outcome m_outcome = Outcome::Failed;
    int m_error = 0;
};

} // namespace absence::platform::posix
