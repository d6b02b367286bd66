#include "day_files.h"
#include "day_files_p.h"

#include "files.h"
#include "services.h"

#include <iterator>

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

static QString tagName(const QDate &day)
{
    // Every file name of the day starts with it, and the day rarely changes:
    // the last one is kept, like the date text it comes from.
    thread_local QByteArray lastDate;
    thread_local QString lastTag;
    const QByteArray date = ShortDateText(day);
    if (date != lastDate || lastTag.isNull()) {
        lastTag = FromCp932(MakeDateTag(day));
        lastDate = date;
    }
    return lastTag;
}

namespace {

// `head` followed by `tail` in one string of the right size.
QString joined(const QString &head, QStringView tail)
{
    QString text;
    text.reserve(head.size() + tail.size());
    text += head;
    text += tail;
    return text;
}

// `head` followed by "A<digit>.TXT".
QString dataName(const QString &head, int digit)
{
    if (digit < 0 || digit > 9)
        return head + QLatin1Char('A') + QString::number(digit) + QStringLiteral(".TXT");
    const char16_t tail[] = {u'A', char16_t(u'0' + digit), u'.', u'T', u'X', u'T'};
    return joined(head, QStringView(tail, std::size(tail)));
}

QString dayFolderHead(const QDate &day)
{
    const QString wd = WorkingDirectory();
    const QString tag = tagName(day);
    QString head;
    head.reserve(wd.size() + 1 + tag.size());
    head += wd;
    head += platform::PathSeparator();
    head += tag;
    return head;
}

} // namespace

QString DataFileName(const QDate &day, int digit)
{
    return dataName(tagName(day), digit);
}

QString DataFilePath(const QDate &day, int digit)
{
    return dataName(dayFolderHead(day), digit);
}

std::array<QString, 10> DataFilePaths(const QDate &day)
{
    const QString head = dayFolderHead(day);
    std::array<QString, 10> paths;
    for (int digit = 0; digit <= 9; ++digit)
        paths[size_t(digit)] = dataName(head, digit);
    return paths;
}

QString RecordFileName(const QDate &day)
{
    return joined(tagName(day), u"A.TXT");
}

QString RecordFilePath(const QDate &day)
{
    return joined(dayFolderHead(day), u"A.TXT");
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

QString DataFileUnderIsoName(const QDate &day)
{
    const QString isoTag = day.toString(QStringLiteral("yyyy-MM-dd"));
    if (tagName(day) == isoTag)
        return QString(); // those are the names looked for
    const std::array<QString, 10> paths = DataFilePaths(day);
    for (const QString &path : paths) {
        if (!IsFileAbsent(path))
            return QString(); // the locale's files are there, and empty
    }
    const QString head = WorkingDirectory() + platform::PathSeparator() + isoTag;
    for (int digit = 0; digit <= 9; ++digit) {
        const platform::EntryLookup found = LookUpDayFile(dataName(head, digit));
        if (found.result == platform::EntryLookup::Result::Found)
            return found.path.mid(found.path.lastIndexOf(platform::PathSeparator()) + 1);
    }
    return QString();
}

} // namespace absence
