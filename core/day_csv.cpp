#include "day_csv.h"

#include "absence_list.h"
#include "notification_line_p.h"
#include "output_file.h"
#include "services.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace absence {

namespace {

// The most bytes putField writes for a field of `size` bytes.
constexpr qsizetype FieldBound(qsizetype size)
{
    return 2 * size + 3;
}

// Whether the bytes hold one that makes a field quoted. Trail bytes of code
// page 932 lie above 0x3f: these bytes are always the characters themselves.
bool needsQuotes(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (c == ',' || c == '"' || c == '\r' || c == '\n')
            return true;
    }
    return false;
}

// Writes the field at `out`, which has room for FieldBound of it; returns
// the end of what was written. `plain`: the field is known to need no
// quotes.
char *putField(char *out, QByteArrayView field, bool plain = false)
{
    const bool formula = !field.isEmpty() &&
                         (field.front() == '=' || field.front() == '+' || field.front() == '-' || field.front() == '@');
    if (plain || !needsQuotes(field)) {
        if (formula)
            *out++ = '\'';
        // An empty field may have no bytes at all: memcpy takes no null.
        if (!field.isEmpty())
            std::memcpy(out, field.data(), size_t(field.size()));
        return out + field.size();
    }
    *out++ = '"';
    if (formula)
        *out++ = '\'';
    for (const char c : field) {
        if (c == '"')
            *out++ = '"';
        *out++ = c;
    }
    *out++ = '"';
    return out;
}

} // namespace

void AppendCsvField(QByteArray &out, QByteArrayView field)
{
    const qsizetype at = out.size();
    out.resize(at + FieldBound(field.size()));
    out.resize(putField(out.data() + at, field) - out.constData());
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

namespace {

// The CSV in code page 932.
std::string cp932Csv(const AbsenceList &list, const QDate &day)
{
    // Made in a std::string, whose appends of a byte are inline, then
    // copied once.
    std::string out =
        ToCp932(QStringLiteral("日付,時刻,クラス,学年,組,番号,氏名,区分,出席簿,理由,症状,連絡者,記号,内容\r\n"))
            .toStdString();
    const QByteArray date = day.toString(QStringLiteral("yyyy/MM/dd")).toLatin1();
    QByteArray kinds[NotificationKindCount], symptoms[SymptomCount];
    for (int k = 0; k < NotificationKindCount; ++k)
        kinds[k] = KindText(NotificationKind(k));
    for (int k = 0; k < SymptomCount; ++k)
        symptoms[k] = SymptomText(Symptom(k));
    std::string cell;
    // Rows are written straight into `out`, grown ahead of each row to what
    // the row can take at most; `end` is where the CSV ends.
    size_t end = out.size();
    char *at = nullptr;
    // A line without a byte that needs quotes gives none of its fields one:
    // they are all its own bytes, or digits, "-" and blanks.
    bool plain = false;
    const auto field = [&](QByteArrayView bytes) {
        *at++ = ',';
        at = putField(at, bytes, plain);
    };
    const auto text = [&](const std::string &s) { field(QByteArrayView(s.data(), qsizetype(s.size()))); };
    const int count = list.Count();
    out.resize(end + size_t(count) * 200);
    list.ForEachLine(0, count - 1, [&](int, QByteArrayView line) {
        if (!IsNotification(line))
            return;
        const detail::LineReading r = detail::ReadLine(line);
        plain = !needsQuotes(line);
        // Every field but the fixed words is at most the line, and one more
        // byte for the class's "-": fourteen fields, each quoted at worst.
        const size_t most = size_t(14 * FieldBound(line.size() + 16) + 2);
        if (end + most > out.size())
            out.resize(std::max(out.size() * 2, end + most));
        at = out.data() + end;
        at = putField(at, date);
        field(r.time);
        cell.clear();
        r.AppendClass(cell);
        text(cell);
        text(r.grade);
        text(r.group);
        text(r.number);
        cell.clear();
        r.AppendName(cell);
        text(cell);
        field(kinds[int(r.kind)]);
        field(r.Attendance());
        field(r.reason);
        field(symptoms[int(r.symptom)]);
        field(r.contact);
        field(r.mark);
        field(r.content);
        *at++ = '\r';
        *at++ = '\n';
        end = size_t(at - out.data());
    });
    out.resize(end);
    return out;
}

} // namespace

QByteArray DayCsv(const AbsenceList &list, const QDate &day, CsvEncoding encoding)
{
    const std::string out = cp932Csv(list, day);
    const QByteArrayView bytes(out.data(), qsizetype(out.size()));
    return encoding == CsvEncoding::Cp932 ? bytes.toByteArray() : utf8WithBom(bytes);
}

void WriteDayCsv(const QString &path, const AbsenceList &list, const QDate &day, CsvEncoding encoding)
{
    if (encoding == CsvEncoding::Cp932) {
        // Written from where it was made, without a copy.
        const std::string out = cp932Csv(list, day);
        WriteOutputFile(path, QByteArrayView(out.data(), qsizetype(out.size())));
    } else {
        WriteOutputFile(path, DayCsv(list, day, encoding));
    }
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
