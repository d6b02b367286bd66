// The record file: date-time rendering, the last-update line, save, lookup
// and load.

#include "absence_list.h"
#include "day_files.h"
#include "collection.h"
#include "errors.h"
#include "files.h"
#include "record_file.h"
#include "record_file_p.h"
#include "station_file.h"
#include "reorder.h"
#include "support.h"

#include <QAbstractItemModelTester>
#include <QFileInfo>
#include <QSignalSpy>
#include <QStringEncoder>


using namespace absence;
using namespace testsupport;

namespace {

QByteArray Stamp(const char *dateTime) { return Sj("最終更新：") + QByteArray(dateTime); }

QByteArray TextUnder(const QString &locale, const QDateTime &moment)
{
    ScopedServices s(std::make_shared<FixedClock>(moment), LocaleSettings::fromName(locale));
    return DateTimeText(moment);
}

// The system's files, except that looking the names up or opening them fails
// with `code`, as on a share whose server is gone.
struct FailingNames : FileSystem {
    FailingNames(const QStringList &n, int c) : names(n), code(c) {}
    QStringList names;
    int code;
    std::shared_ptr<const FileSystem> files = systemFileSystem();
    bool fails(const QString &path) const { return names.contains(QFileInfo(path).fileName()); }
    QString CurrentDirectory() const override { return files->CurrentDirectory(); }
    bool IsDirectory(const QString &path) const override { return files->IsDirectory(path); }
    qint64 RegularFileSize(const QString &path) const override { return files->RegularFileSize(path); }
    platform::EntryLookup LookUpEntry(const QString &path) const override
    {
        return fails(path) ? platform::EntryLookup{platform::EntryLookup::Result::Unknown, {}, code}
                           : files->LookUpEntry(path);
    }
    OpenedFile Open(const QString &path, platform::Sharing sharing, qint64 piece) const override
    {
        return fails(path) ? OpenedFile{platform::InputFile::Outcome::Failed, code, nullptr}
                           : files->Open(path, sharing, piece);
    }
    std::unique_ptr<RecordWriter> ReplaceRecord(const QString &path) const override
    {
        return files->ReplaceRecord(path);
    }
};

class RecordTest : public ::testing::Test {
protected:
    JapaneseDay day{At(10, 20, 30)};
    WorkDir dir;
    AbsenceList list;
    QString RecordPath; // what FindRecordFile gives, as the start window keeps it
    QAbstractItemModelTester tester{&list, QAbstractItemModelTester::FailureReportingMode::Fatal};

    const QByteArray a = "*09:00:00 2-1 =" + Sj("山田　発熱");
    const QByteArray b = "*10:00:00 1-1 =" + Sj("佐藤　通院");
    const QByteArray c = "*11:00:00 3-1 =" + Sj("鈴木　かぜ");
    const QByteArray stamp = Stamp("2026/12/08 10:20:30");

    QByteArray record() const { return dir.read(RecordName()); }
};

} // namespace

TEST(DateTimeText, JapaneseRendering)
{
    JapaneseDay day;
    EXPECT_EQ(DateTimeText(At(9, 5, 3)), QByteArray("2026/12/08 9:05:03"));
    EXPECT_EQ(DateTimeText(At(23, 59, 59)), QByteArray("2026/12/08 23:59:59"));
    EXPECT_EQ(DateTimeText(At(12, 0, 0)), QByteArray("2026/12/08 12:00:00"));
    EXPECT_EQ(DateTimeText(At(0, 1, 0)), QByteArray("2026/12/08 0:01:00"));
    // Midnight shows the date alone, milliseconds or not; one second later does not.
    EXPECT_EQ(DateTimeText(At(0, 0, 0)), QByteArray("2026/12/08"));
    EXPECT_EQ(DateTimeText(At(0, 0, 0, 999)), QByteArray("2026/12/08"));
    EXPECT_EQ(DateTimeText(At(0, 0, 1)), QByteArray("2026/12/08 0:00:01"));
}

TEST(DateTimeText, OtherLocales)
{
    EXPECT_EQ(TextUnder("en_US", At(21, 5, 3)), QByteArray("12/8/26 9:05:03 PM"));
    EXPECT_EQ(TextUnder("en_US", At(9, 5, 3)), QByteArray("12/8/26 9:05:03 AM"));
    EXPECT_EQ(TextUnder("en_US", At(0, 0, 1)), QByteArray("12/8/26 12:00:01 AM"));
    EXPECT_EQ(TextUnder("en_US", At(0, 0, 0)), QByteArray("12/8/26"));
    EXPECT_EQ(TextUnder("de_DE", At(9, 5, 3)), QByteArray("08.12.26 09:05:03"));
    EXPECT_EQ(TextUnder("C", At(9, 5, 3)), QByteArray("12/8/26 9:05:03"));
}

