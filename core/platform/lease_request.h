#pragma once
// What a front end and the lease helper say to each other. A lease on another
// user's file needs CAP_LEASE, which only the helper absence-collector-lease
// holds: a front end whose own lease was refused starts it with one end of a
// socket pair as its standard input and sends one request (a folder, a day's
// file name, a read or a write lease); the helper opens the file with the
// caller's rights, takes the lease and sends the outcome back, with the open
// file when it is leased. The lease belongs to that open file, so the helper
// can exit at once. Plain C++ and POSIX, no Qt: the helper links this too.

#include <cstddef>
#include <string>
#include <string_view>

namespace absence::platform::lease {

// The helper's name, installed in libexec.
inline constexpr char HelperName[] = "absence-collector-lease";

// A day's file name: a date tag and "A.TXT" or "A0.TXT" .. "A9.TXT" (letters in
// either case). The tag is the locale's short date: a few digits and date
// separators ("-", ".", " "), starting with a digit, never "/" nor "..".
bool IsDayFileName(std::string_view name);

// A record's name: a day's file name without the digit ("A.TXT").
bool IsRecordFileName(std::string_view name);

struct Request {
    enum class Kind : char { Read = 'R', Write = 'W' };
    Kind kind = Kind::Read;
    std::string folder; // absolute, without ".." among its parts
    std::string name; // a day's file name in it

    bool operator==(const Request &o) const { return kind == o.kind && folder == o.folder && name == o.name; }
};

// Longest folder a request carries, and longest request.
inline constexpr std::size_t MaxFolderSize = 4095;
inline constexpr std::size_t MaxRequestSize = 1 + MaxFolderSize + 1 + 64 + 1;

// The kind's letter, the folder, NUL, the name, NUL.
std::string Encode(const Request &request);
// True for one well-formed request, and then only for its one encoding.
bool Parse(std::string_view bytes, Request &request);

// The file a request's links end at, as the helper sees it on a handle that
// reads nothing, before it opens the file.
struct Candidate {
    std::string name; // its own name in its folder
    bool regular = false;
    unsigned long links = 0; // its names (st_nlink)
    bool callerMayWrite = false; // the file and its folder, by the caller's own rights
};
// 0 when a lease of `kind` may be taken on `file`, else the errno it is
// refused with: a regular file with no other name, of a day's file name; a
// write lease (which holds off every other program) only on a record that
// the caller could replace itself.
int Refusal(Request::Kind kind, const Candidate &file);

struct Reply {
    enum class Outcome : unsigned char {
        Leased = 1, // the open file comes with the reply
        Held = 2, // another program has it open in a way the lease forbids
        Refused = 3, // error tells why
    };
    Outcome outcome = Outcome::Refused;
    int error = 0; // errno
};

// The reply on `socket`, with the descriptor `fd` when leased. Never waits.
bool SendReply(int socket, const Reply &reply, int fd);
// One reply; `fd` is -1 unless it came with one. False when no well-formed
// reply came (the helper failed).
bool ReceiveReply(int socket, Reply &reply, int &fd);

// The front end's side: starts the helper at `helper`, with no environment,
// sends the request and waits for the reply. False (errno set) when the
// helper cannot be started (missing, or not for this user) or said nothing.
bool Ask(const std::string &helper, const Request &request, Reply &reply, int &fd);

} // namespace absence::platform::lease
