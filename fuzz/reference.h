#pragma once
// Small, deliberately plain re-implementations of the program's reading rules,
// keys and re-ordering, written with std::string and without the core's code.
// The fuzz targets compare the core against them.

#include <algorithm>
#include <cctype>
#include <map>
#include <cstdint>
#include <string>
#include <vector>

#include <unicode/ucnv.h>
#include <unicode/utf16.h>
#include <utility>

namespace ref {

using Bytes = std::string;

// A data file as the text reader sees it: a line ends at CR, CR LF or LF;
// Ctrl-Z ends the file; a last line without terminator still counts.
inline std::vector<Bytes> SplitDataFile(const Bytes &file)
{
    std::vector<Bytes> lines;
    Bytes current;
    bool open = false; // bytes (or nothing yet) of an unterminated line
    size_t i = 0;
    for (; i < file.size(); ++i) {
        const char c = file[i];
        if (c == '\x1a')
            break;
        if (c == '\r' || c == '\n') {
            lines.push_back(std::move(current));
            current.clear();
            open = false;
            if (c == '\r' && i + 1 < file.size() && file[i + 1] == '\n')
                ++i;
            continue;
        }
        current.push_back(c);
        open = true;
    }
    // The bytes before a Ctrl-Z on its line still form a line.
    if (open)
        lines.push_back(current);
    return lines;
}

// The code points of UTF-8 bytes, each maximal ill-formed part as U+FFFD (as
// Unicode recommends); `valid` false when there was one, `longest` the length
// of the longest sequence.
inline std::u32string DecodeUtf8(const Bytes &b, bool *valid = nullptr, int *longest = nullptr)
{
    std::u32string out;
    out.reserve(b.size());
    bool ok = true;
    int most = 0;
    for (size_t i = 0; i < b.size();) {
        const unsigned char c = (unsigned char)b[i++];
        int need = c < 0x80 ? 0 : c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF4 ? 3 : -1;
        char32_t cp = need == 0 ? c : need == 1 ? c & 0x1F : need == 2 ? c & 0x0F : c & 0x07;
        unsigned char lo = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
        unsigned char hi = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
        int got = 0;
        while (need > 0 && got < need && i < b.size() && (unsigned char)b[i] >= lo && (unsigned char)b[i] <= hi) {
            cp = cp << 6 | ((unsigned char)b[i++] & 0x3F);
            lo = 0x80;
            hi = 0xBF;
            ++got;
        }
        if (need < 0 || got < need) {
            out += U'\uFFFD';
            ok = false;
            continue;
        }
        out += cp;
        most = std::max(most, need + 1);
    }
    if (valid)
        *valid = ok;
    if (longest)
        *longest = most;
    return out;
}

// The code points of UTF-16 bytes; an unpaired surrogate, and a last odd
// byte with a lead surrogate before it, each as U+FFFD.
inline std::u32string DecodeUtf16(const Bytes &b, bool bigEndian)
{
    auto unit = [&](size_t k) {
        const char32_t x = (unsigned char)b[k], y = (unsigned char)b[k + 1];
        return bigEndian ? x << 8 | y : y << 8 | x;
    };
    std::u32string out;
    out.reserve(b.size() / 2 + 1);
    size_t i = 0;
    for (; i + 1 < b.size(); i += 2) {
        const char32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < b.size() && unit(i + 2) >= 0xDC00 && unit(i + 2) <= 0xDFFF) {
            out += 0x10000 + ((u - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (u >= 0xD800 && u <= 0xDBFF && i + 3 == b.size()) {
            out += U'\uFFFD'; // with the odd byte after it
            i += 2;
        } else {
            out += u >= 0xD800 && u <= 0xDFFF ? U'\uFFFD' : u;
        }
    }
    if (i < b.size())
        out += U'\uFFFD';
    return out;
}

// One code point in code page 932: ASCII as itself, a character it holds
// under another code point as that one, a character it lacks as "〓".
inline Bytes Cp932Char(char32_t c)
{
    if (c < 0x80)
        return Bytes(1, char(c));
    static UConverter *const cp932 = [] {
        UErrorCode e = U_ZERO_ERROR;
        UConverter *conv = ucnv_open("windows-31j", &e);
        ucnv_setFromUCallBack(conv, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &e);
        ucnv_setFallback(conv, true); // the wave dash U+301C and its kin
        return conv;
    }();
    UChar units[2];
    int32_t n = 0;
    U16_APPEND_UNSAFE(units, n, c);
    char out[8];
    UErrorCode e = U_ZERO_ERROR;
    const int32_t len = ucnv_fromUChars(cp932, out, sizeof out, units, n, &e);
    return U_SUCCESS(e) ? Bytes(out, size_t(len)) : Bytes("\x81\xAC");
}

// True when valid UTF-8 `text` (with a sequence of three bytes or more) is
// likelier code page 932: its bytes read as code page 932 without a broken,
// unassigned or user-defined character or a C1 control, and at least half
// of its non-ASCII characters are marked, by code page 932 lacking them or
// by being of three bytes or more and directly followed by a byte 40-7E.
// `whole`: the text is all there, not cut at the 64 KiB looked at.
inline bool LikelierCp932(const Bytes &text, bool whole)
{
    UErrorCode e = U_ZERO_ERROR;
    UConverter *conv = ucnv_open("windows-31j", &e);
    ucnv_setToUCallBack(conv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &e);
    std::vector<UChar> units(text.size() + 1);
    UChar *target = units.data();
    const char *source = text.data();
    ucnv_toUnicode(conv, &target, units.data() + units.size(), &source, text.data() + text.size(), nullptr, whole, &e);
    ucnv_close(conv);
    if (U_FAILURE(e))
        return false;
    for (const UChar *u = units.data(); u < target; ++u) {
        if ((*u >= 0x80 && *u <= 0xA0) || (*u >= 0xE000 && *u <= 0xF8FF))
            return false;
    }
    size_t characters = 0, marked = 0;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = (unsigned char)text[i];
        const size_t length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
        if (length == 1) {
            ++i;
            continue;
        }
        if (i + length > text.size())
            break;
        const char32_t cp = DecodeUtf8(text.substr(i, length))[0];
        ++characters;
        marked += cp != U'\u3013' && Cp932Char(cp) == "\x81\xAC";
        i += length;
        marked += length >= 3 && i < text.size() && (unsigned char)text[i] >= 0x40 && (unsigned char)text[i] <= 0x7E;
    }
    return 2 * marked >= characters;
}

// A file's bytes as code page 932: converted when it starts with a byte order
// mark (unless `own` starts a line before the first `end`), or when its bytes
// before the first `end` are all valid UTF-8 with a sequence of three bytes or
// more and not likelier code page 932 (judged on the first 64 KiB); otherwise
// the bytes themselves.
inline Bytes AsCp932(const Bytes &file, char end, const Bytes &own = Bytes())
{
    if (!own.empty()) {
        const Bytes scope = file.substr(0, file.find(end));
        if (scope.find("\r" + own) != Bytes::npos || scope.find("\n" + own) != Bytes::npos)
            return file;
    }
    std::u32string text;
    if (file.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        text = DecodeUtf8(file.substr(3));
    } else if (file.compare(0, 2, "\xFF\xFE") == 0 || file.compare(0, 2, "\xFE\xFF") == 0) {
        text = DecodeUtf16(file.substr(2), file[0] == '\xFE');
    } else {
        bool valid = false;
        int longest = 0;
        const Bytes scope = file.substr(0, std::min(file.find(end), size_t(64 * 1024)));
        DecodeUtf8(scope, &valid, &longest);
        if (!valid || longest < 3 || LikelierCp932(scope, scope.size() < 64 * 1024))
            return file;
        text = DecodeUtf8(file);
    }
    Bytes out;
    out.reserve(2 * text.size());
    for (const char32_t c : text)
        out += Cp932Char(c);
    return out;
}

// A one-digit hour gains a leading "0": the first ":" at byte 3.
inline Bytes NormaliseHour(Bytes line)
{
    if (line.find(':') == 2)
        line.insert(1, 1, '0');
    return line;
}

// What a collection run stores for one data file: non-empty lines, hour
// normalised, each ending at its first NUL.
inline std::vector<Bytes> CollectFile(const Bytes &file)
{
    std::vector<Bytes> out;
    for (Bytes &line : SplitDataFile(file)) {
        if (line.empty())
            continue;
        Bytes l = NormaliseHour(std::move(line));
        l.resize(std::min(l.size(), l.find('\0')));
        out.push_back(std::move(l));
    }
    return out;
}

// A record file: CR LF, CR and LF each end a line; the first NUL ends the text.
inline std::vector<Bytes> SplitRecord(const Bytes &file)
{
    const Bytes text = file.substr(0, file.find('\0'));
    std::vector<Bytes> lines;
    size_t start = 0;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines.push_back(text.substr(start, i - start));
            i += (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

// String helpers, positions from 1; the input comes back when the condition
// fails.
inline Bytes TakeLeft(const Bytes &s, long long n)
{
    if (n >= (long long)s.size())
        return s;
    return n <= 0 ? Bytes() : s.substr(0, size_t(n));
}

inline Bytes TakeMid(const Bytes &s, long long from, long long count)
{
    const long long len = (long long)s.size();
    if (!(count < len && len + 1 >= from + count))
        return s;
    Bytes out;
    for (long long k = 0; k < count; ++k) {
        const long long pos = from + k; // 1-based
        if (pos >= 1 && pos <= len)
            out.push_back(s[size_t(pos - 1)]);
    }
    return out;
}

inline Bytes TakeRight(const Bytes &s, long long n)
{
    const long long len = (long long)s.size();
    if (n >= len)
        return s;
    return n <= 0 ? Bytes() : s.substr(size_t(len - n));
}

inline Bytes Trim(const Bytes &s)
{
    size_t b = 0, e = s.size();
    while (b < e && (unsigned char)s[b] < 33)
        ++b;
    while (e > b && (unsigned char)s[e - 1] < 33)
        --e;
    return s.substr(b, e - b);
}

inline int32_t ParseLeadingInt(const Bytes &s)
{
    size_t i = s.find_first_not_of(' ');
    if (i == Bytes::npos)
        return 0;
    int sign = 1;
    int base = 10;
    if (s[i] == '-') {
        sign = -1;
        ++i;
    } else if (s[i] == '+') {
        ++i;
    } else if (s[i] == '$') {
        base = 16;
        ++i;
    }
    const Bytes digits = base == 16 ? "0123456789abcdef" : "0123456789";
    long double value = 0; // wide enough to saturate without overflow
    for (; i < s.size(); ++i) {
        const char c = char(base == 16 && s[i] >= 'A' && s[i] <= 'F' ? s[i] + 32 : s[i]);
        const size_t d = digits.find(c);
        if (d == Bytes::npos)
            break;
        value = std::min<long double>(value * base + d, 1e12L);
    }
    if (sign < 0 && i == s.size())
        value = -value;
    value = std::max<long double>(std::min<long double>(value, INT32_MAX), INT32_MIN);
    return int32_t(value);
}

inline int32_t TimeKey(const Bytes &line)
{
    const Bytes hms = TakeMid(TakeLeft(line, 10), 2, 8);
    return ParseLeadingInt(TakeLeft(hms, 2) + TakeMid(hms, 4, 2) + TakeRight(hms, 2));
}

inline int32_t ClassKey(const Bytes &line)
{
    const size_t eq = line.find('=');
    const Bytes head = eq == Bytes::npos ? Bytes() : line.substr(0, eq);
    const Bytes cls = head.size() > 10 ? head.substr(10) : Bytes();
    return ParseLeadingInt(Trim(cls));
}

// "最終更新" in code page 932.
inline const Bytes LastUpdateMark = "\x8d\xc5\x8f\x49\x8d\x58\x90\x56";

// The mark, then at least one more byte.
inline bool IsLastUpdateLine(const Bytes &line)
{
    return line.size() > LastUpdateMark.size() && line.compare(0, LastUpdateMark.size(), LastUpdateMark) == 0;
}

// The re-ordering done literally: neighbours exchanged, pass by pass, while
// their keys are strictly out of order; a last-update line at 0 stays. A
// pass that exchanges nothing leaves nothing for the passes after it.
template <typename KeyFn>
void ExchangeOrder(std::vector<Bytes> &lines, KeyFn key)
{
    if (lines.empty())
        return;
    const long first = IsLastUpdateLine(lines[0]) ? 1 : 0;
    const long last = long(lines.size()) - 1;
    std::vector<int32_t> keys(lines.size(), 0);
    for (long i = first; i <= last; ++i)
        keys[size_t(i)] = key(lines[size_t(i)]);
    if (last - 1 < first)
        return;
    bool exchanged = true;
    for (long k = 0; k < last - first && exchanged; ++k) {
        exchanged = false;
        for (long j = last; j >= first + k + 1; --j) {
            if (keys[size_t(j)] < keys[size_t(j - 1)]) {
                std::swap(lines[size_t(j)], lines[size_t(j - 1)]);
                std::swap(keys[size_t(j)], keys[size_t(j - 1)]);
                exchanged = true;
            }
        }
    }
}

// A station's line read into its fields, character by character: a lead
// byte (0x81-0x9F, 0xE0-0xFC) and the byte after it are one character.
struct NotificationFields {
    Bytes mark, time, cls, grade, group, content, number, name, kind, reason, symptom, attendance, contact;
};

inline std::vector<Bytes> Chars(const Bytes &s)
{
    std::vector<Bytes> out;
    for (size_t i = 0; i < s.size();) {
        const unsigned char b = (unsigned char)s[i];
        const size_t n = ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) && i + 1 < s.size() ? 2 : 1;
        out.push_back(s.substr(i, n));
        i += n;
    }
    return out;
}

// UTF-8 text in code page 932.
inline Bytes Sj(const Bytes &utf8)
{
    Bytes out;
    for (const char32_t c : DecodeUtf8(utf8))
        out += Cp932Char(c);
    return out;
}

// Sj of a literal, converted once.
inline const Bytes &Lit(const char *utf8)
{
    static std::map<std::string, Bytes> converted;
    auto it = converted.find(utf8);
    if (it == converted.end())
        it = converted.emplace(utf8, Sj(utf8)).first;
    return it->second;
}

// One character of code page 932 as its code point (U+FFFD when it is not
// one character).
inline char32_t CodePoint(const Bytes &ch)
{
    static UConverter *const cp932 = [] {
        UErrorCode e = U_ZERO_ERROR;
        return ucnv_open("windows-31j", &e);
    }();
    UChar units[4];
    UErrorCode e = U_ZERO_ERROR;
    const int32_t n = ucnv_toUChars(cp932, units, 4, ch.data(), int32_t(ch.size()), &e);
    if (U_FAILURE(e) || n != 1)
        return U'\uFFFD';
    return units[0];
}

inline bool IsBlank(const Bytes &ch)
{
    return ch == " " || ch == "\t" || ch == "\x81\x40";
}

// Does the word (code page 932) start at character k?
inline bool WordAt(const std::vector<Bytes> &chars, size_t k, const Bytes &word)
{
    Bytes joined;
    for (size_t j = k; j < chars.size() && joined.size() < word.size(); ++j)
        joined += chars[j];
    return joined == word;
}

// A word of the reading in code page 932 and what it stands for: the kind,
// the symptom, or nothing for the others.
struct RefWord {
    Bytes sj, category;
    RefWord(const char *utf8, const char *what) : sj(Sj(utf8)), category(Sj(what)) {}
};

inline const std::vector<RefWord> &KindWords()
{
    static const std::vector<RefWord> w = {
        {"出席停止", "出席停止"}, {"忌引", "忌引"}, {"早退", "早退"}, {"早引", "早退"}, {"遅刻", "遅刻"},
        {"遅れ", "遅刻"}, {"欠席", "欠席"}, {"休み", "欠席"}, {"休ま", "欠席"}, {"休む", "欠席"}};
    return w;
}

inline const std::vector<RefWord> &SymptomWords()
{
    static const std::vector<RefWord> w = {
        {"発熱", "発熱"}, {"熱", "発熱"}, {"頭痛", "頭痛"}, {"咳", "呼吸器症状"}, {"せき", "呼吸器症状"},
        {"鼻", "呼吸器症状"}, {"のど", "呼吸器症状"}, {"喉", "呼吸器症状"}, {"咽頭", "呼吸器症状"},
        {"風邪", "呼吸器症状"}, {"かぜ", "呼吸器症状"}, {"腹痛", "下痢・腹痛"}, {"下痢", "下痢・腹痛"},
        {"お腹", "下痢・腹痛"}, {"おなか", "下痢・腹痛"}, {"嘔吐", "嘔気・嘔吐"}, {"吐き気", "嘔気・嘔吐"},
        {"嘔気", "嘔気・嘔吐"}, {"吐", "嘔気・嘔吐"}, {"発疹", "発疹"}, {"湿疹", "発疹"},
        {"水ぼうそう", "発疹"}, {"水痘", "発疹"}};
    return w;
}

// What ends a name besides the kind and symptom words.
inline const std::vector<RefWord> &NameStops()
{
    static const std::vector<RefWord> w = [] {
        std::vector<RefWord> stops = KindWords();
        for (const RefWord &s : SymptomWords())
            stops.push_back(s);
        stops.push_back({"のため", ""});
        stops.push_back({"ので", ""});
        return stops;
    }();
    return w;
}

inline const std::vector<RefWord> &IllnessWords()
{
    static const std::vector<RefWord> w = {{"通院", ""}, {"受診", ""}, {"病院", ""}, {"病気", ""}, {"体調", ""},
                                           {"入院", ""}, {"けが", ""}, {"怪我", ""}, {"ケガ", ""}};
    return w;
}

// The first word of `words` in chars[from, to), the longest at its place:
// its character index (npos when none) and category.
inline std::pair<size_t, Bytes> FirstWord(const std::vector<Bytes> &chars, size_t from, size_t to,
                                          const std::vector<RefWord> &words)
{
    for (size_t k = from; k < to; ++k) {
        const RefWord *best = nullptr;
        for (const RefWord &w : words) {
            Bytes joined;
            for (size_t j = k; j < to && joined.size() < w.sj.size(); ++j)
                joined += chars[j];
            if (joined == w.sj && (!best || w.sj.size() > best->sj.size()))
                best = &w;
        }
        if (best)
            return {k, best->category};
    }
    return {Bytes::npos, Bytes()};
}

inline Bytes Join(const std::vector<Bytes> &chars, size_t from, size_t to)
{
    Bytes out;
    for (size_t k = from; k < to && k < chars.size(); ++k)
        out += chars[k];
    return out;
}

inline NotificationFields ReadNotificationLine(const Bytes &line)
{
    NotificationFields f;
    f.mark = line.substr(0, 1);
    f.time = line.size() > 1 ? line.substr(1, 8) : Bytes();
    const size_t eq = line.find('=');
    f.content = eq == Bytes::npos ? Bytes() : line.substr(eq + 1);

    // The class: its characters made half-width, then number, 年, separators, 組.
    std::u32string cls;
    if (eq != Bytes::npos && eq > 10) {
        for (const Bytes &ch : Chars(line.substr(10, eq - 10))) {
            char32_t c = ch.size() == 1 ? char32_t((unsigned char)ch[0]) : CodePoint(ch);
            if (c >= 0xFF01 && c <= 0xFF5E)
                c -= 0xFEE0;
            if (c == 0x3000)
                c = ' ';
            if (ch.size() == 1 && (unsigned char)ch[0] >= 0x80)
                c = U'\uFFFD'; // a half-width kana or a stray byte
            cls += c;
        }
    }
    while (!cls.empty() && (cls.front() == ' ' || cls.front() == '\t'))
        cls.erase(0, 1);
    while (!cls.empty() && (cls.back() == ' ' || cls.back() == '\t'))
        cls.pop_back();
    auto number = [](const Bytes &digits) {
        const size_t nz = digits.find_first_not_of('0');
        return digits.empty() ? digits : nz == Bytes::npos ? Bytes("0") : digits.substr(nz);
    };
    size_t k = 0;
    Bytes grade, group;
    while (k < cls.size() && cls[k] >= '0' && cls[k] <= '9')
        grade += char(cls[k++]);
    if (!grade.empty()) {
        if (k < cls.size() && cls[k] == U'年')
            ++k;
        while (k < cls.size() && std::u32string(U"-\u30FC\u2010\u2013\u30FB/ \t").find(cls[k]) != std::u32string::npos)
            ++k;
        while (k < cls.size() && cls[k] < 0x80 && std::isalnum(int(cls[k])))
            group += char(cls[k++]);
        f.grade = number(grade);
        f.group = group.find_first_not_of("0123456789") == Bytes::npos ? number(group) : group;
        f.cls = f.grade + (f.group.empty() ? "" : "-" + f.group);
    } else {
        f.cls = Lit("不明");
    }

    const std::vector<Bytes> c = Chars(f.content);
    // 番号
    size_t at = 0;
    while (at < c.size() && IsBlank(c[at]))
        ++at;
    Bytes digits;
    size_t d = at;
    for (; d < c.size(); ++d) {
        const char32_t cp = c[d].size() == 1 ? char32_t((unsigned char)c[d][0]) : CodePoint(c[d]);
        if (cp >= '0' && cp <= '9')
            digits += char(cp);
        else if (cp >= 0xFF10 && cp <= 0xFF19)
            digits += char('0' + cp - 0xFF10);
        else
            break;
    }
    if (!digits.empty() && d < c.size() && c[d] == Lit("番")) {
        f.number = number(digits);
        at = d + 1;
    } else {
        at = 0;
    }

    const auto kind = FirstWord(c, 0, c.size(), KindWords());
    f.kind = kind.first == Bytes::npos ? Lit("不明") : kind.second;

    // 氏名: the words before the first that holds a kind, cause or symptom word.
    std::vector<Bytes> names;
    size_t nameEnd = at;
    bool stopped = false;
    size_t w = at;
    while (w < c.size() && !stopped) {
        while (w < c.size() && IsBlank(c[w]))
            ++w;
        size_t e = w;
        while (e < c.size() && !IsBlank(c[e]))
            ++e;
        if (w == e)
            break;
        if (FirstWord(c, w, e, NameStops()).first != Bytes::npos) {
            stopped = true;
            break;
        }
        names.push_back(Join(c, w, e));
        nameEnd = e;
        w = e;
    }
    if (stopped) {
        for (size_t n = 0; n < names.size(); ++n)
            f.name += (n ? " " : "") + names[n];
        if (names.empty()) {
            while (nameEnd < c.size() && IsBlank(c[nameEnd]))
                ++nameEnd;
        }
    } else {
        nameEnd = at;
    }

    // 理由
    std::vector<Bytes> reason;
    if (kind.first != Bytes::npos && kind.first >= nameEnd) {
        reason.assign(c.begin() + long(nameEnd), c.begin() + long(kind.first));
        auto trim = [&] {
            while (!reason.empty() && IsBlank(reason.front()))
                reason.erase(reason.begin());
            while (!reason.empty() && IsBlank(reason.back()))
                reason.pop_back();
        };
        trim();
        for (const char *end : {"のため", "により", "ので", "で"}) {
            const std::vector<Bytes> e = Chars(Sj(end));
            if (reason.size() >= e.size() && std::equal(e.begin(), e.end(), reason.end() - long(e.size()))) {
                reason.resize(reason.size() - e.size());
                trim();
                break;
            }
        }
    }
    f.reason = Join(reason, 0, reason.size());

    const auto symptom = reason.empty() ? FirstWord(c, nameEnd, c.size(), SymptomWords())
                                        : FirstWord(reason, 0, reason.size(), SymptomWords());
    f.symptom = symptom.second;
    const bool illness = FirstWord(reason, 0, reason.size(), IllnessWords()).first != Bytes::npos;
    const Bytes k2 = f.kind;
    f.attendance = k2 == Lit("出席停止") ? Lit("停") : k2 == Lit("忌引") ? Lit("忌") : k2 == Lit("遅刻") ? Lit("チ")
                 : k2 == Lit("早退") ? Lit("早") : k2 == Lit("欠席") ? Sj(!f.symptom.empty() || illness ? "病" : "事")
                 : Bytes();

    // 連絡者: X of the last （Xより） or (Xより).
    long opened = -1;
    for (size_t j = 0; j < c.size(); ++j) {
        if (c[j] == "(" || c[j] == Lit("（")) {
            opened = long(j) + 1;
        } else if (opened >= 0 && j + 2 < c.size() && WordAt(c, j, Lit("より"))
                   && (c[j + 2] == ")" || c[j + 2] == Lit("）"))) {
            if (long(j) > opened)
                f.contact = Join(c, size_t(opened), j);
            opened = -1;
        }
    }
    return f;
}

// A CSV field as a reader takes it back: the quotes around it removed and
// doubled quotes made single.
inline Bytes UnquoteCsvField(const Bytes &field)
{
    if (field.size() < 2 || field.front() != '"' || field.back() != '"')
        return field;
    Bytes out;
    for (size_t i = 1; i + 1 < field.size(); ++i) {
        out += field[i];
        if (field[i] == '"')
            ++i;
    }
    return out;
}

} // namespace ref
