// String helpers, sort keys, and the two re-orderings of the absence list.

#include "absence_list.h"
#include "errors.h"
#include "record_file.h"
#include "reorder.h"
#include "reorder_p.h"
#include "support.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QSignalSpy>

#include <algorithm>
#include <climits>
#include <numeric>
#include <random>

using namespace absence;
using namespace testsupport;

namespace {

// The neighbour-exchange sort the re-ordering must agree with, move for move
// in its result: pass k walks j down from last to first+k+1 and swaps lines
// (via Put) and keys whenever key[j] < key[j-1].
void LiteralExchangeSort(AbsenceList &list, std::vector<qint32> &key, int first, int last)
{
    if (last - 1 < first)
        return;
    for (int k = 0; k < last - first; ++k) {
        for (int j = last; j >= first + k + 1; --j) {
            if (key[j] < key[j - 1]) {
                const QByteArray lower = list.Get(j);
                const QByteArray upper = list.Get(j - 1);
                list.Put(j - 1, lower);
                list.Put(j, upper);
                std::swap(key[j], key[j - 1]);
            }
        }
    }
}

// Lines first..last stably ordered by `keyOf`, the others as they are.
QList<QByteArray> StablyOrdered(QList<QByteArray> lines, int first, qint32 (*keyOf)(const QByteArray &))
{
    std::stable_sort(lines.begin() + first, lines.end(),
                     [&](const QByteArray &x, const QByteArray &y) { return keyOf(x) < keyOf(y); });
    return lines;
}

QByteArray RandomLine(std::mt19937 &rng, int serial)
{
    static const char *marks[] = {"*", "#", "+", "A"};
    static const char *classes[] = {"1-1", "1-2", "2-1", "3-1", " 3-2 ", "10", "", "x"};
    const int h = int(rng() % 4) + 8, m = int(rng() % 3) * 15, s = int(rng() % 2) * 30;
    return QByteArray(marks[rng() % 4])
        + QString::asprintf("%02d:%02d:%02d ", h, m, s).toLatin1()
        + classes[rng() % 8] + "=" + Sj("生徒") + QByteArray::number(serial);
}

class ReorderTest : public ::testing::Test {
protected:
    JapaneseDay day;
    AbsenceList list;
    QAbstractItemModelTester tester{&list, QAbstractItemModelTester::FailureReportingMode::Fatal};

    // Collation order A B C D; time order B D A C; class order of B D A C is D A C B.
    const QByteArray A = "A10:00:00 1-1 =a";
    const QByteArray B = "B09:00:00 2-1 =b";
    const QByteArray C = "C11:00:00 1-2 =c";
    const QByteArray D = "D09:00:00 1-1 =d";
    const QByteArray stamp = Sj("最終更新：2026/12/08 9:30:00");
};

} // namespace

TEST(StringHelpers, TakeLeftMidRight)
{
    EXPECT_EQ(TakeLeft("abcdef", 3), QByteArray("abc"));
    EXPECT_EQ(TakeLeft("abcdef", 0), QByteArray());
    EXPECT_EQ(TakeLeft("abcdef", 6), QByteArray("abcdef"));
    EXPECT_EQ(TakeLeft("abc", 10), QByteArray("abc"));

    EXPECT_EQ(TakeMid("abcdef", 2, 3), QByteArray("bcd"));
    EXPECT_EQ(TakeMid("abcdef", 4, 3), QByteArray("def"));
    EXPECT_EQ(TakeMid("abcdef", 5, 3), QByteArray("abcdef")); // runs past the end
    EXPECT_EQ(TakeMid("abcdef", 1, 6), QByteArray("abcdef")); // count not below length
    EXPECT_EQ(TakeMid("*12:3", 2, 8), QByteArray("*12:3"));

    EXPECT_EQ(TakeRight("abcdef", 2), QByteArray("ef"));
    EXPECT_EQ(TakeRight("abcdef", 0), QByteArray());
    EXPECT_EQ(TakeRight("abcdef", -3), QByteArray());
    EXPECT_EQ(TakeRight("abcdef", 6), QByteArray("abcdef"));
    EXPECT_EQ(TakeRight("ab", 5), QByteArray("ab"));
}

