// The station window: a call typed and written by keys alone, the line read
// back by the tally's reader, a line taken back, a write that fails.

#include <QButtonGroup>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "notification_line.h"
#include "station_window.h"
#include "ui_test_support.h"
#include "widgets.h"

using namespace testsupport;
using absence::station::StationWindow;

namespace {

// What the keyboard gives the focused field: the input method's commit for
// Japanese text, plain keys otherwise.
void Type(const QString &text)
{
    bool ascii = true;
    for (const QChar c : text)
        ascii = ascii && c.unicode() < 0x80;
    if (ascii) {
        QTest::keyClicks(Focused(), text);
        return;
    }
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(Focused(), &commit);
}

class StationWindowTest : public UiTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(day.isValid());
        window = std::make_unique<StationWindow>(absence::station::Station{3, '*'});
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void TearDown() override
    {
        window.reset();
        UiTest::TearDown();
    }

    // From the time field, Tab by Tab: class, number, name, kind (by its
    // key), reason, remark, caller, then Enter.
    void TypeCall(const QStringList &fields, int kindKey)
    {
        ASSERT_EQ(Focused(), window->TimeEdit);
        Press(Qt::Key_Tab);
        for (int i = 0; i < fields.size(); ++i) {
            if (i == 3) {
                Press(kindKey);
                ASSERT_EQ(Focused(), window->KindGroup->checkedButton()) << "the kind is one stop";
            } else {
                Type(fields[i]);
            }
            Press(Qt::Key_Tab);
        }
        Press(Qt::Key_Return);
    }

    std::unique_ptr<StationWindow> window;
};

TEST_F(StationWindowTest, ACallTypedByKeysIsWrittenAsShownAndReadsBackAsTyped)
{
    TypeCall({"2-2", "8", "森 大翔", "", "発熱", "10時頃登校", "母"}, Qt::Key_F2);
    const QString line = QStringLiteral("*09:30:15 2-2=8番 森 大翔 発熱のため遅刻 10時頃登校（母より）");
    EXPECT_EQ(day.read(DataName(3)), Sj(line) + "\r\n");
    EXPECT_EQ(window->Status->text(), QStringLiteral("受け付けました"));
    ASSERT_EQ(window->Lines->count(), 1);
    EXPECT_EQ(window->Lines->item(0)->text(), line);
    // The form is cleared for the next call, the focus back on its first field.
    EXPECT_EQ(Focused(), window->TimeEdit);
    EXPECT_TRUE(window->NameEdit->text().isEmpty());
    EXPECT_TRUE(window->ReasonBox->currentText().isEmpty());
    EXPECT_EQ(window->KindGroup->checkedId(), 0);

    // The tally's reader gives back the fields as typed.
    const absence::NotificationLine read = absence::NotificationLine::Read(Sj(line));
    EXPECT_EQ(read.mark, "*");
    EXPECT_EQ(read.time, "09:30:15");
    EXPECT_EQ(read.className, "2-2");
    EXPECT_EQ(read.number, "8");
    EXPECT_EQ(read.name, Sj("森 大翔"));
    EXPECT_EQ(read.kind, absence::NotificationKind::Late);
    EXPECT_EQ(read.reason, Sj("発熱"));
    EXPECT_EQ(read.contact, Sj("母"));

    // The preview is the line as it will be written; the time typed into
    // stops following the clock; the class written before is offered.
    Press(Qt::Key_Backspace);
    Type("08:05:00");
    japanese.clock().set(At(9, 31));
    window->ClockTick();
    Press(Qt::Key_Tab);
    EXPECT_EQ(window->ClassBox->itemText(0), "2-2");
    Type("１－３");
    Press(Qt::Key_Tab);
    Press(Qt::Key_Tab);
    Type("田中 美咲");
    const QString second = QStringLiteral("*08:05:00 1-3=田中 美咲 欠席");
    EXPECT_EQ(window->Preview->text(), second);
    Press(Qt::Key_Return);
    EXPECT_EQ(day.read(DataName(3)), Sj(line) + "\r\n" + Sj(second) + "\r\n");
    EXPECT_EQ(window->Lines->item(0)->text(), second) << "newest first";
}

TEST_F(StationWindowTest, ALineTakenBackLeavesTheOthers)
{
    const QString first = QStringLiteral("*09:00:00 1-1=1番 青木 風邪のため欠席");
    const QString second = QStringLiteral("*09:10:00 1-2=2番 井上 通院のため遅刻");
    ASSERT_TRUE(day.write(DataName(3), Sj(first) + "\r\n" + Sj(second) + "\r\n"));
    window->ReadBack();
    ASSERT_EQ(window->Lines->count(), 2);
    window->Lines->setFocus();
    Press(Qt::Key_Down);
    EXPECT_EQ(window->Lines->currentItem()->text(), first);
    Press(Qt::Key_Tab);
    ASSERT_EQ(Focused(), window->TakeBackButton);
    Operator op;
    op.then<QMessageBox>([](QMessageBox *box) {
        EXPECT_TRUE(box->text().contains(QStringLiteral("*09:00:00 1-1=1番 青木")));
        Press(Qt::Key_Left); // from いいえ, the default, to はい
        Press(Qt::Key_Return);
    });
    Press(Qt::Key_Return);
    EXPECT_TRUE(op.finished()) << op.problems().toStdString();
    EXPECT_EQ(day.read(DataName(3)), Sj(second) + "\r\n");
    ASSERT_EQ(window->Lines->count(), 1);
    EXPECT_EQ(window->Lines->item(0)->text(), second);
}

TEST_F(StationWindowTest, ALineThatCannotBeWrittenStaysInTheForm)
{
    ASSERT_TRUE(day.makeDir(DataName(3)));
    TypeCall({"3-1", "5", "鈴木 一郎", "", "風邪", "", ""}, Qt::Key_F1);
    EXPECT_EQ(window->Status->text(), QStringLiteral("ﾌｧｲﾙへのｱｸｾｽが拒否されました."));
    EXPECT_EQ(window->Preview->text(), QStringLiteral("*09:30:15 3-1=5番 鈴木 一郎 風邪のため欠席"));
    EXPECT_EQ(window->NameEdit->text(), QStringLiteral("鈴木 一郎"));
}

} // namespace
