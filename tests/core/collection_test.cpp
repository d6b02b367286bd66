// The data-file reader, hour normalisation and the collection run.

#include "absence_list.h"
#include "collection.h"
#include "errors.h"
#include "platform/platform.h"
#include "support.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QStringEncoder>


using namespace absence;
using namespace testsupport;

namespace {

QList<QByteArray> ReadAll(const QString &path)
{
    DataFileReader reader(path);
    QList<QByteArray> out;
    QByteArray line;
    while (reader.ReadLine(line))
        out << line;
    reader.Close();
    return out;
}

QByteArray Utf16Le(const QString &text)
{
    return QStringEncoder(QStringEncoder::Utf16LE).encode(text);
}

// Open descriptors where the system lists them (0 elsewhere).
int OpenDescriptors()
{
    return int(QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size());
}

class CollectionTest : public ::testing::Test {
protected:
    JapaneseDay day;
    WorkDir dir;
    AbsenceList list;
    QAbstractItemModelTester tester{&list, QAbstractItemModelTester::FailureReportingMode::Fatal};

    QList<QByteArray> read(const QByteArray &bytes)
    {
        dir.write("data.txt", bytes);
        return ReadAll(dir.file("data.txt"));
    }
};

} // namespace

TEST_F(CollectionTest, ReaderLineEnds)
{
    EXPECT_EQ(read("a\rb\r\nc\nd"), (QList<QByteArray>{"a", "b", "c", "d"}));
    // LF CR is two line ends; CR CR LF too.
    EXPECT_EQ(read("a\n\rb"), (QList<QByteArray>{"a", "", "b"}));
    EXPECT_EQ(read("a\r\r\nb"), (QList<QByteArray>{"a", "", "b"}));
    EXPECT_EQ(read("a\r\n\nb"), (QList<QByteArray>{"a", "", "b"}));
    // A final terminator adds no line; a final line without one still counts.
    EXPECT_EQ(read("a\r\n"), (QList<QByteArray>{"a"}));
    EXPECT_EQ(read("a\r\nb"), (QList<QByteArray>{"a", "b"}));
    EXPECT_EQ(read("\r\n\r\n"), (QList<QByteArray>{"", ""}));
    EXPECT_TRUE(read("").isEmpty());
}

TEST_F(CollectionTest, ReaderStopsAtCtrlZAndKeepsNul)
{
    EXPECT_EQ(read("a\r\nb\x1A" "c\r\nd\r\n"), (QList<QByteArray>{"a", "b"}));
    EXPECT_EQ(read("a\rb\x1A"), (QList<QByteArray>{"a", "b"}));
    EXPECT_EQ(read(QByteArray("a\0b\r\n", 5)), (QList<QByteArray>{QByteArray("a\0b", 3)}));
}

TEST_F(CollectionTest, CtrlZAtTheStartOfALineEndsTheFileWithoutALine)
{
    // The file ends where the Ctrl-Z stands, as it does after a last line end.
    EXPECT_EQ(read("a\r\n\x1A" "b"), (QList<QByteArray>{"a"}));
    EXPECT_TRUE(read("\x1A" "abc\r\n").isEmpty());
}

TEST_F(CollectionTest, ReaderKeepsLongLinesWholeAcrossAnyBufferBoundary)
{
    QList<QByteArray> expected;
    QByteArray bytes;
    const int lengths[] = {4095, 4096, 4097, 8191, 8192, 65535, 65536, 65537, 1, 100000};
    int n = 0;
    for (int len : lengths) {
        const QByteArray line(len, char('a' + n % 26));
        expected << line;
        // Alternate the line ends so that a CR LF pair straddles a boundary somewhere.
        bytes += line + (n % 3 == 0 ? "\r\n" : n % 3 == 1 ? "\r" : "\n");
        ++n;
    }
    EXPECT_EQ(read(bytes), expected);
}

TEST_F(CollectionTest, ReaderOnMissingFileRaisesNotFound)
{
    try {
        ReadAll(dir.file("nothing.txt"));
        FAIL() << "reading a missing file did not raise";
    } catch (const InOutError &e) {
        EXPECT_EQ(e.code(), 2);
        EXPECT_EQ(e.message(), QString::fromUtf8("ﾌｧｲﾙが見つかりません"));
    }
}

