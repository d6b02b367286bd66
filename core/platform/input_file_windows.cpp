// A day's file opened for reading on Windows.
//
// Sharing is the system's own: a data file is opened for reading with
// FILE_SHARE_READ, so the open fails with ERROR_SHARING_VIOLATION (32) while
// anyone holds it open for writing; the record is opened with no sharing at
// all. A file server enforces the same share modes for every client, so this
// holds across the network too. Error codes are the system's own.
//
// Links are followed here, one at a time: each entry on the way is opened
// without following it, its owner checked through that handle, and where it
// is no link, that same handle is the file read. Nothing is opened again by
// name between the check and the read, so a link swapped in meanwhile is
// looked at like any other.

#include "windows_p.h"

#include <aclapi.h>
#include <winioctl.h>

#include <cstring>
#include <optional>

namespace absence::platform {

namespace win {

bool Sid::Equals(PSID other) const
{
    return !bytes.empty() && other && ::IsValidSid(other) && ::EqualSid(get(), other);
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

Operator Operator::OfProcess()
{
    Operator self;
    Handle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token.h))
        return self;
    const auto query = [&](TOKEN_INFORMATION_CLASS what) {
        DWORD size = 0;
        ::GetTokenInformation(token.h, what, nullptr, 0, &size);
        std::vector<BYTE> buffer(size);
        if (size == 0 || !::GetTokenInformation(token.h, what, buffer.data(), size, &size))
            buffer.clear();
        return buffer;
    };
    const std::vector<BYTE> user = query(TokenUser), owner = query(TokenOwner);
    if (!user.empty())
        self.user = Sid::Copy(reinterpret_cast<const TOKEN_USER *>(user.data())->User.Sid);
    if (!owner.empty())
        self.owner = Sid::Copy(reinterpret_cast<const TOKEN_OWNER *>(owner.data())->Owner);
    return self;
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
    std::wstring name = SystemPath(path);
    if (::GetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return {};
    Sid s = Sid::Copy(owner);
    ::LocalFree(descriptor);
    return s;
}

EntryKind KindOf(DWORD attributes, DWORD reparseTag)
{
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return EntryKind::Plain;
    return IsReparseTagNameSurrogate(reparseTag) ? EntryKind::Link : EntryKind::FilteredFile;
}

bool MayFollow(PSID linkOwner, const Operator &self, PSID folderOwner)
{
    if (!linkOwner || !::IsValidSid(linkOwner))
        return false;
    return self.Owns(linkOwner) || (folderOwner && ::IsValidSid(folderOwner) && ::EqualSid(linkOwner, folderOwner));
}

QString LinkTarget(const QString &linkPath, const QByteArray &data)
{
    // REPARSE_DATA_BUFFER: the tag, the data's length, a reserved word, then
    // the offsets and lengths of the substitute and print names (and, for a
    // symbolic link, its flags) before the names themselves.
    const auto word = [&](qsizetype at) {
        quint16 v = 0;
        std::memcpy(&v, data.constData() + at, sizeof v);
        return v;
    };
    if (data.size() < 16)
        return QString();
    quint32 tag = 0;
    std::memcpy(&tag, data.constData(), sizeof tag);
    qsizetype names = 0;
    bool relative = false;
    if (tag == IO_REPARSE_TAG_SYMLINK && data.size() >= 20) {
        quint32 flags = 0;
        std::memcpy(&flags, data.constData() + 16, sizeof flags);
        relative = flags & SYMLINK_FLAG_RELATIVE;
        names = 20;
    } else if (tag == IO_REPARSE_TAG_MOUNT_POINT) {
        names = 16;
    } else {
        return QString();
    }
    const qsizetype offset = word(8), length = word(10);
    if (length == 0 || length % 2 || names + offset + length > data.size())
        return QString();
    QString target(length / 2, Qt::Uninitialized);
    std::memcpy(target.data(), data.constData() + names + offset, size_t(length));
    if (relative) {
        // Relative to the link's own folder, ".." and all.
        const std::wstring joined = Wide(FolderOf(linkPath) + QLatin1Char('\\') + target);
        std::wstring full(joined.size() + MAX_PATH, L'\0');
        const DWORD n = ::GetFullPathNameW(joined.c_str(), DWORD(full.size()), full.data(), nullptr);
        return n == 0 || n >= full.size() ? QString() : FromWide(full.data(), n);
    }
    // "\??\C:\..." and "\??\UNC\server\share\..." are the system's names of
    // "C:\..." and "\\server\share\..."; anything else ("\??\Volume{...}")
    // only in its extended form.
    if (!target.startsWith(QLatin1String("\\??\\")))
        return target;
    target = target.mid(4);
    if (target.startsWith(QLatin1String("UNC\\"), Qt::CaseInsensitive))
        return QLatin1String("\\\\") + target.mid(4);
    if (target.size() >= 3 && target.at(1) == QLatin1Char(':') && target.at(2) == QLatin1Char('\\'))
        return target;
    return QLatin1String("\\\\?\\") + target;
}

} // namespace win

using namespace win;

namespace {

// As many links as the system itself follows in one path.
constexpr int MaxLinks = 63;

QByteArray reparseDataOf(HANDLE handle)
{
    QByteArray data(MAXIMUM_REPARSE_DATA_BUFFER_SIZE, '\0');
    DWORD n = 0;
    if (!::DeviceIoControl(handle, FSCTL_GET_REPARSE_POINT, nullptr, 0, data.data(), DWORD(data.size()), &n,
                           nullptr))
        return QByteArray();
    data.resize(n);
    return data;
}

bool sameFile(const BY_HANDLE_FILE_INFORMATION &a, const BY_HANDLE_FILE_INFORMATION &b)
{
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh
           && a.nFileIndexLow == b.nFileIndexLow;
}

} // namespace

InputFilePrivate::InputFilePrivate(const QString &path, Sharing sharing, DWORD access)
{
    const DWORD share = sharing == Sharing::Readers ? FILE_SHARE_READ : 0;
    std::optional<Operator> self;
    entryPath = path;
    DWORD attributes = 0;
    for (int links = 0;;) {
        // The entry itself, a link not followed: what it is decides what
        // comes next.
        if (const DWORD e = StepError(Step::Open, entryPath)) {
            Fail(e);
            return;
        }
        const std::wstring name = SystemPath(entryPath);
        file.Reset(::CreateFileW(name.c_str(), access | READ_CONTROL, share, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        FILE_ATTRIBUTE_TAG_INFO tag{};
        if (!file.valid()
            || !::GetFileInformationByHandleEx(file.h, FileAttributeTagInfo, &tag, sizeof tag)) {
            Fail(::GetLastError());
            file.Reset();
            return;
        }
        attributes = tag.FileAttributes;
        const EntryKind kind = KindOf(tag.FileAttributes, tag.ReparseTag);
        if (kind == EntryKind::Plain)
            break;
        if (++links > MaxLinks) {
            file.Reset();
            Fail(ERROR_CANT_RESOLVE_FILENAME);
            return;
        }
        if (kind == EntryKind::FilteredFile) {
            // Opened again the normal way, so that its file system filter
            // serves its content; taken only if it is still the same file.
            BY_HANDLE_FILE_INFORMATION looked{}, opened{};
            ::GetFileInformationByHandle(file.h, &looked);
            file.Reset();
            file.Reset(::CreateFileW(name.c_str(), access, share, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file.valid()) {
                Fail(::GetLastError());
                return;
            }
            if (::GetFileInformationByHandle(file.h, &opened) && sameFile(looked, opened)) {
                attributes = opened.dwFileAttributes;
                break;
            }
            file.Reset();
            continue;
        }
        if (!self)
            self = Operator::OfProcess();
        if (!MayFollow(OwnerOfHandle(file.h).get(), *self, OwnerOfPath(FolderOf(entryPath)).get())) {
            file.Reset();
            outcome = InputFile::Outcome::ForeignLink;
            err = ERROR_ACCESS_DENIED;
            return;
        }
        const QString next = LinkTarget(entryPath, reparseDataOf(file.h));
        file.Reset();
        if (next.isEmpty()) {
            // A kind of link this program cannot follow by itself.
            Fail(ERROR_CANT_ACCESS_FILE);
            return;
        }
        entryPath = next;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
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
