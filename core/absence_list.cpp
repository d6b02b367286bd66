#include "absence_list.h"
#include "absence_list_p.h"

#include "errors.h"
#include "icu_p.h"
#include "permute.h"
#include "services.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <numeric>
#include <unicode/ucol.h>
#include <unicode/uiter.h>

namespace absence {

namespace {

// A line ends at its first NUL, as the list has always stored text.
QByteArrayView cutAtNul(QByteArrayView line)
{
    const qsizetype nul = line.indexOf('\0');
    return nul < 0 ? line : line.first(nul);
}

QByteArray raw(const char *data, size_t size)
{
    return QByteArray::fromRawData(data, qsizetype(size));
}

constexpr size_t LargeLine = 16 * 1024;
constexpr qsizetype RankedBytes = 64 * 1024;

// Ranking decodes two lines at a time, over and over: into these, whose room
// stays from one line to the next, instead of a new string for each.
struct RankTexts {
    QString first, second;
};
RankTexts &rankTexts()
{
    thread_local RankTexts texts;
    return texts;
}

} // namespace

const char *LineArena::Store(const char *data, size_t size)
{
    if (size == 0)
        return "";
    m_total += size;
    if (size > LargeLine) {
        // Long lines get a block of their own, so blocks stay well used.
        m_blocks.emplace_back(new char[size]);
        std::memcpy(m_blocks.back().get(), data, size);
        return m_blocks.back().get();
    }
    if (m_left < size) {
        const size_t block = std::max(m_nextBlock, size);
        m_blocks.emplace_back(new char[block]);
        m_cursor = m_blocks.back().get();
        m_left = block;
        m_nextBlock = std::min(2 * m_nextBlock, BlockSize);
    }
    char *at = m_cursor;
    std::memcpy(at, data, size);
    m_cursor += size;
    m_left -= size;
    return at;
}

void LineArena::Clear()
{
    m_blocks.clear();
    m_blocks.shrink_to_fit();
    m_cursor = nullptr;
    m_left = 0;
    m_nextBlock = FirstBlockSize;
    m_total = 0;
}

bool AbsenceListEntry::complete() const
{
    return std::memchr(prefix, 0, PrefixSize) != nullptr;
}

namespace {

// Japanese collation that ignores letter case (secondary strength), or the
// root collation where ICU lacks Japanese. One for every list: opening it
// costs more than loading a short record, and ranking only reads it.
const UCollator *sharedCollator()
{
    static const IcuCollator collator = [] {
        UErrorCode status = U_ZERO_ERROR;
        IcuCollator c(ucol_open("ja", &status));
        if (U_FAILURE(status)) {
            status = U_ZERO_ERROR;
            c.reset(ucol_open("", &status));
            if (U_FAILURE(status))
                c.reset();
        }
        if (c)
            ucol_setStrength(c.get(), UCOL_SECONDARY);
        return c;
    }();
    return collator.get();
}

} // namespace

AbsenceList::AbsenceList(QObject *parent)
    : QAbstractListModel(parent), m_collator(sharedCollator()), m_arena(std::make_unique<LineArena>())
{
}

AbsenceList::~AbsenceList() = default;

const QString &AbsenceList::RankText(QByteArrayView line, QString &text) const
{
    // A line's rank is taken from its first 64 KiB: lines that agree that far
    // keep their arrival order, and a line of many megabytes is never decoded
    // whole just to be ranked.
    FromCp932(line.first(std::min<qsizetype>(line.size(), RankedBytes)), text);
    return text;
}

int AbsenceList::CompareText(const QString &a, const QString &b) const
{
    if (!m_collator)
        return a.compare(b);
    return int(ucol_strcoll(m_collator, reinterpret_cast<const UChar *>(a.utf16()), int32_t(a.size()),
                            reinterpret_cast<const UChar *>(b.utf16()), int32_t(b.size())));
}

void AbsenceList::MakeEntry(AbsenceListEntry &entry, const char *data, size_t size, QString &ranked) const
{
    entry.data = data;
    entry.size = quint32(size);
    std::memset(entry.prefix, 0, AbsenceListEntry::PrefixSize);
    RankText(QByteArrayView(data, qsizetype(size)), ranked);
    if (m_collator) {
        // Only the head of the collation key is kept; ICU makes just that
        // much of it. The bytes are those of the whole key's head.
        UCharIterator it;
        uiter_setString(&it, reinterpret_cast<const UChar *>(ranked.utf16()), int32_t(ranked.size()));
        uint32_t state[2] = {0, 0};
        UErrorCode status = U_ZERO_ERROR;
        ucol_nextSortKeyPart(m_collator, &it, state, entry.prefix, int32_t(AbsenceListEntry::PrefixSize), &status);
        if (U_FAILURE(status))
            std::memset(entry.prefix, 0xff, AbsenceListEntry::PrefixSize);
    } else {
        std::memcpy(entry.prefix, data, std::min(size, AbsenceListEntry::PrefixSize));
    }
}

int AbsenceList::CompareEntries(const AbsenceListEntry &a, const AbsenceListEntry &b) const
{
    const int c = std::memcmp(a.prefix, b.prefix, AbsenceListEntry::PrefixSize);
    if (c != 0 || a.complete())
        return c;
    RankTexts &t = rankTexts();
    return CompareText(RankText(QByteArrayView(a.data, a.size), t.first),
                       RankText(QByteArrayView(b.data, b.size), t.second));
}

void AbsenceList::SortEntries(std::vector<AbsenceListEntry> &entries) const
{
    if (entries.size() < 2)
        return; // nothing to order, and no scratch space to take
    // Sort positions rather than entries: the sort's scratch space is then a
    // sixth of the size.
    std::vector<quint32> order(entries.size());
    std::iota(order.begin(), order.end(), 0u);
    const AbsenceListEntry *e = entries.data();
    std::stable_sort(order.begin(), order.end(), [e](quint32 a, quint32 b) {
        return std::memcmp(e[a].prefix, e[b].prefix, AbsenceListEntry::PrefixSize) < 0;
    });
    permuteInPlace(entries.data(), order);
    order.clear();
    order.shrink_to_fit();

    // Runs whose key heads are equal and not the whole key are ordered by
    // comparing their texts, decoded once for that run only.
    std::vector<QString> texts;
    std::vector<int> runOrder;
    for (size_t i = 0; i < entries.size();) {
        size_t j = i + 1;
        while (j < entries.size() &&
               std::memcmp(entries[i].prefix, entries[j].prefix, AbsenceListEntry::PrefixSize) == 0)
            ++j;
        if (j - i > 1 && !entries[i].complete()) {
            texts.clear();
            for (size_t k = i; k < j; ++k)
                RankText(QByteArrayView(entries[k].data, entries[k].size), texts.emplace_back());
            runOrder.resize(j - i);
            std::iota(runOrder.begin(), runOrder.end(), 0);
            std::stable_sort(runOrder.begin(), runOrder.end(),
                             [&](int a, int b) { return CompareText(texts[size_t(a)], texts[size_t(b)]) < 0; });
            permuteInPlace(entries.data() + i, runOrder);
        }
        i = j;
    }
}

void AbsenceList::CompactIfWasteful()
{
    // Put leaves the replaced bytes behind; copy the live lines out once the
    // garbage outweighs them.
    if (m_arena->Bytes() <= 2 * m_liveBytes + 1024 * 1024)
        return;
    auto fresh = std::make_unique<LineArena>();
    for (AbsenceListEntry &e : m_entries)
        e.data = fresh->Store(e.data, e.size);
    m_arena = std::move(fresh);
}

int CompareLines(const AbsenceList &list, const QByteArray &a, const QByteArray &b)
{
    RankTexts &t = rankTexts();
    return list.CompareText(list.RankText(cutAtNul(a), t.first), list.RankText(cutAtNul(b), t.second));
}

void AbsenceList::Clear()
{
    beginResetModel();
    m_entries.clear();
    m_entries.shrink_to_fit();
    m_arena->Clear();
    m_liveBytes = 0;
    endResetModel();
}

int AbsenceList::Count() const
{
    return int(m_entries.size());
}

QByteArray AbsenceList::Get(int i) const
{
    if (i < 0 || size_t(i) >= m_entries.size())
        throw ListIndexError(i);
    const AbsenceListEntry &e = m_entries[size_t(i)];
    return QByteArray(e.data, qsizetype(e.size));
}

QByteArrayView AbsenceList::View(int i) const
{
    if (i < 0 || size_t(i) >= m_entries.size())
        throw ListIndexError(i);
    const AbsenceListEntry &e = m_entries[size_t(i)];
    return QByteArrayView(e.data, qsizetype(e.size));
}

int AbsenceList::Add(const QByteArray &line)
{
    const QByteArrayView stored = cutAtNul(line);
    if (m_entries.size() >= size_t(INT_MAX - 1) || size_t(stored.size()) > UINT32_MAX)
        throw LineInsertError();
    AbsenceListEntry entry;
    RankTexts &t = rankTexts();
    const QString &text = t.first;
    MakeEntry(entry, m_arena->Store(stored.data(), size_t(stored.size())), size_t(stored.size()), t.first);
    // Upper bound over the list as it stands: after a re-ordering the list is
    // no longer in collation order, and the line goes where the search lands.
    size_t lo = 0, hi = m_entries.size();
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        const AbsenceListEntry &other = m_entries[mid];
        int c = std::memcmp(entry.prefix, other.prefix, AbsenceListEntry::PrefixSize);
        if (c == 0 && !entry.complete())
            c = CompareText(text, RankText(QByteArrayView(other.data, other.size), t.second));
        if (c < 0)
            hi = mid;
        else
            lo = mid + 1;
    }
    beginInsertRows(QModelIndex(), int(lo), int(lo));
    m_entries.insert(m_entries.begin() + qsizetype(lo), entry);
    m_liveBytes += entry.size;
    endInsertRows();
    return int(lo);
}

