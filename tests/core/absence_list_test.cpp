// The absence list: its operations, its collation and its notifications as a
// list model. Every test runs under a fatal model tester.

#include "absence_list.h"
#include "absence_list_p.h"
#include "errors.h"
#include "support.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QSignalSpy>

using namespace absence;
using namespace testsupport;

namespace {

class AbsenceListTest : public ::testing::Test {
protected:
    JapaneseDay day;
    AbsenceList list;
    QAbstractItemModelTester tester{&list, QAbstractItemModelTester::FailureReportingMode::Fatal};

    QList<QByteArray> lines() const { return list.Lines(); }
    void addAll(const QList<QByteArray> &ls)
    {
        for (const QByteArray &l : ls)
            list.Add(l);
    }
};

} // namespace

TEST_F(AbsenceListTest, CountGetClearAndTheIndexError)
{
    list.Add("b");
    list.Add("a");
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Get(0), QByteArray("a"));
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    try {
        list.Get(0);
        FAIL() << "Get(0) on an empty list did not raise";
    } catch (const ListIndexError &e) {
        EXPECT_EQ(e.index(), 0);
        EXPECT_EQ(e.message(), QString::fromUtf8("ﾘｽﾄのｲﾝﾃﾞｯｸｽが範囲を超えています (0)"));
    }
    addAll({"a", "b", "c"});
    EXPECT_THROW(list.Get(-1), ListIndexError);
    try {
        list.Get(3);
        FAIL() << "Get(3) on three lines did not raise";
    } catch (const ListIndexError &e) {
        EXPECT_EQ(e.message(), QString::fromUtf8("ﾘｽﾄのｲﾝﾃﾞｯｸｽが範囲を超えています (3)"));
    }
    EXPECT_EQ(list.Get(2), QByteArray("c"));
}

TEST_F(AbsenceListTest, AddKeepsCollationOrderAndReturnsTheIndex)
{
    EXPECT_EQ(list.Add("m"), 0);
    EXPECT_EQ(list.Add("z"), 1);
    EXPECT_EQ(list.Add("a"), 0);
    EXPECT_EQ(list.Add("n"), 2);
    EXPECT_EQ(lines(), (QList<QByteArray>{"a", "m", "n", "z"}));
}

TEST_F(AbsenceListTest, CollationIgnoresCase)
{
    // Byte order would put "B" before "a".
    addAll({"B", "a", "C"});
    EXPECT_EQ(lines(), (QList<QByteArray>{"a", "B", "C"}));
    EXPECT_EQ(CompareLines(list, "abc", "ABC"), 0);
    EXPECT_LT(CompareLines(list, "a", "B"), 0);
}

TEST_F(AbsenceListTest, CollationIsJapaneseNotByteOrder)
{
    // In code page 932 bytes い (82 A2) precedes ア (83 41), half-width ｱ (B1)
    // follows full-width イ (83 43), and Ａ (82 60) follows b.
    const QByteArray i = Sj("い"), a = Sj("ア"), hA = Sj("ｱ"), fI = Sj("イ"), fwA = Sj("Ａ");
    addAll({i, a});
    EXPECT_EQ(lines(), (QList<QByteArray>{a, i}));
    list.Clear();
    addAll({fI, hA});
    EXPECT_EQ(lines(), (QList<QByteArray>{hA, fI}));
    list.Clear();
    addAll({"b", fwA});
    EXPECT_EQ(lines(), (QList<QByteArray>{fwA, "b"}));
    list.Clear();
    // Kana before kanji, Latin before kana.
    addAll({Sj("*漢"), Sj("*か"), "*z"});
    EXPECT_EQ(lines(), (QList<QByteArray>{"*z", Sj("*か"), Sj("*漢")}));
}

TEST_F(AbsenceListTest, EqualLinesGoAfterTheExistingOnes)
{
    EXPECT_EQ(list.Add("abc"), 0);
    EXPECT_EQ(list.Add("b"), 1);
    EXPECT_EQ(list.Add("ABC"), 1);
    EXPECT_EQ(list.Add("Abc"), 2);
    EXPECT_EQ(list.Add("abc"), 3);
    EXPECT_EQ(lines(), (QList<QByteArray>{"abc", "ABC", "Abc", "abc", "b"}));
}

TEST_F(AbsenceListTest, EmptyLineSortsFirst)
{
    addAll({"*10:00:00 1-1 =a", "", " "});
    EXPECT_EQ(list.Get(0), QByteArray());
    EXPECT_EQ(list.Count(), 3);
}

TEST_F(AbsenceListTest, LinesEndAtTheirFirstNul)
{
    list.Add(QByteArray("ab\0cd", 5));
    EXPECT_EQ(list.Get(0), QByteArray("ab"));
    list.Put(0, QByteArray("x\0y", 3));
    EXPECT_EQ(list.Get(0), QByteArray("x"));
    list.Assign({QByteArray("\0zz", 3), QByteArray("q\0", 2)});
    EXPECT_EQ(lines(), (QList<QByteArray>{"", "q"}));
}

TEST_F(AbsenceListTest, LongLinesStayWhole)
{
    const QByteArray longLine = "*09:00:00 1-1 =" + QByteArray(6000, 'x');
    list.Add(longLine);
    list.Add("*");
    EXPECT_EQ(list.Get(1), longLine);
    list.Put(0, longLine + "y");
    EXPECT_EQ(list.Get(0).size(), longLine.size() + 1);
}

