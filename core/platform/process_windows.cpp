// The process on Windows: its standard streams, its start, the user's date
// and time settings, and the system's error codes (with the hook through
// which tests make a step of the file layer fail).

#include "platform_p.h"
#include "windows_p.h"

#include "program.h"
#include "services.h"

#include <QLocale>

#include <atomic>
#include <cstdio>
#include <string>
#include <utility>
#include <fcntl.h>
#include <io.h>

namespace absence::platform {

namespace win {

int CodeOf(DWORD err)
{
    constexpr DWORD DiskFullCode = 101;
    if (err == ERROR_DISK_FULL || err == ERROR_HANDLE_DISK_FULL)
        return int(DiskFullCode);
    return int(err);
}

namespace {
StepHook &stepHook()
{
    static StepHook hook;
    return hook;
}
} // namespace

void SetStepHook(StepHook hook)
{
    stepHook() = std::move(hook);
}

DWORD StepError(Step step, const QString &path)
{
    const StepHook &hook = stepHook();
    return hook ? hook(step, path) : 0;
}

} // namespace win

LocaleSettings SystemLocaleSettings()
{
    // Qt's system locale reads the user's regional settings (short date,
    // time format, AM/PM designators) through GetLocaleInfoEx.
    return LocaleSettings::fromLocale(QLocale::system());
}

QString SystemLocaleName()
{
    return QStringLiteral("the regional settings (%1)").arg(QLocale::system().name());
}

} // namespace absence::platform

namespace absence {

namespace {

HANDLE consoleOf(Stream stream)
{
    const HANDLE h = ::GetStdHandle(stream == Stream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    return h != INVALID_HANDLE_VALUE && h && ::GetConsoleMode(h, &mode) ? h : nullptr;
}

} // namespace

bool WriteText(Stream stream, QByteArrayView utf8)
{
    // A console shows UTF-16 correctly whatever its code page; files and
    // pipes get the UTF-8 bytes.
    if (const HANDLE console = consoleOf(stream)) {
        std::fflush(platform::detail::StreamFile(stream));
        const QString text = QString::fromUtf8(utf8);
        const auto *data = reinterpret_cast<const wchar_t *>(text.utf16());
        qsizetype left = text.size();
        while (left > 0) {
            DWORD n = 0;
            if (!::WriteConsoleW(console, data, DWORD(std::min<qsizetype>(left, 8192)), &n, nullptr) || n == 0)
                return false;
            data += n;
            left -= n;
        }
        return true;
    }
    return WriteBytes(stream, utf8);
}

namespace {

std::atomic<bool> endDeferred{false};

// Ctrl-C, Ctrl-Break, a closed console, a logoff or a shutdown: called on a
// thread of its own; the system's handler then ends the program.
BOOL WINAPI WaitForDeferredEnd(DWORD)
{
    while (endDeferred.load())
        ::Sleep(1);
    return FALSE;
}

} // namespace

namespace platform::detail {

EndDeferred::EndDeferred()
{
    endDeferred.store(true);
}

EndDeferred::~EndDeferred()
{
    endDeferred.store(false);
}

} // namespace platform::detail

void PrepareProcess()
{
    // Bytes as they are: no CR put before LF by the C runtime. The windowed
    // program has no standard streams unless it was given some, and the C
    // runtime may end a program that sets the mode of a stream it lacks.
    for (const auto &[stream, handle] : {std::pair(stdout, STD_OUTPUT_HANDLE), std::pair(stderr, STD_ERROR_HANDLE)}) {
        const HANDLE h = ::GetStdHandle(handle);
        const int fd = _fileno(stream);
        if (h && h != INVALID_HANDLE_VALUE && fd >= 0)
            _setmode(fd, _O_BINARY);
    }
    // A missing drive or an empty card reader is an error code, not a box.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // The console's requests to end wait for a line being appended.
    ::SetConsoleCtrlHandler(WaitForDeferredEnd, TRUE);
}

std::string ExecutablePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (n == 0)
            return std::string();
        if (n < path.size())
            return QString::fromWCharArray(path.data(), int(n)).toStdString();
        path.resize(path.size() * 2);
    }
}

} // namespace absence
