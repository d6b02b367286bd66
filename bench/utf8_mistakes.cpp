// absence_bench_utf8_mistakes: is any code page 932 file taken for UTF-8,
// or any UTF-8 file for code page 932?
//
// The shipped sample day and a generated corpus of station files (names in
// kanji, kana and half-width katakana, full-width digits, times, classes,
// reasons, and short half-width katakana lines that happen to be valid
// two-byte UTF-8) are written in code page 932, then read by the program as
// data files and loaded as records. A file is mistaken when what is read is
// not its own bytes. The same corpus is written as UTF-8 with and without a
// byte order mark, as Notepad saves it: each must read as its code page 932
// lines. Files of names only, of the shape that is valid UTF-8 (a level-2
// kanji of lead E0-EA and trail 80-BF, then a character of lead 81-9F and
// trail 40-7E), are read as the program reads a file's bytes: every such
// two-character name, and three- and four-character ones sampled. Prints
// the counts; exits 1 when any file was mistaken.

#include "absence_list.h"
#include "collection.h"
#include "collection_p.h"
#include "files_p.h"
#include "record_file.h"
#include "record_file_p.h"
#include "services.h"
#include "text_encoding.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>

using absence::AbsenceList;

namespace {

QStringList Words(const char *text)
{
    return QString::fromUtf8(text).split(u' ');
}

const QStringList Family = Words(
    "佐藤 鈴木 高橋 田中 伊藤 渡辺 山本 中村 小林 加藤 吉田 山田 佐々木 山口 松本 井上 木村 林 清水 山崎 "
    "森 池田 橋本 阿部 石川 山下 中島 石井 小川 前田 岡田 長谷川 藤田 後藤 近藤 村上 遠藤 青木 坂本 斉藤 "
    "福田 太田 西村 藤井 金子 岡本 藤原 中野 三浦 原田 松田 竹内 小野 田村 中山 和田 石田 森田 上田 原 "
    "柴田 酒井 工藤 横山 宮崎 宮本 内田 高木 安藤 島田 谷口 大野 丸山 今井 河野 藤本 村田 武田 上野 杉山 "
    "増田 小山 平野 大塚 千葉 久保 松井 岩崎 野口 菅原 木下 野村 佐野 菊地 杉本 熊谷 髙橋 齋藤 渡邊 濱田 "
    "ｻﾄｳ ﾀﾅｶ ｽｽﾞｷ ﾔﾏﾀﾞ さとう たなか");
const QStringList Given = Words(
    "花子 一郎 健太 美咲 翔 大輔 さくら 拓海 結衣 蓮 葵 悠斗 凛 颯太 芽依 湊 彩 大和 七海 陸 結菜 樹 "
    "莉子 航 美月 奏太 心春 蒼 陽向 柚希 ひなた ゆい あおい めい こはる りん そうた はると マリア エマ "
    "ケン ジョン 陽翔 蒼空 碧 湊斗 凪 紬 澪 杏 朔 ﾊﾅｺ ﾀﾛｳ ﾕｲ ﾐｷ ﾏｷ ﾘｶ ﾅｵ ﾕｷ ﾃﾂ ｿｳﾀ ｹﾝ");
const QStringList Classes = Words(
    "1-1 1-2 1-3 1-4 2-1 2-2 2-3 2-4 3-1 3-2 3-3 3-4 １-２ ２-１ ３-４ 1年1組 2年3組 3年2組 "
    "１年２組 ２年Ａ組 特支 職員 1-A 2-B");
const QStringList Reasons = Words(
    "発熱のため欠席 風邪のため欠席 腹痛のため欠席 頭痛のため遅刻 通院のため遅刻 嘔吐のため欠席 "
    "家事都合のため欠席 法事のため欠席 寝坊のため遅刻 インフルエンザのため出席停止 歯科受診のため遅刻 "
    "家事都合のため早退 忌引き（祖父） 体調不良 コロナ陽性 ｺﾛﾅ陽性 ｶｾﾞ ﾈﾂ ﾂｳｲﾝ ｿｳﾀｲ 微熱 "
    "通院のため２時間目から登校 １０時頃登校予定 9:30登校 午後から登校 ３校時から 熱３８．５℃ "
    "咳が出るため様子見 家族の看病 電車遅延 部活動の大会 眼科受診 耳鼻科 おたふく風邪 水ぼうそう "
    "胃腸炎 ケガのため 骨折のため見学 交通事故 保健室登校 ① ② ※連絡済 ■要確認 ★");
const QStringList Callers = Words(
    "（母より） （父より） （祖母より） （本人より） (母) (父) 母 父 祖父 兄 姉 担任へ伝言 ");
// Half-width katakana whose code page 932 bytes are also a two-byte UTF-8
// character: a lead of ﾂ to ﾟ, a trail of ｡ to ｿ.
const QStringList KanaPairs = Words("ﾏｷ ﾘｶ ﾐｷ ﾕｷ ﾅｵ ﾃｽ ﾄｳ ﾆｲ ﾐｶ ﾘｻ ﾏｲ ﾆｼ ﾉｿ ﾊｲ ﾑｻ ﾚｲ");

class Corpus {
public:
    QString Pick(const QStringList &list) { return list[int(m_rng() % unsigned(list.size()))]; }
    unsigned Below(unsigned n) { return unsigned(m_rng() % n); }

