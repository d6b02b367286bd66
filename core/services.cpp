#include "services.h"

#include "icu_p.h"
#include "platform/platform.h"

#include <QRegularExpression>
#include <cstdlib>
#include <memory>
#include <unicode/ucnv.h>

namespace absence {

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

LocaleSettings LocaleSettings::fallback()
{
    return LocaleSettings();
}

namespace {

// The first unquoted token of a Qt time pattern that starts with one of
// `letters` (its case kept): its position and length. An hour token is the
// run of its letter; an AM/PM token is "a" or "ap" in either case.
qsizetype findToken(const QString &fmt, QLatin1String letters, qsizetype *len)
{
    bool quoted = false;
    for (qsizetype i = 0; i < fmt.size(); ++i) {
        const QChar c = fmt.at(i);
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            continue;
        }
        if (quoted || !letters.contains(c))
            continue;
        qsizetype j = i + 1;
        if (c.toLower() == QLatin1Char('h')) {
            while (j < fmt.size() && fmt.at(j) == c)
                ++j;
        } else if (j < fmt.size() && fmt.at(j).toLower() == QLatin1Char('p')) {
            ++j;
        }
        *len = j - i;
        return i;
    }
    *len = 0;
    return -1;
}

} // namespace

LocaleSettings LocaleSettings::fromLocale(const QLocale &locale)
{
    if (locale.language() == QLocale::C)
        return fallback();
    LocaleSettings s;
    s.shortDateFormat = locale.dateFormat(QLocale::ShortFormat);
    const QString tf = locale.timeFormat(QLocale::ShortFormat);
    qsizetype hourLen = 0;
    const qsizetype hour = findToken(tf, QLatin1String("hH"), &hourLen);
    if (hour >= 0) {
        s.clock24 = tf.at(hour) == QLatin1Char('H');
        s.hourLeadingZero = hourLen >= 2;
        // The separator is the literal text right after the hour.
        qsizetype j = hour + hourLen;
        QString sep;
        while (j < tf.size() && !tf.at(j).isLetter() && tf.at(j) != QLatin1Char('\''))
            sep += tf.at(j++);
        if (!sep.isEmpty())
            s.timeSeparator = sep;
    }
    qsizetype apLen = 0;
    const qsizetype ap = findToken(tf, QLatin1String("aA"), &apLen);
    if (ap >= 0 && hour >= 0) {
        s.amPmBefore = ap < hour;
        s.amPmGap = s.amPmBefore ? tf.mid(ap + apLen, hour - ap - apLen) : QString();
        if (!s.amPmBefore) {
            // Text between the last time field and the marker.
            qsizetype k = ap;
            while (k > 0 && !tf.at(k - 1).isLetter())
                --k;
            s.amPmGap = tf.mid(k, ap - k);
        }
        s.amPmGap.remove(QLatin1Char('\''));
    }
    s.amDesignator = locale.amText();
    s.pmDesignator = locale.pmText();
    return s;
}

LocaleSettings LocaleSettings::fromName(const QString &posixName)
{
    QString name = posixName;
    const qsizetype cut = name.indexOf(QRegularExpression(QStringLiteral("[.@]")));
    if (cut >= 0)
        name.truncate(cut);
    if (name.isEmpty() || name == QLatin1String("C") || name == QLatin1String("POSIX"))
        return fallback();
    return fromLocale(QLocale(name));
}

LocaleSettings LocaleSettings::fromEnvironment(const std::function<QString(const char *)> &getenv)
{
    auto get = [&](const char *var) { return getenv ? getenv(var) : qEnvironmentVariable(var); };
    for (const char *var : {"LC_ALL", "LC_TIME", "LANG"}) {
        const QString v = get(var);
        if (!v.isEmpty())
            return fromName(v);
    }
    return fallback();
}

LocaleSettings LocaleSettings::fromSystem()
{
    return platform::SystemLocaleSettings();
}

QString LocaleSettings::renderShortDate(const QDate &date) const
{
    return date.toString(shortDateFormat);
}

QString LocaleSettings::renderLongTime(const QTime &time) const
{
    int h = time.hour();
    if (!clock24) {
        h %= 12;
        if (h == 0)
            h = 12;
    }
    const QString *marker = clock24 ? nullptr : time.hour() < 12 ? &amDesignator : &pmDesignator;
    // Built in one string of the right size: a last-update line is made at
    // every save.
    QString text;
    text.reserve(8 + 2 * timeSeparator.size() + (marker ? marker->size() + amPmGap.size() : 0));
    auto twoDigits = [&text](int n) {
        text += QChar(u'0' + n / 10);
        text += QChar(u'0' + n % 10);
    };
    if (marker && amPmBefore) {
        text += *marker;
        text += amPmGap;
    }
    if (hourLeadingZero || h >= 10)
        twoDigits(h);
    else
        text += QChar(u'0' + h);
    text += timeSeparator;
    twoDigits(time.minute());
    text += timeSeparator;
    twoDigits(time.second());
    if (marker && !amPmBefore) {
        text += amPmGap;
        text += *marker;
    }
    return text;
}

