// Reads fuzzed bytes as a record file, saves the list and loads it again:
// the same entries must come back, none holding a line break or a NUL.

#include "fuzz_support.h"

#include "absence_list.h"
#include "day_files.h"
#include "errors.h"
#include "record_file.h"
#include "record_file_p.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::InstallServices();
    fuzz::Folder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string file(reinterpret_cast<const char *>(data), size);
    FUZZ_CHECK(fuzz::SameLines(absence::SplitRecordText(QByteArray::fromRawData(file.data(), qsizetype(size))),
                               ref::SplitRecord(file)));
    // A UTF-8 or UTF-16 record is converted as it is loaded, but not one
    // holding a last-update line in code page 932.
    const std::vector<std::string> expected = ref::SplitRecord(ref::AsCp932(file, '\0', ref::LastUpdateMark));

    // The piece size follows from the length, so that the seeds stay plain
    // record files.
    fuzz::MemoryFolder &folder = fuzz::Folder();
    folder.piece = size % 3 == 0 ? 0 : size % 64 + 1;
    folder.entries.clear();
    const fuzz::EmptiedAfterInput emptied;
    static const QString recordName = absence::RecordFileName(fuzz::Day());
    folder.entries[recordName].bytes = fuzz::Qt(file);
    QString recordPath;
    FUZZ_CHECK(!absence::FindRecordFile(fuzz::Day(), recordPath));

    absence::AbsenceList list;
    absence::Load(list, recordPath);
    std::vector<std::string> loaded = fuzz::Lines(list);
    for (const std::string &line : loaded)
        FUZZ_CHECK(!fuzz::HoldsLineBreakOrNul(line));
    FUZZ_CHECK(fuzz::InStableCollationOrder(list, loaded, expected));

    if (list.Count() == 0) {
        bool refused = false;
        try {
            absence::Save(list, fuzz::Day());
        } catch (const absence::ListIndexError &e) {
            refused = e.index() == 0;
        }
        FUZZ_CHECK(refused);
        return 0;
    }

    const bool stampAtTop = ref::IsLastUpdateLine(loaded.front());
    absence::Save(list, fuzz::Day());
    const std::vector<std::string> saved = fuzz::Lines(list);
    // A last-update line at the top is replaced in place; otherwise the new
    // one is added to the entries.
    static const std::string stamp = "\x8d\xc5\x8f\x49\x8d\x58\x90\x56\x81\x46" "2026/12/08 8:30:00";
    std::vector<std::string> expectedSaved = loaded;
    if (stampAtTop) {
        FUZZ_CHECK(saved.front() == stamp);
        expectedSaved.front() = stamp;
        FUZZ_CHECK(std::equal(saved.begin() + 1, saved.end(), loaded.begin() + 1, loaded.end()));
    } else {
        expectedSaved.push_back(stamp);
    }
    FUZZ_CHECK(fuzz::Sorted(saved) == fuzz::Sorted(expectedSaved));
    FUZZ_CHECK(fuzz::IsSavedRecord(folder.entries[recordName].bytes, saved));

    absence::AbsenceList again;
    absence::Load(again, recordPath);
    FUZZ_CHECK(fuzz::InStableCollationOrder(again, fuzz::Views(again), saved));
    return 0;
}
