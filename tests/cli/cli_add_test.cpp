// add N TEXT: one line at the end of a station's data file, in the file's own
// encoding, or nothing at all.

#include "cli_data.h"

#include <QFileInfo>
#include <gtest/gtest.h>

#include <optional>

using namespace testsupport;

namespace {

const QString Call = QStringLiteral("*08:15:00 2-2=8番 森 大翔 発熱のため欠席（母より）");
const QByteArray Bom8 = "\xEF\xBB\xBF", Bom16 = "\xFF\xFE";

QByteArray Utf16(const QString &text)
{
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

struct AddCase {
    const char *name;
    std::optional<QByteArray> before; // the file A3 beforehand, or none
    QStringList args;                 // after "add"
    int exitCode;
    QString err;                      // standard error, or its first line for a usage error
    std::optional<QByteArray> after;  // A3 afterwards; none: as before
    QString file = DataName(3);       // the name A3 has in the folder
};

TEST(CliAdd, OneLineInTheFilesOwnEncodingOrNothing)
{
    const QByteArray old = Sj(QStringLiteral("*07:05:00 2-1=山田 太郎 発熱のため欠席")) + "\r\n";
    const QString oldText = QStringLiteral("#07:31:00 3-2=中村 葵 頭痛のため遅刻");
    const QString usage = QStringLiteral("absence-collector-cli: add: ");
    const std::vector<AddCase> cases = {
        {"a new file is code page 932 with CR LF", std::nullopt, {"3", Call}, 0, "", Sj(Call) + "\r\n"},
        {"after the last line end", old, {"3", Call}, 0, "", old + Sj(Call) + "\r\n"},
        {"a last line without its end gets one first", old + "#7:00", {"3", Call}, 0, "",
         old + "#7:00\r\n" + Sj(Call) + "\r\n"},
        {"an LF is a line end", "#7:00\n", {"3", Call}, 0, "", "#7:00\n" + Sj(Call) + "\r\n"},
        {"an ASCII file is code page 932", "*7:00:00 1-1=x\r\n", {"3", Call}, 0, "",
         "*7:00:00 1-1=x\r\n" + Sj(Call) + "\r\n"},
        {"UTF-8 with a mark stays UTF-8", Bom8 + oldText.toUtf8() + "\r\n", {"3", Call}, 0, "",
         Bom8 + (oldText + "\r\n" + Call + "\r\n").toUtf8()},
        {"UTF-8 without a mark stays UTF-8", oldText.toUtf8(), {"3", Call}, 0, "",
         (oldText + "\r\n" + Call + "\r\n").toUtf8()},
        {"UTF-16 LE stays UTF-16 LE", Bom16 + Utf16(oldText), {"3", Call}, 0, "",
         Bom16 + Utf16(oldText + "\r\n" + Call + "\r\n")},
        {"a character code page 932 lacks goes into UTF-8", oldText.toUtf8(), {"3", "*08:20:00 1-1=𠮷田"}, 0, "",
         (oldText + "\r\n*08:20:00 1-1=𠮷田\r\n").toUtf8()},
        {"the wave dash as other systems write it", std::nullopt, {"3", "*8:00:00 1-1=\u301C"}, 0, "",
         QByteArray("*8:00:00 1-1=\x81\x60\r\n")},
        {"the name in another case is the file", old, {"3", Call}, 0, "", old + Sj(Call) + "\r\n",
         DayFile("a3.txt")},
        {"a character code page 932 lacks", old, {"3", "*08:20:00 1-1=𠮷田"}, 1,
         "「𠮷」(U+20BB7) はコードページ 932 にない文字です.\n", std::nullopt},
        {"no new file for a character code page 932 lacks", std::nullopt, {"3", "*08:20:00 1-1=𠮷田"}, 1,
         "「𠮷」(U+20BB7) はコードページ 932 にない文字です.\n", std::nullopt},
        {"a Ctrl-Z in the file", old + "\x1a", {"3", Call}, 1,
         "ﾌｧｲﾙ %1 には Ctrl-Z (ﾌｧｲﾙの終わり) があり、その後に書いた行は集積されません.\n", std::nullopt},
        {"file number 10", old, {"10", Call}, 2, usage + "not a data file number (0 to 9): 10", std::nullopt},
        {"file number x", old, {"x", Call}, 2, usage + "not a data file number (0 to 9): x", std::nullopt},
        {"no line", old, {"3"}, 2, "absence-collector-cli: add needs a data file number (0 to 9) and a line",
         std::nullopt},
        {"an empty line", old, {"3", ""}, 2, usage + "the line is empty", std::nullopt},
        {"a CR", old, {"3", "*8:00\r*9:00"}, 2, usage + "the line holds a CR: it must be one line", std::nullopt},
        {"an LF", old, {"3", "*8:00\n*9:00"}, 2, usage + "the line holds an LF: it must be one line", std::nullopt},
        {"a Ctrl-Z", old, {"3", "*8:00\x1a"}, 2, usage + "the line holds a Ctrl-Z, where reading a data file ends",
         std::nullopt},
    };
    for (const AddCase &c : cases) {
        SCOPED_TRACE(c.name);
        DayDir dir;
        if (c.before) {
            ASSERT_TRUE(dir.write(c.file, *c.before));
        }
        const QStringList before = dir.entries();
        const CliResult r = RunDay(dir, QStringList{"add"} + c.args);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_TRUE(r.out.isEmpty());
        if (c.exitCode == 2) {
            EXPECT_EQ(r.errText().section('\n', 0, 0), c.err);
        } else {
            EXPECT_EQ(r.errText(), c.err.contains("%1") ? c.err.arg(dir.file(c.file)) : c.err);
        }
        if (c.after) {
            EXPECT_EQ(dir.read(c.file), *c.after);
            EXPECT_EQ(dir.entries().size(), before.size() + (c.before ? 0 : 1)) << "one file, the station's";
        } else {
            EXPECT_EQ(dir.entries(), before);
            if (c.before) {
                EXPECT_EQ(dir.read(c.file), *c.before);
            }
        }
    }
}

TEST(CliAdd, ADirectoryInPlaceOfTheFileIsAccessDenied)
{
    DayDir dir;
    ASSERT_TRUE(dir.makeDir(DataName(4)));
    const CliResult r = RunDay(dir, {"add", "4", Call});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errText(), QStringLiteral("ﾌｧｲﾙへのｱｸｾｽが拒否されました.\n"));
    EXPECT_TRUE(QFileInfo(dir.file(DataName(4))).isDir());
}

TEST(CliAdd, AddedLinesAreCollected)
{
    DayDir dir;
    for (const QString &line : {Call, QStringLiteral("#7:31:00 3-2=中村 葵 頭痛のため遅刻")})
        ASSERT_EQ(RunDay(dir, {"add", "0", line}).exitCode, 0);
    const CliResult r = RunDay(dir, {"collect", "time", "print"});
    EXPECT_EQ(r.outLines(), QStringList({"#07:31:00 3-2=中村 葵 頭痛のため遅刻", Call}));
}

} // namespace