TEST(LastUpdateLine, MadeFromTheMoment)
{
    JapaneseDay day;
    EXPECT_EQ(Sj("最終更新："), QByteArray("\x8D\xC5\x8F\x49\x8D\x58\x90\x56\x81\x46"));
    EXPECT_EQ(MakeLastUpdateLine(At(9, 5, 3)), Stamp("2026/12/08 9:05:03"));
    EXPECT_EQ(MakeLastUpdateLine(At(0, 0, 0, 400)), Stamp("2026/12/08"));
}

TEST(LastUpdateLine, RecognisedByItsFirstEightBytesOnly)
{
    EXPECT_TRUE(IsLastUpdateLine(Stamp("2026/12/08 9:05:03")));
    EXPECT_TRUE(IsLastUpdateLine(Sj("最終更新") + "x"));
    EXPECT_TRUE(IsLastUpdateLine(Sj("最終更新：")));
    EXPECT_FALSE(IsLastUpdateLine(Sj("最終更新")));
    EXPECT_FALSE(IsLastUpdateLine(Sj("最終更")));
    EXPECT_FALSE(IsLastUpdateLine(" " + Stamp("2026/12/08")));
    EXPECT_FALSE(IsLastUpdateLine(Sj("最終変更：2026/12/08")));
    EXPECT_FALSE(IsLastUpdateLine(QByteArray()));
}

TEST_F(RecordTest, SaveAddsAStampAndWritesEveryLineWithCrLf)
{
    dir.write(RecordName(), JoinLines({"old 1", "old 2", "old 3", "old 4", "old 5", "old 6"}));
    list.Assign({c, a, b});
    Save(list, Day());
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list.Lines().count(stamp), 1);
    EXPECT_EQ(record(), JoinLines(list.Lines()));
    EXPECT_EQ(dir.entries(), QStringList{RecordName()});
}

TEST_F(RecordTest, SaveReplacesAStampAtIndexZeroInPlace)
{
    list.Assign({a, b, c});
    list.Put(0, Stamp("2026/12/07 8:00:00"));
    QSignalSpy inserted(&list, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&list, &QAbstractItemModel::dataChanged);
    Save(list, Day());
    EXPECT_EQ(list.Lines(), (QList<QByteArray>{stamp, b, c}));
    EXPECT_EQ(record(), JoinLines({stamp, b, c}));
    EXPECT_EQ(inserted.count(), 0);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).value<QModelIndex>().row(), 0);
}

TEST_F(RecordTest, SaveInTheFirstSecondAfterMidnightStampsTheDateAlone)
{
    day.clock().set(At(0, 0, 0, 750));
    list.Assign({a});
    Save(list, Day());
    EXPECT_EQ(list.Lines().count(Stamp("2026/12/08")), 1) << list.Lines().join('|').toStdString();

    day.clock().set(At(0, 0, 1));
    Save(list, Day());
    EXPECT_EQ(list.Lines().count(Stamp("2026/12/08 0:00:01")), 1);
}

TEST_F(RecordTest, FileIsNamedAfterTheChosenDayNotTheClock)
{
    day.clock().set(At(7, 30, 0, 0, Day().addDays(1)));
    list.Assign({a});
    Save(list, Day());
    EXPECT_EQ(dir.entries(), QStringList{RecordName()});
    EXPECT_TRUE(record().contains(Stamp("2026/12/09 7:30:00") + "\r\n"));
}

TEST_F(RecordTest, SaveOnAnEmptyListRaisesAndWritesNothing)
{
    try {
        Save(list, Day());
        FAIL() << "saving an empty list did not raise";
    } catch (const ListIndexError &e) {
        EXPECT_EQ(e.index(), 0);
        EXPECT_EQ(e.message(), QString::fromUtf8("ﾘｽﾄのｲﾝﾃﾞｯｸｽが範囲を超えています (0)"));
    }
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(dir.entries().isEmpty());
}

TEST_F(RecordTest, RecordUnderAnotherCaseIsReplacedNotDoubled)
{
    dir.write(DayFile("a.txt"), "old\r\n");
    list.Assign({a});
    Save(list, Day());
    EXPECT_EQ(dir.entries(), QStringList{DayFile("a.txt")});
    EXPECT_EQ(dir.read(DayFile("a.txt")), JoinLines(list.Lines()));

    AbsenceList loaded;
    ASSERT_FALSE(FindRecordFile(Day(), RecordPath));
    Load(loaded, RecordPath);
    EXPECT_EQ(loaded.Lines(), (QList<QByteArray>{a, stamp}));
}

