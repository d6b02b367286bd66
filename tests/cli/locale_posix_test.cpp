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

// A job under other date formats (cron takes the system's locale) that finds
// the day's files only under their Japanese names fails loudly, writing
// nothing; a day without files stays silent.
TEST(CliLocaleJob, AQuietCollectNeverHidesADayItCouldNotRead)
{
    struct Case {
        const char *locale;
        bool files;
        int exitCode;
        QString err;
    };
    const QString unread = QStringLiteral("absence-collector-cli: no data file of the day under LC_ALL=%1, short "
                                          "date %2 (%3A0.TXT to %3A9.TXT), but 2026-12-08A0.TXT is there, named "
                                          "by the short date yyyy/MM/dd\n");
    const Case cases[] = {
        {"en_GB.UTF-8", true, 1, unread.arg(QStringLiteral("en_GB.UTF-8"), QStringLiteral("dd/MM/yyyy"),
                                            QStringLiteral("08-12-2026"))},
        {"C", true, 1, unread.arg(QStringLiteral("C"), QStringLiteral("M/d/yy"), QStringLiteral("12-8-26"))},
        {"en_GB.UTF-8", false, 0, QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.locale);
        DayDir dir;
        if (c.files)
            writeMorning(dir);
        const QStringList before = dir.entries();
        const CliResult r = RunDay(dir, {QStringLiteral("--quiet"), QStringLiteral("collect"), QStringLiteral("time"),
                                         QStringLiteral("save")},
                                   DefaultNow(), QString::fromLatin1(c.locale));
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.errText(), c.err);
        EXPECT_EQ(dir.entries(), before);
    }
}

} // namespace
