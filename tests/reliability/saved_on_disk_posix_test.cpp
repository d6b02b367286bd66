// Saves that report success only once the record is on the disk, and that
// work in a container without /proc: watched with strace, run in a mount
// namespace of their own.

#include "day_data.h"

#include <gtest/gtest.h>

#include <QStandardPaths>

#include <unistd.h>

using namespace testsupport;

TEST(CrashSafeSave, SavedIsReportedOnlyOnceTheFolderIsOnTheDisk)
{
    const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    if (strace.isEmpty())
        GTEST_SKIP() << "needs strace";
    DayDir dir;
    ASSERT_TRUE(dir.isValid());
    WriteDay(dir, 2, 50);
    const QString trace = dir.file(QStringLiteral("trace.txt"));
    CliRun options;
    options.wrapper = QStringList{strace, QStringLiteral("-f"), QStringLiteral("-o"), trace,
                                  QStringLiteral("-e"), QStringLiteral("trace=rename,renameat,renameat2,fsync,write")};
    options.args = DayArgs(dir.path(), {QStringLiteral("collect"), QStringLiteral("save")});
    const CliResult run = RunCli(options);
    ASSERT_EQ(run.exitCode, 0) << run.errText().toStdString();
    // The rename, then the folder synced, then the message.
    const QList<QByteArray> calls = ReadFile(trace).split('\n');
    auto first = [&](const char *what) {
        for (qsizetype i = 0; i < calls.size(); ++i)
            if (calls[i].contains(what))
                return i;
        return qsizetype(-1);
    };
    const qsizetype renamed = first(RecordName().toUtf8().constData());
    const qsizetype synced = first("fsync(");
    const qsizetype told = first("write(2,");
    ASSERT_GE(renamed, 0) << ReadFile(trace).toStdString();
    EXPECT_GT(synced, renamed) << "the folder is synced after the rename";
    EXPECT_GT(told, synced) << "the operator is told only after the sync";
}

TEST(CrashSafeSave, SavesWithoutProc)
{
    const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
    if (unshare.isEmpty() || ::geteuid() != 0)
        GTEST_SKIP() << "unmounting /proc for one run needs root and unshare(1)";
    // The sanitizers read their options through /proc: without it a
    // sanitizer build cannot be told to leave out its leak check.
    if (qEnvironmentVariableIsSet("ASAN_OPTIONS"))
        GTEST_SKIP() << "a sanitizer build needs /proc for its options";
    DayDir dir;
    ASSERT_TRUE(dir.isValid());
    WriteDay(dir, 2, 50);
    // /proc unmounted in a mount namespace of the run's own, as in some containers.
    CliRun options;
    options.wrapper = QStringList{unshare, QStringLiteral("--mount"), QStringLiteral("--propagation"),
                                  QStringLiteral("private"), QStringLiteral("sh"), QStringLiteral("-c"),
                                  QStringLiteral("umount -l /proc && test ! -e /proc/self && exec \"$0\" \"$@\"")};
    options.args = DayArgs(dir.path(), {QStringLiteral("collect"), QStringLiteral("save")});
    const CliResult run = RunCli(options);
    ASSERT_EQ(run.exitCode, 0) << run.errText().toStdString();
    const QList<QByteArray> lines = SplitCrLf(dir.read(RecordName()));
    EXPECT_EQ(lines.size(), 101);
    EXPECT_EQ(dir.entries().size(), 3) << dir.entries().join(QLatin1Char(' ')).toStdString();
}
