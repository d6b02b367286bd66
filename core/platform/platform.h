#pragma once
// What the day's files need from the operating system, in one place: the
// working directory, looking a day's file up whatever the case of its name,
// opening a data file or the record with the sharing each allows, putting a
// new record in place of the old one, the standard streams and the user's
// date and time settings. Each system has its own files, one per concern, and
// a private header for what they share; CMake builds the target's, and the
// files with what is the same on every system (input_file.cpp, ...).
//
// Failures are reported as the program's I/O error codes, which are the
// Windows system error codes (2 not found, 3 bad path, 4 too many open files,
// 5 access denied, 32 sharing violation, ...), except that a full disk is 101
// on every system. POSIX systems translate their errno values into these.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <memory>

namespace absence {

struct LocaleSettings;

namespace platform {

class InputFilePrivate; // each system's private header defines it
class RecordReplacementPrivate;
class AppendFilePrivate;

// The separator put between the working directory and a file name.
QChar PathSeparator();

// The process's current directory without a trailing separator (a root keeps
// its own); empty when it cannot be read (for example, it was removed).
QString CurrentDirectory();

// True when `path` exists and is a directory (links followed).
bool IsDirectory(const QString &path);

// What the look-up of one name in its folder found.
struct EntryLookup {
    enum class Result { Found, Absent, Unknown };
    Result result = Result::Absent;
    QString path; // Found: the entry's path as the folder spells it
    int errorCode = 0; // Unknown: the program's I/O error code of the failure
};
// The entry `path` names, its file name matched without regard to the case
// of its letters (an exact match wins). Absent only when the system says the
// name does not exist; any other failure is Unknown.
//
// POSIX: the exact name is looked up first, then the folder is listed for
// another case of it. "Does not exist" is ENOENT or ENOTDIR. In a folder that
// may be searched but not listed, no other spelling can be seen: there the
// exact name's ENOENT is the answer.
// Windows: "does not exist" is ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND;
// the file system itself ignores the case of the letters. A folder that may
// be searched but not listed refuses the search (access denied): there the
// name's own attributes answer, and the name as given is what is found.
EntryLookup LookUpEntry(const QString &path);

// The names in `folder` ("." and ".." left out), by one listing of it that
// opens none of its entries; false when it could not be listed.
bool ListFolderNames(const QString &folder, QStringList &names);

// The size of the regular file `path` names, without following a link; -1
// for anything else. Only a hint for storage.
qint64 RegularFileSize(const QString &path);

// An entry as its folder describes it (present or not, size, time of the
// last write), read without opening it: opening a data file that a station is
// still writing could make the station's write fail. A link is not followed.
// One attribute read (lstat; GetFileAttributesExW).
struct EntryStamp {
    enum class State {
        Present,
        Absent, // no entry of that name in a folder that is there
        Unknown, // the read failed (no access, a network error, ...)
    };
    State state = State::Unknown;
    qint64 size = 0;
    qint64 modified = 0; // in the system's own units

    friend bool operator==(const EntryStamp &a, const EntryStamp &b)
    {
        return a.state == b.state && a.size == b.size && a.modified == b.modified;
    }
    friend bool operator!=(const EntryStamp &a, const EntryStamp &b) { return !(a == b); }
};
EntryStamp ReadEntryStamp(const QString &path);

// How a day's file is opened. A data file may be read by others at the same
// time, but not while anyone writes it; the record is read by nobody else.
enum class Sharing { Readers, Exclusive };

// A day's file opened for reading, for as long as the object lives. A link
// that someone else planted in the folder is not followed: only one that
// belongs to the operator or to the folder's owner, and so for every link on
// the way a link's text leads. Only a file on a disk is opened: a named
// pipe, a socket or a device fails as access denied before anything is
// read, as a folder does. It is read no further than its size when opened.
//
// How the sharing is kept:
// - POSIX: by a file lease, a read lease for Readers and a write lease for
//   Exclusive, which the kernel refuses while the file is open for writing
//   (Readers) or open at all (Exclusive); the open then ends as Shared. A
//   program whose open the lease forbids (a writer; for Exclusive, anyone)
//   waits in its open until this one lets the file go, at most the kernel's
//   lease-break-time (/proc/sys/fs/lease-break-time). Another user's file is
//   leased by the lease helper. Where no lease can be had (a file system
//   without leases, another user's file without the helper) the file is read
//   unchecked. On a folder mounted from a server (CIFS, NFSv4) the lease is
//   refused also when the server grants no caching: there a refusal counts
//   as Shared only where the mount itself decides the lease (CIFS
//   `locallease` or `cache=ro` for Readers, `cache=singleclient` for
//   Exclusive), and elsewhere the file is read unchecked. A server that
//   reports the file busy makes it Shared.
// - Windows: by the system's share modes, which a file server enforces for
//   every client: FILE_SHARE_READ for Readers, no sharing for Exclusive. The
//   open ends as Shared while the file is open in a way they forbid, and
//   another program's conflicting open fails at once with a sharing violation.
class InputFile {
public:
    enum class Outcome {
        Opened,
        Absent, // no entry at the end of the links followed
        Shared, // another program holds it open in a way the sharing forbids
        ForeignLink, // a link that may not be followed
        Loop, // too many links
        Failed, // errorCode() tells why
    };

