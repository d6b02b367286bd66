// The collection window: collect, re-order, the save question and its
// answers, errors from the core reported with the window left open, keys.

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>

#include "absence_list.h"
#include "collection_window.h"
#include "dialogs.h"
#include "record_file.h"
#include "reorder.h"
#include "start_window.h"
#include "tally_window.h"
#include "ui_test_support.h"
#include "widgets.h"

using namespace testsupport;
using absence::ui::SaveQuestion;

namespace {

class CollectionWindowTest : public WindowTest {
protected:
    // For a day without a record: acknowledges the message, then `work` runs
    // in the collection window; later steps answer what `work` brings up.
    static Operator &Open(Operator &op, std::function<void(TForm1 *)> work)
    {
        return op.then<QMessageBox>([](QMessageBox *) { Press(Qt::Key_Return); }).then<TForm1>(work);
    }
};

QStringList Shown(TForm1 *form)
{
    QStringList lines;
    for (const QByteArray &line : form->Items().Lines())
        lines << absence::FromCp932(line);
    return lines;
}

void Click(QPushButton *button)
{
    QTest::mouseClick(button, Qt::LeftButton);
}

TEST_F(CollectionWindowTest, CollectingTwiceGivesTheSameListAndFitsTheExtent)
{
    WriteDayData();
    Operator op;
    Open(op, [&](TForm1 *form) {
        Click(form->BitBtn2);
        const QStringList first = Shown(form);
        QStringList expected = DayLines();
        QStringList sorted = first;
        expected.sort();
        sorted.sort();
        EXPECT_EQ(sorted, expected);

        int widest = 0;
        for (const QString &line : first)
            widest = qMax(widest, QFontMetrics(form->ListBox1->font()).horizontalAdvance(line));
        EXPECT_NEAR(form->ListBox1->horizontalExtent(), widest + 10, 1);
        QApplication::processEvents();
        EXPECT_EQ(form->ListBox1->horizontalScrollBar()->maximum(), 0) << "every line fits";
        EXPECT_FALSE(form->ListBox1->horizontalScrollBar()->isVisible());

        Click(form->BitBtn2);
        EXPECT_EQ(Shown(form), first);
        Click(form->BitBtn3);
    });
    RunCollection(op);
}

TEST_F(CollectionWindowTest, ReorderingByTimeAndByClass)
{
    WriteDayData();
    const QStringList dayLines = DayLines();
    Operator op;
    Open(op, [&](TForm1 *form) {
        Click(form->BitBtn2);
        const int extent = form->ListBox1->horizontalExtent();
        form->ListBox1->setCurrentIndex(form->ListBox1->model()->index(2, 0));

        Click(form->BitBtn4);
        EXPECT_EQ(Shown(form), (QStringList{dayLines[2], dayLines[1], dayLines[4], dayLines[0], dayLines[3]}));
        Click(form->BitBtn5);
        // Classes 1, 1, 2, 2, 3; equal classes keep their time order.
        EXPECT_EQ(Shown(form), (QStringList{dayLines[0], dayLines[3], dayLines[1], dayLines[4], dayLines[2]}));

        EXPECT_EQ(form->ListBox1->horizontalExtent(), extent) << "re-ordering keeps the extent";
        EXPECT_EQ(form->ListBox1->currentIndex().row(), 2) << "the selected row stays";
        Click(form->BitBtn3);
    });
    RunCollection(op);
}

// How the operator answers the save question, and what must follow.
struct Answer {
    const char *name;
    std::function<void(SaveQuestion *)> answer;
    bool saves;
    bool windowStays;
};

void PrintTo(const Answer &answer, std::ostream *out)
{
    *out << answer.name;
}

class SaveQuestionTest : public CollectionWindowTest,
                         public ::testing::WithParamInterface<Answer> {};

TEST_P(SaveQuestionTest, AnswerDecidesSavingAndClosing)
{
    const Answer &answer = GetParam();
    WriteDayData();
    bool stillOpen = false;
    QStringList before;

    Operator op;
    Open(op, [&](TForm1 *form) {
        Click(form->BitBtn2);
        before = Shown(form);
        QPointer<TForm1> window(form);
        Click(form->BitBtn1);
        stillOpen = window && form->isVisible();
        if (stillOpen) {
            EXPECT_EQ(Shown(form), before);
            Click(form->BitBtn3);
        }
    }).then<SaveQuestion>([&](SaveQuestion *question) {
        EXPECT_EQ(question->windowTitle(), QStringLiteral("確認"));
        EXPECT_EQ(question->findChild<QLabel *>(QStringLiteral("text"))->text(),
                  QStringLiteral("集積変更を保存しますか"));
        EXPECT_FALSE(question->findChild<QLabel *>(QStringLiteral("icon"))->pixmap().isNull());
        EXPECT_EQ(question->yesButton()->text(), QStringLiteral("はい(&Y)"));
        EXPECT_EQ(question->noButton()->text(), QStringLiteral("いいえ(&N)"));
        EXPECT_EQ(question->cancelButton()->text(), QStringLiteral("ｷｬﾝｾﾙ"));
        EXPECT_LT(question->yesButton()->x(), question->noButton()->x());
        EXPECT_LT(question->noButton()->x(), question->cancelButton()->x());
        EXPECT_EQ(Focused(), question->yesButton());
        answer.answer(question);
    });
    if (answer.saves) {
        op.then<QMessageBox>([](QMessageBox *box) {
            ExpectPlainMessage(box, QStringLiteral("保存しました！"));
            Press(Qt::Key_Return);
        });
    }
    RunCollection(op);

    EXPECT_EQ(stillOpen, answer.windowStays);
    if (!answer.windowStays) {
        ASSERT_FALSE(top->Form1.isNull());
        EXPECT_EQ(top->Form1->result(), TForm1::ModalResultClosed);
    }
    EXPECT_EQ(day.exists(RecordName()), answer.saves);
    if (answer.saves) {
        const QList<QByteArray> saved = absence::SplitRecordText(day.read(RecordName()));
        EXPECT_EQ(saved.size(), before.size() + 1);
        EXPECT_TRUE(saved.contains(StampLine(QStringLiteral("9:30:15"))));
        EXPECT_TRUE(day.read(RecordName()).endsWith("\r\n"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, SaveQuestionTest,
    ::testing::Values(
        Answer{"EnterIsYes", [](SaveQuestion *) { Press(Qt::Key_Return); }, true, false},
        Answer{"AltY", [](SaveQuestion *) { Press(Qt::Key_Y, Qt::AltModifier); }, true, false},
        Answer{"No", [](SaveQuestion *q) { Click(q->noButton()); }, false, true},
        Answer{"Cancel", [](SaveQuestion *q) { Click(q->cancelButton()); }, false, false},
        Answer{"Escape", [](SaveQuestion *) { Press(Qt::Key_Escape); }, false, false},
        Answer{"CloseBox", [](SaveQuestion *q) { q->close(); }, false, false}),
    [](const ::testing::TestParamInfo<Answer> &info) { return std::string(info.param.name); });

TEST_F(CollectionWindowTest, EnterAsSoonAsTheWindowOpensAsksToSave)
{
    day.write(RecordName(), SjLines({QStringLiteral("最終更新：2026/12/07 16:20:00"),
                                       QStringLiteral("*07:00:00 1-1=2番 井上")}));
    Operator op;
    op.then<TForm1>([](TForm1 *) { Press(Qt::Key_Return); })
        .then<SaveQuestion>([](SaveQuestion *) { Press(Qt::Key_Return); })
        .then<QMessageBox>([](QMessageBox *box) {
            ExpectPlainMessage(box, QStringLiteral("保存しました！"));
            Press(Qt::Key_Return);
        });
    RunCollection(op);
    EXPECT_TRUE(day.read(RecordName()).contains(StampLine(QStringLiteral("9:30:15"))));
    EXPECT_TRUE(QTest::qWaitForWindowActive(top.get())) << "the start window is in front again";
}

TEST_F(CollectionWindowTest, EmptyListErrorsLeaveTheWindowOpen)
{
    const QString indexError = QStringLiteral("ﾘｽﾄのｲﾝﾃﾞｯｸｽが範囲を超えています (0)");
    auto acknowledge = [&](QMessageBox *box) {
        ExpectErrorReport(box, indexError);
        Press(Qt::Key_Escape);
    };
    bool openAfterwards = false;
    Operator op;
    Open(op, [&](TForm1 *form) {
        Click(form->BitBtn1);
        Click(form->BitBtn4);
        Click(form->BitBtn5);
        openAfterwards = form->isVisible();
        Click(form->BitBtn3);
    })
        .then<SaveQuestion>([](SaveQuestion *) { Press(Qt::Key_Return); })
        .then<QMessageBox>(acknowledge)
        .then<QMessageBox>(acknowledge)
        .then<QMessageBox>(acknowledge);
    RunCollection(op);
    EXPECT_TRUE(openAfterwards);
    EXPECT_FALSE(day.exists(RecordName()));
}

TEST_F(CollectionWindowTest, ReadErrorKeepsTheLinesReadSoFar)
{
    const QStringList dayLines = DayLines();
    day.write(DataName(0), SjLines({dayLines[0], dayLines[1]}));
    ASSERT_TRUE(QDir().mkdir(DataName(2)));
    day.write(DataName(5), SjLines({dayLines[2]}));
    QStringList shown;
    int extent = -1;
    Operator op;
    Open(op, [&](TForm1 *form) {
        Click(form->BitBtn2);
        shown = Shown(form);
        extent = form->ListBox1->horizontalExtent();
        Click(form->BitBtn3);
    }).then<QMessageBox>([](QMessageBox *box) {
        ExpectErrorReport(box, QStringLiteral("ﾌｧｲﾙへのｱｸｾｽが拒否されました."));
        Press(Qt::Key_Return);
    });
    RunCollection(op);
    shown.sort();
    EXPECT_EQ(shown, (QStringList{dayLines[1], dayLines[0]}));
    EXPECT_EQ(extent, 0) << "the extent is fitted only after a whole run";
}

TEST_F(CollectionWindowTest, DataFileStillBeingWrittenIsASharingViolation)
{
    const QStringList dayLines = DayLines();
    day.write(DataName(0), SjLines({dayLines[0], dayLines[1]}));
    day.write(DataName(4), Sj(dayLines[2]).left(12));
    // A station still writing data file 4.
    QFile writer(day.file(DataName(4)));
    ASSERT_TRUE(writer.open(QIODevice::WriteOnly | QIODevice::Append));
    QStringList shown;
    Operator op;
    Open(op, [&](TForm1 *form) {
        Click(form->BitBtn2);
        shown = Shown(form);
        Click(form->BitBtn3);
    }).then<QMessageBox>([](QMessageBox *box) {
        ExpectErrorReport(box, QStringLiteral("I/O ｴﾗｰ (32)"));
        Press(Qt::Key_Return);
    });
    RunCollection(op);
    EXPECT_EQ(shown, (QStringList{dayLines[1], dayLines[0]}));
}

TEST_F(CollectionWindowTest, WorkingDirectoryRemovedWhileTheWindowIsOpen)
{
    if (!testsupport::CanRemoveCurrentFolder())
        GTEST_SKIP() << "this system does not remove a process's current folder";
    WriteDayData();
    int afterFailedSave = -1, afterCollect = -1;
    bool openAfterwards = false;
    Operator op;
    Open(op, [&](TForm1 *form) {
        Click(form->BitBtn2);
        ASSERT_TRUE(QDir(QDir::currentPath()).removeRecursively());
        Click(form->BitBtn1);
        afterFailedSave = form->Items().Count();
        Click(form->BitBtn2);
        afterCollect = form->Items().Count();
        openAfterwards = form->isVisible();
        Click(form->BitBtn3);
    })
        .then<SaveQuestion>([](SaveQuestion *) { Press(Qt::Key_Return); })
        .then<QMessageBox>([](QMessageBox *box) {
            ExpectErrorReport(box, QStringLiteral("ﾌｧｲﾙ %1 を作成できません.").arg(RecordName()));
            Press(Qt::Key_Return);
        })
        .then<QMessageBox>([](QMessageBox *box) {
            ExpectPlainMessage(box, QStringLiteral("欠席記録データがありません"));
            Press(Qt::Key_Return);
        });
    RunCollection(op);
    EXPECT_EQ(afterFailedSave, DayLines().size() + 1) << "the list keeps its new stamp";
    EXPECT_EQ(afterCollect, 0) << "every data file is absent";
    EXPECT_TRUE(openAfterwards);
}

TEST_F(CollectionWindowTest, CloseBoxEndsTheRunWithoutSavingAndReleasesTheWindow)
{
    WriteDayData();
    // Run after run of the day, each closed by the close box: none stays.
    for (int run = 0; run < 5; ++run) {
        Operator op;
        Open(op, [&](TForm1 *form) {
            Click(form->BitBtn2);
            form->close();
        });
        RunCollection(op);
        ProcessDeferredDeletes();
        EXPECT_TRUE(top->Form1.isNull()) << "run " << run << ": the closed window is released";
    }
    EXPECT_TRUE(top->findChildren<TForm1 *>().isEmpty());
    EXPECT_FALSE(day.exists(RecordName()));
}

TEST_F(CollectionWindowTest, TabOrderAndKeys)
{
    Operator op;
    Open(op, [&](TForm1 *form) {
        const QList<QWidget *> order{form->BitBtn1, form->Edit1,   form->ListBox1, form->BitBtn2,
                                     form->BitBtn3, form->BitBtn4, form->BitBtn5};
        EXPECT_EQ(Focused(), form->BitBtn1);
        for (qsizetype i = 1; i <= order.size(); ++i) {
            Press(Qt::Key_Tab);
            EXPECT_EQ(Focused(), order[i % order.size()]) << "after Tab number " << i;
        }
        Press(Qt::Key_Backtab, Qt::ShiftModifier);
        EXPECT_EQ(Focused(), form->BitBtn5);

        // Nothing happens for Enter in the edit box or the list, nor for Esc.
        form->Edit1->setFocus();
        Press(Qt::Key_Return);
        form->ListBox1->setFocus();
        Press(Qt::Key_Return);
        Press(Qt::Key_Escape);
        EXPECT_TRUE(form->isVisible());

        form->BitBtn4->setFocus();
        Press(Qt::Key_Return); // time order on the empty list: the error report
        form->BitBtn3->setFocus();
        Press(Qt::Key_Enter);
    }).then<QMessageBox>([](QMessageBox *box) {
        ExpectErrorReport(box, QStringLiteral("ﾘｽﾄのｲﾝﾃﾞｯｸｽが範囲を超えています (0)"));
        Press(Qt::Key_Return);
    });
    RunCollection(op);
    EXPECT_EQ(top->Form1->result(), TForm1::ModalResultClosed);
}

TEST_F(CollectionWindowTest, NoticeOfNewNotificationsComesAfterAStationWritesAndGoesWithCollect)
{
    WriteDayData();
    const QString notice = QStringLiteral("新しい欠席連絡が届いています");
    QStringList seen; // after each step: the notice shown or not, and the list's size
    Operator op;
    Open(op, [&](TForm1 *form) {
        const auto step = [&](const char *what) {
            form->Timer2Timer(); // the look of one tick
            seen << QStringLiteral("%1: %2 %3")
                        .arg(QLatin1String(what), form->StaticText3->isVisible() ? notice : QStringLiteral("-"))
                        .arg(form->Items().Count());
        };
        step("opened");
        day.write(DataName(0), day.read(DataName(0))
                                                          + Sj(QStringLiteral("*9:40:00 1-1=7番 森 蓮 発熱のため欠席\r\n")));
        step("a station appended");
        step("a second tick");
        Click(form->BitBtn2);
        step("collected");
        step("nothing changed");
        day.write(DataName(6), Sj(QStringLiteral("@10:02:00 2-2=1番 青木 凛 通院のため遅刻")));
        step("a new station file");
        QFile::remove(day.file(DataName(6)));
        Click(form->BitBtn2);
        step("collected, its file gone");
        QFile::remove(day.file(DataName(3)));
        step("a station's file removed");
        step("and a tick later");
        Click(form->BitBtn2);
        step("collected");
        // Named in lower case, as collect reads it too.
        day.write(DayFile(QStringLiteral("a7.txt")), Sj(QStringLiteral("@10:05:00 2-2=2番 森 凪 通院のため遅刻")));
        step("a new station file in lower case");
        Click(form->BitBtn2);
        step("collected");
        if (testsupport::CanRemoveCurrentFolder()) {
            ASSERT_TRUE(QDir(day.path()).removeRecursively());
            step("the folder gone");
            step("and a tick later");
        }

        EXPECT_EQ(form->StaticText3->text(), notice);
        EXPECT_EQ(form->StaticText3->focusPolicy(), Qt::NoFocus);
        EXPECT_EQ(QAccessible::queryAccessibleInterface(form->StaticText3)->text(QAccessible::Name), notice);
        form->Timer1Timer(); // the clock at its width
        for (QWidget *control : QList<QWidget *>{form->Label1, form->BitBtn2, form->BitBtn5, form->ListBox1})
            EXPECT_FALSE(form->StaticText3->geometry().intersects(control->geometry()))
                << control->objectName().toStdString();
        Click(form->BitBtn3);
    });
    RunCollection(op);
    EXPECT_EQ(seen, QStringList({QStringLiteral("opened: - 0"),
                                 QStringLiteral("a station appended: ") + notice + QStringLiteral(" 0"),
                                 QStringLiteral("a second tick: ") + notice + QStringLiteral(" 0"),
                                 QStringLiteral("collected: - 6"), QStringLiteral("nothing changed: - 6"),
                                 QStringLiteral("a new station file: ") + notice + QStringLiteral(" 6"),
                                 QStringLiteral("collected, its file gone: - 6"),
                                 QStringLiteral("a station's file removed: - 6"),
                                 QStringLiteral("and a tick later: ") + notice + QStringLiteral(" 6"),
                                 QStringLiteral("collected: - 4"),
                                 QStringLiteral("a new station file in lower case: ") + notice + QStringLiteral(" 4"),
                                 QStringLiteral("collected: - 5")})
                        + (testsupport::CanRemoveCurrentFolder()
                               ? QStringList{QStringLiteral("the folder gone: - 5"), QStringLiteral("and a tick later: - 5")}
                               : QStringList()));
}

TEST_F(CollectionWindowTest, PrintPreviewAndPdfOfTheListAsItStands)
{
    WriteDayData();
    Operator op;
    Open(op, [&](TForm1 *form) {
        Click(form->BitBtn2);
        QStringList menu;
        for (QAction *action : form->ListBox1->actions())
            menu << action->text();
        EXPECT_EQ(menu, (QStringList{QStringLiteral("印刷..."), QStringLiteral("PDF に保存..."),
                                     QStringLiteral("集計..."), QStringLiteral("CSV に保存...")}));
        EXPECT_EQ(form->ListBox1->contextMenuPolicy(), Qt::ActionsContextMenu);
        form->ListBox1->setFocus();
        Press(Qt::Key_P, Qt::ControlModifier);
        form->PdfAction->trigger();
        Click(form->BitBtn3);
    })
        .then<QPrintPreviewDialog>([](QPrintPreviewDialog *preview) {
            const QPageLayout layout = preview->printer()->pageLayout();
            EXPECT_EQ(layout.pageSize().id(), QPageSize::A4);
            EXPECT_EQ(layout.orientation(), QPageLayout::Portrait);
            preview->reject();
        })
        .then<QFileDialog>([&](QFileDialog *dialog) {
            EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir(day.path()).canonicalPath());
            ASSERT_EQ(dialog->selectedFiles().size(), 1);
            EXPECT_EQ(QFileInfo(dialog->selectedFiles().first()).fileName(), DayFile(QStringLiteral(".pdf")));
            static_cast<QDialog *>(dialog)->accept(); // as its Save button does
        });
    RunCollection(op);
    EXPECT_TRUE(day.read(DayFile(QStringLiteral(".pdf"))).startsWith("%PDF-"));
}

// A table's rows as the window shows them, the header first.
QStringList Rows(const QTableWidget *table)
{
    QStringList rows, cells;
    for (int c = 0; c < table->columnCount(); ++c)
        cells << table->horizontalHeaderItem(c)->text();
    rows << cells.join(QLatin1Char(','));
    for (int r = 0; r < table->rowCount(); ++r) {
        cells.clear();
        for (int c = 0; c < table->columnCount(); ++c)
            cells << table->item(r, c)->text();
        rows << cells.join(QLatin1Char(','));
    }
    return rows;
}

TEST_F(CollectionWindowTest, TallyWindowAndCsvOfTheListAsItStands)
{
    WriteDayData();
    const QString unread = QStringLiteral("*08:30:00 3-3=9番 山田 太郎 連絡します");
    day.write(DataName(5), Sj(unread));
    QStringList kinds, symptoms, unknown;
    QString caption;
    Operator op;
    Open(op, [&](TForm1 *form) {
        const QList<QRect> before{form->BitBtn1->geometry(), form->BitBtn2->geometry(), form->ListBox1->geometry()};
        Click(form->BitBtn2);
        Click(form->BitBtn5);
        form->ListBox1->setFocus();
        Press(Qt::Key_T, Qt::ControlModifier);
        form->CsvAction->trigger();
        EXPECT_EQ(before, (QList<QRect>{form->BitBtn1->geometry(), form->BitBtn2->geometry(),
                                        form->ListBox1->geometry()}));
        Click(form->BitBtn3);
    })
        .then<absence::ui::TallyWindow>([&](absence::ui::TallyWindow *window) {
            caption = window->windowTitle();
            kinds = Rows(window->KindTable);
            symptoms = Rows(window->SymptomTable);
            for (int r = 0; r < window->UnknownLines->model()->rowCount(); ++r)
                unknown << window->UnknownLines->model()->index(r, 0).data().toString();
            Press(Qt::Key_Return); // 閉じる
        })
        .then<QFileDialog>([&](QFileDialog *dialog) {
            EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir(day.path()).canonicalPath());
            EXPECT_EQ(QFileInfo(dialog->selectedFiles().value(0)).fileName(), DayFile(QStringLiteral(".csv")));
            EXPECT_EQ(dialog->nameFilters(), (QStringList{QStringLiteral("コードページ 932 (Excel) (*.csv)"),
                                                          QStringLiteral("UTF-8 (BOM 付き) (*.csv)")}));
            EXPECT_EQ(dialog->selectedNameFilter(), dialog->nameFilters().value(0));
            static_cast<QDialog *>(dialog)->accept();
        });
    RunCollection(op);
    EXPECT_EQ(caption, QStringLiteral("集計 2026/12/08"));
    EXPECT_EQ(kinds, (QStringList{QStringLiteral("クラス,欠席,遅刻,早退,出席停止,忌引,不明,計"),
                                  QStringLiteral("1-1,1,0,0,0,0,0,1"), QStringLiteral("1-2,0,1,0,0,0,0,1"),
                                  QStringLiteral("2-1,1,0,0,0,0,0,1"), QStringLiteral("2-2,0,1,0,0,0,0,1"),
                                  QStringLiteral("3-1,0,1,0,0,0,0,1"), QStringLiteral("3-3,0,0,0,0,0,1,1"),
                                  QStringLiteral("計,2,3,0,0,0,1,6")}));
    EXPECT_EQ(symptoms.value(0), QStringLiteral("クラス,欠席者,発熱,頭痛,呼吸器症状,下痢・腹痛,嘔気・嘔吐,発疹,その他"));
    EXPECT_EQ(symptoms.value(7), QStringLiteral("計,2,1,0,1,0,0,0,0"));
    EXPECT_EQ(unknown, QStringList{unread});
    // In the list's class order, as code page 932.
    const QList<QByteArray> csv = SplitCrLf(day.read(DayFile(QStringLiteral(".csv"))));
    ASSERT_EQ(csv.size(), 7);
    EXPECT_TRUE(csv[1].startsWith(Sj(QStringLiteral("2026/12/08,09:00:00,1-1,1,1,1,佐藤 花子,欠席,病,風邪,呼吸器症状,,'@,"))))
        << csv[1].constData();
    EXPECT_TRUE(csv[6].endsWith(Sj(QStringLiteral(",,不明,,,,,*,9番 山田 太郎 連絡します")))) << csv[6].constData();
}

TEST_F(CollectionWindowTest, TheWholeDay)
{
    WriteDayData();
    Operator op;
    Open(op, [&](TForm1 *form) {
        Click(form->BitBtn2);
        Click(form->BitBtn4);
        Click(form->BitBtn5);
        Click(form->BitBtn1);
    })
        .then<SaveQuestion>([](SaveQuestion *) { Press(Qt::Key_Return); })
        .then<QMessageBox>([](QMessageBox *) { Press(Qt::Key_Return); });
    RunCollection(op);
    ProcessDeferredDeletes();
    EXPECT_TRUE(top->Form1.isNull());
    EXPECT_TRUE(QTest::qWaitForWindowActive(top.get()));

    // The next run for the day opens the saved record, without a message.
    QStringList reopened;
    Operator again;
    again.then<TForm1>([&](TForm1 *form) {
        reopened = Shown(form);
        Click(form->BitBtn3);
    });
    RunCollection(again);
    QStringList expected = DayLines() << StampText(QStringLiteral("9:30:15"));
    expected.sort();
    reopened.sort();
    EXPECT_EQ(reopened, expected);
}

} // namespace
