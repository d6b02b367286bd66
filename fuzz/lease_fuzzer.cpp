// The lease helper's request parser on fuzzed bytes: the message as sent, and
// a request built from the bytes' pieces and encoded. What it accepts must be
// exactly one request of a day's file name in an absolute folder without
// "..", and encode back to the very bytes.
//
// The helper's decision on the file a request ends at is checked too: a
// lease only on a regular file with one name, of a day's file name; a write
// lease only on a record's name that the caller may write.
//
// Input: the whole input is parsed as a message; then byte 0's low bit picks
// the kind, its next bits whether the file is regular, whether the caller
// may write it and its count of names (0 to 3), and the rest, split at its
// first NUL, gives the folder (after a "/") and the name.

#include "fuzz_check.h"

#include "platform/lease_request.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>

namespace {

using absence::platform::lease::Request;

bool DayName(const std::string &name)
{
    static const std::regex shape("[0-9][-0-9. ]{0,31}[Aa][0-9]?\\.[Tt][Xx][Tt]");
    return name.size() <= 64 && name.find("..") == std::string::npos && std::regex_match(name, shape);
}

bool RecordName(const std::string &name)
{
    static const std::regex shape("[0-9][-0-9. ]{0,31}[Aa]\\.[Tt][Xx][Tt]");
    return DayName(name) && std::regex_match(name, shape);
}

int ExpectedRefusal(Request::Kind kind, const absence::platform::lease::Candidate &file)
{
    if (!file.regular)
        return EINVAL;
    if (file.links != 1)
        return EMLINK;
    if (!DayName(file.name) || (kind == Request::Kind::Write && !RecordName(file.name)))
        return EPERM;
    return kind == Request::Kind::Write && !file.callerMayWrite ? EACCES : 0;
}

bool Folder(const std::string &folder)
{
    return !folder.empty() && folder.size() <= absence::platform::lease::MaxFolderSize && folder[0] == '/'
           && folder.find('\0') == std::string::npos && (folder + "/").find("/../") == std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    namespace lease = absence::platform::lease;
    const std::string bytes(reinterpret_cast<const char *>(data), size);

    Request parsed;
    if (lease::Parse(bytes, parsed)) {
        FUZZ_CHECK(lease::Encode(parsed) == bytes);
        FUZZ_CHECK(Folder(parsed.folder));
        FUZZ_CHECK(DayName(parsed.name) && lease::IsDayFileName(parsed.name));
    }

    if (size < 1)
        return 0;
    Request built;
    built.kind = data[0] & 1 ? Request::Kind::Write : Request::Kind::Read;
    const std::string rest = bytes.substr(1);
    const size_t cut = rest.find('\0');
    built.folder = "/" + rest.substr(0, cut);
    built.name = cut == std::string::npos ? std::string() : rest.substr(cut + 1);
    FUZZ_CHECK(lease::IsDayFileName(built.name) == DayName(built.name));
    FUZZ_CHECK(lease::IsRecordFileName(built.name) == RecordName(built.name));
    lease::Candidate file;
    file.name = built.name;
    file.regular = data[0] & 2;
    file.callerMayWrite = data[0] & 4;
    file.links = (data[0] >> 3) & 3;
    FUZZ_CHECK(lease::Refusal(built.kind, file) == ExpectedRefusal(built.kind, file));
    Request back;
    const bool valid = Folder(built.folder) && DayName(built.name);
    FUZZ_CHECK(lease::Parse(lease::Encode(built), back) == valid);
    if (valid)
        FUZZ_CHECK(back == built);
    return 0;
}
