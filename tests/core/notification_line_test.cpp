// A notification line read into its fields; the tally and the CSV made of them.

#include "absence_list.h"
#include "day_csv.h"
#include "notification_line.h"
#include "services.h"
#include "support.h"

using namespace absence;
using namespace testsupport;

namespace {

// The fields of a line as text, in the order of the CSV:
// 時刻|クラス|学年|組|番号|氏名|区分|出席簿|理由|症状|連絡者|記号|内容.
QString Fields(const QByteArray &line)
{
    const NotificationLine n = NotificationLine::Read(line);
    QStringList out;
    for (const QByteArray &field : {n.time, n.className, n.grade, n.group, n.number, n.name, KindText(n.kind),
                                    n.attendance, n.reason, SymptomText(n.symptom), n.contact, n.mark, n.content})
        out << FromCp932(field);
    return out.join(QLatin1Char('|'));
}

struct Row {
    QByteArray line;
    QString fields;
};

} // namespace

TEST(NotificationLine, ReadsEveryShapeIntoItsFields)
{
    JapaneseDay day;
    const auto sj = [](const char16_t *text) { return Sj(QString::fromUtf16(text)); };
    const Row rows[] = {
        // The samples' shapes.
        {sj(u"*07:02:15 2-3=12番 佐藤 花子 発熱のため欠席（母より）"),
         u"07:02:15|2-3|2|3|12|佐藤 花子|欠席|病|発熱|発熱|母|*|12番 佐藤 花子 発熱のため欠席（母より）"_qs},
        {sj(u"*07:05:40 1-1=3番 鈴木 一郎 通院のため遅刻 10時頃登校（母より）"),
         u"07:05:40|1-1|1|1|3|鈴木 一郎|遅刻|チ|通院||母|*|3番 鈴木 一郎 通院のため遅刻 10時頃登校（母より）"_qs},
        {sj(u"*07:25:00 2-1=30番 伊藤 翔 インフルエンザのため出席停止（母より）"),
         u"07:25:00|2-1|2|1|30|伊藤 翔|出席停止|停|インフルエンザ||母|*|30番 伊藤 翔 インフルエンザのため出席停止（母より）"_qs},
        {sj(u"*07:15:30 1-3=25番 小林 結衣 家事都合のため欠席（父より）"),
         u"07:15:30|1-3|1|3|25|小林 結衣|欠席|事|家事都合||父|*|25番 小林 結衣 家事都合のため欠席（父より）"_qs},
        {sj(u"@08:22:44 2-2=1番 池田 樹 家事都合のため早退 12時（父より）"),
         u"08:22:44|2-2|2|2|1|池田 樹|早退|早|家事都合||父|@|1番 池田 樹 家事都合のため早退 12時（父より）"_qs},
        {sj(u"#07:50:00  2-2=26番 前田 柚希 通院のため遅刻（兄より）"),
         u"07:50:00|2-2|2|2|26|前田 柚希|遅刻|チ|通院||兄|#|26番 前田 柚希 通院のため遅刻（兄より）"_qs},
        {sj(u"#07:55:25 3-4 =23番 岡田 悠真 腹痛のため欠席（弟より）"),
         u"07:55:25|3-4|3|4|23|岡田 悠真|欠席|病|腹痛|下痢・腹痛|弟|#|23番 岡田 悠真 腹痛のため欠席（弟より）"_qs},
        // Each rule's loose forms: full-width digits, blanks and brackets, 年 and 組.
        {sj(u"*08:00:00 １年２組=０５番　山田　　太郎　祖父の葬儀のため忌引(父より)"),
         u"08:00:00|1-2|1|2|5|山田 太郎|忌引|忌|祖父の葬儀||父|*|０５番　山田　　太郎　祖父の葬儀のため忌引(父より)"_qs},
        {sj(u"*08:00:00 3ー1=7番 森 蓮 熱が高いので休みます"),
         u"08:00:00|3-1|3|1|7|森 蓮|欠席|病|熱が高い|発熱||*|7番 森 蓮 熱が高いので休みます"_qs},
        {sj(u"*08:00:00 ２・ａ=佐藤 咳がひどく休ませます"),
         u"08:00:00|2-a|2|a||佐藤|欠席|病|咳がひどく|呼吸器症状||*|佐藤 咳がひどく休ませます"_qs},
        {sj(u"*08:00:00 　2／04　=08番 田中 頭痛で遅れます（母より）（祖母より）"),
         u"08:00:00|2-4|2|4|8|田中|遅刻|チ|頭痛|頭痛|祖母|*|08番 田中 頭痛で遅れます（母より）（祖母より）"_qs},
        {sj(u"*08:00:00 3 A=12番 体調不良により早引"),
         u"08:00:00|3-A|3|A|12||早退|早|体調不良|||*|12番 体調不良により早引"_qs},
        {sj(u"*08:00:00 3年=12番 山本 体調不良により欠席"),
         u"08:00:00|3|3||12|山本|欠席|病|体調不良|||*|12番 山本 体調不良により欠席"_qs},
        // The first kind word wins; at one position the longer symptom word.
        {sj(u"*08:00:00 1-1=5番 発熱で休む、明日も欠席"),
         u"08:00:00|1-1|1|1|5||欠席|病|発熱|発熱||*|5番 発熱で休む、明日も欠席"_qs},
        {sj(u"*08:00:00 1-1=5番 佐藤 欠席 吐き気と熱"),
         u"08:00:00|1-1|1|1|5|佐藤|欠席|病||嘔気・嘔吐||*|5番 佐藤 欠席 吐き気と熱"_qs},
        // Lines of no shape, a last-update line among them: read as far as
        // they go, never an error.
        {sj(u"*08:00:00 ｘ=12番 佐藤 欠席"), u"08:00:00|不明|||12|佐藤|欠席|事||||*|12番 佐藤 欠席"_qs},
        {sj(u"最終更新：2026/12/08 9:30:00"), u"ﾅ終更新\uFFFD|不明|||||不明|||||\uFFFD|"_qs},
        {"", u"|不明|||||不明||||||"_qs},
        {"*9:0", u"9:0|不明|||||不明|||||*|"_qs},
        {"*09:00:00 1-1==", u"09:00:00|1-1|1|1|||不明|||||*|="_qs},
        // "欠席" spelled by a trail byte and the bytes after it is no kind word.
        {"*09:00:00 1-1=\x93\x8c\x87\x90\xc8", u"09:00:00|1-1|1|1|||不明|||||*|東≒ﾈ"_qs},
    };
    for (const Row &row : rows)
        EXPECT_EQ(Fields(row.line), row.fields) << FromCp932(row.line).toStdString();
}

