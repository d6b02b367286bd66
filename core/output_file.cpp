#include "output_file.h"

#include "errors.h"
#include "files.h"

#include <QDir>

namespace absence {

void WriteOutputFile(const QString &path, QByteArrayView bytes)
{
    const QString shown = QDir::toNativeSeparators(path);
    const std::unique_ptr<RecordWriter> replacement = fileSystem().ReplaceRecord(path);
    if (!replacement->ready())
        throw FileCreateError(shown);
    if (!bytes.isEmpty() && !replacement->Write(bytes.data(), bytes.size()))
        throw WriteError();
    CommitOrThrow(*replacement, shown);
}

} // namespace absence
