#pragma once
// What the benchmarks share: the generated day, per-iteration timing and
// child processes timed from the outside.

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

namespace bench {

// A realistic morning: ten data files of code page 932 lines in one working
// directory, and the record file saved from them.
struct Day {
    QDate date;
    QString dir;
    QList<QByteArray> lines; // as the collection stores them (hours padded)
    qint64 dataBytes = 0;    // total size of the data files
    QByteArray recordBytes;  // the record file as saved
};

// Writes `files` data files of `linesPerFile` lines each into `dir`.
Day MakeDay(const QString &dir, const QDate &date, int files, int linesPerFile);
const Day &TheDay();
void SetDay(Day day);

// n lines of the day, a fixed pseudo-random choice, in collection order
// once assigned to a list.
QList<QByteArray> Sample(int n);

using Clock = std::chrono::steady_clock;
inline double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs `setup` untimed and `body` timed on every iteration. The median of the
// timed parts goes to the "median_s" counter: on a shared machine it is
// steadier than the mean.
template <typename Setup, typename Body>
void TimeEach(benchmark::State &state, Setup setup, Body body)
{
    std::vector<double> times;
    for (auto _ : state) {
        setup();
        const Clock::time_point start = Clock::now();
        body();
        const double t = SecondsSince(start);
        state.SetIterationTime(t);
        times.push_back(t);
    }
    std::sort(times.begin(), times.end());
    const size_t n = times.size();
    state.counters["median_s"] = n == 0 ? 0.0 : (times[(n - 1) / 2] + times[n / 2]) / 2;
}

// Runs a program with stdout and stderr sent to /dev/null and waits for it;
// true when it exited with status 0. `extraEnv` entries ("NAME=value") take
// precedence over the inherited ones.
bool RunChild(const std::vector<std::string> &argv, const std::vector<std::string> &extraEnv = {});

// The peak resident set of a program run as by RunChild, in kB; -1 when it
// failed.
long PeakRssKb(const std::vector<std::string> &argv, const std::vector<std::string> &extraEnv = {});

// Registers every measured pair with Google Benchmark, in table order.
void RegisterFigures();

} // namespace bench