TEST(DayTally, ClassesInOrderWithTheirCountsAndTotals)
{
    JapaneseDay day;
    AbsenceList list;
    const QStringList lines{
        u"*08:00:00 2-B=1番 甲 欠席"_qs,       u"*08:00:00 10-1=1番 乙 発熱で欠席"_qs,
        u"*08:00:00 2-10=1番 丙 頭痛のため出席停止"_qs, u"*08:00:00 2-2=1番 丁 通院のため遅刻"_qs,
        u"*08:00:00 x=1番 戊 腹痛のため欠席"_qs,  u"*08:00:00 2=1番 己 忌引"_qs,
        u"*08:00:00 ２－２=2番 庚 連絡"_qs,      u"*08:00:00 2-2=3番 辛 家事都合で早退"_qs,
        u"最終更新：2026/12/08 9:30:00"_qs,
    };
    for (const QString &line : lines)
        list.Add(Sj(line));
    list.Add(QByteArray());
    const DayTally tally = TallyDay(list, Day());
    const auto csv = [](const Table &table) { return FromCp932(CsvText(table, "\n")); };
    EXPECT_EQ(csv(KindTable(tally)), u"クラス,欠席,遅刻,早退,出席停止,忌引,不明,計\n"
                                     "2,0,0,0,0,1,0,1\n2-2,0,1,1,0,0,1,3\n2-10,0,0,0,1,0,0,1\n2-B,1,0,0,0,0,0,1\n"
                                     "10-1,1,0,0,0,0,0,1\n不明,1,0,0,0,0,0,1\n計,3,1,1,1,1,1,8\n"_qs);
    EXPECT_EQ(csv(SymptomTable(tally)), u"クラス,欠席者,発熱,頭痛,呼吸器症状,下痢・腹痛,嘔気・嘔吐,発疹,その他\n"
                                        "2,0,0,0,0,0,0,0,0\n2-2,0,0,0,0,0,0,0,0\n2-10,1,0,1,0,0,0,0,0\n"
                                        "2-B,1,0,0,0,0,0,0,1\n10-1,1,1,0,0,0,0,0,0\n不明,1,0,0,0,1,0,0,0\n"
                                        "計,4,1,1,0,1,0,0,1\n"_qs);
    ASSERT_EQ(tally.unknownLines.size(), 1u);
    EXPECT_EQ(FromCp932(list.Get(tally.unknownLines[0])), u"*08:00:00 ２－２=2番 庚 連絡"_qs);
    EXPECT_EQ(tally.total.lineIndexes.size(), 8u) << "neither the stamp nor the empty line";
}

TEST(DayCsv, FieldsQuotedAndFormulasDisarmed)
{
    JapaneseDay day;
    QByteArray out;
    for (const QByteArrayView field : {"plain", "a,b", "say \"hi\"", "two\r\nlines", "=1+1", "+1", "-1", "@",
                                       "=a,\"b\"", "x=1", ""}) {
        AppendCsvField(out, field);
        out += '|';
    }
    EXPECT_EQ(out, "plain|\"a,b\"|\"say \"\"hi\"\"\"|\"two\r\nlines\"|'=1+1|'+1|'-1|'@|\"'=a,\"\"b\"\"\"|x=1||");

    AbsenceList list;
    EXPECT_EQ(DayCsv(list, Day(), CsvEncoding::Cp932),
              Sj(u"日付,時刻,クラス,学年,組,番号,氏名,区分,出席簿,理由,症状,連絡者,記号,内容\r\n"_qs));
    list.Add(Sj(u"@07:02:15 2-3=12番 佐藤 花子 発熱のため欠席（母より）"_qs));
    list.Add(Sj(u"*07:03:00 1-1==HYPERLINK(\"x\"),熱で休み"_qs) + "\x81"); // a lead byte cut off at the end
    const QByteArray cp932 = DayCsv(list, QDate(2026, 12, 8), CsvEncoding::Cp932);
    EXPECT_EQ(SplitCrLf(cp932).mid(1),
              (QList<QByteArray>{Sj(u"2026/12/08,07:02:15,2-3,2,3,12,佐藤 花子,欠席,病,発熱,発熱,母,'@,12番 佐藤 花子 発熱のため欠席（母より）"_qs),
                                 Sj(u"2026/12/08,07:03:00,1-1,1,1,,,欠席,病,\"'=HYPERLINK(\"\"x\"\"),熱\",発熱,,*,\"'=HYPERLINK(\"\"x\"\"),熱で休み"_qs) + "\x81\""}));
    const QByteArray utf8 = DayCsv(list, QDate(2026, 12, 8), CsvEncoding::Utf8Bom);
    EXPECT_TRUE(utf8.startsWith("\xef\xbb\xbf"));
    EXPECT_EQ(QString::fromUtf8(utf8.mid(3)), FromCp932(cp932));
}
