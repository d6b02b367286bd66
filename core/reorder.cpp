#include "reorder.h"

#include "absence_list.h"
#include "errors.h"
#include "permute.h"
#include "record_file.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <numeric>

namespace absence {

std::vector<qint32> SortKeyTable;

namespace {

// The helpers work on views: keying a day of lines then copies nothing.
QByteArrayView leftOf(QByteArrayView s, qsizetype n)
{
    if (n < s.size())
        return n <= 0 ? QByteArrayView() : s.first(n);
    return s;
}

QByteArrayView midOf(QByteArrayView s, qsizetype from, qsizetype count)
{
    if (count < s.size() && s.size() + 1 >= from + count) {
        if (count <= 0)
            return QByteArrayView();
        return s.sliced(std::max<qsizetype>(from, 1) - 1, count);
    }
    return s;
}

QByteArrayView rightOf(QByteArrayView s, qsizetype n)
{
    if (n < s.size())
        return n <= 0 ? QByteArrayView() : s.last(n);
    return s;
}

QByteArrayView trimmed(QByteArrayView s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && quint8(s[b]) < 33)
        ++b;
    while (e > b && quint8(s[e - 1]) < 33)
        --e;
    return s.sliced(b, e - b);
}

} // namespace

QByteArray TakeLeft(const QByteArray &s, qsizetype n)
{
    return leftOf(s, n).toByteArray();
}

QByteArray TakeMid(const QByteArray &s, qsizetype from, qsizetype count)
{
    return midOf(s, from, count).toByteArray();
}

QByteArray TakeRight(const QByteArray &s, qsizetype n)
{
    return rightOf(s, n).toByteArray();
}

QByteArray Trim(const QByteArray &s)
{
    return trimmed(s).toByteArray();
}

namespace {

qint32 parseLeadingInt(QByteArrayView s)
{
    const qsizetype n = s.size();
    qsizetype i = 0;
    while (i < n && s[i] == ' ')
        ++i;
    bool negative = false;
    bool hex = false;
    if (i < n && (s[i] == '-' || s[i] == '+')) {
        negative = s[i] == '-';
        ++i;
    } else if (i < n && s[i] == '$') {
        hex = true;
        ++i;
    }
    // Accumulated wide and clamped, so overlong digit runs stay defined.
    constexpr qint64 Cap = qint64(std::numeric_limits<qint32>::max()) + 1;
    qint64 value = 0;
    for (; i < n; ++i) {
        const char c = s[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (hex && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (hex && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            break;
        value = std::min(Cap, value * (hex ? 16 : 10) + digit);
    }
    // The sign counts only when the digits ran to the end of the text.
    if (negative && i == n)
        return qint32(-value);
    return qint32(std::min<qint64>(value, std::numeric_limits<qint32>::max()));
}

} // namespace

qint32 ParseLeadingInt(const QByteArray &s)
{
    return parseLeadingInt(s);
}

namespace {

qint32 timeKeyOf(QByteArrayView line)
{
    const QByteArrayView t = leftOf(line, 10);
    const QByteArrayView hms = midOf(t, 2, 8);
    const QByteArrayView parts[] = {leftOf(hms, 2), midOf(hms, 4, 2), rightOf(hms, 2)};
    // Each part is at most the ten bytes of t.
    char joined[32];
    qsizetype size = 0;
    for (const QByteArrayView part : parts) {
        std::memcpy(joined + size, part.data(), size_t(part.size()));
        size += part.size();
    }
    return parseLeadingInt(QByteArrayView(joined, size));
}

qint32 classKeyOf(QByteArrayView line)
{
    const qsizetype p = line.indexOf('=') + 1;
    const QByteArrayView head = p > 0 ? line.first(p - 1) : QByteArrayView();
    const QByteArrayView cls = rightOf(head, head.size() - 10);
    return parseLeadingInt(trimmed(cls));
}

} // namespace

qint32 TimeKey(const QByteArray &line)
{
    return timeKeyOf(line);
}

qint32 ClassKey(const QByteArray &line)
{
    return classKeyOf(line);
}

void ExchangeSort(AbsenceList &list, int first, int last)
{
    if (last - 1 < first)
        return;
    if (first < 0)
        throw ListIndexError(first);
    if (last >= list.Count())
        throw ListIndexError(last);
    if (SortKeyTable.size() <= size_t(last))
        SortKeyTable.resize(size_t(last) + 1, 0);

    // Same result as exchanging neighbours whose keys are strictly out of
    // order (a stable sort), computed in n log n and written back at once.
    const int n = last - first + 1;
    std::vector<int> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    const qint32 *keys = SortKeyTable.data() + first;
    std::stable_sort(order.begin(), order.end(),
                     [keys](int a, int b) { return keys[a] < keys[b]; });
    bool moved = false;
    for (int k = 0; k < n && !moved; ++k)
        moved = order[size_t(k)] != k;
    if (!moved)
        return;
    permuteInPlace(SortKeyTable.data() + first, order);
    list.Permute(first, order);
}

namespace {

template <typename KeyFn>
void reorder(AbsenceList &list, KeyFn key)
{
    const QByteArray line0 = list.Get(0);
    const int first = IsLastUpdateLine(line0) ? 1 : 0;
    const int last = list.Count() - 1;
    SortKeyTable.assign(size_t(list.Count()), 0);
    for (int i = first; i <= last; ++i)
        SortKeyTable[size_t(i)] = key(list.View(i));
    ExchangeSort(list, first, last);
}

} // namespace

void OrderByTime(AbsenceList &list)
{
    reorder(list, timeKeyOf);
}

void OrderByClass(AbsenceList &list)
{
    reorder(list, classKeyOf);
}

} // namespace absence
