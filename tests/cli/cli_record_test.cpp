// save, open and print --raw end to end: the record file's bytes, the
// last-update line, reloading, case-insensitive names, locales.

#include "cli_data.h"

#include <QDate>
#include <QLocale>

#include <gtest/gtest.h>

using namespace testsupport;

namespace {


TEST(CliRecord, OpenWithoutRecordFileIsAMessage)
{
    DayDir dir;
    const CliResult r = RunDay(dir, {QStringLiteral("open"), QStringLiteral("print")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.errText(), QStringLiteral("欠席連絡記録ファイルはありません！\n"));
    EXPECT_TRUE(r.out.isEmpty());
}

TEST(CliRecord, SaveWritesTheListWithALastUpdateLineAndCrLf)
{
    DayDir dir;
    writeMorning(dir);
    const CliResult r = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("time"), QStringLiteral("save")});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.errText(), QStringLiteral("保存しました！\n"));
    EXPECT_TRUE(r.out.isEmpty());
    // The new last-update line is Added: the collation puts kanji after the
    // "*" and "#" lines, so it lands last.
    QStringList expected = morningByTime();
    expected << StampText();
    EXPECT_EQ(dir.read(RecordName()), SjLines(expected, "\r\n"));
    // Nothing else left behind (no temporary file).
    EXPECT_EQ(dir.entries().size(), 5);
}

TEST(CliRecord, RawPrintAfterSaveEqualsTheRecordFile)
{
    DayDir dir;
    writeMorning(dir);
    const CliResult r = RunDay(dir, {QStringLiteral("--raw"), QStringLiteral("collect"), QStringLiteral("class"),
                                     QStringLiteral("save"), QStringLiteral("print")});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    ASSERT_FALSE(r.out.isEmpty());
    EXPECT_EQ(r.out, dir.read(RecordName()));
}

TEST(CliRecord, SaveThenOpenReloadsInCollationOrder)
{
    DayDir dir;
    writeMorning(dir);
    const CliResult collated = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("print")});
    ASSERT_EQ(RunDay(dir, {QStringLiteral("collect"), QStringLiteral("time"), QStringLiteral("save")}).exitCode, 0);

    const CliResult reopened = RunDay(dir, {QStringLiteral("open"), QStringLiteral("print")});
    ASSERT_EQ(reopened.exitCode, 0) << reopened.err.constData();
    EXPECT_TRUE(reopened.err.isEmpty()) << reopened.err.constData();
    QStringList expected = collated.outLines();
    expected << StampText();
    EXPECT_EQ(reopened.outLines(), expected);
}

TEST(CliRecord, ASecondSaveAfterTimeOrderReplacesTheLastUpdateLineInPlace)
{
    DayDir dir;
    writeMorning(dir);
    ASSERT_EQ(RunDay(dir, {QStringLiteral("collect"), QStringLiteral("save")}).exitCode, 0);
    // open puts the last-update line last (collation); time moves it to index
    // 0 (key 0); the save then replaces it in place: same number of lines.
    const CliResult r = RunDay(dir, {QStringLiteral("--raw"), QStringLiteral("open"), QStringLiteral("time"),
                                     QStringLiteral("save"), QStringLiteral("print")},
                               At(10, 45, 30));
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    QStringList expected{StampText(QStringLiteral("10:45:30"))};
    expected << morningByTime();
    EXPECT_EQ(dir.read(RecordName()), SjLines(expected, "\r\n"));
    EXPECT_EQ(r.out, dir.read(RecordName()));
}

TEST(CliRecord, SaveWithoutTimeOrderAddsAnotherLastUpdateLine)
{
    DayDir dir;
    writeMorning(dir);
    ASSERT_EQ(RunDay(dir, {QStringLiteral("collect"), QStringLiteral("save")}).exitCode, 0);
    const CliResult r = RunDay(dir, {QStringLiteral("open"), QStringLiteral("save")},
                               At(10, 45, 30));
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QList<QByteArray> lines = dir.read(RecordName()).split('\n');
    EXPECT_EQ(lines.size(), 10 + 2 + 1); // ten lines, two last-update lines, end
    EXPECT_TRUE(dir.read(RecordName()).contains(StampLine() + "\r\n"));
    EXPECT_TRUE(dir.read(RecordName()).contains(StampLine(QStringLiteral("10:45:30")) + "\r\n"));
}

TEST(CliRecord, SaveAtMidnightWritesTheDateAlone)
{
    DayDir dir;
    writeMorning(dir);
    const CliResult r = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("time"), QStringLiteral("save")},
                               At(0, 0));
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(dir.read(RecordName()).endsWith(Sj(QStringLiteral("\r\n最終更新：2026/12/08\r\n"))))
        << dir.read(RecordName()).constData();
}

TEST(CliRecord, SaveOneSecondAfterMidnightKeepsTheTime)
{
    DayDir dir;
    writeMorning(dir);
    ASSERT_EQ(RunDay(dir, {QStringLiteral("collect"), QStringLiteral("save")},
                     At(0, 0, 1)).exitCode, 0);
    EXPECT_TRUE(dir.read(RecordName()).endsWith(Sj(QStringLiteral("\r\n最終更新：2026/12/08 0:00:01\r\n"))));
}

