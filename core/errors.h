#pragma once
// The errors the core raises. Each carries the message text the operator sees;
// the windows and the command-line front end show it through one report path.

#include <QString>
#include <stdexcept>

namespace absence {

class AbsenceError : public std::runtime_error {
public:
    explicit AbsenceError(const QString &message);
    QString message() const { return m_message; }

private:
    QString m_message;
};

// "ﾘｽﾄのｲﾝﾃﾞｯｸｽが範囲を超えています (%d)"
class ListIndexError : public AbsenceError {
public:
    explicit ListIndexError(qsizetype index);
    qsizetype index() const { return m_index; }

private:
    qsizetype m_index;
};

// "行を挿入できません"
class LineInsertError : public AbsenceError {
public:
    LineInsertError();
};

// An I/O error of the collection run, carrying the program's error code.
class InOutError : public AbsenceError {
public:
    explicit InOutError(int code);
    int code() const { return m_code; }

private:
    int m_code;
};

// "ﾌｧｲﾙ %s を作成できません"
class FileCreateError : public AbsenceError {
public:
    explicit FileCreateError(const QString &path);
};

// "ﾌｧｲﾙ %s は開けません"
class FileOpenError : public AbsenceError {
public:
    explicit FileOpenError(const QString &path);
};

// "ｽﾄﾘｰﾑへの書き込みｴﾗｰ"
class WriteError : public AbsenceError {
public:
    WriteError();
};

// A text that cannot be one line of a data file.
class LineTextError : public AbsenceError {
public:
    using AbsenceError::AbsenceError;
};

// A character that code page 932 lacks, in a line to be written:
// "「𠮷」(U+20BB7) はコードページ 932 にない文字です"
class UnwritableCharacterError : public AbsenceError {
public:
    explicit UnwritableCharacterError(const QString &character);
};

// A station's file that a line added to it would not be read from: it
// holds a Ctrl-Z, where reading ends.
class EndMarkError : public AbsenceError {
public:
    explicit EndMarkError(const QString &path);
};

// A line to take back that the station's file no longer holds.
class LineGoneError : public AbsenceError {
public:
    LineGoneError();
};

// The I/O error code of a file that another program holds open.
constexpr int SharingViolationCode = 32;
// The I/O error code of a file the operator may not use.
constexpr int AccessDeniedCode = 5;

// The message text of an I/O error code.
QString IoErrorText(int code);

// The text shown for an error: a "." is appended when the text's last
// character, as code page 932 bytes, sorts after "." byte by byte.
QString ErrorReportText(const QString &message);

} // namespace absence
