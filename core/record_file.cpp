#include "record_file.h"
#include "record_file_p.h"

#include "absence_list.h"
#include "day_files.h"
#include "errors.h"
#include "files.h"
#include "notification_line.h"
#include "services.h"
#include "text_encoding.h"

namespace absence {

namespace {
const QByteArray LastUpdateMark = NotificationLine::LastUpdateMark().toByteArray();
} // namespace

namespace {

// Appends the date and, unless it is midnight, the time: one copy into
// `text`, which the caller has made room for.
void AppendDateTimeText(QByteArray &text, const QDateTime &moment)
{
    text += ShortDateText(moment.date());
    const QTime t = moment.time();
    if (t.hour() != 0 || t.minute() != 0 || t.second() != 0) {
        text += ' ';
        text += ToCp932(localeSettings().renderLongTime(t));
    }
}

// Room for a rendered date and time in most locales.
constexpr qsizetype DateTimeRoom = 48;

} // namespace

QByteArray DateTimeText(const QDateTime &moment)
{
    QByteArray text;
    text.reserve(DateTimeRoom);
    AppendDateTimeText(text, moment);
    return text;
}

QByteArray MakeLastUpdateLine(const QDateTime &moment)
{
    QByteArray line;
    line.reserve(LastUpdateMark.size() + 2 + DateTimeRoom);
    line += LastUpdateMark;
    line += "\x81\x46";
    AppendDateTimeText(line, moment);
    return line;
}

bool IsLastUpdateLine(const QByteArray &line)
{
    return NotificationLine::IsLastUpdate(line);
}

void Save(AbsenceList &list, const QDate &day)
{
    const QString wd = WorkingDirectory();
    QString path = RecordFilePath(day);
    const QByteArray first = list.Get(0);
    const QByteArray stamp = MakeLastUpdateLine(clock().now());
    if (IsLastUpdateLine(first))
        list.Put(0, stamp);
    else
        list.Add(stamp);

    // Without a readable working directory (removed while the program ran)
    // the path would point elsewhere: name only the file.
    if (!fileSystem().IsDirectory(wd))
        throw FileCreateError(RecordFileName(day));
    // A record saved under another case of the name is the one replaced; one
    // that cannot be looked up is not replaced at all.
    const platform::EntryLookup existing = LookUpDayFile(path);
    if (existing.result == platform::EntryLookup::Result::Unknown)
        throw FileCreateError(path);
    if (existing.result == platform::EntryLookup::Result::Found)
        path = existing.path;

    // Written beside the old record and put in its place only when complete,
    // so a failed or interrupted save leaves the old record as it was.
    const std::unique_ptr<RecordWriter> replacement = fileSystem().ReplaceRecord(path);
    if (!replacement->ready())
        throw FileCreateError(path);
    constexpr qsizetype ChunkSize = 64 * 1024;
    // Grows up to a chunk: a short record takes a little memory.
    QByteArray chunk;
    auto writeOut = [&](const char *data, qsizetype size) {
        if (!replacement->Write(data, size))
            throw WriteError();
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
    CommitOrThrow(*replacement, path);
}

bool FindRecordFile(const QDate &day, QString &path)
{
    const QString wd = WorkingDirectory();
    if (!fileSystem().IsDirectory(wd))
        return true;
    path = RecordFilePath(day);
    const platform::EntryLookup found = LookUpDayFile(path);
    if (found.result == platform::EntryLookup::Result::Absent)
        return true;
    // One that cannot be looked up counts as there: opening it tells the
    // operator why, and no empty day is put in its place.
    if (found.result == platform::EntryLookup::Result::Found)
        path = found.path;
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
    // Held to ourselves while it is read: refused while any other program
    // has it open.
    OpenedFile file = fileSystem().Open(path, platform::Sharing::Exclusive, 256 * 1024);
    if (file.outcome != platform::InputFile::Outcome::Opened)
        throw FileOpenError(path);

    // Read in pieces straight into a fresh list, published only when the
    // whole file was read: a failed load leaves the list as it was.
    AbsenceList fresh;
    AbsenceList::Filler filler(fresh);
    if (file.bytes->size() >= 0)
        filler.ReserveForBytes(file.bytes->size());
    // A record edited and saved as UTF-8 comes back as code page 932, and is
    // written so at the next save. One we saved holds a last-update line,
    // and is read as it is even when a garbled first line begins with the
    // bytes of a byte order mark.
    const std::unique_ptr<ByteSource> text = Cp932Text(std::move(file.bytes), '\0', LastUpdateMark);
    RecordSplitter splitter([&](QByteArrayView line) { filler.Append(line); });
    for (;;) {
        QByteArrayView piece;
        if (!text->Next(piece))
            throw FileOpenError(path);
        if (piece.isEmpty())
            break;
        splitter.Feed(piece.data(), size_t(piece.size()));
    }
    splitter.Finish();
    text->Close();
    filler.Commit();
    list.TakeFrom(fresh);
}

} // namespace absence
