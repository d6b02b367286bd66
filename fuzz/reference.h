#pragma once
// Small, deliberately plain re-implementations of the program's reading rules,
// keys and re-ordering, written with std::string and without the core's code.
// The fuzz targets compare the core against them.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

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
            lines.push_back(current);
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

// A one-digit hour gains a leading "0": the first ":" at byte 3.
inline Bytes NormaliseHour(const Bytes &line)
{
    if (line.find(':') == 2)
        return line.substr(0, 1) + "0" + line.substr(1);
    return line;
}

// What a collection run stores for one data file: non-empty lines, hour
// normalised, each ending at its first NUL.
inline std::vector<Bytes> CollectFile(const Bytes &file)
{
    std::vector<Bytes> out;
    for (const Bytes &line : SplitDataFile(file)) {
        if (line.empty())
            continue;
        Bytes l = NormaliseHour(line);
        out.push_back(l.substr(0, l.find('\0')));
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

// "最終更新" in code page 932, then at least one more byte.
inline bool IsLastUpdateLine(const Bytes &line)
{
    static const Bytes mark = "\x8d\xc5\x8f\x49\x8d\x58\x90\x56";
    return line.size() > mark.size() && line.compare(0, mark.size(), mark) == 0;
}

// The re-ordering done literally: neighbours exchanged, pass by pass, while
// their keys are strictly out of order; a last-update line at 0 stays.
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
    for (long k = 0; k < last - first; ++k) {
        for (long j = last; j >= first + k + 1; --j) {
            if (keys[size_t(j)] < keys[size_t(j - 1)]) {
                std::swap(lines[size_t(j)], lines[size_t(j - 1)]);
                std::swap(keys[size_t(j)], keys[size_t(j - 1)]);
            }
        }
    }
}

} // namespace ref
