#include "cli_process.h"

#include "services.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <iostream>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace reliability {

namespace {

constexpr uid_t Nobody = 65534;

// Where the children's standard output and error go, apart from the
// directories under test.
const QString &OutputDirectory()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/absence-rel-out-XXXXXX"));
    static const QString path = dir.path();
    return path;
}

QString NextOutputName(const char *kind)
{
    static std::atomic<int> counter{0};
    return OutputDirectory() + QStringLiteral("/%1-%2.txt").arg(++counter).arg(QLatin1String(kind));
}

// The environment of the child: ours without locale or clock settings, then
// the Japanese locale and the fixed clock. Under a wrapper (strace, a mount
// namespace without /proc) or with a file capability (which makes the process
// undumpable) LeakSanitizer cannot inspect the process, so a sanitizer
// build's leak check is left to the other runs.
std::vector<std::string> ChildEnvironment(const QString &fixedNow, bool wrapped)
{
    std::vector<std::string> env;
    for (char **e = environ; e && *e; ++e) {
        std::string entry = *e;
        if (wrapped && entry.rfind("ASAN_OPTIONS=", 0) == 0)
            entry += ":detect_leaks=0";
        if (entry.rfind("LC_", 0) == 0 || entry.rfind("LANG=", 0) == 0
            || entry.rfind("LANGUAGE=", 0) == 0 || entry.rfind("ABSENCE_FIXED_NOW=", 0) == 0)
            continue;
        env.push_back(entry);
    }
    env.push_back("LC_ALL=ja_JP.UTF-8");
    env.push_back("LANG=ja_JP.UTF-8");
    if (!fixedNow.isEmpty())
        env.push_back("ABSENCE_FIXED_NOW=" + fixedNow.toStdString());
    return env;
}

std::vector<char *> CStrings(std::vector<std::string> &strings)
{
    std::vector<char *> out;
    for (std::string &s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

} // namespace

bool DropsPrivileges()
{
    return ::geteuid() == 0;
}

uid_t UnprivilegedUid()
{
    return DropsPrivileges() ? Nobody : ::geteuid();
}

namespace {

// The build tree may lie where the unprivileged user cannot reach (a clone in
// a private temporary folder): that user runs a copy kept in a folder open
// to all.
QString CopyReachableByAll(const QString &cli)
{
    static const struct Copy {
        QString dir, path;
        explicit Copy(const QString &from)
        {
            char pattern[] = "/tmp/absence-cli-XXXXXX";
            if (::mkdtemp(pattern) == nullptr)
                return;
            dir = QString::fromLocal8Bit(pattern);
            path = dir + QStringLiteral("/absence-collector-cli");
            if (::chmod(pattern, 0755) != 0 || !QFile::copy(from, path)
                || ::chmod(QFile::encodeName(path).constData(), 0755) != 0)
                path.clear();
        }
        ~Copy()
        {
            if (!dir.isEmpty())
                QDir(dir).removeRecursively();
        }
    } copy(cli);
    return copy.path.isEmpty() ? cli : copy.path;
}

} // namespace

CliProcess::CliProcess(const CliOptions &options)
{
    const bool drop = options.unprivileged && DropsPrivileges();
    const QString cli = !options.executable.isEmpty()     ? options.executable
                        : drop && !CliPath().isEmpty() ? CopyReachableByAll(CliPath())
                                                       : CliPath();
    if (cli.isEmpty())
        return;
    std::vector<std::string> argStrings;
    for (const QString &w : options.wrapper)
        argStrings.push_back(w.toStdString());
    argStrings.push_back(cli.toStdString());
    for (const QString &a : options.args)
        argStrings.push_back(a.toStdString());
    std::vector<std::string> envStrings = ChildEnvironment(options.fixedNow, !options.wrapper.isEmpty() || !options.executable.isEmpty());
    std::vector<char *> argv = CStrings(argStrings);
    std::vector<char *> envp = CStrings(envStrings);

    m_outPath = NextOutputName("out");
    m_errPath = NextOutputName("err");
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int out = ::open(QFile::encodeName(m_outPath).constData(),
                           O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int err = ::open(QFile::encodeName(m_errPath).constData(),
                           O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (in < 0 || out < 0 || err < 0) {
        for (int fd : {in, out, err})
            if (fd >= 0)
                ::close(fd);
        return;
    }
    m_start = std::chrono::steady_clock::now();
    m_pid = ::fork();
    if (m_pid == 0) {
        // Only async-signal-safe calls from here on.
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (drop && (::setgroups(options.groups.size(), options.groups.data()) != 0 || ::setgid(Nobody) != 0 || ::setuid(Nobody) != 0))
            ::_exit(126);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(in);
    ::close(out);
    ::close(err);
    m_started = m_pid > 0;
    if (m_started && options.killAfter) {
        std::this_thread::sleep_for(*options.killAfter);
        Kill();
    }
}

CliProcess::~CliProcess()
{
    if (m_pid > 0) {
        Kill();
        Wait();
    }
}

void CliProcess::Kill()
{
    if (m_pid > 0)
        ::kill(m_pid, SIGKILL);
}

bool CliProcess::Ended() const
{
    if (m_pid <= 0)
        return true;
    siginfo_t info {};
    return ::waitid(P_PID, id_t(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == m_pid;
}

CliResult CliProcess::Wait()
{
    CliResult result;
    result.started = m_started;
    if (m_pid <= 0)
        return result;
    int status = 0;
    struct rusage usage {};
    pid_t got;
    do {
        got = ::wait4(m_pid, &status, 0, &usage);
    } while (got < 0 && errno == EINTR);
    m_pid = -1;
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    if (got > 0) {
        result.exited = WIFEXITED(status);
        result.exitCode = result.exited ? WEXITSTATUS(status) : -1;
        result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        result.peakRssKb = usage.ru_maxrss;
    }
    result.out = ReadFile(m_outPath);
    result.err = ReadFile(m_errPath);
    QFile::remove(m_outPath);
    QFile::remove(m_errPath);
    return result;
}

CliResult RunCli(const CliOptions &options)
{
    CliProcess process(options);
    return process.Wait();
}

CliResult RunCli(const QStringList &args)
{
    CliOptions options;
    options.args = args;
    return RunCli(options);
}

void LineDigest::Add(const char *data, qsizetype size)
{
    const QByteArrayView view(data, size);
    ++count;
    sum1 += qHash(view, size_t(0x9e3779b97f4a7c15ULL));
    sum2 += quint64(qHash(view, size_t(0x243f6a8885a308d3ULL))) * 0x100000001b3ULL;
}

LineDigest DigestRecord(const QByteArray &bytes)
{
    LineDigest digest;
    const char *data = bytes.constData();
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = bytes.indexOf("\r\n", start);
        if (end < 0)
            break;
        digest.Add(data + start, end - start);
        start = end + 2;
    }
    if (start < bytes.size())
        digest.Add(data + start, bytes.size() - start);
    return digest;
}

QList<QByteArray> SplitCrLf(const QByteArray &bytes)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = bytes.indexOf("\r\n", start);
        if (end < 0)
            break;
        lines.append(bytes.mid(start, end - start));
        start = end + 2;
    }
    if (start < bytes.size())
        lines.append(bytes.mid(start));
    return lines;
}

QByteArray StampLine(const QString &time)
{
    return Sj(QStringLiteral("最終更新：2026/12/08 ") + time);
}

void Figure(const QString &text)
{
    std::cout << "[ figures  ] " << text.toStdString() << std::endl;
}

} // namespace reliability
