// The day's files on Windows.
//
// Sharing is the system's own: a data file is opened for reading with
// FILE_SHARE_READ, so the open fails with ERROR_SHARING_VIOLATION (32) while
// anyone holds it open for writing; the record is opened with no sharing at
// all. A file server enforces the same share modes for every client, so this
// holds across the network too. Error codes are the system's own.

#include "platform.h"
#include "platform_p.h"

#include "services.h"

#include <QLocale>

#include <windows.h>

#include <aclapi.h>
#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <fcntl.h>
#include <io.h>
#include <iterator>
#include <vector>

namespace absence::platform {

namespace {

constexpr DWORD DiskFullCode = 101;

// The program's I/O error code of a system error: the code itself, except
// that a full disk reads as the disk-full error on every system.
int codeOf(DWORD err)
{
    if (err == ERROR_DISK_FULL || err == ERROR_HANDLE_DISK_FULL)
        return int(DiskFullCode);
    return int(err);
}

std::wstring wide(const QString &text)
{
    return text.toStdWString();
}

QString fromWide(const wchar_t *text, qsizetype size = -1)
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

qsizetype lastSeparator(const QString &path)
{
    return std::max(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/')));
}

QString folderOf(const QString &path)
{
    const qsizetype cut = lastSeparator(path);
    if (cut < 0)
        return QStringLiteral(".");
    // "C:\name" lies in "C:\", not in "C:".
    QString dir = path.left(cut);
    if (dir.size() == 2 && dir.at(1) == QLatin1Char(':'))
        dir += QLatin1Char('\\');
    return dir.isEmpty() ? QStringLiteral("\\") : dir;
}

// The SIDs a link may belong to: the operator's and the folder owner's.
struct Sid {
    std::vector<BYTE> bytes;
    bool Equals(PSID other) const
    {
        return !bytes.empty() && other && ::IsValidSid(other) && ::EqualSid(PSID(bytes.data()), other);
    }
    static Sid Copy(PSID sid)
    {
        Sid s;
        if (sid && ::IsValidSid(sid)) {
            s.bytes.resize(::GetLengthSid(sid));
            ::CopySid(DWORD(s.bytes.size()), PSID(s.bytes.data()), sid);
        }
        return s;
    }
};

Sid operatorSid()
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

Sid ownerOfHandle(HANDLE handle)
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

Sid ownerOfPath(const QString &path)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::wstring name = wide(path);
    if (::GetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return {};
    Sid s = Sid::Copy(owner);
    ::LocalFree(descriptor);
    return s;
}

bool isLink(HANDLE handle)
{
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag))
        return false;
    return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
           && (tag.ReparseTag == IO_REPARSE_TAG_SYMLINK || tag.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT);
}

} // namespace

QChar PathSeparator()
{
    return QLatin1Char('\\');
}

QString CurrentDirectory()
{
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (;;) {
        const DWORD n = ::GetCurrentDirectoryW(DWORD(buffer.size()), buffer.data());
        if (n == 0)
            return QString();
        if (n < buffer.size()) {
            QString dir = fromWide(buffer.data(), n);
            // A drive root keeps its separator ("C:\"); so does a share's.
            while (dir.size() > 3 && dir.endsWith(QLatin1Char('\\')) && !dir.startsWith(QLatin1String("\\\\"))) {
                dir.chop(1);
            }
            return dir;
        }
        buffer.resize(n + 1);
    }
}

