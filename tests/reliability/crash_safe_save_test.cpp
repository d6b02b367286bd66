// Saves that are killed, or that race each other, never leave a damaged
// record: the record file is always one complete version, byte for byte.

#include "day_data.h"

#include <gtest/gtest.h>

#include <QFile>

#include <random>
#include <thread>

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
    // land before that). Where the system does not let a watcher see a step,
    // those kills land at any moment too.
    std::uniform_real_distribution<double> anywhere(0.0, total * 1.05);
    const double windows[] = {0.0, 0.003};

    int oldSeen = 0, newSeen = 0, finishedFirst = 0, leftovers = 0, duringWrite = 0;
    for (int i = 0; i < kills; ++i) {
        ASSERT_TRUE(WriteFile(dir.file(RecordName()), oldRecord));
        CliRun options;
        options.args = DayArgs(dir.path(), {QStringLiteral("collect"), QStringLiteral("save")});
        const bool afterRename = i % 4 == 3;
        SaveStepWatch watch(dir.path(), RecordName(),
                            afterRename ? SaveStepWatch::Step::ReplacedRecord : SaveStepWatch::Step::OpenedRecord,
                            newRecord.size());
        double delay;
        CliResult run;
        if (i % 4 == 0 || !watch.CanSee()) {
            delay = anywhere(random);
            CliProcess process(options);
            std::this_thread::sleep_for(std::chrono::microseconds(qint64(delay * 1e6)));
            process.Kill();
            run = process.Wait();
        } else {
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
            ASSERT_TRUE(EndedByKill(run)) << "kill " << i << ": the save crashed by itself";

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
                          "seen to land after the save opened or replaced the old record: record old %4 times, "
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

TEST(CrashSafeSave, KilledAddLeavesTheOldBytesOrTheWholeLine)
{
    DayDir dir;
    ASSERT_TRUE(dir.isValid());
    QByteArray old;
    for (quint32 n = 0; n < 200; ++n)
        old += AbsenceLine(n) + "\r\n";
    // A kill that cannot be caught may stop a write where it crosses a page
    // of the file (a request to end waits for the line instead), so
    // the line stays within the page the file ends in.
    const QString line = QStringLiteral("*08:15:00 2-2=8番 森 大翔 発熱のため欠席（母より）");
    const QByteArray added = old + Sj(line) + "\r\n";
    ASSERT_LE(old.size() % 4096 + added.size() - old.size(), 4096);
    CliRun options;
    options.args = DayArgs(dir.path(), {QStringLiteral("add"), QStringLiteral("3"), line});
    ASSERT_TRUE(WriteFile(dir.file(DataName(3)), old));
    const CliResult clean = RunCli(options);
    ASSERT_EQ(clean.exitCode, 0) << clean.errText().toStdString();
    ASSERT_EQ(dir.read(DataName(3)), added);

    const int kills = EnvInt("ABSENCE_RELIABILITY_KILLS", 200) / 2;
    std::mt19937 random(20261210);
    std::uniform_real_distribution<double> anywhere(0.0, clean.seconds * 1.1);
    int oldSeen = 0, addedSeen = 0;
    for (int i = 0; i < kills; ++i) {
        ASSERT_TRUE(WriteFile(dir.file(DataName(3)), old));
        const double delay = anywhere(random);
        {
            CliProcess process(options);
            std::this_thread::sleep_for(std::chrono::microseconds(qint64(delay * 1e6)));
            process.Kill();
            const CliResult run = process.Wait();
            ASSERT_TRUE(run.started);
        }
        const QByteArray now = dir.read(DataName(3));
        ASSERT_TRUE(now == old || now == added) << "kill " << i << " after " << delay << " s left "
                                                << now.size() << " bytes";
        oldSeen += now == old;
        addedSeen += now == added;
        ASSERT_EQ(dir.entries(), QStringList{DataName(3)});
    }
    Figure(QStringLiteral("%1 kills of an add of a %2-byte line (clean run %3 s): the file held the old bytes "
                          "%4 times, the old bytes and the whole line %5 times, never anything else")
               .arg(kills).arg(added.size() - old.size()).arg(clean.seconds, 0, 'f', 3).arg(oldSeen).arg(addedSeen));
    EXPECT_GT(oldSeen, 0);
    EXPECT_GT(addedSeen, 0);
}
