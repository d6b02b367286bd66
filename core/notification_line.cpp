#include "notification_line.h"

#include "notification_line_p.h"
#include "reorder_p.h"
#include "services.h"

#include <array>
#include <vector>

namespace absence {

namespace {

// What a word of the table stands for when it is met.
enum Role : quint8 {
    KindWord = 1, // its value is the NotificationKind it names
    CauseWord = 2, // ends the name like a kind word
    SymptomWord = 4, // its value is the Symptom it names
    IllnessWord = 8, // a reason holding it makes an absence one of illness (病)
    ReasonEnd = 16, // taken off the end of the reason
};

struct WordEntry {
    const char16_t *text;
    quint8 roles;
    quint8 value;
};

constexpr quint8 K(NotificationKind k)
{
    return quint8(k);
}
constexpr quint8 S(Symptom s)
{
    return quint8(s);
}

// Every word the reading looks for; the README lists the same table.
constexpr WordEntry Words[] = {
    {u"出席停止", KindWord, K(NotificationKind::Suspension)},
    {u"忌引", KindWord, K(NotificationKind::Bereavement)},
    {u"早退", KindWord, K(NotificationKind::EarlyLeave)},
    {u"早引", KindWord, K(NotificationKind::EarlyLeave)},
    {u"遅刻", KindWord, K(NotificationKind::Late)},
    {u"遅れ", KindWord, K(NotificationKind::Late)},
    {u"欠席", KindWord, K(NotificationKind::Absence)},
    {u"休み", KindWord, K(NotificationKind::Absence)},
    {u"休ま", KindWord, K(NotificationKind::Absence)},
    {u"休む", KindWord, K(NotificationKind::Absence)},
    {u"のため", CauseWord | ReasonEnd, 0},
    {u"ので", CauseWord | ReasonEnd, 0},
    {u"により", ReasonEnd, 0},
    {u"で", ReasonEnd, 0},
    {u"発熱", SymptomWord, S(Symptom::Fever)},
    {u"熱", SymptomWord, S(Symptom::Fever)},
    {u"頭痛", SymptomWord, S(Symptom::Headache)},
    {u"咳", SymptomWord, S(Symptom::Respiratory)},
    {u"せき", SymptomWord, S(Symptom::Respiratory)},
    {u"鼻", SymptomWord, S(Symptom::Respiratory)},
    {u"のど", SymptomWord, S(Symptom::Respiratory)},
    {u"喉", SymptomWord, S(Symptom::Respiratory)},
    {u"咽頭", SymptomWord, S(Symptom::Respiratory)},
    {u"風邪", SymptomWord, S(Symptom::Respiratory)},
    {u"かぜ", SymptomWord, S(Symptom::Respiratory)},
    {u"腹痛", SymptomWord, S(Symptom::Digestive)},
    {u"下痢", SymptomWord, S(Symptom::Digestive)},
    {u"お腹", SymptomWord, S(Symptom::Digestive)},
    {u"おなか", SymptomWord, S(Symptom::Digestive)},
    {u"嘔吐", SymptomWord, S(Symptom::Nausea)},
    {u"吐き気", SymptomWord, S(Symptom::Nausea)},
    {u"嘔気", SymptomWord, S(Symptom::Nausea)},
    {u"吐", SymptomWord, S(Symptom::Nausea)},
    {u"発疹", SymptomWord, S(Symptom::Rash)},
    {u"湿疹", SymptomWord, S(Symptom::Rash)},
    {u"水ぼうそう", SymptomWord, S(Symptom::Rash)},
    {u"水痘", SymptomWord, S(Symptom::Rash)},
    {u"通院", IllnessWord, 0},
    {u"受診", IllnessWord, 0},
    {u"病院", IllnessWord, 0},
    {u"病気", IllnessWord, 0},
    {u"体調", IllnessWord, 0},
    {u"入院", IllnessWord, 0},
    {u"けが", IllnessWord, 0},
    {u"怪我", IllnessWord, 0},
    {u"ケガ", IllnessWord, 0},
};

constexpr const char16_t *KindNames[NotificationKindCount] = {u"欠席", u"遅刻", u"早退", u"出席停止", u"忌引", u"不明"};
constexpr const char16_t *SymptomNames[SymptomCount] = {u"",           u"発熱",       u"頭痛", u"呼吸器症状",
                                                        u"下痢・腹痛", u"嘔気・嘔吐", u"発疹"};
// 出席簿 by kind; an absence of illness is 病.
constexpr const char16_t *AttendanceNames[NotificationKindCount] = {u"事", u"チ", u"早", u"停", u"忌", u""};

struct Compiled {
    QByteArray bytes;
    quint8 roles;
    quint8 value;
};

// The first character of s at `at` as one number: a lead byte and the byte
// after it, or a single byte.
quint16 charKey(QByteArrayView s, qsizetype at);

// The table in code page 932, the words of each first character longest
// first, so that at one position the longer word wins. Most characters
// start no word: they are told so by one look into `bucketOf`.
struct Table {
    std::vector<std::vector<Compiled>> buckets{1};
    std::array<quint8, 65536> bucketOf{};
    quint8 rolesOf[256] = {}; // the roles of each bucket's words, together
    QByteArray kinds[NotificationKindCount], symptoms[SymptomCount], attendance[NotificationKindCount];
    QByteArray illness, unknown, ban, nen;

