// The system's errors end to end: exit 1, the error text with the error box's
// trailing "." rule on standard error, later commands not run, earlier work
// kept.

#include "cli_data.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

const QString IndexError0 = QStringLiteral("ﾘｽﾄのｲﾝﾃﾞｯｸｽが範囲を超えています (0)\n");
const QString AccessDenied = QStringLiteral("ﾌｧｲﾙへのｱｸｾｽが拒否されました.\n");

TEST(CliErrors, SaveOnAnEmptyListIsTheListIndexErrorWithoutDot)
{
    DayDir dir;
    const CliResult r = RunDay(dir, {QStringLiteral("save")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errText(), IndexError0);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(dir.entries().isEmpty()) << "no file may be written";
}

TEST(CliErrors, ReorderingAnEmptyListIsTheListIndexError)
{
    DayDir dir;
    for (const char *command : {"time", "class"}) {
        const CliResult r = RunDay(dir, {QString::fromLatin1(command), QStringLiteral("print")});
        EXPECT_EQ(r.exitCode, 1) << command;
        EXPECT_EQ(r.errText(), IndexError0) << command;
    }
}

TEST(CliErrors, ErrorTextsAreUtf8InEveryLocale)
{
    DayDir dir;
    for (const char *locale : {"C", "en_US.UTF-8", "de_DE.UTF-8", "ja_JP.UTF-8"}) {
        const CliResult r = RunDay(dir, {QStringLiteral("save")}, DefaultNow(), QString::fromLatin1(locale));
        EXPECT_EQ(r.exitCode, 1) << locale;
        EXPECT_EQ(r.errText(), IndexError0) << locale;
    }
}

TEST(CliErrors, CollectAfterNoDataThenSaveFails)
{
    DayDir dir;
    const CliResult r = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("save"), QStringLiteral("print")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errText(), QStringLiteral("欠席記録データがありません\n") + IndexError0);
}

TEST(CliErrors, DirectoryNamedLikeADataFileIsAccessDeniedWithDot)
{
    DayDir dir;
    dir.writeLines(DataName(0), {QStringLiteral("*7:00:00 1-1=零")});
    dir.makeDir(DataName(2));
    dir.writeLines(DataName(5), {QStringLiteral("*7:05:00 1-1=五")});
    const CliResult r = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("save"), QStringLiteral("print")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errText(), AccessDenied);
    EXPECT_TRUE(r.out.isEmpty()) << "print must not run";
    EXPECT_FALSE(dir.exists(RecordName())) << "save must not run";
}

TEST(CliErrors, CommandsAfterAnErrorDoNotRun)
{
    DayDir dir;
    writeMorning(dir);
    // save fails on the empty list; collect, save and print never run.
    const CliResult r = RunDay(dir, {QStringLiteral("save"), QStringLiteral("collect"), QStringLiteral("save"),
                                     QStringLiteral("print")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errText(), IndexError0);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_FALSE(dir.exists(RecordName()));
}

TEST(CliErrors, ASaveBeforeTheErrorStaysSaved)
{
    DayDir dir;
    writeMorning(dir);
    ASSERT_EQ(RunDay(dir, {QStringLiteral("collect"), QStringLiteral("save")}).exitCode, 0);
    dir.makeDir(DataName(4));
    const CliResult r = RunDay(dir, {QStringLiteral("--raw"), QStringLiteral("open"), QStringLiteral("time"),
                                     QStringLiteral("save"), QStringLiteral("collect"), QStringLiteral("print")},
                               At(11, 0));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errText(), QStringLiteral("保存しました！\n") + AccessDenied);
    EXPECT_TRUE(r.out.isEmpty());
    QStringList expected{StampText(QStringLiteral("11:00:00"))};
    expected << morningByTime();
    EXPECT_EQ(dir.read(RecordName()), SjLines(expected, "\r\n"));
}

