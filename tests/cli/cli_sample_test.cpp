// The shipped sample day (samples/) through the command-line front end, as
// scripts/run-sample runs it.

#include "cli_data.h"

#include <QDir>
#include <QFile>

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

} // namespace
