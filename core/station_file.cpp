#include "station_file.h"

#include "collection.h"
#include "collection_p.h"
#include "day_files.h"
#include "day_files_p.h"
#include "errors.h"
#include "files.h"
#include "text_encoding.h"

#include <QtEndian>

#include <memory>

namespace absence {

namespace {

constexpr char CtrlZ = '\x1a';

// A file's text unit by unit: a byte, or two for UTF-16.
struct Units {
    QByteArrayView body;
    TextForm form;

    qsizetype width() const { return form == TextForm::Utf16Le || form == TextForm::Utf16Be ? 2 : 1; }
    qsizetype count() const { return body.size() / width(); }
    char16_t at(qsizetype i) const
    {
        if (width() == 1)
            return uchar(body[i]);
        const char *p = body.data() + 2 * i;
        return form == TextForm::Utf16Le ? qFromLittleEndian<quint16>(p) : qFromBigEndian<quint16>(p);
    }
};

// The day's data file `digit`, as the collection finds it; empty when absent.
QString findDataFile(const QDate &day, int digit)
{
    if (digit < 0 || digit > 9)
        throw LineTextError(QStringLiteral("the data file number must be 0 to 9: %1").arg(digit));
    const QString path = DataFilePath(day, digit);
    const platform::EntryLookup found = LookUpDayFile(path);
    switch (found.result) {
    case platform::EntryLookup::Result::Found:
        return found.path;
    case platform::EntryLookup::Result::Absent:
        return QString();
    case platform::EntryLookup::Result::Unknown:
        break;
    }
    throw InOutError(found.errorCode);
}

void throwOpenFailure(platform::InputFile::Outcome outcome, int code)
{
    switch (outcome) {
    case platform::InputFile::Outcome::Shared:
        throw InOutError(SharingViolationCode);
    case platform::InputFile::Outcome::ForeignLink:
        throw InOutError(AccessDeniedCode);
    default:
        throw InOutError(code);
    }
}

} // namespace

QString LineTextFault(const QString &text)
{
    if (text.isEmpty())
        return QStringLiteral("the line is empty");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\r':
            return QStringLiteral("the line holds a CR: it must be one line");
        case u'\n':
            return QStringLiteral("the line holds an LF: it must be one line");
        case u'\0':
            return QStringLiteral("the line holds a NUL byte");
        case u'\x1a':
            return QStringLiteral("the line holds a Ctrl-Z, where reading a data file ends");
        default:
            break;
        }
    }
    return QString();
}

void AppendDataLine(const QDate &day, int digit, const QString &text)
{
    const QString fault = LineTextFault(text);
    if (!fault.isEmpty())
        throw LineTextError(fault);
    QString path = findDataFile(day, digit);
    // Without a readable working directory (removed while the program ran)
    // the path would point elsewhere: name only the file.
    if (path.isEmpty() && !fileSystem().IsDirectory(WorkingDirectory()))
        throw FileCreateError(DataFileName(day, digit));
    if (path.isEmpty()) {
        // A new file is code page 932: a character it lacks must stop the
        // call before the file is made.
        EncodeText(text, TextForm::Cp932);
        path = DataFilePath(day, digit);
    }
    // Again only when a rewrite of the file took it away meanwhile.
    for (int attempt = 0; attempt < 3; ++attempt) {
        platform::AppendFile file(path);
        if (file.outcome() != platform::AppendFile::Outcome::Opened)
            throwOpenFailure(file.outcome(), file.errorCode());
        QByteArray bytes;
        if (!file.ReadAll(bytes))
            throw InOutError(file.errorCode());
        const FileTextForm form = DecideTextForm(bytes, CtrlZ);
        const Units units{QByteArrayView(bytes).sliced(form.markSize), form.form};
        for (qsizetype i = 0; i < units.count(); ++i) {
            if (units.at(i) == CtrlZ)
                throw EndMarkError(path);
        }
        const char16_t last = units.count() > 0 ? units.at(units.count() - 1) : u'\n';
        QString line = last == u'\r' || last == u'\n' ? QString() : QStringLiteral("\r\n");
        line += text;
        line += QStringLiteral("\r\n");
        bool replaced = false;
        if (!file.Append(EncodeText(line, form.form), replaced))
            throw InOutError(file.errorCode());
        if (!replaced)
            return;
    }
    throw InOutError(SharingViolationCode);
}