    Table()
    {
        auto cp = [](const char16_t *text) { return ToCp932(QString::fromUtf16(text)); };
        for (const WordEntry &w : Words) {
            Compiled c{cp(w.text), w.roles, w.value};
            const quint16 key = charKey(c.bytes, 0);
            if (!bucketOf[key]) {
                bucketOf[key] = quint8(buckets.size());
                buckets.emplace_back();
            }
            rolesOf[bucketOf[key]] |= c.roles;
            std::vector<Compiled> &bucket = buckets[bucketOf[key]];
            auto at = bucket.begin();
            while (at != bucket.end() && at->bytes.size() >= c.bytes.size())
                ++at;
            bucket.insert(at, std::move(c));
        }
        for (int k = 0; k < NotificationKindCount; ++k) {
            kinds[k] = cp(KindNames[k]);
            attendance[k] = cp(AttendanceNames[k]);
        }
        for (int s = 0; s < SymptomCount; ++s)
            symptoms[s] = cp(SymptomNames[s]);
        illness = cp(u"病");
        unknown = kinds[int(NotificationKind::Unknown)];
        ban = cp(u"番");
        nen = cp(u"年");
    }
};

const Table &table()
{
    static const Table t;
    return t;
}

bool isLead(char c)
{
    const auto b = quint8(c);
    return (b >= 0x81 && b <= 0x9f) || (b >= 0xe0 && b <= 0xfc);
}

// The length of the character at `at`: a lead byte and the byte after it,
// or one byte.
qsizetype charSize(QByteArrayView s, qsizetype at)
{
    return isLead(s[at]) && at + 1 < s.size() ? 2 : 1;
}

quint16 charKey(QByteArrayView s, qsizetype at)
{
    return charSize(s, at) == 2 ? quint16(quint8(s[at]) << 8 | quint8(s[at + 1])) : quint8(s[at]);
}

// The length of the blank at `at` (ASCII blank or tab, or the full-width
// blank), 0 when there is none.
qsizetype blankAt(QByteArrayView s, qsizetype at)
{
    if (at >= s.size())
        return 0;
    if (s[at] == ' ' || s[at] == '\t')
        return 1;
    // The full-width blank, 0x81 0x40.
    return quint8(s[at]) == 0x81 && at + 1 < s.size() && s[at + 1] == '\x40' ? 2 : 0;
}

QByteArrayView trimmedBlanks(QByteArrayView s)
{
    qsizetype b = 0;
    while (qsizetype n = blankAt(s, b))
        b += n;
    // Blanks at the end are found walking characters from the start: a
    // trail byte may look like an ASCII blank's neighbour, never like one.
    qsizetype end = b, at = b;
    while (at < s.size()) {
        const qsizetype n = blankAt(s, at);
        if (n) {
            at += n;
            continue;
        }
        at += charSize(s, at);
        end = at;
    }
    return s.sliced(b, end - b);
}

// The longest word of `roles` that starts at `at`.
const Compiled *wordAt(QByteArrayView s, qsizetype at, quint8 roles)
{
    const Table &t = table();
    const quint8 bucket = t.bucketOf[charKey(s, at)];
    if (!(t.rolesOf[bucket] & roles))
        return nullptr;
    const qsizetype left = s.size() - at;
    const char *rest = s.data() + at;
    for (const Compiled &w : t.buckets[bucket]) {
        if ((w.roles & roles) && w.bytes.size() <= left && std::equal(w.bytes.cbegin(), w.bytes.cend(), rest))
            return &w;
    }
    return nullptr;
}

struct Found {
    qsizetype at = -1;
    const Compiled *word = nullptr;
};

// The first word of `roles` in s, walking its characters.
Found firstWord(QByteArrayView s, quint8 roles)
{
    for (qsizetype at = 0; at < s.size(); at += charSize(s, at)) {
        if (const Compiled *w = wordAt(s, at, roles))
            return {at, w};
    }
    return {};
}

// A run of digits, half- or full-width, from `at`; their values go to `out`
// without leading zeros. Returns the bytes taken.
qsizetype digitsAt(QByteArrayView s, qsizetype at, std::string &out)
{
    const qsizetype from = at;
    while (at < s.size()) {
        char digit;
        if (s[at] >= '0' && s[at] <= '9') {
            digit = s[at];
            at += 1;
        } else if (quint8(s[at]) == 0x82 && at + 1 < s.size() && quint8(s[at + 1]) >= 0x4f &&
                   quint8(s[at + 1]) <= 0x58) {
            digit = char('0' + quint8(s[at + 1]) - 0x4f); // ０ to ９
            at += 2;
        } else {
            break;
        }
        if (!(out.size() == 1 && out[0] == '0'))
            out.push_back(digit);
        else
            out[0] = digit;
    }
    return at - from;
}

// A letter or digit of a class's 組, made half-width; 0 when there is none.
char groupCharAt(QByteArrayView s, qsizetype at, qsizetype &size)
{
    const auto b = quint8(s[at]);
    if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z')) {
        size = 1;
        return char(b);
    }
    if (b == 0x82 && at + 1 < s.size()) {
        const auto t = quint8(s[at + 1]);
        size = 2;
        if (t >= 0x4f && t <= 0x58)
            return char('0' + t - 0x4f);
        if (t >= 0x60 && t <= 0x79)
            return char('A' + t - 0x60);
        if (t >= 0x81 && t <= 0x9a)
            return char('a' + t - 0x81);
    }
    return 0;
}

// The separators that may stand between 学年 and 組 besides blanks: "-" and
// "/", and ー, －, ‐, ・, ／ in code page 932.
qsizetype separatorAt(QByteArrayView s, qsizetype at)
{
    if (s[at] == '-' || s[at] == '/')
        return 1;
    if (quint8(s[at]) == 0x81 && at + 1 < s.size()) {
        switch (quint8(s[at + 1])) {
        case 0x5b:
        case 0x7c:
        case 0x5d:
        case 0x45:
        case 0x5e:
            return 2;
        default:
            break;
        }
    }
    return blankAt(s, at);
}

void readClass(QByteArrayView field, detail::LineReading &r)
{
    const QByteArrayView s = trimmedBlanks(field);
    qsizetype at = digitsAt(s, 0, r.grade);
    if (r.grade.empty())
        return;
    if (s.sliced(at).startsWith(QByteArrayView(table().nen)))
        at += 2;
    while (at < s.size()) {
        const qsizetype n = separatorAt(s, at);
        if (!n)
            break;
        at += n;
    }
    qsizetype size = 0;
    while (at < s.size()) {
        const char c = groupCharAt(s, at, size);
        if (!c)
            break;
        r.group.push_back(c);
        at += size;
    }
    // Numbers without leading zeros, so that 2-03 is class 2-3.
    if (r.group.find_first_not_of("0123456789") == std::string::npos) {
        const size_t nonZero = r.group.find_first_not_of('0');
        if (nonZero == std::string::npos)
            r.group.erase(r.group.empty() ? 0 : 1);
        else
            r.group.erase(0, nonZero);
    }
}

// 連絡者: X of the last （Xより） or (Xより).
QByteArrayView readContact(QByteArrayView s)
{
    // （, ）, よ and り in code page 932.
    constexpr quint16 Open = 0x8169, Close = 0x816a, Yo = 0x82e6, Ri = 0x82e8;
    QByteArrayView contact;
    qsizetype opened = -1; // just after the last opening bracket
    for (qsizetype at = 0; at < s.size();) {
        const quint16 key = charKey(s, at);
        const qsizetype n = charSize(s, at);
        if (key == '(' || key == Open) {
            at += n;
            opened = at;
            continue;
        }
        if (opened >= 0 && key == Yo && at + 4 < s.size() && charKey(s, at + 2) == Ri &&
            (charKey(s, at + 4) == ')' || charKey(s, at + 4) == Close)) {
            if (at > opened)
                contact = s.sliced(opened, at - opened);
            opened = -1;
        }
        at += n;
    }
    return contact;
}

} // namespace