TEST(StringHelpers, TrimRemovesBytesBelow33AtBothEnds)
{
    EXPECT_EQ(Trim(" \t\x01 3-1 \r\n"), QByteArray("3-1"));
    EXPECT_EQ(Trim("a b"), QByteArray("a b"));
    EXPECT_EQ(Trim(" \t "), QByteArray());
    EXPECT_EQ(Trim(""), QByteArray());
    // The full-width blank is two bytes above 32 and stays.
    EXPECT_EQ(Trim(Sj("　3　")), Sj("　3　"));
}

TEST(StringHelpers, ParseLeadingInt)
{
    EXPECT_EQ(ParseLeadingInt("090500"), 90500);
    EXPECT_EQ(ParseLeadingInt("3-1"), 3);
    EXPECT_EQ(ParseLeadingInt("-12"), -12);
    EXPECT_EQ(ParseLeadingInt("-12a"), 12);
    EXPECT_EQ(ParseLeadingInt("-12 "), 12);
    EXPECT_EQ(ParseLeadingInt("12a"), 12);
    EXPECT_EQ(ParseLeadingInt("+7"), 7);
    EXPECT_EQ(ParseLeadingInt("   42"), 42);
    EXPECT_EQ(ParseLeadingInt("  -5"), -5);
    EXPECT_EQ(ParseLeadingInt("$1F"), 31);
    EXPECT_EQ(ParseLeadingInt("$ff"), 255);
    EXPECT_EQ(ParseLeadingInt("$1G"), 1);
    EXPECT_EQ(ParseLeadingInt("-0"), 0);
    // Nothing to read.
    EXPECT_EQ(ParseLeadingInt(""), 0);
    EXPECT_EQ(ParseLeadingInt("    "), 0);
    EXPECT_EQ(ParseLeadingInt("a12"), 0);
    EXPECT_EQ(ParseLeadingInt("\t5"), 0);
    EXPECT_EQ(ParseLeadingInt("-"), 0);
    EXPECT_EQ(ParseLeadingInt("- 1"), 0);
    EXPECT_EQ(ParseLeadingInt("$"), 0);
    EXPECT_EQ(ParseLeadingInt(Sj("２")), 0);
}

TEST(StringHelpers, ParseLeadingIntClampsLongDigitStrings)
{
    EXPECT_EQ(ParseLeadingInt("999999999"), 999999999);
    EXPECT_EQ(ParseLeadingInt("2147483647"), INT_MAX);
    EXPECT_EQ(ParseLeadingInt("2147483648"), INT_MAX);
    EXPECT_EQ(ParseLeadingInt("99999999999999999999999"), INT_MAX);
    EXPECT_EQ(ParseLeadingInt("-2147483648"), INT_MIN);
    EXPECT_EQ(ParseLeadingInt("-99999999999999999999999"), INT_MIN);
    EXPECT_EQ(ParseLeadingInt("-99999999999999999999999x"), INT_MAX);
    EXPECT_EQ(ParseLeadingInt("$100000000"), INT_MAX);
    EXPECT_EQ(ParseLeadingInt("00000000000000000000012"), 12);
}

TEST(SortKeys, TimeKey)
{
    EXPECT_EQ(TimeKey("*09:05:00 1-2 =x"), 90500);
    EXPECT_EQ(TimeKey("*23:59:59 1-2 =x"), 235959);
    EXPECT_EQ(TimeKey("*00:00:01"), 1);
    EXPECT_EQ(TimeKey("*10:00:00"), 100000); // nine bytes: still the full field
    EXPECT_EQ(TimeKey(Sj("最終更新：2026/12/08 9:30:00")), 0);
    EXPECT_EQ(TimeKey("*12:3"), 0);
    EXPECT_EQ(TimeKey(""), 0);
    // An unpadded hour reads up to the first non-digit: "9:" "5:" "0 ".
    EXPECT_EQ(TimeKey("*9:05:00 1-2 =x"), 9);
}

