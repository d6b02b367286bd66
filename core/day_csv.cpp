#include "day_csv.h"

#include "absence_list.h"
#include "notification_line_p.h"
#include "output_file.h"
#include "services.h"

namespace absence {

void AppendCsvField(QByteArray &out, QByteArrayView field)
{
    // Trail bytes of code page 932 lie above 0x3f: these bytes are always
    // the characters themselves.
    const bool formula = !field.isEmpty()
        && (field.front() == '=' || field.front() == '+' || field.front() == '-' || field.front() == '@');
    bool quoted = false;
    for (const char c : field) {
        if (c == ',' || c == '"' || c == '\r' || c == '\n') {
            quoted = true;
            break;
        }
    }
    if (!quoted) {
        if (formula)
            out += '\'';
        out += field;
        return;
    }
    out += '"';
    if (formula)
        out += '\'';
    for (const char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

QByteArray CsvText(const Table &rows, QByteArrayView lineEnd)
{
    QByteArray out;
    for (const QList<QByteArray> &row : rows) {
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (i > 0)
                out += ',';
            AppendCsvField(out, row[i]);
        }
        out += lineEnd;
    }
    return out;
}

namespace {

QByteArray utf8WithBom(QByteArrayView cp932)
{
    QString text;
    FromCp932(cp932, text);
    return QByteArray("\xef\xbb\xbf") + text.toUtf8();
}

} // namespace

QByteArray DayCsv(const AbsenceList &list, const QDate &day, CsvEncoding encoding)
{
    QByteArray out = ToCp932(QStringLiteral("日付,時刻,クラス,学年,組,番号,氏名,区分,出席簿,理由,症状,連絡者,記号,内容\r\n"));
    const QByteArray date = day.toString(QStringLiteral("yyyy/MM/dd")).toLatin1();
    QByteArray cell;
    const auto field = [&](QByteArrayView bytes) {
        out += ',';
        AppendCsvField(out, bytes);
    };
    const auto text = [&](const std::string &s) { field(QByteArrayView(s.data(), qsizetype(s.size()))); };
    const int count = list.Count();
    out.reserve(out.size() + qsizetype(count) * 160);
    list.ForEachLine(0, count - 1, [&](int, QByteArrayView line) {
        if (!IsNotification(line))
            return;
        const detail::LineReading r = detail::ReadLine(line);
        AppendCsvField(out, date);
        field(r.time);
        cell.resize(0);
        r.AppendClass(cell);
        field(cell);
        text(r.grade);
        text(r.group);
        text(r.number);
        cell.resize(0);
        r.AppendName(cell);
        field(cell);
        field(KindText(r.kind));
        field(r.Attendance());
        field(r.reason);
        field(SymptomText(r.symptom));
        field(r.contact);
        field(r.mark);
        field(r.content);
        out += "\r\n";
    });
    return encoding == CsvEncoding::Cp932 ? out : utf8WithBom(out);
}

void WriteDayCsv(const QString &path, const AbsenceList &list, const QDate &day, CsvEncoding encoding)
{
    WriteOutputFile(path, DayCsv(list, day, encoding));
}

QByteArray SummaryText(const DayTally &tally, bool raw)
{
    const QByteArrayView end = raw ? "\r\n" : "\n";
    QByteArray text = CsvText(KindTable(tally), end);
    text += end;
    text += CsvText(SymptomTable(tally), end);
    return raw ? text : FromCp932(text).toUtf8();
}

} // namespace absence
