// The members of a station's data file opened to take lines at its end that
// are the same on every system, and how long a held file is asked for
// again. The opening and the writing are the system's own
// (append_file_posix.cpp, append_file_windows.cpp), its AppendFilePrivate in
// the private header that CMake names for it.

#include "platform.h"
#include "platform_p.h"

#include ABSENCE_SYSTEM_P_H

#include <algorithm>
#include <chrono>
#include <thread>

namespace absence::platform {

namespace detail {

void RetryWhileHeld(const std::function<bool()> &openOnce)
{
    // How long a held file is asked for again, in all.
    constexpr auto WaitForHolder = std::chrono::seconds(5);
    const auto until = std::chrono::steady_clock::now() + WaitForHolder;
    for (auto pause = std::chrono::milliseconds(10);; pause = std::min(pause * 2, std::chrono::milliseconds(200))) {
        if (openOnce() || std::chrono::steady_clock::now() + pause > until)
            return;
        std::this_thread::sleep_for(pause);
    }
}

} // namespace detail

AppendFile::AppendFile(const QString &path) : d(std::make_unique<AppendFilePrivate>(path))
{
}
AppendFile::~AppendFile() = default;

AppendFile::Outcome AppendFile::outcome() const
{
    return d->outcome;
}

bool AppendFile::created() const
{
    return d->made;
}

} // namespace absence::platform
