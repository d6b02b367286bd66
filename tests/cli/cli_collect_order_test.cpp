// collect, time, class and print end to end: the orders printed, the data-file
// reading rules (line ends, Ctrl-Z, empty lines, hour padding, file names).

#include "cli_data.h"
#include "services.h"

#include <QStringEncoder>
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

// `sub` appears in `all` in this order (other lines may come between).
bool isSubsequence(const QStringList &sub, const QStringList &all)
{
    qsizetype at = 0;
    for (const QString &line : sub) {
        at = all.indexOf(line, at);
        if (at < 0)
            return false;
        ++at;
    }
    return true;
}

TEST(CliCollect, CollectPrintsEveryLineInCollationOrder)
{
    DayDir dir;
    writeMorning(dir);
    const CliResult r = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("print")});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.constData();
    const QStringList printed = r.outLines();
    ASSERT_EQ(printed.size(), 10);
    QStringList sortedPrinted = printed, sortedAll = morningByTime();
    sortedPrinted.sort();
    sortedAll.sort();
    EXPECT_EQ(sortedPrinted, sortedAll);
    EXPECT_TRUE(isSubsequence(morningStarLinesCollated(), printed)) << r.out.constData();
    EXPECT_TRUE(isSubsequence({G, D}, printed)) << r.out.constData();
    EXPECT_TRUE(r.out.endsWith('\n'));
    EXPECT_FALSE(r.out.contains('\r'));
}

TEST(CliCollect, FilesSavedAsUtf8OrUtf16GiveTheSameMorning)
{
    DayDir dir;
    writeMorning(dir);
    // A1 as today's Notepad saves it, A3 with a byte order mark, A9 in UTF-16.
    for (const auto &[digit, mark] : {std::pair{1, ""}, {3, "\xEF\xBB\xBF"}, {9, "\xFF\xFE"}}) {
        const QString name = DataName(digit);
        const QString text = absence::FromCp932(dir.read(name));
        dir.write(name, mark + (digit == 9 ? QStringEncoder(QStringEncoder::Utf16LE).encode(text) : text.toUtf8()));
    }
    const CliResult r = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("time"), QStringLiteral("print")});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.outLines(), morningByTime());
}

TEST(CliCollect, TimeOrder)
{
    DayDir dir;
    writeMorning(dir);
    const CliResult r = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("time"), QStringLiteral("print")});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.outLines(), morningByTime());
}

TEST(CliCollect, ClassOrderAfterTimeOrder)
{
    DayDir dir;
    writeMorning(dir);
    const CliResult r = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("time"),
                                     QStringLiteral("class"), QStringLiteral("print")});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.outLines(), morningByTimeThenClass());
}

TEST(CliCollect, ClassOrderIsAStableSortOfTheCollationOrder)
{
    DayDir dir;
    writeMorning(dir);
    const CliResult collated = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("print")});
    const CliResult byClass = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("class"), QStringLiteral("print")});
    ASSERT_EQ(byClass.exitCode, 0) << byClass.err.constData();
    EXPECT_EQ(printedAsSj(byClass), stableOrder(printedAsSj(collated), classKey));
    // Class 0 (no number) first, then grade 1, 2, 3.
    EXPECT_EQ(byClass.outLines().first(), J);
}

TEST(CliCollect, TimeTwiceEqualsTimeOnce)
{
    DayDir dir;
    writeMorning(dir);
    const CliResult once = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("class"),
                                        QStringLiteral("time"), QStringLiteral("print")});
    const CliResult twice = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("class"),
                                         QStringLiteral("time"), QStringLiteral("time"), QStringLiteral("print")});
    ASSERT_EQ(once.exitCode, 0);
    EXPECT_EQ(once.out, twice.out);
}

TEST(CliCollect, CollectAgainStartsFromAnEmptyList)
{
    DayDir dir;
    writeMorning(dir);
    const CliResult r = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("time"),
                                     QStringLiteral("collect"), QStringLiteral("collect"), QStringLiteral("print")});
    ASSERT_EQ(r.exitCode, 0);
    const CliResult once = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("print")});
    EXPECT_EQ(r.out, once.out);
}