TEST(NormaliseHour, PadsOnlyWhenTheFirstColonIsTheThirdByte)
{
    EXPECT_EQ(NormaliseHour("*9:05:00 1-2 =x"), QByteArray("*09:05:00 1-2 =x"));
    EXPECT_EQ(NormaliseHour("*10:05:00 1-2 =x"), QByteArray("*10:05:00 1-2 =x"));
    EXPECT_EQ(NormaliseHour("12:3"), QByteArray("102:3"));
    EXPECT_EQ(NormaliseHour("ab:c:d"), QByteArray("a0b:c:d"));
    // Applied once: the padded line's colon is now the fourth byte.
    EXPECT_EQ(NormaliseHour("a9:5:0"), QByteArray("a09:5:0"));
    EXPECT_EQ(NormaliseHour(":9:05"), QByteArray(":9:05"));
    EXPECT_EQ(NormaliseHour("*:9:05"), QByteArray("*:9:05"));
    EXPECT_EQ(NormaliseHour("no colon"), QByteArray("no colon"));
    EXPECT_EQ(NormaliseHour(""), QByteArray());
    // Positions are bytes: a double-byte character takes bytes 1 and 2.
    EXPECT_EQ(NormaliseHour(Sj("あ:")), QByteArray("\x82" "0" "\xA0:"));
}

TEST_F(CollectionTest, CollectGathersEveryFileInCollationOrder)
{
    list.Add("left over from before");
    dir.write(DataName(0), JoinLines({"*10:00:00 1-1 =" + Sj("佐藤　発熱"), "*8:15:00 2-3 =" + Sj("鈴木　通院")}));
    dir.write(DataName(4), JoinLines({"*09:30:00 3-1 =" + Sj("高橋　忌引")}));
    dir.write(DataName(9), "*7:00:00 1-2 =" + Sj("田中　かぜ")); // no final CR LF
    Collect(list);
    EXPECT_EQ(list.Lines(), (QList<QByteArray>{"*07:00:00 1-2 =" + Sj("田中　かぜ"),
                                                "*08:15:00 2-3 =" + Sj("鈴木　通院"),
                                                "*09:30:00 3-1 =" + Sj("高橋　忌引"),
                                                "*10:00:00 1-1 =" + Sj("佐藤　発熱")}));
}

TEST_F(CollectionTest, FilesAreReadInDigitOrder)
{
    // Lines equal under the collation keep the order they were read in.
    dir.write(DataName(7), "*10:00:00 1-1 =ab\r\n");
    dir.write(DataName(2), "*10:00:00 1-1 =aB\r\n");
    dir.write(DataName(9), "*10:00:00 1-1 =Ab\r\n");
    dir.write(DataName(0), "*10:00:00 1-1 =AB\r\n");
    Collect(list);
    EXPECT_EQ(list.Lines(), (QList<QByteArray>{"*10:00:00 1-1 =AB", "*10:00:00 1-1 =aB",
                                                "*10:00:00 1-1 =ab", "*10:00:00 1-1 =Ab"}));
}

TEST_F(CollectionTest, OnlyDigitsZeroToNineOfTheChosenDayAreRead)
{
    dir.write(DayFile("A10.TXT"), "*10:00:00 1-1 =ten\r\n");
    dir.write(RecordName(), "*10:00:00 1-1 =record\r\n");
    dir.write("2026-12-09A0.TXT", "*10:00:00 1-1 =next day\r\n");
    dir.write(DayFile("B0.TXT"), "*10:00:00 1-1 =b\r\n");
    Collect(list);
    EXPECT_EQ(list.Count(), 0);

    dir.write(DayFile("a3.txt"), "*10:00:00 1-1 =lower case\r\n");
    Collect(list);
    EXPECT_EQ(list.Lines(), (QList<QByteArray>{"*10:00:00 1-1 =lower case"}));
}

TEST_F(CollectionTest, EmptyAndBlankFilesAddNothing)
{
    dir.write(DataName(1), "");
    dir.write(DataName(2), "\r\n\r\n\r\n");
    dir.write(DataName(3), "\x1A" "*10:00:00 1-1 =hidden\r\n");
    Collect(list);
    EXPECT_EQ(list.Count(), 0);
}