TEST_F(RecordTest, DirectoryBearingTheRecordNameCannotBeCreated)
{
    dir.makeDir(RecordName());
    list.Assign({a});
    try {
        Save(list, Day());
        FAIL() << "saving over a directory did not raise";
    } catch (const FileCreateError &e) {
        EXPECT_EQ(e.message(), QString::fromUtf8("ﾌｧｲﾙ %1 を作成できません").arg(RecordFilePath(Day())));
    }
    // The list keeps its new stamp; nothing else appears in the directory.
    EXPECT_EQ(list.Lines().count(stamp), 1);
    EXPECT_EQ(dir.entries(), QStringList{RecordName()});
    EXPECT_TRUE(QFileInfo(dir.file(RecordName())).isDir());
}

TEST_F(RecordTest, MissingWorkingDirectoryCannotBeSavedInto)
{
    ASSERT_FALSE(QFileInfo::exists("/" + RecordName())) << "a stray record in / spoils this test";
    list.Assign({a});
    dir.makeDir("gone");
    ASSERT_TRUE(QDir::setCurrent(dir.file("gone")));
    if (!CanRemoveCurrentFolder())
        GTEST_SKIP() << "this system does not remove a process's current folder";
    ASSERT_TRUE(QDir(dir.path()).rmdir("gone"));
    EXPECT_THROW(Save(list, Day()), FileCreateError);
    EXPECT_FALSE(QFileInfo::exists("/" + RecordName()));
    EXPECT_FALSE(QFileInfo::exists(dir.file(RecordName())));
}

TEST_F(RecordTest, MissingWorkingDirectoryTakesNoStationLine)
{
    ASSERT_FALSE(QFileInfo::exists("/" + DataName(3))) << "a stray data file in / spoils this test";
    dir.makeDir("gone");
    ASSERT_TRUE(QDir::setCurrent(dir.file("gone")));
    if (!CanRemoveCurrentFolder())
        GTEST_SKIP() << "this system does not remove a process's current folder";
    ASSERT_TRUE(QDir(dir.path()).rmdir("gone"));
    EXPECT_THROW(AppendDataLine(Day(), 3, QStringLiteral("*08:00:00 1-1=x")), FileCreateError);
    EXPECT_FALSE(QFileInfo::exists("/" + DataName(3)));
}

TEST_F(RecordTest, FindRecordFileGivesThePathAndLeavesTheChosenDay)
{
    ChosenDate = QDate(2020, 1, 1);
    RecordPath = QStringLiteral("unset");
    EXPECT_TRUE(FindRecordFile(Day(), RecordPath));
    EXPECT_EQ(RecordPath, dir.file(RecordName()));

    dir.write(RecordName(), "x\r\n");
    EXPECT_FALSE(FindRecordFile(Day(), RecordPath));
    EXPECT_EQ(RecordPath, dir.file(RecordName()));
    EXPECT_TRUE(FindRecordFile(Day().addDays(1), RecordPath));
    EXPECT_EQ(ChosenDate, QDate(2020, 1, 1));
}

TEST_F(RecordTest, FindRecordFileInAMissingDirectoryKeepsTheOldPath)
{
    dir.write(RecordName(), "x\r\n");
    dir.makeDir("gone");
    ASSERT_TRUE(QDir::setCurrent(dir.file("gone")));
    if (!CanRemoveCurrentFolder())
        GTEST_SKIP() << "this system does not remove a process's current folder";
    ASSERT_TRUE(QDir(dir.path()).rmdir("gone"));
    RecordPath = QStringLiteral("unchanged");
    EXPECT_TRUE(FindRecordFile(Day(), RecordPath));
    EXPECT_EQ(RecordPath, QStringLiteral("unchanged"));
}

TEST_F(RecordTest, SavedRecordComesBackInCollationOrder)
{
    // Put scrambles the order: c a b is what gets saved.
    list.Assign({a, b, c});
    list.Put(0, c);
    list.Put(1, a);
    list.Put(2, b);
    Save(list, Day());
    const QList<QByteArray> saved = list.Lines();
    ASSERT_EQ(saved.mid(0, 3), (QList<QByteArray>{c, a, b}));

    AbsenceList loaded;
    QAbstractItemModelTester loadedTester(&loaded, QAbstractItemModelTester::FailureReportingMode::Fatal);
    ASSERT_FALSE(FindRecordFile(Day(), RecordPath));
    QSignalSpy reset(&loaded, &QAbstractItemModel::modelReset);
    Load(loaded, RecordPath);
    EXPECT_EQ(loaded.Lines(), (QList<QByteArray>{a, b, c, stamp}));
    EXPECT_EQ(reset.count(), 1);
}