TEST(CliCollect, NoDataFilesIsAMessageNotAnError)
{
    DayDir dir;
    writeMorning(dir, QStringLiteral("2026-12-07")); // another day
    const CliResult r = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("print")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.errText(), QStringLiteral("欠席記録データがありません\n"));
    EXPECT_TRUE(r.out.isEmpty());
}

TEST(CliCollect, PrintOfAnEmptyListPrintsNothing)
{
    DayDir dir;
    const CliResult r = RunDay(dir, {QStringLiteral("print")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.isEmpty());
}

TEST(CliCollect, RawPrintGivesCodePage932AndCrLf)
{
    DayDir dir;
    writeMorning(dir);
    const CliResult utf8 = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("time"), QStringLiteral("print")});
    const CliResult raw = RunDay(dir, {QStringLiteral("--raw"), QStringLiteral("collect"),
                                       QStringLiteral("time"), QStringLiteral("print")});
    ASSERT_EQ(raw.exitCode, 0);
    EXPECT_EQ(raw.out, SjLines(morningByTime(), "\r\n"));
    EXPECT_EQ(utf8.out, (morningByTime().join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
}

TEST(CliCollect, LfOnlyDataFilesGiveTheSameLines)
{
    DayDir crlf, lf, cr;
    writeMorning(crlf);
    writeMorning(lf, QLatin1String(kDay), "\n");
    writeMorning(cr, QLatin1String(kDay), "\r");
    const QStringList args{QStringLiteral("--raw"), QStringLiteral("collect"), QStringLiteral("time"),
                           QStringLiteral("print")};
    const CliResult a = RunDay(crlf, args);
    const CliResult b = RunDay(lf, args);
    const CliResult c = RunDay(cr, args);
    ASSERT_EQ(b.exitCode, 0);
    EXPECT_EQ(a.out, b.out);
    EXPECT_EQ(a.out, c.out);
    EXPECT_FALSE(b.out.contains("\n\n"));
    EXPECT_EQ(b.out.count('\n'), 10);
}

TEST(CliCollect, CtrlZEndsAFileButLaterFilesAreRead)
{
    DayDir dir;
    dir.write(DataName(0),
              SjLines({QStringLiteral("*7:00:00 1-1=読む")}) + "\x1a" +
                  SjLines({QStringLiteral("*7:01:00 1-1=読まない")}));
    dir.write(DataName(1),
              Sj(QStringLiteral("*7:02:00 1-1=前")) + "\x1a" + Sj(QStringLiteral("後")) + "\r\n");
    dir.writeLines(DataName(2), {QStringLiteral("*7:03:00 1-1=次のファイル")});
    const CliResult r = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("print")});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.outLines(), (QStringList{QStringLiteral("*07:00:00 1-1=読む"),
                                         QStringLiteral("*07:02:00 1-1=前"),
                                         QStringLiteral("*07:03:00 1-1=次のファイル")}));
}

TEST(CliCollect, EmptyLinesAreSkippedAndALastLineWithoutEndCounts)
{
    DayDir dir;
    dir.write(DataName(0),
              "\r\n\r\n" + Sj(QStringLiteral("*7:00:00 1-1=一")) + "\r\n\r\n\n\r" +
                  Sj(QStringLiteral("*7:10:00 1-1=二")));
    dir.write(DataName(1), "\r\n\r\n\r\n");
    const CliResult r = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("print")});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.outLines(), (QStringList{QStringLiteral("*07:00:00 1-1=一"),
                                         QStringLiteral("*07:10:00 1-1=二")}));
}

