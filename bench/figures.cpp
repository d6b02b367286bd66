// The measured pairs: each figure of the program beside the baseline it is
// judged against, registered to run one after the other.

#include "support.h"

#include "absence_list.h"
#include "collection.h"
#include "data_file_watch.h"
#include "day_csv.h"
#include "day_files.h"
#include "day_files_p.h"
#include "record_file.h"
#include "record_file_p.h"
#include "reorder.h"
#include "reorder_p.h"
#include "services.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <fcntl.h>
#include <map>
#include <memory>
#include <numeric>
#include <string>
#include <sys/stat.h>
#include <unicode/ucnv.h>
#include <unicode/ucol.h>
#include <unistd.h>

#ifdef ABSENCE_BENCH_UI
#include "collection_window.h"
#include "faces.h"
#include "list_pages.h"
#include "start_window.h"
#include "tally_window.h"
#include "widgets.h"
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPdfWriter>
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
    })->UseManualTime()->Iterations(20);
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
        TimeEach(state, [] {}, [&] { absence::Collect(list, absence::ChosenDate); });
        if (list.Count() != TheDay().lines.size())
            state.SkipWithError("the collection missed lines");
    })->UseManualTime()->Iterations(5);
    benchmark::RegisterBenchmark("collect/peer", [](State &state) {
        QString files;
        for (int digit = 0; digit <= 9; ++digit)
            files += u' ' + absence::DataFileName(absence::ChosenDate, digit);
        const std::string command = "iconv -f CP932 -t UTF-8" + files.toStdString()
            + " | LC_ALL=ja_JP.UTF-8 sort -f";
        bool ok = true;
        TimeEach(state, [] {}, [&] { ok = RunChild({"/bin/sh", "-c", command}) && ok; });
        if (!ok)
            state.SkipWithError("iconv | sort failed");
    })->UseManualTime()->Iterations(5);
}

// The day read and tallied, and its CSV written, beside the collection of
// the same day.
void TallyAndCsv()
{
    benchmark::RegisterBenchmark("tally/program", [](State &state) {
        AbsenceList list;
        list.Assign(TheDay().lines);
        int counted = 0;
        TimeEach(state, [] {}, [&] { counted = absence::TallyDay(list, TheDay().date).total.lines; });
        if (counted != list.Count())
            state.SkipWithError("the tally missed lines");
    })->UseManualTime()->Iterations(5);
    benchmark::RegisterBenchmark("csv/program", [](State &state) {
        AbsenceList list;
        list.Assign(TheDay().lines);
        const QString path = TheDay().dir + QStringLiteral("/day.csv");
        bool ok = true;
        TimeEach(state, [] {}, [&] {
            try {
                absence::WriteDayCsv(path, list, TheDay().date, absence::CsvEncoding::Cp932);
            } catch (const std::exception &) {
                ok = false;
            }
        });
        QFile csv(path);
        if (!ok || !csv.open(QIODevice::ReadOnly) || csv.readAll().count('\n') != list.Count() + 1)
            state.SkipWithError("the CSV was not written whole");
    })->UseManualTime()->Iterations(5);
}

