#pragma once
// Realistic absence lines for large days, made deterministically, and the
// oracles the reliability tests check records against.

#include "support.h"

#include <QByteArray>
#include <QHash>
#include <QStringList>

namespace testsupport {

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

// Lines count..count+perFile*files-1, spread over the day's data files
// 0..files-1, each line ended by CR LF.
inline void WriteDay(const DayDir &dir, int files, int perFile)
{
    quint32 n = 0;
    for (int digit = 0; digit < files; ++digit) {
        QByteArray bytes;
        for (int k = 0; k < perFile; ++k)
            bytes += AbsenceLine(n++) + "\r\n";
        dir.write(DataName(digit), bytes);
    }
}

// The hour rule: when the first ':' is the third byte, a '0' goes in after
// the first byte.
inline QByteArray PadHour(const QByteArray &line)
{
    const bool colonThird = line.size() >= 3 && line[2] == ':' && line[0] != ':' && line[1] != ':';
    return colonThird ? line.left(1) + "0" + line.mid(1) : line;
}

// A multiset of lines summarised by count and two independent hash sums, for
// comparing millions of lines without holding a second copy of them.
struct LineDigest {
    quint64 count = 0;
    quint64 sum1 = 0;
    quint64 sum2 = 0;
    void Add(const char *data, qsizetype size)
    {
        const QByteArrayView view(data, size);
        ++count;
        sum1 += qHash(view, size_t(0x9e3779b97f4a7c15ULL));
        sum2 += quint64(qHash(view, size_t(0x243f6a8885a308d3ULL))) * 0x100000001b3ULL;
    }
    void Add(const QByteArray &line) { Add(line.constData(), line.size()); }
    bool operator==(const LineDigest &o) const
    {
        return count == o.count && sum1 == o.sum1 && sum2 == o.sum2;
    }
};

// The lines of record bytes (each ended by CR LF; a final piece without one
// counts too).
inline LineDigest DigestRecord(const QByteArray &bytes)
{
    LineDigest digest;
    qsizetype start = 0;
    for (qsizetype end; (end = bytes.indexOf("\r\n", start)) >= 0; start = end + 2)
        digest.Add(bytes.constData() + start, end - start);
    if (start < bytes.size())
        digest.Add(bytes.constData() + start, bytes.size() - start);
    return digest;
}

} // namespace testsupport
