// A whole day from fuzzed bytes: up to ten data files in a scratch working
// directory, then collect, order by time, order by class, save and load.
//
// Input: byte 0 bit 7 set puts a directory in place of data file (byte 0 & 15),
// bits 4-6 the pieces the files are read in (0: whole, else 1, 4, 16 ... 4096
// bytes); byte 1 names data files 0..7 in lower case bit by bit; byte 2
// leaves data files 0..7 out bit by bit; the rest is split at "\xff\xfe" into
// the files' contents, file 9 taking whatever follows the ninth split.

#include "fuzz_support.h"

#include "absence_list.h"
#include "collection.h"
#include "day_files.h"
#include "errors.h"
#include "record_file.h"
#include "record_file_p.h"
#include "reorder.h"
#include "reorder_p.h"

namespace {

const std::string Marker = "\xff\xfe";

QString DataName(int digit, bool lower)
{
    return QString::fromLatin1(std::string("2026-12-08") + (lower ? "a" : "A") + char('0' + digit)
                               + (lower ? ".txt" : ".TXT"));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::InstallServices();
    fuzz::Folder();
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

    fuzz::MemoryFolder &folder = fuzz::Folder();
    const int piece = data[0] >> 4 & 7;
    folder.piece = piece == 0 ? 0 : 1 << (2 * (piece - 1));
    folder.entries.clear();
    const fuzz::EmptiedAfterInput emptied;
    std::vector<std::string> gathered;
    bool failed = false;
    for (int digit = 0; digit < int(files.size()); ++digit) {
        const bool lower = digit < 8 && (data[1] >> digit & 1);
        if (digit < 8 && (data[2] >> digit & 1))
            continue;
        if (digit == dirDigit) {
            folder.entries[DataName(digit, lower)].directory = true;
            failed = true;
        }
        if (failed)
            continue; // the run stops at the directory; later files are not read
        folder.entries[DataName(digit, lower)].bytes = fuzz::Qt(files[size_t(digit)]);
        for (std::string &line : ref::CollectFile(ref::AsCp932(files[size_t(digit)], '\x1a')))
            gathered.push_back(std::move(line));
    }

    absence::AbsenceList list;
    bool raised = false;
    try {
        absence::Collect(list, fuzz::Day());
    } catch (const absence::InOutError &e) {
        raised = e.code() == 5;
    }
    FUZZ_CHECK(raised == failed);
    std::vector<std::string> lines = fuzz::Lines(list);
    for (const std::string &line : lines)
        FUZZ_CHECK(!fuzz::HoldsLineBreakOrNul(line));
    FUZZ_CHECK(fuzz::InStableCollationOrder(list, lines, gathered));

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
    FUZZ_CHECK(fuzz::Holds(list, lines));
    absence::OrderByClass(list);
    ref::ExchangeOrder(lines, ref::ClassKey);
    FUZZ_CHECK(fuzz::Holds(list, lines));

    const bool stampAtTop = ref::IsLastUpdateLine(lines.front());
    absence::Save(list, fuzz::Day());
    // The list is not changed again: its lines are read in place.
    const std::vector<std::string_view> saved = fuzz::Views(list);
    FUZZ_CHECK(saved.size() == lines.size() + (stampAtTop ? 0 : 1));
    static const QString recordName = QStringLiteral("2026-12-08A.TXT");
    FUZZ_CHECK(fuzz::IsSavedRecord(folder.entries[recordName].bytes, saved));

    absence::AbsenceList again;
    QString recordPath;
    FUZZ_CHECK(!absence::FindRecordFile(fuzz::Day(), recordPath));
    absence::Load(again, recordPath);
    FUZZ_CHECK(fuzz::InStableCollationOrder(again, fuzz::Views(again), saved));
    return 0;
}
