// An entry's stamp on Windows: GetFileAttributesExW, which asks only for the
// attributes (FILE_READ_ATTRIBUTES, an access no share mode refuses), so a
// station writing the file through a file server is not disturbed. A link
// answers with its own attributes, as lstat does.

#include "windows_p.h"

namespace absence::platform {

EntryStamp ReadEntryStamp(const QString &path)
{
    EntryStamp stamp;
    const std::wstring name = win::SystemPath(path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data)) {
        // ERROR_PATH_NOT_FOUND means the folder is gone or unreachable: the
        // entry's absence is not known then.
        if (::GetLastError() == ERROR_FILE_NOT_FOUND)
            stamp.state = EntryStamp::State::Absent;
        return stamp;
    }
    stamp.state = EntryStamp::State::Present;
    stamp.size = qint64((quint64(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    stamp.modified = qint64((quint64(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime);
    return stamp;
}

} // namespace absence::platform