bool IsDirectory(const QString &path)
{
    if (path.isEmpty())
        return false;
    const DWORD attributes = ::GetFileAttributesW(wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

QString FindEntry(const QString &path)
{
    const qsizetype cut = lastSeparator(path);
    const QString name = path.mid(cut + 1);
    if (name.isEmpty() || name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?')))
        return QString();
    // Every kind of entry counts; the file system matches the name without
    // regard to case, and the entry's own spelling is the answer.
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileExW(wide(path).c_str(), FindExInfoBasic, &found,
                                             FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return QString();
    ::FindClose(search);
    return path.left(cut + 1) + fromWide(found.cFileName);
}

qint64 RegularFileSize(const QString &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(wide(path).c_str(), GetFileExInfoStandard, &data)
        || (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return -1;
    return (qint64(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// ---------------------------------------------------------------------------

struct InputFile::Impl {
    Outcome outcome = Outcome::Failed;
    DWORD err = 0;
    Handle file;
    bool found = false;

    Impl(const QString &path, Sharing sharing)
    {
        const std::wstring name = wide(path);
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
            const Sid owner = ownerOfHandle(file.h);
            if (!owner.Equals(PSID(operatorSid().bytes.data()))
                && !owner.Equals(PSID(ownerOfPath(folderOf(path)).bytes.data()))) {
                file.Reset();
                outcome = Outcome::ForeignLink;
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
        outcome = Outcome::Opened;
    }

    void Fail(DWORD e)
    {
        err = e;
        switch (e) {
        case ERROR_FILE_NOT_FOUND:
            outcome = Outcome::Absent;
            found = false;
            break;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            outcome = Outcome::Shared;
            break;
        case ERROR_CANT_RESOLVE_FILENAME:
            outcome = Outcome::Loop;
            break;
        default:
            outcome = Outcome::Failed;
        }
    }
};

InputFile::InputFile(const QString &path, Sharing sharing) : d(std::make_unique<Impl>(path, sharing)) {}
InputFile::~InputFile() = default;

InputFile::Outcome InputFile::outcome() const
{
    return d->outcome;
}

int InputFile::errorCode() const
{
    return codeOf(d->err);
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

// ---------------------------------------------------------------------------

namespace {

// Removes what saves killed at the wrong instant left of their new record:
// the operator's own regular files of exactly the temporary name's shape,
// left alone for over a minute.
void removeLeftovers(const QString &folder, const QString &base)
{
    WIN32_FIND_DATAW found{};
    const QString pattern = folder + QLatin1Char('\\') + base + QStringLiteral(".*");
    const HANDLE search = ::FindFirstFileExW(wide(pattern).c_str(), FindExInfoBasic, &found,
                                             FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return;
    FILETIME nowFt;
    ::GetSystemTimeAsFileTime(&nowFt);
    const quint64 now = (quint64(nowFt.dwHighDateTime) << 32) | nowFt.dwLowDateTime;
    constexpr quint64 Second = 10'000'000ull; // in 100 ns
    const Sid self = operatorSid();
    std::vector<QString> stale;
    do {
        const QString name = fromWide(found.cFileName);
        const quint64 written = (quint64(found.ftLastWriteTime.dwHighDateTime) << 32)
                                | found.ftLastWriteTime.dwLowDateTime;
        if (detail::IsTemporaryRecordName(name, base, Qt::CaseInsensitive)
            && detail::IsStaleLeftover(
                !(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)), true,
                written < now ? qint64((now - written) / Second) : 0))
            stale.push_back(folder + QLatin1Char('\\') + name);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    for (const QString &path : stale) {
        if (self.Equals(PSID(ownerOfPath(path).bytes.data())))
            ::DeleteFileW(wide(path).c_str());
    }
}

} // namespace

struct RecordReplacement::Impl {
    QString record;
    QString temp;
    Handle file;
    bool replacesOld = false;

    explicit Impl(const QString &path) : record(path)
    {
        {
            // Held by nobody else, and not a link someone else planted; the
            // look is let go again, since the replacement itself needs the
            // record free. A program that opens it meanwhile makes the
            // replacement fail, and the record stays as it was.
            InputFile old(path, Sharing::Exclusive);
            switch (old.outcome()) {
            case InputFile::Outcome::Opened:
                replacesOld = true;
                break;
            case InputFile::Outcome::Absent:
                break;
            default:
                return;
            }
        }
        const QString folder = folderOf(path);
        const QString base = path.mid(lastSeparator(path) + 1);
        removeLeftovers(folder, base);
        for (int attempt = 0; attempt < 100 && !file.valid(); ++attempt) {
            const QString name = detail::TemporaryRecordName(path);
            file.Reset(::CreateFileW(wide(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
            if (file.valid())
                temp = name;
            else if (::GetLastError() != ERROR_FILE_EXISTS)
                break;
        }
    }
    ~Impl()
    {
        file.Reset();
        if (!temp.isEmpty())
            ::DeleteFileW(wide(temp).c_str());
    }

    // The new record's own entry and size on the disk.
    bool FlushRecord()
    {
        Handle written(::CreateFileW(wide(record).c_str(), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        return written.valid() && ::FlushFileBuffers(written.h);
    }
};

RecordReplacement::RecordReplacement(const QString &path) : d(std::make_unique<Impl>(path)) {}
RecordReplacement::~RecordReplacement() = default;

bool RecordReplacement::ready() const
{
    return d->file.valid();
}

bool RecordReplacement::Write(const char *data, qint64 size)
{
    while (size > 0) {
        DWORD n = 0;
        const DWORD piece = DWORD(std::min<qint64>(size, 1 << 30));
        if (!::WriteFile(d->file.h, data, piece, &n, nullptr) || n == 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

RecordReplacement::Result RecordReplacement::Commit()
{
    if (!::FlushFileBuffers(d->file.h))
        return Result::WriteFailed;
    d->file.Reset();
    const std::wstring record = wide(d->record), temp = wide(d->temp);
    // ReplaceFileW keeps the replaced record's security and attributes;
    // a first record simply takes its name, written through.
    const bool replaced =
        d->replacesOld
            ? ::ReplaceFileW(record.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
            : ::MoveFileExW(temp.c_str(), record.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!replaced)
        return Result::CannotCreate;
    d->temp.clear();
    // Only now may the operator be told it is saved.
    if (d->replacesOld && !d->FlushRecord())
        return Result::WriteFailed;
    return Result::Done;
}

// ---------------------------------------------------------------------------

namespace {

std::FILE *streamOf(Stream stream)
{
    return stream == Stream::Output ? stdout : stderr;
}

HANDLE consoleOf(Stream stream)
{
    const HANDLE h = ::GetStdHandle(stream == Stream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    return h != INVALID_HANDLE_VALUE && h && ::GetConsoleMode(h, &mode) ? h : nullptr;
}

} // namespace

bool WriteBytes(Stream stream, QByteArrayView bytes)
{
    std::FILE *f = streamOf(stream);
    if (!bytes.isEmpty())
        std::fwrite(bytes.data(), 1, size_t(bytes.size()), f);
    return !std::ferror(f);
}

bool WriteText(Stream stream, QByteArrayView utf8)
{
    // A console shows UTF-16 correctly whatever its code page; files and
    // pipes get the UTF-8 bytes.
    if (const HANDLE console = consoleOf(stream)) {
        std::fflush(streamOf(stream));
        const QString text = QString::fromUtf8(utf8);
        const auto *data = reinterpret_cast<const wchar_t *>(text.utf16());
        qsizetype left = text.size();
        while (left > 0) {
            DWORD n = 0;
            if (!::WriteConsoleW(console, data, DWORD(std::min<qsizetype>(left, 8192)), &n, nullptr) || n == 0)
                return false;
            data += n;
            left -= n;
        }
        return true;
    }
    return WriteBytes(stream, utf8);
}

bool Flush(Stream stream)
{
    std::FILE *f = streamOf(stream);
    return std::fflush(f) == 0 && !std::ferror(f);
}

void PrepareProcess()
{
    // Bytes as they are: no CR put before LF by the C runtime.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // A missing drive or an empty card reader is an error code, not a box.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

LocaleSettings SystemLocaleSettings()
{
    // Qt's system locale reads the user's regional settings (short date,
    // time format, AM/PM designators) through GetLocaleInfoEx.
    return LocaleSettings::fromLocale(QLocale::system());
}

} // namespace absence::platform
