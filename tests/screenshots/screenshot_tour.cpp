// The screenshot tour of scripts/screenshots: the program's own windows taken
// through a day as the operator would, each stop saved as a picture of the
// window in front. The window draws the picture itself, so nothing of another
// window can show in it. A tool of the build tree, never installed.
//
//   absence-screenshot-tour DAY OUTPUT_DIR [PREFIX]
//
// It works in the day's folder (the current directory) with the system's
// locale, as the program does. The stops, saved as OUTPUT_DIR/PREFIXname.png:
// start-window; no-record-message (run collection on a day without a
// record); error-report (time order on the empty list); collection-window
// (collect, then time order); notice (a station appends a line to its data
// file, and the window's next look shows the notice); print-preview
// (Ctrl+P); tally-window (Ctrl+T); sheet-preview (its 印刷...);
// save-question (save); held-file-error (collect again while the
// tour holds the day's last data file open for writing, as a station still
// writing it would).
//
//   absence-screenshot-tour --station DAY OUTPUT_DIR [PREFIX]
//
// takes the station window instead: station-window (two calls typed by keys
// and written to station 3's file, a third one being typed).

#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QPixmap>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QInputMethodEvent>

#include <cstdio>
#include <functional>

#include "program.h"
#include "application.h"
#include "collection_window.h"
#include "day_files.h"
#include "dialogs.h"
#include "platform/platform.h"
#include "services.h"
#include "start_window.h"
#include "tally_window.h"
#include "station_window.h"
#include "widgets.h"

namespace {

// Time for a window to come up and take the focus before its picture.
constexpr int kSettle = 500;

class Tour {
public:
    Tour(QString output, QString prefix) : m_output(std::move(output)), m_prefix(std::move(prefix)) {}

    // The window in front, which must be a `kind`, saved as a picture;
    // false (and said) otherwise.
    bool Take(const char *name, const char *kind)
    {
        QApplication::processEvents();
        QWidget *front = QApplication::activeModalWidget();
        if (!front)
            front = QApplication::activeWindow();
        const QString path = QDir(m_output).filePath(m_prefix + QLatin1String(name) + QStringLiteral(".png"));
        if (!front || !front->inherits(kind) || !front->grab().save(path)) {
            std::fprintf(stderr, "screenshot tour: no %s in front for %s\n", kind, name);
            m_failed = true;
            return false;
        }
        std::printf("%s\n", QDir::toNativeSeparators(path).toLocal8Bit().constData());
        std::fflush(stdout);
        return true;
    }

    void Fail(const char *what)
    {
        std::fprintf(stderr, "screenshot tour: %s\n", what);
        m_failed = true;
        QApplication::closeAllWindows();
    }

    bool failed() const { return m_failed; }

    // A station's call, appended to the day's first data file as a station
    // writes it.
    static bool AppendCall()
    {
        for (int digit = 0; digit <= 9; ++digit) {
            QFile file(absence::DataFilePath(absence::ChosenDate, digit));
            if (!file.exists())
                continue;
            const QByteArray line = absence::ToCp932(QStringLiteral("*08:15:00 2-2=8番 森 大翔 発熱のため欠席（母より）\r\n"));
            return file.open(QIODevice::WriteOnly | QIODevice::Append) && file.write(line) == line.size();
        }
        return false;
    }

