// A new record put in the old one's place on Windows.
//
// The new record is written into a file of its own beside the old one (in
// the folder of the file a permitted link leads to, so that the link stays a
// link), opened with DELETE | GENERIC_WRITE and no sharing, and written to
// the disk. Then, on that same handle, one FileRenameInformation with
// ReplaceIfExists (one request to a file server) gives it the record's name.
// The rename either happens whole or not at all, so at every instant the
// record's name holds the old record or the new one. It has no POSIX
// semantics: the system refuses it with access denied while anyone has the
// record open, in any sharing mode, so a record held open is never replaced
// under its holder. A refusal is tried again for a few tenths of a second
// (a scanner looks at a file for a moment after it was closed); after that
// the save fails and the old record stays. The replacement is then written
// to the disk through the same handle (a flush persists the file's entry in
// its folder too), and only then is the operator told it is saved.
//
// The old record's own access entries are carried over to the new one; the
// inherited ones come from the folder, as for any file made there.

#include "platform_p.h"
#include "windows_p.h"

#include <aclapi.h>

#include <cstddef>
#include <optional>

namespace absence::platform {

namespace win {

std::vector<BYTE> CarriedDacl(PACL old, bool oldProtected, PACL made)
{
    std::vector<const ACE_HEADER *> entries;
    const auto take = [&](PACL acl, bool inherited) {
        for (DWORD i = 0; acl && i < acl->AceCount; ++i) {
            void *ace = nullptr;
            if (::GetAce(acl, i, &ace) &&
                bool(static_cast<const ACE_HEADER *>(ace)->AceFlags & INHERITED_ACE) == inherited)
                entries.push_back(static_cast<const ACE_HEADER *>(ace));
        }
    };
    take(old, false);
    if (!oldProtected)
        take(made, true);
    DWORD size = sizeof(ACL);
    for (const ACE_HEADER *ace : entries)
        size += ace->AceSize;
    std::vector<BYTE> buffer((size + 3) & ~DWORD(3));
    const PACL acl = reinterpret_cast<PACL>(buffer.data());
    if (!::InitializeAcl(acl, DWORD(buffer.size()), ACL_REVISION_DS))
        return {};
    for (const ACE_HEADER *ace : entries) {
        if (!::AddAce(acl, ACL_REVISION_DS, MAXDWORD, const_cast<ACE_HEADER *>(ace), ace->AceSize))
            return {};
    }
    return buffer;
}

} // namespace win

using namespace win;

namespace {

// How long a refused rename is tried again, in all.
constexpr ULONGLONG RetryMilliseconds = 400;

// Removes what saves killed at the wrong instant left of their new record:
// the operator's own regular files of exactly the temporary name's shape,
// left alone for over a minute.
void removeLeftovers(const QString &folder, const QString &base)
{
    WIN32_FIND_DATAW found{};
    const QString pattern = folder + QLatin1Char('\\') + base + QStringLiteral(".*");
    const HANDLE search =
        ::FindFirstFileExW(SystemPath(pattern).c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return;
    FILETIME nowFt;
    ::GetSystemTimeAsFileTime(&nowFt);
    const quint64 now = (quint64(nowFt.dwHighDateTime) << 32) | nowFt.dwLowDateTime;
    constexpr quint64 Second = 10'000'000ull; // in 100 ns
    std::vector<QString> stale;
    do {
        const QString name = FromWide(found.cFileName);
        const quint64 written = (quint64(found.ftLastWriteTime.dwHighDateTime) << 32) |
                                found.ftLastWriteTime.dwLowDateTime;
        if (detail::IsTemporaryRecordName(name, base, Qt::CaseInsensitive) &&
            detail::IsStaleLeftover(
                !(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)), true,
                written < now ? qint64((now - written) / Second) : 0))
            stale.push_back(folder + QLatin1Char('\\') + name);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    if (stale.empty())
        return;
    const Operator self = Operator::OfProcess();
    for (const QString &path : stale) {
        if (self.Owns(OwnerOfPath(path).get()))
            ::DeleteFileW(SystemPath(path).c_str());
    }
}

// The old record's DACL, read through the handle that looked at it.
class OldAccess {
public:
    explicit OldAccess(HANDLE file)
    {
        if (::GetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &m_dacl, nullptr,
                              &m_descriptor) != ERROR_SUCCESS) {
            m_descriptor = nullptr;
            m_dacl = nullptr;
            return;
        }
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        m_protected = ::GetSecurityDescriptorControl(m_descriptor, &control, &revision) &&
                      (control & SE_DACL_PROTECTED);
    }
    ~OldAccess() { ::LocalFree(m_descriptor); }
    OldAccess(const OldAccess &) = delete;
    OldAccess &operator=(const OldAccess &) = delete;

    // True when the record has entries of its own to carry over. A record
    // without a DACL (everyone may do anything) has none.
    bool any() const
    {
        if (!m_dacl)
            return false;
        if (m_protected)
            return true;
        for (DWORD i = 0; i < m_dacl->AceCount; ++i) {
            void *ace = nullptr;
            if (::GetAce(m_dacl, i, &ace) && !(static_cast<const ACE_HEADER *>(ace)->AceFlags & INHERITED_ACE))
                return true;
        }
        return false;
    }

    // Gives the new file `made` the record's own entries and its inherited ones.
    bool ApplyTo(HANDLE made) const
    {
        PACL inherited = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (::GetSecurityInfo(made, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &inherited, nullptr,
                              &descriptor) != ERROR_SUCCESS)
            return false;
        std::vector<BYTE> acl = CarriedDacl(m_dacl, m_protected, inherited);
        ::LocalFree(descriptor);
        const SECURITY_INFORMATION what =
            DACL_SECURITY_INFORMATION |
            (m_protected ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION);
        return !acl.empty() && ::SetSecurityInfo(made, SE_FILE_OBJECT, what, nullptr, nullptr,
                                                 reinterpret_cast<PACL>(acl.data()), nullptr) == ERROR_SUCCESS;
    }

private:
    PSECURITY_DESCRIPTOR m_descriptor = nullptr;
    PACL m_dacl = nullptr;
    bool m_protected = false;
};

} // namespace

class RecordReplacementPrivate {
public:
    QString target; // the record's name, or the file a permitted link leads to
    Handle file; // the new record
    bool renamed = false;