QByteArray KindText(NotificationKind kind)
{
    return table().kinds[int(kind)];
}

QByteArray SymptomText(Symptom symptom)
{
    return table().symptoms[int(symptom)];
}

namespace detail {

QByteArrayView UnknownText()
{
    return table().unknown;
}

namespace {

template <typename Out>
void appendBytes(Out &out, QByteArrayView bytes)
{
    out.append(bytes.data(), bytes.size());
}

template <typename Out>
void appendClass(Out &out, const LineReading &r)
{
    if (!r.classKnown()) {
        appendBytes(out, UnknownText());
        return;
    }
    out.append(r.grade.data(), qsizetype(r.grade.size()));
    if (!r.group.empty()) {
        out.push_back('-');
        out.append(r.group.data(), qsizetype(r.group.size()));
    }
}

template <typename Out>
void appendName(Out &out, const LineReading &r)
{
    const QByteArrayView s = r.content.sliced(r.nameBegin, r.nameEnd - r.nameBegin);
    // Most names are already words joined by one ASCII blank.
    bool joined = true;
    for (qsizetype at = 0; at < s.size() && joined;) {
        const qsizetype n = blankAt(s, at);
        joined = n == 0 || (s[at] == ' ' && !blankAt(s, at + 1));
        at += n ? n : charSize(s, at);
    }
    if (joined) {
        appendBytes(out, s);
        return;
    }
    bool gap = false;
    for (qsizetype at = 0; at < s.size();) {
        if (const qsizetype n = blankAt(s, at)) {
            gap = true;
            at += n;
            continue;
        }
        if (gap)
            out.push_back(' ');
        gap = false;
        const qsizetype n = charSize(s, at);
        appendBytes(out, s.sliced(at, n));
        at += n;
    }
}

} // namespace

void LineReading::AppendClass(QByteArray &out) const
{
    appendClass(out, *this);
}

void LineReading::AppendClass(std::string &out) const
{
    appendClass(out, *this);
}

void LineReading::AppendName(QByteArray &out) const
{
    appendName(out, *this);
}

void LineReading::AppendName(std::string &out) const
{
    appendName(out, *this);
}

QByteArrayView LineReading::Attendance() const
{
    if (kind == NotificationKind::Absence && (symptom != Symptom::None || illness))
        return table().illness;
    return table().attendance[int(kind)];
}

LineReading ReadLine(QByteArrayView line, Reading reading)
{
    LineReading r;
    r.mark = line.first(qMin<qsizetype>(1, line.size()));
    r.time = NotificationLine::TimeField(line);
    const qsizetype eq = line.indexOf('=');
    r.content = eq < 0 ? QByteArrayView() : line.sliced(eq + 1);
    readClass(NotificationLine::ClassField(line), r);

    const QByteArrayView c = r.content;
    const Table &t = table();
    // 番号: a leading number directly followed by 番.
    qsizetype at = 0;
    while (qsizetype n = blankAt(c, at))
        at += n;
    std::string number;
    const qsizetype digits = digitsAt(c, at, number);
    const qsizetype afterDigits = at + digits;
    if (digits > 0 && afterDigits + 1 < c.size() && c[afterDigits] == t.ban[0] && c[afterDigits + 1] == t.ban[1]) {
        r.number = std::move(number);
        at += digits + t.ban.size();
    } else {
        at = 0;
    }

    // 氏名: the words up to the first that holds a kind, cause or symptom
    // word; nothing when no word holds one.
    qsizetype nameEnd = at, wordStart = at, stopAt = -1;
    while (wordStart < c.size() && stopAt < 0) {
        while (qsizetype n = blankAt(c, wordStart))
            wordStart += n;
        qsizetype wordEnd = wordStart;
        while (wordEnd < c.size() && !blankAt(c, wordEnd)) {
            if (wordAt(c, wordEnd, KindWord | CauseWord | SymptomWord)) {
                stopAt = wordEnd;
                break;
            }
            wordEnd += charSize(c, wordEnd);
        }
        if (stopAt < 0) {
            nameEnd = wordEnd;
            wordStart = wordEnd;
        }
    }
    // The kind word is the first from there: none stands before it (what
    // precedes the name is a number and 番), and without it there is none.
    Found kind;
    if (stopAt >= 0) {
        kind = firstWord(c.sliced(stopAt), KindWord);
        if (kind.word) {
            kind.at += stopAt;
            r.kind = NotificationKind(kind.word->value);
        }
        while (qsizetype n = blankAt(c, at))
            at += n;
        r.nameBegin = at;
        r.nameEnd = qMax(at, nameEnd);
    } else {
        r.nameBegin = r.nameEnd = at;
    }

    // 理由: between the name and the kind word, without what joins them.
    if (kind.word && kind.at >= r.nameEnd) {
        QByteArrayView reason = trimmedBlanks(c.sliced(r.nameEnd, kind.at - r.nameEnd));
        // The first joining word that ends the reason is the longest.
        for (qsizetype i = 0; i < reason.size(); i += charSize(reason, i)) {
            const quint8 bucket = t.bucketOf[charKey(reason, i)];
            bool ends = false;
            if (t.rolesOf[bucket] & ReasonEnd) {
                for (const Compiled &w : t.buckets[bucket])
                    ends = ends || ((w.roles & ReasonEnd) && reason.sliced(i) == QByteArrayView(w.bytes));
            }
            if (ends) {
                reason = trimmedBlanks(reason.first(i));
                break;
            }
        }
        r.reason = reason;
    }

    const QByteArrayView symptomText = r.reason.isEmpty() ? c.sliced(r.nameEnd) : r.reason;
    if (const Found s = firstWord(symptomText, SymptomWord); s.word)
        r.symptom = Symptom(s.word->value);
    r.illness = firstWord(r.reason, IllnessWord).word != nullptr;
    if (reading == Reading::Whole)
        r.contact = readContact(c);
    return r;
}

} // namespace detail