void SaveAndLoad()
{
    benchmark::RegisterBenchmark("save/program", [](State &state) {
        AbsenceList list;
        absence::Load(list, absence::RecordFilePath(absence::ChosenDate));
        absence::OrderByTime(list); // its last-update line to the top: replaced in place
        TimeEach(state, [] {}, [&] { absence::Save(list, absence::ChosenDate); });
        QByteArray expected;
        for (const QByteArray &line : list.Lines())
            expected += line + "\r\n";
        QFile record(absence::RecordFilePath(absence::ChosenDate));
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
    // The least that puts the same bytes on the disk.
    benchmark::RegisterBenchmark("save/write-sync", [](State &state) {
        const QByteArray &bytes = TheDay().recordBytes;
        const QByteArray path = QFile::encodeName(TheDay().dir + QStringLiteral("/floor-synced.bin"));
        bool ok = true;
        TimeEach(state, [] {}, [&] {
            const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            ok = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size() && ::fdatasync(fd) == 0 && ok;
            ::close(fd);
        });
        if (!ok)
            state.SkipWithError("write or fdatasync failed");
    })->UseManualTime()->Iterations(10);
    benchmark::RegisterBenchmark("load/program", [](State &state) {
        AbsenceList list;
        TimeEach(state, [] {}, [&] { absence::Load(list, absence::RecordFilePath(absence::ChosenDate)); });
        if (list.Count() != TheDay().lines.size() + 1) // and the last-update line
            state.SkipWithError("the record did not load whole");
    })->UseManualTime()->Iterations(10);
    // The same load done plainly with ICU: the record read whole, split at
    // its CR LF, every line decoded by ICU's code page 932 converter and
    // given its whole sort key by the Japanese collator that ignores case,
    // and the lines put in key order by a stable sort. Any load that
    // collates its lines does at least this much.
    benchmark::RegisterBenchmark("load/icu", [](State &state) {
        const QByteArray path = QFile::encodeName(absence::RecordFilePath(absence::ChosenDate));
        UErrorCode status = U_ZERO_ERROR;
        UCollator *collator = ucol_open("ja", &status);
        ucol_setStrength(collator, UCOL_SECONDARY);
        UConverter *converter = ucnv_open("windows-31j", &status);
        if (U_FAILURE(status)) {
            state.SkipWithError("no ICU collator or converter");
            return;
        }
        size_t count = 0;
        TimeEach(state, [] {}, [&] {
            QFile file(QFile::decodeName(path));
            const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            std::vector<std::string> keys;
            std::vector<UChar> text;
            std::vector<uint8_t> key(256);
            for (qsizetype at = 0; at < bytes.size();) {
                qsizetype end = bytes.indexOf("\r\n", at);
                if (end < 0)
                    end = bytes.size();
                UErrorCode error = U_ZERO_ERROR;
                text.resize(size_t(end - at) + 1);
                const int32_t units = ucnv_toUChars(converter, text.data(), int32_t(text.size()),
                                                    bytes.constData() + at, int32_t(end - at), &error);
                int32_t size = ucol_getSortKey(collator, text.data(), units, key.data(), int32_t(key.size()));
                if (size_t(size) > key.size()) {
                    key.resize(size_t(size));
                    size = ucol_getSortKey(collator, text.data(), units, key.data(), size);
                }
                keys.emplace_back(reinterpret_cast<const char *>(key.data()), size_t(size));
                at = end + 2;
            }
            std::vector<quint32> order(keys.size());
            std::iota(order.begin(), order.end(), 0u);
            std::stable_sort(order.begin(), order.end(),
                             [&](quint32 a, quint32 b) { return keys[a] < keys[b]; });
            count = order.size();
        });
        ucnv_close(converter);
        ucol_close(collator);
        if (count != size_t(TheDay().lines.size()) + 1)
            state.SkipWithError("the record did not load whole");
    })->UseManualTime()->Iterations(10);
    benchmark::RegisterBenchmark("load/read", [](State &state) {
        const QByteArray path = QFile::encodeName(absence::RecordFilePath(absence::ChosenDate));
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

// The notice's look of one tick on the day's ten files, beside ten bare
// lstat() calls; and its system calls, counted by strace in a probe that
// looks a hundred times, beside those of one collection.
void NoticeLook()
{
    benchmark::RegisterBenchmark("look/program", [](State &state) {
        absence::DataFileWatch watch = absence::DataFileWatch::Start(absence::ChosenDate);
        absence::DataFileWatch::Look look = absence::DataFileWatch::Look::Unknown;
        TimeEach(state, [] {}, [&] { look = watch.LookAgain(); });
        if (look != absence::DataFileWatch::Look::Same)
            state.SkipWithError("the look saw a change, or failed");
    })->UseManualTime()->Iterations(200);
    benchmark::RegisterBenchmark("look/lstat", [](State &state) {
        std::vector<QByteArray> paths;
        for (int digit = 0; digit <= 9; ++digit)
            paths.push_back(QFile::encodeName(absence::DataFilePath(absence::ChosenDate, digit)));
        bool ok = true;
        TimeEach(state, [] {}, [&] {
            struct stat st;
            for (const QByteArray &path : paths)
                ok = ::lstat(path.constData(), &st) == 0 && ok;
        });
        if (!ok)
            state.SkipWithError("lstat failed");
    })->UseManualTime()->Iterations(200);
    benchmark::RegisterBenchmark("look/syscalls", [](State &state) {
        constexpr int looks = 100;
        const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
        const QString log = TheDay().dir + QStringLiteral("/look.strace");
        bool ran = false;
        for (auto _ : state) {
            ran = !strace.isEmpty()
                && RunChild({strace.toStdString(), "-f", "-qq", "-o", log.toStdString(), "--", ABSENCE_LOOK_PATH,
                             TheDay().date.toString(Qt::ISODate).toStdString(), std::to_string(looks)});
        }
        QFile trace(log);
        if (!ran || !trace.open(QIODevice::ReadOnly)) {
            state.SkipWithError("strace or the probe failed (is strace installed, ptrace allowed?)");
            return;
        }
        // "PID name(arguments) = result"; the markers are write(-1, "<part>-begin", ...).
        QByteArray part;
        std::map<std::string, double> counts;
        while (!trace.atEnd()) {
            QByteArray line = trace.readLine();
            line = line.mid(line.indexOf(' ')).trimmed();
            if (line.startsWith("write(-1, \"")) {
                const QByteArray marker = line.mid(11, line.indexOf('"', 11) - 11);
                part = marker.endsWith("-begin") ? marker.chopped(6) : QByteArray();
                continue;
            }
            const qsizetype paren = line.indexOf('(');
            if (part.isEmpty() || paren <= 0 || line.startsWith('<'))
                continue;
            const QByteArray call = line.left(paren);
            const std::string prefix = part == "looks" ? "" : "collect_";
            counts[prefix + "calls"] += 1;
            if (call.contains("stat"))
                counts[prefix + "reads"] += 1;
            if (call.startsWith("open") || call == "creat" || call.startsWith("getdents"))
                counts[prefix + "opens"] += 1;
        }
        for (const char *name : {"calls", "reads", "opens"})
            state.counters[name] = counts[name] / looks;
        for (const char *name : {"collect_calls", "collect_reads", "collect_opens"})
            state.counters[name] = counts[name];
    })->Iterations(1);
}

#ifdef ABSENCE_BENCH_UI

// A 2,000-line day of its own (ten files of 200 lines), made once.
const Day &SmallDay()
{
    static const Day day = [] {
        const QString dir = TheDay().dir + QStringLiteral("/small-day");
        QDir().mkpath(dir);
        const QDate chosen = absence::ChosenDate;
        Day made = MakeDay(dir, QDate(2026, 12, 9), 10, 200);
        absence::ChosenDate = chosen;
        return made;
    }();
    return day;
}

// The PDF of a 2,000-line day: written in the program, beside the same lines
// drawn bare with QPdfWriter (no wrapping, no header); and the whole pdf
// command, start to exit, beside the same run printing the list instead.
void Pdf()
{
    const auto text = [] {
        QStringList lines;
        for (const QByteArray &line : SmallDay().lines)
            lines << absence::FromCp932(line);
        return lines;
    };
    benchmark::RegisterBenchmark("pdf/program", [text](State &state) {
        const QStringList lines = text();
        const QString path = TheDay().dir + QStringLiteral("/list.pdf");
        bool ok = true;
        TimeEach(state, [] {}, [&] {
            try {
                absence::ui::WriteListPdf(path, absence::ui::DayCaption(SmallDay().date), lines);
            } catch (const std::exception &) {
                ok = false;
            }
        });
        QFile pdf(path);
        if (!ok || !pdf.open(QIODevice::ReadOnly) || !pdf.read(5).startsWith("%PDF-"))
            state.SkipWithError("no PDF was written");
    })->UseManualTime()->Iterations(10);
    benchmark::RegisterBenchmark("pdf/drawtext", [text](State &state) {
        const QStringList lines = text();
        const QString path = TheDay().dir + QStringLiteral("/bare.pdf");
        TimeEach(state, [] {}, [&] {
            QPdfWriter writer(path);
            writer.setPageLayout(absence::ui::ListPageLayout());
            QPainter painter(&writer);
            QFont font(absence::ui::kGothicFace);
            font.setPointSizeF(10.5);
            painter.setFont(QFont(font, &writer));
            const qreal step = painter.fontMetrics().lineSpacing();
            qreal y = step;
            for (const QString &line : lines) {
                if (y > writer.height()) {
                    writer.newPage();
                    y = step;
                }
                painter.drawText(QPointF(0, y), line);
                y += step;
            }
        });
    })->UseManualTime()->Iterations(10);
    const auto command = [](State &state, const char *last) {
        const std::string out = (TheDay().dir + QStringLiteral("/cli.pdf")).toStdString();
        std::vector<std::string> argv{ABSENCE_CLI_PATH, "--dir", SmallDay().dir.toStdString(),
                                      "--date", "2026-12-09", "collect", "time", last};
        if (std::string(last) == "pdf")
            argv.push_back(out);
        bool ok = true;
        TimeEach(state, [] {}, [&] { ok = RunChild(argv, {"LC_ALL=ja_JP.UTF-8"}) && ok; });
        if (!ok)
            state.SkipWithError("absence-collector-cli failed");
    };
    benchmark::RegisterBenchmark("pdf/cli", command, "pdf")->UseManualTime()->Iterations(5);
    benchmark::RegisterBenchmark("pdf/cli-print", command, "print")->UseManualTime()->Iterations(5);
}

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

// The tally window of a 2,000-line day from its making to its first paint,
// beside a bare dialog.
void TallyWindowShown()
{
    const auto show = [](State &state, bool tally) {
        AbsenceList list;
        list.Assign(SmallDay().lines);
        std::unique_ptr<QDialog> window;
        TimeEach(state,
                 [&] {
                     window.reset();
                     QCoreApplication::processEvents();
                 },
                 [&] {
                     if (tally) {
                         window = std::make_unique<absence::ui::TallyWindow>(list, SmallDay().date);
                     } else {
                         window = std::make_unique<QDialog>();
                         new QLabel(QStringLiteral("集計"), window.get());
                     }
                     window->show();
                     SettleAndPaint(window.get());
                 });
    };
    benchmark::RegisterBenchmark("window/tally/2000/program", show, true)->UseManualTime()->Iterations(10);
    benchmark::RegisterBenchmark("window/tally/2000/dialog", show, false)->UseManualTime()->Iterations(10);
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
                     absence::ChosenDate = top.DateTimePicker1->date();
                     QString recordPath;
                     if (absence::FindRecordFile(absence::ChosenDate, recordPath))
                         return;
                     absence::Load(form->Items(), recordPath);
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
    TallyAndCsv();
    SaveAndLoad();
#ifdef ABSENCE_BENCH_UI
    OpenCollectionWindow();
    ProgramStart();
    Pdf();
    TallyWindowShown();
#endif
    NoticeLook();
    Memory();
}

} // namespace bench