    explicit RecordReplacementPrivate(const QString &path)
    {
        std::optional<OldAccess> access;
        {
            // Held by nobody else, and not a link someone else planted. The
            // look is let go again: the rename is refused while anyone,
            // this program too, has the record open.
            InputFile old(path, Sharing::Exclusive);
            const InputFilePrivate &look = *InputFilePrivateOf(old);
            switch (old.outcome()) {
            case InputFile::Outcome::Opened:
                target = look.entryPath;
                access.emplace(look.file.h);
                break;
            case InputFile::Outcome::Absent:
                // A first record; through a permitted link, where it leads.
                target = look.entryPath;
                break;
            case InputFile::Outcome::Loop:
                // Links that lead round in a circle hold no record: the
                // entry in the working directory becomes the record.
                target = path;
                break;
            default:
                return;
            }
        }
        const bool carry = access && access->any();
        const QString folder = FolderOf(target);
        removeLeftovers(folder, target.mid(LastSeparator(target) + 1));
        const DWORD rights = DELETE | GENERIC_WRITE | (carry ? WRITE_DAC | READ_CONTROL : 0);
        for (int attempt = 0; attempt < 100 && !file.valid(); ++attempt) {
            const QString name = detail::TemporaryRecordName(target);
            file.Reset(::CreateFileW(SystemPath(name).c_str(), rights, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                     nullptr));
            if (!file.valid() && ::GetLastError() != ERROR_FILE_EXISTS)
                return;
        }
        // Who may use the record stays as it was, or there is no new record.
        if (file.valid() && carry && !access->ApplyTo(file.h))
            Discard();
    }

    ~RecordReplacementPrivate()
    {
        if (!renamed)
            Discard();
    }

    // The new file removed through its own handle (it has no other name).
    void Discard()
    {
        if (!file.valid())
            return;
        FILE_DISPOSITION_INFO dispose{};
        dispose.DeleteFile = TRUE;
        ::SetFileInformationByHandle(file.h, FileDispositionInfo, &dispose, sizeof dispose);
        file.Reset();
    }

    // 0, or the system's reason why the new record could not take the
    // record's name.
    DWORD Rename()
    {
        const std::wstring to = SystemPath(target);
        std::vector<BYTE> buffer(offsetof(FILE_RENAME_INFO, FileName) + (to.size() + 1) * sizeof(wchar_t));
        auto *info = reinterpret_cast<FILE_RENAME_INFO *>(buffer.data());
        info->ReplaceIfExists = TRUE;
        info->RootDirectory = nullptr;
        info->FileNameLength = DWORD(to.size() * sizeof(wchar_t));
        std::copy(to.begin(), to.end(), info->FileName);
        const ULONGLONG start = ::GetTickCount64();
        for (DWORD pause = 10;; pause = std::min<DWORD>(pause * 2, 100)) {
            DWORD e = StepError(Step::Rename, target);
            if (e == 0) {
                if (::SetFileInformationByHandle(file.h, FileRenameInfo, info, DWORD(buffer.size())))
                    return 0;
                e = ::GetLastError();
            }
            // The record open (access denied) or the new file held without
            // sharing: both may last a moment only.
            const bool held = e == ERROR_ACCESS_DENIED || e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION;
            if (!held || ::GetTickCount64() - start + pause > RetryMilliseconds)
                return e;
            ::Sleep(pause);
        }
    }
};

RecordReplacement::RecordReplacement(const QString &path) : d(std::make_unique<RecordReplacementPrivate>(path))
{
}
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
    if (!d->file.valid())
        return Result::CannotCreate;
    if (StepError(Step::Flush, d->target) != 0 || !::FlushFileBuffers(d->file.h))
        return Result::WriteFailed;
    if (d->Rename() != 0)
        return Result::CannotCreate;
    d->renamed = true;
    // Only once the rename is on the disk may the operator be told it is
    // saved; the first record too.
    const bool flushed = StepError(Step::FlushRenamed, d->target) == 0 && ::FlushFileBuffers(d->file.h);
    d->file.Reset();
    return flushed ? Result::Done : Result::WriteFailed;
}

} // namespace absence::platform
