// absence-collector-cli: the command-line front end over the absence
// collection core. It drives the same operations as the collection window's
// buttons, on one absence list, in the order the commands are given.
//
//   absence-collector-cli [--dir DIR] [--date YYYY-MM-DD] [--raw] [--quiet] COMMAND...
//
// Exit status: 0 every command ran (with --quiet also: a collect found no
// data, and the rest was left); 1 a command raised one of the system's
// errors (its text, with the error box's trailing "." rule, goes to standard
// error and the later commands do not run), or a --quiet collect found the
// day's files only under names other than the locale's; 2 a usage error
// (nothing runs).

#include "absence_list.h"
#include "collection.h"
#include "day_csv.h"
#include "day_files.h"
#include "errors.h"
#include "record_file.h"
#include "reorder.h"
#include "station_file.h"
#include "services.h"
#include "pages.h"
#include "program.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QThread>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>

namespace {

constexpr int ExitOk = 0;
constexpr int ExitError = 1;
constexpr int ExitUsage = 2;

// The environment variable that fixes the clock (a testing aid).
constexpr const char *FixedNowVariable = "ABSENCE_FIXED_NOW";

// A job that meets a data file a station still writes tries again this many
// times, this far apart: a minute in all. The pause can be shortened (a
// testing aid).
constexpr int HeldFileRetries = 12;
constexpr int HeldFilePauseMs = 5000;
constexpr const char *HeldFilePauseVariable = "ABSENCE_HELD_FILE_PAUSE_MS";

const char UsageHead[] =
    "Usage: absence-collector-cli [--dir DIR] [--date YYYY-MM-DD] [--raw] [--utf8] [--quiet] COMMAND...\n"
    "\n"
    "Gathers a day's absence notification files (code page 932) into one list,\n"
    "re-orders it and saves it as the day's absence record file. The commands\n"
    "run left to right on one absence list, which starts empty.\n"
    "\n"
    "Commands:\n"
    "  open      look the day's record file up and load it when present\n"
    "            (otherwise report that there is none and go on)\n"
    "  collect   gather the day's data files A0 to A9 into the list\n"
    "  time      order the list by the time of the notification\n"
    "  class     order the list by class\n"
    "  save      stamp the list with a last-update line and write the record file\n"
    "  print     write the list to standard output, one entry per line\n"
    "  csv FILE  write the list as it stands as CSV to FILE, a row per notification\n"
    "            with its class, kind, reason and the rest read from it\n"
    "            (code page 932 unless --utf8)\n"
    "  summary   print the tally by class as CSV: the lines of each kind, an empty\n"
    "            line, then the absentees by symptom\n"

