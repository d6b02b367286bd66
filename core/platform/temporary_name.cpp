// The temporary name of a new record and the leftover rule, for every system.

#include "platform_p.h"

#include <QRandomGenerator>

#include <cstring>

namespace absence::platform::detail {

namespace {

constexpr char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr int SuffixLength = 6;
constexpr qint64 LeftoverAgeSeconds = 60;

bool isLetter(char c)
{
    return c != '\0' && std::strchr(Letters, c) != nullptr;
}

QByteArray suffix()
{
    QByteArray text(SuffixLength, Qt::Uninitialized);
    for (char &c : text)
        c = Letters[QRandomGenerator::global()->bounded(int(sizeof Letters - 1))];
    return text;
}

} // namespace

QString TemporaryRecordName(const QString &recordName)
{
    return recordName + QLatin1Char('.') + QLatin1String(suffix());
}

QByteArray TemporaryRecordName(const QByteArray &recordName)
{
    return recordName + '.' + suffix();
}

bool IsTemporaryRecordName(const QString &name, const QString &recordName, Qt::CaseSensitivity cs)
{
    if (name.size() != recordName.size() + 1 + SuffixLength || !name.startsWith(recordName, cs) ||
        name.at(recordName.size()) != QLatin1Char('.'))
        return false;
    for (qsizetype i = recordName.size() + 1; i < name.size(); ++i) {
        const char16_t c = name.at(i).unicode();
        if (c > 127 || !isLetter(char(c)))
            return false;
    }
    return true;
}

bool IsTemporaryRecordName(const QByteArray &name, const QByteArray &recordName)
{
    if (name.size() != recordName.size() + 1 + SuffixLength || !name.startsWith(recordName) ||
        name.at(recordName.size()) != '.')
        return false;
    for (qsizetype i = recordName.size() + 1; i < name.size(); ++i) {
        if (!isLetter(name.at(i)))
            return false;
    }
    return true;
}

bool IsStaleLeftover(bool regularFile, bool operatorsOwn, qint64 secondsSinceWritten)
{
    return regularFile && operatorsOwn && secondsSinceWritten > LeftoverAgeSeconds;
}

} // namespace absence::platform::detail
