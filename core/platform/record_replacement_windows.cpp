// A new record put in the old one's place on Windows.

#include "platform_p.h"
#include "windows_p.h"

namespace absence::platform {

using namespace win;

namespace {

// Removes what saves killed at the wrong instant left of their new record:
// the operator's own regular files of exactly the temporary name's shape,
// left alone for over a minute.
void removeLeftovers(const QString &folder, const QString &base)
{
    WIN32_FIND_DATAW found{};
    const QString pattern = folder + QLatin1Char('\\') + base + QStringLiteral(".*");
    const HANDLE search = ::FindFirstFileExW(Wide(pattern).c_str(), FindExInfoBasic, &found,
                                             FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return;
    FILETIME nowFt;
    ::GetSystemTimeAsFileTime(&nowFt);
    const quint64 now = (quint64(nowFt.dwHighDateTime) << 32) | nowFt.dwLowDateTime;
    constexpr quint64 Second = 10'000'000ull; // in 100 ns
    const Sid self = OperatorSid();
    std::vector<QString> stale;
    do {
        const QString name = FromWide(found.cFileName);
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
        if (self.Equals(PSID(OwnerOfPath(path).bytes.data())))
            ::DeleteFileW(Wide(path).c_str());
    }
}

} // namespace

class RecordReplacementPrivate {
public:
    QString record;
    QString temp;
    Handle file;
    bool replacesOld = false;

    explicit RecordReplacementPrivate(const QString &path) : record(path)
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
        const QString folder = FolderOf(path);
        const QString base = path.mid(LastSeparator(path) + 1);
        removeLeftovers(folder, base);
        for (int attempt = 0; attempt < 100 && !file.valid(); ++attempt) {
            const QString name = detail::TemporaryRecordName(path);
            file.Reset(::CreateFileW(Wide(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
            if (file.valid())
                temp = name;
            else if (::GetLastError() != ERROR_FILE_EXISTS)
                break;
        }
    }
    ~RecordReplacementPrivate()
    {
        file.Reset();
        if (!temp.isEmpty())
            ::DeleteFileW(Wide(temp).c_str());
    }

    // The new record's own entry and size on the disk.
    bool FlushRecord()
    {
        Handle written(::CreateFileW(Wide(record).c_str(), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        return written.valid() && ::FlushFileBuffers(written.h);
    }
};

RecordReplacement::RecordReplacement(const QString &path) : d(std::make_unique<RecordReplacementPrivate>(path)) {}
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
    const std::wstring record = Wide(d->record), temp = Wide(d->temp);
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

} // namespace absence::platform
