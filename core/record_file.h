#pragma once
// The day's absence record file and its last-update line.

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>

namespace absence {

class AbsenceList;

// The path found by the last FindRecordFile.
extern QString RecordPath;

// Short date, blank, long time; the blank and the time are left out at
// exactly midnight (milliseconds ignored).
QByteArray DateTimeText(const QDateTime &moment);
// "最終更新：" followed by the date-time text.
QByteArray MakeLastUpdateLine(const QDateTime &moment);
// Longer than eight bytes and starting with the bytes of "最終更新".
bool IsLastUpdateLine(const QByteArray &line);

// Stamps the list with a last-update line and writes the day's record file
// atomically. Raises ListIndexError (empty list), FileCreateError, WriteError.
void Save(AbsenceList &list);

// Sets ChosenDate to `pickerDate`, looks the record file up and keeps its path
// in RecordPath. Returns true when the record file is absent.
bool FindRecordFile(const QDate &pickerDate);

// Splits a record file's text into lines as it arrives in pieces: CR LF, CR
// or LF end a line, the first NUL ends the text.
class RecordSplitter {
public:
    explicit RecordSplitter(std::function<void(QByteArrayView)> emitLine)
        : m_emit(std::move(emitLine))
    {
    }
    void Feed(const char *data, size_t size);
    // A last line without a line end still counts.
    void Finish();

private:
    std::function<void(QByteArrayView)> m_emit;
    QByteArray m_line;
    bool m_afterCr = false;
    bool m_pending = false;
    bool m_ended = false;
};

// Splits a record file's bytes into lines (CR LF, CR or LF end a line; the
// first NUL ends the text).
QList<QByteArray> SplitRecordText(const QByteArray &bytes);

// Reads the record file into the list (Assign). Raises FileOpenError and
// leaves the list as it was.
void Load(AbsenceList &list, const QString &path);

} // namespace absence
