#pragma once
// Shared set-up of the fuzz targets: a day's folder in memory, a fixed clock
// and the Japanese locale, and a check that stops the run with a message.

#include "fuzz_check.h"
#include "reference.h"

#include "absence_list.h"
#include "absence_list_p.h"
#include "files.h"
#include "files_p.h"
#include "services.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

inline const QDate &Day()
{
    static const QDate day(2026, 12, 8);
    return day;
}

// Installed once per process: every input sees the same clock and locale.
inline void InstallServices()
{
    static absence::ScopedServices services(
        std::make_shared<absence::FixedClock>(QDateTime(Day(), QTime(8, 30, 0))),
        absence::LocaleSettings::fromName(QStringLiteral("ja_JP")));
}

// A day's folder held in memory and installed as the core's file system: the
// collection, save and load run their own code on it, without a disk.
class MemoryFolder : public absence::FileSystem {
public:
    struct Entry {
        QByteArray bytes;
        bool directory = false;
    };
    // By name; the folder is "/day".
    mutable std::map<QString, Entry, std::less<>> entries;
    // Bytes handed to a reader at a time (0: as many as it asks for).
    qint64 piece = 0;

    static QString Path(const QString &name) { return QStringLiteral("/day/") + name; }
    const Entry *Find(const QString &path) const
    {
        const auto it = Lookup(path);
        return it == entries.end() ? nullptr : &it->second;
    }

    QString CurrentDirectory() const override { return QStringLiteral("/day"); }
    bool IsDirectory(const QString &path) const override
    {
        const Entry *e = Find(path);
        return path == CurrentDirectory() || (e && e->directory);
    }
    absence::platform::EntryLookup LookUpEntry(const QString &path) const override
    {
        absence::platform::EntryLookup lookup;
        const auto it = Lookup(path);
        if (it != entries.end()) {
            lookup.result = absence::platform::EntryLookup::Result::Found;
            lookup.path = it->first == QStringView(path).mid(5) ? path : Path(it->first);
        }
        return lookup;
    }
    qint64 RegularFileSize(const QString &path) const override
    {
        const Entry *e = Find(path);
        return e && !e->directory ? e->bytes.size() : -1;
    }
    absence::OpenedFile Open(const QString &path, absence::platform::Sharing, qint64 pieceSize) const override
    {
        using Outcome = absence::platform::InputFile::Outcome;
        absence::OpenedFile opened;
        const Entry *e = Find(path);
        if (!e) {
            opened.outcome = Outcome::Absent;
            opened.errorCode = 2;
        } else if (e->directory) {
            opened.outcome = Outcome::Failed;
            opened.errorCode = 5;
        } else {
            opened.outcome = Outcome::Opened;
            opened.bytes =
                std::make_unique<absence::MemoryBytes>(e->bytes, piece > 0 ? std::min(piece, pieceSize) : pieceSize);
        }
        return opened;
    }
    std::unique_ptr<absence::RecordWriter> ReplaceRecord(const QString &path) const override
    {
        return std::make_unique<Writer>(*this, path);
    }

private:
    // An exact name first, then one that differs in case only.
    std::map<QString, Entry, std::less<>>::iterator Lookup(const QString &path) const
    {
        if (!path.startsWith(u"/day/"))
            return entries.end();
        const QStringView name = QStringView(path).mid(5);
        const auto exact = entries.find(name);
        if (exact != entries.end())
            return exact;
        for (auto it = entries.begin(); it != entries.end(); ++it) {
            if (name.compare(it->first, Qt::CaseInsensitive) == 0)
                return it;
        }
        return entries.end();
    }

    class Writer : public absence::RecordWriter {
    public:
        Writer(const MemoryFolder &folder, const QString &path) : m_folder(folder), m_path(path) {}
        bool ready() const override
        {
            const Entry *e = m_folder.Find(m_path);
            return !e || !e->directory;
        }
        bool Write(const char *data, qint64 size) override
        {
            m_bytes.append(data, size);
            return true;
        }
        Result Commit() override
        {
            m_folder.entries[m_path.mid(5)].bytes = m_bytes;
            return Result::Done;
        }

    private:
        const MemoryFolder &m_folder;
        QString m_path;
        QByteArray m_bytes;
    };
};

// Installed once per process; each input refills it.
inline MemoryFolder &Folder()
{
    static const std::shared_ptr<MemoryFolder> folder = [] {
        auto f = std::make_shared<MemoryFolder>();
        absence::setFileSystem(f);
        return f;
    }();
    return *folder;
}

