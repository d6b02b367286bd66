#include "day_files.h"

#include "services.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <csignal>
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

namespace {

// Most links followed for one name, as many as the kernel follows.
constexpr int MaxLinkHops = 40;

extern "C" void onLeaseBreak(int) {}

// A lease break sends the holder SIGIO, whose default action ends the
// process. The break needs no answer: the file is released as soon as it is
// read, and the other program gets it then. A handler rather than SIG_IGN,
// so that programs started from here do not inherit an ignored signal; one
// installed by the front end is left alone.
void PrepareForLeases()
{
    static const bool prepared = [] {
        struct sigaction old {};
        if (::sigaction(SIGIO, nullptr, &old) != 0)
            return false;
        if (!(old.sa_flags & SA_SIGINFO) && old.sa_handler == SIG_DFL) {
            struct sigaction sa {};
            sa.sa_handler = onLeaseBreak;
            sigemptyset(&sa.sa_mask);
            sa.sa_flags = SA_RESTART;
            return ::sigaction(SIGIO, &sa, nullptr) == 0;
        }
        return true;
    }();
    (void)prepared;
}

int openAt(int dirFd, const char *name, int flags)
{
    int fd;
    do {
        fd = ::openat(dirFd, name, flags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// The rule of fs.protected_symlinks, applied in every folder: a link is
// followed when it is ours or belongs to the owner of its directory.
bool mayFollow(const struct stat &link, int dirFd)
{
    if (link.st_uid == ::geteuid())
        return true;
    struct stat dir;
    return ::fstat(dirFd, &dir) == 0 && link.st_uid == dir.st_uid;
}

// The text of the link that `linkFd` (opened with O_PATH | O_NOFOLLOW) is, read
// from that very inode so that it cannot be swapped after the owner check.
bool readLinkText(int linkFd, QByteArray &text)
{
    std::vector<char> buf(4096);
    for (;;) {
        const ssize_t n = ::readlinkat(linkFd, "", buf.data(), buf.size());
        if (n < 0)
            return false;
        if (size_t(n) < buf.size()) {
            text = QByteArray(buf.data(), n);
            return true;
        }
        buf.resize(buf.size() * 2);
    }
}

} // namespace

DayFile::DayFile(const QString &path, Lease lease)
{
    const QByteArray encoded = QFile::encodeName(path);
    const qsizetype slash = encoded.lastIndexOf('/');
    const QByteArray dir = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : encoded.left(slash);
    m_name = encoded.mid(slash + 1);
    m_dirFd = openAt(AT_FDCWD, dir.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (m_dirFd < 0) {
        Fail(Outcome::Failed, errno);
        return;
    }
    if (m_name.isEmpty()) {
        Fail(Outcome::Failed, ENOENT);
        return;
    }
    Open(lease);
}

DayFile::~DayFile()
{
    Close();
    if (m_dirFd >= 0)
        ::close(m_dirFd);
}

void DayFile::Fail(Outcome outcome, int err)
{
    m_outcome = outcome;
    m_error = err;
}

void DayFile::Open(Lease lease)
{
    for (int hop = 0; hop <= MaxLinkHops; ++hop) {
        const int entry = openAt(m_dirFd, m_name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        if (entry < 0) {
            Fail(errno == ENOENT ? Outcome::Absent : Outcome::Failed, errno);
            return;
        }
        struct stat st;
        if (::fstat(entry, &st) != 0) {
            const int err = errno;
            ::close(entry);
            Fail(Outcome::Failed, err);
            return;
        }
        if (S_ISLNK(st.st_mode)) {
            const bool permitted = mayFollow(st, m_dirFd);
            QByteArray text;
            const bool read = permitted && readLinkText(entry, text);
            const int err = errno;
            ::close(entry);
            if (!permitted) {
                Fail(Outcome::ForeignLink, EACCES);
                return;
            }
            if (!read || text.isEmpty()) {
                Fail(Outcome::Failed, read ? ENOENT : err);
                return;
            }
            // The next hop: the link's text is taken from the link's folder.
            const qsizetype cut = text.lastIndexOf('/');
            if (cut >= 0) {
                const QByteArray dirPart = cut == 0 ? QByteArray("/") : text.left(cut);
                const int next = openAt(m_dirFd, dirPart.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
                if (next < 0) {
                    Fail(Outcome::Failed, errno);
                    return;
                }
                ::close(m_dirFd);
                m_dirFd = next;
                text = text.mid(cut + 1);
                if (text.isEmpty())
                    text = ".";
            }
            m_name = text;
            continue;
        }
        ::close(entry);
        m_found = true;
        m_status = st;
        if (S_ISDIR(st.st_mode)) {
            Fail(Outcome::Failed, EISDIR);
            return;
        }
        // Non-blocking only for the open (a named pipe without a writer reads
        // as empty), then ordinary blocking reads. No link is followed: one
        // swapped in since the look above is looked at again.
        const int fd = openAt(m_dirFd, m_name.constData(),
                              O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            const int err = errno;
            if (err == ELOOP || err == ENOENT) {
                m_found = false;
                continue;
            }
            // A network file system reports the server's sharing violation so.
            Fail(err == EBUSY || err == ETXTBSY ? Outcome::Shared : Outcome::Failed, err);
            return;
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        if (::fstat(fd, &m_status) != 0 || S_ISDIR(m_status.st_mode)) {
            const int err = S_ISDIR(m_status.st_mode) ? EISDIR : errno;
            ::close(fd);
            Fail(Outcome::Failed, err);
            return;
        }
        if (S_ISREG(m_status.st_mode)) {
            PrepareForLeases();
            if (::fcntl(fd, F_SETLEASE, lease == Lease::Read ? F_RDLCK : F_WRLCK) == 0) {
                m_leased = true;
            } else if (errno == EAGAIN) {
                ::close(fd);
                Fail(Outcome::Shared, EAGAIN);
                return;
            }
            // EACCES (another user's file, no CAP_LEASE) or EINVAL (no leases
            // on this file system): nothing tells, so the file is read as it is.
        }
        m_fd = fd;
        m_outcome = Outcome::Opened;
        m_error = 0;
        return;
    }
    Fail(Outcome::Loop, ELOOP);
}

bool DayFile::Close()
{
    if (m_fd < 0)
        return true;
    const int fd = m_fd;
    m_fd = -1;
    if (m_leased)
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
    m_leased = false;
    return ::close(fd) == 0 || errno == EINTR;
}

bool IsFileAbsent(const QString &path)
{
    return FindEntry(path).isEmpty();
}

} // namespace absence
