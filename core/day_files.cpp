#include "day_files.h"

#include "services.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace absence {

QDate ChosenDate = QDate::currentDate();

QByteArray ShortDateText(const QDate &date)
{
    return ToCp932(localeSettings().renderShortDate(date));
}

QByteArray MakeDateTag(const QDate &date)
{
    QByteArray tag = ShortDateText(date);
    // Exactly the first two "/" become "-"; any further one stays.
    for (int n = 0; n < 2; ++n) {
        const qsizetype at = tag.indexOf('/');
        if (at < 0)
            break;
        tag[at] = '-';
    }
    return tag;
}

QString WorkingDirectory()
{
    // Read afresh each time: the directory may change or vanish between uses.
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

static QString tagName()
{
    return FromCp932(MakeDateTag(ChosenDate));
}

QString DataFileName(int digit)
{
    return tagName() + QLatin1Char('A') + QString::number(digit) + QStringLiteral(".TXT");
}

QString DataFilePath(int digit)
{
    return WorkingDirectory() + QLatin1Char('/') + DataFileName(digit);
}

QString RecordFileName()
{
    return tagName() + QStringLiteral("A.TXT");
}

QString RecordFilePath()
{
    return WorkingDirectory() + QLatin1Char('/') + RecordFileName();
}

bool IsDirectory(const QString &path)
{
    struct stat st;
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0
           && S_ISDIR(st.st_mode);
}

static bool asciiCaseEqual(const QByteArray &a, const QByteArray &b)
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

QString FindEntry(const QString &path)
{
    if (!IsDirectory(WorkingDirectory()))
        return QString();
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

int OpenForReading(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    int fd;
    // Non-blocking only for the open, then ordinary blocking reads.
    do {
        fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool IsFileAbsent(const QString &path)
{
    return FindEntry(path).isEmpty();
}

} // namespace absence