TEST_F(CollectionTest, CtrlZEndsOnlyItsOwnFile)
{
    dir.write(DataName(0), "*10:00:00 1-1 =a\r\n*11:00:00 1-1 =b\x1A" "*12:00:00 1-1 =c\r\n");
    dir.write(DataName(1), "*13:00:00 1-1 =d\r\n");
    Collect(list);
    EXPECT_EQ(list.Lines(), (QList<QByteArray>{"*10:00:00 1-1 =a", "*11:00:00 1-1 =b", "*13:00:00 1-1 =d"}));
}

TEST_F(CollectionTest, SameLineInTwoFilesGivesTwoEntries)
{
    dir.write(DataName(3), "*9:00:00 1-1 =x\r\n");
    dir.write(DataName(5), "*09:00:00 1-1 =x\r\n");
    Collect(list);
    EXPECT_EQ(list.Lines(), (QList<QByteArray>{"*09:00:00 1-1 =x", "*09:00:00 1-1 =x"}));
}

TEST_F(CollectionTest, LfOnlyFilesGiveOneEntryPerLine)
{
    dir.write(DataName(0), "*9:00:00 1-1 =a\n*8:00:00 1-1 =b\n*10:00:00 1-1 =c\n");
    Collect(list);
    EXPECT_EQ(list.Lines(), (QList<QByteArray>{"*08:00:00 1-1 =b", "*09:00:00 1-1 =a", "*10:00:00 1-1 =c"}));
}

