// The string helpers, ParseLeadingInt and both sort keys against the plain
// reference implementations.

#include "fuzz_support.h"

#include "reorder.h"
#include "reorder_p.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    const std::string s(reinterpret_cast<const char *>(data) + 4, size - 4);
    const QByteArray q = fuzz::Qt(s);
    const long long len = (long long)s.size();
    // Counts near zero, near the length, and far outside either.
    auto count = [&](uint8_t byte, int shift) -> long long {
        const long long small = (long long)(int8_t)byte;
        switch ((data[3] >> shift) & 3) {
        case 0: return small;
        case 1: return len + small % 4;
        case 2: return small * 100000000LL;
        default: return small % 16;
        }
    };
    const long long a = count(data[0], 0), b = count(data[1], 2), c = count(data[2], 4);

    FUZZ_CHECK(fuzz::Std(absence::TakeLeft(q, a)) == ref::TakeLeft(s, a));
    FUZZ_CHECK(fuzz::Std(absence::TakeRight(q, a)) == ref::TakeRight(s, a));
    // The program never asks TakeMid for a start before byte 1.
    if (b >= 1)
        FUZZ_CHECK(fuzz::Std(absence::TakeMid(q, b, c)) == ref::TakeMid(s, b, c));
    FUZZ_CHECK(fuzz::Std(absence::Trim(q)) == ref::Trim(s));

    FUZZ_CHECK(absence::ParseLeadingInt(q) == ref::ParseLeadingInt(s));
    FUZZ_CHECK(absence::TimeKey(q) == ref::TimeKey(s));
    FUZZ_CHECK(absence::ClassKey(q) == ref::ClassKey(s));
    return 0;
}
