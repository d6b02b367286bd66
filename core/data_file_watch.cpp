#include "data_file_watch.h"

#include "day_files.h"
#include "files.h"

namespace absence {

DataFileWatch DataFileWatch::Start(const QDate &day)
{
    DataFileWatch watch;
    watch.m_folder = WorkingDirectory();
    if (!fileSystem().IsDirectory(watch.m_folder))
        return watch;
    for (int digit = 0; digit <= 9; ++digit) {
        const QString path = DataFilePath(day, digit);
        const platform::EntryLookup found = LookUpDayFile(path);
        Entry entry{found.result == platform::EntryLookup::Result::Found ? found.path : path, {}};
        entry.stamp = platform::ReadEntryStamp(entry.path);
        watch.m_entries.append(entry);
    }
    return watch;
}

DataFileWatch::Look DataFileWatch::LookAgain() noexcept
{
    using State = platform::EntryStamp::State;
    if (m_vanished) {
        // A file's name is missing as well when its folder is gone.
        return platform::ReadEntryStamp(m_folder).state == State::Present ? Look::Changed : Look::Unknown;
    }
    bool compared = false;
    for (const Entry &entry : m_entries) {
        // Not known at the start: nothing to compare with.
        if (entry.stamp.state == State::Unknown)
            continue;
        const platform::EntryStamp now = platform::ReadEntryStamp(entry.path);
        if (now.state == State::Unknown)
            return Look::Unknown;
        if (now != entry.stamp) {
            if (now.state == State::Absent) {
                m_vanished = true;
                return Look::Unknown;
            }
            return Look::Changed;
        }
        compared = true;
    }
    return compared ? Look::Same : Look::Unknown;
}

} // namespace absence