TEST(CliCollect, HourPaddingLooksOnlyAtTheFirstColon)
{
    DayDir dir;
    dir.writeLines(DataName(0),
                   {QStringLiteral("*9:05:00 1-1=あ"), QStringLiteral("*10:05:00 1-1=い"),
                    QStringLiteral("12:3 う"), QStringLiteral("コロンなし")});
    const CliResult r = RunDay(dir, {QStringLiteral("--raw"), QStringLiteral("collect"), QStringLiteral("print")});
    ASSERT_EQ(r.exitCode, 0);
    QList<QByteArray> printed = r.out.split('\n');
    printed.removeAll(QByteArray());
    for (QByteArray &line : printed)
        line.chop(1); // CR
    QList<QByteArray> expected{Sj(QStringLiteral("*09:05:00 1-1=あ")), Sj(QStringLiteral("*10:05:00 1-1=い")),
                               Sj(QStringLiteral("102:3 う")), Sj(QStringLiteral("コロンなし"))};
    std::sort(printed.begin(), printed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(printed, expected);
}

TEST(CliCollect, SameLineInTwoFilesGivesTwoEntries)
{
    DayDir dir;
    dir.writeLines(DataName(0), {QStringLiteral("*7:00:00 1-1=同じ")});
    dir.writeLines(DataName(5), {QStringLiteral("*07:00:00 1-1=同じ")});
    const CliResult r = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("print")});
    EXPECT_EQ(r.outLines(), (QStringList{QStringLiteral("*07:00:00 1-1=同じ"), QStringLiteral("*07:00:00 1-1=同じ")}));
}

TEST(CliCollect, OnlyDigitsZeroToNineOfTheDayAreRead)
{
    DayDir dir;
    dir.writeLines(DayFile(QStringLiteral("A10.TXT")), {QStringLiteral("*7:00:00 1-1=十")});
    dir.writeLines(DayFile(QStringLiteral("A.TXT.bak")), {QStringLiteral("*7:00:00 1-1=控え")});
    dir.writeLines(QStringLiteral("2026-12-09A0.TXT"), {QStringLiteral("*7:00:00 1-1=翌日")});
    dir.writeLines(DataName(9), {QStringLiteral("*7:00:00 1-1=九")});
    const CliResult r = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("print")});
    EXPECT_EQ(r.outLines(), QStringList{QStringLiteral("*07:00:00 1-1=九")});
}

TEST(CliCollect, FileNamesMatchWithoutRegardToCase)
{
    DayDir dir;
    dir.writeLines(DayFile(QStringLiteral("a3.txt")), {QStringLiteral("*7:00:00 1-1=小文字")});
    dir.writeLines(DayFile(QStringLiteral("A4.txt")), {QStringLiteral("*7:01:00 1-1=混在")});
    const CliResult r = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("print")});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.outLines(), (QStringList{QStringLiteral("*07:00:00 1-1=小文字"), QStringLiteral("*07:01:00 1-1=混在")}));
}

TEST(CliCollect, InvalidCodePage932BytesAreKeptAndShownAsReplacement)
{
    DayDir dir;
    const QByteArray line = "*07:00:00 1-1=\xff\xfd" + Sj(QStringLiteral("名前"));
    dir.write(DataName(0), line + "\r\n");
    const CliResult raw = RunDay(dir, {QStringLiteral("--raw"), QStringLiteral("collect"), QStringLiteral("print")});
    EXPECT_EQ(raw.out, line + "\r\n");
    const CliResult text = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("print")});
    EXPECT_TRUE(text.out.contains("\xEF\xBF\xBD")) << text.out.toHex().constData();
    EXPECT_TRUE(text.out.endsWith(QStringLiteral("名前\n").toUtf8()));
}

TEST(CliCollect, DefaultsAreTheCurrentDirectoryAndTheClocksDay)
{
    DayDir dir;
    writeMorning(dir);
    CliRun run;
    run.args = QStringList{QStringLiteral("collect"), QStringLiteral("time"), QStringLiteral("print")};
    run.workingDirectory = dir.path();
    run.now = At(23, 59, 59);
    const CliResult r = RunCli(run);
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.outLines(), morningByTime());

    run.now = At(0, 0, 0, 0, Day().addDays(1));
    run.args = QStringList{QStringLiteral("collect"), QStringLiteral("print")};
    const CliResult nextDay = RunCli(run);
    EXPECT_EQ(nextDay.exitCode, 0);
    EXPECT_TRUE(nextDay.out.isEmpty());
    EXPECT_EQ(nextDay.errText(), QStringLiteral("欠席記録データがありません\n"));
}

} // namespace