TEST(CliErrors, RecordFileThatIsADirectoryCannotBeOpened)
{
    DayDir dir;
    dir.makeDir(RecordName());
    const CliResult r = RunDay(dir, {QStringLiteral("open"), QStringLiteral("print")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errText(), QStringLiteral("ﾌｧｲﾙ %1 は開けません.\n").arg(dir.file(RecordName())));
    EXPECT_TRUE(r.out.isEmpty());
}

TEST(CliErrors, RecordFileThatIsADirectoryCannotBeCreated)
{
    DayDir dir;
    writeMorning(dir);
    dir.makeDir(RecordName());
    const QStringList before = dir.entries();
    const CliResult r = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("save"), QStringLiteral("print")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errText(), QStringLiteral("ﾌｧｲﾙ %1 を作成できません.\n").arg(dir.file(RecordName())));
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(dir.entries(), before) << "no temporary file may be left behind";
    EXPECT_TRUE(QFileInfo(dir.file(RecordName())).isDir());
}

TEST(CliErrors, AnErrorBeforeSaveLeavesTheRecordFileAlone)
{
    DayDir dir;
    writeMorning(dir);
    ASSERT_EQ(RunDay(dir, {QStringLiteral("collect"), QStringLiteral("save")}).exitCode, 0);
    const QByteArray saved = dir.read(RecordName());
    // A data file turned into a directory: the collection stops, the list
    // holds what was read so far, and nothing reaches the record file.
    dir.makeDir(DataName(2));
    const CliResult r = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("save")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(dir.read(RecordName()), saved);
}

// A daily job's run with --quiet: nothing printed when all goes well or the
// day has no data (and then nothing written either); an error still is. A
// station that holds data file 1 open for writing delays the job, which
// tries again; without --quiet the run stops at once (a retry would outlast
// the watchdog).
enum class Hold { None, Moment, Throughout };

struct JobRun {
    const char *name;
    bool withData;
    QStringList commands;
    int exitCode;
    QString err;
    bool saves;
    Hold hold = Hold::None;
    int pauseMs = 5000; // between the job's tries
};

TEST(CliJob, QuietRunsAreSilentAndADayWithoutDataEndsWell)
{
    const QStringList job = {QStringLiteral("--quiet"), QStringLiteral("collect"), QStringLiteral("time"),
                             QStringLiteral("save")};
    const QString held = QStringLiteral("I/O ｴﾗｰ (32)\n");
    const std::vector<JobRun> runs = {
        {"no data", false, job, 0, QString(), false},
        {"no data, no record, later commands", false,
         {QStringLiteral("-q"), QStringLiteral("open"), QStringLiteral("collect"), QStringLiteral("class"),
          QStringLiteral("save"), QStringLiteral("print")}, 0, QString(), false},
        {"the morning", true, job, 0, QString(), true},
        {"an error", false, {QStringLiteral("--quiet"), QStringLiteral("save")}, 1, IndexError0, false},
        {"a station writing for a moment", true, job, 0, QString(), true, Hold::Moment, 400},
        {"a station writing throughout", true, job, 1, held, false, Hold::Throughout, 20},
        {"a station writing, not quiet", true, job.mid(1), 1, held, false, Hold::Throughout, 600000},
    };
    for (const JobRun &job : runs) {
        SCOPED_TRACE(job.name);
        DayDir dir;
        if (job.withData)
            writeMorning(dir);
        const QStringList before = dir.entries();
        CliRun run;
        run.args = DayArgs(dir.path(), job.commands);
#ifdef ABSENCE_CLI_PDF
        run.args << QStringLiteral("pdf") << dir.file(QStringLiteral("job.pdf"));
#endif
        run.environment = {QStringLiteral("ABSENCE_HELD_FILE_PAUSE_MS=%1").arg(job.pauseMs)};
        QFile writer(dir.file(DataName(1)));
        if (job.hold != Hold::None) {
            ASSERT_TRUE(writer.open(QIODevice::WriteOnly | QIODevice::Append));
        }
        CliProcess process(run);
        if (job.hold == Hold::Moment) {
            QThread::msleep(1000);
            writer.close();
        }
        const CliResult r = process.Wait(120000);
        writer.close();
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(r.exitCode, job.exitCode);
        EXPECT_EQ(r.errText(), job.err);
        EXPECT_TRUE(r.out.isEmpty()) << r.out.constData();
        if (job.saves) {
            EXPECT_EQ(SplitCrLf(dir.read(RecordName())).size(), 11);
        } else {
            EXPECT_EQ(dir.entries(), before) << "nothing may be written";
        }
    }
}

} // namespace
