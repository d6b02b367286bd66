// The process on POSIX systems: the standard streams, the signals the file
// handling relies on, the user's locale settings, and what errno values mean
// to the operator.

#include "platform.h"
#include "platform_p.h"
#include "posix_p.h"

#include "errors.h"
#include "program.h"
#include "services.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <climits>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <utility>

namespace absence::platform {

namespace posix {

int IoErrorCode(int err)
{
    switch (err) {
    case ENOENT:
        return 2;
    case ENOTDIR:
    case ENAMETOOLONG:
        return 3;
    case EMFILE:
    case ENFILE:
        return 4;
    case EACCES:
    case EPERM:
    case EISDIR:
        return AccessDeniedCode;
    case EBUSY:
    case ETXTBSY:
        return SharingViolationCode;
    case ENOSPC:
        return 101;
    case EIO:
        // ERROR_IO_DEVICE: errno's own 5 would read as access denied.
        return 1117;
    default:
        return err;
    }
}

} // namespace posix

LocaleSettings SystemLocaleSettings()
{
    return LocaleSettings::fromEnvironment();
}

QString SystemLocaleName()
{
    // The order LocaleSettings::fromEnvironment takes them in.
    for (const char *var : {"LC_ALL", "LC_TIME", "LANG"}) {
        const QString value = qEnvironmentVariable(var);
        if (!value.isEmpty())
            return QString::fromLatin1(var) + QLatin1Char('=') + value;
    }
    return QStringLiteral("the C locale (no LC_ALL, LC_TIME or LANG)");
}

namespace {

extern "C" void ignoreSignal(int)
{
}

} // namespace

} // namespace absence::platform

namespace absence {

bool WriteText(Stream stream, QByteArrayView utf8)
{
    return WriteBytes(stream, utf8);
}

std::string ExecutablePath()
{
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    return length > 0 ? std::string(self, size_t(length)) : std::string();
}

namespace {

// Bit 0: an EndDeferred lives; the bits above it: the signal that came
// meanwhile.
std::atomic<int> endState{0};
static_assert(std::atomic<int>::is_always_lock_free, "used in a signal handler");

void EndNow(int sig)
{
    struct sigaction sa { };
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    ::sigaction(sig, &sa, nullptr);
    // In the handler the signal is blocked: it ends the program on return.
    ::raise(sig);
}

} // namespace

extern "C" void deferEnd(int sig)
{
    const int savedErrno = errno;
    int state = endState.load();
    while (state & 1) {
        if (endState.compare_exchange_weak(state, 1 | (sig << 1))) {
            errno = savedErrno;
            return;
        }
    }
    EndNow(sig);
    errno = savedErrno;
}

namespace platform::detail {

EndDeferred::EndDeferred()
{
    endState.store(1);
}

EndDeferred::~EndDeferred()
{
    if (const int sig = endState.exchange(0) >> 1)
        EndNow(sig);
}

} // namespace platform::detail

void PrepareProcess()
{
    // A lease break sends the holder SIGIO, whose default action ends the
    // process; the break needs no answer, as the file is released as soon as
    // it is read. A closed pipe must give a write error, not end the program
    // silently. Handlers rather than SIG_IGN, so that programs started from
    // here do not inherit ignored signals; handlers already set are kept. The
    // requests to end wait for a line being appended; one ignored (the SIGHUP
    // of nohup) stays ignored.
    const std::pair<int, void (*)(int)> handlers[] = {
        {SIGIO, platform::ignoreSignal},
        {SIGPIPE, platform::ignoreSignal},
        {SIGINT, deferEnd},
        {SIGTERM, deferEnd},
        {SIGHUP, deferEnd},
        {SIGQUIT, deferEnd},
    };
    for (const auto &[sig, handler] : handlers) {
        struct sigaction old { };
        if (::sigaction(sig, nullptr, &old) != 0)
            continue;
        if (!(old.sa_flags & SA_SIGINFO) && old.sa_handler == SIG_DFL) {
            struct sigaction sa { };
            sa.sa_handler = handler;
            sigemptyset(&sa.sa_mask);
            sa.sa_flags = SA_RESTART;
            ::sigaction(sig, &sa, nullptr);
        }
    }
}

} // namespace absence
