#include "files.h"
#include "files_p.h"

#include "errors.h"

#include <algorithm>

namespace absence {

namespace {

class FileBytes : public ByteSource {
public:
    FileBytes(std::unique_ptr<platform::InputFile> file, qint64 pieceSize)
        : m_file(std::move(file)), m_pieceSize(pieceSize)
    {
    }

    bool Next(QByteArrayView &piece) override
    {
        // Not cleared first: only what a read fills is ever looked at.
        if (!m_buffer)
            m_buffer.reset(new char[size_t(m_pieceSize)]);
        const qint64 n = m_file->Read(m_buffer.get(), m_pieceSize);
        if (n < 0)
            return false;
        piece = QByteArrayView(m_buffer.get(), n);
        return true;
    }
    int errorCode() const override { return m_file->errorCode(); }
    qint64 size() const override { return m_file->size(); }
    bool Close() override { return m_file->Close(); }

private:
    std::unique_ptr<platform::InputFile> m_file;
    qint64 m_pieceSize;
    std::unique_ptr<char[]> m_buffer;
};

class SystemRecordWriter : public RecordWriter {
public:
    explicit SystemRecordWriter(const QString &path) : m_replacement(path) { }
    bool ready() const override { return m_replacement.ready(); }
    bool Write(const char *data, qint64 size) override { return m_replacement.Write(data, size); }
    Result Commit() override { return m_replacement.Commit(); }

private:
    platform::RecordReplacement m_replacement;
};

class SystemFileSystem : public FileSystem {
public:
    QString CurrentDirectory() const override { return platform::CurrentDirectory(); }
    bool IsDirectory(const QString &path) const override { return platform::IsDirectory(path); }
    platform::EntryLookup LookUpEntry(const QString &path) const override { return platform::LookUpEntry(path); }
    qint64 RegularFileSize(const QString &path) const override { return platform::RegularFileSize(path); }

    OpenedFile Open(const QString &path, platform::Sharing sharing, qint64 pieceSize) const override
    {
        auto file = std::make_unique<platform::InputFile>(path, sharing);
        OpenedFile opened;
        opened.outcome = file->outcome();
        opened.errorCode = file->errorCode();
        if (opened.outcome == platform::InputFile::Outcome::Opened)
            opened.bytes = std::make_unique<FileBytes>(std::move(file), pieceSize);
        return opened;
    }

    std::unique_ptr<RecordWriter> ReplaceRecord(const QString &path) const override
    {
        return std::make_unique<SystemRecordWriter>(path);
    }
};

std::shared_ptr<const FileSystem> &installed()
{
    static std::shared_ptr<const FileSystem> files = systemFileSystem();
    return files;
}

} // namespace

void CommitOrThrow(RecordWriter &writer, const QString &path)
{
    switch (writer.Commit()) {
    case RecordWriter::Result::Done:
        return;
    case RecordWriter::Result::CannotCreate:
        throw FileCreateError(path);
    case RecordWriter::Result::WriteFailed:
        throw WriteError();
    }
}

const FileSystem &fileSystem()
{
    return *installed();
}

void setFileSystem(std::shared_ptr<const FileSystem> files)
{
    installed() = files ? std::move(files) : systemFileSystem();
}

std::shared_ptr<const FileSystem> systemFileSystem()
{
    static const std::shared_ptr<const FileSystem> files = std::make_shared<SystemFileSystem>();
    return files;
}

bool MemoryBytes::Next(QByteArrayView &piece)
{
    const qint64 left = m_bytes.size() - m_at;
    piece = QByteArrayView(m_bytes).sliced(m_at, m_piece > 0 ? std::min(m_piece, left) : left);
    m_at += piece.size();
    return true;
}

} // namespace absence
