#pragma once
// The machine services the core uses: the clock, the locale's date and time
// settings, and code page 932 conversion. Tests replace the clock and the
// locale through these interfaces instead of touching the machine.

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <functional>
#include <memory>

namespace absence {

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock : public Clock {
public:
    QDateTime now() const override;
};

// A clock that always answers the same moment (tests, scripted runs).
class FixedClock : public Clock {
public:
    explicit FixedClock(QDateTime at) : m_at(std::move(at)) { }
    QDateTime now() const override { return m_at; }
    void set(QDateTime at) { m_at = std::move(at); }

private:
    QDateTime m_at;
};

// The date and time settings the program renders with.
struct LocaleSettings {
    QString shortDateFormat = QStringLiteral("M/d/yy"); // QDate::toString pattern
    QString timeSeparator = QStringLiteral(":");
    bool clock24 = true;
    bool hourLeadingZero = false;
    QString amDesignator = QStringLiteral("AM");
    QString pmDesignator = QStringLiteral("PM");
    bool amPmBefore = false;
    QString amPmGap = QStringLiteral(" "); // text between marker and time

    // The fall-back when the locale gives nothing: m/d/yy, 24-hour H:mm:ss.
    static LocaleSettings fallback();
    // Settings taken from Qt's locale data; the C locale gives the fall-back.
    static LocaleSettings fromLocale(const QLocale &locale);
    // A POSIX locale name such as "ja_JP.UTF-8", "de_DE@euro", "C" or "".
    static LocaleSettings fromName(const QString &posixName);
    // The locale of the environment: LC_ALL, then LC_TIME, then LANG.
    static LocaleSettings fromEnvironment(const std::function<QString(const char *)> &getenv = {});
    // The user's settings as the system holds them: on Windows the regional
    // settings, elsewhere the environment's locale.
    static LocaleSettings fromSystem();

    QString renderShortDate(const QDate &date) const;
    QString renderLongTime(const QTime &time) const;
};

// Process-wide services; the program sets them once at start, tests swap them.
const Clock &clock();
const LocaleSettings &localeSettings();
void setClock(std::shared_ptr<const Clock> clock);
void setLocaleSettings(const LocaleSettings &settings);

// Installs a clock and locale for the lifetime of the object (tests).
class ScopedServices {
public:
    ScopedServices(std::shared_ptr<const Clock> clock, const LocaleSettings &settings);
    ~ScopedServices();
    ScopedServices(const ScopedServices &) = delete;
    ScopedServices &operator=(const ScopedServices &) = delete;

private:
    std::shared_ptr<const Clock> m_oldClock;
    LocaleSettings m_oldSettings;
};

// Code page 932 conversion. Invalid bytes decode to U+FFFD. Without the
// converter (checked at start by Cp932Available) both give nothing.
bool Cp932Available();
// Where the user's date and time settings come from, for a message
// ("LC_TIME=en_GB.UTF-8", "the regional settings (en_GB)").
QString LocaleSourceText();
// Whether `byte` opens a two-byte character of code page 932.
constexpr bool IsCp932LeadByte(quint8 byte)
{
    return (byte >= 0x81 && byte <= 0x9f) || (byte >= 0xe0 && byte <= 0xfc);
}
QString FromCp932(const QByteArray &bytes);
// The same into `text`, reusing its room: a caller that decodes line after
// line into one string allocates only when a line is longer than any before.
void FromCp932(QByteArrayView bytes, QString &text);
QByteArray ToCp932(const QString &text);

} // namespace absence
