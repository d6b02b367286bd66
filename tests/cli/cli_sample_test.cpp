// The shipped sample day (samples/) through the command-line front end, as
// scripts/run-sample runs it.

#include "cli_data.h"
#include "services.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

class CliSample : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        const QDir samples(QStringLiteral(ABSENCE_SOURCE_DIR "/samples"));
        const QStringList names = samples.entryList(QDir::Files);
        ASSERT_FALSE(names.isEmpty());
        ASSERT_LE(names.size(), 10);
        for (const QString &name : names) {
            ASSERT_TRUE(name.startsWith(DayFile(QStringLiteral("A"))) && name.endsWith(QLatin1String(".TXT")))
                << name.toStdString();
            ASSERT_TRUE(QFile::copy(samples.filePath(name), dir.file(name)));
        }
    }

    CliResult run(const QStringList &commands) { return RunDay(dir, commands); }

    DayDir dir;
};

TEST_F(CliSample, RunSampleCommandGathersTheMorningInTimeOrder)
{
    const CliResult r = run({QStringLiteral("open"), QStringLiteral("collect"), QStringLiteral("time"),
                             QStringLiteral("print")});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.errText(), QStringLiteral("欠席連絡記録ファイルはありません！\n"));
    const QList<QByteArray> lines = printedAsSj(r);
    EXPECT_GE(lines.size(), 40);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        EXPECT_FALSE(lines[i].isEmpty());
        EXPECT_EQ(lines[i].indexOf(':'), 3) << "hour padded: " << lines[i].constData();
        EXPECT_FALSE(lines[i].contains('\x1a'));
        if (i > 0) {
            EXPECT_LE(timeKey(lines[i - 1]), timeKey(lines[i]));
        }
    }
    EXPECT_FALSE(r.outLines().join(QLatin1Char('\n')).contains(QStringLiteral("読まれません")))
        << "bytes after the Ctrl-Z must not be read";
}

TEST_F(CliSample, BothOrdersAreStableSortsAndDifferFromTheCollationOrder)
{
    const CliResult collated = run({QStringLiteral("collect"), QStringLiteral("print")});
    const CliResult byTime = run({QStringLiteral("collect"), QStringLiteral("time"), QStringLiteral("print")});
    const CliResult byClass = run({QStringLiteral("collect"), QStringLiteral("class"), QStringLiteral("print")});
    ASSERT_EQ(byClass.exitCode, 0);
    const QList<QByteArray> base = printedAsSj(collated);
    EXPECT_EQ(printedAsSj(byTime), stableOrder(base, timeKey));
    EXPECT_EQ(printedAsSj(byClass), stableOrder(base, classKey));
    EXPECT_NE(byTime.out, collated.out);
    EXPECT_NE(byClass.out, collated.out);
    EXPECT_NE(byClass.out, byTime.out);
}

TEST_F(CliSample, SaveAndReopenTheSampleDay)
{
    const CliResult saved = run({QStringLiteral("--raw"), QStringLiteral("collect"), QStringLiteral("time"),
                                 QStringLiteral("save"), QStringLiteral("print")});
    ASSERT_EQ(saved.exitCode, 0) << saved.err.constData();
    EXPECT_EQ(saved.out, dir.read(RecordName()));
    const CliResult again = run({QStringLiteral("--raw"), QStringLiteral("open"), QStringLiteral("time"),
                                 QStringLiteral("save"), QStringLiteral("print")});
    ASSERT_EQ(again.exitCode, 0) << again.err.constData();
    EXPECT_EQ(again.out, dir.read(RecordName()));
    EXPECT_EQ(again.out.count('\n'), saved.out.count('\n')) << "last-update line replaced in place";
    EXPECT_TRUE(again.out.startsWith(StampLine() + "\r\n"));
}

