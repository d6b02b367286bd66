#pragma once
// The station window (欠席連絡受付): a call taken at a station typed into a
// form and written as one line at the end of the station's data file of the
// day, the station's lines of the day below it, newest first, as the file
// holds them.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QWidget>

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QRadioButton;
class QTimer;

namespace absence::ui {
class CaptionButton;
}

namespace absence::station {

// The station a window writes for: its data file's digit and the mark its
// lines begin with.
struct Station {
    int digit = -1; // 0..9, -1 unset
    char mark = '*';

    // As the user's settings remember it (the platform's own place).
    static Station Remembered();
    void Remember() const;
};

// The marks offered, with what they stand for.
struct MarkChoice {
    char mark;
    const char16_t *meaning;
};
inline constexpr MarkChoice Marks[] = {{'*', u"電話"}, {'#', u"連絡帳"}, {'@', u"Web フォーム"}};

// 区分, in the order of their keys F1 to F5.
inline constexpr const char16_t *Kinds[] = {u"欠席", u"遅刻", u"早退", u"出席停止", u"忌引"};

// The fields of a call as typed.
struct Call {
    QString time; // HH:MM:SS
    QString grade; // 学年
    QString group; // 組
    QString number; // 番号
    QString name; // 氏名
    QString kind; // 区分
    QString reason; // 理由
    QString remark; // 備考
    QString contact; // 連絡者
};

// The line of a call: "M HH:MM:SS G-C=N番 氏名 理由のため区分 備考（連絡者より）",
// the parts left empty left out.
QString ComposeLine(char mark, const Call &call);

// The station's choice of digit and mark, asked at the first start and
// whenever the operator changes it. False when cancelled.
bool AskStation(QWidget *parent, Station &station);

class StationWindow : public QWidget {
    Q_OBJECT
public:
    explicit StationWindow(const Station &station, QWidget *parent = nullptr);
    ~StationWindow() override;

    QLabel *StationCaption;
    QLineEdit *TimeEdit;
    QComboBox *ClassBox;
    QLineEdit *NumberEdit;
    QLineEdit *NameEdit;
    QButtonGroup *KindGroup;
    QList<QRadioButton *> KindButtons;
    QComboBox *ReasonBox;
    QLineEdit *RemarkEdit;
    QComboBox *ContactBox;
    QLabel *Preview;
    QLabel *Status;
    absence::ui::CaptionButton *WriteButton;
    QListWidget *Lines;
    absence::ui::CaptionButton *TakeBackButton;
    absence::ui::CaptionButton *StationButton;
    QTimer *Clock;

    const Station &station() const { return m_station; }
    void SetStation(const Station &station);

    // The form as typed, and the line it makes (empty without a class).
    Call TypedCall() const;
    QString PendingLine() const;

    // Writes the form's line (Enter); on success the form is cleared.
    void WriteCall();
    // Takes the selected line back out of the station's file, after asking.
    void TakeBack();
    // Reads the station's lines of the day back from its file.
    void ReadBack();
    // The clock: the time field follows it until it is typed into.
    void ClockTick();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void UpdatePreview();
    void ClearForm();
    void ShowStatus(const QString &text, bool error);

    Station m_station;
    bool m_timeTyped = false;
};

} // namespace absence::station
