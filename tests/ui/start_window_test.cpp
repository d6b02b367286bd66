// The start window: clock, run collection with and without a record file,
// fresh windows per run, the load error, keys and quitting.

#include <QApplication>
#include <QCalendarWidget>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include "absence_list.h"
#include "application.h"
#include "collection_window.h"
#include "day_files.h"
#include "record_file.h"
#include "start_window.h"
#include "ui_test_support.h"
#include "widgets.h"

using namespace testsupport;

namespace {

class StartWindowTest : public WindowTest {};

// The operator's answer to the message of a day without a record file.
std::function<void(QMessageBox *)> AcknowledgeNoRecord()
{
    return [](QMessageBox *box) {
        ExpectPlainMessage(box, QStringLiteral("欠席連絡記録ファイルはありません！"));
        Press(Qt::Key_Return);
    };
}

TEST_F(StartWindowTest, ClocksShowTheirNameUntilTheFirstTickThenTheMoment)
{
    EXPECT_EQ(top->DateTimePicker1->date(), Day()) << "today, from the clock";
    TForm1 form(top.get());
    EXPECT_EQ(top->Label2->text(), QStringLiteral("Label2"));
    EXPECT_EQ(form.Label1->text(), QStringLiteral("Label1"));
    for (QTimer *timer : {top->Timer1, form.Timer1}) {
        EXPECT_TRUE(timer->isActive());
        EXPECT_EQ(timer->interval(), 1000);
    }

    japanese.clock().set(At(7, 5, 9));
    // The first ticks, a second after the windows were made.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return top->Label2->text() != QStringLiteral("Label2") && form.Label1->text() != QStringLiteral("Label1"); },
        5000));
    EXPECT_EQ(top->Label2->text(), QStringLiteral("2026/12/08 7:05:09"));
    EXPECT_EQ(form.Label1->text(), QStringLiteral("2026/12/08 7:05:09"));
    // The labels widen to the text and keep their left edges.
    EXPECT_EQ(top->Label2->geometry(), QRect(QPoint(160, 96), top->Label2->sizeHint()));
    EXPECT_EQ(form.Label1->geometry(), QRect(QPoint(168, 72), form.Label1->sizeHint()));
    EXPECT_GT(top->Label2->width(), 118);

    japanese.clock().set(At(0, 0));
    top->Timer1Timer();
    EXPECT_EQ(top->Label2->text(), QStringLiteral("2026/12/08"));
}

TEST_F(StartWindowTest, TheDropDownCalendarKeepsTheWindowsFont)
{
    QDateEdit *picker = top->DateTimePicker1;
    // The arrow at the right end drops the month calendar down.
    QTest::mouseClick(picker, Qt::LeftButton, {}, QPoint(picker->width() - 6, picker->height() / 2));
    QCalendarWidget *calendar = picker->calendarWidget();
    ASSERT_TRUE(QTest::qWaitFor([&] { return calendar->isVisible(); }, 2000));
    EXPECT_EQ(calendar->font().family(), absence::ui::kGothicFace);
    EXPECT_EQ(calendar->font().pixelSize(), 12);
    EXPECT_EQ(calendar->selectedDate(), Day());
    calendar->window()->close();
}

TEST_F(StartWindowTest, DayWithoutRecordShowsTheMessageThenAnEmptyWindow)
{
    Operator op;
    op.then<QMessageBox>(AcknowledgeNoRecord()).then<TForm1>([&](TForm1 *form) {
        EXPECT_EQ(form, top->Form1.data());
        EXPECT_EQ(form->Items().Count(), 0);
        EXPECT_EQ(form->Edit1->text(), QStringLiteral("設定日：2026/12/08"));
        EXPECT_EQ(form->windowModality(), Qt::ApplicationModal);
        EXPECT_EQ(form->ListBox1->horizontalExtent(), 0);
        EXPECT_EQ(Focused(), form->BitBtn1);
        // Centred on the screen, clamped at 0 where the window is larger.
        EXPECT_EQ(form->pos(), absence::ui::CentredPosition(form->frameGeometry().size(),
                                                            form->screen()->geometry()));
        QTest::mouseClick(form->BitBtn3, Qt::LeftButton);
    });
    RunCollection(op);

    ASSERT_FALSE(top->Form1.isNull());
    EXPECT_EQ(top->Form1->result(), TForm1::ModalResultClosed);
    ProcessDeferredDeletes();
    EXPECT_TRUE(top->Form1.isNull()) << "the window is released on close";
    EXPECT_TRUE(QTest::qWaitForWindowActive(top.get()));
}

