// Reads fuzzed bytes as a data file: the lines read must follow the reading
// rules and hour normalisation exactly, and what the list stores never holds
// a line break or a NUL.

#include "fuzz_support.h"

#include "absence_list.h"
#include "collection.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::InstallServices();
    fuzz::EnterScratchDirectory("data_file_fuzzer");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    // The reader fills a 64 KiB buffer at a time; a filler in front moves the
    // fuzzed bytes across that boundary (a CR in one chunk, its LF in the next).
    std::string file;
    if (data[0] & 1)
        file.assign(65536 - data[1] % 64, 'x');
    file.append(reinterpret_cast<const char *>(data) + 2, size - 2);
    FUZZ_CHECK(fuzz::WriteFile("data.txt", file));

    const QList<QByteArray> read = absence::ReadDataFile(QStringLiteral("data.txt"));

    std::vector<std::string> expected;
    for (const std::string &line : ref::SplitDataFile(file)) {
        if (!line.empty())
            expected.push_back(ref::NormaliseHour(line));
    }
    const std::vector<std::string> got = fuzz::Std(read);
    FUZZ_CHECK(got == expected);
    for (const std::string &line : got)
        FUZZ_CHECK(line.find_first_of("\r\n\x1a") == std::string::npos);

    // One list per process: its Japanese collator is costly to set up.
    static absence::AbsenceList list;
    list.Assign(read);
    std::vector<std::string> stored = fuzz::Std(list.Lines());
    for (const std::string &line : stored)
        FUZZ_CHECK(!fuzz::HoldsLineBreakOrNul(line));
    FUZZ_CHECK(fuzz::Sorted(stored) == fuzz::Sorted(ref::CollectFile(file)));
    return 0;
}
