// Stations that append at once, several of them to one file, while the
// office collects and saves: no line lost, none doubled, and a collection
// never gets part of a line.

#include "day_data.h"

#include <gtest/gtest.h>

#include <QHash>
#include <QSet>

#include <memory>
#include <thread>

using namespace testsupport;

namespace {

int EnvInt(const char *name, int fallback)
{
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok && v > 0 ? v : fallback;
}

// Writer w's line k: its own time and number, so each is told apart.
QString WriterLine(int w, int k)
{
    return QStringLiteral("*08:%1:%2 %3-%4=%5番 書込%6 発熱のため欠席（母より）")
        .arg(k / 60 % 60, 2, 10, QLatin1Char('0')).arg(k % 60, 2, 10, QLatin1Char('0'))
        .arg(1 + w % 3).arg(1 + k % 6).arg(k + 1).arg(w);
}

} // namespace

TEST(AppendCollision, StationsAppendingWhileTheOfficeCollectsLoseNothing)
{
    DayDir dir;
    ASSERT_TRUE(dir.isValid());
    // Writers 0 and 1 share station 0's file, the others have one each.
    const int writers = EnvInt("ABSENCE_RELIABILITY_WRITERS", 5);
    const int lines = EnvInt("ABSENCE_RELIABILITY_LINES", 40);
    const auto digitOf = [](int w) { return w < 2 ? 0 : w - 1; };

    QHash<QByteArray, int> written; // line -> writer
    for (int w = 0; w < writers; ++w)
        for (int k = 0; k < lines; ++k)
            written.insert(Sj(WriterLine(w, k)), w);

    std::vector<int> next(static_cast<size_t>(writers), 0);
    std::vector<std::unique_ptr<CliProcess>> running(static_cast<size_t>(writers));
    std::unique_ptr<CliProcess> office;
    int collections = 0, refused = 0, partial = 0, doubled = 0, failedAdds = 0;
    QSet<QByteArray> seen; // every line some collection gave
    const QByteArray stamp = Sj(QStringLiteral("最終更新"));
    const auto startAdd = [&](int w) {
        CliRun run;
        run.args = DayArgs(dir.path(), {"add", QString::number(digitOf(w)), WriterLine(w, next[size_t(w)])});
        running[size_t(w)] = std::make_unique<CliProcess>(run);
    };
    const auto startOffice = [&] {
        CliRun run;
        // Quiet: until the first line lands, a collection ends there.
        run.args = QStringList{"--raw", "--quiet"} + DayArgs(dir.path(), {"collect", "save", "print"});
        // A job waits out a file being written; here it tries again at once,
        // so that the office keeps meeting the writers.
        run.environment = {QStringLiteral("ABSENCE_HELD_FILE_PAUSE_MS=0")};
        office = std::make_unique<CliProcess>(run);
    };
    for (int w = 0; w < writers; ++w)
        startAdd(w);
    startOffice();
    for (bool busy = true; busy;) {
        busy = false;
        for (int w = 0; w < writers; ++w) {
            if (!running[size_t(w)])
                continue;
            busy = true;
            if (!running[size_t(w)]->Ended())
                continue;
            const CliResult r = running[size_t(w)]->Wait();
            running[size_t(w)].reset();
            if (r.exitCode != 0) {
                ++failedAdds;
                ADD_FAILURE() << "writer " << w << " line " << next[size_t(w)] << ": " << r.errText().toStdString();
            }
            if (++next[size_t(w)] < lines)
                startAdd(w);
        }
        if (office && office->Ended()) {
            const CliResult r = office->Wait();
            if (r.exitCode == 0) {
                ++collections;
                QSet<QByteArray> once;
                for (const QByteArray &line : SplitCrLf(r.out)) {
                    if (line.startsWith(stamp))
                        continue;
                    partial += !written.contains(line);
                    doubled += once.contains(line);
                    once.insert(line);
                    seen.insert(line);
                }
            } else {
                // The office meets a station's file at the moment it is written.
                ASSERT_EQ(r.errText(), QStringLiteral("I/O ｴﾗｰ (32)\n")) << "exit " << r.exitCode;
                ++refused;
            }
            office.reset();
            if (busy)
                startOffice();
        }
        if (busy)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (office)
        office->Wait();

    // The day as the stations left it: every line once.
    const CliResult last = RunCli(QStringList{"--raw"} + DayArgs(dir.path(), {"collect", "print"}));
    ASSERT_EQ(last.exitCode, 0) << last.errText().toStdString();
    QHash<QByteArray, int> count;
    for (const QByteArray &line : SplitCrLf(last.out))
        ++count[line];
    int lost = 0, twice = 0;
    for (auto it = written.cbegin(); it != written.cend(); ++it) {
        lost += count.value(it.key()) == 0;
        twice += count.value(it.key()) > 1;
    }
    EXPECT_EQ(count.size(), written.size()) << "lines that no writer wrote";
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(twice, 0);
    EXPECT_EQ(partial, 0) << "a collection got part of a line";
    EXPECT_EQ(doubled, 0);
    EXPECT_EQ(failedAdds, 0);
    EXPECT_GT(collections, 0);
    // Station 0's file had two writers: both sets are there, each line whole.
    EXPECT_EQ(SplitCrLf(dir.read(DataName(0))).size(), 2 * lines);
    Figure(QStringLiteral("%1 writers (two on one station's file) appended %2 lines each, %3 in all, while the office "
                          "ran %4 collections with saves (%5 more met a file being written and said so, "
                          "I/O error 32); %6 distinct lines seen collected midway; at the end %7 lines, "
                          "lost %8, doubled %9, partial lines in any collection %10")
               .arg(writers).arg(lines).arg(written.size()).arg(collections).arg(refused).arg(seen.size())
               .arg(count.size()).arg(lost).arg(twice).arg(partial));
}