    InputFile(const QString &path, Sharing sharing);
    ~InputFile();
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;

    Outcome outcome() const;
    // The I/O error code of the failure that ended the open or the last read.
    int errorCode() const;
    // The file's size when known, else -1.
    qint64 size() const;
    // True when the sharing is enforced by the system for this file (POSIX:
    // a lease was granted; Windows: always).
    bool sharingEnforced() const;

    // Up to `max` bytes; 0 at the end; -1 on failure (errorCode() then).
    qint64 Read(char *buffer, qint64 max);
    // Releases the file; false when closing failed (errorCode() then).
    bool Close();

    // The system's handle of the open file (a descriptor, a HANDLE); -1
    // unless opened.
    qintptr nativeHandle() const;

private:
    std::unique_ptr<InputFilePrivate> d;
    friend InputFilePrivate *InputFilePrivateOf(const InputFile &);
};

// A new record written beside the old one and put in its place only when it
// is complete and on the disk, keeping who may use the old one. A record
// that another program holds open when the save starts is not replaced,
// where the system can tell (see InputFile). Anything left of a failed save
// is removed; so are the leftovers of saves killed before they could clean
// up.
//
// Between the start and the replacement:
// - POSIX: the old record is held by the write lease of an Exclusive
//   InputFile until the new one has taken its place: a program opening it
//   meanwhile waits, at most the lease-break-time. Where no lease can be had
//   (see InputFile) nothing holds it.
// - Windows: nothing holds the old record meanwhile: other programs may
//   open it. The replacement itself is refused while anyone has it open,
//   in any sharing mode; a refusal is tried again for a few tenths of a
//   second, then the save ends as CannotCreate and the old record stays.
class RecordReplacement {
public:
    enum class Result {
        Done,
        CannotCreate, // the record is held, or no new file can be made or put in place
        WriteFailed, // bytes not written, or not known to be on the disk
    };

    explicit RecordReplacement(const QString &path);
    ~RecordReplacement();
    RecordReplacement(const RecordReplacement &) = delete;
    RecordReplacement &operator=(const RecordReplacement &) = delete;

    // False when the new file could not be started (the record is held, or
    // the folder refuses a new file).
    bool ready() const;
    // Every byte or false.
    bool Write(const char *data, qint64 size);
    // Flushes the new file, puts it in the record's place and makes the
    // replacement itself durable.
    Result Commit();

private:
    std::unique_ptr<RecordReplacementPrivate> d;
};

// A station's data file opened to take whole lines at its end, for as long
// as the object lives: looked up as InputFile looks a file up (a link that
// someone else planted is not followed), and made when absent, with the
// access a first record gets. Only a regular file is taken. A program that
// holds the file in a way that forbids writing it is waited for a few
// seconds, then the open ends as Shared.
// - POSIX: O_APPEND. The open for writing breaks a collector's read lease
//   and waits for its end; a server that reports the file busy is asked
//   again.
// - Windows: FILE_APPEND_DATA alone, so that every write lands at the end
//   of the file as it then is, on a file server too; FILE_SHARE_READ, so
//   that a collector that reads at that moment makes the open fail rather
//   than read half a line, and a sharing violation is tried again.
class AppendFile {
public:
    using Outcome = InputFile::Outcome; // never Absent: an absent file is made

    explicit AppendFile(const QString &path);
    ~AppendFile();
    AppendFile(const AppendFile &) = delete;
    AppendFile &operator=(const AppendFile &) = delete;

    Outcome outcome() const;
    int errorCode() const;
    // True when the open made the file.
    bool created() const;
    // The file's bytes as they are now (another writer may add more).
    bool ReadAll(QByteArray &bytes);
    // `bytes` at the file's end in one write, then on the disk (a new
    // file's entry in its folder too). False when that failed; what a
    // failed write left at the end is taken away again where nobody wrote
    // after it. Replaced is true when the file was put out of its place
    // (a rewrite of the station's file) while this one waited to write:
    // the bytes went with the old file and must be written again.
    bool Append(QByteArrayView bytes, bool &replaced);

private:
    std::unique_ptr<AppendFilePrivate> d;
};

// The programs' start, standard streams and own place (program.h) are each
// system's too: process_posix.cpp, process_windows.cpp, streams.cpp.

// The user's date and time settings as the system holds them.
LocaleSettings SystemLocaleSettings();
// Where those settings come from, for messages: on POSIX systems the
// variable that chose them ("LC_TIME=en_GB.UTF-8"), on Windows the regional
// settings.
QString SystemLocaleName();

} // namespace platform
} // namespace absence
