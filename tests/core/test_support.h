#pragma once
// Shared fixtures of the core tests: a fixed clock and locale, a throw-away
// working directory, and code page 932 test data.

#include "day_files.h"
#include "services.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QTime>

#include <gtest/gtest.h>
#include <memory>

namespace testing_support {

// Code page 932 bytes of a UTF-8 literal.
inline QByteArray sj(const char *utf8) { return absence::ToCp932(QString::fromUtf8(utf8)); }

// The day every test works on, and a moment on it.
inline QDate Day() { return QDate(2026, 12, 8); }
inline QDateTime At(int h, int m, int s, int ms = 0, QDate day = Day())
{
    return QDateTime(day, QTime(h, m, s, ms));
}

// ja_JP and a fixed clock for the lifetime of the object; ChosenDate set to
// Day() and restored afterwards.
class JapaneseDay {
public:
    explicit JapaneseDay(const QDateTime &now = At(9, 30, 0),
                         const QString &locale = QStringLiteral("ja_JP"))
        : m_clock(std::make_shared<absence::FixedClock>(now)),
          m_services(m_clock, absence::LocaleSettings::fromName(locale)),
          m_oldDate(absence::ChosenDate)
    {
        absence::ChosenDate = Day();
    }
    ~JapaneseDay() { absence::ChosenDate = m_oldDate; }
    absence::FixedClock &clock() { return *m_clock; }

private:
    std::shared_ptr<absence::FixedClock> m_clock;
    absence::ScopedServices m_services;
    QDate m_oldDate;
};

// A fresh temporary directory made the process's current directory; the old
// current directory comes back on destruction.
class WorkDir {
public:
    WorkDir() : m_old(QDir::currentPath())
    {
        EXPECT_TRUE(m_tmp.isValid());
        EXPECT_TRUE(QDir::setCurrent(m_tmp.path()));
        m_path = QDir::currentPath();
    }
    ~WorkDir() { QDir::setCurrent(m_old); }

    const QString &path() const { return m_path; }
    QString file(const QString &name) const { return m_path + QLatin1Char('/') + name; }

    void write(const QString &name, const QByteArray &bytes) const
    {
        QFile f(file(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << name.toStdString();
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    QByteArray read(const QString &name) const
    {
        QFile f(file(name));
        if (!f.open(QIODevice::ReadOnly))
            return QByteArray("<missing>");
        return f.readAll();
    }
    void mkdir(const QString &name) const { ASSERT_TRUE(QDir(m_path).mkdir(name)); }
    QStringList entries() const
    {
        return QDir(m_path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                          | QDir::NoDotAndDotDot,
                                      QDir::Name);
    }

private:
    QString m_old;
    QTemporaryDir m_tmp;
    QString m_path;
};

// Data file names of Day() as the writers produce them.
inline QString DataName(int digit) { return QStringLiteral("2026-12-08A%1.TXT").arg(digit); }
inline QString RecordName() { return QStringLiteral("2026-12-08A.TXT"); }

inline QByteArray Crlf(const QList<QByteArray> &lines)
{
    QByteArray out;
    for (const QByteArray &l : lines)
        out += l + "\r\n";
    return out;
}

} // namespace testing_support

// Readable failure output for byte strings.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QByteArray &b, std::ostream *os)
{
    *os << '"' << QString::fromLatin1(b.toPercentEncoding(" :/=-*+$.")).toStdString() << '"';
}
inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE
