// Date tag, the day's file names, and the presence test.

#include "day_files.h"
#include "day_files_p.h"
#include "services.h"
#include "support.h"

#include <QDir>
#include <QFile>


using namespace absence;
using namespace testsupport;

namespace {

QByteArray TagUnder(const QString &locale, QDate date = Day())
{
    ScopedServices s(std::make_shared<FixedClock>(At(9, 0, 0)), LocaleSettings::fromName(locale));
    return MakeDateTag(date);
}

QByteArray ShortUnder(const QString &locale, QDate date = Day())
{
    ScopedServices s(std::make_shared<FixedClock>(At(9, 0, 0)), LocaleSettings::fromName(locale));
    return ShortDateText(date);
}

} // namespace

TEST(DateTag, JapaneseLocaleGivesIsoLikeTag)
{
    EXPECT_EQ(ShortUnder("ja_JP"), QByteArray("2026/12/08"));
    EXPECT_EQ(TagUnder("ja_JP"), QByteArray(kDay));
    EXPECT_EQ(TagUnder("ja_JP.UTF-8"), QByteArray(kDay));
    EXPECT_EQ(TagUnder("ja_JP", QDate(2027, 1, 5)), QByteArray("2027-01-05"));
}

TEST(DateTag, UsAndFallbackLocalesUseMonthDayYear)
{
    EXPECT_EQ(ShortUnder("en_US"), QByteArray("12/8/26"));
    EXPECT_EQ(TagUnder("en_US"), QByteArray("12-8-26"));
    // The C locale has no short date of its own: m/d/yy with "/".
    EXPECT_EQ(ShortUnder("C"), QByteArray("12/8/26"));
    EXPECT_EQ(TagUnder("C"), QByteArray("12-8-26"));
    EXPECT_EQ(TagUnder("C", QDate(2026, 3, 4)), QByteArray("3-4-26"));
}

TEST(DateTag, OtherSeparatorIsLeftAsItIs)
{
    EXPECT_EQ(ShortUnder("de_DE"), QByteArray("08.12.26"));
    EXPECT_EQ(TagUnder("de_DE"), QByteArray("08.12.26"));
}

TEST(DateTag, OnlyTheFirstTwoSlashesAreReplaced)
{
    LocaleSettings three = LocaleSettings::fromName("ja_JP");
    three.shortDateFormat = QStringLiteral("yyyy/MM/dd/yy");
    LocaleSettings one = three;
    one.shortDateFormat = QStringLiteral("yyyy/MMdd");
    {
        ScopedServices s(std::make_shared<FixedClock>(At(9, 0, 0)), three);
        EXPECT_EQ(ShortDateText(Day()), QByteArray("2026/12/08/26"));
        EXPECT_EQ(MakeDateTag(Day()), QByteArray(kDay) + "/26");
    }
    {
        ScopedServices s(std::make_shared<FixedClock>(At(9, 0, 0)), one);
        EXPECT_EQ(MakeDateTag(Day()), QByteArray("2026-1208"));
    }
}

TEST(DayFileNames, NamesFollowTheDayGiven)
{
    JapaneseDay day;
    WorkDir dir;
    EXPECT_EQ(DataFileName(Day(), 0), DataName(0));
    EXPECT_EQ(DataFileName(Day(), 9), DataName(9));
    EXPECT_EQ(RecordFileName(Day()), RecordName());
    EXPECT_EQ(DataFilePath(Day(), 4), dir.file(DataName(4)));
    EXPECT_EQ(RecordFilePath(Day()), dir.file(RecordName()));

    // The chosen day of the windows is not what names the files.
    ChosenDate = QDate(2030, 1, 1);
    EXPECT_EQ(DataFileName(QDate(2027, 2, 1), 3), QStringLiteral("2027-02-01A3.TXT"));
    EXPECT_EQ(RecordFileName(QDate(2027, 2, 1)), QStringLiteral("2027-02-01A.TXT"));
}

TEST(DayFileNames, NamesUnderAnotherLocaleUseItsRendering)
{
    JapaneseDay day(At(9, 0, 0), QStringLiteral("de_DE"));
    EXPECT_EQ(DataFileName(Day(), 2), QStringLiteral("08.12.26A2.TXT"));
    EXPECT_EQ(RecordFileName(Day()), QStringLiteral("08.12.26A.TXT"));
}

