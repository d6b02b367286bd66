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

namespace {

// As many links as the system itself follows in one path.
constexpr int MaxLinks = 63;

// How much of `path` is the folder `walked` (its own way checked already).
qsizetype WalkedPart(const QString &path, const QString &walked)
{
    const qsizetype n = walked.endsWith(QLatin1Char('\\')) ? walked.size() - 1 : walked.size();
    return path.startsWith(QStringView(walked).left(n), Qt::CaseInsensitive) &&
                   (path.size() == n || path.at(n) == QLatin1Char('\\'))
               ? n
               : 0;
}

} // namespace

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
    if (::GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                          &descriptor) != ERROR_SUCCESS)
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
    if (::GetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                nullptr, &descriptor) != ERROR_SUCCESS)
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

qsizetype RootLength(const QString &path)
{
    // Just past the `separators`th separator from `from` on.
    const auto after = [&](qsizetype from, int separators) -> qsizetype {
        for (qsizetype i = from; i < path.size(); ++i) {
            if (path.at(i) == QLatin1Char('\\') && --separators == 0)
                return i + 1;
        }
        return 0;
    };
    if (path.startsWith(QLatin1String("\\\\?\\UNC\\"), Qt::CaseInsensitive))
        return after(8, 2);
    if (path.startsWith(QLatin1String("\\\\?\\")) || path.startsWith(QLatin1String("\\\\.\\")))
        return after(4, 1);
    if (path.startsWith(QLatin1String("\\\\")))
        return after(2, 2);
    if (path.size() >= 3 && path.at(1) == QLatin1Char(':') && path.at(2) == QLatin1Char('\\'))
        return 3;
    return 0;
}

InputFile::Outcome FollowFolders(QString &path, qsizetype checked, int &links, DWORD &error, const LookOnTheWay &look)
{
    for (;;) {
        const qsizetype root = RootLength(path);
        if (root == 0) {
            error = ERROR_BAD_PATHNAME;
            return InputFile::Outcome::Failed;
        }
        bool followed = false;
        // Each folder of the way; the last name is the entry itself.
        for (qsizetype end = path.indexOf(QLatin1Char('\\'), root); end > 0 && !followed;
             end = path.indexOf(QLatin1Char('\\'), end + 1)) {
            if (end <= checked)
                continue;
            const QString folder = path.left(end);
            const WayStep step = look(folder);
            if (step.error != 0) {
                error = step.error;
                return InputFile::Outcome::Failed;
            }
            if (!step.link)
                continue;
            if (++links > MaxLinks) {
                error = ERROR_CANT_RESOLVE_FILENAME;
                return InputFile::Outcome::Loop;
            }
            if (!step.permitted) {
                error = ERROR_ACCESS_DENIED;
                return InputFile::Outcome::ForeignLink;
            }
            if (step.target.isEmpty()) {
                error = ERROR_CANT_ACCESS_FILE;
                return InputFile::Outcome::Failed;
            }
            // The way goes on from where the link leads; of the names its
            // text gives, only the link's own folder was walked.
            QString target = step.target;
            while (target.size() > RootLength(target) && target.endsWith(QLatin1Char('\\')))
                target.chop(1);
            checked = WalkedPart(target, FolderOf(folder));
            path = target + path.mid(end);
            followed = true;
        }
        if (!followed)
            return InputFile::Outcome::Opened;
    }
}

} // namespace win

using namespace win;

namespace {

QByteArray reparseDataOf(HANDLE handle)
{
    QByteArray data(MAXIMUM_REPARSE_DATA_BUFFER_SIZE, '\0');
    DWORD n = 0;
    if (!::DeviceIoControl(handle, FSCTL_GET_REPARSE_POINT, nullptr, 0, data.data(), DWORD(data.size()), &n, nullptr))
        return QByteArray();
    data.resize(n);
    return data;
}

// One folder on a link's way, opened without following it and without
// reading it.
WayStep LookOnWay(const QString &entry, const Operator &self)
{
    WayStep step;
    Handle h(::CreateFileW(SystemPath(entry).c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!h.valid() || !::GetFileInformationByHandleEx(h.h, FileAttributeTagInfo, &tag, sizeof tag)) {
        step.error = ::GetLastError();
        // A folder on the way that is missing is no place for a record.
        if (step.error == ERROR_FILE_NOT_FOUND)
            step.error = ERROR_PATH_NOT_FOUND;
        return step;
    }
    step.link = KindOf(tag.FileAttributes, tag.ReparseTag) == EntryKind::Link;
    if (step.link) {
        step.permitted = MayFollow(OwnerOfHandle(h.h).get(), self, OwnerOfPath(FolderOf(entry)).get());
        if (step.permitted)
            step.target = LinkTarget(entry, reparseDataOf(h.h));
    }
    return step;
}

bool sameFile(const BY_HANDLE_FILE_INFORMATION &a, const BY_HANDLE_FILE_INFORMATION &b)
{
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
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
        if (file.valid() && ::GetFileType(file.h) != FILE_TYPE_DISK) {
            // A pipe or a device: told before anything is asked of it.
            file.Reset();
            Fail(ERROR_ACCESS_DENIED);
            return;
        }
        FILE_ATTRIBUTE_TAG_INFO tag{};
        if (!file.valid() || !::GetFileInformationByHandleEx(file.h, FileAttributeTagInfo, &tag, sizeof tag)) {
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
            file.Reset(
                ::CreateFileW(name.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
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
        QString next = LinkTarget(entryPath, reparseDataOf(file.h));
        file.Reset();
        if (next.isEmpty()) {
            // A kind of link this program cannot follow by itself.
            Fail(ERROR_CANT_ACCESS_FILE);
            return;
        }
        // The folders the link's text names may be links too: each is
        // looked at without following it, by the same rule.
        DWORD wayError = 0;
        const InputFile::Outcome way = FollowFolders(next, WalkedPart(next, FolderOf(entryPath)), links, wayError,
                                                     [&](const QString &entry) { return LookOnWay(entry, *self); });
        if (way == InputFile::Outcome::ForeignLink) {
            outcome = way;
            err = wayError;
            return;
        }
        if (way != InputFile::Outcome::Opened) {
            Fail(wayError);
            return;
        }
        entryPath = next;
    }
    // A directory bearing the file's name cannot be read as a file; neither
    // can a pipe or a device. Decided before anything is read.
    if (!IsReadableFile(::GetFileType(file.h), attributes)) {
        file.Reset();
        Fail(ERROR_ACCESS_DENIED);
        return;
    }
    LARGE_INTEGER size{};
    remaining = ::GetFileSizeEx(file.h, &size) ? size.QuadPart : 0;
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

bool InputFilePrivate::Close()
{
    if (!file.valid())
        return true;
    const HANDLE h = file.h;
    file.h = INVALID_HANDLE_VALUE;
    if (::CloseHandle(h))
        return true;
    err = ::GetLastError();
    return false;
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
    if (!d->file.valid() || d->remaining <= 0)
        return 0;
    DWORD n = 0;
    const DWORD want = DWORD(std::min<qint64>({max, d->remaining, qint64(1) << 30}));
    if (!::ReadFile(d->file.h, buffer, want, &n, nullptr)) {
        const DWORD e = ::GetLastError();
        if (e == ERROR_HANDLE_EOF || e == ERROR_BROKEN_PIPE)
            return 0;
        d->err = e;
        return -1;
    }
    d->remaining -= n;
    return n;
}

qintptr InputFile::nativeHandle() const
{
    return d->file.valid() ? qintptr(d->file.h) : -1;
}

} // namespace absence::platform
