#pragma once
// What the systems' own files share and nothing else sees: the shape of the
// new record's temporary name, which leftovers of killed saves a save may
// remove, how long a held station's file is waited for, and the C library's
// streams behind the program's.

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <functional>

#include "program.h"

namespace absence::platform::detail {

// A name for the new record beside the old one: the record's own name, ".",
// and six random ASCII letters or digits.
QString TemporaryRecordName(const QString &recordName);
QByteArray TemporaryRecordName(const QByteArray &recordName);

// True when `name` has exactly that shape for `recordName`; `cs` is how the
// file system compares the record's part of it.
bool IsTemporaryRecordName(const QString &name, const QString &recordName, Qt::CaseSensitivity cs);
bool IsTemporaryRecordName(const QByteArray &name, const QByteArray &recordName);

// A leftover that a save may remove: of that shape (checked by the caller),
// a regular file, the operator's own, and left alone for over a minute (a
// save still running renames its file within moments).
bool IsStaleLeftover(bool regularFile, bool operatorsOwn, qint64 secondsSinceWritten);

// Calls `openOnce` again while it answers false (the file is held by
// another program), after a pause of 10 ms that doubles up to 200 ms, and
// stops when the next pause would pass 5 seconds from the start.
void RetryWhileHeld(const std::function<bool()> &openOnce);

// stdout or stderr.
std::FILE *StreamFile(Stream stream);

// While one lives, a request to end the program (Ctrl-C, a closed terminal or
// console, kill, a logout) waits until it is gone, so that a line being
// appended is written whole; the program then ends as it was asked to. Only
// an end that cannot be caught (SIGKILL, TerminateProcess, the power) can
// still stop a write in the middle, and the system then stops it only at a
// page of the file. PrepareProcess sets up what makes the request wait.
class EndDeferred {
public:
    EndDeferred();
    ~EndDeferred();
    EndDeferred(const EndDeferred &) = delete;
    EndDeferred &operator=(const EndDeferred &) = delete;
};

} // namespace absence::platform::detail
