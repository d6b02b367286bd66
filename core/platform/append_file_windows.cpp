// A station's data file taking whole lines at its end on Windows.
//
// The file is opened with FILE_APPEND_DATA and without FILE_WRITE_DATA: the
// system (and a file server, which applies the same rule for every client)
// then puts each write at the end of the file as it is at that moment,
// whatever the handle's position. FILE_SHARE_READ alone: while it is open, a
// collector's open fails with a sharing violation instead of reading half a
// line, and another station's open for writing fails too; while a collector
// reads, this open fails. Those moments are short, so a sharing violation is
// tried again for a few seconds before it is reported.
//
// NTFS finds the room for a write before it takes any of its bytes, so a
// write on a full disk fails whole; nothing is taken back here (a handle
// that may only append cannot cut the file either).

#include "platform_p.h"
#include "windows_p.h"

#include <optional>
#include <utility>

namespace absence::platform {

using namespace win;

namespace {

constexpr DWORD AppendAccess = FILE_READ_DATA | FILE_READ_ATTRIBUTES | FILE_APPEND_DATA | SYNCHRONIZE;

} // namespace

AppendFilePrivate::AppendFilePrivate(const QString &path)
{
    detail::RetryWhileHeld([&] { return OpenOnce(path); });
}

// True when the file is open or the outcome is final.
bool AppendFilePrivate::OpenOnce(const QString &path)
{
    std::optional<InputFilePrivate> look(std::in_place, path, Sharing::Readers, AppendAccess);
    outcome = look->outcome;
    err = look->err;
    switch (look->outcome) {
    case InputFile::Outcome::Opened:
        file.Reset(std::exchange(look->file.h, INVALID_HANDLE_VALUE));
        return true;
    case InputFile::Outcome::Absent: {
        // Made where the name (or a permitted link) leads; one made by
        // someone else meanwhile is looked up again.
        file.Reset(::CreateFileW(SystemPath(look->entryPath).c_str(), AppendAccess, FILE_SHARE_READ, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.valid()) {
            made = true;
            outcome = InputFile::Outcome::Opened;
            return true;
        }
        err = ::GetLastError();
        if (err == ERROR_FILE_EXISTS || err == ERROR_SHARING_VIOLATION) {
            outcome = InputFile::Outcome::Shared;
            return false;
        }
        outcome = InputFile::Outcome::Failed;
        return true;
    }
    case InputFile::Outcome::Shared:
        return false;
    default:
        return true;
    }
}

int AppendFile::errorCode() const
{
    if (d->outcome == Outcome::Shared)
        return CodeOf(ERROR_SHARING_VIOLATION);
    return CodeOf(d->err);
}

bool AppendFile::ReadAll(QByteArray &bytes)
{
    bytes.clear();
    LARGE_INTEGER zero{};
    if (!::SetFilePointerEx(d->file.h, zero, nullptr, FILE_BEGIN)) {
        d->err = ::GetLastError();
        return false;
    }
    char buffer[65536];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(d->file.h, buffer, sizeof buffer, &n, nullptr)) {
            d->err = ::GetLastError();
            if (d->err == ERROR_HANDLE_EOF)
                return true;
            return false;
        }
        if (n == 0)
            return true;
        bytes.append(buffer, qsizetype(n));
    }
}

bool AppendFile::Append(QByteArrayView bytes, bool &replaced)
{
    // The record's replacement is refused while this handle is open.
    replaced = false;
    DWORD n = 0;
    const detail::EndDeferred deferred;
    if (!::WriteFile(d->file.h, bytes.data(), DWORD(bytes.size()), &n, nullptr)) {
        d->err = ::GetLastError();
        return false;
    }
    if (qsizetype(n) != bytes.size()) {
        d->err = ERROR_DISK_FULL;
        return false;
    }
    // A flush persists a new file's entry in its folder too.
    if (!::FlushFileBuffers(d->file.h)) {
        d->err = ::GetLastError();
        return false;
    }
    return true;
}

} // namespace absence::platform