NotificationLine NotificationLine::Read(QByteArrayView line)
{
    const detail::LineReading r = detail::ReadLine(line);
    NotificationLine n;
    n.mark = r.mark.toByteArray();
    n.time = r.time.toByteArray();
    r.AppendClass(n.className);
    n.grade = QByteArray(r.grade.data(), qsizetype(r.grade.size()));
    n.group = QByteArray(r.group.data(), qsizetype(r.group.size()));
    n.content = r.content.toByteArray();
    n.number = QByteArray(r.number.data(), qsizetype(r.number.size()));
    r.AppendName(n.name);
    n.kind = r.kind;
    n.reason = r.reason.toByteArray();
    n.symptom = r.symptom;
    n.attendance = r.Attendance().toByteArray();
    n.contact = r.contact.toByteArray();
    return n;
}

QByteArrayView NotificationLine::ClassField(QByteArrayView line)
{
    const qsizetype eq = line.indexOf('=');
    return eq > 10 ? line.sliced(10, eq - 10) : QByteArrayView();
}

QByteArrayView NotificationLine::TimeField(QByteArrayView line)
{
    return line.size() > 1 ? line.sliced(1, qMin<qsizetype>(8, line.size() - 1)) : QByteArrayView();
}

qint32 NotificationLine::TimeKey(QByteArrayView line)
{
    if (line.size() >= 10) {
        // What the steps below take from a line this long: bytes 2, 3, 5,
        // 6, 8 and 9. Six digits, as nearly every line has, are the key.
        const char joined[6] = {line[1], line[2], line[4], line[5], line[7], line[8]};
        qint32 value = 0;
        for (const char c : joined) {
            if (c < '0' || c > '9')
                return ParseLeadingInt(QByteArrayView(joined, 6));
            value = value * 10 + (c - '0');
        }
        return value;
    }
    // A shorter line goes through the helpers, whose conditions then shape
    // the key.
    const QByteArray t = TakeLeft(line.toByteArray(), 10);
    const QByteArray hms = TakeMid(t, 2, 8);
    return ParseLeadingInt(TakeLeft(hms, 2) + TakeMid(hms, 4, 2) + TakeRight(hms, 2));
}

qint32 NotificationLine::ClassKey(QByteArrayView line)
{
    // The class field trimmed of every byte below 33.
    QByteArrayView cls = ClassField(line);
    while (!cls.isEmpty() && quint8(cls.front()) < 33)
        cls = cls.sliced(1);
    while (!cls.isEmpty() && quint8(cls.back()) < 33)
        cls.chop(1);
    return ParseLeadingInt(cls);
}

bool NotificationLine::HasOneDigitHour(QByteArrayView line)
{
    return line.indexOf(':') == 2;
}

QByteArrayView NotificationLine::LastUpdateMark()
{
    // "最終更新" in code page 932.
    return QByteArrayView("\x8d\xc5\x8f\x49\x8d\x58\x90\x56", 8);
}

bool NotificationLine::IsLastUpdate(QByteArrayView line)
{
    return line.size() > LastUpdateMark().size() && line.startsWith(LastUpdateMark());
}

} // namespace absence
