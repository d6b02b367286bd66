#pragma once
// The record file's parts below its save and load: the last-update line and
// the splitting of the text into lines, for the core and for the tests and
// fuzz targets that check them.

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <functional>

namespace absence {

// "最終更新：" followed by the date-time text.
QByteArray MakeLastUpdateLine(const QDateTime &moment);
// Longer than eight bytes and starting with the bytes of "最終更新".
bool IsLastUpdateLine(const QByteArray &line);

// Splits a record file's text into lines as it arrives in pieces: CR LF, CR
// or LF end a line, the first NUL ends the text.
class RecordSplitter {
public:
    explicit RecordSplitter(std::function<void(QByteArrayView)> emitLine) : m_emit(std::move(emitLine)) { }
    void Feed(const char *data, size_t size);
    // A last line without a line end still counts.
    void Finish();

private:
    std::function<void(QByteArrayView)> m_emit;
    QByteArray m_line;
    bool m_afterCr = false;
    bool m_pending = false;
    bool m_ended = false;
};

// Splits a record file's bytes into lines (CR LF, CR or LF end a line; the
// first NUL ends the text).
QList<QByteArray> SplitRecordText(const QByteArray &bytes);

} // namespace absence
