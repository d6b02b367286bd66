#include "day_tally.h"

#include "absence_list.h"
#include "notification_line_p.h"
#include "services.h"

#include <algorithm>
#include <unordered_map>
#include <numeric>
#include <string>
#include <utility>

namespace absence {

namespace {

struct ClassOrder {
    bool known;
    std::string grade, group;
};

bool allDigits(const std::string &s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Numbers without leading zeros: the shorter is the smaller.
int compareNumbers(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

bool before(const ClassOrder &a, const ClassOrder &b)
{
    if (a.known != b.known)
        return a.known;
    if (const int c = compareNumbers(a.grade, b.grade))
        return c < 0;
    if (a.group.empty() != b.group.empty())
        return a.group.empty();
    const bool an = allDigits(a.group), bn = allDigits(b.group);
    if (an != bn)
        return an;
    return (an ? compareNumbers(a.group, b.group) : a.group.compare(b.group)) < 0;
}

void count(ClassTally &c, const detail::LineReading &r)
{
    ++c.kinds[int(r.kind)];
    ++c.lines;
    if (r.kind == NotificationKind::Absence || r.kind == NotificationKind::Suspension) {
        ++c.absentees;
        ++c.symptoms[int(r.symptom)];
    }
}

QByteArray cp(const char16_t *text)
{
    return ToCp932(QString::fromUtf16(text));
}

} // namespace

bool IsNotification(QByteArrayView line)
{
    return !line.isEmpty() && !NotificationLine::IsLastUpdate(line);
}

DayTally TallyDay(const AbsenceList &list, const QDate &day)
{
    DayTally tally;
    tally.day = day;
    std::vector<ClassTally> classes;
    std::vector<ClassOrder> orders;
    // 学年, a NUL and 組: short enough for the string to need no allocation.
    std::unordered_map<std::string, int> byClass;
    std::string key, lastKey;
    int last = -1;
    list.ForEachLine(0, list.Count() - 1, [&](int i, QByteArrayView line) {
        if (!IsNotification(line))
            return;
        const detail::LineReading r = detail::ReadLine(line, detail::Reading::ForTally);
        key.assign(r.grade).push_back('\0');
        key.append(r.group);
        // Lines of one class often come together.
        if (last < 0 || key != lastKey) {
            const auto [found, added] = byClass.try_emplace(key, int(classes.size()));
            last = found->second;
            lastKey = key;
            if (added) {
                r.AppendClass(classes.emplace_back().className);
                orders.push_back({r.classKnown(), r.grade, r.group});
            }
        }
        ClassTally &c = classes[size_t(last)];
        count(c, r);
        count(tally.total, r);
        c.lineIndexes.push_back(i);
        tally.total.lineIndexes.push_back(i);
        if (r.kind == NotificationKind::Unknown)
            tally.unknownLines.push_back(i);
    });
    std::vector<size_t> order(classes.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return before(orders[a], orders[b]); });
    tally.classes.reserve(classes.size());
    for (const size_t k : order)
        tally.classes.push_back(std::move(classes[k]));
    tally.total.className = cp(u"計");
    return tally;
}

Table KindTable(const DayTally &tally)
{
    Table rows;
    QList<QByteArray> header{cp(u"クラス")};
    for (int k = 0; k < NotificationKindCount; ++k)
        header << KindText(NotificationKind(k));
    header << cp(u"計");
    rows << header;
    auto row = [&](const ClassTally &c) {
        QList<QByteArray> cells{c.className};
        for (const int n : c.kinds)
            cells << QByteArray::number(n);
        cells << QByteArray::number(c.lines);
        rows << cells;
    };
    for (const ClassTally &c : tally.classes)
        row(c);
    row(tally.total);
    return rows;
}

Table SymptomTable(const DayTally &tally)
{
    Table rows;
    QList<QByteArray> header{cp(u"クラス"), cp(u"欠席者")};
    for (int s = 1; s < SymptomCount; ++s)
        header << SymptomText(Symptom(s));
    header << cp(u"その他");
    rows << header;
    auto row = [&](const ClassTally &c) {
        QList<QByteArray> cells{c.className, QByteArray::number(c.absentees)};
        for (int s = 1; s < SymptomCount; ++s)
            cells << QByteArray::number(c.symptoms[s]);
        cells << QByteArray::number(c.symptoms[int(Symptom::None)]);
        rows << cells;
    };
    for (const ClassTally &c : tally.classes)
        row(c);
    row(tally.total);
    return rows;
}

} // namespace absence
