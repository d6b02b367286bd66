#include "absence_list.h"

#include "errors.h"
#include "services.h"

#include <QLocale>
#include <algorithm>
#include <climits>
#include <numeric>

namespace absence {

namespace {

// A line ends at its first NUL, as the list has always stored text.
QByteArray cutAtNul(const QByteArray &line)
{
    const qsizetype nul = line.indexOf('\0');
    return nul < 0 ? line : line.left(nul);
}

} // namespace

AbsenceList::AbsenceList(QObject *parent)
    : QAbstractListModel(parent), m_collator(QLocale(QLocale::Japanese, QLocale::Japan))
{
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
}

AbsenceList::~AbsenceList() = default;

QCollatorSortKey AbsenceList::KeyOf(const QByteArray &line) const
{
    return m_collator.sortKey(FromCp932(line));
}

int AbsenceList::Compare(const QByteArray &a, const QByteArray &b) const
{
    return KeyOf(cutAtNul(a)).compare(KeyOf(cutAtNul(b)));
}

void AbsenceList::Clear()
{
    beginResetModel();
    m_lines.clear();
    m_keys.clear();
    endResetModel();
}

int AbsenceList::Count() const
{
    return int(m_lines.size());
}

QByteArray AbsenceList::Get(int i) const
{
    if (i < 0 || i >= m_lines.size())
        throw ListIndexError(i);
    return m_lines.at(i);
}

int AbsenceList::Add(const QByteArray &line)
{
    if (m_lines.size() >= INT_MAX - 1)
        throw LineInsertError();
    const QByteArray stored = cutAtNul(line);
    QCollatorSortKey key = KeyOf(stored);
    // Upper bound over the list as it stands: after a re-ordering the list is
    // no longer in collation order, and the line goes where the search lands.
    qsizetype lo = 0, hi = m_lines.size();
    while (lo < hi) {
        const qsizetype mid = lo + (hi - lo) / 2;
        if (key.compare(m_keys[size_t(mid)]) < 0)
            hi = mid;
        else
            lo = mid + 1;
    }
    beginInsertRows(QModelIndex(), int(lo), int(lo));
    m_lines.insert(lo, stored);
    m_keys.insert(m_keys.begin() + lo, std::move(key));
    endInsertRows();
    return int(lo);
}

void AbsenceList::Put(int i, const QByteArray &line)
{
    if (i < 0 || i >= m_lines.size())
        throw ListIndexError(i);
    const QByteArray stored = cutAtNul(line);
    m_keys[size_t(i)] = KeyOf(stored);
    m_lines[i] = stored;
    const QModelIndex at = index(i);
    emit dataChanged(at, at);
}

void AbsenceList::Assign(const QList<QByteArray> &lines)
{
    // Adding each line in turn to an empty list is a stable sort by
    // collation rank; doing it as one sort keeps large days fast.
    std::vector<QCollatorSortKey> keys;
    keys.reserve(size_t(lines.size()));
    QList<QByteArray> stored;
    stored.reserve(lines.size());
    for (const QByteArray &line : lines) {
        stored.append(cutAtNul(line));
        keys.push_back(KeyOf(stored.back()));
    }
    std::vector<int> order(size_t(stored.size()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return keys[size_t(a)].compare(keys[size_t(b)]) < 0; });

    beginResetModel();
    m_lines.clear();
    m_keys.clear();
    m_lines.reserve(stored.size());
    m_keys.reserve(keys.size());
    for (int k : order) {
        m_lines.append(std::move(stored[k]));
        m_keys.push_back(std::move(keys[size_t(k)]));
    }
    endResetModel();
}

void AbsenceList::Permute(int first, const std::vector<int> &order)
{
    const int n = int(order.size());
    if (n == 0)
        return;
    if (first < 0 || first + n > m_lines.size())
        throw ListIndexError(first < 0 ? first : first + n - 1);
    QList<QByteArray> lines;
    std::vector<QCollatorSortKey> keys;
    lines.reserve(n);
    keys.reserve(size_t(n));
    for (int k : order) {
        lines.append(m_lines.at(first + k));
        keys.push_back(m_keys[size_t(first + k)]);
    }
    for (int k = 0; k < n; ++k) {
        m_lines[first + k] = std::move(lines[k]);
        m_keys[size_t(first + k)] = std::move(keys[size_t(k)]);
    }
    emit dataChanged(index(first), index(first + n - 1));
}

int AbsenceList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_lines.size());
}

QVariant AbsenceList::data(const QModelIndex &idx, int role) const
{
    if (!idx.isValid() || idx.row() >= m_lines.size() || idx.column() != 0)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return FromCp932(m_lines.at(idx.row()));
    case RawLineRole:
        return m_lines.at(idx.row());
    default:
        return QVariant();
    }
}

} // namespace absence
