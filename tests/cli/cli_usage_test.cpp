// Usage errors (exit 2, usage text on standard error, no command run) and
// --help (exit 0, usage text on standard output).

#include "cli_data.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

// A day directory with data files, so that a command that did run would leave
// traces (a record file, printed lines).
class CliUsage : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        writeMorning(dir);
        before = dir.entries();
    }

    void expectUsageError(const QStringList &args)
    {
        SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
        CliRun run;
        run.args = args;
        run.workingDirectory = dir.path();
        const CliResult r = RunCli(run);
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.out.isEmpty()) << r.out.constData();
        EXPECT_TRUE(r.errText().contains(QLatin1String("Usage: absence-collector-cli")))
            << r.err.constData();
        EXPECT_EQ(dir.entries(), before) << "a command ran";
    }

    DayDir dir;
    QStringList before;
};

TEST_F(CliUsage, NoArgumentsIsAUsageError)
{
    expectUsageError({});
}

TEST_F(CliUsage, OptionsWithoutCommandIsAUsageError)
{
    expectUsageError({QStringLiteral("--dir"), dir.path(), QStringLiteral("--date"),
                      QLatin1String(kDay), QStringLiteral("--raw")});
}

TEST_F(CliUsage, UnknownCommandStopsEverything)
{
    // collect and save come first but must not run.
    expectUsageError({QStringLiteral("--date"), QLatin1String(kDay), QStringLiteral("collect"),
                      QStringLiteral("save"), QStringLiteral("sort"), QStringLiteral("print")});
}

TEST_F(CliUsage, CommandsAreCaseSensitive)
{
    expectUsageError({QStringLiteral("collect"), QStringLiteral("SAVE")});
}

TEST_F(CliUsage, UnknownOptionIsAUsageError)
{
    expectUsageError({QStringLiteral("--fast"), QStringLiteral("collect"), QStringLiteral("save")});
    expectUsageError({QStringLiteral("-r"), QStringLiteral("collect"), QStringLiteral("save")});
}

TEST_F(CliUsage, OptionAfterACommandIsAUsageError)
{
    expectUsageError({QStringLiteral("collect"), QStringLiteral("save"), QStringLiteral("--raw"),
                      QStringLiteral("print")});
}

TEST_F(CliUsage, MissingOptionValueIsAUsageError)
{
    expectUsageError({QStringLiteral("--date")});
    expectUsageError({QStringLiteral("collect"), QStringLiteral("--dir")});
    expectUsageError({QStringLiteral("--dir")});
}

TEST_F(CliUsage, InvalidDatesAreUsageErrors)
{
    for (const char *date : {"2026-13-01", "2026-02-30", "2026-12-32", "2026-00-10", "26-12-08",
                             "2026/12/08", "2026-1-8", "20261208", "2026-12-08x", "", "today",
                             "２０２６-12-08"}) {
        expectUsageError({QStringLiteral("--date"), QString::fromUtf8(date), QStringLiteral("collect"),
                          QStringLiteral("save")});
    }
}

TEST_F(CliUsage, MissingDirectoryIsAUsageError)
{
    expectUsageError({QStringLiteral("--dir"), dir.file(QStringLiteral("no-such-dir")),
                      QStringLiteral("collect"), QStringLiteral("save")});
}

TEST_F(CliUsage, DirThatIsAFileIsAUsageError)
{
    dir.write(QStringLiteral("plain-file"), "x");
    before = dir.entries();
    expectUsageError({QStringLiteral("--dir"), dir.file(QStringLiteral("plain-file")),
                      QStringLiteral("collect"), QStringLiteral("save")});
}

TEST_F(CliUsage, BadFixedClockIsAUsageError)
{
    CliRun run;
    run.args = QStringList{QStringLiteral("collect"), QStringLiteral("save")};
    run.workingDirectory = dir.path();
    run.nowText = QStringLiteral("yesterday");
    const CliResult r = RunCli(run);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.errText().contains(QLatin1String("ABSENCE_FIXED_NOW")));
    EXPECT_EQ(dir.entries(), before);
}

TEST(CliHelp, HelpPrintsUsageOnStandardOutput)
{
    for (const char *flag : {"--help", "-h"}) {
        SCOPED_TRACE(flag);
        const CliResult r = RunCli({QLatin1String(flag)});
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_TRUE(r.err.isEmpty());
        const QString text = QString::fromUtf8(r.out);
        EXPECT_TRUE(text.startsWith(QLatin1String("Usage: absence-collector-cli [--dir DIR] "
                                                  "[--date YYYY-MM-DD] [--raw] [--utf8] [--quiet] COMMAND...")));
        for (const char *word : {"open", "collect", "time", "class", "save", "print", "csv FILE", "summary", "--dir",
                                 "--date", "--raw", "--utf8", "-q, --quiet", "--help", "--version", "ABSENCE_FIXED_NOW"})
            EXPECT_TRUE(text.contains(QLatin1String(word))) << word;
#ifdef ABSENCE_CLI_PDF
        EXPECT_TRUE(text.contains(QLatin1String("pdf FILE")));
        EXPECT_TRUE(text.contains(QLatin1String("sheet FILE")));
#endif
    }
}

TEST(CliHelp, VersionPrintsNameAndVersionAndRunsNothing)
{
    DayDir dir;
    writeMorning(dir);
    const QStringList before = dir.entries();
    const CliResult r = RunCli({QStringLiteral("--dir"), dir.path(), QStringLiteral("--version"),
                                QStringLiteral("collect"), QStringLiteral("save")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, QByteArrayLiteral("absence-collector-cli 1.3.0\n"));
    EXPECT_TRUE(r.err.isEmpty());
    EXPECT_EQ(dir.entries(), before);
}

TEST(CliHelp, HelpWinsOverCommandsAndRunsNothing)
{
    DayDir dir;
    writeMorning(dir);
    const QStringList before = dir.entries();
    // Wherever it stands: before the commands, among them, after an unknown
    // option, or where an option's value was due.
    const QList<QStringList> runs{
        {QStringLiteral("--dir"), dir.path(), QStringLiteral("--help"), QStringLiteral("collect"), QStringLiteral("save")},
        {QStringLiteral("--dir"), dir.path(), QStringLiteral("collect"), QStringLiteral("-h"), QStringLiteral("save")},
        {QStringLiteral("--bogus"), QStringLiteral("--help")},
        {QStringLiteral("--help"), QStringLiteral("--dir")},
    };
    for (const QStringList &args : runs) {
        SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_TRUE(r.err.isEmpty()) << r.err.constData();
        EXPECT_TRUE(QString::fromUtf8(r.out).startsWith(QLatin1String("Usage:")));
        EXPECT_EQ(dir.entries(), before);
    }
}

} // namespace
