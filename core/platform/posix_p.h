#pragma once
// What the POSIX files of the platform share and nothing else sees: a
// descriptor that closes itself, the input file's half that the record
// replacement holds the old record with, the station's data file's half,
// and the errno table.

#include "platform.h"
#include "posix_open.h"

#include <QByteArray>
#include <QString>

#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace absence::platform {

namespace posix {

struct Descriptor {
    int fd = -1;
    Descriptor() = default;
    explicit Descriptor(int f) : fd(f) { }
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

// The program's I/O error code of an errno value (2 not found, 3 bad name,
// 4 too many open files, 5 access denied, 32 busy: a network file system's
// sharing violation, 101 disk full, 1117 a device's I/O error; else errno
// itself).
int IoErrorCode(int err);

// What a file system means when it refuses a lease with EAGAIN.
enum class LeaseRefusal {
    HeldOpen, // another program has the file open in a way the lease forbids
    CannotTell, // that, or a server granting no caching: read as it is
};
// From the file system's type and its super block's options, as
// /proc/self/mountinfo lists them.
LeaseRefusal RefusedLeaseMeans(std::string_view type, std::string_view options, Sharing sharing);

// The type and super block options of the mount of `device`, from the text
// of /proc/self/mountinfo; false when no mount has it.
bool FindMount(std::string_view mountinfo, dev_t device, std::string &type, std::string &options);

} // namespace posix

// A day's file looked up hop by hop, opened and, where the system allows,
// leased (input_file_posix.cpp).
class InputFilePrivate {
public:
    using Outcome = InputFile::Outcome;

    InputFilePrivate(const QString &path, Sharing sharing);
    ~InputFilePrivate();

    bool Close();

    Outcome outcome = Outcome::Failed;
    int err = 0; // errno
    int fd = -1;
    bool leased = false;
    // Bytes still to be read of the size the file had when opened: one that
    // grows while it is read cannot hold the reader.
    qint64 remaining = 0;
    posix::DayEntry entry; // where the last entry lies, kept so the record can be replaced there
    struct stat status { };

private:
    void Fail(Outcome o, int e);
    void Shared();
    bool Open(const QByteArray &dir, const std::string &name);
    void LeaseThroughHelper(const QByteArray &dir, const std::string &name, Sharing sharing);
};

InputFilePrivate *InputFilePrivateOf(const InputFile &file);

// A station's data file opened to take lines at its end
// (append_file_posix.cpp).
class AppendFilePrivate {
public:
    using Outcome = AppendFile::Outcome;

    explicit AppendFilePrivate(const QString &path);

    posix::DayEntry entry;
    posix::Descriptor file;
    Outcome outcome = Outcome::Failed;
    int err = 0;
    bool made = false;

private:
    bool OpenOnce(const QByteArray &dir, const std::string &name);
    bool Fail(Outcome o, int e);
};

} // namespace absence::platform