namespace {

struct Services {
    std::shared_ptr<const Clock> clock = std::make_shared<SystemClock>();
    LocaleSettings settings = LocaleSettings::fallback();
};

Services &services()
{
    static Services s;
    return s;
}

} // namespace

const Clock &clock()
{
    return *services().clock;
}

const LocaleSettings &localeSettings()
{
    return services().settings;
}

void setClock(std::shared_ptr<const Clock> c)
{
    services().clock = c ? std::move(c) : std::make_shared<SystemClock>();
}

void setLocaleSettings(const LocaleSettings &settings)
{
    services().settings = settings;
}

ScopedServices::ScopedServices(std::shared_ptr<const Clock> c, const LocaleSettings &settings)
    : m_oldClock(services().clock), m_oldSettings(services().settings)
{
    setClock(std::move(c));
    setLocaleSettings(settings);
}

ScopedServices::~ScopedServices()
{
    services().clock = m_oldClock;
    services().settings = m_oldSettings;
}

namespace {

// ICU's converter for code page 932, the one Qt itself uses where it has ICU;
// taken from ICU directly, so that a Qt built without ICU converts the same.
// One per thread: a converter keeps state between calls.
UConverter *cp932()
{
    thread_local const IcuConverter converter = [] {
        UErrorCode status = U_ZERO_ERROR;
        UConverter *c = ucnv_open("windows-31j", &status);
        if (U_FAILURE(status)) {
            ucnv_close(c);
            c = nullptr;
        }
        return IcuConverter(c);
    }();
    return converter.get();
}

} // namespace

QString LocaleSourceText()
{
    return platform::SystemLocaleName();
}

bool Cp932Available()
{
    return cp932() != nullptr;
}

void FromCp932(QByteArrayView bytes, QString &text)
{
    UConverter *conv = cp932();
    if (!conv || bytes.isEmpty()) {
        text.resize(0);
        return;
    }
    // At most one unit per byte, and one more for the sentinel below. A
    // string used before keeps its room: nothing is allocated again.
    text.resize(bytes.size() + 1);
    UChar *const start = reinterpret_cast<UChar *>(text.data());
    UChar *target = start;
    UChar *const limit = start + text.size();
    const char *source = bytes.data();
    UErrorCode status = U_ZERO_ERROR;
    ucnv_toUnicode(conv, &target, limit, &source, source + bytes.size(), nullptr, false, &status);
    // The converter silently drops a lead byte left without its second byte
    // at the very end; a line break after it makes it report that byte too.
    // The break continues the same conversion, so the bytes are not copied.
    const quint8 lastByte = quint8(bytes.back());
    const bool sentinel = IsCp932LeadByte(lastByte);
    if (sentinel) {
        const char lineBreak = '\n';
        const char *from = &lineBreak;
        ucnv_toUnicode(conv, &target, limit, &from, from + 1, nullptr, false, &status);
    }
    // Each call stands alone: nothing is held back for the next one.
    ucnv_reset(conv);
    if (sentinel && target > start)
        --target;
    // The converter marks bytes it cannot map with SUB; show them as the
    // replacement character.
    for (UChar *u = start; u < target; ++u) {
        if (*u == 0x1A)
            *u = QChar::ReplacementCharacter;
    }
    text.truncate(target - start);
}

QString FromCp932(const QByteArray &bytes)
{
    QString text;
    FromCp932(QByteArrayView(bytes), text);
    return text;
}

QByteArray ToCp932(const QString &text)
{
    UConverter *conv = cp932();
    if (!conv || text.isEmpty())
        return QByteArray();
    QByteArray bytes(UCNV_GET_MAX_BYTES_FOR_STRING(text.size(), ucnv_getMaxCharSize(conv)), Qt::Uninitialized);
    char *target = bytes.data();
    const UChar *source = reinterpret_cast<const UChar *>(text.constData());
    UErrorCode status = U_ZERO_ERROR;
    ucnv_fromUnicode(conv, &target, target + bytes.size(), &source, source + text.size(), nullptr, false, &status);
    ucnv_reset(conv);
    bytes.truncate(target - bytes.constData());
    return bytes;
}

} // namespace absence
