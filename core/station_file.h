#pragma once
// A station's side of a day's data file: a line added at its end, the lines
// read back, and a line taken back out.

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

namespace absence {

// Why `text` cannot be a line of a data file (empty, or holding a CR, LF,
// NUL or Ctrl-Z); empty when it can.
QString LineTextFault(const QString &text);

// Appends `text` as one line to data file `digit` (0..9) of `day`,
// found as the collection finds it (whatever the case of its name) and made
// when absent. One write, synced to the disk: in code page 932 with CR LF for
// a new or code page 932 file, in the file's own encoding for a UTF-8 or
// UTF-16 one, after a CR LF when the file does not end with a line end.
// Raises LineTextError for a text LineTextFault refuses,
// UnwritableCharacterError, EndMarkError, FileCreateError (no working
// directory to make the file in), and InOutError (32 while another program
// holds the file for more than a few seconds, 5 for a link someone else
// planted).
void AppendDataLine(const QDate &day, int digit, const QString &text);

// The lines of data file `digit` of `day` as the collection reads them,
// in file order; none when it is absent. Raises InOutError.
QList<QByteArray> ReadStationLines(const QDate &day, int digit);

// Takes the last line that reads as `line` out of data file `digit` of `day`: the
// file is rewritten without it by the record's replacement, in its own
// encoding, and is never neither the old nor the new file. Raises
// LineGoneError, InOutError (the file held while it is read),
// FileCreateError (held, or no new file) and WriteError.
void TakeBackDataLine(const QDate &day, int digit, const QByteArray &line);

} // namespace absence
