#pragma once
// The start window: the application's main window. A running clock, the
// date picker for the day to work on, run collection and quit.

#include <QPointer>
#include <QWidget>

class QDateEdit;
class QLabel;
class QTimer;
class TForm1;

namespace absence::ui {
class CaptionButton;
}

class TForm_top : public QWidget {
    Q_OBJECT
public:
    explicit TForm_top(QWidget *parent = nullptr);
    ~TForm_top() override;

    QLabel *Label1;
    QLabel *Label2;
    QLabel *StaticText1;
    QLabel *StaticText2;
    QDateEdit *DateTimePicker1;
    absence::ui::CaptionButton *BitBtn1;
    absence::ui::CaptionButton *BitBtn2;
    QLabel *StaticText3;
    QTimer *Timer1;

    // The collection window of the latest run.
    QPointer<TForm1> Form1;

    void Timer1Timer();
    // Run collection: a fresh collection window for the picked day, filled
    // from the day's record file when there is one, shown modally.
    void BitBtn1Click();
    // Quit.
    void BitBtn2Click();
};
