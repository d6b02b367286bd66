// The front end's runs on POSIX systems: as another, unprivileged user, and
// forked here when the child's own peak memory is wanted.

#include "support.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <string>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace testsupport {

bool DropsPrivileges()
{
    return ::geteuid() == 0;
}

unsigned UnprivilegedUid()
{
    return DropsPrivileges() ? Nobody : ::geteuid();
}

namespace {

// The build tree may lie where the unprivileged user cannot reach (a clone in
// a private folder): that user runs a copy kept in a folder open to all.
QString CopyReachableByAll(const QString &cli)
{
    static const struct Copy {
        QTemporaryDir dir{QStringLiteral("/tmp/absence-cli-XXXXXX")};
        QString path = dir.filePath(QStringLiteral("absence-collector-cli"));
        explicit Copy(const QString &from)
        {
            const auto reachable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                              | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
            if (!dir.isValid() || !QFile::setPermissions(dir.path(), reachable) || !QFile::copy(from, path)
                || !QFile::setPermissions(path, reachable))
                path.clear();
        }
    } copy(cli);
    return copy.path.isEmpty() ? cli : copy.path;
}

} // namespace

QString PrepareChild(QProcess &process, const CliRun &run)
{
    if (!run.unprivileged || !DropsPrivileges())
        return run.executable.isEmpty() ? CliPath() : run.executable;
    std::vector<gid_t> groups(run.groups.begin(), run.groups.end());
    process.setChildProcessModifier([groups] {
        // Between fork and exec: async-signal-safe calls only.
        if (::setgroups(groups.size(), groups.data()) != 0 || ::setgid(Nogroup) != 0 || ::setuid(Nobody) != 0)
            ::_exit(126);
    });
    return run.executable.isEmpty() ? CopyReachableByAll(CliPath()) : run.executable;
}

CliResult RunCliMeasured(const CliRun &run)
{
    CliResult result;
    if (run.unprivileged || !run.executable.isEmpty() || !run.wrapper.isEmpty()
        || !run.workingDirectory.isEmpty() || !run.standardOutputFile.isEmpty() || run.closeStandardOutput) {
        ADD_FAILURE() << "a measured run takes its arguments, locale and clock only";
        return result;
    }
    std::vector<std::string> argStrings{QFile::encodeName(CliPath()).toStdString()};
    for (const QString &arg : run.args)
        argStrings.push_back(arg.toStdString());
    std::vector<std::string> envStrings;
    for (const QString &entry : CliEnvironment(run).toStringList())
        envStrings.push_back(entry.toStdString());
    auto pointers = [](std::vector<std::string> &strings) {
        std::vector<char *> out;
        for (std::string &s : strings)
            out.push_back(s.data());
        out.push_back(nullptr);
        return out;
    };
    std::vector<char *> argv = pointers(argStrings), envp = pointers(envStrings);

    // Standard output and error go to files, so that nothing blocks the child.
    QTemporaryDir scratch;
    const QString outPath = scratch.filePath(QStringLiteral("out")), errPath = scratch.filePath(QStringLiteral("err"));
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int out = ::open(QFile::encodeName(outPath).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const int err = ::open(QFile::encodeName(errPath).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = in < 0 || out < 0 || err < 0 ? -1 : ::fork();
    if (pid == 0) {
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    for (const int fd : {in, out, err})
        if (fd >= 0)
            ::close(fd);
    result.started = pid > 0;
    int status = 0;
    struct rusage usage {};
    pid_t got = -1;
    while (result.started && (got = ::wait4(pid, &status, 0, &usage)) < 0 && errno == EINTR) {
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (got == pid) {
        result.finished = true;
        result.crashed = WIFSIGNALED(status);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        result.peakRssKb = usage.ru_maxrss;
    }
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    return result;
}

CliResult RunCliMeasured(const QStringList &args)
{
    CliRun run;
    run.args = args;
    return RunCliMeasured(run);
}

} // namespace testsupport

namespace testsupport {

bool EndedByKill(const CliResult &run)
{
    return run.crashed && run.signal == SIGKILL;
}

// inotify tells the save's opening of the old record (IN_OPEN) and the new
// one renamed over it (IN_MOVED_TO); the new record has no name until then.
struct SaveStepWatch::Private {
    QByteArray name;
    int fd = -1;
};

SaveStepWatch::SaveStepWatch(const QString &dir, const QString &name, Step step, qint64)
    : d(std::make_unique<Private>())
{
    d->name = QFile::encodeName(name);
    d->fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    const uint32_t events = step == Step::OpenedRecord ? IN_OPEN : IN_MOVED_TO;
    if (d->fd >= 0 && ::inotify_add_watch(d->fd, QFile::encodeName(dir).constData(), events) < 0) {
        ::close(d->fd);
        d->fd = -1;
    }
    EXPECT_GE(d->fd, 0) << "inotify: " << std::strerror(errno);
}

SaveStepWatch::~SaveStepWatch()
{
    if (d->fd >= 0)
        ::close(d->fd);
}

bool SaveStepWatch::CanSee() const
{
    return d->fd >= 0;
}

bool SaveStepWatch::Wait(CliProcess &process)
{
    alignas(inotify_event) char buf[4096];
    for (unsigned spin = 0;; ++spin) {
        const ssize_t n = ::read(d->fd, buf, sizeof buf);
        for (ssize_t at = 0; at < n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buf + at);
            if (event->len > 0 && d->name == event->name)
                return true;
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
        if (spin % 64 == 0 && process.Ended())
            return false;
    }
}

} // namespace testsupport