TEST_F(CliSample, SummaryAndCsvOfTheDay)
{
    // The tables, as counted by hand from the sample files.
    const CliResult summary = run({QStringLiteral("collect"), QStringLiteral("summary")});
    ASSERT_EQ(summary.exitCode, 0) << summary.err.constData();
    const QStringList tables = QString::fromUtf8(summary.out).split(QStringLiteral("\n\n"));
    ASSERT_EQ(tables.size(), 2);
    const QStringList kinds = tables[0].split(QLatin1Char('\n')), symptoms = tables[1].split(QLatin1Char('\n'));
    ASSERT_EQ(kinds.size(), 14);
    ASSERT_EQ(symptoms.size(), 15); // and the last line's end
    EXPECT_EQ(kinds.first(), QStringLiteral("クラス,欠席,遅刻,早退,出席停止,忌引,不明,計"));
    EXPECT_EQ(kinds.value(1), QStringLiteral("1-1,1,3,0,0,0,0,4"));
    EXPECT_EQ(kinds.value(5), QStringLiteral("2-1,2,1,0,1,0,0,4"));
    EXPECT_EQ(kinds.last(), QStringLiteral("計,26,16,1,1,0,0,44"));
    EXPECT_EQ(symptoms.first(), QStringLiteral("クラス,欠席者,発熱,頭痛,呼吸器症状,下痢・腹痛,嘔気・嘔吐,発疹,その他"));
    EXPECT_EQ(symptoms.value(5), QStringLiteral("2-1,3,0,0,1,0,0,0,2"));
    EXPECT_EQ(symptoms.value(13), QStringLiteral("計,27,8,2,5,5,2,0,5"));
    for (int row = 1; row < 13; ++row)
        EXPECT_EQ(symptoms[row].section(QLatin1Char(','), 0, 0), kinds[row].section(QLatin1Char(','), 0, 0));
    const CliResult raw = run({QStringLiteral("--raw"), QStringLiteral("collect"), QStringLiteral("summary")});
    EXPECT_EQ(raw.out, Sj(QString::fromUtf8(summary.out)).replace("\n", "\r\n"));

    // One row per line in the list's order, the file named from where the
    // program started; --utf8 the same text.
    const CliResult listed = run({QStringLiteral("collect"), QStringLiteral("class"), QStringLiteral("print")});
    CliRun csvRun;
    csvRun.args = DayArgs(dir.path(), {QStringLiteral("collect"), QStringLiteral("class"), QStringLiteral("csv"),
                                QStringLiteral("day.csv")});
    csvRun.workingDirectory = dir.path();
    ASSERT_EQ(RunCli(csvRun).exitCode, 0);
    csvRun.args = QStringList{QStringLiteral("--utf8")} + csvRun.args;
    csvRun.args.last() = QStringLiteral("day-utf8.csv");
    ASSERT_EQ(RunCli(csvRun).exitCode, 0);
    const QByteArray csv = dir.read(QStringLiteral("day.csv"));
    EXPECT_EQ(dir.read(QStringLiteral("day-utf8.csv")), "\xef\xbb\xbf" + absence::FromCp932(csv).toUtf8());
    const QList<QByteArray> rows = SplitCrLf(csv);
    ASSERT_EQ(rows.size(), listed.outLines().size() + 1);
    EXPECT_EQ(rows[0], Sj(QStringLiteral("日付,時刻,クラス,学年,組,番号,氏名,区分,出席簿,理由,症状,連絡者,記号,内容")));
    for (qsizetype i = 0; i < listed.outLines().size(); ++i) {
        const QByteArray line = Sj(listed.outLines()[i]);
        EXPECT_TRUE(rows[i + 1].startsWith("2026/12/08," + line.mid(1, 8) + ','));
        EXPECT_TRUE(rows[i + 1].endsWith(',' + line.mid(line.indexOf('=') + 1))) << rows[i + 1].constData();
    }
    EXPECT_EQ(rows[1], Sj(QStringLiteral("2026/12/08,07:21:47,1-4,1,4,29,木村 彩,遅刻,チ,歯科受診,,母,'@,"
                                         "29番 木村 彩 歯科受診のため遅刻（母より）")));
}

// What a poppler-utils tool prints about a PDF; empty when it failed.
[[maybe_unused]] QString Poppler(const QString &tool, const QStringList &args)
{
    QProcess process;
    process.start(tool, args);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0)
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