TEST(SortKeys, ClassKey)
{
    EXPECT_EQ(ClassKey("*09:05:00 3-1 =x"), 3);
    EXPECT_EQ(ClassKey("*09:05:00 12=x"), 12);
    EXPECT_EQ(ClassKey("*09:05:00   7  =x=y"), 7);
    EXPECT_EQ(ClassKey("*09:05:00  -4=x"), -4);
    EXPECT_EQ(ClassKey("*09:05:00 =x"), 0);   // head of ten bytes
    EXPECT_EQ(ClassKey("*09:05:00 3-1"), 0);  // no "="
    EXPECT_EQ(ClassKey("=*09:05:00 3-1"), 0);
    EXPECT_EQ(ClassKey(Sj("最終更新：2026/12/08 9:30:00")), 0);
    EXPECT_EQ(ClassKey("*09:05:00 " + Sj("２") + "=x"), 0);
}

TEST_F(ReorderTest, OrderByTimeThenByClassIsStable)
{
    list.Assign({D, C, B, A});
    ASSERT_EQ(list.Lines(), (QList<QByteArray>{A, B, C, D}));
    QSignalSpy changed(&list, &QAbstractItemModel::dataChanged);
    OrderByTime(list);
    EXPECT_EQ(list.Lines(), (QList<QByteArray>{B, D, A, C}));
    EXPECT_EQ(changed.count(), 1);
    OrderByClass(list);
    EXPECT_EQ(list.Lines(), (QList<QByteArray>{D, A, C, B}));
    EXPECT_EQ(changed.count(), 2);
}

TEST_F(ReorderTest, StampAtIndexZeroStaysWhereItIs)
{
    list.Assign({A, B, C, D});
    list.Put(0, stamp);
    QItemSelectionModel sel(&list);
    sel.setCurrentIndex(list.index(2), QItemSelectionModel::ClearAndSelect);
    QSignalSpy changed(&list, &QAbstractItemModel::dataChanged);
    OrderByTime(list);
    EXPECT_EQ(list.Lines(), (QList<QByteArray>{stamp, B, D, C}));
    ASSERT_EQ(changed.count(), 1);
    EXPECT_GE(changed.at(0).at(0).value<QModelIndex>().row(), 1);
    EXPECT_EQ(sel.currentIndex().row(), 2);
    OrderByClass(list);
    EXPECT_EQ(list.Lines(), (QList<QByteArray>{stamp, D, C, B}));
}

TEST_F(ReorderTest, StampElsewhereMovesAheadOfPositiveKeys)
{
    list.Assign({A, B, C, stamp});
    ASSERT_EQ(list.Get(3), stamp);
    OrderByTime(list);
    EXPECT_EQ(list.Lines(), (QList<QByteArray>{stamp, B, A, C}));
    list.Assign({A, B, C, stamp, "*no class", "*09:05:00 =short head"});
    const QList<QByteArray> before = list.Lines();
    OrderByClass(list);
    // The three lines of key 0 lead, in the order they had.
    QList<QByteArray> zeros;
    for (const QByteArray &l : before)
        if (ClassKey(l) == 0)
            zeros << l;
    EXPECT_EQ(list.Lines().mid(0, 3), zeros);
    EXPECT_EQ(list.Lines().mid(3), (QList<QByteArray>{A, C, B}));
}

TEST_F(ReorderTest, EmptyListRaisesAndChangesNothing)
{
    QSignalSpy changed(&list, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&list, &QAbstractItemModel::modelReset);
    for (auto reorder : {OrderByTime, OrderByClass}) {
        try {
            reorder(list);
            FAIL() << "re-ordering an empty list did not raise";
        } catch (const ListIndexError &e) {
            EXPECT_EQ(e.index(), 0);
            EXPECT_EQ(e.message(), QString::fromUtf8("ﾘｽﾄのｲﾝﾃﾞｯｸｽが範囲を超えています (0)"));
        }
    }
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(changed.count() + reset.count(), 0);
}

TEST_F(ReorderTest, TinyListsStayAsTheyAre)
{
    list.Assign({C});
    OrderByTime(list);
    OrderByClass(list);
    EXPECT_EQ(list.Lines(), (QList<QByteArray>{C}));
    list.Assign({C, A});
    list.Put(0, stamp);
    OrderByTime(list);
    EXPECT_EQ(list.Lines(), (QList<QByteArray>{stamp, C}));
}

