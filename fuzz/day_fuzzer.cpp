// A whole day from fuzzed bytes: up to ten data files in a scratch working
// directory, then collect, order by time, order by class, save and load.
//
// Input: byte 0 bit 7 set puts a directory in place of data file (byte 0 & 15);
// byte 1 names data files 0..7 in lower case bit by bit; byte 2 leaves data
// files 0..7 out bit by bit; the rest is split at "\xff\xfe" into the files'
// contents, file 9 taking whatever follows the ninth split.

#include "fuzz_support.h"

#include "absence_list.h"
#include "collection.h"
#include "day_files.h"
#include "errors.h"
#include "record_file.h"
#include "reorder.h"

namespace {

const std::string Marker = "\xff\xfe";

std::string DataName(int digit, bool lower)
{
    return std::string("2026-12-08") + (lower ? "a" : "A") + char('0' + digit) + (lower ? ".txt" : ".TXT");
}

// What Adds into an empty list give: a stable sort by collation rank.
std::vector<std::string> CollationSorted(const absence::AbsenceList &list, std::vector<std::string> lines)
{
    std::stable_sort(lines.begin(), lines.end(), [&](const std::string &x, const std::string &y) {
        return list.Compare(fuzz::Qt(x), fuzz::Qt(y)) < 0;
    });
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::InstallServices();
    fuzz::EnterScratchDirectory("day_fuzzer");
    absence::ChosenDate = fuzz::Day();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const int dirDigit = (data[0] & 0x80) && (data[0] & 15) < 10 ? data[0] & 15 : -1;
    const std::string rest(reinterpret_cast<const char *>(data) + 3, size - 3);
    std::vector<std::string> files;
    size_t from = 0;
    while (files.size() < 9) {
        const size_t at = rest.find(Marker, from);
        if (at == std::string::npos)
            break;
        files.push_back(rest.substr(from, at - from));
        from = at + Marker.size();
    }
    files.push_back(rest.substr(from));

    fuzz::ClearCurrentDirectory();
    std::vector<std::string> gathered;
    bool failed = false;
    for (int digit = 0; digit < int(files.size()); ++digit) {
        const bool lower = digit < 8 && (data[1] >> digit & 1);
        if (digit < 8 && (data[2] >> digit & 1))
            continue;
        if (digit == dirDigit) {
            FUZZ_CHECK(::mkdir(DataName(digit, lower).c_str(), 0755) == 0);
            failed = true;
        }
        if (failed)
            continue; // the run stops at the directory; later files are not read
        FUZZ_CHECK(fuzz::WriteFile(DataName(digit, lower), files[size_t(digit)]));
        for (const std::string &line : ref::CollectFile(files[size_t(digit)]))
            gathered.push_back(line);
    }

    // One list per process: its Japanese collator is costly to set up.
    static absence::AbsenceList list;
    bool raised = false;
    try {
        absence::Collect(list);
    } catch (const absence::InOutError &e) {
        raised = e.code() == 5;
    }
    FUZZ_CHECK(raised == failed);
    std::vector<std::string> lines = fuzz::Std(list.Lines());
    for (const std::string &line : lines)
        FUZZ_CHECK(!fuzz::HoldsLineBreakOrNul(line));
    FUZZ_CHECK(lines == CollationSorted(list, gathered));

    if (lines.empty()) {
        for (auto order : {absence::OrderByTime, absence::OrderByClass}) {
            bool refused = false;
            try {
                order(list);
            } catch (const absence::ListIndexError &e) {
                refused = e.index() == 0;
            }
            FUZZ_CHECK(refused);
        }
        return 0;
    }

    absence::OrderByTime(list);
    ref::ExchangeOrder(lines, ref::TimeKey);
    FUZZ_CHECK(fuzz::Std(list.Lines()) == lines);
    absence::OrderByClass(list);
    ref::ExchangeOrder(lines, ref::ClassKey);
    FUZZ_CHECK(fuzz::Std(list.Lines()) == lines);

    const bool stampAtTop = ref::IsLastUpdateLine(lines.front());
    absence::Save(list);
    const std::vector<std::string> saved = fuzz::Std(list.Lines());
    FUZZ_CHECK(saved.size() == lines.size() + (stampAtTop ? 0 : 1));
    std::string bytes;
    for (const std::string &line : saved)
        bytes += line + "\r\n";
    FUZZ_CHECK(fuzz::ReadFile("2026-12-08A.TXT") == bytes);

    static absence::AbsenceList again;
    FUZZ_CHECK(!absence::FindRecordFile(fuzz::Day()));
    absence::Load(again, absence::RecordPath);
    const std::vector<std::string> loaded = fuzz::Std(again.Lines());
    FUZZ_CHECK(fuzz::Sorted(loaded) == fuzz::Sorted(saved));
    FUZZ_CHECK(loaded == CollationSorted(again, saved));
    return 0;
}
