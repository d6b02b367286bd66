// absence_bench: the program's speed and memory measured beside their
// baselines in one run, printed as one table.

#include "support.h"

#include "absence_list.h"
#include "collection.h"
#include "day_files.h"
#include "record_file.h"
#include "reorder.h"
#include "services.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <map>

#ifdef ABSENCE_BENCH_UI
#include "application.h"
#include <QApplication>
#else
#include <QCoreApplication>
#endif

namespace {

// Keeps every counter of every run ("name:counter") for the table.
class Collector : public benchmark::BenchmarkReporter {
public:
    bool ReportContext(const Context &) override { return true; }
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            const std::string &name = run.run_name.function_name;
            if (run.error_occurred) {
                errors[name] = run.error_message;
                std::fprintf(stderr, "  %-28s FAILED: %s\n", name.c_str(), run.error_message.c_str());
                continue;
            }
            for (const auto &[counter, value] : run.counters)
                values[name + ':' + counter] = value.value;
            std::fprintf(stderr, "  %-28s done at %.1f s\n", name.c_str(), bench::SecondsSince(m_start));
        }
    }

    std::map<std::string, double> values;
    std::map<std::string, std::string> errors;

private:
    bench::Clock::time_point m_start = bench::Clock::now();
};

enum class Kind { Speedup, Ratio, Memory, Count };

struct Row {
    const char *figure;
    std::string program, baseline; // "name:counter" keys
    Kind kind;
    const char *op; // ">=", "<=", "<" or "" when there is no target
    double target;
    double limit = 0; // an upper bound on the program's own figure (seconds, or a count)
    const char *why = nullptr; // printed under the row: why this baseline and this target
};

std::string T(const std::string &name)
{
    return name + ":median_s";
}

std::string Amount(double value, Kind kind)
{
    char text[32];
    if (kind == Kind::Memory)
        std::snprintf(text, sizeof text, "%.1f MB", value / 1024);
    else if (kind == Kind::Count)
        std::snprintf(text, sizeof text, "%g", value);
    else if (value >= 1)
        std::snprintf(text, sizeof text, "%.2f s", value);
    else
        std::snprintf(text, sizeof text, "%.3g ms", value * 1000);
    return text;
}

QByteArray LoadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readLine().trimmed() : QByteArray("?");
}

