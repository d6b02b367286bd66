#include "support.h"

#include "day_files.h"
#include "services.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

#include <iostream>

#include <gtest/gtest.h>

QT_BEGIN_NAMESPACE
void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toUtf8().constData() << '"';
}

void PrintTo(const QStringList &list, std::ostream *os)
{
    *os << "{\n";
    for (const QString &text : list)
        *os << "  \"" << text.toUtf8().constData() << "\"\n";
    *os << '}';
}

void PrintTo(const QByteArray &bytes, std::ostream *os)
{
    QString shown;
    for (const QChar c : absence::FromCp932(bytes)) {
        if (c == QLatin1Char('\r'))
            shown += QLatin1String("\\r");
        else if (c == QLatin1Char('\n'))
            shown += QLatin1String("\\n");
        else if (c.unicode() < 0x20)
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    *os << '"' << shown.toUtf8().constData() << "\" (" << bytes.size() << " bytes)";
}
QT_END_NAMESPACE

namespace testsupport {

QByteArray Sj(const QString &text)
{
    return absence::ToCp932(text);
}

QByteArray JoinLines(const QList<QByteArray> &lines, const QByteArray &terminator)
{
    QByteArray bytes;
    for (const QByteArray &line : lines)
        bytes += line + terminator;
    return bytes;
}

QByteArray SjLines(const QStringList &lines, const QByteArray &terminator)
{
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += Sj(line) + terminator;
    return bytes;
}

QList<QByteArray> SplitCrLf(const QByteArray &bytes)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype end; (end = bytes.indexOf("\r\n", start)) >= 0; start = end + 2)
        lines.append(bytes.mid(start, end - start));
    if (start < bytes.size())
        lines.append(bytes.mid(start));
    return lines;
}

QString DayFile(const QString &suffix)
{
    return QLatin1String(kDay) + suffix;
}

QString DataName(int digit)
{
    return DayFile(QStringLiteral("A%1.TXT").arg(digit));
}

QString RecordName()
{
    return DayFile(QStringLiteral("A.TXT"));
}

QString StampText(const QString &time)
{
    return QStringLiteral("最終更新：2026/12/08 ") + time;
}

QByteArray StampLine(const QString &time)
{
    return Sj(StampText(time));
}

namespace {

const QFileDevice::Permissions kOpenFolder =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
    | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther
    | QFileDevice::ExeOther;

} // namespace

DayDir::DayDir() : m_dir(QDir::tempPath() + QStringLiteral("/absence-test-XXXXXX"))
{
    // The unprivileged user of some tests must be able to reach the folder.
    if (m_dir.isValid() && QFile::setPermissions(m_dir.path(), kOpenFolder))
        m_path = QDir::toNativeSeparators(QFileInfo(m_dir.path()).canonicalFilePath());
}

