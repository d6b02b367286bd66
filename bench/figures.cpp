// The measured pairs: each figure of the program beside the baseline it is
// judged against, registered to run one after the other.

#include "support.h"

#include "absence_list.h"
#include "collection.h"
#include "day_files.h"
#include "record_file.h"
#include "reorder.h"

#include <QCoreApplication>
#include <QFile>

#include <fcntl.h>
#include <memory>
#include <unistd.h>

#ifdef ABSENCE_BENCH_UI
#include "collection_window.h"
#include "start_window.h"
#include "widgets.h"
#include "services.h"
#include <QLineEdit>
#endif

using absence::AbsenceList;
using benchmark::State;

namespace bench {

namespace {

using KeyFn = qint32 (*)(const QByteArray &);

// The re-ordering done the old way: neighbours exchanged one pair at a time,
// each line written back with Put, so every move reaches the model's views.
void ExchangeReorder(AbsenceList &list, KeyFn key)
{
    const int first = absence::IsLastUpdateLine(list.Get(0)) ? 1 : 0;
    const int last = list.Count() - 1;
    std::vector<qint32> keys(size_t(list.Count()), 0);
    for (int i = first; i <= last; ++i)
        keys[size_t(i)] = key(list.Get(i));
    for (int pass = 0; pass < last - first; ++pass) {
        for (int j = last; j >= first + pass + 1; --j) {
            if (keys[size_t(j)] < keys[size_t(j - 1)]) {
                const QByteArray lower = list.Get(j - 1), upper = list.Get(j);
                list.Put(j - 1, upper);
                list.Put(j, lower);
                std::swap(keys[size_t(j)], keys[size_t(j - 1)]);
            }
        }
    }
}

// A figure only counts when the program's result is the old method's.
void CheckSameOrder(State &state, const QList<QByteArray> &lines, const AbsenceList &exchanged,
                    void (*program)(AbsenceList &))
{
    AbsenceList list;
    list.Assign(lines);
    program(list);
    if (list.Lines() != exchanged.Lines())
        state.SkipWithError("the re-ordering differs from the exchange sort");
}

void Reorder(const std::string &keyName, void (*program)(AbsenceList &), KeyFn key, int n)
{
    const std::string name = "reorder/" + keyName + '/' + std::to_string(n);
    benchmark::RegisterBenchmark((name + "/program").c_str(), [=](State &state) {
        const QList<QByteArray> lines = Sample(n);
        AbsenceList list;
        TimeEach(state, [&] { list.Assign(lines); }, [&] { program(list); });
    })->UseManualTime()->Iterations(n > 10000 ? 5 : 20);
    if (n > 10000)
        return; // quadratic: far beyond any budget
    benchmark::RegisterBenchmark((name + "/exchange").c_str(), [=](State &state) {
        const QList<QByteArray> lines = Sample(n);
        AbsenceList list;
        TimeEach(state, [&] { list.Assign(lines); }, [&] { ExchangeReorder(list, key); });
        CheckSameOrder(state, lines, list, program);
    })->UseManualTime()->Iterations(n > 2000 ? 1 : 3);
}

void Collection()
{
    benchmark::RegisterBenchmark("collect/program", [](State &state) {
        AbsenceList list;
        TimeEach(state, [] {}, [&] { absence::Collect(list); });
        if (list.Count() != TheDay().lines.size())
            state.SkipWithError("the collection missed lines");
    })->UseManualTime()->Iterations(5);
    benchmark::RegisterBenchmark("collect/peer", [](State &state) {
        QString files;
        for (int digit = 0; digit <= 9; ++digit)
            files += u' ' + absence::DataFileName(digit);
        const std::string command = "iconv -f CP932 -t UTF-8" + files.toStdString()
            + " | LC_ALL=ja_JP.UTF-8 sort -f";
        bool ok = true;
        TimeEach(state, [] {}, [&] { ok = RunChild({"/bin/sh", "-c", command}) && ok; });
        if (!ok)
            state.SkipWithError("iconv | sort failed");
    })->UseManualTime()->Iterations(5);
}

void SaveAndLoad()
{
    benchmark::RegisterBenchmark("save/program", [](State &state) {
        AbsenceList list;
        absence::Load(list, absence::RecordFilePath());
        absence::OrderByTime(list); // its last-update line to the top: replaced in place
        TimeEach(state, [] {}, [&] { absence::Save(list); });
        QByteArray expected;
        for (const QByteArray &line : list.Lines())
            expected += line + "\r\n";
        QFile record(absence::RecordFilePath());
        if (!record.open(QIODevice::ReadOnly) || record.readAll() != expected)
            state.SkipWithError("the record file does not hold the list");
    })->UseManualTime()->Iterations(10);
    benchmark::RegisterBenchmark("save/write", [](State &state) {
        const QByteArray &bytes = TheDay().recordBytes;
        const QByteArray path = QFile::encodeName(TheDay().dir + QStringLiteral("/floor.bin"));
        bool ok = true;
        TimeEach(state, [] {}, [&] {
            const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            ok = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size() && ok;
            ::close(fd);
        });
        if (!ok)
            state.SkipWithError("write failed");
    })->UseManualTime()->Iterations(10);
    benchmark::RegisterBenchmark("load/program", [](State &state) {
        AbsenceList list;
        TimeEach(state, [] {}, [&] { absence::Load(list, absence::RecordFilePath()); });
        if (list.Count() != TheDay().lines.size() + 1) // and the last-update line
            state.SkipWithError("the record did not load whole");
    })->UseManualTime()->Iterations(10);
    benchmark::RegisterBenchmark("load/read", [](State &state) {
        const QByteArray path = QFile::encodeName(absence::RecordFilePath());
        // Room for the record however long the saves above made its stamp.
        const size_t room = size_t(TheDay().recordBytes.size()) + 4096;
        bool ok = true;
        TimeEach(state, [] {}, [&] {
            std::unique_ptr<char[]> buffer(new char[room]);
            const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
            ok = ::read(fd, buffer.get(), room) > 0 && ok;
            ::close(fd);
        });
        if (!ok)
            state.SkipWithError("read failed");
    })->UseManualTime()->Iterations(10);
}

void Memory()
{
    benchmark::RegisterBenchmark("memory/cli", [](State &state) {
        const std::string date = TheDay().date.toString(Qt::ISODate).toStdString();
        const std::string dir = TheDay().dir.toStdString();
        const std::vector<std::string> env{"LC_ALL=ja_JP.UTF-8"};
        long day = -1, help = -1;
        for (auto _ : state) {
            day = PeakRssKb({ABSENCE_CLI_PATH, "--dir", dir, "--date", date, "collect", "time",
                             "save", "print"}, env);
            help = PeakRssKb({ABSENCE_CLI_PATH, "--help"}, env);
        }
        if (day < 0 || help < 0)
            state.SkipWithError("absence-collector-cli failed");
        state.counters["above_help_kb"] = double(day - help);
        state.counters["help_kb"] = double(help);
        state.counters["data_kb"] = double(TheDay().dataBytes) / 1024;
    })->Iterations(1);
}

#ifdef ABSENCE_BENCH_UI

// Lets the event loop run dry, then paints `widget` at once: the operator sees
// the result only when this returns.
void SettleAndPaint(QWidget *widget)
{
    QCoreApplication::processEvents();
    widget->repaint();
}

void WindowReorder(int n)
{
    const auto pressTimeOrder = [=](State &state, bool exchange) {
        const QList<QByteArray> lines = Sample(n);
        TForm1 form;
        form.show();
        QWidget *listArea = form.ListBox1->viewport();
        TimeEach(state,
                 [&] {
                     form.Items().Assign(lines);
                     form.FitHorizontalExtent();
                     SettleAndPaint(&form);
                 },
                 [&] {
                     if (exchange)
                         ExchangeReorder(form.Items(), absence::TimeKey);
                     else
                         form.BitBtn4->click();
                     SettleAndPaint(listArea);
                 });
        CheckSameOrder(state, lines, form.Items(), absence::OrderByTime);
    };
    const std::string name = "window/time/" + std::to_string(n);
    benchmark::RegisterBenchmark((name + "/program").c_str(), pressTimeOrder, false)
        ->UseManualTime()->Iterations(10);
    benchmark::RegisterBenchmark((name + "/exchange").c_str(), pressTimeOrder, true)
        ->UseManualTime()->Iterations(1);
}

// What the start window's run collection does before its modal run.
void OpenCollectionWindow()
{
    benchmark::RegisterBenchmark("window/open/program", [](State &state) {
        TForm_top top;
        top.DateTimePicker1->setDate(TheDay().date);
        top.show();
        SettleAndPaint(&top);
        std::unique_ptr<TForm1> form;
        TimeEach(state,
                 [&] {
                     form.reset();
                     QCoreApplication::processEvents();
                 },
                 [&] {
                     form = std::make_unique<TForm1>(&top);
                     if (absence::FindRecordFile(top.DateTimePicker1->date()))
                         return;
                     absence::Load(form->Items(), absence::RecordPath);
                     form->FitHorizontalExtent();
                     form->Edit1->setText(QStringLiteral("設定日：")
                                          + absence::FromCp932(absence::ShortDateText(absence::ChosenDate)));
                     form->show();
                     SettleAndPaint(form.get());
                 });
        if (!form || form->Items().Count() <= TheDay().lines.size())
            state.SkipWithError("the record was not opened");
    })->UseManualTime()->Iterations(5);
}

// Start to first painted window, from outside: the probe library ends the
// process right after that paint.
void ProgramStart()
{
    const auto start = [](State &state, std::vector<std::string> command) {
        bool ok = true;
        TimeEach(state, [] {}, [&] {
            ok = RunChild(command, {"LD_PRELOAD=" ABSENCE_PROBE_PATH}) && ok;
        });
        if (!ok)
            state.SkipWithError("the program did not show its window");
    };
    using Command = std::vector<std::string>;
    benchmark::RegisterBenchmark("start/program", start, Command{ABSENCE_GUI_PATH})
        ->UseManualTime()->Iterations(8);
    benchmark::RegisterBenchmark("start/minimal", start, Command{ABSENCE_MINIMAL_PATH})
        ->UseManualTime()->Iterations(8);
    benchmark::RegisterBenchmark("start/minimal-label", start, Command{ABSENCE_MINIMAL_PATH, "--label"})
        ->UseManualTime()->Iterations(8);
}

#endif

} // namespace

void RegisterFigures()
{
    for (int n : {1000, 5001, 50000}) {
        Reorder("time", absence::OrderByTime, absence::TimeKey, n);
        Reorder("class", absence::OrderByClass, absence::ClassKey, n);
    }
#ifdef ABSENCE_BENCH_UI
    WindowReorder(5001);
#endif
    Collection();
    SaveAndLoad();
#ifdef ABSENCE_BENCH_UI
    OpenCollectionWindow();
    ProgramStart();
#endif
    Memory();
}

} // namespace bench
