// The working directory and looking a day's file up on POSIX systems, where
// names are case-sensitive: another case of a name is found by listing the
// folder.

#include "platform.h"
#include "posix_p.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace absence::platform {

namespace {

bool asciiCaseEqual(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = char(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = char(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return true;
}

} // namespace

QChar PathSeparator()
{
    return QLatin1Char('/');
}

QString CurrentDirectory()
{
    std::vector<char> buf(4096);
    while (::getcwd(buf.data(), buf.size()) == nullptr) {
        if (errno != ERANGE)
            return QString();
        buf.resize(buf.size() * 2);
    }
    QString dir = QFile::decodeName(buf.data());
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    return dir;
}

bool IsDirectory(const QString &path)
{
    struct stat st;
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

EntryLookup LookUpEntry(const QString &path)
{
    EntryLookup lookup;
    const auto unknown = [&lookup](int err) {
        lookup.result = EntryLookup::Result::Unknown;
        lookup.errorCode = posix::IoErrorCode(err);
        return lookup;
    };
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString dir = slash < 0 ? QStringLiteral(".") : slash == 0 ? QStringLiteral("/") : path.left(slash);
    const QByteArray wanted = QFile::encodeName(path.mid(slash + 1));
    if (wanted.isEmpty())
        return lookup;
    // The exact name first: it wins, and a dangling link still counts.
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0) {
        lookup.result = EntryLookup::Result::Found;
        lookup.path = path;
        return lookup;
    }
    const int lookError = errno;
    if (lookError == ENOTDIR)
        return lookup;
    // Another case of the name; or, in a folder that may be listed but not
    // searched, the name as the listing shows it.
    DIR *d = ::opendir(QFile::encodeName(dir).constData());
    if (!d) {
        const int listError = errno;
        if (listError == ENOENT || listError == ENOTDIR)
            return lookup;
        // A folder the operator may search but not list: no other spelling
        // can be seen, and the exact name does not exist.
        if (lookError == ENOENT && (listError == EACCES || listError == EPERM))
            return lookup;
        return unknown(lookError == ENOENT ? listError : lookError);
    }
    // Several names may differ only in case; take the least, so the answer
    // does not depend on the directory's order.
    QByteArray best;
    for (;;) {
        errno = 0;
        const dirent *e = ::readdir(d);
        if (!e)
            break;
        const QByteArray name(e->d_name);
        if (asciiCaseEqual(name, wanted) && (best.isEmpty() || name < best))
            best = name;
    }
    const int readError = errno;
    ::closedir(d);
    if (readError != 0)
        return unknown(readError);
    if (!best.isEmpty()) {
        lookup.result = EntryLookup::Result::Found;
        lookup.path = (dir == QLatin1String("/") ? QString() : dir) + QLatin1Char('/') + QFile::decodeName(best);
    }
    return lookup;
}

bool ListFolderNames(const QString &folder, QStringList &names)
{
    names.clear();
    DIR *d = ::opendir(QFile::encodeName(folder).constData());
    if (!d)
        return false;
    for (;;) {
        errno = 0;
        const dirent *e = ::readdir(d);
        if (!e)
            break;
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.append(QFile::decodeName(e->d_name));
    }
    const bool read = errno == 0;
    ::closedir(d);
    return read;
}

qint64 RegularFileSize(const QString &path)
{
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode))
        return st.st_size;
    return -1;
}

} // namespace absence::platform