TEST_F(RecordTest, LoadLineEndsAndEmptyLines)
{
    dir.write("crlf.txt", JoinLines({b, a, c}));
    dir.write("lf.txt", b + "\n" + a + "\n" + c);
    Load(list, dir.file("crlf.txt"));
    const QList<QByteArray> viaCrlf = list.Lines();
    Load(list, dir.file("lf.txt"));
    EXPECT_EQ(list.Lines(), viaCrlf);
    EXPECT_EQ(viaCrlf, (QList<QByteArray>{a, b, c}));

    dir.write("gap.txt", b + "\r\n\r\n" + a + "\r\n");
    Load(list, dir.file("gap.txt"));
    EXPECT_EQ(list.Lines(), (QList<QByteArray>{"", a, b}));
}

TEST_F(RecordTest, RecordInUtf8OrUtf16IsLoadedAndSavedAsCodePage932)
{
    const QString text = FromCp932(JoinLines({b, a, c}));
    for (const QByteArray &file : {text.toUtf8(), "\xFE\xFF" + QStringEncoder(QStringEncoder::Utf16BE).encode(text)}) {
        dir.write(RecordName(), file);
        ASSERT_FALSE(FindRecordFile(Day(), RecordPath));
        Load(list, RecordPath);
        EXPECT_EQ(list.Lines(), (QList<QByteArray>{a, b, c}));
        Save(list, Day());
        EXPECT_EQ(record(), JoinLines(list.Lines()));
    }
    // One of ours is read as saved, though its first line begins with the
    // bytes of a byte order mark (a garbled station line).
    const QByteArray garbled = "\xEF\xBB\xBF" + b;
    dir.write(RecordName(), JoinLines({garbled, a, stamp}));
    Load(list, RecordPath);
    EXPECT_TRUE(list.Lines().contains(garbled)) << list.Lines().join('|').toStdString();
}

TEST_F(RecordTest, LongLinesSurviveSaveAndLoad)
{
    const QByteArray longLine = "*10:00:00 1-1 =" + QByteArray(9000, 'y');
    list.Assign({longLine, a});
    Save(list, Day());
    AbsenceList loaded;
    Load(loaded, RecordFilePath(Day()));
    EXPECT_EQ(loaded.Lines(), list.Lines());
}

TEST_F(RecordTest, LoadFailureRaisesAndLeavesTheList)
{
    list.Assign({a, b});
    dir.makeDir(RecordName());
    try {
        Load(list, dir.file(RecordName()));
        FAIL() << "loading a directory did not raise";
    } catch (const FileOpenError &e) {
        EXPECT_EQ(e.message(), QString::fromUtf8("ﾌｧｲﾙ %1 は開けません").arg(dir.file(RecordName())));
    }
    EXPECT_THROW(Load(list, dir.file("missing.TXT")), FileOpenError);
    EXPECT_EQ(list.Lines(), (QList<QByteArray>{a, b}));
}

TEST_F(RecordTest, StampMovedToTheFrontByAReorderingIsReplacedNextTime)
{
    list.Assign({c, a, b});
    Save(list, Day());
    ASSERT_EQ(list.Count(), 4);
    OrderByTime(list);
    ASSERT_EQ(list.Get(0), stamp);
    day.clock().set(At(11, 0, 0));
    Save(list, Day());
    EXPECT_EQ(list.Lines(), (QList<QByteArray>{Stamp("2026/12/08 11:00:00"), a, b, c}));
    EXPECT_EQ(record(), JoinLines(list.Lines()));
}