QList<QByteArray> ReadStationLines(const QDate &day, int digit)
{
    const QString path = findDataFile(day, digit);
    return path.isEmpty() ? QList<QByteArray>() : ReadDataFile(path);
}

void TakeBackDataLine(const QDate &day, int digit, const QByteArray &line)
{
    const QString path = findDataFile(day, digit);
    if (path.isEmpty())
        throw LineGoneError();
    const QByteArray wanted = NormaliseHour(line);
    // Read again when a station wrote between the read and the rewrite.
    for (int attempt = 0; attempt < 3; ++attempt) {
        OpenedFile opened = fileSystem().Open(path, platform::Sharing::Readers, 64 * 1024);
        if (opened.outcome == platform::InputFile::Outcome::Absent)
            throw LineGoneError();
        if (opened.outcome != platform::InputFile::Outcome::Opened)
            throwOpenFailure(opened.outcome, opened.errorCode);
        QByteArray bytes;
        for (QByteArrayView piece;;) {
            if (!opened.bytes->Next(piece))
                throw InOutError(opened.bytes->errorCode());
            if (piece.isEmpty())
                break;
            bytes += piece;
        }
        opened.bytes->Close();
        const platform::EntryStamp stamp = platform::ReadEntryStamp(path);

        // The lines as the collection reads them, each with its line end.
        const FileTextForm form = DecideTextForm(bytes, CtrlZ);
        const Units units{QByteArrayView(bytes).sliced(form.markSize), form.form};
        qsizetype cutFrom = -1, cutTo = -1;
        const qsizetype n = units.count();
        const auto ends = [&](qsizetype i) {
            const char16_t u = units.at(i);
            return u == u'\r' || u == u'\n' || u == CtrlZ;
        };
        for (qsizetype start = 0; start < n && units.at(start) != CtrlZ;) {
            qsizetype i = start;
            while (i < n && !ends(i))
                ++i;
            qsizetype next = i;
            if (i < n && units.at(i) != CtrlZ) {
                next = i + 1;
                if (units.at(i) == u'\r' && next < n && units.at(next) == u'\n')
                    ++next;
            }
            if (i > start) {
                const QByteArrayView piece = units.body.sliced(start * units.width(), (i - start) * units.width());
                if (NormaliseHour(Cp932From(piece, form.form)) == wanted) {
                    cutFrom = start;
                    cutTo = next;
                }
            }
            if (i < n && units.at(i) == CtrlZ)
                break;
            start = next;
        }
        if (cutFrom < 0)
            throw LineGoneError();
        QByteArray rewritten = bytes.left(form.markSize + cutFrom * units.width());
        rewritten += QByteArrayView(bytes).sliced(form.markSize + cutTo * units.width());

        const std::unique_ptr<RecordWriter> replacement = fileSystem().ReplaceRecord(path);
        if (!replacement->ready())
            throw FileCreateError(path);
        if (platform::ReadEntryStamp(path) != stamp)
            continue;
        if (!replacement->Write(rewritten.constData(), rewritten.size()))
            throw WriteError();
        switch (replacement->Commit()) {
        case platform::RecordReplacement::Result::Done:
            return;
        case platform::RecordReplacement::Result::CannotCreate:
            throw FileCreateError(path);
        case platform::RecordReplacement::Result::WriteFailed:
            throw WriteError();
        }
    }
    throw FileCreateError(path);
}

} // namespace absence