void PrintTable(const Collector &results, const QByteArray &loadBefore)
{
    const std::vector<Row> rows = {
        {"1 time order, 1,000 lines vs exchange sort", T("reorder/time/1000/program"), T("reorder/time/1000/exchange"), Kind::Speedup, "", 0},
        {"1 time order, 5,001 lines vs exchange sort", T("reorder/time/5001/program"), T("reorder/time/5001/exchange"), Kind::Speedup, ">=", 100},
        {"1 class order, 1,000 lines vs exchange sort", T("reorder/class/1000/program"), T("reorder/class/1000/exchange"), Kind::Speedup, "", 0},
        {"1 class order, 5,001 lines vs exchange sort", T("reorder/class/5001/program"), T("reorder/class/5001/exchange"), Kind::Speedup, ">=", 100},
        {"1 time order, 50,000 lines vs 5,001 lines", T("reorder/time/50000/program"), T("reorder/time/5001/program"), Kind::Ratio, "<=", 40, 0.02,
         "linear work, but 5,001 lines (0.5 MB) fit a core's 1 MB cache and 50,000 do not; a quadratic sort takes 100x; 20 ms goes unnoticed"},
        {"1 class order, 50,000 lines vs 5,001 lines", T("reorder/class/50000/program"), T("reorder/class/5001/program"), Kind::Ratio, "<=", 40, 0.02,
         "as above"},
        {"2 time order pressed in window, 5,001 lines", T("window/time/5001/program"), T("window/time/5001/exchange"), Kind::Speedup, ">=", 100, 0.1},
        {"3 collection, 50,000 lines vs iconv|sort -f", T("collect/program"), T("collect/peer"), Kind::Ratio, "<", 1.0},
        {"3 read and tally 50,000 lines vs their collection", T("tally/program"), T("collect/program"), Kind::Ratio, "<=", 0.5, 0,
         "every line read as class, kind, reason and symptom, and counted; half a collection leaves the tally unnoticed"},
        {"3 csv of 50,000 lines vs their collection", T("csv/program"), T("collect/program"), Kind::Ratio, "<=", 1.0, 0,
         "every line read and written as a CSV row, the file on the disk as a saved record is"},
        {"4 save 50,000-line record vs one write()", T("save/program"), T("save/write"), Kind::Ratio, "", 0, 0,
         "no target: a write() leaves the bytes in memory; a save puts them on the disk (next row)"},
        {"4 save 50,000-line record vs write()+fdatasync()", T("save/program"), T("save/write-sync"), Kind::Ratio, "<=", 3, 0,
         "the least that puts the bytes on the disk; the save also renames over the old record and syncs the folder"},
        {"4 load 50,000-line record vs one read()", T("load/program"), T("load/read"), Kind::Ratio, "", 0, 0,
         "no target: a read() copies bytes, a load also decodes and collates every line (next row)"},
        {"4 load 50,000-line record vs ICU decode+collate", T("load/program"), T("load/icu"), Kind::Ratio, "<=", 1.5, 0,
         "ICU alone converting, keying and stable-sorting the lines; the load also tells UTF-8 and UTF-16 and keeps them"},
        {"5 open window on 50,000 lines vs minimal start", T("window/open/program"), T("start/minimal"), Kind::Ratio, "", 0},
        {"5 program start to first window vs minimal", T("start/program"), T("start/minimal"), Kind::Ratio, "", 0, 0,
         "no target: a window without text loads no font, so it is no yardstick for one that shows Japanese (next row)"},
        {"5 program start vs minimal with a Japanese label", T("start/program"), T("start/minimal-label"), Kind::Ratio, "<=", 2, 0.5,
         "a window that shows Japanese text; the start window has two faces to its one; the operator notices the wait: < 0.5 s"},
        {"6 peak RSS above --help vs data files", "memory/cli:above_help_kb", "memory/cli:data_kb", Kind::Memory, "<=", 4},
        {"7 PDF of a 2,000-line day vs bare drawText", T("pdf/program"), T("pdf/drawtext"), Kind::Ratio, "", 0, 1.0},
        {"7 pdf command, 2,000 lines vs print command", T("pdf/cli"), T("pdf/cli-print"), Kind::Ratio, "", 0, 1.0},
        {"7 tally window shown, 2,000 lines vs bare dialog", T("window/tally/2000/program"), T("window/tally/2000/dialog"), Kind::Ratio, "", 0, 0.016,
         "made, tallied and painted within one frame at 60 Hz"},
        {"8 notice look per tick vs ten lstat()", T("look/program"), T("look/lstat"), Kind::Ratio, "", 0},
        {"8 look: system calls per tick vs collection", "look/syscalls:calls", "look/syscalls:collect_calls", Kind::Count, "", 0},
        {"8 look: attribute reads per tick vs collection", "look/syscalls:reads", "look/syscalls:collect_reads", Kind::Count, "", 0, 10},
        {"8 look: opens+listings per tick vs collection", "look/syscalls:opens", "look/syscalls:collect_opens", Kind::Count, "<=", 0},
    };
    std::printf("\n%-49s %10s %10s %9s %24s  %s\n", "figure", "program", "baseline", "ratio", "target", "met");
    for (const Row &row : rows) {
        const auto program = results.values.find(row.program);
        const auto baseline = results.values.find(row.baseline);
        std::string target = "-";
        if (row.op[0]) {
            char text[32];
            std::snprintf(text, sizeof text, "%s %g%s", row.op, row.target,
                          row.kind == Kind::Speedup ? "x faster" : "");
            target = text;
        }
        if (row.limit > 0) {
            const std::string bound = row.kind == Kind::Count ? "<= " + Amount(row.limit, Kind::Count)
                                                                : "< " + Amount(row.limit, Kind::Ratio);
            target = row.op[0] ? target + ", " + bound : bound;
        }
        if (program == results.values.end() || baseline == results.values.end()) {
            const bool failed = results.errors.count(row.program.substr(0, row.program.find(':')))
                || results.errors.count(row.baseline.substr(0, row.baseline.find(':')));
            std::printf("%-49s %10s %10s %9s %24s  %s\n", row.figure, "-", "-", "-", target.c_str(),
                        failed ? "FAILED" : "not run");
            if (row.why)
                std::printf("    %s\n", row.why);
            continue;
        }
        const double ratio = row.kind == Kind::Speedup ? baseline->second / program->second
                                                       : program->second / baseline->second;
        const std::string op = row.op;
        bool met = op.empty() || (op == ">=" ? ratio >= row.target
                                  : op == "<=" ? ratio <= row.target : ratio < row.target);
        if (row.limit > 0)
            met = met && (row.kind == Kind::Count ? program->second <= row.limit : program->second < row.limit);
        char ratioText[32];
        std::snprintf(ratioText, sizeof ratioText, row.kind == Kind::Speedup ? "%.0fx" : "%.2f", ratio);
        std::printf("%-49s %10s %10s %9s %24s  %s\n", row.figure, Amount(program->second, row.kind).c_str(),
                    Amount(baseline->second, row.kind).c_str(), ratioText, target.c_str(),
                    op.empty() && row.limit <= 0 ? "-" : met ? "yes" : "NO");
        if (row.why)
            std::printf("    %s\n", row.why);
    }
    std::printf("\nTimes are medians of each benchmark's iterations. Load average before: %s, after: %s"
                " (%d cores).\n",
                loadBefore.constData(), LoadAverage().constData(), QThread::idealThreadCount());
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    // The windows are real but drawn off screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef ABSENCE_BENCH_UI
    QApplication app(argc, argv);
    absence::ui::InitialiseApplication();
#else
    QCoreApplication app(argc, argv);
#endif
    absence::setLocaleSettings(absence::LocaleSettings::fromName(QStringLiteral("ja_JP.UTF-8")));
    const QByteArray loadBefore = LoadAverage();

    QTemporaryDir work;
    if (!work.isValid() || !QDir::setCurrent(work.path()))
        qFatal("no working directory for the benchmark day");
    bench::Day day = bench::MakeDay(work.path(), QDate(2026, 12, 8), 10, 5000);
    {
        // The day's record as an operator leaves it: collected, time order, saved.
        absence::AbsenceList list;
        absence::Collect(list, absence::ChosenDate);
        absence::OrderByTime(list);
        absence::Save(list, absence::ChosenDate);
        QFile record(absence::RecordFilePath(absence::ChosenDate));
        if (!record.open(QIODevice::ReadOnly))
            qFatal("the record file was not saved");
        day.recordBytes = record.readAll();
    }
    bench::SetDay(std::move(day));

    bench::RegisterFigures();
    Collector results;
    benchmark::RunSpecifiedBenchmarks(&results);
    PrintTable(results, loadBefore);
    return results.errors.empty() ? 0 : 1;
}
