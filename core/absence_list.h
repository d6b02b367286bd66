#pragma once
// The absence list: the day's notification lines as code page 932 bytes, kept
// in collation order by Add, shown by the windows as a list model.

#include "errors.h"

#include <QAbstractListModel>
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <memory>
#include <vector>

struct UCollator;

namespace absence {

// Holds line bytes in large blocks: one allocation per block instead of one
// per line keeps a day of tens of thousands of lines small.
class LineArena {
public:
    const char *Store(const char *data, size_t size);
    void Clear();
    size_t Bytes() const { return m_total; }

private:
    // Blocks grow from the first to the largest size, so that a short list
    // takes little.
    static constexpr size_t FirstBlockSize = 4 * 1024;
    static constexpr size_t BlockSize = 64 * 1024;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    char *m_cursor = nullptr;
    size_t m_left = 0;
    size_t m_nextBlock = FirstBlockSize;
    size_t m_total = 0;
};

// One line of the list: its bytes in the arena and the head of its collation
// key. Lines whose key heads are equal are told apart by their whole keys,
// computed only when needed.
struct AbsenceListEntry {
    static constexpr size_t PrefixSize = 12;
    const char *data;
    quint32 size;
    unsigned char prefix[PrefixSize]; // key bytes, zero-padded after its end

    // True when the whole key fits in the prefix (its terminating zero is in).
    bool complete() const;
};

class AbsenceList : public QAbstractListModel {
    Q_OBJECT
public:
    // The raw code page 932 bytes of a line.
    static constexpr int RawLineRole = Qt::UserRole + 1;

    explicit AbsenceList(QObject *parent = nullptr);
    ~AbsenceList() override;

    void Clear();
    int Count() const;
    // Raises ListIndexError outside 0..Count-1.
    QByteArray Get(int i) const;
    // The bytes of line i without copying; valid until the list changes.
    QByteArrayView View(int i) const;
    // Inserts after every line of equal or lower collation rank (upper bound
    // of a binary search over the list as it stands). Returns the index.
    int Add(const QByteArray &line);
    // Replaces line i in place, whatever its rank.
    void Put(int i, const QByteArray &line);
    // Clear, then Add each line in turn: the result is a stable sort.
    void Assign(const QList<QByteArray> &lines);

    // Replaces the whole list like Assign, taking the lines one at a time so
    // that a large day is never held twice. Commit (or destruction, also when
    // an exception unwinds) sorts what was appended and publishes it.
    class Filler {
    public:
        explicit Filler(AbsenceList &list);
        ~Filler();
        Filler(const Filler &) = delete;
        Filler &operator=(const Filler &) = delete;
        void Append(QByteArrayView line);
        void Commit();
        // Room for the lines that `bytes` of text may hold. Only the part
        // used is ever touched, so a generous guess costs no memory.
        void ReserveForBytes(qint64 bytes);

    private:
        AbsenceList &m_list;
        std::unique_ptr<LineArena> m_arena;
        std::vector<AbsenceListEntry> m_entries;
        bool m_done = false;
    };

    // Moves lines first..first+order.size()-1 so that new line first+k is
    // the old line first+order[k]; one change notification for the range.
    void Permute(int first, const std::vector<int> &order);

    // Calls fn(i, bytes of line i) for i from first to last. The bytes of a
    // large list lie scattered in its storage; they are fetched a few lines
    // ahead, so that the walk does not wait on memory at every line.
    template <typename Fn>
    void ForEachLine(int first, int last, Fn &&fn) const
    {
        if (first < 0 || (first <= last && size_t(last) >= m_entries.size()))
            throw ListIndexError(first < 0 ? first : last);
        constexpr int Ahead = 16;
        for (int i = first; i <= last; ++i) {
            if (i + Ahead <= last)
                __builtin_prefetch(m_entries[size_t(i + Ahead)].data);
            const AbsenceListEntry &e = m_entries[size_t(i)];
            fn(i, QByteArrayView(e.data, qsizetype(e.size)));
        }
    }

    QList<QByteArray> Lines() const;

    // Takes over the other list's lines (one reset); the other ends empty.
    void TakeFrom(AbsenceList &other);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    friend class Filler;
    friend int CompareLines(const AbsenceList &list, const QByteArray &a, const QByteArray &b);
    // Decodes the ranked part of `line` into `text` (reused) and returns it.
    const QString &RankText(QByteArrayView line, QString &text) const;
    int CompareText(const QString &a, const QString &b) const;
    // Leaves the line's ranked text in `ranked`.
    void MakeEntry(AbsenceListEntry &entry, const char *data, size_t size, QString &ranked) const;
    int CompareEntries(const AbsenceListEntry &a, const AbsenceListEntry &b) const;
    void SortEntries(std::vector<AbsenceListEntry> &entries) const;
    void CompactIfWasteful();

    const UCollator *m_collator;
    std::unique_ptr<LineArena> m_arena;
    std::vector<AbsenceListEntry> m_entries;
    size_t m_liveBytes = 0;
};

} // namespace absence
