#pragma once
// A day's file names in the working directory, and the presence test.

#include <QByteArray>
#include <QDate>
#include <QString>
#include <array>

namespace absence {

// The day being worked on; written by the start window (or the command line).
extern QDate ChosenDate;

// The short date rendering of the locale, separators unreplaced ("2026/12/08").
QByteArray ShortDateText(const QDate &date);
// The short date rendering with its first two "/" turned into "-".
QByteArray MakeDateTag(const QDate &date);

// The process's current directory without a trailing separator (the root keeps
// its own); empty when it cannot be read (for example, it was removed).
QString WorkingDirectory();

// True when `path` exists and is a directory (links followed).
bool IsDirectory(const QString &path);

// Name and full path of data file `digit` (0..9) of ChosenDate.
QString DataFileName(int digit);
QString DataFilePath(int digit);
// The paths of data files 0..9, made with one date rendering.
std::array<QString, 10> DataFilePaths();
// Name and full path of ChosenDate's record file.
QString RecordFileName();
QString RecordFilePath();

// The entry that `path` names, its file name matched without regard to the case
// of its letters; an exact match wins. Empty when there is none or when the
// working directory does not exist.
QString FindEntry(const QString &path);

// True when no entry of any kind (file, directory, link...) bears the name.
bool IsFileAbsent(const QString &path);

} // namespace absence
