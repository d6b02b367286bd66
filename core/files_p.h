#pragma once
// What the core's readers share with the fuzz targets and the benchmarks:
// bytes held in memory, read as a file's are.

#include "files.h"

#include <QByteArray>
#include <utility>

namespace absence {

// The bytes handed out `piece` at a time (0: all at once), then the end.
class MemoryBytes : public ByteSource {
public:
    explicit MemoryBytes(QByteArray bytes, qint64 piece = 0) : m_bytes(std::move(bytes)), m_piece(piece) { }
    bool Next(QByteArrayView &piece) override;
    int errorCode() const override { return 0; }
    qint64 size() const override { return m_bytes.size(); }
    bool Close() override { return true; }

private:
    QByteArray m_bytes;
    qint64 m_piece;
    qint64 m_at = 0;
};

} // namespace absence