    QString Digits(int value, int width, bool fullWidth)
    {
        QString text = QString::number(value).rightJustified(width, u'0');
        if (fullWidth) {
            for (QChar &c : text)
                c = QChar(c.unicode() - u'0' + 0xFF10);
        }
        return text;
    }

    QString Line()
    {
        const bool wide = Below(10) == 0;
        const int h = 6 + int(Below(5)), m = int(Below(60)), s = int(Below(60));
        QString line = QString(Pick(Words("* * * # @ ＊")));
        line += Digits(h, Below(3) == 0 ? 2 : 1, wide) + (wide ? u'：' : u':') + Digits(m, 2, wide) + u':'
            + Digits(s, 2, false) + u' ' + Pick(Classes) + (Below(3) == 0 ? u'＝' : u'=');
        if (Below(2))
            line += Digits(1 + int(Below(40)), 1, Below(4) == 0) + QStringLiteral("番 ");
        line += Pick(Family) + (Below(2) ? u' ' : u'　') + Pick(Given) + u' ' + Pick(Reasons);
        if (Below(2))
            line += Pick(Callers);
        return line;
    }

    // A short line of half-width katakana pairs: valid UTF-8 of two-byte
    // sequences only.
    QString KanaLine()
    {
        QString line = QStringLiteral("*") + QString::number(7 + Below(3)) + QStringLiteral(":00:00 1-1=");
        for (unsigned n = 1 + Below(3); n > 0; --n)
            line += Pick(KanaPairs) + (n > 1 ? QStringLiteral(" ") : QString());
        return line;
    }

private:
    std::mt19937 m_rng{20261208};
};

// What reading a data file as code page 932 gives: lines end at CR, CR LF or
// LF, Ctrl-Z ends the file, empty lines are left out, one-digit hours padded.
QList<QByteArray> Cp932Lines(const QByteArray &file)
{
    QList<QByteArray> lines;
    QByteArray line;
    const QByteArray text = file.left(file.indexOf('\x1a') < 0 ? file.size() : file.indexOf('\x1a'));
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const char c = i < text.size() ? text[i] : '\n';
        if (c != '\r' && c != '\n') {
            line += c;
            continue;
        }
        if (!line.isEmpty())
            lines << absence::NormaliseHour(line);
        line.clear();
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
    }
    return lines;
}

// True when the file's bytes come back as they are, as a data file and as a
// record.
bool ReadAsItself(AbsenceList &list, const QString &path, const QByteArray &bytes)
{
    if (absence::ReadDataFile(path) != Cp932Lines(bytes))
        return false;
    absence::Load(list, path);
    QList<QByteArray> loaded = list.Lines(), split = absence::SplitRecordText(bytes);
    std::sort(loaded.begin(), loaded.end());
    std::sort(split.begin(), split.end());
    return loaded == split;
}

