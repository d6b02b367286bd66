// Reads fuzzed bytes as a data file: the lines read must follow the reading
// rules, the conversion of a UTF-8 or UTF-16 file and hour normalisation
// exactly, and what the list stores never holds a line break or a NUL.

#include "fuzz_support.h"

#include "absence_list.h"
#include "collection.h"
#include "collection_p.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::InstallServices();
    fuzz::Folder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    // Small pieces put line ends and characters across the reader's
    // boundaries (a CR in one piece, its LF in the next).
    fuzz::MemoryFolder &folder = fuzz::Folder();
    folder.piece = data[0] & 1 ? data[1] % 64 + 1 : 0;
    const std::string file(reinterpret_cast<const char *>(data) + 2, size - 2);
    folder.entries.clear();
    const fuzz::EmptiedAfterInput emptied;
    folder.entries[QStringLiteral("data.txt")].bytes = fuzz::Qt(file);

    const QList<QByteArray> read = absence::ReadDataFile(fuzz::MemoryFolder::Path(QStringLiteral("data.txt")));

    const std::string text = ref::AsCp932(file, '\x1a');
    std::vector<std::string> expected;
    for (const std::string &line : ref::SplitDataFile(text)) {
        if (!line.empty())
            expected.push_back(ref::NormaliseHour(line));
    }
    const std::vector<std::string> got = fuzz::Std(read);
    FUZZ_CHECK(got == expected);
    for (const std::string &line : got)
        FUZZ_CHECK(line.find_first_of("\r\n\x1a") == std::string::npos);

    absence::AbsenceList list;
    list.Assign(read);
    std::vector<std::string> stored = fuzz::Lines(list);
    for (const std::string &line : stored)
        FUZZ_CHECK(!fuzz::HoldsLineBreakOrNul(line));
    FUZZ_CHECK(fuzz::Sorted(stored) == fuzz::Sorted(ref::CollectFile(text)));
    return 0;
}