DayDir::~DayDir()
{
    if (m_path.isEmpty())
        return;
    // Folders a test made read-only must be writable again to be emptied.
    QFile::setPermissions(m_path, kOpenFolder);
    QDirIterator it(m_path, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        QFile::setPermissions(it.next(), kOpenFolder);
}

bool DayDir::write(const QString &name, const QByteArray &bytes) const
{
    const bool written = WriteFile(file(name), bytes);
    if (!written)
        ADD_FAILURE() << "could not write " << name.toStdString();
    return written;
}

bool DayDir::writeLines(const QString &name, const QStringList &lines,
                        const QByteArray &terminator) const
{
    return write(name, SjLines(lines, terminator));
}

bool DayDir::makeDir(const QString &name) const
{
    return QDir(m_path).mkpath(name);
}

QByteArray DayDir::read(const QString &name) const
{
    return ReadFile(file(name));
}

bool DayDir::exists(const QString &name) const
{
    return QFileInfo::exists(file(name)) || QFileInfo(file(name)).isSymLink();
}

QStringList DayDir::entries() const
{
    QStringList names = QDir(m_path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                               | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

WorkDir::WorkDir() : m_old(QDir::currentPath())
{
    EXPECT_TRUE(isValid());
    EXPECT_TRUE(QDir::setCurrent(path()));
}

WorkDir::~WorkDir()
{
    QDir::setCurrent(m_old);
}

JapaneseDay::JapaneseDay(const QDateTime &now, const QString &locale)
    : m_clock(std::make_shared<absence::FixedClock>(now)),
      m_services(m_clock, absence::LocaleSettings::fromName(locale)),
      m_oldDate(absence::ChosenDate)
{
    absence::ChosenDate = Day();
}

JapaneseDay::~JapaneseDay()
{
    absence::ChosenDate = m_oldDate;
}

bool CanRemoveCurrentFolder()
{
    const QString old = QDir::currentPath();
    QTemporaryDir probe;
    const bool entered = probe.isValid() && QDir::setCurrent(probe.path());
    const bool removed = entered && QDir().rmdir(probe.path());
    QDir::setCurrent(old);
    return removed;
}

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool ok = file.write(bytes) == bytes.size();
    file.close();
    return ok && file.error() == QFileDevice::NoError;
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

void Figure(const QString &text)
{
    std::cout << "[ figures  ] " << text.toStdString() << std::endl;
}

QString CliPath()
{
    return QStringLiteral(ABSENCE_CLI_PATH);
}

QString LeaseHelperPath()
{
    return QStringLiteral(ABSENCE_LEASE_HELPER_PATH);
}

QStringList CliResult::outLines() const
{
    QString text = QString::fromUtf8(out);
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    if (text.isEmpty())
        return {};
    return text.split(QLatin1Char('\n'));
}

QProcessEnvironment CliEnvironment(const CliRun &run)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QStringList keys = env.keys();
    for (const QString &key : keys) {
        if (key.startsWith(QLatin1String("LC_")) || key == QLatin1String("LANG")
            || key == QLatin1String("LANGUAGE") || key == QLatin1String("ABSENCE_FIXED_NOW"))
            env.remove(key);
    }
    env.insert(QStringLiteral("LANG"), run.locale);
    env.insert(QStringLiteral("LC_ALL"), run.locale);
    env.insert(QStringLiteral("ABSENCE_FIXED_NOW"),
               run.nowText.isEmpty() ? run.now.toString(Qt::ISODate) : run.nowText);
    for (const QString &entry : run.environment)
        env.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
    // Under a wrapper (strace, a mount namespace without /proc) or with a file
    // capability (which makes the process undumpable) LeakSanitizer cannot
    // inspect the process: a sanitizer build's leak check is left to the
    // other runs.
    const QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
    if (!asan.isEmpty() && (!run.wrapper.isEmpty() || !run.executable.isEmpty()))
        env.insert(QStringLiteral("ASAN_OPTIONS"), asan + QStringLiteral(":detect_leaks=0"));
    return env;
}

CliProcess::CliProcess(const CliRun &run)
{
    m_process.setProcessEnvironment(CliEnvironment(run));
    if (!run.workingDirectory.isEmpty())
        m_process.setWorkingDirectory(run.workingDirectory);
    if (!run.standardOutputFile.isEmpty())
        m_process.setStandardOutputFile(run.standardOutputFile);
    if (run.closeStandardOutput)
        m_process.setStandardOutputProcess(&m_reader);
    const QString program = PrepareChild(m_process, run);
    QStringList args = run.wrapper;
    args << program << run.args;
    m_clock.start();
    m_process.start(args.takeFirst(), args);
    m_result.started = m_process.waitForStarted(30000);
    if (!m_result.started)
        return;
    m_process.closeWriteChannel();
    if (run.closeStandardOutput) {
        m_reader.start(QStringLiteral("true"), {});
        m_reader.waitForFinished(30000);
    }
}

CliProcess::~CliProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(30000);
    }
}

void CliProcess::Kill()
{
    m_process.kill();
}

bool CliProcess::Ended()
{
    return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(0);
}

CliResult CliProcess::Wait(int watchdogMs)
{
    if (!m_result.started)
        return m_result;
    m_result.finished = m_process.state() == QProcess::NotRunning || m_process.waitForFinished(watchdogMs);
    if (!m_result.finished) {
        m_process.kill();
        m_process.waitForFinished(30000);
    }
    m_result.seconds = double(m_clock.nsecsElapsed()) / 1e9;
    m_result.out = m_process.readAllStandardOutput();
    m_result.err = m_process.readAllStandardError();
    m_result.crashed = m_process.exitStatus() == QProcess::CrashExit;
    // On POSIX systems QProcess gives a crashed child's signal as its code.
    (m_result.crashed ? m_result.signal : m_result.exitCode) = m_process.exitCode();
    return m_result;
}

CliResult RunCli(const CliRun &run)
{
    return CliProcess(run).Wait();
}

CliResult RunCli(const QStringList &args)
{
    CliRun run;
    run.args = args;
    return RunCli(run);
}

QStringList DayArgs(const QString &dir, const QStringList &commands)
{
    return QStringList{QStringLiteral("--dir"), dir, QStringLiteral("--date"), QLatin1String(kDay)}
           + commands;
}

CliResult RunDay(const DayDir &dir, const QStringList &commands, const QDateTime &now, const QString &locale)
{
    CliRun run;
    run.args = DayArgs(dir.path(), commands);
    run.now = now;
    run.locale = locale;
    return RunCli(run);
}

} // namespace testsupport
