// The working directory and the entries of a folder on Windows.

#include "windows_p.h"

namespace absence::platform {

namespace win {

QString FolderOf(const QString &path)
{
    const qsizetype cut = LastSeparator(path);
    if (cut < 0)
        return QStringLiteral(".");
    // "C:\name" lies in "C:\", not in "C:".
    QString dir = path.left(cut);
    if (dir.size() == 2 && dir.at(1) == QLatin1Char(':'))
        dir += QLatin1Char('\\');
    return dir.isEmpty() ? QStringLiteral("\\") : dir;
}

} // namespace win

using namespace win;

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
            QString dir = FromWide(buffer.data(), n);
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
    const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

QString FindEntry(const QString &path)
{
    const qsizetype cut = LastSeparator(path);
    const QString name = path.mid(cut + 1);
    if (name.isEmpty() || name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?')))
        return QString();
    // Every kind of entry counts; the file system matches the name without
    // regard to case, and the entry's own spelling is the answer.
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileExW(Wide(path).c_str(), FindExInfoBasic, &found,
                                             FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return QString();
    ::FindClose(search);
    return path.left(cut + 1) + FromWide(found.cFileName);
}

qint64 RegularFileSize(const QString &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)
        || (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return -1;
    return (qint64(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

} // namespace absence::platform
