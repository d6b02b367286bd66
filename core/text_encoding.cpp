#include "text_encoding.h"

#include "errors.h"
#include "files_p.h"
#include "icu_p.h"

#include <QByteArray>
#include <QtEndian>

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <iterator>
#include <utility>

namespace absence {

namespace {

using Converter = IcuConverter;

Converter OpenConverter(const char *name)
{
    UErrorCode status = U_ZERO_ERROR;
    Converter c(ucnv_open(name, &status));
    if (U_FAILURE(status))
        c.reset();
    return c;
}

// "〓", the stand-in Japanese text uses for a character it cannot show.
constexpr char Geta[] = "\x81\xAC";

// The most of a file looked at before it is taken as UTF-8 or not: beyond
// it, a UTF-8 file is converted as it is read rather than held.
constexpr qint64 DecisionBytes = 64 * 1024;

class Cp932Reader : public ByteSource {
public:
    // A shared copy of `ownLine`: a literal, as the record's mark is, costs
    // no allocation for each file read.
    Cp932Reader(std::unique_ptr<ByteSource> file, char end, const QByteArray &ownLine)
        : m_file(std::move(file)), m_end(end), m_own(ownLine)
    {
    }

    bool Next(QByteArrayView &piece) override;
    int errorCode() const override { return m_file->errorCode(); }
    qint64 size() const override { return m_file->size(); }
    bool Close() override { return m_file->Close(); }

private:
    enum class Form { Start, Undecided, Cp932, Utf8, Utf16Le, Utf16Be };

    bool PassesWhole(QByteArrayView in);
    void Take(QByteArrayView in);
    void TakeStart(QByteArrayView in);
    void DecideStart();
    void Sniff(QByteArrayView in);
    void LookForOwnLine(QByteArrayView in);
    bool Validate(QByteArrayView in, bool last);
    Form Judge(bool complete);
    void Settle(Form form);
    void Convert(QByteArrayView in, bool last);
    void Encode(const UChar *units, qsizetype count);
    void End();