// True when the program reads `bytes` (a data file's, no Ctrl-Z) as they are.
bool ReadAsCodePage932(const QByteArray &bytes)
{
    const std::unique_ptr<absence::ByteSource> text =
        absence::Cp932Text(std::make_unique<absence::MemoryBytes>(bytes, 64 * 1024), '\x1a');
    QByteArray read;
    for (QByteArrayView piece; text->Next(piece) && !piece.isEmpty();)
        read += piece;
    return read == bytes;
}

// The code page 932 characters of those leads and trails that it
// holds (assigned, not user-defined).
QList<QByteArray> Characters(uchar firstLead, uchar lastLead, uchar firstTrail, uchar lastTrail)
{
    QList<QByteArray> out;
    for (int lead = firstLead; lead <= lastLead; ++lead) {
        for (int trail = firstTrail; trail <= lastTrail; ++trail) {
            const QByteArray c = QByteArray(1, char(lead)) + char(trail);
            const QString text = absence::FromCp932(c);
            if (text.size() == 1 && text != u"\uFFFD" && !(text[0] >= u'\uE000' && text[0] <= u'\uF8FF')
                && absence::ToCp932(text) == c)
                out << c;
        }
    }
    return out;
}

struct NamesTally {
    qint64 files = 0;
    qint64 validUtf8 = 0; // of them, valid UTF-8 with a three-byte sequence
    qint64 mistaken = 0;
};

void CheckNames(NamesTally &tally, const QByteArray &bytes)
{
    ++tally.files;
    const bool utf8 = QString::fromUtf8(bytes).toUtf8() == bytes
                      && std::any_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) >= 0xE0; });
    tally.validUtf8 += utf8;
    if (!ReadAsCodePage932(bytes)) {
        if (++tally.mistaken <= 10)
            std::fprintf(stderr, "  names mistaken for UTF-8: %s\n", bytes.toHex(' ').constData());
    }
}

struct Tally {
    int files = 0;
    qint64 lines = 0;
    int mistaken = 0;
    int twoByteUtf8 = 0; // files that are valid UTF-8 without a longer sequence
};

// `file` (UTF-8) read as `bytes`, its code page 932 form.
void CheckUtf8(Tally &tally, AbsenceList &list, const QString &path, const QByteArray &file, const QByteArray &bytes)
{
    ++tally.files;
    tally.lines += Cp932Lines(bytes).size();
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(file) != file.size())
        std::exit(2);
    out.close();
    if (absence::ReadDataFile(path) != Cp932Lines(bytes)) {
        ++tally.mistaken;
        std::fprintf(stderr, "  UTF-8 mistaken for code page 932: %s\n", qPrintable(path));
        return;
    }
    absence::Load(list, path);
    QList<QByteArray> loaded = list.Lines(), split = absence::SplitRecordText(bytes);
    std::sort(loaded.begin(), loaded.end());
    std::sort(split.begin(), split.end());
    if (loaded != split) {
        ++tally.mistaken;
        std::fprintf(stderr, "  UTF-8 record mistaken for code page 932: %s\n", qPrintable(path));
    }
}

