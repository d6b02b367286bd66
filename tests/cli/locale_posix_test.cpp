// The locale named by LANG and LC_ALL, which only POSIX systems take from the
// environment (Windows has the user's regional settings).

#include "cli_data.h"

#include <QDate>
#include <QLocale>
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

// Other locales: the tag follows the locale's own short date (Qt's locale
// data), its first two "/" turned into "-".
class CliLocales : public ::testing::TestWithParam<const char *> {};

TEST_P(CliLocales, DataFilesAndRecordFollowTheLocalesShortDate)
{
    const QString name = QString::fromLatin1(GetParam());
    QString tag = QLocale(name.section(QLatin1Char('.'), 0, 0))
                      .toString(Day(), QLocale::ShortFormat);
    for (int k = 0; k < 2; ++k) {
        const qsizetype slash = tag.indexOf(QLatin1Char('/'));
        if (slash >= 0)
            tag[slash] = QLatin1Char('-');
    }
    DayDir dir;
    writeMorning(dir, tag);
    const CliResult r = RunDay(dir, {QStringLiteral("collect"), QStringLiteral("time"), QStringLiteral("save"),
                                     QStringLiteral("print")},
                               DefaultNow(), name);
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QStringList printed = r.outLines();
    ASSERT_EQ(printed.size(), 11) << r.out.constData();
    EXPECT_EQ(printed.mid(0, 10), morningByTime());
    EXPECT_TRUE(printed.last().startsWith(QStringLiteral("最終更新：")));
    EXPECT_TRUE(dir.exists(tag + QStringLiteral("A.TXT"))) << tag.toStdString();
    EXPECT_EQ(dir.read(tag + QStringLiteral("A.TXT")), SjLines(printed, "\r\n"));
}

INSTANTIATE_TEST_SUITE_P(Locales, CliLocales,
                         ::testing::Values("ja_JP.UTF-8", "en_US.UTF-8", "de_DE.UTF-8"));

} // namespace