// Empties the folder when an input is done. An input that ends with more
// blocks allocated than it began with is run a second time by libFuzzer,
// looking for a leak; so the targets' lists are made per input, too.
struct EmptiedAfterInput {
    ~EmptiedAfterInput() { Folder().entries.clear(); }
};

inline std::string Std(const QByteArray &b)
{
    return std::string(b.constData(), size_t(b.size()));
}

inline QByteArray Qt(const std::string &s)
{
    return QByteArray(s.data(), qsizetype(s.size()));
}

inline std::vector<std::string> Std(const QList<QByteArray> &lines)
{
    std::vector<std::string> out;
    out.reserve(size_t(lines.size()));
    for (const QByteArray &l : lines)
        out.push_back(Std(l));
    return out;
}

// The list's lines as views into it, valid until the list changes: what is
// only compared needs no copy.
inline std::vector<std::string_view> Views(const absence::AbsenceList &list)
{
    std::vector<std::string_view> out;
    out.reserve(size_t(list.Count()));
    for (int i = 0; i < list.Count(); ++i) {
        const QByteArrayView line = list.View(i);
        out.emplace_back(line.data(), size_t(line.size()));
    }
    return out;
}

// The list's lines, copied: for what outlives a change of the list.
inline std::vector<std::string> Lines(const absence::AbsenceList &list)
{
    const std::vector<std::string_view> views = Views(list);
    return std::vector<std::string>(views.begin(), views.end());
}

// True when the list holds `lines`, in that order.
template <typename Line>
bool Holds(const absence::AbsenceList &list, const std::vector<Line> &lines)
{
    if (size_t(list.Count()) != lines.size())
        return false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const QByteArrayView line = list.View(int(i));
        if (std::string_view(line.data(), size_t(line.size())) != lines[i])
            return false;
    }
    return true;
}

// True when `split` (QByteArrays) and `expected` hold the same lines.
inline bool SameLines(const QList<QByteArray> &split, const std::vector<std::string> &expected)
{
    if (size_t(split.size()) != expected.size())
        return false;
    for (size_t i = 0; i < expected.size(); ++i) {
        if (std::string_view(split[qsizetype(i)].constData(), size_t(split[qsizetype(i)].size())) != expected[i])
            return false;
    }
    return true;
}

// True when `file` is `lines`, each ended by CR LF: a saved record.
template <typename Line>
bool IsSavedRecord(const QByteArray &file, const std::vector<Line> &lines)
{
    const std::string_view bytes(file.constData(), size_t(file.size()));
    size_t at = 0;
    for (const Line &line : lines) {
        const std::string_view l(line);
        if (bytes.substr(at, l.size()) != l || bytes.substr(at + l.size(), 2) != "\r\n")
            return false;
        at += l.size() + 2;
    }
    return at == bytes.size();
}

inline std::vector<std::string> Sorted(std::vector<std::string> v)
{
    std::sort(v.begin(), v.end());
    return v;
}

// True when `lines` are `from` in the list's collation order, lines of equal
// rank in the order they had in `from` (what Adds into an empty list give).
// Checked pair by pair, far fewer comparisons than sorting `from` again.
template <typename Line, typename FromLine>
bool InStableCollationOrder(const absence::AbsenceList &list, const std::vector<Line> &lines,
                            const std::vector<FromLine> &from)
{
    if (lines.size() != from.size())
        return false;
    // Where each line was in `from`: the k-th of the equal lines here is the
    // k-th of them there.
    auto byBytes = [](const auto &v) {
        std::vector<size_t> order(v.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return v[a] < v[b]; });
        return order;
    };
    const std::vector<size_t> here = byBytes(lines), there = byBytes(from);
    std::vector<size_t> origin(lines.size());
    for (size_t k = 0; k < here.size(); ++k) {
        if (lines[here[k]] != from[there[k]])
            return false;
        origin[here[k]] = there[k];
    }
    auto view = [](std::string_view s) { return QByteArray::fromRawData(s.data(), qsizetype(s.size())); };
    for (size_t i = 1; i < lines.size(); ++i) {
        const int order = absence::CompareLines(list, view(lines[i - 1]), view(lines[i]));
        if (order > 0 || (order == 0 && origin[i - 1] > origin[i]))
            return false;
    }
    return true;
}

inline bool HoldsLineBreakOrNul(const std::string &s)
{
    return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

} // namespace fuzz
