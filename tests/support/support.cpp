#include "support.h"

#include "services.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

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

QString DataName(int digit)
{
    return QLatin1String(kDay) + QStringLiteral("A%1.TXT").arg(digit);
}

QString RecordName()
{
    return QLatin1String(kDay) + QStringLiteral("A.TXT");
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

QString CliPath()
{
#ifdef ABSENCE_CLI_PATH
    return QStringLiteral(ABSENCE_CLI_PATH);
#else
    return QString();
#endif
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

CliResult RunCli(const CliRun &run)
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
    if (!run.fixedNow.isEmpty())
        env.insert(QStringLiteral("ABSENCE_FIXED_NOW"), run.fixedNow);

    QProcess process;
    process.setProcessEnvironment(env);
    if (!run.workingDirectory.isEmpty())
        process.setWorkingDirectory(run.workingDirectory);
    if (!run.standardOutputFile.isEmpty())
        process.setStandardOutputFile(run.standardOutputFile);
    QProcess reader;
    if (run.closeStandardOutput)
        process.setStandardOutputProcess(&reader);
    process.start(CliPath(), run.args);

    CliResult result;
    result.started = process.waitForStarted(30000);
    if (!result.started)
        return result;
    process.closeWriteChannel();
    if (run.closeStandardOutput) {
        reader.start(QStringLiteral("true"), {});
        reader.waitForFinished(30000);
    }
    result.finished = process.waitForFinished(60000);
    if (!result.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    return result;
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

} // namespace testsupport