    "  add N TEXT  append TEXT as one line to the day's data file N (0 to 9),\n"
    "            made when absent, in the file's own encoding (a web form's\n"
    "            or a script's station)\n";

const char PdfUsage[] =
    "  pdf FILE  write the list as it stands, in its order, as A4 pages to the\n"
    "            PDF file FILE (fonts embedded; no display needed)\n"
    "  sheet FILE  write the staff meeting's sheet as PDF to FILE: the tally on\n"
    "            the first page, then the lines class by class\n";

const char UsageTail[] =
    "\n"
    "Options (before the commands):\n"
    "  --dir DIR          the working directory (default: the current directory)\n"
    "  --date YYYY-MM-DD  the day to work on, always in this ISO form (default: today)\n"
    "  --raw              print entries as their code page 932 bytes followed by\n"
    "                     CR LF (the record file's form) instead of UTF-8 and LF;\n"
    "                     summary likewise\n"
    "  --utf8             csv writes UTF-8 with a byte order mark instead of code\n"
    "                     page 932\n"
    "  -q, --quiet        for jobs (cron, systemd timers): print nothing but errors;\n"
    "                     a collect that finds no data ends the run with status 0,\n"
    "                     the commands after it left undone (but with status 1\n"
    "                     when the day's files are there under yyyy-MM-dd names\n"
    "                     the locale does not give); a data file still being\n"
    "                     written is tried again for up to a minute\n"
    "  -h, --help         show this text and exit\n"
    "  --version          show the program's version and exit\n"
    "\n"
    "Exit status: 0 every command ran (or, with --quiet, the day had no data);\n"
    "1 a command failed (its error text goes to standard error and the later\n"
    "commands do not run); 2 usage error (nothing ran).\n"
    "\n"
    "Environment:\n"
    "  LC_ALL, LC_TIME, LANG  the locale of the date tag and date-time renderings\n"
    "  ABSENCE_FIXED_NOW      testing aid: fixes the clock to this local date-time,\n"
    "                         ISO form YYYY-MM-DDTHH:MM:SS (e.g. 2026-12-08T09:30:00)\n"
    "  ABSENCE_HELD_FILE_PAUSE_MS\n"
    "                         testing aid: the milliseconds between the 12 more\n"
    "                         tries of a --quiet collect (default 5000)\n";

// The usage text; the pdf command where this build has it.
QByteArray usageText()
{
    return QByteArray(UsageHead) + (cli::CanWritePdf() ? PdfUsage : "") + UsageTail;
}

enum class Command { Open, Collect, Time, Class, Save, Print, Pdf, Csv, Summary, Sheet, Add };

struct Step {
    Command command;
    QString file; // pdf, csv, sheet: the file, absolute; add: the line
    int digit = 0; // add: the data file
};

struct Options {
    QString dir;
    std::optional<QDate> date;
    bool raw = false;
    bool utf8 = false;
    bool quiet = false;
    int heldFilePauseMs = HeldFilePauseMs;
    bool help = false;
    bool version = false;
    QList<Step> steps;

    bool writesPdf() const
    {
        return std::any_of(steps.begin(), steps.end(),
                           [](const Step &s) { return s.command == Command::Pdf || s.command == Command::Sheet; });
    }
};

struct UsageError {
    QString message;
};

// A run that ends with status 1 on a condition of the command line's own.
struct RunFailure {
    QString message;
};

using absence::Stream;

// One line of UTF-8 text on standard error.
void message(const QString &text)
{
    absence::WriteText(Stream::Error, text.toUtf8() + '\n');
    absence::Flush(Stream::Error);
}

// The list on standard output: code page 932 bytes with --raw, else UTF-8
// text. Output that cannot be written (a full disk, a closed pipe) is the
// stream write error, so the job's log does not claim a list it never got.
void printOut(QByteArrayView data, bool raw)
{
    const bool written = raw ? absence::WriteBytes(Stream::Output, data) : absence::WriteText(Stream::Output, data);
    if (!written)
        throw absence::WriteError();
}

std::optional<Command> parseCommand(const QString &word)
{
    if (word == QLatin1String("open"))
        return Command::Open;
    if (word == QLatin1String("collect"))
        return Command::Collect;
    if (word == QLatin1String("time"))
        return Command::Time;
    if (word == QLatin1String("class"))
        return Command::Class;
    if (word == QLatin1String("save"))
        return Command::Save;
    if (word == QLatin1String("print"))
        return Command::Print;
    if (word == QLatin1String("pdf"))
        return Command::Pdf;
    if (word == QLatin1String("csv"))
        return Command::Csv;
    if (word == QLatin1String("summary"))
        return Command::Summary;
    if (word == QLatin1String("sheet"))
        return Command::Sheet;
    if (word == QLatin1String("add"))
        return Command::Add;
    return std::nullopt;
}

// YYYY-MM-DD exactly, and a real calendar day.
std::optional<QDate> parseIsoDate(const QString &text)
{
    static const QRegularExpression shape(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}$"));
    if (!shape.match(text).hasMatch())
        return std::nullopt;
    const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid())
        return std::nullopt;
    return date;
}

