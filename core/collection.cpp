#include "collection.h"

#include "absence_list.h"
#include "day_files.h"
#include "errors.h"
#include "platform/platform.h"

#include <algorithm>

namespace absence {

namespace {
constexpr qsizetype ChunkSize = 64 * 1024;
constexpr char CtrlZ = '\x1a';
} // namespace

DataFileReader::DataFileReader(const QString &path)
    : m_file(std::make_unique<platform::InputFile>(path, platform::Sharing::Readers))
{
    switch (m_file->outcome()) {
    case platform::InputFile::Outcome::Opened:
        m_open = true;
        return;
    case platform::InputFile::Outcome::Shared:
        throw InOutError(SharingViolationCode);
    case platform::InputFile::Outcome::ForeignLink:
        throw InOutError(AccessDeniedCode);
    default:
        throw InOutError(m_file->errorCode());
    }
}

// Also reached when a read error ends the run: the file is released.
DataFileReader::~DataFileReader() = default;

void DataFileReader::Close()
{
    if (!m_open)
        return;
    m_open = false;
    if (!m_file->Close())
        throw InOutError(m_file->errorCode());
}

bool DataFileReader::Fill()
{
    if (m_eof || !m_open)
        return false;
    m_buf.resize(ChunkSize);
    const qint64 n = m_file->Read(m_buf.data(), ChunkSize);
    if (n < 0) {
        m_buf.clear();
        m_pos = 0;
        throw InOutError(m_file->errorCode());
    }
    m_buf.truncate(n);
    m_pos = 0;
    if (n == 0)
        m_eof = true;
    return n > 0;
}

bool DataFileReader::ReadLine(QByteArray &line)
{
    line.clear();
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
            m_buf.clear();
            m_pos = 0;
            return !line.isEmpty();
        }
        if (*p == '\r') {
            m_skipLf = true;
        }
        return true;
    }
}

QByteArray NormaliseHour(const QByteArray &line)
{
    if (line.indexOf(':') == 2)
        return line.left(1) + '0' + line.mid(1);
    return line;
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

void Collect(AbsenceList &list)
{
    list.Clear();
    // Lines go straight into the list's storage; when an error ends the run,
    // the filler still publishes the lines read so far as it unwinds.
    AbsenceList::Filler filler(list);
    qint64 bytes = 0;
    // Only a hint for the storage: links are not followed for it, so that
    // one planted by someone else gives nothing away, not even a size.
    for (int digit = 0; digit <= 9; ++digit) {
        const QString found = FindEntry(DataFilePath(digit));
        if (!found.isEmpty())
            bytes += std::max<qint64>(0, platform::RegularFileSize(found));
    }
    filler.ReserveForBytes(bytes);
    for (int digit = 0; digit <= 9; ++digit) {
        const QString path = DataFilePath(digit);
        if (IsFileAbsent(path))
            continue;
        DataFileReader reader(FindEntry(path));
        QByteArray line;
        while (reader.ReadLine(line)) {
            if (!line.isEmpty())
                filler.Append(NormaliseHour(line));
        }
        reader.Close();
    }
    filler.Commit();
}

} // namespace absence
