#pragma once
// What every test suite shares: code page 932 literals, the day the tests
// work on with its names and moments, a day's folder, the Japanese locale and
// a fixed clock for the code under test, the command-line front end run as a
// child process with the same locale and clock, and readable failure output.

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTime>

#include <gtest/gtest.h>
#include <memory>
#include <vector>
#include <ostream>

#include "services.h"

// Readable QString, QStringList and QByteArray values in failure messages
// (bytes shown as code page 932 text, line ends and controls escaped).
QT_BEGIN_NAMESPACE
void PrintTo(const QString &text, std::ostream *os);
void PrintTo(const QStringList &list, std::ostream *os);
void PrintTo(const QByteArray &bytes, std::ostream *os);
QT_END_NAMESPACE

namespace testsupport {

// The UTF-8 text given, as code page 932 bytes.
QByteArray Sj(const QString &text);
// Lines joined with a terminator after each.
QByteArray JoinLines(const QList<QByteArray> &lines, const QByteArray &terminator = "\r\n");
// Text lines as code page 932, each followed by the terminator.
QByteArray SjLines(const QStringList &lines, const QByteArray &terminator = "\r\n");
// Record bytes split at CR LF (a final piece without one counts too).
QList<QByteArray> SplitCrLf(const QByteArray &bytes);

// The day the tests work on and its names under the Japanese locale: the
// data files (digit 0-9), the record, and any other name of the day.
inline constexpr char kDay[] = "2026-12-08";
inline QDate Day() { return QDate(2026, 12, 8); }
QString DayFile(const QString &suffix);
QString DataName(int digit);
QString RecordName();

// A moment of the day (or of another day).
inline QDateTime At(int h, int m, int s = 0, int ms = 0, QDate day = Day())
{
    return QDateTime(day, QTime(h, m, s, ms));
}
// The locale and the clock every test starts from, in the program and in the
// front end alike.
inline constexpr char kLocale[] = "ja_JP.UTF-8";
inline QDateTime DefaultNow() { return At(9, 30); }
// The last-update line of the day at `time` as the Japanese locale writes it.
QString StampText(const QString &time = QStringLiteral("9:30:00"));
QByteArray StampLine(const QString &time = QStringLiteral("9:30:00"));

// A temporary folder for a day's files that other users may enter and read.
// Removed with everything in it, even folders a test made read-only.
class DayDir {
public:
    DayDir();
    ~DayDir();
    DayDir(const DayDir &) = delete;
    DayDir &operator=(const DayDir &) = delete;

    bool isValid() const { return !m_path.isEmpty(); }
    // Canonical with the system's separators, as the program sees its
    // working directory.
    QString path() const { return m_path; }
    QString file(const QString &name) const { return m_path + QDir::separator() + name; }
    // False when the file could not be written whole.
    bool write(const QString &name, const QByteArray &bytes) const;
    bool writeLines(const QString &name, const QStringList &lines,
                    const QByteArray &terminator = "\r\n") const;
    bool makeDir(const QString &name) const;
    // Empty when unreadable.
    QByteArray read(const QString &name) const;
    bool exists(const QString &name) const;
    // Every entry except "." and "..", hidden ones included, sorted.
    QStringList entries() const;

private:
    QTemporaryDir m_dir;
    QString m_path;
};

// A day's folder made the process's current directory; the old current
// directory comes back on destruction.
class WorkDir : public DayDir {
public:
    WorkDir();
    ~WorkDir();

private:
    QString m_old;
};

// The locale and a fixed clock, installed through the core's services for
// the lifetime of the object, and ChosenDate on Day() (restored afterwards).
class JapaneseDay {
public:
    explicit JapaneseDay(const QDateTime &now = DefaultNow(), const QString &locale = QLatin1String(kLocale));
    ~JapaneseDay();
    JapaneseDay(const JapaneseDay &) = delete;
    JapaneseDay &operator=(const JapaneseDay &) = delete;
    absence::FixedClock &clock() { return *m_clock; }

private:
    std::shared_ptr<absence::FixedClock> m_clock;
    absence::ScopedServices m_services;
    QDate m_oldDate;
};

// False where the system keeps a process's current folder from being removed
// (Windows).
bool CanRemoveCurrentFolder();

bool WriteFile(const QString &path, const QByteArray &bytes);
QByteArray ReadFile(const QString &path);

// Prints one line of figures into the test log.
void Figure(const QString &text);

// The command-line front end of this build.
QString CliPath();
// POSIX: the lease helper of this build.
QString LeaseHelperPath();

// One run of the front end. Its locale and clock are fixed through its
// environment, and nothing of the caller's locale settings is passed on.
struct CliRun {
    QStringList args;
    QString locale = QLatin1String(kLocale); // LANG and LC_ALL
    QDateTime now = DefaultNow();
    QString nowText;            // ABSENCE_FIXED_NOW as given, instead of `now`
    QStringList environment;    // NAME=VALUE, set last
    QString workingDirectory;   // empty: the test's own
    QString standardOutputFile; // standard output goes there instead
    bool closeStandardOutput = false; // into a pipe whose reader ends at once
    // A copy of the front end (absolute path) to run in place of the build's.
    QString executable;
    // A program (absolute path) and its arguments that run the front end.
    QStringList wrapper;
    // POSIX: as uid and gid 65534 when the tests run as root (otherwise as
    // ourselves, who are unprivileged already).
    bool unprivileged = false;
    // POSIX: the unprivileged run's supplementary groups.
    std::vector<unsigned> groups;
};

struct CliResult {
    bool started = false;
    bool finished = false; // ended before the watchdog gave up on it
    bool crashed = false;  // ended by a signal (killed, or a crash)
    int exitCode = -1;     // when it did not crash
    int signal = 0;        // POSIX: the signal that ended it
    QByteArray out;
    QByteArray err;
    double seconds = 0;    // wall time
    long peakRssKb = 0;    // of the child alone; RunCliMeasured only

