// Output the system refuses: a full device, a pipe whose reader is gone.

#include "support.h"

#include <QFileInfo>
#include <gtest/gtest.h>

using namespace testsupport;

TEST(CliErrors, OutputThatCannotBeWrittenIsTheWriteError)
{
    if (!QFileInfo::exists(QStringLiteral("/dev/full")))
        GTEST_SKIP() << "needs /dev/full and true(1) to make output fail";
    DayDir dir;
    // More than a pipe holds, so the closed pipe is met whatever the timing.
    QStringList lines;
    for (int i = 0; i < 3000; ++i)
        lines << QStringLiteral("*%1:%2:00 %3-1=欠席の連絡").arg(7 + i % 3).arg(i % 60, 2, 10, QLatin1Char('0')).arg(1 + i % 6);
    dir.writeLines(DataName(0), lines);
    for (const bool full : {true, false}) {
        CliRun run;
        run.workingDirectory = dir.path();
        run.args = QStringList{QStringLiteral("--date"), QLatin1String(kDay), QStringLiteral("collect"),
                               QStringLiteral("print"), QStringLiteral("save")};
        if (full)
            run.standardOutputFile = QStringLiteral("/dev/full");
        else
            run.closeStandardOutput = true;
        const CliResult r = RunCli(run);
        EXPECT_EQ(r.exitCode, 1) << (full ? "a full disk" : "a closed pipe");
        EXPECT_EQ(r.errText(), QStringLiteral("ｽﾄﾘｰﾑへの書き込みｴﾗｰ.\n"));
        EXPECT_FALSE(dir.exists(RecordName())) << "save after the failed print must not run";
    }
}
