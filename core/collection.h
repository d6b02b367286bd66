#pragma once
// Reading a day's data files into the absence list.

#include <QDate>

namespace absence {

class AbsenceList;

// The collection run: clears the list and gathers data files 0..9 of `day`.
// On an I/O error the lines read so far stay in the list.
void Collect(AbsenceList &list, const QDate &day);

} // namespace absence