TEST_F(ReorderTest, TimeOrderTwiceIsTimeOrderOnce)
{
    std::mt19937 rng(8);
    QList<QByteArray> lines;
    for (int i = 0; i < 300; ++i)
        lines << RandomLine(rng, i);
    list.Assign(lines);
    const QList<QByteArray> collated = list.Lines();
    OrderByTime(list);
    const QList<QByteArray> once = list.Lines();
    EXPECT_EQ(once, StablyOrdered(collated, 0, TimeKey));
    OrderByTime(list);
    EXPECT_EQ(list.Lines(), once);
    OrderByClass(list);
    EXPECT_EQ(list.Lines(), StablyOrdered(once, 0, ClassKey));
}

TEST_F(ReorderTest, ListsBeyondFiveThousandLinesAreOrderedWhole)
{
    std::mt19937 rng(5001);
    QList<QByteArray> lines;
    for (int i = 0; i < 6500; ++i)
        lines << RandomLine(rng, i);
    list.Assign(lines);
    list.Put(0, stamp);
    const QList<QByteArray> before = list.Lines();
    OrderByTime(list);
    EXPECT_EQ(list.Lines(), StablyOrdered(before, 1, TimeKey));
    EXPECT_GE(SortKeyTable.size(), size_t(6500));
}

TEST(ExchangeSort, AgreesWithNeighbourExchangesOnRandomLists)
{
    JapaneseDay day;
    std::mt19937 rng(20261208);
    for (int round = 0; round < 400; ++round) {
        SCOPED_TRACE(round);
        const int n = 1 + int(rng() % 30);
        QList<QByteArray> lines;
        for (int i = 0; i < n; ++i)
            lines << "L" + QByteArray::number(1000 + i);
        std::shuffle(lines.begin(), lines.end(), rng);
        std::vector<qint32> keys(n);
        for (qint32 &k : keys) {
            const unsigned r = rng() % 20;
            k = r == 0 ? INT_MIN : r == 1 ? INT_MAX : int(r % 4) - 1; // many equal keys
        }
        int first = int(rng() % n);
        int last = first + int(rng() % (n - first));
        if (round % 10 == 0)
            last = first - 1; // an empty range does nothing

        AbsenceList expected, actual;
        QAbstractItemModelTester tester(&actual, QAbstractItemModelTester::FailureReportingMode::Fatal);
        expected.Assign(lines);
        actual.Assign(lines);
        for (int i = 0; i < n; ++i) {
            expected.Put(i, lines[i]);
            actual.Put(i, lines[i]);
        }
        std::vector<qint32> refKeys = keys;
        LiteralExchangeSort(expected, refKeys, first, last);

        const int current = int(rng() % n);
        QItemSelectionModel sel(&actual);
        sel.setCurrentIndex(actual.index(current), QItemSelectionModel::ClearAndSelect);
        QSignalSpy changed(&actual, &QAbstractItemModel::dataChanged);
        QSignalSpy layout(&actual, &QAbstractItemModel::layoutChanged);
        SortKeyTable = keys;
        ExchangeSort(actual, first, last);

        ASSERT_EQ(actual.Lines(), expected.Lines());
        EXPECT_EQ(SortKeyTable, refKeys); // key of line i stays at index i
        for (int i = 0; i < n; ++i) {
            if (i < first || i > last) {
                EXPECT_EQ(actual.Get(i), lines[i]) << "line outside the range touched: " << i;
            }
        }
        EXPECT_EQ(sel.currentIndex().row(), current);
        EXPECT_TRUE(sel.isRowSelected(current));
        EXPECT_EQ(layout.count(), 0);
        EXPECT_LE(changed.count(), 1);
        if (actual.Lines() != lines) {
            ASSERT_EQ(changed.count(), 1);
            EXPECT_GE(changed.at(0).at(0).value<QModelIndex>().row(), first);
            EXPECT_LE(changed.at(0).at(1).value<QModelIndex>().row(), last);
        }
    }
}
