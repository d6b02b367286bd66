#pragma once
// One notification line as the stations write it, e.g.
//   *7:02:15 2-3=12番 佐藤 花子 発熱のため欠席（母より）
// read into its fields without changing the line. The one place that knows
// the line's layout: the sort keys, the hour padding and the last-update test
// read the line through it too.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

namespace absence {

// 区分, in the order of the tally's columns.
enum class NotificationKind : quint8 { Absence, Late, EarlyLeave, Suspension, Bereavement, Unknown };
inline constexpr int NotificationKindCount = 6;

// 症状: the category of the first symptom word; None when there is none.
enum class Symptom : quint8 { None, Fever, Headache, Respiratory, Digestive, Nausea, Rash };
inline constexpr int SymptomCount = 7;

// The words as the tables and the CSV write them, in code page 932:
// 欠席, 遅刻, 早退, 出席停止, 忌引, 不明; 発熱, 頭痛, ... (empty for None).
QByteArray KindText(NotificationKind kind);
QByteArray SymptomText(Symptom symptom);

// The fields of a line, each in code page 932: the line's own bytes where
// the field is a piece of the line (時刻, 内容, 氏名, 理由, 連絡者, 記号), the
// normalised form where the field is read (クラス, 学年, 組, 番号). What cannot
// be read is empty; the kind is then Unknown. Reading never fails.
struct NotificationLine {
    QByteArray mark; // 記号: byte 1
    QByteArray time; // 時刻: bytes 2 to 9 as held
    QByteArray className; // クラス: "2-3", "1" or "不明"
    QByteArray grade; // 学年: "2" (empty when the class is unknown)
    QByteArray group; // 組: "3", "A" (empty when none)
    QByteArray content; // 内容: everything after the first "="
    QByteArray number; // 番号: "12", without leading zeros
    QByteArray name; // 氏名: "佐藤 花子"
    NotificationKind kind = NotificationKind::Unknown; // 区分
    QByteArray reason; // 理由: "発熱"
    Symptom symptom = Symptom::None; // 症状
    QByteArray attendance; // 出席簿: 病, 事, 停, 忌, チ, 早 or empty
    QByteArray contact; // 連絡者: "母"

    static NotificationLine Read(QByteArrayView line);

    // The layout, byte positions counted from 1.
    // The class field: byte 11 up to the byte before the first "=" (empty
    // when there is no "=" or it comes before byte 12).
    static QByteArrayView ClassField(QByteArrayView line);
    // Bytes 2 to 9 (fewer when the line is shorter).
    static QByteArrayView TimeField(QByteArrayView line);
    // The time key of the time order: HHMMSS read as a decimal number from
    // bytes 2 to 9 (09:05:00 gives 90500).
    static qint32 TimeKey(QByteArrayView line);
    // The class key of the class order: the class field's leading number.
    static qint32 ClassKey(QByteArrayView line);
    // True when the hour has one digit: the first ":" is byte 3.
    static bool HasOneDigitHour(QByteArrayView line);
    // "最終更新", the beginning of a last-update line.
    static QByteArrayView LastUpdateMark();
    // A last-update line: longer than eight bytes, beginning with "最終更新".
    static bool IsLastUpdate(QByteArrayView line);
};

} // namespace absence