TEST_F(CollectionTest, FilesSavedAsUtf8OrUtf16CollectAsTheirCodePage932Lines)
{
    const QStringList lines[] = {
        {QStringLiteral("*9:05:00 1-2 =山田太郎 発熱のため欠席"), QStringLiteral("#10:00:00 2-1 =ｻﾄｳ ﾊﾅｺ 通院")},
        {QStringLiteral("*8:15:00 3-1 =髙橋　①　９時～１０時"), QString(), QStringLiteral("*7:00:00 1-1 =ﾏｷ")},
        {QStringLiteral("@07:30:00 2-2 =鈴木 かぜ※")},
        {QStringLiteral("*8:00:00 職員=森 通院")},
    };
    auto text = [&](int i) { return lines[i].join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"); };
    for (int i = 0; i < 4; ++i)
        dir.write(DataName(i), Sj(text(i)));
    Collect(list);
    const QList<QByteArray> asCp932 = list.Lines();
    ASSERT_EQ(asCp932.size(), 6);
    // Today's Notepad saves UTF-8, with or without a byte order mark.
    dir.write(DataName(1), text(1).toUtf8());
    dir.write(DataName(2), "\xEF\xBB\xBF" + text(2).toUtf8());
    dir.write(DataName(3), "\xFF\xFE" + Utf16Le(text(3)));
    Collect(list);
    EXPECT_EQ(list.Lines(), asCp932);
}

TEST_F(CollectionTest, WhatCodePage932LacksBecomesGetaAndNoLineIsLost)
{
    const QByteArray geta = Sj(QStringLiteral("〓"));
    const QByteArray utf16 = "\xFF\xFE";
    const QByteArray mountain = "\xE5\xB1\xB1"; // 山 in UTF-8
    const struct {
        const char *what;
        QByteArray file;
        QList<QByteArray> lines;
    } cases[] = {
        {"outside code page 932", QStringLiteral("*9:05:00 1-1 =Zoë 😀\r\nabc").toUtf8(),
         {"*09:05:00 1-1 =Zo" + geta + ' ' + geta, "abc"}},
        {"a wave dash as other systems write it", QStringLiteral("9時〜").toUtf8(), {Sj(QStringLiteral("9時")) + "\x81\x60"}},
        {"hour padding counts code page 932 bytes", QStringLiteral("あ:").toUtf8(), {"\x82" "0" "\xA0:"}},
        {"an unpaired surrogate, an odd last byte",
         utf16 + Utf16Le(QStringLiteral("*9:05:00 1-1 =a")) + QByteArray("\x00\xD8", 2) + Utf16Le(QStringLiteral("\r\n\r\nb\r\n")) + "c",
         {"*09:05:00 1-1 =a" + geta, "b", geta}},
        {"a broken sequence after a UTF-8 mark", "\xEF\xBB\xBF" "a\xE5\xB1\r\n" + mountain + "b", {"a" + geta, Sj(QStringLiteral("山b"))}},
        {"NUL and Ctrl-Z in UTF-16", utf16 + Utf16Le(QString::fromLatin1("a\0b\r\nc\x1A" "d", 8)), {QByteArray("a\0b", 3), "c"}},
        {"UTF-8 up to a Ctrl-Z", mountain + "\x1A\x82", {Sj(QStringLiteral("山"))}},
        {"code page 932 that is two-byte UTF-8", Sj(QStringLiteral("*9:00:00 1-1 =ﾏｷ ﾘｶ")), {Sj(QStringLiteral("*09:00:00 1-1 =ﾏｷ ﾘｶ"))}},
        {"code page 932 that is UTF-8 up to a point", mountain + Sj(QStringLiteral("山")), {mountain + Sj(QStringLiteral("山"))}},
        {"code page 932 names that are valid UTF-8", Sj(QStringLiteral("遙子\r\n凜子\r\n皓子")),
         {Sj(QStringLiteral("遙子")), Sj(QStringLiteral("凜子")), Sj(QStringLiteral("皓子"))}},
        {"UTF-8 kana that reads as code page 932 too", QStringLiteral("かき").toUtf8(), {Sj(QStringLiteral("かき"))}},
    };
    for (const auto &c : cases) {
        dir.write("data.txt", c.file);
        EXPECT_EQ(ReadDataFile(dir.file("data.txt")), c.lines) << c.what;
    }
}

TEST_F(CollectionTest, DirectoryBearingADataFileNameStopsTheRun)
{
    dir.write(DataName(0), "*10:00:00 1-1 =a\r\n*11:00:00 1-1 =b\r\n");
    dir.makeDir(DataName(1));
    dir.write(DataName(2), "*12:00:00 1-1 =never read\r\n");
    const int fds = OpenDescriptors();
    try {
        Collect(list);
        FAIL() << "collecting over a directory did not raise";
    } catch (const InOutError &e) {
        EXPECT_EQ(e.code(), 5);
        EXPECT_EQ(e.message(), QString::fromUtf8("ﾌｧｲﾙへのｱｸｾｽが拒否されました"));
    }
    EXPECT_EQ(list.Lines(), (QList<QByteArray>{"*10:00:00 1-1 =a", "*11:00:00 1-1 =b"}));
    // The file that failed is not left open.
    EXPECT_EQ(OpenDescriptors(), fds);
}

TEST_F(CollectionTest, MissingWorkingDirectoryCollectsNothing)
{
    dir.write(DataName(0), "*10:00:00 1-1 =a\r\n");
    list.Add("old");
    dir.makeDir("gone");
    ASSERT_TRUE(QDir::setCurrent(dir.file("gone")));
    if (!CanRemoveCurrentFolder())
        GTEST_SKIP() << "this system does not remove a process's current folder";
    ASSERT_TRUE(QDir(dir.path()).rmdir("gone"));
    EXPECT_NO_THROW(Collect(list));
    EXPECT_EQ(list.Count(), 0);
}

TEST_F(CollectionTest, FileHeldOpenForWritingStopsTheRunWithSharingViolation)
{
    dir.write(DataName(0), "*10:00:00 1-1 =a\r\n");
    dir.write(DataName(1), "*11:00:00 1-1 =half a li");
    dir.write(DataName(2), "*12:00:00 1-1 =never read\r\n");
    // Our own handles count as another program's: this test is the writer.
    QFile writer(dir.file(DataName(1)));
    ASSERT_TRUE(writer.open(QIODevice::WriteOnly | QIODevice::Append));
    const int fds = OpenDescriptors();
    try {
        Collect(list);
        ADD_FAILURE() << "a data file open for writing was collected";
    } catch (const InOutError &e) {
        EXPECT_EQ(e.message(), QString::fromUtf8("I/O ｴﾗｰ (32)"));
    }
    EXPECT_EQ(list.Lines(), (QList<QByteArray>{"*10:00:00 1-1 =a"}));
    EXPECT_EQ(OpenDescriptors(), fds);
    // Readers do not hold it up.
    writer.close();
    QFile reader(dir.file(DataName(1)));
    ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
    Collect(list);
    EXPECT_EQ(list.Count(), 3);
}

