#pragma once
// What the GUI tests add to the shared support: an operator that answers
// modal windows as they come up, key presses to the focused control, and the
// fixture of every GUI test (the shared day's folder as the working
// directory, the fixed clock and the Japanese locale).

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

#include "support.h"
#include "start_window.h"

class QMessageBox;

namespace testsupport {

// Answers modal windows in the order they are expected. Each step runs when
// a modal window of its kind is in front that no earlier step has handled;
// a step may itself press buttons that open further modal windows, which
// later steps then answer. A modal window that no step expects, or a step
// whose window does not come, is recorded as a problem and closed, so that a
// failing test cannot hang.
class Operator : public QObject {
public:
    explicit Operator(int patienceMs = 5000);
    ~Operator() override;

    template <typename Window>
    Operator &then(std::function<void(Window *)> act)
    {
        m_steps.push_back({Window::staticMetaObject.className(),
                           [](QWidget *w) { return qobject_cast<Window *>(w) != nullptr; },
                           [act](QWidget *w) { act(qobject_cast<Window *>(w)); }});
        return *this;
    }

    bool finished() const { return m_steps.empty(); }
    // Stops answering: later modal windows belong to another operator.
    void stop() { m_stopped = true; }
    QString problems() const { return m_problems.join(QStringLiteral("; ")); }

private:
    struct Step {
        QString what;
        std::function<bool(QWidget *)> accepts;
        std::function<void(QWidget *)> act;
    };
    void schedule();
    void tick();

    std::deque<Step> m_steps;
    QList<QPointer<QWidget>> m_met;
    QStringList m_problems;
    qint64 m_waitingSince;
    int m_patience;
    bool m_stopped = false;
};

// Key presses go to the focused control, as the operator's keyboard would.
void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
QWidget *Focused();

// A plain message box's text, title, icon and button captions, checked in one.
void ExpectPlainMessage(QMessageBox *box, const QString &text);
void ExpectErrorReport(QMessageBox *box, const QString &text);

// Deletes the windows that asked to be released.
void ProcessDeferredDeletes();

class UiTest : public ::testing::Test {
protected:
    void TearDown() override;

    // The clock shows seconds that are not zero.
    JapaneseDay japanese{At(9, 30, 15)};
    // The working directory of the test.
    WorkDir day;
};

// The start window shown and active for the picked day, with helpers for
// the day's files.
class WindowTest : public UiTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Presses run collection with the mouse; `op` answers what comes up.
    void RunCollection(Operator &op);

    // Data files for the day: 0, 3 and 9, five lines in all, one with a
    // one-digit hour, one empty line between.
    void WriteDayData() const;
    std::unique_ptr<TForm_top> top;
};

// The day's five lines as the list holds them once collected.
QStringList DayLines();

} // namespace testsupport
