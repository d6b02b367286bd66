#pragma once
// A day's file names in the working directory, and the presence test.

#include <QByteArray>
#include <QDate>
#include <QString>
#include <array>

#include "platform/platform.h"

namespace absence {

// The day the start window chose, which the windows work on. The core's
// operations take the day they work on as a value.
extern QDate ChosenDate;

// The short date rendering of the locale, separators unreplaced ("2026/12/08").
QByteArray ShortDateText(const QDate &date);
// The short date rendering with its first two "/" turned into "-".
QByteArray MakeDateTag(const QDate &date);

// The process's current directory without a trailing separator (the root keeps
// its own); empty when it cannot be read (for example, it was removed).
QString WorkingDirectory();

// Full path of data file `digit` (0..9) of `day`.
QString DataFilePath(const QDate &day, int digit);
// The paths of data files 0..9 of `day`, made with one date rendering.
std::array<QString, 10> DataFilePaths(const QDate &day);
// Name and full path of the record file of `day`.
QString RecordFileName(const QDate &day);
QString RecordFilePath(const QDate &day);

// The entry that `path` names in the working directory, its file name
// matched without regard to the case of its letters (platform::LookUpEntry);
// Absent when the working directory does not exist.
platform::EntryLookup LookUpDayFile(const QString &path);

// When none of the data files of `day` is there under the names the
// locale's short date gives, but one is under the yyyy-MM-dd names (the
// Japanese short date's): that one's name, as the folder spells it. Empty
// otherwise, also when the locale gives those very names. A collection that
// found nothing then did not read the day.
QString DataFileUnderIsoName(const QDate &day);

// True only when no entry of any kind (file, directory, link...) bears the
// name, as the system says, or the working directory does not exist. A
// look-up that fails otherwise counts as present: opening the file then
// reports why, rather than the file being skipped in silence.
bool IsFileAbsent(const QString &path);

} // namespace absence
