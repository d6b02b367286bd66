#pragma once
// A day's file names in the working directory, and the presence test.

#include <QByteArray>
#include <QDate>
#include <QString>
#include <sys/stat.h>

namespace absence {

// The day being worked on; written by the start window (or the command line).
extern QDate ChosenDate;

// The short date rendering of the locale, separators unreplaced ("2026/12/08").
QByteArray ShortDateText(const QDate &date);
// The short date rendering with its first two "/" turned into "-".
QByteArray MakeDateTag(const QDate &date);

// The process's current directory without a trailing separator (the root keeps
// its own); empty when it cannot be read (for example, it was removed).
QString WorkingDirectory();

// True when `path` exists and is a directory (links followed).
bool IsDirectory(const QString &path);

// Name and full path of data file `digit` (0..9) of ChosenDate.
QString DataFileName(int digit);
QString DataFilePath(int digit);
// Name and full path of ChosenDate's record file.
QString RecordFileName();
QString RecordFilePath();

// The entry that `path` names, its file name matched without regard to the case
// of ASCII letters; an exact match wins. Empty when there is none or when the
// working directory does not exist.
QString FindEntry(const QString &path);

// The lease a day's file is read under: a read lease for a data file (others
// may read it too), a write lease for the record (nobody else may hold it).
enum class Lease { Read, Write };

// A day's file opened for reading under a lease, for as long as the object
// lives. The file's name is looked up in its directory without following a
// symbolic link that someone else planted there: a link is followed only when
// it belongs to the effective user or to the owner of the directory it lies
// in, hop by hop, and the last entry is opened without following links, so a
// link swapped in meanwhile is not followed either.
//
// The lease tells whether another program holds the file open: a read lease
// is refused while the file is open for writing anywhere, a write lease while
// it is open at all (our own descriptors count). Where leases cannot be had
// (a file of another user without CAP_LEASE, a file system without leases)
// the file is read all the same.
class DayFile {
public:
    enum class Outcome {
        Opened,
        Absent,      // no entry at the end of the links followed
        Shared,      // another program holds it open (or the server says so)
        ForeignLink, // a link that may not be followed
        Loop,        // too many links
        Failed,      // error() tells why
    };

    DayFile(const QString &path, Lease lease);
    ~DayFile();
    DayFile(const DayFile &) = delete;
    DayFile &operator=(const DayFile &) = delete;

    Outcome outcome() const { return m_outcome; }
    // errno of a failure (ENOENT when absent, ELOOP on a loop).
    int error() const { return m_error; }
    // The open descriptor, -1 unless opened.
    int fd() const { return m_fd; }
    bool leased() const { return m_leased; }
    // The directory the last entry reached lies in, and its name there; kept
    // open so that the entry can be replaced where it lies. -1 when the
    // directory itself could not be reached.
    int dirFd() const { return m_dirFd; }
    const QByteArray &name() const { return m_name; }
    // True when the last entry exists (also when it could not be opened);
    // status() then describes it.
    bool found() const { return m_found; }
    const struct stat &status() const { return m_status; }

    // Releases the lease and closes the file; false with errno set when the
    // close failed. The directory stays open.
    bool Close();

private:
    void Open(Lease lease);
    void Fail(Outcome outcome, int err);

    Outcome m_outcome = Outcome::Failed;
    int m_error = 0;
    int m_fd = -1;
    int m_dirFd = -1;
    bool m_leased = false;
    bool m_found = false;
    QByteArray m_name;
    struct stat m_status {};
};

// True when no entry of any kind (file, directory, link...) bears the name.
bool IsFileAbsent(const QString &path);

} // namespace absence
