#include "record_file.h"

#include "absence_list.h"
#include "day_files.h"
#include "errors.h"
#include "services.h"

#include <QFile>
#include <QSaveFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace absence {

QString RecordPath;

namespace {
// "最終更新" in code page 932.
const QByteArray LastUpdateMark = QByteArrayLiteral("\x8d\xc5\x8f\x49\x8d\x58\x90\x56");
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

    // Without a readable working directory the path would point elsewhere.
    if (!IsDirectory(wd))
        throw FileCreateError(path);
    // A record saved under another case of the name is the one replaced.
    const QString existing = FindEntry(path);
    if (!existing.isEmpty())
        path = existing;

    QByteArray bytes;
    qsizetype total = 0;
    for (const QByteArray &line : list.Lines())
        total += line.size() + 2;
    bytes.reserve(total);
    for (const QByteArray &line : list.Lines()) {
        bytes += line;
        bytes += "\r\n";
    }

    // Written beside the old record and renamed over it only when complete,
    // so a failed or interrupted save leaves the old record as it was.
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    // Unbuffered: a short write must show up here. A buffered write reports
    // success and the failed flush inside commit() goes unnoticed.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw FileCreateError(path);
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        throw WriteError();
    }
    if (!file.commit()) {
        if (file.error() == QFileDevice::WriteError)
            throw WriteError();
        throw FileCreateError(path);
    }
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

QList<QByteArray> SplitRecordText(const QByteArray &bytes)
{
    QList<QByteArray> lines;
    const qsizetype nul = bytes.indexOf('\0');
    const qsizetype end = nul < 0 ? bytes.size() : nul;
    const char *data = bytes.constData();
    qsizetype start = 0;
    for (qsizetype i = 0; i < end; ++i) {
        const char c = data[i];
        if (c != '\r' && c != '\n')
            continue;
        lines.append(QByteArray(data + start, i - start));
        if (c == '\r' && i + 1 < end && data[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < end)
        lines.append(QByteArray(data + start, end - start));
    return lines;
}

void Load(AbsenceList &list, const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    int fd;
    do {
        fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throw FileOpenError(path);
    QByteArray bytes;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        bytes.reserve(qsizetype(st.st_size));
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            throw FileOpenError(path);
        }
        if (n == 0)
            break;
        bytes.append(chunk, n);
    }
    ::close(fd);
    list.Assign(SplitRecordText(bytes));
}

} // namespace absence
