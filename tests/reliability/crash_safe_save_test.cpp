// Saves that are killed, or that race each other, never leave a damaged
// record: the record file is always one complete version, byte for byte.

#include "day_data.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QStandardPaths>

#include <random>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>

using namespace testsupport;

namespace {

// Removes what a killed save may leave beside the record (its unfinished
// temporary file) and returns those names.
QStringList RemoveExtraEntries(const DayDir &dir, const QStringList &expected)
{
    QStringList extra;
    for (const QString &name : dir.entries()) {
        if (!expected.contains(name)) {
            extra.append(name);
            QFile::remove(dir.file(name));
        }
    }
    return extra;
}

// Watches a directory for the first event of one kind on one file in it: the
// save opens the old record just before it writes the new one (which has no
// name until it is complete, so nothing is created in the folder before
// that), and renames the new one over it before the folder is synced.
class FileWatch {
public:
    FileWatch(const QString &dir, const QString &name, uint32_t events) : m_name(QFile::encodeName(name))
    {
        m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_fd >= 0 && ::inotify_add_watch(m_fd, QFile::encodeName(dir).constData(), events) < 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~FileWatch()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool IsValid() const { return m_fd >= 0; }
    // Waits for the event or the end of the process; true on the event.
    // It spins rather than sleeps: the whole write takes about a millisecond.
    bool Wait(CliProcess &process)
    {
        alignas(inotify_event) char buf[4096];
        for (unsigned spin = 0;; ++spin) {
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            for (ssize_t at = 0; at < n;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buf + at);
                if (event->len > 0 && m_name == event->name)
                    return true;
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
            if (spin % 64 == 0 && process.Ended())
                return false;
        }
    }

private:
    QByteArray m_name;
    int m_fd = -1;
};

int EnvInt(const char *name, int fallback)
{
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok && v > 0 ? v : fallback;
}

} // namespace

TEST(CrashSafeSave, KilledSaveLeavesOldOrNewRecord)
{
    DayDir dir;
    ASSERT_TRUE(dir.isValid());
    WriteDay(dir, 10, 5000);

    // The new record, from a run that is not disturbed.
    const CliResult clean = RunCli(DayArgs(dir.path(), {QStringLiteral("collect"), QStringLiteral("save")}));
    ASSERT_EQ(clean.exitCode, 0) << clean.errText().toStdString();
    const QByteArray newRecord = dir.read(RecordName());
    ASSERT_EQ(SplitCrLf(newRecord).size(), 50001);
    QStringList expectedEntries = dir.entries();
    ASSERT_EQ(expectedEntries.size(), 11) << "a clean save left something behind: "
                                          << expectedEntries.join(QLatin1Char(' ')).toStdString();

    // The old record: an earlier, different version of the day.
    QByteArray oldRecord = Sj(QStringLiteral("最終更新：2026/12/07 17:45:10")) + "\r\n";
    for (quint32 n = 900000; n < 930000; ++n)
        oldRecord += AbsenceLine(n) + "\r\n";

    const int kills = EnvInt("ABSENCE_RELIABILITY_KILLS", 200);
    const double total = clean.seconds;
    std::mt19937 random(20261208);
    // A quarter at any moment of the run; half while the new record is
    // written: as soon as the save opens the old record, or up to 3 ms later;
    // a quarter as soon as the new record has replaced the old one, while the
    // folder is synced (on a loaded machine the kills by time alone may all
    // land before that).
    std::uniform_real_distribution<double> anywhere(0.0, total * 1.05);
    const double windows[] = {0.0, 0.003};

    int oldSeen = 0, newSeen = 0, finishedFirst = 0, leftovers = 0, duringWrite = 0;
    for (int i = 0; i < kills; ++i) {
        ASSERT_TRUE(WriteFile(dir.file(RecordName()), oldRecord));
        CliRun options;
        options.args = DayArgs(dir.path(), {QStringLiteral("collect"), QStringLiteral("save")});
        double delay;
        CliResult run;
        if (i % 4 == 0) {
            delay = anywhere(random);
            CliProcess process(options);
            std::this_thread::sleep_for(std::chrono::microseconds(qint64(delay * 1e6)));
            process.Kill();
            run = process.Wait();
        } else {
            const bool afterRename = i % 4 == 3;
            FileWatch watch(dir.path(), RecordName(), afterRename ? IN_MOVED_TO : IN_OPEN);
            ASSERT_TRUE(watch.IsValid());
            CliProcess process(options);
            delay = afterRename ? 0.0 : std::uniform_real_distribution<double>(0.0, windows[i % 4 - 1])(random);
            if (watch.Wait(process)) {
                std::this_thread::sleep_for(std::chrono::microseconds(qint64(delay * 1e6)));
                process.Kill();
                ++duringWrite;
            }
            run = process.Wait();
        }
        ASSERT_TRUE(run.started);
        if (!run.crashed)
            ++finishedFirst;
        else
            ASSERT_EQ(run.signal, SIGKILL);

        const QByteArray record = dir.read(RecordName());
        const bool isOld = record == oldRecord, isNew = record == newRecord;
        ASSERT_TRUE(isOld || isNew) << "kill " << i << " after " << delay
                                    << " s left a record of " << record.size() << " bytes";
        oldSeen += isOld;
        newSeen += isNew;
        const QStringList extra = RemoveExtraEntries(dir, expectedEntries);
        leftovers += int(extra.size());
        // Only a save cut short may leave its temporary file.
        if (!run.crashed) {
            EXPECT_TRUE(extra.isEmpty()) << extra.join(QLatin1Char(' ')).toStdString();
        }
        for (const QString &name : extra)
            EXPECT_FALSE(name.compare(RecordName(), Qt::CaseInsensitive) == 0);
    }
    Figure(QStringLiteral("%1 kills of a 50,000-line collect save (clean run %2 s), %3 of them "
                          "after the save opened or replaced the old record: record old %4 times, "
                          "new %5 times, never anything else; %6 runs finished before the kill; "
                          "%7 temporary files left by killed saves")
               .arg(kills).arg(total, 0, 'f', 2).arg(duringWrite).arg(oldSeen).arg(newSeen)
               .arg(finishedFirst).arg(leftovers));
    // The kills must have landed on both sides of the replacement.
    EXPECT_GT(oldSeen, 0);
    EXPECT_GT(newSeen, 0);
}

TEST(CrashSafeSave, ConcurrentSavesLeaveOneCompleteVersion)
{
    DayDir dir;
    ASSERT_TRUE(dir.isValid());
    WriteDay(dir, 10, 500);

    // Two versions of the day's record: ordered by time at 9:30:00, ordered by
    // class at 9:31:00.
    CliRun byTime, byClass;
    byTime.args = DayArgs(dir.path(), {QStringLiteral("collect"), QStringLiteral("time"), QStringLiteral("save")});
    byClass.args = DayArgs(dir.path(), {QStringLiteral("collect"), QStringLiteral("class"), QStringLiteral("save")});
    byClass.now = At(9, 31);
    ASSERT_EQ(RunCli(byTime).exitCode, 0);
    const QByteArray versionA = dir.read(RecordName());
    ASSERT_EQ(RunCli(byClass).exitCode, 0);
    const QByteArray versionB = dir.read(RecordName());
    ASSERT_NE(versionA, versionB);
    ASSERT_EQ(SplitCrLf(versionA).size(), 5001);
    const QStringList expectedEntries = dir.entries();

    // A save that finds the other one holding the record refuses to replace it.
    const QString refused = QStringLiteral("ﾌｧｲﾙ %1 を作成できません.\n").arg(dir.file(RecordName()));
    const int rounds = EnvInt("ABSENCE_RELIABILITY_RACES", 100);
    int aWon = 0, bWon = 0, refusals = 0;
    for (int i = 0; i < rounds; ++i) {
        CliProcess first(i % 2 ? byClass : byTime);
        CliProcess second(i % 2 ? byTime : byClass);
        for (const CliResult &r : {first.Wait(), second.Wait()}) {
            ASSERT_TRUE(r.exitCode == 0 || (r.exitCode == 1 && r.errText() == refused))
                << "round " << i << ": exit " << r.exitCode << ", " << r.errText().toStdString();
            refusals += r.exitCode == 1;
        }
        const QByteArray record = dir.read(RecordName());
        ASSERT_TRUE(record == versionA || record == versionB)
            << "round " << i << ": a record of " << record.size() << " bytes";
        aWon += record == versionA;
        bWon += record == versionB;
        ASSERT_EQ(dir.entries(), expectedEntries) << "round " << i;
    }
    Figure(QStringLiteral("%1 rounds of two simultaneous saves of a 5,000-line day: "
                          "time-ordered version last %2 times, class-ordered %3 times; "
                          "%4 saves refused because the other held the record")
               .arg(rounds).arg(aWon).arg(bWon).arg(refusals));
}

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