    // Holds the day's last data file open for writing until the tour ends.
    bool HoldLastDataFile()
    {
        for (int digit = 9; digit >= 0; --digit) {
            const QString path = absence::DataFilePath(absence::ChosenDate, digit);
            if (absence::IsFileAbsent(path))
                continue;
            m_held.setFileName(path);
            return m_held.open(QIODevice::WriteOnly | QIODevice::Append);
        }
        return false;
    }

private:
    QString m_output, m_prefix;
    QFile m_held;
    bool m_failed = false;
};

void PressReturn(QWidget *target)
{
    if (!target)
        return;
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

// Runs `step` after the pause; a step that opens a modal box schedules the
// next one before it blocks in the box.
void After(int ms, std::function<void()> step)
{
    QTimer::singleShot(ms, qApp, std::move(step));
}

// The stops after the collection window's picture, each taking the next:
// the notice, the print preview, the save question, the held file's error
// box, then the end.
void HeldFileError(Tour &tour, TForm1 *form)
{
    if (!tour.HoldLastDataFile())
        return tour.Fail("cannot hold a data file of the day open");
    After(kSettle, [&tour, form] {
        After(kSettle, [&tour] {
            if (tour.Take("held-file-error", "QMessageBox"))
                PressReturn(QApplication::activeModalWidget());
        });
        form->BitBtn2->click(); // collects into the held file: the error box
        After(kSettle, [form] { form->BitBtn3->click(); });
        After(2 * kSettle, [] { QApplication::closeAllWindows(); });
    });
}

void AskToSave(Tour &tour, TForm1 *form)
{
    After(kSettle, [&tour, form] {
        tour.Take("save-question", "absence::ui::SaveQuestion");
        if (auto *question = qobject_cast<absence::ui::SaveQuestion *>(QApplication::activeModalWidget()))
            question->noButton()->click();
        HeldFileError(tour, form);
    });
    form->BitBtn1->click();
}

// The tally window (Ctrl+T), then its sheet in the print preview.
void Tally(Tour &tour, TForm1 *form)
{
    After(kSettle, [&tour, form] {
        auto *tally = qobject_cast<absence::ui::TallyWindow *>(QApplication::activeModalWidget());
        if (!tour.Take("tally-window", "absence::ui::TallyWindow") || !tally)
            return tour.Fail("no tally window after Ctrl+T");
        After(2 * kSettle, [&tour, form, tally] {
            if (tour.Take("sheet-preview", "QPrintPreviewDialog"))
                static_cast<QDialog *>(QApplication::activeModalWidget())->reject();
            After(kSettle, [&tour, form, tally] {
                tally->reject();
                After(kSettle, [&tour, form] { AskToSave(tour, form); });
            });
        });
        tally->PrintButton->click();
    });
    QTest::keyClick(form, Qt::Key_T, Qt::ControlModifier);
}

void PrintPreview(Tour &tour, TForm1 *form)
{
    After(2 * kSettle, [&tour, form] {
        if (tour.Take("print-preview", "QPrintPreviewDialog"))
            static_cast<QDialog *>(QApplication::activeModalWidget())->reject();
        After(kSettle, [&tour, form] { Tally(tour, form); });
    });
    // Through the shortcut map, as the key pressed on the window is.
    QTest::keyClick(form, Qt::Key_P, Qt::ControlModifier);
}

void Notice(Tour &tour, TForm1 *form)
{
    if (!Tour::AppendCall())
        return tour.Fail("cannot append to a data file of the day");
    // The window looks at the day's files once a second.
    After(2000, [&tour, form] {
        tour.Take("notice", "TForm1");
        PrintPreview(tour, form);
    });
}

} // namespace

namespace {

// Types `text` into the focused field as keys would (the input method's
// commits, for the Japanese), then Tab.
void Type(const QString &text)
{
    QWidget *field = QApplication::focusWidget();
    if (!field)
        return;
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(field, &commit);
    QTest::keyClick(field, Qt::Key_Tab);
}

void TypeCall(const QStringList &fields)
{
    // From the time field: the time is left to the clock.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    for (const QString &field : fields)
        Type(field);
}

int StationTour(Tour &tour, const QDate &day)
{
    absence::setClock(std::make_shared<absence::FixedClock>(QDateTime(day, QTime(8, 12, 40))));
    absence::station::StationWindow window({3, '*'});
    window.show();
    window.activateWindow();
    After(1000, [&tour, &window, day] {
        TypeCall({QStringLiteral("2-2"), QStringLiteral("8"), QStringLiteral("森 大翔"), QString(),
                  QStringLiteral("発熱"), QString(), QStringLiteral("母")});
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        absence::setClock(std::make_shared<absence::FixedClock>(QDateTime(day, QTime(8, 14, 5))));
        window.ClockTick();
        TypeCall({QStringLiteral("1-3"), QStringLiteral("21"), QStringLiteral("田中 美咲")});
        QTest::keyClick(&window, Qt::Key_F2);
        TypeCall({});
        window.ReasonBox->setFocus();
        Type(QStringLiteral("通院"));
        Type(QStringLiteral("10時頃登校"));
        Type(QStringLiteral("父"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        absence::setClock(std::make_shared<absence::FixedClock>(QDateTime(day, QTime(8, 16, 30))));
        window.ClockTick();
        TypeCall({QStringLiteral("3-1"), QStringLiteral("5"), QStringLiteral("鈴木 一郎")});
        window.ReasonBox->setFocus();
        Type(QStringLiteral("風邪"));
        After(kSettle, [&tour] {
            tour.Take("station-window", "absence::station::StationWindow");
            QApplication::closeAllWindows();
        });
    });
    const int status = QApplication::exec();
    return tour.failed() ? 1 : status;
}

} // namespace

int main(int argc, char *argv[])
{
    absence::PrepareProcess();
    QApplication app(argc, argv);
    absence::ui::InitialiseApplication();
    absence::setLocaleSettings(absence::LocaleSettings::fromSystem());
    QStringList args = QApplication::arguments();
    const bool station = args.size() > 1 && args.at(1) == QLatin1String("--station");
    if (station)
        args.removeAt(1);
    const QDate day = args.size() > 2 ? QDate::fromString(args.at(1), Qt::ISODate) : QDate();
    if (!day.isValid() || !QDir(args.at(2)).exists()) {
        std::fprintf(stderr, "usage: absence-screenshot-tour DAY OUTPUT_DIR [PREFIX]\n");
        return 2;
    }
    Tour tour(args.at(2), args.value(3));
    if (station)
        return StationTour(tour, day);

    TForm_top top;
    top.show();
    top.activateWindow();
    top.DateTimePicker1->setDate(day);
    QPointer<TForm_top> start(&top);
    After(1500, [&tour, start] {
        tour.Take("start-window", "TForm_top");
        After(kSettle, [&tour] {
            tour.Take("no-record-message", "QMessageBox");
            After(kSettle, [&tour] {
                auto *form = qobject_cast<TForm1 *>(QApplication::activeModalWidget());
                if (!form)
                    return tour.Fail("no collection window after the no-record message");
                After(kSettle, [&tour] {
                    tour.Take("error-report", "QMessageBox");
                    PressReturn(QApplication::activeModalWidget());
                });
                form->BitBtn4->click(); // the empty list: the error report
                form->BitBtn2->click();
                form->BitBtn4->click();
                form->activateWindow();
                After(kSettle, [&tour, form] {
                    tour.Take("collection-window", "TForm1");
                    Notice(tour, form);
                });
            });
            PressReturn(QApplication::activeModalWidget());
        });
        if (start)
            start->BitBtn1->click();
    });
    const int status = app.exec();
    return tour.failed() ? 1 : status;
}