TEST(DayFileNames, WorkingDirectoryIsReadAtEachUse)
{
    JapaneseDay day;
    WorkDir dir;
    dir.makeDir("sub");
    EXPECT_EQ(WorkingDirectory(), dir.path());
    ASSERT_TRUE(QDir::setCurrent(dir.file("sub")));
    EXPECT_EQ(WorkingDirectory(), dir.file(QStringLiteral("sub")));
    EXPECT_EQ(RecordFilePath(Day()), dir.file(QStringLiteral("sub") + QDir::separator() + RecordName()));
}

TEST(DayFileNames, RootKeepsItsSeparatorAndGetsASecondOne)
{
    JapaneseDay day;
    const QString old = QDir::currentPath();
    // "/" here, a drive's root ("C:\\") on Windows.
    const QString root = QDir::toNativeSeparators(QDir::rootPath());
    ASSERT_TRUE(QDir::setCurrent(QDir::rootPath()));
    const QString wd = WorkingDirectory();
    const QString rec = RecordFilePath(Day());
    QDir::setCurrent(old);
    EXPECT_EQ(wd, root);
    EXPECT_EQ(rec, root + root.back() + RecordName());
}

TEST(IsFileAbsent, FileAndDirectoryCountAsPresent)
{
    JapaneseDay day;
    WorkDir dir;
    EXPECT_TRUE(IsFileAbsent(DataFilePath(Day(), 0)));
    EXPECT_TRUE(IsFileAbsent(RecordFilePath(Day())));

    dir.write(DataName(0), "");
    EXPECT_FALSE(IsFileAbsent(DataFilePath(Day(), 0)));
    EXPECT_TRUE(IsFileAbsent(DataFilePath(Day(), 1)));

    dir.makeDir(DataName(1));
    EXPECT_FALSE(IsFileAbsent(DataFilePath(Day(), 1)));
}

TEST(IsFileAbsent, NamesMatchWithoutAsciiCase)
{
    JapaneseDay day;
    WorkDir dir;
    dir.write(DayFile("a3.txt"), "x");
    EXPECT_FALSE(IsFileAbsent(DataFilePath(Day(), 3)));
    EXPECT_EQ(LookUpDayFile(DataFilePath(Day(), 3)).path, dir.file(DayFile("a3.txt")));
    EXPECT_TRUE(IsFileAbsent(DataFilePath(Day(), 4)));
    EXPECT_EQ(LookUpDayFile(DataFilePath(Day(), 4)).result, platform::EntryLookup::Result::Absent);

    dir.write(DayFile("A.txt"), "r");
    EXPECT_FALSE(IsFileAbsent(RecordFilePath(Day())));
}

TEST(IsFileAbsent, ExactNameWinsOverOtherCase)
{
    JapaneseDay day;
    WorkDir dir;
    dir.write(DayFile("a5.txt"), "lower");
    dir.write(DataName(5), "exact");
    dir.write(DayFile("A5.txt"), "mixed");
    if (dir.entries().size() < 3)
        GTEST_SKIP() << "the file system keeps one entry whatever the case of its name";
    EXPECT_EQ(LookUpDayFile(DataFilePath(Day(), 5)).path, DataFilePath(Day(), 5));
}

TEST(IsFileAbsent, MissingWorkingDirectoryMakesEveryFileAbsent)
{
    JapaneseDay day;
    WorkDir dir;
    dir.write(DataName(0), "x");
    const QString elsewhere = dir.file(DataName(0));
    dir.makeDir("gone");
    ASSERT_TRUE(QDir::setCurrent(dir.file("gone")));
    if (!CanRemoveCurrentFolder())
        GTEST_SKIP() << "this system does not remove a process's current folder";
    ASSERT_TRUE(QDir(dir.path()).rmdir("gone"));

    EXPECT_TRUE(WorkingDirectory().isEmpty());
    // Even a file that exists elsewhere is absent while the working directory is gone.
    EXPECT_TRUE(IsFileAbsent(elsewhere));
    EXPECT_EQ(LookUpDayFile(elsewhere).result, platform::EntryLookup::Result::Absent);
}
