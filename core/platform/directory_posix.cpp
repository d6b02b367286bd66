// The working directory and looking a day's file up on POSIX systems, where
// names are case-sensitive: another case of a name is found by listing the
// folder.

#include "platform.h"

#include <QFile>

#include <cerrno>
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

QString findEntry(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString dir = slash < 0 ? QStringLiteral(".") : path.left(slash);
    const QByteArray wanted = QFile::encodeName(path.mid(slash + 1));
    if (wanted.isEmpty())
        return QString();
    // lstat first: an exact name wins, and a dangling link still counts.
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0)
        return path;
    DIR *d = ::opendir(QFile::encodeName(dir.isEmpty() ? QStringLiteral("/") : dir).constData());
    if (!d)
        return QString();
    // Several names may differ only in case; take the least, so the answer
    // does not depend on the directory's order.
    QByteArray best;
    while (const dirent *e = ::readdir(d)) {
        const QByteArray name(e->d_name);
        if (asciiCaseEqual(name, wanted) && (best.isEmpty() || name < best))
            best = name;
    }
    ::closedir(d);
    if (best.isEmpty())
        return QString();
    return (dir == QLatin1String("/") ? QString() : dir) + QLatin1Char('/') + QFile::decodeName(best);
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
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0
           && S_ISDIR(st.st_mode);
}

EntryLookup LookUpEntry(const QString &path)
{
    EntryLookup lookup;
    lookup.path = findEntry(path);
    if (!lookup.path.isEmpty())
        lookup.result = EntryLookup::Result::Found;
    return lookup;
}

qint64 RegularFileSize(const QString &path)
{
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode))
        return st.st_size;
    return -1;
}

} // namespace absence::platform
