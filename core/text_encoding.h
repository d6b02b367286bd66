#pragma once
// A day's file as code page 932 bytes, whatever it was saved in. Stations
// write code page 932, but today's Notepad saves a new file as UTF-8.

#include "files.h"

#include <QString>

#include <memory>

namespace absence {

// The bytes of `file` as code page 932. A file that starts with a byte order
// mark (UTF-8, UTF-16 LE or BE), or whose bytes are all valid UTF-8 with at
// least one character of three bytes or more, is converted as it is read.
// ASCII stays as it is; a character code page 932 holds under another code
// point (the wave dash U+301C as other systems write it) becomes that one; a
// character it lacks, a broken sequence, an unpaired surrogate or a last odd
// byte of UTF-16 each become "〓". Any other file comes through untouched,
// piece by piece.
//
// Only the bytes before the first `end` byte decide (Ctrl-Z for a data file,
// NUL for a record: nothing after it is read as text). A file is decided at
// its first byte that cannot be UTF-8, or at its end: until then, the bytes
// from its first non-ASCII one on are held back. Code page 932 Japanese is
// decided within its first characters, so only files that are UTF-8 (or
// hold nothing that tells) are held whole.
//
// A file with a mark that holds `ownLine` at the start of a line (after CR
// or LF, before the first `end`) is one this program wrote in code page 932
// whose first line happens to begin with a mark's bytes: it is read byte for
// byte. Such a file is held whole until that is known.
std::unique_ptr<ByteSource> Cp932Text(std::unique_ptr<ByteSource> file, char end, const QByteArray &ownLine = {});

// The encodings Cp932Text tells apart.
enum class TextForm { Cp932, Utf8, Utf16Le, Utf16Be };
struct FileTextForm {
    TextForm form = TextForm::Cp932;
    qsizetype markSize = 0; // the byte order mark's bytes at the start
};
// How Cp932Text reads a whole file of these bytes (`end` as there).
FileTextForm DecideTextForm(QByteArrayView bytes, char end);

// `bytes` of a file in `form` (without its byte order mark) as Cp932Text
// gives them in code page 932.
QByteArray Cp932From(QByteArrayView bytes, TextForm form);

// `text` in `form`, without a byte order mark; ASCII byte for byte. Raises
// UnwritableCharacterError for a character code page 932 lacks (it takes
// those it holds under another code point, as Cp932Text reads them).
QByteArray EncodeText(const QString &text, TextForm form);

} // namespace absence
