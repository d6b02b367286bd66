#pragma once
// The command-line suite's data: a small, fully known morning used by several
// tests, and reference re-orderings written independently of the core.

#include "reference.h"
#include "support.h"
#include "reorder_p.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <numeric>
#include <vector>

namespace testsupport {

// The time and class keys of the plain reference the fuzz targets also check
// the core against, so the suite does not lean on the core's own keys.
inline int timeKey(const QByteArray &line)
{
    return ref::TimeKey(line.toStdString());
}

inline int classKey(const QByteArray &line)
{
    return ref::ClassKey(line.toStdString());
}

// The expected result of a stable re-ordering of `lines` by `key`.
inline QList<QByteArray> stableOrder(const QList<QByteArray> &lines, int (*key)(const QByteArray &))
{
    std::vector<int> order(lines.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return key(lines[a]) < key(lines[b]); });
    QList<QByteArray> sorted;
    for (int i : order)
        sorted.append(lines[i]);
    return sorted;
}

// Standard output lines of `print` (UTF-8 text) back as code page 932 bytes.
inline QList<QByteArray> printedAsSj(const CliResult &result)
{
    QList<QByteArray> lines;
    for (const QString &line : result.outLines())
        lines.append(Sj(line));
    return lines;
}

// The morning: letters name the lines after hour normalisation; the comments
// give time key and class key.

// As stored in the list (one-digit hours padded).
inline const QString A = QStringLiteral("*07:05:00 2-1=山田 太郎 発熱のため欠席");     // 70500, 2
inline const QString B = QStringLiteral("*08:10:00 1-2=佐藤 花子 通院のため遅刻");     // 81000, 1
inline const QString C = QStringLiteral("*07:30:00 3-1=鈴木 一郎 腹痛のため欠席");     // 73000, 3
inline const QString D = QStringLiteral("#07:45:00 1-3=田中 美咲 寝坊のため遅刻");     // 74500, 1
inline const QString E = QStringLiteral("*08:10:00 1-1=高橋 健太 風邪のため欠席");     // 81000, 1
inline const QString F = QStringLiteral("*06:55:00 2-3=伊藤 翔 家事都合のため欠席");   // 65500, 2
inline const QString G = QStringLiteral("#07:31:00 3-2=中村 葵 頭痛のため遅刻");       // 73100, 3
inline const QString H = QStringLiteral("*10:20:00 2-2=小林 蓮 通院のため遅刻");       // 102000, 2
inline const QString I = QStringLiteral("*09:15:00  3-4 =森 結菜 発熱のため欠席");     // 91500, 3
inline const QString J = QStringLiteral("*08:00:00 職員=山本 先生 通院のため遅刻");    // 80000, 0

// The same lines as written in the data files (hours as people write them).
inline void writeMorning(const DayDir &dir, const QString &tag = QLatin1String(kDay),
                         const QByteArray &terminator = "\r\n")
{
    dir.writeLines(tag + QStringLiteral("A0.TXT"),
                   {QStringLiteral("*7:05:00 2-1=山田 太郎 発熱のため欠席"),
                    QStringLiteral("*8:10:00 1-2=佐藤 花子 通院のため遅刻")},
                   terminator);
    dir.writeLines(tag + QStringLiteral("A1.TXT"),
                   {QStringLiteral("*7:30:00 3-1=鈴木 一郎 腹痛のため欠席"),
                    QStringLiteral("#07:45:00 1-3=田中 美咲 寝坊のため遅刻"),
                    QStringLiteral("*8:10:00 1-1=高橋 健太 風邪のため欠席")},
                   terminator);
    dir.writeLines(tag + QStringLiteral("A3.TXT"),
                   {QStringLiteral("*6:55:00 2-3=伊藤 翔 家事都合のため欠席"),
                    QStringLiteral("#7:31:00 3-2=中村 葵 頭痛のため遅刻"),
                    QStringLiteral("*10:20:00 2-2=小林 蓮 通院のため遅刻")},
                   terminator);
    dir.writeLines(tag + QStringLiteral("A9.TXT"),
                   {QStringLiteral("*9:15:00  3-4 =森 結菜 発熱のため欠席"),
                    QStringLiteral("*8:00:00 職員=山本 先生 通院のため遅刻")},
                   terminator);
}

// The order by time of the morning, whatever the collation does with "#".
inline QStringList morningByTime()
{
    return {F, A, C, G, D, J, E, B, I, H};
}

// The order by class after the order by time.
inline QStringList morningByTimeThenClass()
{
    return {J, D, E, B, F, A, H, C, G, I};
}

// The "*" lines in collation order (they differ first in their digits).
inline QStringList morningStarLinesCollated()
{
    return {F, A, C, J, E, B, I, H};
}

} // namespace testsupport