TEST_F(CliSample, PdfHoldsTheListInItsOrderWithTheFontsEmbedded)
{
#ifndef ABSENCE_CLI_PDF
    GTEST_SKIP() << "this build's front end has no pdf command (built without the windows)";
#else
    for (const char *tool : {"pdftotext", "pdffonts"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            GTEST_SKIP() << tool << " (poppler-utils) is not installed";
    }
    // A station's afternoon besides: a second page, and a line wider than one.
    QStringList afternoon{QStringLiteral("*13:00:00 3-3=40番 長文 太郎 ")
                          + QStringLiteral("熱が下がらないため明日も様子を見て連絡します。").repeated(6)};
    for (int minute = 1; minute <= 30; ++minute)
        afternoon << QStringLiteral("*13:%1:00 3-4=%1番 早退 花子 通院のため早退").arg(minute, 2, 10, QLatin1Char('0'));
    ASSERT_TRUE(dir.writeLines(DataName(9), afternoon));
    const QString pdf = dir.file(DayFile(QStringLiteral(".pdf")));
    const CliResult listed = run({QStringLiteral("collect"), QStringLiteral("class"), QStringLiteral("print")});
    const CliResult r = run({QStringLiteral("collect"), QStringLiteral("class"), QStringLiteral("pdf"), pdf});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(r.out.isEmpty() && r.err.isEmpty()) << r.err.constData();

    // Every line in the list's order, whole (wrapped pieces join up once the
    // blanks and line ends are gone); the header first.
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QString text = Poppler(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf,
                                                               QStringLiteral("-")})
                             .remove(blanks);
    EXPECT_TRUE(text.startsWith(QStringLiteral("設定日：2026/12/08"))) << text.left(40).toStdString();
    EXPECT_EQ(text.count(QStringLiteral("設定日：2026/12/08")), 2) << "a header on each page";
    EXPECT_TRUE(text.contains(QStringLiteral("1/2ページ")) && text.contains(QStringLiteral("2/2ページ")));
    qsizetype at = 0;
    for (QString line : listed.outLines()) {
        line.remove(blanks);
        at = text.indexOf(line, at);
        ASSERT_GE(at, 0) << "missing or out of order: " << line.toStdString();
        at += line.size();
    }

    // The sheet: the tables first, then each class under its heading, its
    // lines in the list's order.
    const QString sheet = dir.file(QStringLiteral("sheet.pdf"));
    ASSERT_EQ(run({QStringLiteral("collect"), QStringLiteral("class"), QStringLiteral("sheet"), sheet}).exitCode, 0);
    const QString sheetText = Poppler(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"),
                                                                    sheet, QStringLiteral("-")})
                                  .remove(blanks);
    EXPECT_TRUE(sheetText.startsWith(QStringLiteral("設定日：2026/12/08"))) << sheetText.left(40).toStdString();
    const qsizetype tables = sheetText.indexOf(QStringLiteral("欠席者の症状別"));
    const qsizetype heading = sheetText.indexOf(QStringLiteral("3-4計33（欠席2、遅刻1、早退30）"));
    EXPECT_GT(tables, sheetText.indexOf(QStringLiteral("区分別")));
    EXPECT_GT(heading, tables);
    at = heading;
    for (QString line : listed.outLines()) {
        if (!line.mid(10).startsWith(QStringLiteral("3-4")))
            continue;
        line.remove(blanks);
        at = sheetText.indexOf(line, at);
        ASSERT_GE(at, 0) << "missing or out of order in its class: " << line.toStdString();
    }

    // One row per font: name, type, encoding, then emb, sub, uni, object, generation.
    const QStringList rows = Poppler(QStringLiteral("pdffonts"), {pdf}).split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(2);
    ASSERT_FALSE(rows.isEmpty());
    for (const QString &row : rows) {
        const QStringList columns = row.split(blanks, Qt::SkipEmptyParts);
        ASSERT_GE(columns.size(), 6) << row.toStdString();
        EXPECT_EQ(columns[columns.size() - 5], QStringLiteral("yes")) << "not embedded: " << row.toStdString();
        EXPECT_TRUE(row.contains(QLatin1String("IPAPGothic"))) << "not the list's gothic face: " << row.toStdString();
    }
#endif
}

} // namespace
