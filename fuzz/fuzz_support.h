#pragma once
// Shared set-up of the fuzz targets: a private working directory, a fixed
// clock and the Japanese locale, and a check that stops the run with a message.

#include "reference.h"

#include "services.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#define FUZZ_CHECK(cond)                                                                    \
    do {                                                                                    \
        if (!(cond)) {                                                                      \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                   \
        }                                                                                   \
    } while (0)

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

// Removes every entry of the current directory (files and empty directories).
inline void ClearCurrentDirectory();

// Makes a fresh directory under TMPDIR and changes into it (the program works
// on the current directory); it is removed again when the process exits.
inline std::string EnterScratchDirectory(const char *name)
{
    static std::string made;
    const char *tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + name + ".XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!::mkdtemp(buf.data()) || ::chdir(buf.data()) != 0) {
        std::perror("scratch directory");
        std::abort();
    }
    made = buf.data();
    std::atexit([] {
        ClearCurrentDirectory();
        ::rmdir(made.c_str());
    });
    return made;
}

inline void ClearCurrentDirectory()
{
    DIR *d = ::opendir(".");
    if (!d)
        return;
    std::vector<std::string> names;
    while (const dirent *e = ::readdir(d)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..")
            names.push_back(n);
    }
    ::closedir(d);
    for (const std::string &n : names) {
        if (::unlink(n.c_str()) != 0)
            ::rmdir(n.c_str());
    }
}

inline bool WriteFile(const std::string &name, const std::string &bytes)
{
    std::FILE *f = std::fopen(name.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

inline std::string ReadFile(const std::string &name)
{
    std::string out;
    std::FILE *f = std::fopen(name.c_str(), "rb");
    if (!f)
        return out;
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        out.append(chunk, n);
    std::fclose(f);
    return out;
}

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

inline std::vector<std::string> Sorted(std::vector<std::string> v)
{
    std::sort(v.begin(), v.end());
    return v;
}

inline bool HoldsLineBreakOrNul(const std::string &s)
{
    return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

} // namespace fuzz
