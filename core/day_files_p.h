#pragma once
// What the tests and the benchmarks use of the day's file names besides the
// front ends' part (day_files.h).

#include <QDate>
#include <QString>

namespace absence {

// The name of data file `digit` (0..9) of `day`, without its folder.
QString DataFileName(const QDate &day, int digit);

} // namespace absence
