#include "collection.h"
#include "collection_p.h"

#include "absence_list.h"
#include "day_files.h"
#include "errors.h"
#include "files.h"
#include "notification_line.h"
#include "text_encoding.h"

#include <algorithm>

namespace absence {

namespace {
constexpr qsizetype ChunkSize = 64 * 1024;
constexpr char CtrlZ = '\x1a';
} // namespace

DataFileReader::DataFileReader(const QString &path)
{
    OpenedFile file = fileSystem().Open(path, platform::Sharing::Readers, ChunkSize);
    switch (file.outcome) {
    case platform::InputFile::Outcome::Opened:
        m_text = Cp932Text(std::move(file.bytes), CtrlZ);
        m_open = true;
        return;
    case platform::InputFile::Outcome::Shared:
        throw InOutError(SharingViolationCode);
    case platform::InputFile::Outcome::ForeignLink:
        throw InOutError(AccessDeniedCode);
    default:
        throw InOutError(file.errorCode);
    }
}

// Also reached when a read error ends the run: the file is released.
DataFileReader::~DataFileReader() = default;

void DataFileReader::Close()
{
    if (!m_open)
        return;
    m_open = false;
    if (!m_text->Close())
        throw InOutError(m_text->errorCode());
}

bool DataFileReader::Fill()
{
    if (m_eof || !m_open)
        return false;
    m_buf = QByteArrayView();
    m_pos = 0;
    QByteArrayView piece;
    if (!m_text->Next(piece))
        throw InOutError(m_text->errorCode());
    m_buf = piece;
    if (piece.isEmpty())
        m_eof = true;
    return !piece.isEmpty();
}

bool DataFileReader::ReadLine(QByteArray &line)
{
    // Emptied, not freed: a caller that reads line after line into one
    // array reuses its room.
    line.resize(0);
    bool any = false;
    for (;;) {
        if (m_pos >= m_buf.size() && !Fill())
            return any;
        if (m_skipLf) {
            m_skipLf = false;
            if (m_buf.at(m_pos) == '\n') {
                ++m_pos;
                continue;
            }
        }
        any = true;
        const char *begin = m_buf.constData() + m_pos;
        const char *end = m_buf.constData() + m_buf.size();
        const char *p = begin;
        while (p < end && *p != '\r' && *p != '\n' && *p != CtrlZ)
            ++p;
        line.append(begin, p - begin);
        m_pos += p - begin;
        if (p == end)
            continue;
        ++m_pos;
        if (*p == CtrlZ) {
            // Nothing after a Ctrl-Z is ever read; the bytes before it on
            // its line still form a line, but a Ctrl-Z alone is no line.
            m_eof = true;
            m_buf = QByteArrayView();
            m_pos = 0;
            return !line.isEmpty();
        }
        if (*p == '\r') {
            m_skipLf = true;
        }
        return true;
    }
}

namespace {

// True when the line's hour has one digit; `padded` then holds the line with
// a zero before it. The collection reuses one array for every line.
bool padHourInto(QByteArrayView line, QByteArray &padded)
{
    if (!NotificationLine::HasOneDigitHour(line))
        return false;
    padded.resize(0);
    padded += line.first(1);
    padded += '0';
    padded += line.sliced(1);
    return true;
}

} // namespace

QByteArray NormaliseHour(const QByteArray &line)
{
    QByteArray padded;
    return padHourInto(line, padded) ? padded : line;
}

QList<QByteArray> ReadDataFile(const QString &path)
{
    QList<QByteArray> lines;
    DataFileReader reader(path);
    QByteArray line;
    while (reader.ReadLine(line)) {
        if (!line.isEmpty())
            lines.append(NormaliseHour(line));
    }
    reader.Close();
    return lines;
}

void Collect(AbsenceList &list, const QDate &day)
{
    list.Clear();
    // Lines go straight into the list's storage; when an error ends the run,
    // the filler still publishes the lines read so far as it unwinds.
    AbsenceList::Filler filler(list);
    // Named once for the run: a name costs a date rendering.
    const std::array<QString, 10> paths = DataFilePaths(day);
    // Each file is looked up once, and what was found is what is opened.
    // The sizes are only a hint for the storage: links are not followed for
    // them, so that one planted by someone else gives nothing away.
    using Result = platform::EntryLookup::Result;
    std::array<platform::EntryLookup, 10> found;
    qint64 bytes = 0;
    for (size_t digit = 0; digit < paths.size(); ++digit) {
        found[digit] = LookUpDayFile(paths[digit]);
        if (found[digit].result == Result::Unknown)
            break;
        if (found[digit].result == Result::Found)
            bytes += std::max<qint64>(0, fileSystem().RegularFileSize(found[digit].path));
    }
    filler.ReserveForBytes(bytes);
    QByteArray line, padded;
    for (const platform::EntryLookup &entry : found) {
        if (entry.result == Result::Absent)
            continue;
        // Not known to be absent: the run stops with the reason, as it
        // would when opening the file failed.
        if (entry.result == Result::Unknown)
            throw InOutError(entry.errorCode);
        DataFileReader reader(entry.path);
        while (reader.ReadLine(line)) {
            if (!line.isEmpty())
                filler.Append(padHourInto(line, padded) ? QByteArrayView(padded) : QByteArrayView(line));
        }
        reader.Close();
    }
    filler.Commit();
}

} // namespace absence
