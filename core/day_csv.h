#pragma once
// The day's notifications as CSV (RFC 4180) for spreadsheets and the
// school-affairs system, and the tally's tables as CSV text.

#include "day_tally.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QString>

namespace absence {

class AbsenceList;

enum class CsvEncoding {
    Cp932, // the list's own bytes: nothing lost (what Excel opens by default)
    Utf8Bom, // UTF-8 with a byte order mark
};

// Appends one field: enclosed in double quotes (its quotes doubled) when it
// holds a comma, a double quote, CR or LF; with a leading apostrophe when it
// begins with "=", "+", "-" or "@", which spreadsheets take for a formula.
void AppendCsvField(QByteArray &out, QByteArrayView field);

// The rows, their fields joined by commas, each followed by `lineEnd`.
QByteArray CsvText(const Table &rows, QByteArrayView lineEnd);

// The header 日付,時刻,クラス,学年,組,番号,氏名,区分,出席簿,理由,症状,連絡者,記号,内容
// and a row per notification line in the list's order, CR LF after each;
// 日付 is `day` as yyyy/MM/dd.
QByteArray DayCsv(const AbsenceList &list, const QDate &day, CsvEncoding encoding);

// Writes DayCsv as the file `path`, as the record is written. Raises
// FileCreateError and WriteError.
void WriteDayCsv(const QString &path, const AbsenceList &list, const QDate &day, CsvEncoding encoding);

// Both tables as CSV text with one empty line between them: code page 932
// with CR LF when `raw`, otherwise UTF-8 with LF.
QByteArray SummaryText(const DayTally &tally, bool raw);

} // namespace absence
