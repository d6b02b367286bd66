// An entry's stamp on POSIX systems: one lstat, which reads the inode and
// never opens the file.

#include "platform.h"

#include <QFile>

#include <cerrno>
#include <sys/stat.h>

namespace absence::platform {

EntryStamp ReadEntryStamp(const QString &path)
{
    EntryStamp stamp;
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        // ENOTDIR and the rest: the folder itself is in question, so the
        // entry's absence is not known.
        if (errno == ENOENT)
            stamp.state = EntryStamp::State::Absent;
        return stamp;
    }
    stamp.state = EntryStamp::State::Present;
    stamp.size = qint64(st.st_size);
    stamp.modified = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return stamp;
}

} // namespace absence::platform
