#include "cli_harness.h"

#include "services.h"

#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <climits>
#include <numeric>
#include <vector>

namespace clitest {

QStringList CliResult::outLines() const
{
    QString text = QString::fromUtf8(out);
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    if (text.isEmpty())
        return {};
    return text.split(QLatin1Char('\n'));
}

CliResult runCli(const CliRun &run)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QStringList keys = env.keys();
    for (const QString &key : keys) {
        if (key.startsWith(QLatin1String("LC_")) || key == QLatin1String("LANG") ||
            key == QLatin1String("LANGUAGE") || key == QLatin1String("ABSENCE_FIXED_NOW"))
            env.remove(key);
    }
    env.insert(QStringLiteral("LANG"), run.locale);
    env.insert(QStringLiteral("LC_ALL"), run.locale);
    if (!run.fixedNow.isEmpty())
        env.insert(QStringLiteral("ABSENCE_FIXED_NOW"), run.fixedNow);

    QProcess process;
    process.setProcessEnvironment(env);
    if (!run.workingDirectory.isEmpty())
        process.setWorkingDirectory(run.workingDirectory);
    if (!run.standardOutputFile.isEmpty())
        process.setStandardOutputFile(run.standardOutputFile);
    QProcess reader;
    if (run.closeStandardOutput)
        process.setStandardOutputProcess(&reader);
    process.start(QStringLiteral(ABSENCE_CLI_PATH), run.args);

    CliResult result;
    result.started = process.waitForStarted(30000);
    if (!result.started)
        return result;
    process.closeWriteChannel();
    if (run.closeStandardOutput) {
        reader.start(QStringLiteral("true"), {});
        reader.waitForFinished(30000);
    }
    result.finished = process.waitForFinished(60000);
    if (!result.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    if (process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    else
        result.exitCode = -2; // crashed
    return result;
}

CliResult runCli(const QStringList &args)
{
    CliRun run;
    run.args = args;
    return runCli(run);
}

QByteArray sj(const QString &text)
{
    return absence::ToCp932(text);
}

QByteArray joinLines(const QList<QByteArray> &lines, const QByteArray &terminator)
{
    QByteArray bytes;
    for (const QByteArray &line : lines)
        bytes += line + terminator;
    return bytes;
}

QByteArray joinSj(const QStringList &lines, const QByteArray &terminator)
{
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += sj(line) + terminator;
    return bytes;
}

DayDir::DayDir() = default;

QString DayDir::path() const
{
    return QDir(m_dir.path()).canonicalPath();
}

QString DayDir::filePath(const QString &name) const
{
    return path() + QLatin1Char('/') + name;
}

void DayDir::write(const QString &name, const QByteArray &bytes) const
{
    QFile file(filePath(name));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

void DayDir::writeLines(const QString &name, const QStringList &utf8Lines,
                        const QByteArray &terminator) const
{
    write(name, joinSj(utf8Lines, terminator));
}

void DayDir::makeDir(const QString &name) const
{
    QDir(path()).mkpath(name);
}

QByteArray DayDir::read(const QString &name) const
{
    QFile file(filePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool DayDir::exists(const QString &name) const
{
    return QFileInfo::exists(filePath(name));
}

QStringList DayDir::entries() const
{
    QStringList names = QDir(path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                               QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

namespace {

// Positions count bytes from 1.
QByteArray takeLeft(const QByteArray &s, qsizetype n)
{
    return n < s.size() ? s.left(n) : s;
}
QByteArray takeMid(const QByteArray &s, qsizetype from, qsizetype count)
{
    return (count < s.size() && s.size() + 1 >= from + count) ? s.mid(from - 1, count) : s;
}
QByteArray takeRight(const QByteArray &s, qsizetype n)
{
    if (n >= s.size())
        return s;
    return n <= 0 ? QByteArray() : s.right(n);
}
QByteArray trim(const QByteArray &s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) < 33)
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) < 33)
        --e;
    return s.mid(b, e - b);
}
// Enough of ParseLeadingInt for the suite's lines: blanks, sign, decimal digits.
int parseLeadingInt(const QByteArray &s)
{
    qsizetype i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
        negative = s[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9')
            return static_cast<int>(value); // the sign only counts at the end
        value = std::min<long long>(value * 10 + (s[i] - '0'), INT_MAX);
    }
    return static_cast<int>(negative ? -value : value);
}

} // namespace

int timeKey(const QByteArray &line)
{
    const QByteArray hms = takeMid(takeLeft(line, 10), 2, 8);
    return parseLeadingInt(takeLeft(hms, 2) + takeMid(hms, 4, 2) + takeRight(hms, 2));
}

int classKey(const QByteArray &line)
{
    const qsizetype p = line.indexOf('=') + 1;
    const QByteArray head = p > 0 ? line.left(p - 1) : QByteArray();
    return parseLeadingInt(trim(takeRight(head, head.size() - 10)));
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
        lines.append(sj(line));
    return lines;
}

CliResult runIn(const DayDir &dir, const QStringList &args, const QString &locale,
                const QString &fixedNow)
{
    CliRun run;
    run.fixedNow = fixedNow;
    run.args = QStringList{QStringLiteral("--dir"), dir.path(), QStringLiteral("--date"),
                           QStringLiteral("2026-12-08")} + args;
    run.locale = locale;
    return runCli(run);
}

} // namespace clitest
