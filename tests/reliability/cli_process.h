#pragma once
// Runs the real absence-collector-cli as a child process: with the locale and
// clock fixed through its environment, optionally as an unprivileged user,
// optionally killed after a delay, and with its peak memory measured.

#include "support.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>
#include <vector>
#include <sys/types.h>

namespace reliability {

using testsupport::CliPath;
using testsupport::DataName;
using testsupport::DayArgs;
using testsupport::DayDir;
using testsupport::ReadFile;
using testsupport::RecordName;
using testsupport::Sj;
using testsupport::WriteFile;

struct CliOptions {
    QStringList args;
    QString fixedNow = QStringLiteral("2026-12-08T08:30:00");
    // Run as uid/gid 65534 when the tests run as root (otherwise as ourselves,
    // who are unprivileged already).
    bool unprivileged = false;
    // Its supplementary groups then.
    std::vector<gid_t> groups;
    // A copy of the front end to run (absolute path) in place of the build's,
    // say one given a file capability.
    QString executable;
    // A program (absolute path) and its arguments that run the front end.
    QStringList wrapper;
    // SIGKILL the child this long after it was started.
    std::optional<std::chrono::microseconds> killAfter;
};

struct CliResult {
    bool started = false;
    bool exited = false;   // ended by exit(), not by a signal
    int exitCode = -1;
    int signal = 0;        // the signal that ended it
    QByteArray out;
    QByteArray err;
    long peakRssKb = 0;    // of the child alone
    double seconds = 0;    // wall time

    QString errText() const { return QString::fromUtf8(err); }
};

// A started child; Wait() reaps it.
class CliProcess {
public:
    explicit CliProcess(const CliOptions &options);
    ~CliProcess();
    CliProcess(const CliProcess &) = delete;
    CliProcess &operator=(const CliProcess &) = delete;

    void Kill();
    CliResult Wait();
    // True once the child has ended (it is not reaped here).
    bool Ended() const;

private:
    pid_t m_pid = -1;
    QString m_outPath, m_errPath;
    std::chrono::steady_clock::time_point m_start;
    bool m_started = false;
};

CliResult RunCli(const CliOptions &options);
CliResult RunCli(const QStringList &args);

// True when the child runs as another, unprivileged user (we are root).
bool DropsPrivileges();
// The uid the child runs as when unprivileged.
uid_t UnprivilegedUid();

// A multiset of lines summarised by count and two independent hash sums, for
// comparing millions of lines without holding a second copy of them.
struct LineDigest {
    quint64 count = 0;
    quint64 sum1 = 0;
    quint64 sum2 = 0;
    void Add(const char *data, qsizetype size);
    void Add(const QByteArray &line) { Add(line.constData(), line.size()); }
    bool operator==(const LineDigest &o) const
    {
        return count == o.count && sum1 == o.sum1 && sum2 == o.sum2;
    }
};
// The lines of record-file bytes (each ended by CR LF; a final piece without
// one counts too).
LineDigest DigestRecord(const QByteArray &bytes);
QList<QByteArray> SplitCrLf(const QByteArray &bytes);

// "最終更新：" and the date-time text of 2026-12-08 at the given time (ja_JP).
QByteArray StampLine(const QString &time = QStringLiteral("8:30:00"));

// Prints one line of figures into the test log.
void Figure(const QString &text);

} // namespace reliability
