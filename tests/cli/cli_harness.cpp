#include "cli_harness.h"

#include "reference.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace clitest {

int timeKey(const QByteArray &line)
{
    return ref::TimeKey(line.toStdString());
}

int classKey(const QByteArray &line)
{
    return ref::ClassKey(line.toStdString());
}

QList<QByteArray> stableOrder(const QList<QByteArray> &lines, int (*key)(const QByteArray &))
{
    std::vector<int> order(lines.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return key(lines[a]) < key(lines[b]); });
    QList<QByteArray> sorted;
    for (int i : order)
        sorted.append(lines[i]);
    return sorted;
}

QList<QByteArray> printedAsSj(const CliResult &result)
{
    QList<QByteArray> lines;
    for (const QString &line : result.outLines())
        lines.append(Sj(line));
    return lines;
}

CliResult RunIn(const DayDir &dir, const QStringList &args, const QString &locale,
                const QString &fixedNow)
{
    CliRun run;
    run.fixedNow = fixedNow;
    run.args = DayArgs(dir.path(), args);
    run.locale = locale;
    return RunCli(run);
}

} // namespace clitest
