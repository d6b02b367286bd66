#pragma once
// The day in numbers: the notification lines of a list counted by class, by
// kind and, for the absentees, by symptom, for the staff meeting's sheet and
// the noon health report.

#include "notification_line.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <vector>

namespace absence {

class AbsenceList;

struct ClassTally {
    QByteArray className; // クラス, "不明" for lines without one; "計" for the total
    int kinds[NotificationKindCount] = {}; // lines of each 区分
    int lines = 0; // 計
    int absentees = 0; // 欠席 and 出席停止
    int symptoms[SymptomCount] = {}; // of the absentees; [Symptom::None] is その他
    std::vector<int> lineIndexes; // the class's lines, in the list's order
};

struct DayTally {
    QDate day;
    // By 学年, then 組 (numbers as numbers, letters after them), 不明 last.
    std::vector<ClassTally> classes;
    ClassTally total;
    // The lines whose 区分 is 不明, in the list's order.
    std::vector<int> unknownLines;
};

// True for the lines that are notifications: not empty, not a last-update
// line (wherever it stands).
bool IsNotification(QByteArrayView line);

// Reads every notification line of the list as it stands.
DayTally TallyDay(const AbsenceList &list, const QDate &day);

// The two tables as rows of cells in code page 932, the header first and the
// 計 row last:
//   クラス,欠席,遅刻,早退,出席停止,忌引,不明,計
//   クラス,欠席者,発熱,頭痛,呼吸器症状,下痢・腹痛,嘔気・嘔吐,発疹,その他
using Table = QList<QList<QByteArray>>;
Table KindTable(const DayTally &tally);
Table SymptomTable(const DayTally &tally);

} // namespace absence
