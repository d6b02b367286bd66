#include "screenshot_tour.h"

#include <QApplication>
#include <QDate>
#include <QDateEdit>
#include <QKeyEvent>
#include <QPointer>
#include <QTimer>
#include <cstdio>
#include <iostream>
#include <string>

#include "collection_window.h"
#include "dialogs.h"
#include "start_window.h"
#include "widgets.h"

namespace absence::ui {

namespace {

// Time for the windows to paint before a stop.
constexpr int kSettle = 700;

void Stop(const char *name)
{
    QApplication::processEvents();
    QApplication::sync();
    // The window in front, so the picture can be cut to it.
    QWidget *front = QApplication::activeModalWidget();
    if (!front)
        front = QApplication::activeWindow();
    const QRect frame = front ? front->frameGeometry() : QRect();
    std::printf("SHOT %s %dx%d+%d+%d\n", name, frame.width(), frame.height(), frame.x(), frame.y());
    std::fflush(stdout);
    std::string answer;
    std::getline(std::cin, answer);
}

void PressReturn(QWidget *target)
{
    if (!target)
        return;
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

// Runs `step` after the pause; steps that open a modal box schedule the next
// step before they block in it.
template <typename Step>
void After(int ms, Step step)
{
    QTimer::singleShot(ms, qApp, step);
}

} // namespace

void StartScreenshotTourIfAsked(TForm_top &startWindow)
{
    const QDate day = QDate::fromString(qEnvironmentVariable("ABSENCE_COLLECTOR_TOUR"), Qt::ISODate);
    if (!day.isValid())
        return;
    QPointer<TForm_top> top(&startWindow);
    top->DateTimePicker1->setDate(day);
    top->activateWindow();

    After(1500, [top] {
        Stop("start-window");
        After(kSettle, [] {
            Stop("no-record-message");
            After(kSettle, [] {
                auto *form = qobject_cast<TForm1 *>(QApplication::activeModalWidget());
                if (!form)
                    return;
                After(kSettle, [] {
                    Stop("error-report");
                    PressReturn(QApplication::activeModalWidget());
                });
                form->BitBtn4->click(); // empty list: the error report
                form->BitBtn2->click();
                form->BitBtn4->click();
                form->activateWindow();
                After(kSettle, [form] {
                    Stop("collection-window");
                    After(kSettle, [form] {
                        Stop("save-question");
                        if (auto *question = qobject_cast<SaveQuestion *>(QApplication::activeModalWidget()))
                            question->noButton()->click();
                        // Collected again while the script holds a data file
                        // open for writing: the error box, when it comes.
                        After(kSettle, [form] {
                            After(kSettle, [] {
                                if (QWidget *box = QApplication::activeModalWidget()) {
                                    Stop("held-file-error");
                                    PressReturn(box);
                                }
                            });
                            form->BitBtn2->click();
                            After(kSettle, [form] { form->BitBtn3->click(); });
                            After(2 * kSettle, [] { QApplication::closeAllWindows(); });
                        });
                    });
                    form->BitBtn1->click();
                });
            });
            PressReturn(QApplication::activeModalWidget());
        });
        top->BitBtn1->click();
    });
}

} // namespace absence::ui