TEST(SplitRecordText, Rules)
{
    using L = QList<QByteArray>;
    EXPECT_EQ(SplitRecordText("a\r\nb\r\n"), (L{"a", "b"}));
    EXPECT_EQ(SplitRecordText("a\rb\nc"), (L{"a", "b", "c"}));
    EXPECT_EQ(SplitRecordText("a\n\rb"), (L{"a", "", "b"}));
    EXPECT_EQ(SplitRecordText("a\r\r\nb"), (L{"a", "", "b"}));
    EXPECT_EQ(SplitRecordText("a\r\n\r\n"), (L{"a", ""}));
    EXPECT_EQ(SplitRecordText("\r\n"), (L{""}));
    EXPECT_EQ(SplitRecordText("a"), (L{"a"}));
    EXPECT_TRUE(SplitRecordText("").isEmpty());
    EXPECT_EQ(SplitRecordText(QByteArray("a\r\nb\0c\r\nd\r\n", 11)), (L{"a", "b"}));
    EXPECT_TRUE(SplitRecordText(QByteArray("\0a\r\n", 4)).isEmpty());
    EXPECT_EQ(SplitRecordText("a\x1A" "b\r\n\x1A"), (L{"a\x1A" "b", "\x1A"}));
}

TEST_F(RecordTest, RecordHeldOpenElsewhereCanNeitherBeLoadedNorReplaced)
{
    const QByteArray old = JoinLines({a, Stamp("2026/12/07 17:00:00")});
    dir.write(RecordName(), old);
    list.Assign({b, c});
    // Any handle counts, even a reader's and this test's own.
    QFile holder(dir.file(RecordName()));
    ASSERT_TRUE(holder.open(QIODevice::ReadOnly));
    EXPECT_THROW(Load(list, dir.file(RecordName())), FileOpenError);
    EXPECT_EQ(list.Lines(), (QList<QByteArray>{b, c}));
    EXPECT_THROW(Save(list, Day()), FileCreateError);
    EXPECT_EQ(list.Lines().count(stamp), 1) << "the list keeps its new stamp";
    EXPECT_EQ(record(), old);
    EXPECT_EQ(dir.entries(), QStringList{RecordName()});
}

TEST_F(RecordTest, SaveRemovesOnlyStaleLeftoversOfKilledSaves)
{
    // What a save killed as its new record got a name leaves: the record's
    // name, a dot and six letters or digits, our own regular file.
    const QString base = RecordName();
    struct Case {
        QString name;
        bool old;
        bool removed;
    };
    const QList<Case> cases{
        {base + ".Ab3xY9", true, true},
        {base + ".Qq0000", false, false},  // a save may be writing it now
        {base + ".Ab3xY", true, false},    // not the temporary name's shape
        {base + ".Ab3xY90", true, false},
        {base + ".Ab-xY9", true, false},
        {base + "x.Ab3xY9", true, false},
        {"2026-12-07A.TXT.Ab3xY9", true, false}, // another day's
    };
    for (const Case &c : cases) {
        dir.write(c.name, "left over\r\n");
        QFile f(dir.file(c.name));
        if (c.old) {
            ASSERT_TRUE(f.open(QIODevice::ReadWrite)
                        && f.setFileTime(QDateTime::currentDateTime().addSecs(-120), QFileDevice::FileModificationTime));
        }
    }
    const QString folder = base + ".Dd4eE5";
    dir.makeDir(folder);

    list.Assign({a});
    Save(list, Day());
    for (const Case &c : cases)
        EXPECT_EQ(QFileInfo::exists(dir.file(c.name)), !c.removed) << c.name.toStdString();
    EXPECT_TRUE(QFileInfo(dir.file(folder)).isDir());
    EXPECT_EQ(record(), JoinLines({a, stamp}));
}

TEST_F(RecordTest, DayFilesWhoseLookUpFailsAreNeitherAbsentNorReplaced)
{
    const QByteArray old = JoinLines({a, Stamp("2026/12/07 17:00:00")});
    dir.write(RecordName(), old);
    dir.write(DataName(0), a + "\r\n");
    dir.write(DataName(4), c + "\r\n");
    // Not known to be absent: the run stops with the look-up's own code.
    setFileSystem(std::make_shared<FailingNames>(QStringList{DataName(2), RecordName()}, 64));
    try {
        Collect(list, Day());
        ADD_FAILURE() << "a failed look-up was taken for an absent file";
    } catch (const InOutError &e) {
        EXPECT_EQ(e.message(), QString::fromUtf8("I/O ｴﾗｰ (64)"));
    }
    EXPECT_EQ(list.Lines(), (QList<QByteArray>{a}));
    EXPECT_FALSE(FindRecordFile(Day(), RecordPath)) << "taken for a day without a record";
    EXPECT_THROW(Load(list, RecordPath), FileOpenError);
    EXPECT_EQ(list.Lines(), (QList<QByteArray>{a}));
    EXPECT_THROW(Save(list, Day()), FileCreateError);
    setFileSystem(nullptr);
    EXPECT_EQ(record(), old);
}