Options parseArguments(const QStringList &arguments)
{
    QCommandLineParser parser;
    // Everything after the first command is a command: an option there is a
    // usage error rather than quietly applying to the whole run.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption dirOption(QStringLiteral("dir"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption dateOption(QStringLiteral("date"), QString(), QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption rawOption(QStringLiteral("raw"));
    const QCommandLineOption utf8Option(QStringLiteral("utf8"));
    const QCommandLineOption quietOption(QStringList{QStringLiteral("q"), QStringLiteral("quiet")});
    const QCommandLineOption helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption versionOption(QStringLiteral("version"));
    parser.addOptions({dirOption, dateOption, rawOption, utf8Option, quietOption, helpOption, versionOption});

    Options options;
    // --help wins over everything else wherever it stands: among the commands,
    // after an unknown option, or where an option's value was due.
    const auto isHelp = [](const QString &word) {
        return word == QLatin1String("--help") || word == QLatin1String("-h");
    };
    if (std::any_of(arguments.begin() + std::min<qsizetype>(1, arguments.size()), arguments.end(), isHelp)) {
        options.help = true;
        return options;
    }
    const bool parsed = parser.parse(arguments);
    const QStringList words = parser.positionalArguments();
    if (!parsed)
        throw UsageError{parser.errorText()};
    if (parser.isSet(versionOption)) {
        options.version = true;
        return options;
    }
    if (parser.isSet(dirOption)) {
        options.dir = parser.value(dirOption);
        if (options.dir.isEmpty())
            throw UsageError{QStringLiteral("--dir needs a directory")};
    }
    if (parser.isSet(dateOption)) {
        const QString text = parser.value(dateOption);
        options.date = parseIsoDate(text);
        if (!options.date)
            throw UsageError{QStringLiteral("not a valid date (YYYY-MM-DD): %1").arg(text)};
    }
    options.raw = parser.isSet(rawOption);
    options.utf8 = parser.isSet(utf8Option);
    options.quiet = parser.isSet(quietOption);
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString &word = words[i];
        const std::optional<Command> command = parseCommand(word);
        if (!command) {
            if (word.startsWith(QLatin1Char('-')))
                throw UsageError{QStringLiteral("options must come before the commands: %1").arg(word)};
            throw UsageError{QStringLiteral("unknown command: %1").arg(word)};
        }
        Step step{*command, QString(), 0};
        if (step.command == Command::Pdf || step.command == Command::Sheet || step.command == Command::Csv) {
            if (step.command != Command::Csv && !cli::CanWritePdf())
                throw UsageError{
                    QStringLiteral("%1: this build has no page layout (built without the windows)").arg(word)};
            if (i + 1 >= words.size() || words[i + 1].isEmpty())
                throw UsageError{QStringLiteral("%1 needs a file name").arg(word)};
            // Named from where the program was started, before --dir.
            step.file = QFileInfo(words[++i]).absoluteFilePath();
        }
        if (step.command == Command::Add) {
            if (i + 2 >= words.size())
                throw UsageError{QStringLiteral("add needs a data file number (0 to 9) and a line")};
            const QString &digit = words[++i];
            if (digit.size() != 1 || digit[0] < QLatin1Char('0') || digit[0] > QLatin1Char('9'))
                throw UsageError{QStringLiteral("add: not a data file number (0 to 9): %1").arg(digit)};
            step.digit = digit[0].digitValue();
            step.file = words[++i];
            const QString fault = absence::LineTextFault(step.file);
            if (!fault.isEmpty())
                throw UsageError{QStringLiteral("add: %1").arg(fault)};
        }
        options.steps.append(step);
    }
    if (options.steps.isEmpty())
        throw UsageError{QStringLiteral("no command given")};
    return options;
}

// The clock: the system clock, or the moment ABSENCE_FIXED_NOW names.
void setUpClock()
{
    const QByteArray fixed = qgetenv(FixedNowVariable);
    if (fixed.isEmpty())
        return; // the core's default system clock
    QDateTime at = QDateTime::fromString(QString::fromLatin1(fixed), Qt::ISODate);
    if (!at.isValid())
        at = QDateTime::fromString(QString::fromLatin1(fixed), Qt::ISODateWithMs);
    if (!at.isValid())
        throw UsageError{QStringLiteral("%1 is not an ISO local date-time (YYYY-MM-DDTHH:MM:SS): %2")
                             .arg(QLatin1String(FixedNowVariable), QString::fromLatin1(fixed))};
    absence::setClock(std::make_shared<absence::FixedClock>(at));
}

