#pragma once
// Realistic absence lines for large days, made deterministically.

#include "cli_process.h"

#include <QByteArray>
#include <QStringList>

namespace reliability {

// Notification line number n: a mark byte, a time (one-digit hours for the
// early ones, as the writers send them), a class and Japanese details.
inline QByteArray AbsenceLine(quint32 n)
{
    static const QStringList marks{QStringLiteral("*"), QStringLiteral("#"), QStringLiteral("ｹ")};
    static const QStringList details{
        QStringLiteral("風邪のため欠席"), QStringLiteral("発熱　午後から登校"),
        QStringLiteral("通院のため遅刻"), QStringLiteral("家庭の事情により欠席"),
        QStringLiteral("腹痛のため早退"), QStringLiteral("忌引き")};
    static QList<QByteArray> encodedMarks, encodedDetails;
    if (encodedMarks.isEmpty()) {
        for (const QString &m : marks)
            encodedMarks.append(Sj(m));
        for (const QString &d : details)
            encodedDetails.append(Sj(d));
    }
    const quint32 h = 6 + (n * 7919u) % 6;
    const quint32 m = (n * 104729u) % 60;
    const quint32 s = (n * 1299709u) % 60;
    QByteArray line = encodedMarks.at(int(n % 3));
    line += QByteArray::number(h) + ':' + QByteArray::number(m).rightJustified(2, '0') + ':'
            + QByteArray::number(s).rightJustified(2, '0');
    line += ' ' + QByteArray::number(1 + n % 3) + '-' + QByteArray::number(1 + (n / 3) % 6) + " =";
    line += encodedDetails.at(int((n / 7) % 6));
    line += ' ' + QByteArray::number(n);
    return line;
}

// Lines count..count+perFile*files-1, spread over data files 0..files-1 of
// 2026-12-08, each line ended by CR LF.
inline void WriteDay(const DayDir &dir, int files, int perFile)
{
    quint32 n = 0;
    for (int digit = 0; digit < files; ++digit) {
        QByteArray bytes;
        for (int k = 0; k < perFile; ++k)
            bytes += AbsenceLine(n++) + "\r\n";
        dir.write(QStringLiteral("2026-12-08A%1.TXT").arg(digit), bytes);
    }
}

// A one-digit hour gains a leading "0" (the first ":" is the third byte).
inline QByteArray PadHour(const QByteArray &line)
{
    return line.indexOf(':') == 2 ? line.left(1) + '0' + line.mid(1) : line;
}

} // namespace reliability
