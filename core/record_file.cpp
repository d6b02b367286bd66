#include "record_file.h"

#include "absence_list.h"
#include "day_files.h"
#include "errors.h"
#include "services.h"

#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <optional>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace absence {

QString RecordPath;

namespace {
// "最終更新" in code page 932.
const QByteArray LastUpdateMark = QByteArrayLiteral("\x8d\xc5\x8f\x49\x8d\x58\x90\x56");
struct Descriptor {
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// A new file beside the record, removed again unless it took the record's
// place. Where the file system allows, it has no name until it is complete,
// so a save killed while writing leaves nothing behind in the shared folder.
class TemporaryRecord {
public:
    TemporaryRecord(int dirFd, const QByteArray &name, mode_t mode) : m_dirFd(dirFd), m_base(name)
    {
        do {
            m_fd = ::openat(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        } while (m_fd < 0 && errno == EINTR);
        for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
            do {
                m_fd = ::openat(dirFd, NextName().constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
            } while (m_fd < 0 && errno == EINTR);
            if (m_fd < 0 && errno != EEXIST)
                break;
            m_named = m_fd >= 0;
        }
    }
    ~TemporaryRecord()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (m_named)
            ::unlinkat(m_dirFd, m_name.constData(), 0);
    }
    TemporaryRecord(const TemporaryRecord &) = delete;
    TemporaryRecord &operator=(const TemporaryRecord &) = delete;

    int fd() const { return m_fd; }
    // On the disk; false when that failed.
    bool Finish() { return ::fdatasync(m_fd) == 0; }
    // Takes the place of the record in the same directory, then is closed.
    bool Replace()
    {
        if (!m_named) {
            // Through /proc, which needs no privilege, unlike AT_EMPTY_PATH.
            const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
            for (int attempt = 0; attempt < 100 && !m_named; ++attempt) {
                if (::linkat(AT_FDCWD, self.constData(), m_dirFd, NextName().constData(),
                             AT_SYMLINK_FOLLOW) == 0)
                    m_named = true;
                else if (errno != EEXIST)
                    return false;
            }
            if (!m_named)
                return false;
        }
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0 && errno != EINTR)
            return false;
        if (::renameat(m_dirFd, m_name.constData(), m_dirFd, m_base.constData()) != 0)
            return false;
        m_named = false;
        return true;
    }

private:
    const QByteArray &NextName()
    {
        static const char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        m_name = m_base + '.';
        for (int k = 0; k < 6; ++k)
            m_name += Letters[QRandomGenerator::global()->bounded(int(sizeof Letters - 1))];
        return m_name;
    }

    int m_dirFd;
    int m_fd = -1;
    bool m_named = false; // a name in the directory that is ours to remove
    QByteArray m_base;
    QByteArray m_name;
};

} // namespace

QByteArray DateTimeText(const QDateTime &moment)
{
    QByteArray text = ShortDateText(moment.date());
    const QTime t = moment.time();
    if (t.hour() != 0 || t.minute() != 0 || t.second() != 0)
        text += ' ' + ToCp932(localeSettings().renderLongTime(t));
    return text;
}

QByteArray MakeLastUpdateLine(const QDateTime &moment)
{
    return LastUpdateMark + QByteArrayLiteral("\x81\x46") + DateTimeText(moment);
}

bool IsLastUpdateLine(const QByteArray &line)
{
    return line.size() > LastUpdateMark.size() && line.startsWith(LastUpdateMark);
}

