#pragma once
// The list's collation of two lines, for the tests and fuzz targets that
// check the order it keeps.

#include <QByteArray>

namespace absence {

class AbsenceList;

// Collation rank comparison of two lines (negative, zero, positive).
int CompareLines(const AbsenceList &list, const QByteArray &a, const QByteArray &b);

} // namespace absence