void AbsenceList::Put(int i, const QByteArray &line)
{
    if (i < 0 || size_t(i) >= m_entries.size())
        throw ListIndexError(i);
    const QByteArrayView stored = cutAtNul(line);
    if (size_t(stored.size()) > UINT32_MAX)
        throw LineInsertError();
    AbsenceListEntry &e = m_entries[size_t(i)];
    m_liveBytes -= e.size;
    MakeEntry(e, m_arena->Store(stored.data(), size_t(stored.size())), size_t(stored.size()), rankTexts().first);
    m_liveBytes += e.size;
    CompactIfWasteful();
    const QModelIndex at = index(i);
    emit dataChanged(at, at);
}

void AbsenceList::Assign(const QList<QByteArray> &lines)
{
    Filler filler(*this);
    for (const QByteArray &line : lines)
        filler.Append(line);
    filler.Commit();
}

AbsenceList::Filler::Filler(AbsenceList &list) : m_list(list), m_arena(std::make_unique<LineArena>())
{
}

AbsenceList::Filler::~Filler()
{
    if (m_done)
        return;
    try {
        Commit();
    } catch (...) {
        // Nothing may leave a destructor; the list keeps its old lines.
    }
}

void AbsenceList::Filler::Append(QByteArrayView line)
{
    const QByteArrayView stored = cutAtNul(line);
    if (m_entries.size() >= size_t(INT_MAX - 1) || size_t(stored.size()) > UINT32_MAX)
        throw LineInsertError();
    AbsenceListEntry entry;
    m_list.MakeEntry(entry, m_arena->Store(stored.data(), size_t(stored.size())), size_t(stored.size()),
                     rankTexts().first);
    m_entries.push_back(entry);
}