TEST_F(AbsenceListTest, PutReplacesInPlaceWithoutSorting)
{
    addAll({"a", "b", "c"});
    QItemSelectionModel sel(&list);
    sel.setCurrentIndex(list.index(1), QItemSelectionModel::ClearAndSelect);
    QSignalSpy changed(&list, &QAbstractItemModel::dataChanged);
    QSignalSpy inserted(&list, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&list, &QAbstractItemModel::rowsRemoved);
    QSignalSpy reset(&list, &QAbstractItemModel::modelReset);
    QSignalSpy layout(&list, &QAbstractItemModel::layoutChanged);

    list.Put(1, "zz");
    EXPECT_EQ(lines(), (QList<QByteArray>{"a", "zz", "c"}));
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).value<QModelIndex>().row(), 1);
    EXPECT_EQ(changed.at(0).at(1).value<QModelIndex>().row(), 1);
    EXPECT_EQ(inserted.count() + removed.count() + reset.count() + layout.count(), 0);
    EXPECT_EQ(sel.currentIndex().row(), 1);
    EXPECT_TRUE(sel.isRowSelected(1));
}

TEST_F(AbsenceListTest, AddAfterAPutLandsWhereTheBinarySearchLands)
{
    addAll({"a", "b", "c"});
    list.Put(0, "z"); // z b c: no longer in collation order
    EXPECT_EQ(list.Add("d"), 3);
    EXPECT_EQ(list.Add("a"), 0);
    EXPECT_EQ(lines(), (QList<QByteArray>{"a", "z", "b", "c", "d"}));
}

TEST_F(AbsenceListTest, AddAnnouncesOneInsertedRow)
{
    addAll({"a", "c"});
    QSignalSpy inserted(&list, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&list, &QAbstractItemModel::modelReset);
    QSignalSpy changed(&list, &QAbstractItemModel::dataChanged);
    EXPECT_EQ(list.Add("b"), 1);
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted.at(0).at(1).toInt(), 1);
    EXPECT_EQ(inserted.at(0).at(2).toInt(), 1);
    EXPECT_EQ(reset.count() + changed.count(), 0);
}

TEST_F(AbsenceListTest, AssignClearsAndSortsStablyInOneReset)
{
    addAll({"old1", "old2"});
    QSignalSpy aboutToReset(&list, &QAbstractItemModel::modelAboutToBeReset);
    QSignalSpy reset(&list, &QAbstractItemModel::modelReset);
    QSignalSpy inserted(&list, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&list, &QAbstractItemModel::rowsRemoved);

    list.Assign({"c", "X1", "", "B", "x1", "a", "X1"});
    EXPECT_EQ(lines(), (QList<QByteArray>{"", "a", "B", "c", "X1", "x1", "X1"}));
    EXPECT_EQ(aboutToReset.count(), 1);
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(inserted.count() + removed.count(), 0);

    list.Assign({});
    EXPECT_EQ(list.Count(), 0);
}

TEST_F(AbsenceListTest, DisplayRoleDecodesAndRawRoleKeepsBytes)
{
    const QByteArray line = Sj("*09:05:00 1-2 =山田　発熱");
    list.Add(line);
    list.Add(QByteArray("\xFF\xFE", 2));
    const int row = list.Get(0) == line ? 0 : 1;
    EXPECT_EQ(list.data(list.index(row), Qt::DisplayRole).toString(),
              QString::fromUtf8("*09:05:00 1-2 =山田　発熱"));
    EXPECT_EQ(list.data(list.index(row), AbsenceList::RawLineRole).toByteArray(), line);
    const int bad = 1 - row;
    EXPECT_EQ(list.data(list.index(bad), AbsenceList::RawLineRole).toByteArray(), QByteArray("\xFF\xFE", 2));
    EXPECT_TRUE(list.data(list.index(bad), Qt::DisplayRole).toString().contains(QChar(0xFFFD)));
}

TEST_F(AbsenceListTest, DecodingIntoAUsedStringGivesWhatAFreshOneGives)
{
    // "山" then a lead byte cut off at the end; bytes the converter marks as
    // unmapped (0x7F comes out as SUB). Each shows as U+FFFD.
    const QByteArray cut("\x8e\x52\x93", 3);
    EXPECT_EQ(FromCp932(cut), QString::fromUtf8("山\uFFFD"));
    EXPECT_EQ(FromCp932(QByteArray("a\x7f" "b\x85\x40")), QString::fromUtf8("a\uFFFDb\uFFFD"));
    QString reused;
    FromCp932(Sj("*09:05:00 1-2 =山田　発熱"), reused);
    FromCp932(cut, reused);
    EXPECT_EQ(reused, FromCp932(cut));
    FromCp932(QByteArrayView(), reused);
    EXPECT_TRUE(reused.isEmpty());
}

TEST_F(AbsenceListTest, PermuteMovesARangeWithOneNotification)
{
    addAll({"a", "b", "c", "d", "e"});
    QItemSelectionModel sel(&list);
    sel.setCurrentIndex(list.index(2), QItemSelectionModel::ClearAndSelect);
    QSignalSpy changed(&list, &QAbstractItemModel::dataChanged);
    QSignalSpy layout(&list, &QAbstractItemModel::layoutChanged);
    list.Permute(1, {2, 0, 1});
    EXPECT_EQ(lines(), (QList<QByteArray>{"a", "d", "b", "c", "e"}));
    ASSERT_EQ(changed.count(), 1);
    EXPECT_LE(changed.at(0).at(0).value<QModelIndex>().row(), 1);
    EXPECT_GE(changed.at(0).at(1).value<QModelIndex>().row(), 3);
    EXPECT_EQ(layout.count(), 0);
    EXPECT_EQ(sel.currentIndex().row(), 2);
    // Collation keys move with their lines: the search over a d b c e for
    // "cc" ends after "c"; stale keys (a b c d e) would end before it.
    EXPECT_EQ(list.Add("cc"), 4);
}
