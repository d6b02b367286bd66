#include "data_file_watch.h"

#include "day_files.h"
#include "day_files_p.h"
#include "files.h"

namespace absence {

namespace {

// Equal but for the case of ASCII letters, as the folder's look-up matches.
bool SameLetters(const QString &a, const QString &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const char16_t x = a.at(i).unicode(), y = b.at(i).unicode();
        const auto upper = [](char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - u'a' + u'A') : c; };
        if (upper(x) != upper(y))
            return false;
    }
    return true;
}

} // namespace

DataFileWatch DataFileWatch::Start(const QDate &day)
{
    DataFileWatch watch;
    watch.m_folder = WorkingDirectory();
    if (!fileSystem().IsDirectory(watch.m_folder))
        return watch;
    for (int digit = 0; digit <= 9; ++digit) {
        const QString path = DataFilePath(day, digit);
        const platform::EntryLookup found = LookUpDayFile(path);
        Entry entry{
            found.result == platform::EntryLookup::Result::Found ? found.path : path, DataFileName(day, digit), {}};
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
    bool missing = false; // a watched name is not there in its own case
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
        missing = missing || now.state == State::Absent;
        compared = true;
    }
    if (missing && AppearedInAnotherCase())
        return Look::Changed;
    return compared ? Look::Same : Look::Unknown;
}

bool DataFileWatch::AppearedInAnotherCase() const
{
    QStringList names;
    if (!platform::ListFolderNames(m_folder, names))
        return false;
    for (const QString &name : names) {
        for (const Entry &entry : m_entries) {
            if (entry.stamp.state == platform::EntryStamp::State::Absent && SameLetters(name, entry.name))
                return true;
        }
    }
    return false;
}

} // namespace absence