void AbsenceList::Filler::ReserveForBytes(qint64 bytes)
{
    // Real lines are rarely shorter than eight bytes; the vector still grows
    // past the guess when they are.
    const qint64 lines = std::min<qint64>(bytes / 8 + 16, qint64(1) << 24);
    if (lines > qint64(m_entries.size()))
        m_entries.reserve(size_t(lines));
}

void AbsenceList::Filler::Commit()
{
    if (m_done)
        return;
    m_done = true;
    // Adding each line in turn to an empty list is a stable sort by
    // collation rank; one sort does the same for a whole day at once.
    m_list.SortEntries(m_entries);
    size_t live = 0;
    for (const AbsenceListEntry &e : m_entries)
        live += e.size;
    m_list.beginResetModel();
    m_list.m_entries.swap(m_entries);
    m_list.m_arena.swap(m_arena);
    m_list.m_liveBytes = live;
    m_list.endResetModel();
    m_entries.clear();
    m_entries.shrink_to_fit();
    m_arena->Clear();
}

void AbsenceList::Permute(int first, const std::vector<int> &order)
{
    const size_t n = order.size();
    if (n == 0)
        return;
    if (first < 0 || size_t(first) + n > m_entries.size())
        throw ListIndexError(first < 0 ? first : int(size_t(first) + n - 1));
    if (!IsPermutation(order))
        throw ListIndexError(first);
    permuteInPlace(m_entries.data() + first, order);
    emit dataChanged(index(first), index(first + int(n) - 1));
}

void AbsenceList::TakeFrom(AbsenceList &other)
{
    if (&other == this)
        return;
    other.beginResetModel();
    beginResetModel();
    m_entries.swap(other.m_entries);
    m_arena.swap(other.m_arena);
    std::swap(m_liveBytes, other.m_liveBytes);
    endResetModel();
    other.m_entries.clear();
    other.m_arena->Clear();
    other.m_liveBytes = 0;
    other.endResetModel();
}

QList<QByteArray> AbsenceList::Lines() const
{
    QList<QByteArray> lines;
    lines.reserve(qsizetype(m_entries.size()));
    for (const AbsenceListEntry &e : m_entries)
        lines.append(QByteArray(e.data, qsizetype(e.size)));
    return lines;
}

int AbsenceList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

QVariant AbsenceList::data(const QModelIndex &idx, int role) const
{
    if (!idx.isValid() || size_t(idx.row()) >= m_entries.size() || idx.column() != 0)
        return QVariant();
    const AbsenceListEntry &e = m_entries[size_t(idx.row())];
    switch (role) {
    case Qt::DisplayRole:
        // A line of megabytes cannot be read on screen anyway; its head is
        // shown, and laying it out stays quick.
        if (qsizetype(e.size) > RankedBytes)
            return FromCp932(raw(e.data, size_t(RankedBytes))) + QChar(0x2026);
        return FromCp932(raw(e.data, e.size));
    case RawLineRole:
        return QByteArray(e.data, qsizetype(e.size));
    default:
        return QVariant();
    }
}

} // namespace absence
