// Preloaded (LD_PRELOAD) into a Qt Widgets program whose start is being
// timed: the process ends as soon as its first window has been painted, so
// the time to its exit is the time to its first shown window. No hook in the
// program is needed, and the same probe times every program alike.

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <unistd.h>

namespace {

class FirstPaint : public QObject {
protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType()
            && static_cast<QWidget *>(watched)->isWindow()) {
            qApp->removeEventFilter(this);
            // After the rest of this paint and its flush.
            QTimer::singleShot(0, [] { _exit(0); });
        }
        return false;
    }
};

void Install()
{
    alarm(30); // a program that never paints is ended (and counted failed)
    qApp->installEventFilter(new FirstPaint);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(Install)
