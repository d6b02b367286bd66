#pragma once
// Files the program writes beside the day's files (a PDF of the list, a
// table of the day): written as the record is, so that a station that may
// write the folder cannot turn the write elsewhere. The folder is opened by
// handle; a link is followed only when it is the operator's or the folder
// owner's, and then written through to its target; the new file takes the
// name only once it is complete, and nothing is left of a failed write.

#include <QByteArrayView>
#include <QString>

namespace absence {

// Writes `bytes` as the whole file at `path` (a full path). Raises
// FileCreateError with the path when the file cannot be made or put in
// place (another user's link included), WriteError when the bytes could not
// be written or are not known to be on the disk.
void WriteOutputFile(const QString &path, QByteArrayView bytes);

} // namespace absence
