#pragma once
// The core tests' fixtures on top of the shared ones: a fixed clock and
// locale, and a day's folder as the working directory.

#include "day_files.h"
#include "services.h"
#include "support.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QString>
#include <QTime>

#include <gtest/gtest.h>
#include <memory>

namespace testing_support {

using namespace testsupport;

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

// A day's folder made the process's current directory; the old current
// directory comes back on destruction.
class WorkDir : public DayDir {
public:
    WorkDir() : m_old(QDir::currentPath())
    {
        EXPECT_TRUE(isValid());
        EXPECT_TRUE(QDir::setCurrent(path()));
    }
    ~WorkDir() { QDir::setCurrent(m_old); }

private:
    QString m_old;
};

} // namespace testing_support

