#pragma once
// The day's absence record file and its last-update line.

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>

namespace absence {

class AbsenceList;

// Short date, blank, long time; the blank and the time are left out at
// exactly midnight (milliseconds ignored).
QByteArray DateTimeText(const QDateTime &moment);
// Stamps the list with a last-update line and writes the record file of
// `day` atomically. Raises ListIndexError (empty list), FileCreateError,
// WriteError.
void Save(AbsenceList &list, const QDate &day);

// Looks the record file of `day` up; true when it is absent. Otherwise, and
// also when it is absent from a folder that is there, `path` is set to its
// path (as the folder spells it when found), which Load then takes.
bool FindRecordFile(const QDate &day, QString &path);

// Reads the record file into the list (Assign). Raises FileOpenError and
// leaves the list as it was.
void Load(AbsenceList &list, const QString &path);

} // namespace absence