// The pause between a job's tries: the default, or what the testing aid says.
int heldFilePause()
{
    const QByteArray given = qgetenv(HeldFilePauseVariable);
    if (given.isEmpty())
        return HeldFilePauseMs;
    bool ok = false;
    const int ms = given.toInt(&ok);
    if (!ok || ms < 0)
        throw UsageError{QStringLiteral("%1 is not a number of milliseconds: %2")
                             .arg(QLatin1String(HeldFilePauseVariable), QString::fromLatin1(given))};
    return ms;
}

// The collection run. A job (--quiet) waits out a station that still writes
// its file; at the command line, as at the window, the operator is told at
// once and decides.
void collect(absence::AbsenceList &list, const Options &options, const QDate &day)
{
    for (int tries = 0;; ++tries) {
        try {
            absence::Collect(list, day);
            return;
        } catch (const absence::InOutError &error) {
            if (!options.quiet || error.code() != absence::SharingViolationCode || tries == HeldFileRetries)
                throw;
        }
        QThread::msleep(options.heldFilePauseMs);
    }
}

// A collect that found nothing under the locale's names, while the day's
// files are there under the names of the Japanese short date (yyyy/MM/dd):
// the day was not read, rather than empty. The text that says so, or none.
std::optional<QString> unreadDay(const QDate &day)
{
    const QString name = absence::DataFileUnderIsoName(day);
    if (name.isEmpty())
        return std::nullopt;
    const std::array<QString, 10> paths = absence::DataFilePaths(day);
    return QStringLiteral(
               "absence-collector-cli: no data file of the day under %1, short date %2 "
               "(%3 to %4), but %5 is there, named by the short date yyyy/MM/dd")
        .arg(absence::LocaleSourceText(), absence::localeSettings().shortDateFormat,
             QFileInfo(paths.front()).fileName(), QFileInfo(paths.back()).fileName(), name);
}

// Decodes a long line in pieces cut between characters, so it is never held
// whole as text.
QByteArray toUtf8InPieces(QByteArrayView line)
{
    constexpr qsizetype Piece = 64 * 1024;
    QByteArray out;
    qsizetype start = 0;
    while (start < line.size()) {
        qsizetype end = start;
        while (end < line.size() && end - start < Piece) {
            end += absence::IsCp932LeadByte(quint8(line[end])) ? 2 : 1;
        }
        end = std::min(end, line.size());
        out += absence::FromCp932(QByteArray::fromRawData(line.data() + start, end - start)).toUtf8();
        if (out.size() >= Piece) {
            printOut(out, false);
            out.clear();
        }
        start = end;
    }
    return out;
}

void printList(const absence::AbsenceList &list, bool raw)
{
    // Written in pieces, so a large day is not held a second time.
    constexpr qsizetype Flush = 64 * 1024;
    QByteArray out;
    const int count = list.Count();
    for (int i = 0; i < count; ++i) {
        const QByteArrayView line = list.View(i);
        if (line.size() >= Flush) {
            printOut(out, raw);
            out.clear();
            if (raw)
                printOut(line, true);
            else
                out = toUtf8InPieces(line);
        } else if (raw) {
            out += line;
        } else {
            out += absence::FromCp932(QByteArray::fromRawData(line.data(), line.size())).toUtf8();
        }
        out += raw ? "\r\n" : "\n";
        if (out.size() >= Flush || i + 1 == count) {
            printOut(out, raw);
            out.clear();
        }
    }
    if (!absence::Flush(Stream::Output))
        throw absence::WriteError();
}

