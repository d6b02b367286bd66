// The working directory and the entries of a folder on Windows.
//
// Every path reaches the system in its extended form ("\\?\C:\...",
// "\\?\UNC\server\share\..."), so that a folder deep enough to pass MAX_PATH
// still works whether or not long paths are switched on for the machine.

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

QString ExtendedPath(const QString &fullPath)
{
    if (fullPath.startsWith(QLatin1String("\\\\?\\")) || fullPath.startsWith(QLatin1String("\\\\.\\")))
        return fullPath;
    QString path = fullPath;
    path.replace(QLatin1Char('/'), QLatin1Char('\\'));
    const bool unc = path.startsWith(QLatin1String("\\\\"));
    const bool drive = path.size() >= 3 && path.at(0).isLetter() && path.at(0).unicode() < 128 &&
                       path.at(1) == QLatin1Char(':') && path.at(2) == QLatin1Char('\\');
    if (!unc && !drive)
        return fullPath;
    // The extended form is taken as it is: no separator may be doubled.
    QString extended = unc ? QStringLiteral("\\\\?\\UNC\\") : QStringLiteral("\\\\?\\") + path.left(3);
    for (qsizetype i = unc ? 2 : 3; i < path.size(); ++i) {
        if (path.at(i) != QLatin1Char('\\') || !extended.endsWith(QLatin1Char('\\')))
            extended += path.at(i);
    }
    return extended;
}

std::wstring SystemPath(const QString &path)
{
    const std::wstring given = Wide(path);
    if (path.isEmpty() || path.startsWith(QLatin1String("\\\\?\\")))
        return given;
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetFullPathNameW(given.c_str(), DWORD(full.size()), full.data(), nullptr);
        if (n == 0)
            return given; // the call that uses it reports why
        if (n < full.size()) {
            full.resize(n);
            break;
        }
        full.resize(n + 1);
    }
    return Wide(ExtendedPath(FromWide(full.data(), qsizetype(full.size()))));
}

EntryLookup LookUpAnswer(const QString &path, DWORD searchError, DWORD attributesError)
{
    const auto missing = [](DWORD e) { return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND; };
    EntryLookup entry;
    if (missing(searchError))
        return entry;
    if (attributesError == 0) {
        entry.result = EntryLookup::Result::Found;
        entry.path = path;
    } else if (!missing(attributesError)) {
        entry.result = EntryLookup::Result::Unknown;
        entry.errorCode = CodeOf(searchError);
    }
    return entry;
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
    const DWORD attributes = ::GetFileAttributesW(SystemPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

EntryLookup LookUpEntry(const QString &path)
{
    const qsizetype cut = LastSeparator(path);
    const QString name = path.mid(cut + 1);
    // No entry bears a name with wildcards, which the search would take as
    // a pattern.
    if (name.isEmpty() ||
        std::any_of(name.begin(), name.end(), [](QChar c) { return QStringView(u"*?<>\"").contains(c); }))
        return {};
    // Every kind of entry counts; the file system matches the name without
    // regard to case, and the entry's own spelling is the answer (an exact
    // match first, where a folder holds several).
    const std::wstring systemPath = SystemPath(path);
    DWORD searchError = StepError(Step::Search, path);
    if (searchError == 0) {
        WIN32_FIND_DATAW found{};
        const HANDLE search =
            ::FindFirstFileExW(systemPath.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
        if (search != INVALID_HANDLE_VALUE) {
            QString spelling = FromWide(found.cFileName);
            while (spelling != name && ::FindNextFileW(search, &found)) {
                if (FromWide(found.cFileName) == name)
                    spelling = name;
            }
            ::FindClose(search);
            EntryLookup entry;
            entry.result = EntryLookup::Result::Found;
            entry.path = path.left(cut + 1) + spelling;
            return entry;
        }
        searchError = ::GetLastError();
    }
    // A folder the operator may open files in but not list refuses the
    // search; the name itself may still be asked for.
    DWORD attributesError = 0;
    if (searchError != ERROR_FILE_NOT_FOUND && searchError != ERROR_PATH_NOT_FOUND) {
        attributesError = StepError(Step::Attributes, path);
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (attributesError == 0 && !::GetFileAttributesExW(systemPath.c_str(), GetFileExInfoStandard, &data))
            attributesError = ::GetLastError();
    }
    return LookUpAnswer(path, searchError, attributesError);
}

bool ListFolderNames(const QString &folder, QStringList &names)
{
    names.clear();
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileExW(SystemPath(folder + QStringLiteral("\\*")).c_str(), FindExInfoBasic,
                                             &found, FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE)
        return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        const QString name = FromWide(found.cFileName);
        if (name != QLatin1String(".") && name != QLatin1String(".."))
            names.append(name);
    } while (::FindNextFileW(search, &found));
    const bool read = ::GetLastError() == ERROR_NO_MORE_FILES;
    ::FindClose(search);
    return read;
}

qint64 RegularFileSize(const QString &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(SystemPath(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return -1;
    return (qint64(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

} // namespace absence::platform
