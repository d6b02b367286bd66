#pragma once
// Runs absence-collector-cli as a child process on temporary working
// directories, with the locale and clock fixed through its environment.

#include <QByteArray>
#include <QDir>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <ostream>

// Readable QString and QStringList values in GoogleTest failure messages.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toUtf8().constData() << '"';
}
inline void PrintTo(const QStringList &list, std::ostream *os)
{
    *os << "{\n";
    for (const QString &text : list)
        *os << "  \"" << text.toUtf8().constData() << "\"\n";
    *os << '}';
}

namespace clitest {

struct CliResult {
    bool started = false;
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;

    // Standard output / error as UTF-8 text split at LF (no trailing empty line).
    QStringList outLines() const;
    QString errText() const { return QString::fromUtf8(err); }
};

struct CliRun {
    QStringList args;
    QString locale = QStringLiteral("ja_JP.UTF-8"); // LANG and LC_ALL
    QString fixedNow = QStringLiteral("2026-12-08T09:30:00"); // empty: system clock
    QString workingDirectory; // empty: the test's own
    QString standardOutputFile; // standard output goes there instead
    bool closeStandardOutput = false; // into a pipe whose reader ends at once
};

CliResult runCli(const CliRun &run);
// Shorthand: ja_JP.UTF-8, clock fixed to 2026-12-08 09:30:00.
CliResult runCli(const QStringList &args);

// The UTF-8 text given, as code page 932 bytes.
QByteArray sj(const QString &text);
// Lines joined with a terminator after each.
QByteArray joinLines(const QList<QByteArray> &lines, const QByteArray &terminator);
QByteArray joinSj(const QStringList &lines, const QByteArray &terminator = "\r\n");

// A temporary working directory with helpers for its files.
class DayDir;
// Runs the given commands on the 2026-12-08 day held in `dir`, clock fixed.
CliResult runIn(const DayDir &dir, const QStringList &args,
                const QString &locale = QStringLiteral("ja_JP.UTF-8"),
                const QString &fixedNow = QStringLiteral("2026-12-08T09:30:00"));

class DayDir {
public:
    DayDir();
    bool isValid() const { return m_dir.isValid(); }
    // The canonical path, as the program sees its working directory.
    QString path() const;
    QString filePath(const QString &name) const;
    void write(const QString &name, const QByteArray &bytes) const;
    void writeLines(const QString &name, const QStringList &utf8Lines,
                    const QByteArray &terminator = "\r\n") const;
    void makeDir(const QString &name) const;
    QByteArray read(const QString &name) const;
    bool exists(const QString &name) const;
    // Every entry name, sorted.
    QStringList entries() const;

private:
    QTemporaryDir m_dir;
};

// The time and class keys, written again here so the suite does not lean on
// the core's own key functions.
int timeKey(const QByteArray &line);
int classKey(const QByteArray &line);

// The expected result of a stable re-ordering of `lines` by `key`.
QList<QByteArray> stableOrder(const QList<QByteArray> &lines, int (*key)(const QByteArray &));

// Standard output lines of `print` (UTF-8 text) back as code page 932 bytes.
QList<QByteArray> printedAsSj(const CliResult &result);

} // namespace clitest
