// A day's file opened for reading on Windows.
//
// Sharing is the system's own: a data file is opened for reading with
// FILE_SHARE_READ, so the open fails with ERROR_SHARING_VIOLATION (32) while
// anyone holds it open for writing; the record is opened with no sharing at
// all. A file server enforces the same share modes for every client, so this
// holds across the network too. Error codes are the system's own.

#include "windows_p.h"

#include <aclapi.h>

namespace absence::platform {

namespace win {

bool Sid::Equals(PSID other) const
{
    return !bytes.empty() && other && ::IsValidSid(other) && ::EqualSid(PSID(bytes.data()), other);
}

Sid Sid::Copy(PSID sid)
{
    Sid s;
    if (sid && ::IsValidSid(sid)) {
        s.bytes.resize(::GetLengthSid(sid));
        ::CopySid(DWORD(s.bytes.size()), PSID(s.bytes.data()), sid);
    }
    return s;
}

Sid OperatorSid()
{
    Handle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token.h))
        return {};
    DWORD size = 0;
    ::GetTokenInformation(token.h, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !::GetTokenInformation(token.h, TokenUser, buffer.data(), size, &size))
        return {};
    return Sid::Copy(reinterpret_cast<TOKEN_USER *>(buffer.data())->User.Sid);
}

Sid OwnerOfHandle(HANDLE handle)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                          nullptr, &descriptor) != ERROR_SUCCESS)
        return {};
    Sid s = Sid::Copy(owner);
    ::LocalFree(descriptor);
    return s;
}

Sid OwnerOfPath(const QString &path)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::wstring name = Wide(path);
    if (::GetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return {};
    Sid s = Sid::Copy(owner);
    ::LocalFree(descriptor);
    return s;
}

} // namespace win

using namespace win;

namespace {

bool isLink(HANDLE handle)
{
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag))
        return false;
    return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
           && (tag.ReparseTag == IO_REPARSE_TAG_SYMLINK || tag.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT);
}

} // namespace

InputFilePrivate::InputFilePrivate(const QString &path, Sharing sharing)
{
    const std::wstring name = Wide(path);
    const DWORD share = sharing == Sharing::Readers ? FILE_SHARE_READ : 0;
    // The entry itself first, a link not followed: a link is followed only
    // when it belongs to the operator or to the folder's owner.
    file.Reset(::CreateFileW(name.c_str(), GENERIC_READ | READ_CONTROL, share, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid()) {
        Fail(::GetLastError());
        return;
    }
    found = true;
    if (isLink(file.h)) {
        const Sid owner = OwnerOfHandle(file.h);
        if (!owner.Equals(PSID(OperatorSid().bytes.data()))
            && !owner.Equals(PSID(OwnerOfPath(FolderOf(path)).bytes.data()))) {
            file.Reset();
            outcome = InputFile::Outcome::ForeignLink;
            err = ERROR_ACCESS_DENIED;
            return;
        }
        file.Reset(::CreateFileW(name.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) {
            Fail(::GetLastError());
            return;
        }
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileInformationByHandle(file.h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        // A directory bearing the file's name cannot be read as a file.
        file.Reset();
        Fail(ERROR_ACCESS_DENIED);
        return;
    }
    outcome = InputFile::Outcome::Opened;
}

void InputFilePrivate::Fail(DWORD e)
{
    err = e;
    switch (e) {
    case ERROR_FILE_NOT_FOUND:
        outcome = InputFile::Outcome::Absent;
        found = false;
        break;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        outcome = InputFile::Outcome::Shared;
        break;
    case ERROR_CANT_RESOLVE_FILENAME:
        outcome = InputFile::Outcome::Loop;
        break;
    default:
        outcome = InputFile::Outcome::Failed;
    }
}

InputFilePrivate *InputFilePrivateOf(const InputFile &file)
{
    return file.d.get();
}

InputFile::InputFile(const QString &path, Sharing sharing) : d(std::make_unique<InputFilePrivate>(path, sharing)) {}
InputFile::~InputFile() = default;

InputFile::Outcome InputFile::outcome() const
{
    return d->outcome;
}

int InputFile::errorCode() const
{
    return CodeOf(d->err);
}

qint64 InputFile::size() const
{
    LARGE_INTEGER size{};
    if (!d->file.valid() || !::GetFileSizeEx(d->file.h, &size))
        return -1;
    return size.QuadPart;
}

bool InputFile::sharingEnforced() const
{
    return d->file.valid();
}

qint64 InputFile::Read(char *buffer, qint64 max)
{
    if (!d->file.valid())
        return 0;
    DWORD n = 0;
    const DWORD want = DWORD(std::min<qint64>(max, 1 << 30));
    if (!::ReadFile(d->file.h, buffer, want, &n, nullptr)) {
        const DWORD e = ::GetLastError();
        if (e == ERROR_HANDLE_EOF || e == ERROR_BROKEN_PIPE)
            return 0;
        d->err = e;
        return -1;
    }
    return n;
}

bool InputFile::Close()
{
    if (!d->file.valid())
        return true;
    const HANDLE h = d->file.h;
    d->file.h = INVALID_HANDLE_VALUE;
    if (::CloseHandle(h))
        return true;
    d->err = ::GetLastError();
    return false;
}

qintptr InputFile::nativeHandle() const
{
    return d->file.valid() ? qintptr(d->file.h) : -1;
}

} // namespace absence::platform
