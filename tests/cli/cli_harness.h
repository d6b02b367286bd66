#pragma once
// The command-line suite's own helpers on top of the shared ones: runs on a
// day's folder and reference re-orderings written independently of the core.

#include "support.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace clitest {

using namespace testsupport;

// Runs the given commands on the day held in `dir`, clock fixed.
CliResult RunIn(const DayDir &dir, const QStringList &args,
                const QString &locale = QStringLiteral("ja_JP.UTF-8"),
                const QString &fixedNow = QStringLiteral("2026-12-08T09:30:00"));

// The time and class keys of the plain reference the fuzz targets also check
// the core against, so the suite does not lean on the core's own keys.
int timeKey(const QByteArray &line);
int classKey(const QByteArray &line);

// The expected result of a stable re-ordering of `lines` by `key`.
QList<QByteArray> stableOrder(const QList<QByteArray> &lines, int (*key)(const QByteArray &));

// Standard output lines of `print` (UTF-8 text) back as code page 932 bytes.
QList<QByteArray> printedAsSj(const CliResult &result);

} // namespace clitest
