#pragma once
// The absence list: the day's notification lines as code page 932 bytes, kept
// in collation order by Add, shown by the windows as a list model.

#include <QAbstractListModel>
#include <QByteArray>
#include <QCollator>
#include <QCollatorSortKey>
#include <QList>
#include <vector>

namespace absence {

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
    // Inserts after every line of equal or lower collation rank (upper bound
    // of a binary search over the list as it stands). Returns the index.
    int Add(const QByteArray &line);
    // Replaces line i in place, whatever its rank.
    void Put(int i, const QByteArray &line);
    // Clear, then Add each line in turn: the result is a stable sort.
    void Assign(const QList<QByteArray> &lines);

    // Moves lines first..first+order.size()-1 so that new line first+k is
    // the old line first+order[k]; one change notification for the range.
    void Permute(int first, const std::vector<int> &order);

    const QList<QByteArray> &Lines() const { return m_lines; }

    // Collation rank comparison of two lines (negative, zero, positive).
    int Compare(const QByteArray &a, const QByteArray &b) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    QCollatorSortKey KeyOf(const QByteArray &line) const;

    QCollator m_collator;
    QList<QByteArray> m_lines;
    std::vector<QCollatorSortKey> m_keys; // one per line, same order
};

} // namespace absence
