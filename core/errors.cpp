#include "errors.h"

#include "services.h"

namespace absence {

AbsenceError::AbsenceError(const QString &message) : std::runtime_error(message.toStdString()), m_message(message)
{
}

ListIndexError::ListIndexError(qsizetype index)
    : AbsenceError(QStringLiteral("ﾘｽﾄのｲﾝﾃﾞｯｸｽが範囲を超えています (%1)").arg(index)), m_index(index)
{
}

LineInsertError::LineInsertError() : AbsenceError(QStringLiteral("行を挿入できません"))
{
}

InOutError::InOutError(int code) : AbsenceError(IoErrorText(code)), m_code(code)
{
}

FileCreateError::FileCreateError(const QString &path)
    : AbsenceError(QStringLiteral("ﾌｧｲﾙ %1 を作成できません").arg(path))
{
}

FileOpenError::FileOpenError(const QString &path) : AbsenceError(QStringLiteral("ﾌｧｲﾙ %1 は開けません").arg(path))
{
}

namespace {

QString describeCharacter(const QString &character)
{
    const QList<uint> points = character.toUcs4();
    const uint point = points.isEmpty() ? 0 : points.front();
    return QStringLiteral("「%1」(U+%2)")
        .arg(character, QString::number(point, 16).toUpper().rightJustified(4, QLatin1Char('0')));
}

} // namespace

UnwritableCharacterError::UnwritableCharacterError(const QString &character)
    : AbsenceError(QStringLiteral("%1 はコードページ 932 にない文字です").arg(describeCharacter(character)))
{
}

EndMarkError::EndMarkError(const QString &path)
    : AbsenceError(
          QStringLiteral("ﾌｧｲﾙ %1 には Ctrl-Z (ﾌｧｲﾙの終わり) があり、その後に書いた行は集積されません").arg(path))
{
}

LineGoneError::LineGoneError() : AbsenceError(QStringLiteral("その行はもうﾌｧｲﾙにありません"))
{
}

WriteError::WriteError() : AbsenceError(QStringLiteral("ｽﾄﾘｰﾑへの書き込みｴﾗｰ"))
{
}

QString IoErrorText(int code)
{
    switch (code) {
    case 2:
        return QStringLiteral("ﾌｧｲﾙが見つかりません");
    case 3:
        return QStringLiteral("不正なﾌｧｲﾙ名です");
    case 4:
        return QStringLiteral("ｵｰﾌﾟﾝしたﾌｧｲﾙが多すぎます");
    case 5:
        return QStringLiteral("ﾌｧｲﾙへのｱｸｾｽが拒否されました");
    case 100:
        return QStringLiteral("ﾌｧｲﾙの末尾以降を読み込みました");
    case 101:
        return QStringLiteral("ﾃﾞｨｽｸがいっぱいです");
    case 106:
        return QStringLiteral("入力値が数値ではありません");
    default:
        return QStringLiteral("I/O ｴﾗｰ (%1)").arg(code);
    }
}

QString ErrorReportText(const QString &message)
{
    if (message.isEmpty())
        return message;
    // Compare the last whole character as code page 932 bytes with ".".
    const QString last = message.back().isLowSurrogate() && message.size() >= 2 ? message.right(2) : message.right(1);
    const QByteArray bytes = ToCp932(last);
    if (bytes > QByteArrayLiteral("."))
        return message + QLatin1Char('.');
    return message;
}

} // namespace absence