void Check(Tally &tally, AbsenceList &list, const QString &path, const QByteArray &bytes)
{
    ++tally.files;
    tally.lines += Cp932Lines(bytes).size();
    const auto any = [&](uchar from) {
        return std::any_of(bytes.begin(), bytes.end(), [from](char c) { return uchar(c) >= from; });
    };
    if (QString::fromUtf8(bytes).toUtf8() == bytes && any(0x80) && !any(0xE0))
        ++tally.twoByteUtf8;
    if (!ReadAsItself(list, path, bytes)) {
        ++tally.mistaken;
        std::fprintf(stderr, "  mistaken for UTF-8: %s\n", qPrintable(path));
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    AbsenceList list;

    Tally samples;
    const QDir sampleDir(QStringLiteral(ABSENCE_SOURCE_DIR "/samples"));
    for (const QString &name : sampleDir.entryList({QStringLiteral("*.TXT")}, QDir::Files)) {
        QFile file(sampleDir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            return 2;
        const QByteArray bytes = file.readAll();
        file.close(); // a record is opened only when no one else has it open
        Check(samples, list, file.fileName(), bytes);
    }

    QTemporaryDir work;
    if (!work.isValid())
        return 2;
    Corpus corpus;
    Tally generated, utf8, utf8Marked;
    // Station files of one to forty lines; every tenth a few short
    // half-width katakana lines only.
    for (int n = 0; generated.lines < 100000; ++n) {
        QStringList lines;
        const bool kana = n % 10 == 0;
        for (unsigned k = kana ? 1 + corpus.Below(3) : 1 + corpus.Below(40); k > 0; --k)
            lines << (kana ? corpus.KanaLine() : corpus.Line());
        const QString text = lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
        const QByteArray bytes = absence::ToCp932(text);
        if (absence::FromCp932(bytes) != text) {
            std::fprintf(stderr, "the corpus holds a character code page 932 lacks: %s\n", qPrintable(lines.join(u'|')));
            return 2;
        }
        const QString path = work.filePath(QStringLiteral("%1.TXT").arg(n));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return 2;
        file.close();
        Check(generated, list, path, bytes);
        const QByteArray asUtf8 = text.toUtf8();
        CheckUtf8(utf8, list, work.filePath(QStringLiteral("%1-utf8.TXT").arg(n)), asUtf8, bytes);
        CheckUtf8(utf8Marked, list, work.filePath(QStringLiteral("%1-bom.TXT").arg(n)), "\xEF\xBB\xBF" + asUtf8, bytes);
    }

    // Names only, of the shape that is valid UTF-8.
    const QList<QByteArray> kanji = Characters(0xE0, 0xEA, 0x80, 0xBF), second = Characters(0x81, 0x9F, 0x40, 0x7E);
    NamesTally two, three, four, lists;
    for (const QByteArray &a : kanji) {
        for (const QByteArray &b : second)
            CheckNames(two, a + b + "\r\n");
    }
    std::mt19937 rng(20261210);
    const auto pick = [&rng](const QList<QByteArray> &from) { return from[int(rng() % unsigned(from.size()))]; };
    for (int n = 0; n < 200000; ++n) {
        CheckNames(three, pick(kanji) + pick(second) + pick(kanji) + "\r\n");
        CheckNames(four, pick(kanji) + pick(second) + pick(kanji) + pick(second) + "\r\n");
    }
    // A class's list: one to forty such names, a line each.
    for (int n = 0; n < 20000; ++n) {
        QByteArray bytes;
        for (unsigned k = 1 + rng() % 40; k > 0; --k)
            bytes += pick(kanji) + pick(second) + (rng() % 2 ? pick(kanji) + pick(second) : QByteArray()) + "\r\n";
        CheckNames(lists, bytes);
    }

    std::printf("samples:   %d files / %lld lines, %d mistaken for UTF-8\n", samples.files, samples.lines,
                samples.mistaken);
    std::printf("generated: %d files / %lld lines (%d of the files valid UTF-8 of two-byte sequences only), "
                "%d mistaken for UTF-8\n",
                generated.files, generated.lines, generated.twoByteUtf8, generated.mistaken);
    std::printf("as UTF-8:  %d files / %lld lines without a byte order mark, %d with one; %d and %d mistaken "
                "for code page 932\n",
                utf8.files, utf8.lines, utf8Marked.files, utf8.mistaken, utf8Marked.mistaken);
    const auto names = [](const char *what, const NamesTally &t) {
        std::printf("names:     %lld %s (%lld of them valid UTF-8), %lld mistaken for UTF-8\n", t.files, what,
                    t.validUtf8, t.mistaken);
    };
    names("files of one two-character name (all of the shape)", two);
    names("files of one three-character name (sampled)", three);
    names("files of one four-character name (sampled)", four);
    names("files of 1 to 40 such names", lists);
    const qint64 wrong = qint64(samples.mistaken) + generated.mistaken + utf8.mistaken + utf8Marked.mistaken
                         + two.mistaken + three.mistaken + four.mistaken + lists.mistaken;
    return wrong == 0 ? 0 : 1;
}
