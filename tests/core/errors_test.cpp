// Error texts and the "." rule of the error report.

#include "errors.h"
#include "support.h"

using namespace absence;
using namespace testsupport;

TEST(Errors, MessageTexts)
{
    EXPECT_EQ(ListIndexError(7).message(), QString::fromUtf8("ﾘｽﾄのｲﾝﾃﾞｯｸｽが範囲を超えています (7)"));
    EXPECT_EQ(ListIndexError(-1).message(), QString::fromUtf8("ﾘｽﾄのｲﾝﾃﾞｯｸｽが範囲を超えています (-1)"));
    EXPECT_EQ(ListIndexError(7).index(), 7);
    EXPECT_EQ(LineInsertError().message(), QString::fromUtf8("行を挿入できません"));
    EXPECT_EQ(FileCreateError("/w/" + RecordName()).message(),
              QString::fromUtf8("ﾌｧｲﾙ /w/%1 を作成できません").arg(RecordName()));
    EXPECT_EQ(FileOpenError("/w/x.TXT").message(), QString::fromUtf8("ﾌｧｲﾙ /w/x.TXT は開けません"));
    EXPECT_EQ(WriteError().message(), QString::fromUtf8("ｽﾄﾘｰﾑへの書き込みｴﾗｰ"));
}

TEST(Errors, IoErrorTexts)
{
    EXPECT_EQ(IoErrorText(2), QString::fromUtf8("ﾌｧｲﾙが見つかりません"));
    EXPECT_EQ(IoErrorText(3), QString::fromUtf8("不正なﾌｧｲﾙ名です"));
    EXPECT_EQ(IoErrorText(4), QString::fromUtf8("ｵｰﾌﾟﾝしたﾌｧｲﾙが多すぎます"));
    EXPECT_EQ(IoErrorText(5), QString::fromUtf8("ﾌｧｲﾙへのｱｸｾｽが拒否されました"));
    EXPECT_EQ(IoErrorText(100), QString::fromUtf8("ﾌｧｲﾙの末尾以降を読み込みました"));
    EXPECT_EQ(IoErrorText(101), QString::fromUtf8("ﾃﾞｨｽｸがいっぱいです"));
    EXPECT_EQ(IoErrorText(106), QString::fromUtf8("入力値が数値ではありません"));
    EXPECT_EQ(IoErrorText(32), QString::fromUtf8("I/O ｴﾗｰ (32)"));
    EXPECT_EQ(InOutError(5).message(), IoErrorText(5));
    EXPECT_EQ(InOutError(5).code(), 5);
}

TEST(Errors, ReportAddsAFullStopAfterTextsEndingAboveIt)
{
    // Japanese endings (lead bytes 0x81 and up) and letters get a "."
    EXPECT_EQ(ErrorReportText(QString::fromUtf8("ﾌｧｲﾙが見つかりません")),
              QString::fromUtf8("ﾌｧｲﾙが見つかりません."));
    EXPECT_EQ(ErrorReportText(QString::fromUtf8("ｽﾄﾘｰﾑへの書き込みｴﾗｰ")),
              QString::fromUtf8("ｽﾄﾘｰﾑへの書き込みｴﾗｰ."));
    EXPECT_EQ(ErrorReportText("abc"), QStringLiteral("abc."));
    EXPECT_EQ(ErrorReportText("abc/"), QStringLiteral("abc/."));
    // ")" "!" and "." itself sort at or before "." and get nothing.
    EXPECT_EQ(ErrorReportText(ListIndexError(0).message()), ListIndexError(0).message());
    EXPECT_EQ(ErrorReportText("abc!"), QStringLiteral("abc!"));
    EXPECT_EQ(ErrorReportText("abc."), QStringLiteral("abc."));
    EXPECT_EQ(ErrorReportText(""), QString());
}
