#pragma once
// The reading of a line as positions in it, without copies: what the tally
// and the CSV take from a day of lines. NotificationLine::Read makes its
// fields from this.

#include "notification_line.h"

#include <string>

namespace absence::detail {

struct LineReading {
    QByteArrayView mark, time, content;
    // Normalised; std::string keeps these short texts without allocating.
    std::string grade, group, number;
    // 氏名: from nameBegin to nameEnd of the content, its words joined by
    // one blank (see AppendName); empty when nameBegin == nameEnd.
    qsizetype nameBegin = 0, nameEnd = 0;
    QByteArrayView reason, contact;
    NotificationKind kind = NotificationKind::Unknown;
    Symptom symptom = Symptom::None;
    bool illness = false; // 理由 holds a word of illness (通院, 受診, ...)

    bool classKnown() const { return !grade.empty(); }
    // クラス as the tables and the CSV write it; "不明" when unknown.
    void AppendClass(QByteArray &out) const;
    void AppendClass(std::string &out) const;
    void AppendName(QByteArray &out) const;
    void AppendName(std::string &out) const;
    // 出席簿 in code page 932 (empty for an unknown kind).
    QByteArrayView Attendance() const;
};

// What a reading takes: the whole line, or what the tally counts by (the
// contact left unread).
enum class Reading { Whole, ForTally };
LineReading ReadLine(QByteArrayView line, Reading reading = Reading::Whole);

// "不明" in code page 932.
QByteArrayView UnknownText();

} // namespace absence::detail
