#include "reorder.h"
#include "reorder_p.h"

#include "absence_list.h"
#include "errors.h"
#include "notification_line.h"
#include "record_file_p.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

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

qint32 ParseLeadingInt(QByteArrayView s)
{
    return parseLeadingInt(s);
}

qint32 TimeKey(const QByteArray &line)
{
    return NotificationLine::TimeKey(line);
}

qint32 ClassKey(const QByteArray &line)
{
    return NotificationLine::ClassKey(line);
}

namespace {

// Key and position in one number: ordering these orders by key and keeps
// lines of equal key in their order, as exchanging neighbours does.
quint64 packed(qint32 key, int at)
{
    return quint64(quint32(key) ^ 0x80000000u) << 32 | quint32(at);
}

qint32 keyOf(quint64 p)
{
    return qint32(quint32(p >> 32) ^ 0x80000000u);
}

// Sorts by the upper 32 bits (the key), a byte at a time from the lowest;
// each pass is stable, and a byte that all keys share is skipped: the time
// keys of a day differ in three bytes, the class keys in one.
void radixSortByKey(std::vector<quint64> &v)
{
    constexpr int Passes = 4;
    std::vector<size_t> counts(Passes * 256, 0);
    for (const quint64 p : v) {
        for (int b = 0; b < Passes; ++b)
            ++counts[size_t(b * 256) + (p >> (32 + 8 * b) & 0xff)];
    }
    std::vector<quint64> other(v.size());
    for (int b = 0; b < Passes; ++b) {
        size_t *count = counts.data() + b * 256;
        if (*std::max_element(count, count + 256) == v.size())
            continue;
        size_t at = 0;
        for (int d = 0; d < 256; ++d)
            at += std::exchange(count[d], at);
        for (const quint64 p : v)
            other[count[p >> (32 + 8 * b) & 0xff]++] = p;
        v.swap(other);
    }
}

} // namespace

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
    // order (a stable sort), computed in linear time and written back at
    // once.
    const int n = last - first + 1;
    qint32 *keys = SortKeyTable.data() + first;
    std::vector<quint64> byKey(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k)
        byKey[size_t(k)] = packed(keys[k], k);
    if (std::is_sorted(byKey.begin(), byKey.end()))
        return; // nothing would move
    if (n < 64)
        std::sort(byKey.begin(), byKey.end()); // the positions make every value distinct
    else
        radixSortByKey(byKey);
    std::vector<int> order(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) {
        keys[k] = keyOf(byKey[size_t(k)]);
        order[size_t(k)] = int(quint32(byKey[size_t(k)]));
    }
    byKey = {};
    list.Permute(first, order);
}

namespace {

template <typename KeyFn>
void reorder(AbsenceList &list, KeyFn key)
{
    const QByteArray line0 = list.Get(0);
    const int first = NotificationLine::IsLastUpdate(line0) ? 1 : 0;
    const int last = list.Count() - 1;
    SortKeyTable.assign(size_t(list.Count()), 0);
    list.ForEachLine(first, last, [key](int i, QByteArrayView line) { SortKeyTable[size_t(i)] = key(line); });
    ExchangeSort(list, first, last);
}

} // namespace

void OrderByTime(AbsenceList &list)
{
    reorder(list, NotificationLine::TimeKey);
}

void OrderByClass(AbsenceList &list)
{
    reorder(list, NotificationLine::ClassKey);
}

} // namespace absence
