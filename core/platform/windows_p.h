#pragma once
// What the Windows files of the platform layer share and nothing else sees:
// handles, paths as the system takes them, who owns what, and the input file
// that the record's replacement looks at first.

#include "platform.h"

#include <QString>

#include <windows.h>

#include <algorithm>
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
    explicit Handle(HANDLE handle) : h(handle) {}
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

// A security identifier held by value.
struct Sid {
    std::vector<BYTE> bytes;
    bool Equals(PSID other) const;
    static Sid Copy(PSID sid);
};

// The operator's SID.
Sid OperatorSid();
Sid OwnerOfHandle(HANDLE handle);
Sid OwnerOfPath(const QString &path);

} // namespace win

class InputFilePrivate {
public:
    InputFilePrivate(const QString &path, Sharing sharing);
    void Fail(DWORD e);

    InputFile::Outcome outcome = InputFile::Outcome::Failed;
    DWORD err = 0;
    win::Handle file;
    bool found = false;
};

InputFilePrivate *InputFilePrivateOf(const InputFile &file);

} // namespace absence::platform
