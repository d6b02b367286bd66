#pragma once
// The sort keys, their byte string helpers and the exchange of lines that
// the re-orderings are made of, for the tests and fuzz targets that check
// them one by one.

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>
#include <vector>

namespace absence {

class AbsenceList;

// Key of line i at index i, sized to the list by each re-ordering.
extern std::vector<qint32> SortKeyTable;

// Byte string helpers; positions count from 1. Each returns its input
// unchanged when its condition fails.
QByteArray TakeLeft(const QByteArray &s, qsizetype n);
QByteArray TakeMid(const QByteArray &s, qsizetype from, qsizetype count);
QByteArray TakeRight(const QByteArray &s, qsizetype n);
QByteArray Trim(const QByteArray &s);
// Leading blanks, an optional sign or "$" (hexadecimal), digits; clamped to
// the signed 32-bit range.
qint32 ParseLeadingInt(QByteArrayView s);

// The keys of the two orders (see NotificationLine).
qint32 TimeKey(const QByteArray &line);
qint32 ClassKey(const QByteArray &line);

// Re-orders lines first..last into ascending SortKeyTable order, equal keys
// keeping their order; other lines and the current row are untouched.
void ExchangeSort(AbsenceList &list, int first, int last);

} // namespace absence