void Save(AbsenceList &list)
{
    const QString wd = WorkingDirectory();
    QString path = RecordFilePath();
    const QByteArray first = list.Get(0);
    const QByteArray stamp = MakeLastUpdateLine(clock().now());
    if (IsLastUpdateLine(first))
        list.Put(0, stamp);
    else
        list.Add(stamp);

    // Without a readable working directory (removed while the program ran)
    // the path would point elsewhere: name only the file.
    if (!IsDirectory(wd))
        throw FileCreateError(RecordFileName());
    // A record saved under another case of the name is the one replaced.
    const QString existing = FindEntry(path);
    if (!existing.isEmpty())
        path = existing;

    // Who may use the record: the replaced file's mode and group go to the
    // new one. The old record stays held by a write lease until the new one
    // has taken its place, so that a program opening it meanwhile waits.
    DayFile old(path, Lease::Write);
    std::optional<struct stat> keep;
    int dirFd = old.dirFd();
    QByteArray name = old.name();
    Descriptor ownDir;
    switch (old.outcome()) {
    case DayFile::Outcome::Opened:
        keep = old.status();
        break;
    case DayFile::Outcome::Absent:
        break;
    case DayFile::Outcome::Loop: {
        // Links that lead round in a circle hold no record: the entry in the
        // working directory becomes the record.
        const QByteArray encoded = QFile::encodeName(path);
        const qsizetype slash = encoded.lastIndexOf('/');
        ownDir.fd = ::open(slash <= 0 ? "/" : encoded.left(slash).constData(),
                           O_PATH | O_DIRECTORY | O_CLOEXEC);
        dirFd = ownDir.fd;
        name = encoded.mid(slash + 1);
        break;
    }
    case DayFile::Outcome::Failed:
        // A record we may replace but not read: nothing tells who holds it.
        if (old.found() && !S_ISDIR(old.status().st_mode)) {
            keep = old.status();
            break;
        }
        throw FileCreateError(path);
    case DayFile::Outcome::Shared:
    case DayFile::Outcome::ForeignLink:
        throw FileCreateError(path);
    }
    if (dirFd < 0)
        throw FileCreateError(path);

    // Written beside the old record and renamed over it only when complete,
    // so a failed or interrupted save leaves the old record as it was.
    TemporaryRecord temp(dirFd, name, keep ? 0600 : 0666);
    if (temp.fd() < 0)
        throw FileCreateError(path);
    if (keep) {
        // Both before the rename: the record is never seen with the wrong
        // access. The group only where we may give it (a member of it).
        struct stat made;
        if (::fstat(temp.fd(), &made) == 0 && made.st_gid != keep->st_gid
            && ::fchown(temp.fd(), uid_t(-1), keep->st_gid) != 0) {
            // Not a member of that group: the file system's choice stays.
        }
        if (::fchmod(temp.fd(), keep->st_mode & 07777) != 0)
            throw FileCreateError(path);
    }
    constexpr qsizetype ChunkSize = 64 * 1024;
    QByteArray chunk;
    chunk.reserve(ChunkSize);
    // Every byte or the error: a write cut short is retried once, and then
    // the reason (disk full, file too large) shows up.
    auto writeOut = [&](const char *data, qsizetype size) {
        while (size > 0) {
            const ssize_t n = ::write(temp.fd(), data, size_t(size));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw WriteError();
            data += n;
            size -= n;
        }
    };
    auto writeChunk = [&] {
        writeOut(chunk.constData(), chunk.size());
        chunk.resize(0);
    };
    const int count = list.Count();
    for (int i = 0; i < count; ++i) {
        const QByteArrayView line = list.View(i);
        if (line.size() >= ChunkSize) {
            // A long line goes out as it is rather than through a copy.
            writeChunk();
            writeOut(line.data(), line.size());
        } else {
            chunk += line;
        }
        chunk += "\r\n";
        if (chunk.size() >= ChunkSize)
            writeChunk();
    }
    writeChunk();
    if (!temp.Finish())
        throw WriteError();
    if (!temp.Replace())
        throw FileCreateError(path);
}

bool FindRecordFile(const QDate &pickerDate)
{
    const QString wd = WorkingDirectory();
    ChosenDate = pickerDate;
    if (!IsDirectory(wd))
        return true;
    RecordPath = RecordFilePath();
    const QString found = FindEntry(RecordPath);
    if (found.isEmpty())
        return true;
    RecordPath = found;
    return false;
}

void RecordSplitter::Feed(const char *data, size_t size)
{
    for (size_t i = 0; i < size && !m_ended; ++i) {
        const char c = data[i];
        if (m_afterCr) {
            m_afterCr = false;
            if (c == '\n')
                continue;
        }
        if (c == '\0') {
            // The first NUL ends the text.
            m_ended = true;
            break;
        }
        if (c == '\r' || c == '\n') {
            m_emit(QByteArrayView(m_line));
            m_line.resize(0);
            m_afterCr = c == '\r';
            m_pending = false;
            continue;
        }
        // Take the run of ordinary bytes in one go.
        size_t j = i;
        while (j < size && data[j] != '\r' && data[j] != '\n' && data[j] != '\0')
            ++j;
        m_line.append(data + i, qsizetype(j - i));
        m_pending = true;
        i = j - 1;
    }
}

void RecordSplitter::Finish()
{
    if (m_pending)
        m_emit(QByteArrayView(m_line));
    m_pending = false;
    m_line.resize(0);
}

QList<QByteArray> SplitRecordText(const QByteArray &bytes)
{
    QList<QByteArray> lines;
    RecordSplitter splitter([&](QByteArrayView line) { lines.append(line.toByteArray()); });
    splitter.Feed(bytes.constData(), size_t(bytes.size()));
    splitter.Finish();
    return lines;
}

void Load(AbsenceList &list, const QString &path)
{
    // The write lease holds the record to ourselves while it is read: it is
    // refused while any other program has it open.
    DayFile file(path, Lease::Write);
    if (file.outcome() != DayFile::Outcome::Opened)
        throw FileOpenError(path);
    const int fd = file.fd();

    // Read in pieces straight into a fresh list, published only when the
    // whole file was read: a failed load leaves the list as it was.
    AbsenceList fresh;
    AbsenceList::Filler filler(fresh);
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        filler.ReserveForBytes(qint64(st.st_size));
    RecordSplitter splitter([&](QByteArrayView line) { filler.Append(line); });
    std::vector<char> chunk(256 * 1024);
    for (;;) {
        const ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw FileOpenError(path);
        if (n == 0)
            break;
        splitter.Feed(chunk.data(), size_t(n));
    }
    splitter.Finish();
    file.Close();
    filler.Commit();
    list.TakeFrom(fresh);
}

} // namespace absence
