#pragma once
// What a program of the project needs of the system at its start and for its
// own output: the process-wide set-up, the standard streams, its own place.

#include <QByteArrayView>
#include <QString>
#include <string>

namespace absence {

// Process-wide set-up, once at a program's start: signals the file handling
// relies on, binary standard streams.
void PrepareProcess();

// Standard output and standard error. Text is UTF-8 and shown correctly by a
// console; bytes go out untouched. False when the stream could not take them.
enum class Stream { Output, Error };
bool WriteText(Stream stream, QByteArrayView utf8);
bool WriteBytes(Stream stream, QByteArrayView bytes);
bool Flush(Stream stream);

// The running program's own file, as the system names it (UTF-8 on Windows);
// empty when it cannot be told.
std::string ExecutablePath();

// What a program says, before anything else, when code page 932 cannot be
// converted (ICU or its data missing).
QString Cp932UnavailableText();

} // namespace absence