    // Standard output as UTF-8 text split at LF (no trailing empty line).
    QStringList outLines() const;
    QString errText() const { return QString::fromUtf8(err); }
};

// A started run of the front end; Wait() collects it.
class CliProcess {
public:
    explicit CliProcess(const CliRun &run);
    ~CliProcess();
    CliProcess(const CliProcess &) = delete;
    CliProcess &operator=(const CliProcess &) = delete;

    void Kill();
    // True once the child has ended.
    bool Ended();
    // A watchdog rather than a time limit: a child still running after
    // `watchdogMs` is killed and reported as not finished.
    CliResult Wait(int watchdogMs = 600000);

private:
    QProcess m_process;
    QProcess m_reader; // the reader that leaves at once (closeStandardOutput)
    QElapsedTimer m_clock;
    CliResult m_result;
};

CliResult RunCli(const CliRun &run);
CliResult RunCli(const QStringList &args);
// The front end's arguments for the commands on the day in `dir`.
QStringList DayArgs(const QString &dir, const QStringList &commands);
// The commands run on the day held in `dir`.
CliResult RunDay(const DayDir &dir, const QStringList &commands, const QDateTime &now = DefaultNow(),
                 const QString &locale = QLatin1String(kLocale));

// The child's environment: ours without locale and clock settings, then the
// run's.
QProcessEnvironment CliEnvironment(const CliRun &run);

// POSIX only.
// The unprivileged user and group of CliRun::unprivileged.
inline constexpr unsigned Nobody = 65534;
inline constexpr unsigned Nogroup = 65534;
// True when unprivileged runs switch to another user (we are root).
bool DropsPrivileges();
// The uid an unprivileged run has.
unsigned UnprivilegedUid();
// A run forked and reaped here rather than by QProcess, which keeps the
// child's resource usage to itself: gives the child's peak memory. Takes the
// run's arguments, locale and clock only.
CliResult RunCliMeasured(const CliRun &run);
CliResult RunCliMeasured(const QStringList &args);

// The program a run starts, set up for the run's user: platform files.
QString PrepareChild(QProcess &process, const CliRun &run);

// True when a run ended because CliProcess::Kill ended it (on POSIX systems
// SIGKILL; on Windows TerminateProcess), not by a crash of its own.
bool EndedByKill(const CliResult &run);

// Watches a save in another process reach a point at the record `name` in
// `dir`: its opening of the old record (just before it writes the new one),
// or the new record put in its place. Not every system lets a watcher see
// both: CanSee() says.
class SaveStepWatch {
public:
    enum class Step { OpenedRecord, ReplacedRecord };
    // `newSize`: the new record's size, which tells it from the old one.
    SaveStepWatch(const QString &dir, const QString &name, Step step, qint64 newSize);
    ~SaveStepWatch();
    SaveStepWatch(const SaveStepWatch &) = delete;
    SaveStepWatch &operator=(const SaveStepWatch &) = delete;
    bool CanSee() const;
    // Waits for the step or the end of the process; true on the step. It
    // spins rather than sleeps: the whole write takes about a millisecond.
    bool Wait(CliProcess &process);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace testsupport