    std::unique_ptr<ByteSource> m_file;
    const char m_end;
    const QByteArray m_own;
    Form m_form = Form::Start;
    bool m_ended = false;
    bool m_failed = false;
    QByteArray m_head; // the first bytes, while they may be a byte order mark
    QByteArray m_mark; // the byte order mark found
    bool m_lookingForOwn = false; // a marked file held while it may be our own
    qsizetype m_looked = 0; // bytes of m_held looked through for it
    QByteArray m_held; // bytes waiting for the decision
    QByteArray m_out; // the piece handed out last, when it is not the file's own
    bool m_longSequence = false; // a UTF-8 sequence of three bytes or more seen
    qint64 m_sniffed = 0; // bytes looked at while undecided
    Converter m_validator;
    Converter m_decoder;
    Converter m_encoder;
    UChar m_carry = 0; // a lead surrogate whose trail is still to come
};

bool Cp932Reader::Next(QByteArrayView &piece)
{
    m_out.resize(0);
    for (;;) {
        if (m_failed)
            return false;
        if (m_ended) {
            piece = QByteArrayView();
            return true;
        }
        QByteArrayView in;
        const bool read = m_file->Next(in);
        if (!read || in.isEmpty()) {
            // After a failure the lines read before it still count, judged
            // by what was seen of the file.
            m_ended = true;
            m_failed = !read;
            End();
        } else if (PassesWhole(in)) {
            piece = in;
            return true;
        } else {
            Take(in);
        }
        if (!m_out.isEmpty()) {
            piece = m_out;
            return true;
        }
    }
}

bool Cp932Reader::PassesWhole(QByteArrayView in)
{
    if (m_form == Form::Start && m_head.isEmpty()) {
        const uchar first = uchar(in.front());
        if (first == 0xEF || first == 0xFF || first == 0xFE)
            return false;
        m_form = Form::Undecided;
    }
    if (m_form == Form::Cp932)
        return true;
    if (m_form != Form::Undecided || !m_held.isEmpty())
        return false;
    // ASCII reads the same either way.
    for (const char c : in) {
        if (uchar(c) >= 0x80 || c == m_end)
            return false;
    }
    m_sniffed += in.size();
    return true;
}

void Cp932Reader::Take(QByteArrayView in)
{
    switch (m_form) {
    case Form::Start:
        TakeStart(in);
        return;
    case Form::Undecided:
        Sniff(in);
        return;
    case Form::Cp932:
        m_out.append(in);
        return;
    default:
        if (m_lookingForOwn)
            LookForOwnLine(in);
        else
            Convert(in, false);
    }
}

void Cp932Reader::TakeStart(QByteArrayView in)
{
    const qsizetype take = std::min<qsizetype>(3 - m_head.size(), in.size());
    m_head.append(in.first(take));
    static const QByteArray marks[] = {QByteArrayLiteral("\xEF\xBB\xBF"), QByteArrayLiteral("\xFF\xFE"),
                                       QByteArrayLiteral("\xFE\xFF")};
    for (const QByteArray &mark : marks) {
        // Still short of a mark it begins: wait for more.
        if (m_head.size() < mark.size() && mark.startsWith(m_head))
            return;
    }
    DecideStart();
    Take(in.sliced(take));
}

void Cp932Reader::DecideStart()
{
    const QByteArray head = std::exchange(m_head, QByteArray());
    QByteArrayView rest = head;
    if (head.startsWith("\xEF\xBB\xBF"))
        m_form = Form::Utf8;
    else if (head.startsWith("\xFF\xFE"))
        m_form = Form::Utf16Le;
    else if (head.startsWith("\xFE\xFF"))
        m_form = Form::Utf16Be;
    else
        m_form = Form::Undecided;
    if (m_form != Form::Undecided) {
        m_mark = head.left(m_form == Form::Utf8 ? 3 : 2);
        rest = rest.sliced(m_mark.size());
        m_lookingForOwn = !m_own.isEmpty();
    }
    Take(rest);
}

// A file we wrote ourselves begins with a mark only when its first line
// does; its own line (the record's last-update mark) tells it apart.
void Cp932Reader::LookForOwnLine(QByteArrayView in)
{
    m_held.append(in);
    const qsizetype end = m_held.indexOf(m_end, m_looked);
    const qsizetype scope = end < 0 ? m_held.size() : end;
    for (qsizetype at = std::max<qsizetype>(0, m_looked - m_own.size());; ++at) {
        at = m_held.indexOf(m_own, at);
        if (at < 0 || at + m_own.size() > scope)
            break;
        const char before = at == 0 ? '\0' : m_held[at - 1];
        if (before == '\r' || before == '\n') {
            m_lookingForOwn = false;
            m_form = Form::Cp932;
            m_out.append(m_mark);
            m_out.append(std::exchange(m_held, QByteArray()));
            return;
        }
    }
    m_looked = m_held.size();
    if (end >= 0) {
        m_lookingForOwn = false;
        Convert(std::exchange(m_held, QByteArray()), false);
    }
}

void Cp932Reader::Sniff(QByteArrayView in)
{
    m_sniffed += in.size();
    if (m_held.isEmpty()) {
        qsizetype i = 0;
        while (i < in.size() && uchar(in[i]) < 0x80 && in[i] != m_end)
            ++i;
        m_out.append(in.first(i));
        in = in.sliced(i);
        if (in.isEmpty())
            return;
        if (in.front() == m_end) {
            // Nothing but ASCII before the end of the text.
            Settle(Form::Cp932);
            m_out.append(in);
            return;
        }
    }
    const qsizetype end = in.indexOf(m_end);
    m_held.append(in);
    if (!Validate(end < 0 ? in : in.first(end), false))
        Settle(Form::Cp932);
    else if (end >= 0)
        Settle(Validate({}, true) ? Judge(true) : Form::Cp932);
    else if (m_sniffed >= DecisionBytes)
        Settle(Judge(false));
}

// Valid UTF-8 so far: which reading is the likelier one. Code page 932
// Japanese is valid UTF-8 only by chance, and then its UTF-8 reading shows
// it: names such as 遙子 (a level-2 kanji of lead E0-EA, trail 80-BF, then a
// character of lead 81-9F, trail 40-7E) become a three-byte character of
// some other script followed by an ASCII letter or sign, "〓q". So the
// bytes are taken as code page 932 when they read as such (no broken or
// unassigned character, no user-defined one, no C1 control) and at least
// half of the UTF-8 reading's characters carry such a mark: a character
// Japanese text cannot hold, or one of three bytes or more directly
// followed by a byte 40-7E. Notepad's Japanese is mostly kana and kanji in
// a row, and its bytes rarely read as code page 932 at all.
Cp932Reader::Form Cp932Reader::Judge(bool complete)
{
    if (!m_longSequence)
        return Form::Cp932;
    // The file's first bytes only, up to its end of text.
    const qint64 budget = std::max<qint64>(0, DecisionBytes - (m_sniffed - m_held.size()));
    const qsizetype end = m_held.indexOf(m_end);
    QByteArrayView text = end < 0 ? QByteArrayView(m_held) : QByteArrayView(m_held).first(end);
    const bool whole = (complete || end >= 0) && text.size() <= budget;
    text = text.first(std::min<qint64>(text.size(), budget));
    Converter cp932 = OpenConverter("windows-31j");
    if (!cp932)
        return Form::Utf8;
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setToUCallBack(cp932.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    const char *source = text.data();
    for (;;) {
        UChar units[1024];
        UChar *target = units;
        status = U_ZERO_ERROR;
        ucnv_toUnicode(cp932.get(), &target, units + std::size(units), &source, text.data() + text.size(), nullptr,
                       whole, &status);
        for (const UChar *u = units; u < target; ++u) {
            if ((*u >= 0x80 && *u <= 0xA0) || (*u >= 0xE000 && *u <= 0xF8FF))
                return Form::Utf8;
        }
        if (status != U_BUFFER_OVERFLOW_ERROR) {
            if (U_FAILURE(status))
                return Form::Utf8;
            break;
        }
    }
    status = U_ZERO_ERROR;
    Converter encoder = OpenConverter("windows-31j");
    if (!encoder)
        return Form::Utf8;
    ucnv_setFromUCallBack(encoder.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    ucnv_setFallback(encoder.get(), true);
    qsizetype characters = 0, marked = 0;
    for (qsizetype i = 0; i < text.size();) {
        const uchar lead = uchar(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        const qsizetype length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (i + length > text.size())
            break; // cut at the end of what was looked at
        char32_t point = lead & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
        for (qsizetype k = 1; k < length; ++k)
            point = (point << 6) | (uchar(text[i + k]) & 0x3F);
        UChar units[2];
        qsizetype count = 0;
        U16_APPEND_UNSAFE(units, count, point);
        char bytes[8];
        status = U_ZERO_ERROR;
        ucnv_fromUChars(encoder.get(), bytes, sizeof bytes, units, int32_t(count), &status);
        ++characters;
        if (U_FAILURE(status))
            ++marked;
        i += length;
        if (length >= 3 && i < text.size() && uchar(text[i]) >= 0x40 && uchar(text[i]) <= 0x7E)
            ++marked;
    }
    return 2 * marked >= characters ? Form::Cp932 : Form::Utf8;
}

// False at the first byte that cannot be UTF-8 (at the last call, also for
// a sequence cut short).
bool Cp932Reader::Validate(QByteArrayView in, bool last)
{
    if (!m_validator) {
        m_validator = OpenConverter("UTF-8");
        if (!m_validator)
            return false;
        UErrorCode status = U_ZERO_ERROR;
        ucnv_setToUCallBack(m_validator.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    }
    const char *source = in.data();
    const char *sourceEnd = source + in.size();
    for (;;) {
        UChar units[1024];
        UChar *target = units;
        UErrorCode status = U_ZERO_ERROR;
        ucnv_toUnicode(m_validator.get(), &target, units + std::size(units), &source, sourceEnd, nullptr, last,
                       &status);
        for (const UChar *u = units; u < target; ++u) {
            if (*u >= 0x800)
                m_longSequence = true;
        }
        if (status != U_BUFFER_OVERFLOW_ERROR)
            return U_SUCCESS(status);
    }
}

void Cp932Reader::Settle(Form form)
{
    m_form = form;
    const QByteArray held = std::exchange(m_held, QByteArray());
    if (form == Form::Cp932)
        m_out.append(held);
    else
        Convert(held, false);
}

void Cp932Reader::Convert(QByteArrayView in, bool last)
{
    if (!m_decoder) {
        m_decoder = OpenConverter(m_form == Form::Utf8 ? "UTF-8" : m_form == Form::Utf16Le ? "UTF-16LE" : "UTF-16BE");
        m_encoder = OpenConverter("windows-31j");
        if (!m_decoder || !m_encoder) {
            // Without ICU's data nothing can be converted: the bytes as they are.
            m_form = Form::Cp932;
            m_out.append(in);
            return;
        }
        UErrorCode status = U_ZERO_ERROR;
        ucnv_setSubstChars(m_encoder.get(), Geta, 2, &status);
        // Characters code page 932 holds under another code point, such as
        // the wave dash other systems write as U+301C, are taken as such.
        ucnv_setFallback(m_encoder.get(), true);
    }
    const char *source = in.data();
    const char *sourceEnd = source + in.size();
    for (;;) {
        UChar units[4096];
        UChar *target = units;
        if (m_carry)
            *target++ = std::exchange(m_carry, UChar(0));
        UErrorCode status = U_ZERO_ERROR;
        // Broken input becomes U+FFFD, which code page 932 lacks.
        ucnv_toUnicode(m_decoder.get(), &target, units + std::size(units), &source, sourceEnd, nullptr, last, &status);
        const bool more = status == U_BUFFER_OVERFLOW_ERROR;
        // A pair cut between two rounds is encoded whole in the next one.
        if (target > units && U16_IS_LEAD(target[-1]) && (more || !last))
            m_carry = *--target;
        Encode(units, target - units);
        if (!more)
            return;
    }
}

void Cp932Reader::Encode(const UChar *units, qsizetype count)
{
    qsizetype i = 0;
    while (i < count) {
        // ASCII byte for byte: ICU's table for code page 932 trades 0x1A,
        // 0x1C and 0x7F among themselves, and 0x1A ends a data file.
        if (units[i] < 0x80) {
            m_out.append(char(units[i++]));
            continue;
        }
        qsizetype j = i;
        while (j < count && units[j] >= 0x80)
            ++j;
        const UChar *source = units + i;
        for (;;) {
            // Two bytes for each unit are enough (a pair gives one "〓").
            const qsizetype at = m_out.size();
            m_out.resize(at + 2 * (j - (source - units)) + 8);
            char *target = m_out.data() + at;
            UErrorCode status = U_ZERO_ERROR;
            ucnv_fromUnicode(m_encoder.get(), &target, m_out.data() + m_out.size(), &source, units + j, nullptr, true,
                             &status);
            m_out.truncate(target - m_out.constData());
            if (status != U_BUFFER_OVERFLOW_ERROR)
                break;
        }
        i = j;
    }
}

void Cp932Reader::End()
{
    if (m_form == Form::Start)
        DecideStart();
    if (m_form == Form::Undecided)
        Settle(Validate({}, true) ? Judge(true) : Form::Cp932);
    if (m_lookingForOwn) {
        m_lookingForOwn = false;
        Convert(std::exchange(m_held, QByteArray()), false);
    }
    if (m_form != Form::Cp932)
        Convert({}, true);
}

} // namespace

std::unique_ptr<ByteSource> Cp932Text(std::unique_ptr<ByteSource> file, char end, const QByteArray &ownLine)
{
    return std::make_unique<Cp932Reader>(std::move(file), end, ownLine);
}

FileTextForm DecideTextForm(QByteArrayView bytes, char end)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return {TextForm::Utf8, 3};
    if (bytes.startsWith("\xFF\xFE"))
        return {TextForm::Utf16Le, 2};
    if (bytes.startsWith("\xFE\xFF"))
        return {TextForm::Utf16Be, 2};
    const qsizetype cut = bytes.indexOf(end);
    const QByteArrayView text = cut < 0 ? bytes : bytes.first(cut);
    // Valid UTF-8 with a character of three bytes or more, as the reader
    // decides it.
    const Converter utf8 = OpenConverter("UTF-8");
    if (!utf8)
        return {};
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setToUCallBack(utf8.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    const char *source = text.data();
    const char *sourceEnd = source + text.size();
    bool longSequence = false;
    for (;;) {
        UChar units[1024];
        UChar *target = units;
        status = U_ZERO_ERROR;
        ucnv_toUnicode(utf8.get(), &target, units + std::size(units), &source, sourceEnd, nullptr, true, &status);
        for (const UChar *u = units; u < target; ++u)
            longSequence = longSequence || *u >= 0x800;
        if (status == U_BUFFER_OVERFLOW_ERROR)
            continue;
        return {U_SUCCESS(status) && longSequence ? TextForm::Utf8 : TextForm::Cp932, 0};
    }
}

QByteArray Cp932From(QByteArrayView bytes, TextForm form)
{
    // Through the reader itself, told the form by the mark it looks for.
    static const QByteArray marks[] = {QByteArray(), QByteArrayLiteral("\xEF\xBB\xBF"), QByteArrayLiteral("\xFF\xFE"),
                                       QByteArrayLiteral("\xFE\xFF")};
    if (form == TextForm::Cp932)
        return bytes.toByteArray();
    const std::unique_ptr<ByteSource> text =
        Cp932Text(std::make_unique<MemoryBytes>(marks[int(form)] + bytes.toByteArray()), '\0');
    QByteArray out;
    for (QByteArrayView piece; text->Next(piece) && !piece.isEmpty();)
        out += piece;
    return out;
}

QByteArray EncodeText(const QString &text, TextForm form)
{
    QByteArray out;
    switch (form) {
    case TextForm::Utf8:
        return text.toUtf8();
    case TextForm::Utf16Le:
    case TextForm::Utf16Be:
        out.resize(text.size() * 2);
        for (qsizetype i = 0; i < text.size(); ++i) {
            const quint16 unit = text.at(i).unicode();
            if (form == TextForm::Utf16Le)
                qToLittleEndian(unit, out.data() + 2 * i);
            else
                qToBigEndian(unit, out.data() + 2 * i);
        }
        return out;
    case TextForm::Cp932:
        break;
    }
    const Converter encoder = OpenConverter("windows-31j");
    if (!encoder)
        throw UnwritableCharacterError(text.left(1));
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setFromUCallBack(encoder.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    ucnv_setFallback(encoder.get(), true);
    const UChar *units = reinterpret_cast<const UChar *>(text.constData());
    for (qsizetype i = 0; i < text.size();) {
        // ASCII byte for byte, as the reader takes it (ICU trades 0x1A,
        // 0x1C and 0x7F among themselves).
        if (units[i] < 0x80) {
            out += char(units[i++]);
            continue;
        }
        qsizetype j = i;
        while (j < text.size() && units[j] >= 0x80)
            ++j;
        const qsizetype at = out.size();
        out.resize(at + 2 * (j - i) + 8);
        char *target = out.data() + at;
        const UChar *source = units + i;
        status = U_ZERO_ERROR;
        ucnv_fromUnicode(encoder.get(), &target, out.data() + out.size(), &source, units + j, nullptr, true, &status);
        out.truncate(target - out.constData());
        if (U_FAILURE(status)) {
            UChar bad[4];
            int8_t length = std::size(bad);
            UErrorCode ignored = U_ZERO_ERROR;
            ucnv_getInvalidUChars(encoder.get(), bad, &length, &ignored);
            throw UnwritableCharacterError(QString(reinterpret_cast<const QChar *>(bad), std::max<int8_t>(length, 0)));
        }
        i = j;
    }
    return out;
}

} // namespace absence
