#include "day_files.h"

#include "files.h"
#include "services.h"

namespace absence {

QDate ChosenDate = QDate::currentDate();

QByteArray ShortDateText(const QDate &date)
{
    // The same day is rendered for every file name and every stamp, and a
    // rendering through the pattern is slow: the last one is kept.
    thread_local QDate lastDate;
    thread_local QString lastFormat;
    thread_local QByteArray lastText;
    const QString &format = localeSettings().shortDateFormat;
    if (date != lastDate || format != lastFormat || lastText.isNull()) {
        lastText = ToCp932(localeSettings().renderShortDate(date));
        lastDate = date;
        lastFormat = format;
    }
    return lastText;
}

QByteArray MakeDateTag(const QDate &date)
{
    QByteArray tag = ShortDateText(date);
    // Exactly the first two "/" become "-"; any further one stays.
    for (int n = 0; n < 2; ++n) {
        const qsizetype at = tag.indexOf('/');
        if (at < 0)
            break;
        tag[at] = '-';
    }
    return tag;
}

QString WorkingDirectory()
{
    // Read afresh each time: the directory may change or vanish between uses.
    return fileSystem().CurrentDirectory();
}

static QString tagName()
{
    return FromCp932(MakeDateTag(ChosenDate));
}

QString DataFileName(int digit)
{
    return tagName() + QLatin1Char('A') + QString::number(digit) + QStringLiteral(".TXT");
}

QString DataFilePath(int digit)
{
    return WorkingDirectory() + platform::PathSeparator() + DataFileName(digit);
}

std::array<QString, 10> DataFilePaths()
{
    const QString head = WorkingDirectory() + platform::PathSeparator() + tagName() + QLatin1Char('A');
    std::array<QString, 10> paths;
    for (int digit = 0; digit <= 9; ++digit)
        paths[size_t(digit)] = head + QString::number(digit) + QStringLiteral(".TXT");
    return paths;
}

QString RecordFileName()
{
    return tagName() + QStringLiteral("A.TXT");
}

QString RecordFilePath()
{
    return WorkingDirectory() + platform::PathSeparator() + RecordFileName();
}

platform::EntryLookup LookUpDayFile(const QString &path)
{
    if (!fileSystem().IsDirectory(WorkingDirectory()))
        return platform::EntryLookup();
    return fileSystem().LookUpEntry(path);
}

bool IsFileAbsent(const QString &path)
{
    return LookUpDayFile(path).result == platform::EntryLookup::Result::Absent;
}

} // namespace absence
