// add N TEXT where the file is not the station's to write: a link someone
// else planted, a file another program keeps leased.

#include "support.h"

#include <QFile>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

using namespace testsupport;

namespace {

const QString Call = QStringLiteral("*08:15:00 2-2=8番 森 大翔 発熱のため欠席（母より）");

extern "C" void leaseBroken(int) {}

TEST(CliAdd, AnotherUsersLinkIsAccessDenied)
{
    DayDir dir;
    const QByteArray target = "*7:00:00 1-1=x\r\n";
    ASSERT_TRUE(dir.write("elsewhere.txt", target));
    ASSERT_TRUE(QFile::link(dir.file("elsewhere.txt"), dir.file(DataName(5))));
    if (::lchown(QFile::encodeName(dir.file(DataName(5))).constData(), Nobody, Nogroup) != 0)
        GTEST_SKIP() << "needs root to give the link to another user";
    const CliResult r = RunDay(dir, {"add", "5", Call});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errText(), QStringLiteral("ﾌｧｲﾙへのｱｸｾｽが拒否されました.\n"));
    EXPECT_EQ(dir.read("elsewhere.txt"), target);
}

TEST(CliAdd, AFileHeldPastAFewSecondsIsTheSharingError)
{
    const int breakTime = QByteArray(ReadFile("/proc/sys/fs/lease-break-time").trimmed()).toInt();
    if (breakTime < 10)
        GTEST_SKIP() << "the kernel's lease-break-time is " << breakTime << " s, less than the wait";
    DayDir dir;
    const QByteArray old = "*7:00:00 1-1=x\r\n";
    ASSERT_TRUE(dir.write(DataName(6), old));
    // A read lease that is not let go when broken, as a hung reader's.
    struct sigaction quiet {}, before {};
    quiet.sa_handler = leaseBroken;
    ASSERT_EQ(::sigaction(SIGIO, &quiet, &before), 0);
    const int held = ::open(QFile::encodeName(dir.file(DataName(6))).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    if (::fcntl(held, F_SETLEASE, F_RDLCK) != 0) {
        ::close(held);
        ::sigaction(SIGIO, &before, nullptr);
        GTEST_SKIP() << "no leases on this file system";
    }
    const CliResult r = RunDay(dir, {"add", "6", Call});
    ::close(held);
    ::sigaction(SIGIO, &before, nullptr);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errText(), QStringLiteral("I/O ｴﾗｰ (32)\n"));
    EXPECT_EQ(dir.read(DataName(6)), old);
    // Let go, the same call goes through.
    EXPECT_EQ(RunDay(dir, {"add", "6", Call}).exitCode, 0);
    EXPECT_EQ(dir.read(DataName(6)), old + Sj(Call) + "\r\n");
}

} // namespace
