#include "data_file_watch.h"

#include "day_files.h"

namespace absence {

DataFileWatch DataFileWatch::Start()
{
    DataFileWatch watch;
    if (!IsDirectory(WorkingDirectory()))
        return watch;
    for (int digit = 0; digit <= 9; ++digit) {
        const QString path = DataFilePath(digit);
        const QString found = platform::FindEntry(path);
        Entry entry{found.isEmpty() ? path : found, {}};
        entry.stamp = platform::ReadEntryStamp(entry.path);
        watch.m_entries.append(entry);
    }
    return watch;
}

DataFileWatch::Look DataFileWatch::LookAgain() const noexcept
{
    bool compared = false;
    for (const Entry &entry : m_entries) {
        // Not known at the start: nothing to compare with.
        if (entry.stamp.state == platform::EntryStamp::State::Unknown)
            continue;
        const platform::EntryStamp now = platform::ReadEntryStamp(entry.path);
        if (now.state == platform::EntryStamp::State::Unknown)
            return Look::Unknown;
        if (now != entry.stamp)
            return Look::Changed;
        compared = true;
    }
    return compared ? Look::Same : Look::Unknown;
}

} // namespace absence