TEST(CliRecord, OpenReadsLfOnlyAndMixedRecordFiles)
{
    DayDir crlf, lf;
    crlf.writeLines(RecordName(), {B, A, QStringLiteral("最終更新：2026/12/07 17:00:00")}, "\r\n");
    lf.writeLines(RecordName(), {B, A, QStringLiteral("最終更新：2026/12/07 17:00:00")}, "\n");
    const CliResult a = RunDay(crlf, {QStringLiteral("--raw"), QStringLiteral("open"), QStringLiteral("print")});
    const CliResult b = RunDay(lf, {QStringLiteral("--raw"), QStringLiteral("open"), QStringLiteral("print")});
    ASSERT_EQ(b.exitCode, 0) << b.err.constData();
    EXPECT_EQ(a.out, b.out);
    EXPECT_EQ(b.out, SjLines({A, B, QStringLiteral("最終更新：2026/12/07 17:00:00")}, "\r\n"));
}

TEST(CliRecord, OpenKeepsAnEmptyLineAsAnEntryFirst)
{
    DayDir dir;
    dir.write(RecordName(), Sj(B) + "\r\n\r\n" + Sj(A) + "\r\n");
    const CliResult r = RunDay(dir, {QStringLiteral("--raw"), QStringLiteral("open"), QStringLiteral("print")});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "\r\n" + SjLines({A, B}, "\r\n"));
}

TEST(CliRecord, RecordFileNameMatchesWithoutRegardToCase)
{
    DayDir dir;
    writeMorning(dir);
    const QString lower = DayFile(QStringLiteral("a.txt"));
    dir.writeLines(lower, {QStringLiteral("*06:00:00 1-1=古い記録")});
    const CliResult opened = RunDay(dir, {QStringLiteral("open"), QStringLiteral("print")});
    ASSERT_EQ(opened.exitCode, 0) << opened.err.constData();
    EXPECT_EQ(opened.outLines(), QStringList{QStringLiteral("*06:00:00 1-1=古い記録")});

    const CliResult saved = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("time"), QStringLiteral("save")});
    ASSERT_EQ(saved.exitCode, 0) << saved.err.constData();
    EXPECT_FALSE(dir.entries().contains(RecordName())) << dir.entries().join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(dir.entries().contains(lower));
    QStringList expected = morningByTime();
    expected << StampText();
    EXPECT_EQ(dir.read(lower), SjLines(expected, "\r\n"));
}

TEST(CliRecord, CLocaleUsesTheFallBackShortDate)
{
    // m/d/yy with "/": tag 12-8-26, last-update date 12/8/26.
    DayDir dir;
    writeMorning(dir, QStringLiteral("12-8-26"));
    const CliResult r = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("time"), QStringLiteral("save"),
                                     QStringLiteral("print")},
                               DefaultNow(), QStringLiteral("C"));
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    QStringList expected = morningByTime();
    expected << QStringLiteral("最終更新：12/8/26 9:30:00");
    EXPECT_EQ(r.outLines(), expected);
    EXPECT_EQ(dir.read(QStringLiteral("12-8-26A.TXT")), SjLines(expected, "\r\n"));
    // Messages stay UTF-8 whatever the locale.
    EXPECT_EQ(r.errText(), QStringLiteral("保存しました！\n"));
}

TEST(CliRecord, JapaneseLocaleWithoutUtf8SuffixStillGivesTheJapaneseTag)
{
    DayDir dir;
    writeMorning(dir);
    const CliResult r = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("time"), QStringLiteral("print")},
                               DefaultNow(), QStringLiteral("ja_JP"));
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.outLines(), morningByTime());
}

TEST(CliRecord, LongLinesAndNulBytesSurviveSaveAndOpen)
{
    DayDir dir;
    const QByteArray longLine = Sj(QStringLiteral("*07:00:00 1-1=") + QString(6000, QChar(0x3042)));
    ASSERT_GT(longLine.size(), 12000);
    // An entry ends at its first NUL byte.
    dir.write(DataName(0), longLine + "\r\n*07:01:00 1-2=x" + QByteArray(1, '\0') + "yz\r\n");
    const CliResult saved = RunDay(dir, {QStringLiteral("--raw"), QStringLiteral("collect"), QStringLiteral("save"),
                                         QStringLiteral("print")});
    ASSERT_EQ(saved.exitCode, 0) << saved.err.constData();
    const QByteArray expected = longLine + "\r\n*07:01:00 1-2=x\r\n" +
                                StampLine() + "\r\n";
    EXPECT_EQ(dir.read(RecordName()), expected);
    EXPECT_EQ(saved.out, expected);
    const CliResult reopened = RunDay(dir, {QStringLiteral("--raw"), QStringLiteral("open"), QStringLiteral("print")});
    ASSERT_EQ(reopened.exitCode, 0) << reopened.err.constData();
    EXPECT_EQ(reopened.out, expected);
}


} // namespace
