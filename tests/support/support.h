#pragma once
// What every test suite shares: code page 932 literals, the day the tests
// work on and its file names, a temporary folder for a day's files, the
// command-line front end run as a child process, and readable failure output.

#include <QByteArray>
#include <QDir>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <ostream>

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

// The day the tests work on, its data files (digit 0-9) and its record.
inline constexpr char kDay[] = "2026-12-08";
QString DataName(int digit);
QString RecordName();

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

// False where the system keeps a process's current folder from being removed
// (Windows).
bool CanRemoveCurrentFolder();

bool WriteFile(const QString &path, const QByteArray &bytes);
QByteArray ReadFile(const QString &path);

// The command-line front end of this build; empty when there is none.
QString CliPath();

struct CliResult {
    bool started = false;
    bool finished = false;
    int exitCode = -1; // -2: crashed
    QByteArray out;
    QByteArray err;

    // Standard output as UTF-8 text split at LF (no trailing empty line).
    QStringList outLines() const;
    QString errText() const { return QString::fromUtf8(err); }
};

struct CliRun {
    QStringList args;
    QString locale = QStringLiteral("ja_JP.UTF-8"); // LANG and LC_ALL
    QString fixedNow = QStringLiteral("2026-12-08T09:30:00"); // empty: the system clock
    QString workingDirectory; // empty: the test's own
    QString standardOutputFile; // standard output goes there instead
    bool closeStandardOutput = false; // into a pipe whose reader ends at once
};

// Runs the front end with the locale and the clock fixed through its
// environment, nothing of the caller's locale settings passed on.
CliResult RunCli(const CliRun &run);
CliResult RunCli(const QStringList &args);
// The front end's arguments for the commands on the day in `dir`.
QStringList DayArgs(const QString &dir, const QStringList &commands);

} // namespace testsupport
