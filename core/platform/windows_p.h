#pragma once
// What the Windows files of the platform layer share and nothing else sees:
// handles, paths as the system takes them, who the operator is, the
// decisions on links, the input file that the record's replacement looks at
// first, and the hook through which tests make a step fail.

#include "platform.h"

#include <QByteArray>
#include <QString>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace absence::platform {

namespace win {

// The program's I/O error code of a system error: the code itself, except
// that a full disk reads as the disk-full error on every system.
int CodeOf(DWORD err);

inline std::wstring Wide(const QString &text)
{
    return text.toStdWString();
}

inline QString FromWide(const wchar_t *text, qsizetype size = -1)
{
    return size < 0 ? QString::fromWCharArray(text) : QString::fromWCharArray(text, size);
}

struct Handle {
    HANDLE h = INVALID_HANDLE_VALUE;
    Handle() = default;
    explicit Handle(HANDLE handle) : h(handle) { }
    ~Handle() { Reset(); }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    bool valid() const { return h != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE handle = INVALID_HANDLE_VALUE)
    {
        if (valid())
            ::CloseHandle(h);
        h = handle;
    }
};

// The position of the last separator of `path`, -1 when it has none.
inline qsizetype LastSeparator(const QString &path)
{
    return std::max(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/')));
}
// The folder `path` lies in ("C:\name" lies in "C:\").
QString FolderOf(const QString &path);

// A full path in the form that reaches past MAX_PATH whatever the system's
// settings: "\\?\C:\..." or "\\?\UNC\server\share\...", one separator
// between names ("C:\\name" is "\\?\C:\name"). Other forms stay as they are.
QString ExtendedPath(const QString &fullPath);
// `path` as the file functions are given it: made full (relative to the
// current directory) and extended.
std::wstring SystemPath(const QString &path);

// The look-up's answer once the folder search failed with `searchError`:
// the folder may be one that can be searched but not listed, so the name
// itself was asked for, which failed with `attributesError` (0: it is there).
EntryLookup LookUpAnswer(const QString &path, DWORD searchError, DWORD attributesError);

// A security identifier held by value.
struct Sid {
    std::vector<BYTE> bytes;
    bool Equals(PSID other) const;
    PSID get() const { return bytes.empty() ? nullptr : PSID(const_cast<BYTE *>(bytes.data())); }
    static Sid Copy(PSID sid);
};

// Who the operator is: the token's user, and the owner it gives what it
// makes (the Administrators group for an administrator running elevated).
struct Operator {
    Sid user;
    Sid owner;
    static Operator OfProcess();
    bool Owns(PSID owner) const { return user.Equals(owner) || this->owner.Equals(owner); }
};

Sid OwnerOfHandle(HANDLE handle);
Sid OwnerOfPath(const QString &path);

// What an entry opened without following it is, from its attributes and
// reparse tag. A name surrogate stands for another name (symbolic links,
// junctions and whatever else the system marks so); any other reparse point
// (a cloud placeholder, a deduplicated file) is the file itself, which its
// file system filter serves only to a normal open.
enum class EntryKind { Plain, Link, FilteredFile };
EntryKind KindOf(DWORD attributes, DWORD reparseTag);

// A link may be followed when it is the operator's or its folder owner's.
bool MayFollow(PSID linkOwner, const Operator &self, PSID folderOwner);

// The path a link at `linkPath` leads to, from its reparse data as
// FSCTL_GET_REPARSE_POINT gives it; empty when the data is not that of a
// symbolic link or a junction.
QString LinkTarget(const QString &linkPath, const QByteArray &reparseData);

// One name on the way a link's text leads, looked at without following it.
struct WayStep {
    DWORD error = 0; // it could not be looked at
    bool link = false; // a name surrogate (symbolic link, junction)
    bool permitted = false; // a link of the operator's or of its folder's owner
    QString target; // where a permitted link leads (empty: cannot tell)
};
using LookOnTheWay = std::function<WayStep(const QString &entry)>;
// Follows the links among the folders of `path` past its first `checked`
// characters (the folder of the link it came from, walked already), each by
// the link rule, until none is left: `path` is then the way without links
// and the answer Opened. Otherwise ForeignLink, Loop (once `links` passes
// the most the system follows) or Failed, with `error`. `look` is the
// system's for a real walk.
InputFile::Outcome FollowFolders(QString &path, qsizetype checked, int &links, DWORD &error, const LookOnTheWay &look);
// The length of the root of a full path ("C:\", "\\server\share\",
// "\\?\C:\", "\\?\UNC\server\share\", "\\?\Volume{...}\"); 0 for none.
qsizetype RootLength(const QString &path);

// Only a file on a disk is read: a pipe, a console or another device could
// hold the reader or feed it without end.
inline bool IsReadableFile(DWORD fileType, DWORD attributes)
{
    return fileType == FILE_TYPE_DISK && !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}

// The DACL a new record gets in place of the old one: the old record's own
// entries (not those it inherited), then, unless the old one was shut off
// from inheriting, the entries the new file inherited from its folder.
// Empty when it cannot be made.
std::vector<BYTE> CarriedDacl(PACL old, bool oldProtected, PACL made);

// The steps of the file layer that a test may make fail: the hook is asked
// before each one runs; an answer other than 0 is taken as the system's
// failure of that step. It may also do something meanwhile (hold a file).
enum class Step {
    Search, // the folder searched for a name
    Attributes, // the name's own attributes
    Open, // an entry opened for reading
    Flush, // the new record written to the disk
    Rename, // the new record put in the old one's place
    FlushRenamed, // the replacement written to the disk
};
using StepHook = std::function<DWORD(Step, const QString &path)>;
// An empty hook removes it.
void SetStepHook(StepHook hook);
DWORD StepError(Step step, const QString &path);

} // namespace win

class InputFilePrivate {
public:
    // Opened with `access` (a station's file is opened to append to it).
    InputFilePrivate(const QString &path, Sharing sharing, DWORD access = GENERIC_READ);
    void Fail(DWORD e);
    bool Close();

    InputFile::Outcome outcome = InputFile::Outcome::Failed;
    DWORD err = 0;
    win::Handle file;
    // The entry at the end of the links followed: the file that was opened,
    // or the name that was missing.
    QString entryPath;
    // Bytes still to be read of the size the file had when opened.
    qint64 remaining = 0;
};

InputFilePrivate *InputFilePrivateOf(const InputFile &file);

// A station's data file opened to take lines at its end
// (append_file_windows.cpp).
class AppendFilePrivate {
public:
    explicit AppendFilePrivate(const QString &path);

    AppendFile::Outcome outcome = AppendFile::Outcome::Failed;
    DWORD err = 0;
    win::Handle file;
    bool made = false;

private:
    bool OpenOnce(const QString &path);
};

} // namespace absence::platform
