#pragma once
// The reading of one data file, for the collection run and for the tests,
// benchmarks and fuzz targets that check it line by line.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <memory>

namespace absence {

class ByteSource;

// Reads a data file line by line, as code page 932 (a file in UTF-8 or UTF-16
// is converted, see Cp932Text). A line ends at CR, CR LF or LF; Ctrl-Z ends
// the file; a last line without terminator still counts. Raises InOutError:
// code 32 while another program holds the file open for writing, 5 for a
// link that someone else planted.
class DataFileReader {
public:
    explicit DataFileReader(const QString &path);
    ~DataFileReader();
    DataFileReader(const DataFileReader &) = delete;
    DataFileReader &operator=(const DataFileReader &) = delete;

    // False at end of file; otherwise the next line (without its terminator).
    bool ReadLine(QByteArray &line);
    void Close();

private:
    bool Fill();

    std::unique_ptr<ByteSource> m_text;
    bool m_open = false;
    QByteArrayView m_buf;
    qsizetype m_pos = 0;
    bool m_eof = false;
    bool m_skipLf = false; // a CR ended the last line; skip one LF after it
};

// Pads a one-digit hour: when the first ":" is the third byte, a "0" goes in
// after the first byte.
QByteArray NormaliseHour(const QByteArray &line);

// Every non-empty line of a data file, hour-normalised, in file order.
QList<QByteArray> ReadDataFile(const QString &path);

} // namespace absence
