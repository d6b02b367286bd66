#pragma once
// The file system as the core uses it: the working directory, finding the
// day's files, reading them in pieces, and putting a new record in place.
// The program's is the operating system's (core/platform); the fuzz targets
// install a day held in memory, so that collection, save and load run the
// same code a thousand times a second without a disk.

#include "platform/platform.h"

#include <QByteArrayView>
#include <QString>
#include <memory>

namespace absence {

// The bytes a reader takes, piece by piece.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // The next piece, valid until the next call; empty at the end. False when
    // reading failed (errorCode() then).
    virtual bool Next(QByteArrayView &piece) = 0;
    // The I/O error code of the last failure.
    virtual int errorCode() const = 0;
    // The number of bytes when known, else -1; only a hint for storage.
    virtual qint64 size() const = 0;
    // Releases what the bytes come from; false when that failed.
    virtual bool Close() = 0;
};

// A day's file opened for reading: how the open went and, when it was
// opened, its bytes.
struct OpenedFile {
    platform::InputFile::Outcome outcome = platform::InputFile::Outcome::Failed;
    int errorCode = 0;
    std::unique_ptr<ByteSource> bytes;
};

// A new record written beside the old one and put in its place when complete
// (platform::RecordReplacement tells how).
class RecordWriter {
public:
    using Result = platform::RecordReplacement::Result;
    virtual ~RecordWriter() = default;
    virtual bool ready() const = 0;
    virtual bool Write(const char *data, qint64 size) = 0;
    virtual Result Commit() = 0;
};

// Commits `writer`; raises FileCreateError with `path` when the new file
// could not take its place, WriteError when it is not known to be on the
// disk (also when it is in place: nobody may be told it is saved).
void CommitOrThrow(RecordWriter &writer, const QString &path);

// What each call means is told at its namesake in platform.h.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    virtual QString CurrentDirectory() const = 0;
    virtual bool IsDirectory(const QString &path) const = 0;
    virtual platform::EntryLookup LookUpEntry(const QString &path) const = 0;
    virtual qint64 RegularFileSize(const QString &path) const = 0;
    // Read `pieceSize` bytes at a time.
    virtual OpenedFile Open(const QString &path, platform::Sharing sharing, qint64 pieceSize) const = 0;
    virtual std::unique_ptr<RecordWriter> ReplaceRecord(const QString &path) const = 0;
};

// The file system in use: the operating system's unless another is set.
const FileSystem &fileSystem();
// Null puts the operating system's back.
void setFileSystem(std::shared_ptr<const FileSystem> files);
// The operating system's, whichever is in use: for one that changes only a
// part of it.
std::shared_ptr<const FileSystem> systemFileSystem();

} // namespace absence
