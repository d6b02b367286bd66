#include "ui_test_support.h"

#include <QApplication>
#include <QDateEdit>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "application.h"
#include "start_window.h"
#include "widgets.h"

namespace testsupport {

namespace {

qint64 Now()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
}

QString Describe(QWidget *window)
{
    QString text = QString::fromLatin1(window->metaObject()->className());
    if (auto *box = qobject_cast<QMessageBox *>(window))
        text += QStringLiteral(" \"") + box->text() + QLatin1Char('"');
    return text;
}

// Ends a modal run the way the close box would.
void Dismiss(QWidget *window)
{
    if (auto *dialog = qobject_cast<QDialog *>(window))
        dialog->reject();
    else
        window->close();
}

} // namespace

Operator::Operator(int patienceMs) : m_waitingSince(Now()), m_patience(patienceMs)
{
    schedule();
}

Operator::~Operator() = default;

void Operator::schedule()
{
    // A fresh single shot each time: a timer does not fire again while its
    // own handler is still running, and a step may block in a modal run.
    QTimer::singleShot(10, this, [this] { tick(); });
}

void Operator::tick()
{
    if (m_stopped)
        return;
    QWidget *window = QApplication::activeModalWidget();
    // Keys go to the active window: wait until the new one has become it.
    const bool fresh = window && !m_met.contains(window) && QApplication::activeWindow() == window;
    if (fresh) {
        m_met.append(window);
        if (!m_steps.empty() && m_steps.front().accepts(window)) {
            Step step = std::move(m_steps.front());
            m_steps.pop_front();
            m_waitingSince = Now();
            schedule();
            step.act(window);
            return;
        }
        m_problems << QStringLiteral("unexpected modal window: ") + Describe(window);
        Dismiss(window);
    } else if ((window || !m_steps.empty()) && Now() - m_waitingSince > m_patience) {
        // Either the expected window never came, or a handled one was left
        // open after its step had finished.
        m_problems << (m_steps.empty() ? QStringLiteral("modal window left open: ") + Describe(window)
                                       : QStringLiteral("no modal window came for: ") + m_steps.front().what);
        m_steps.clear();
        m_waitingSince = Now();
        if (window)
            Dismiss(window);
    }
    schedule();
}

QWidget *Focused()
{
    return QApplication::focusWidget();
}

void Press(int key, Qt::KeyboardModifiers modifiers)
{
    // Activation after a modal box closes arrives through the event queue.
    (void)QTest::qWaitFor([] { return QApplication::activeWindow() != nullptr; }, 2000);
    QWidget *target = Focused();
    if (!target)
        target = QApplication::activeModalWidget();
    ASSERT_NE(target, nullptr) << "no control has the focus";
    QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
}

namespace {

void ExpectBox(QMessageBox *box, QMessageBox::Icon icon, const QString &text)
{
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), text);
    EXPECT_EQ(box->windowTitle(), absence::ui::ApplicationTitle());
    EXPECT_EQ(box->icon(), icon);
    ASSERT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(box->buttons().first()->text(), QStringLiteral("OK"));
    EXPECT_EQ(box->defaultButton(), box->buttons().first());
    EXPECT_EQ(box->escapeButton(), box->buttons().first());
}

} // namespace

void ExpectPlainMessage(QMessageBox *box, const QString &text)
{
    ExpectBox(box, QMessageBox::NoIcon, text);
}

void ExpectErrorReport(QMessageBox *box, const QString &text)
{
    ExpectBox(box, QMessageBox::Critical, text);
}

void ProcessDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void UiTest::TearDown()
{
    ProcessDeferredDeletes();
}

void WindowTest::SetUp()
{
    ASSERT_TRUE(day.isValid());
    top = std::make_unique<TForm_top>();
    top->DateTimePicker1->setDate(Day());
    top->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(top.get()));
}

void WindowTest::TearDown()
{
    top.reset();
    UiTest::TearDown();
}

void WindowTest::RunCollection(Operator &op)
{
    QTest::mouseClick(top->BitBtn1, Qt::LeftButton);
    op.stop();
    EXPECT_TRUE(op.finished());
    EXPECT_EQ(op.problems(), QString());
}

QStringList DayLines()
{
    return {
        QStringLiteral("*08:10:00 1-2=6番 松本 芽依 通院のため遅刻"),
        QStringLiteral("*07:25:00 2-1=30番 伊藤 翔 発熱のため欠席"),
        QStringLiteral("*07:05:40 3-1=3番 鈴木 一郎 通院のため遅刻"),
        QStringLiteral("@09:00:00 1-1=1番 佐藤 花子 風邪のため欠席"),
        QStringLiteral("#07:50:00 2-2=26番 前田 柚希 通院のため遅刻"),
    };
}

void WindowTest::WriteDayData() const
{
    const QStringList lines = DayLines();
    day.write(DataName(0),
              SjLines({lines[0], QStringLiteral("*7:25:00 2-1=30番 伊藤 翔 発熱のため欠席"), QString()}));
    day.write(DataName(3), SjLines({lines[2], lines[3]}));
    day.write(DataName(9), Sj(lines[4])); // no line end
}

} // namespace testsupport