// Runs one step; false when the run ends here without an error (a job's
// day without data).
bool run(const Step &step, absence::AbsenceList &list, const Options &options, const QDate &day)
{
    const auto say = [&](const QString &text) {
        if (!options.quiet)
            message(text);
    };
    switch (step.command) {
    case Command::Open: {
        QString recordPath;
        if (absence::FindRecordFile(day, recordPath))
            say(QStringLiteral("欠席連絡記録ファイルはありません！"));
        else
            absence::Load(list, recordPath);
        break;
    }
    case Command::Collect:
        collect(list, options, day);
        if (list.Count() == 0) {
            if (options.quiet) {
                if (const std::optional<QString> unread = unreadDay(day))
                    throw RunFailure{*unread};
                return false;
            }
            message(QStringLiteral("欠席記録データがありません"));
        }
        break;
    case Command::Time:
        absence::OrderByTime(list);
        break;
    case Command::Class:
        absence::OrderByClass(list);
        break;
    case Command::Save:
        absence::Save(list, day);
        say(QStringLiteral("保存しました！"));
        break;
    case Command::Print:
        printList(list, options.raw);
        break;
    case Command::Pdf:
        cli::WritePdf(step.file, day, list);
        break;
    case Command::Csv:
        absence::WriteDayCsv(step.file, list, day,
                             options.utf8 ? absence::CsvEncoding::Utf8Bom : absence::CsvEncoding::Cp932);
        break;
    case Command::Summary:
        printOut(absence::SummaryText(absence::TallyDay(list, day), options.raw), options.raw);
        if (!absence::Flush(Stream::Output))
            throw absence::WriteError();
        break;
    case Command::Sheet:
        cli::WriteSheet(step.file, day, list);
        break;
    case Command::Add:
        absence::AppendDataLine(day, step.digit, step.file);
        break;
    }
    return true;
}

// Whether the command line asks for a PDF, read before the application
// object exists: only then does the run need Qt's drawing.
bool asksForPdf(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    try {
        return parseArguments(arguments).writesPdf();
    } catch (const UsageError &) {
        return false; // reported by the run itself
    }
}

// Qt's own notes (a missing XDG_RUNTIME_DIR under cron, say) are not the
// program's messages: a job's output stays its own. What stops Qt still shows.
void qtMessage(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        message(QStringLiteral("absence-collector-cli: Qt: %1").arg(text));
}

} // namespace

int main(int argc, char **argv)
{
    absence::PrepareProcess();
    qInstallMessageHandler(qtMessage);
    const std::unique_ptr<QCoreApplication> app =
        cli::MakeApplication(argc, argv, cli::CanWritePdf() && asksForPdf(argc, argv));
    if (!absence::Cp932Available()) {
        message(QStringLiteral("absence-collector-cli: ") + absence::Cp932UnavailableText());
        return ExitError;
    }

    Options options;
    QDate day;
    try {
        options = parseArguments(app->arguments());
        if (options.help || options.version) {
            absence::WriteText(Stream::Output, options.help
                                                   ? usageText()
                                                   : QByteArrayLiteral("absence-collector-cli " ABSENCE_VERSION "\n"));
            return absence::Flush(Stream::Output) ? ExitOk : ExitError;
        }
        if (!options.dir.isEmpty()) {
            const QFileInfo info(options.dir);
            if (!info.exists() || !info.isDir())
                throw UsageError{QStringLiteral("not a directory: %1").arg(options.dir)};
            if (!QDir::setCurrent(options.dir))
                throw UsageError{QStringLiteral("cannot change into the directory: %1").arg(options.dir)};
        }
        absence::setLocaleSettings(absence::LocaleSettings::fromSystem());
        setUpClock();
        options.heldFilePauseMs = heldFilePause();
        day = options.date ? *options.date : absence::clock().now().date();
    } catch (const UsageError &usage) {
        message(QStringLiteral("absence-collector-cli: %1").arg(usage.message));
        absence::WriteText(Stream::Error, usageText());
        return ExitUsage;
    }

    absence::AbsenceList list;
    try {
        for (const Step &step : options.steps) {
            if (!run(step, list, options, day))
                break;
        }
    } catch (const absence::AbsenceError &error) {
        message(absence::ErrorReportText(error.message()));
        return ExitError;
    } catch (const RunFailure &failure) {
        message(failure.message);
        return ExitError;
    } catch (const std::exception &error) {
        message(
            QStringLiteral("absence-collector-cli: unexpected error: %1").arg(QString::fromLocal8Bit(error.what())));
        return ExitError;
    }
    return ExitOk;
}
