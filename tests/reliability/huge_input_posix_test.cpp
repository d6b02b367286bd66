// Huge and hostile data files: collected and saved byte for byte (a NUL ends
// an entry, a Ctrl-Z ends the file), with the peak memory of the run reported
// against the input size.

#include "day_data.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace testsupport;

namespace {

// The bytes of a literal, NULs included.
template <size_t N>
QByteArray Raw(const char (&text)[N])
{
    return QByteArray(text, qsizetype(N - 1));
}

qint64 HugeBytes()
{
    const int mb = qEnvironmentVariableIntValue("ABSENCE_HUGE_MB");
    return qint64(mb > 0 ? mb : 200) << 20;
}

// What the list holds for a data file: lines end at CR, CR LF or LF, a Ctrl-Z
// ends the file, empty lines are skipped, one-digit hours padded, and each
// entry ends at its first NUL.
QList<QByteArray> Entries(const QByteArray &file)
{
    QList<QByteArray> out;
    const qsizetype stop = file.indexOf('\x1a');
    const QByteArray text = stop < 0 ? file : file.left(stop);
    QByteArray line;
    auto finish = [&] {
        if (!line.isEmpty()) {
            const QByteArray padded = PadHour(line);
            out.append(padded.left(padded.indexOf('\0') < 0 ? padded.size() : padded.indexOf('\0')));
        }
        line.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            finish();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            line += c;
        }
    }
    finish();
    return out;
}

QList<QByteArray> Sorted(QList<QByteArray> lines)
{
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The peak of a run that does nothing: a forked child starts with the test's
// resident pages, so this is the floor of every figure.
long FloorRssKb()
{
    return RunCliMeasured(QStringList{QStringLiteral("--help")}).peakRssKb;
}

QString Ratio(const CliResult &run, qint64 input, long floorKb)
{
    return QStringLiteral("peak RSS %1 MB = %2 x the input (floor %3 MB), %4 s")
        .arg(run.peakRssKb / 1024)
        .arg(double(run.peakRssKb) * 1024 / double(input), 0, 'f', 2)
        .arg(floorKb / 1024)
        .arg(run.seconds, 0, 'f', 1);
}

} // namespace

TEST(HugeInput, HugeDataFileIsCollectedAndSavedWhole)
{
    DayDir dir;
    ASSERT_TRUE(dir.isValid());
    const qint64 size = HugeBytes();
    QByteArray file;
    file.reserve(size + 256);
    LineDigest expected;
    for (quint32 n = 0; file.size() < size; ++n) {
        const QByteArray line = AbsenceLine(n);
        file += line;
        file += "\r\n";
        expected.Add(PadHour(line));
    }
    expected.Add(StampLine());
    dir.write(DataName(4), file);
    const qint64 input = file.size();
    file = QByteArray();

    const long floorKb = FloorRssKb();
    const CliResult run = RunCliMeasured(DayArgs(dir.path(), {QStringLiteral("collect"), QStringLiteral("save")}));
    ASSERT_EQ(run.exitCode, 0) << run.errText().toStdString();
    EXPECT_TRUE(DigestRecord(dir.read(RecordName())) == expected);
    Figure(QStringLiteral("data file of %1 MB (%2 lines): collect save, %3")
               .arg(double(input) / (1 << 20), 0, 'f', 1).arg(expected.count - 1).arg(Ratio(run, input, floorKb)));
}

TEST(HugeInput, FiftyMegabyteLineIsKeptWhole)
{
    DayDir dir;
    ASSERT_TRUE(dir.isValid());
    // One line without a terminator, the last of its file.
    QByteArray line = Sj(QStringLiteral("*9:05:00 2-3 ="));
    const QByteArray phrase = Sj(QStringLiteral("体調不良のため本日は欠席いたします。"));
    while (line.size() < (50 << 20))
        line += phrase;
    dir.write(DataName(2), line);
    const QByteArray other = Sj(QStringLiteral("*8:10:00 1-1 =通院"));
    dir.write(DataName(6), other + "\r\n");
    // Only a digest stays here, so the child does not start with our copy.
    LineDigest expected;
    for (const QByteArray &l : {PadHour(line), PadHour(other), StampLine()})
        expected.Add(l);
    const qint64 input = line.size();
    line = QByteArray();

    const long floorKb = FloorRssKb();
    const CliResult run = RunCliMeasured(DayArgs(dir.path(), {QStringLiteral("collect"), QStringLiteral("time"),
                                                       QStringLiteral("save")}));
    ASSERT_EQ(run.exitCode, 0) << run.errText().toStdString();
    EXPECT_TRUE(DigestRecord(dir.read(RecordName())) == expected);
    Figure(QStringLiteral("one line of %1 MB: collect time save, %2")
               .arg(double(input) / (1 << 20), 0, 'f', 1).arg(Ratio(run, input, floorKb)));
}

TEST(HugeInput, HostileBytesAreKeptByteForByte)
{
    DayDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray invalid = Raw("*7:00:00 1-1 =\x80\xa0\xfd\xfe\xff\r\n"
                                   "*7:01:00 1-2 =\x81\x20\x9f\x7f\xe0\r\n"
                                   "*7:02:00 1-3 =lone lead at the end\x81\r\n"
                                   "\xb1\xb2\xb3 8:00:00 half-width kana\r\n");
    const QByteArray nuls = Raw("*7:03:00 2-1 =before\0after\r\n\0starts with NUL\r\n"
                                "*7:04:00 2-2 =NUL at the end\0\r\n\r\n\r\n"
                                "LF only\nline\n\rCR only\rlast");
    const QByteArray ctrlZ = Raw("*7:05:00 3-1 =before Ctrl-Z\r\n*7:06:00 3-2 =cut here\x1a"
                                 "never read\r\n*7:07:00 3-3 =never read\r\n");
    const QByteArray ctrlZInLine = Raw("*9:59:59 4-4 =a\x1a\x1a\r\n");
    const QList<QByteArray> files{invalid, nuls, ctrlZ, ctrlZInLine};
    QList<QByteArray> expected;
    for (int digit = 0; digit < files.size(); ++digit) {
        dir.write(DataName(digit * 2), files[digit]);
        expected += Entries(files[digit]);
    }
    ASSERT_EQ(expected.size(), 14);
    ASSERT_TRUE(expected.contains(QByteArray())); // the line that began with NUL

    const CliResult saved = RunCli(DayArgs(dir.path(), {QStringLiteral("collect"), QStringLiteral("save"),
                                                 QStringLiteral("print")}));
    ASSERT_EQ(saved.exitCode, 0) << saved.errText().toStdString();
    const QByteArray record = dir.read(RecordName());
    EXPECT_EQ(Sorted(SplitCrLf(record)), Sorted(expected + QList<QByteArray>{StampLine()}));

    // Read back, the record gives the same entries, and saving again keeps them.
    const CliResult reopened = RunCli(DayArgs(dir.path(), {QStringLiteral("--raw"), QStringLiteral("open"),
                                                    QStringLiteral("print")}));
    ASSERT_EQ(reopened.exitCode, 0) << reopened.errText().toStdString();
    EXPECT_EQ(Sorted(SplitCrLf(reopened.out)), Sorted(SplitCrLf(record)));
}