TEST_F(StartWindowTest, DayWithRecordOpensItsLinesInCollationOrderWithTheExtentFitted)
{
    const QString wide = QStringLiteral("*10:00:00 3-3=9番 ") + QString(70, QChar(0x6B20)); // 欠 x 70
    const QStringList saved{QStringLiteral("*09:00:00 2-1=1番 高橋"), wide,
                            QStringLiteral("最終更新：2026/12/07 16:20:00"),
                            QStringLiteral("*07:00:00 1-1=2番 井上")};
    day.write(RecordName(), SjLines(saved));
    absence::AbsenceList expected;
    QList<QByteArray> bytes;
    for (const QString &line : saved)
        bytes << Sj(line);
    expected.Assign(bytes);

    Operator op;
    op.then<TForm1>([&](TForm1 *form) {
        EXPECT_EQ(form->Items().Lines(), expected.Lines());
        EXPECT_EQ(form->Edit1->text(), QStringLiteral("設定日：2026/12/08"));
        const int widest = QFontMetrics(form->ListBox1->font()).horizontalAdvance(wide);
        const int extent = form->ListBox1->horizontalExtent();
        EXPECT_NEAR(extent, widest + 10, 1);
        QApplication::processEvents();
        QScrollBar *bar = form->ListBox1->horizontalScrollBar();
        EXPECT_TRUE(bar->isVisible()) << "the widest line does not fit";
        EXPECT_EQ(bar->maximum(), extent - form->ListBox1->viewport()->width());
        QTest::mouseClick(form->BitBtn3, Qt::LeftButton);
    });
    RunCollection(op);
}

TEST_F(StartWindowTest, RecordThatCannotBeOpenedIsReportedAndNoWindowOpens)
{
    ASSERT_TRUE(QDir().mkdir(RecordName()));
    Operator op;
    op.then<QMessageBox>([&](QMessageBox *box) {
        ExpectErrorReport(box, QStringLiteral("ﾌｧｲﾙ ") + day.file(RecordName())
                                   + QStringLiteral(" は開けません."));
        Press(Qt::Key_Escape);
    });
    RunCollection(op);
    ProcessDeferredDeletes();
    EXPECT_TRUE(top->Form1.isNull());
    EXPECT_TRUE(top->isVisible());
}

TEST_F(StartWindowTest, EachRunOpensAFreshWindowForItsOwnDay)
{
    WriteDayData();
    Operator first;
    first.then<QMessageBox>(AcknowledgeNoRecord()).then<TForm1>([&](TForm1 *form) {
        QTest::mouseClick(form->BitBtn2, Qt::LeftButton);
        EXPECT_EQ(form->Items().Count(), 5);
        QTest::mouseClick(form->BitBtn3, Qt::LeftButton);
    });
    RunCollection(first);
    QPointer<TForm1> firstWindow = top->Form1;
    ProcessDeferredDeletes();
    EXPECT_TRUE(firstWindow.isNull());

    top->DateTimePicker1->setDate(QDate(2026, 12, 9));
    Operator second;
    second.then<QMessageBox>(AcknowledgeNoRecord()).then<TForm1>([&](TForm1 *form) {
        EXPECT_EQ(form->Items().Count(), 0) << "nothing carried over from the first window";
        EXPECT_EQ(form->Edit1->text(), QStringLiteral("設定日：2026/12/09"));
        QTest::mouseClick(form->BitBtn2, Qt::LeftButton); // no data for this day
        QTest::mouseClick(form->BitBtn3, Qt::LeftButton);
    }).then<QMessageBox>([](QMessageBox *box) {
        ExpectPlainMessage(box, QStringLiteral("欠席記録データがありません"));
        Press(Qt::Key_Escape);
    });
    RunCollection(second);
    EXPECT_EQ(absence::ChosenDate, QDate(2026, 12, 9));
}

TEST_F(StartWindowTest, TabEnterAndEscape)
{
    EXPECT_EQ(Focused(), top->BitBtn1);
    Press(Qt::Key_Tab);
    EXPECT_EQ(Focused(), top->DateTimePicker1);
    Press(Qt::Key_Tab);
    EXPECT_EQ(Focused(), top->BitBtn2);
    Press(Qt::Key_Tab);
    EXPECT_EQ(Focused(), top->BitBtn1);
    Press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(Focused(), top->BitBtn2);
    Press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(Focused(), top->DateTimePicker1);

    {
        // Enter in the date picker, Esc anywhere, and Enter with a modifier
        // on a button press nothing: no modal window may come up.
        Operator op(300);
        Press(Qt::Key_Return);
        Press(Qt::Key_Escape);
        top->BitBtn1->setFocus();
        Press(Qt::Key_Return, Qt::ShiftModifier);
        Press(Qt::Key_Return, Qt::ControlModifier);
        QTest::qWait(100);
        EXPECT_EQ(op.problems(), QString());
        EXPECT_TRUE(top->isVisible());
    }

    Operator op;
    op.then<QMessageBox>(AcknowledgeNoRecord()).then<TForm1>([](TForm1 *form) {
        form->BitBtn3->click();
    });
    Press(Qt::Key_Return); // on BitBtn1: run collection
    EXPECT_TRUE(op.finished());
    EXPECT_EQ(op.problems(), QString());

    top->BitBtn2->setFocus();
    Press(Qt::Key_Enter);
    EXPECT_FALSE(top->isVisible()) << "quit closes the main window";
}

} // namespace
