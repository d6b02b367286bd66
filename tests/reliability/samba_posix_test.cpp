// The office as it runs: a real smbd on the loopback address shares the folder
// with a station account, and the operator, another unprivileged member of the
// folder's group, collects the day with a plain copy of the front end while
// the station still has a file open over SMB. The front end holds no
// capability: a copy of the lease helper beside it holds CAP_LEASE, and only
// a group of the test's own may run it.

#include "day_data.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <memory>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace testsupport;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

const QString Python = "/usr/bin/python3"; // Debian's, which has smbc

// The station: libsmbclient opens the file as a PC's redirector would, writes
// it (or reads a byte) and keeps it open until its standard input ends.
const char StationScript[] = R"(
import os, smbc, sys
url, mode, data, user, password = sys.argv[1:]
ctx = smbc.Context(auth_fn=lambda *a: ('WORKGROUP', user, password))
if mode == 'write':
    f = ctx.open(url, os.O_CREAT | os.O_WRONLY | os.O_TRUNC, 0o664)
    f.write(bytes.fromhex(data))
else:
    f = ctx.open(url, os.O_RDONLY)
    f.read(1)
print('ready', flush=True)
sys.stdin.read()
f.close()
)";

// smbd in a session of its own, stopped through its process group. `smbd -F`
// ends when its standard input does, so a pipe to it stays open; and it needs
// --no-process-group there (its own setsid fails), after which it signals its
// whole group when it stops: that group holds smbd and its workers only.
class Smbd {
public:
    Smbd(const QString &smbd, const QString &conf, const QString &output)
    {
        const QByteArray program = QFile::encodeName(smbd), confPath = QFile::encodeName(conf);
        const char *argv[] = {program.constData(), "-F", "--no-process-group", "-s", confPath.constData(), nullptr};
        int in[2];
        const int out = ::open(QFile::encodeName(output).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (out < 0 || ::pipe2(in, O_CLOEXEC) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::setsid();
            ::dup2(in[0], 0);
            ::dup2(out, 1);
            ::dup2(out, 2);
            ::execv(argv[0], const_cast<char **>(argv));
            ::_exit(127);
        }
        m_group = m_pid;
        m_in = in[1];
        ::close(in[0]);
        ::close(out);
    }
    // SIGTERM to the group, a deadline, then SIGKILL; its exited workers count
    // until they are reaped.
    ~Smbd()
    {
        if (m_in >= 0)
            ::close(m_in);
        const auto gone = [&] { return !Running() && (m_group <= 1 || ::kill(-m_group, 0) != 0); };
        for (const int sig : {SIGTERM, SIGKILL}) {
            if (!gone())
                ::kill(-m_group, sig);
            for (const auto until = Clock::now() + 10s; !gone() && Clock::now() < until;)
                std::this_thread::sleep_for(20ms);
        }
    }
    Smbd(const Smbd &) = delete;
    Smbd &operator=(const Smbd &) = delete;

    bool Running()
    {
        int status;
        if (m_pid > 0 && ::waitpid(m_pid, &status, WNOHANG) == m_pid)
            m_pid = -1;
        return m_pid > 0;
    }

private:
    pid_t m_pid = -1, m_group = -1;
    int m_in = -1;
};

struct Ran { int code; QString said; };
Ran Run(const QString &program, const QStringList &args, const QByteArray &input = QByteArray())
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    p.write(input);
    p.closeWriteChannel();
    const bool done = p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit;
    return {done ? p.exitCode() : -1, QString::fromUtf8(p.readAll())};
}

QString Program(const QString &name)
{
    const QString found = QStandardPaths::findExecutable(name);
    return found.isEmpty() ? QStandardPaths::findExecutable(name, {"/usr/sbin", "/sbin", "/usr/bin"}) : found;
}

bool GiveTo(const QString &path, uid_t uid, mode_t mode)
{
    const QByteArray p = QFile::encodeName(path);
    return ::chown(p.constData(), uid, Nogroup) == 0 && ::chmod(p.constData(), mode) == 0;
}

// The folder, the station's account, the operator's copy of the front end and
// of the lease helper with its group, and smbd: made once for the suite,
// undone on every path.
struct Office {
    DayDir root;
    QString share = root.file("share"), smb = root.file("smb"), user = QString("absst%1").arg(::getpid());
    QString password = "Station-1!", group = QString("absgr%1").arg(::getpid()),
            cli = root.file("office/cli/absence-collector-cli");
    uid_t station = 0;
    gid_t helperGroup = 0;
    int port = 0;
    bool on445 = false; // also on the standard port, which Samba's Python client always uses
    bool userAdded = false, groupAdded = false;
    std::unique_ptr<Smbd> smbd;
    QString skip, failure;

    ~Office()
    {
        smbd.reset();
        if (userAdded)
            Run(Program("userdel"), {user});
        if (groupAdded)
            Run(Program("groupdel"), {group});
    }
    QString Url(const QString &name) const { return QString("smb://127.0.0.1:%1/absence/%2").arg(port).arg(name); }
    QString Log() const { return QString::fromUtf8(ReadFile(smb + "/log").right(2000) + ReadFile(smb + "/out")); }

    void Start()
    {
        if (::geteuid() != 0)
            return void(skip = QString("needs root (a station account, smbd, setcap); uid %1").arg(::geteuid()));
        if (CliPath().isEmpty())
            return void(skip = "the command-line front end is not built");
        for (const char *tool : {"smbd", "smbpasswd", "setcap", "useradd", "userdel", "groupadd", "groupdel"})
            if (Program(tool).isEmpty())
                return void(skip = QString("%1 is not installed (scripts/install-deps)").arg(tool));
        if (Run(Python, {"-c", "import smbc"}).code != 0)
            return void(skip = Python + " cannot import smbc (python3-smbc)");
        // The operator runs copies it may execute, laid out as in the build:
        // the helper root's and its group's only (0750), with CAP_LEASE.
        const QString helper = QDir::cleanPath(QFileInfo(cli).path() + '/'
            + QFileInfo(CliPath()).dir().relativeFilePath(LeaseHelperPath()));
        const Ran groupadd = Run(Program("groupadd"), {group});
        groupAdded = groupadd.code == 0;
        const struct group *gr = groupAdded ? ::getgrnam(group.toLocal8Bit().constData()) : nullptr;
        if (!gr)
            return void(failure = "groupadd " + group + ": " + groupadd.said);
        helperGroup = gr->gr_gid;
        const struct { QString from, to; gid_t group; mode_t mode; } copies[] = {
            {CliPath(), cli, 0, 0755}, {LeaseHelperPath(), helper, helperGroup, 0750}};
        for (const auto &c : copies)
            if (!QDir().mkpath(QFileInfo(c.to).path()) || !QFile::copy(c.from, c.to)
                || ::chown(QFile::encodeName(c.to).constData(), 0, c.group) != 0
                || ::chmod(QFile::encodeName(c.to).constData(), c.mode) != 0)
                return void(failure = "cannot copy " + c.from + " to " + c.to);
        const Ran setcap = Run(Program("setcap"), {"cap_lease=p", helper});
        if (setcap.code != 0)
            return void(skip = "setcap cap_lease=p failed (no file capabilities here?): " + setcap.said);

        const int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (::bind(sock, reinterpret_cast<sockaddr *>(&addr), len) == 0
            && ::getsockname(sock, reinterpret_cast<sockaddr *>(&addr), &len) == 0)
            port = ntohs(addr.sin_port);
        ::close(sock);
        // 445 as well when nobody has it: nothing else of the machine's is there.
        const int standard = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int reuse = 1; // as smbd binds: a closed connection's TIME_WAIT does not count
        ::setsockopt(standard, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
        sockaddr_in at445 = addr;
        at445.sin_port = htons(445);
        on445 = ::bind(standard, reinterpret_cast<sockaddr *>(&at445), sizeof at445) == 0;
        ::close(standard);
        // smbd's workers run as the station and tell whether another worker
        // is alive by its file in the lock directory: that folder must be
        // reachable (0711), or each takes the other's share modes for stale
        // and two stations write the file at once.
        if (port == 0 || !QDir().mkpath(share) || !GiveTo(share, 0, 02775) || !QDir().mkpath(smb)
            || ::chmod(QFile::encodeName(smb).constData(), 0711) != 0)
            return void(failure = "cannot make the folders or find a free port");
        QString conf = QString("[global]\nsmb ports = %1%3\ninterfaces = 127.0.0.1\nbind interfaces only = yes\n"
                               "disable netbios = yes\nload printers = no\nprinting = bsd\n"
                               "printcap name = /dev/null\ndisable spoolss = yes\nlog file = %2/log\n"
                               "passdb backend = tdbsam:%2/private/passdb.tdb\n").arg(port).arg(smb).arg(on445 ? " 445" : "");
        for (const QString dir : {"lock directory", "state directory", "cache directory", "private dir",
                                  "pid directory", "ncalrpc dir"}) {
            const QString path = smb + '/' + dir.section(' ', 0, 0);
            QDir().mkpath(path);
            conf += QString("%1 = %2\n").arg(dir, path);
        }
        conf += QString("[absence]\npath = %1\nread only = no\nforce group = nogroup\ncreate mask = 0664\n"
                        "directory mask = 2775\n").arg(share);
        const QString confPath = smb + "/smb.conf";
        if (!WriteFile(confPath, conf.toUtf8()))
            return void(failure = "cannot write " + confPath);

        const Ran added = Run(Program("useradd"), {"-M", "-N", "-s", "/usr/sbin/nologin", user});
        userAdded = added.code == 0;
        const passwd *pw = userAdded ? ::getpwnam(user.toLocal8Bit().constData()) : nullptr;
        if (!pw)
            return void(failure = "useradd " + user + ": " + added.said);
        station = pw->pw_uid;
        const Ran smbpasswd = Run(Program("smbpasswd"), {"-c", confPath, "-s", "-a", user},
                                  (password + '\n' + password + '\n').toUtf8());
        if (smbpasswd.code != 0)
            return void(failure = "smbpasswd: " + smbpasswd.said);

        const auto started = Clock::now();
        smbd = std::make_unique<Smbd>(Program("smbd"), confPath, smb + "/out");
        while (smbd->Running() && Clock::now() < started + 30s) {
            const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const bool up = ::connect(probe, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
            ::close(probe);
            if (up)
                return Figure(QString("smbd on 127.0.0.1:%1 accepting after %2 ms").arg(port).arg(
                    std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count()));
            std::this_thread::sleep_for(50ms);
        }
        failure = QString("smbd did not listen on 127.0.0.1:%1; its log:\n").arg(port) + Log();
    }
};

enum class Hold { Write, Read };

struct Case {
    const char *name;
    QString held;    // the file the station keeps open
    Hold hold;
    bool inGroup;    // the operator may run the lease helper
    QStringList commands;
    int exitCode;
    QString error;   // %1: the record's path
    bool printsDay;  // standard output is the day as the folder holds it, else nothing
};
void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

const QString DataFile = DataName(1);

std::vector<Case> Cases()
{
    const QStringList collectPrint{"collect", "print"};
    return {
        {"StationWritingStopsCollection", DataFile, Hold::Write, true, collectPrint, 1, "I/O ｴﾗｰ (32)\n", false},
        {"RecordReadElsewhereIsNotOpened", RecordName(), Hold::Read, true, {"open", "print"}, 1,
         "ﾌｧｲﾙ %1 は開けません.\n", false},
        {"RecordReadElsewhereIsNotReplaced", RecordName(), Hold::Read, true, {"collect", "save"}, 1,
         "ﾌｧｲﾙ %1 を作成できません.\n", false},
        {"DataFileReadElsewhereIsCollected", DataFile, Hold::Read, true, collectPrint, 0, "", true},
        // Outside the helper's group the lease on the station's file is
        // refused, so nothing tells that it is still written: the half line
        // is collected.
        {"OutsideTheGroupHalfLineIsCollected", DataFile, Hold::Write, false, collectPrint, 0, "", true},
    };
}

// The lines as `print --raw` gives them, sorted: the list keeps its own
// collation order.
QList<QByteArray> SortedLines(const QByteArray &bytes)
{
    QList<QByteArray> lines = SplitCrLf(bytes);
    for (QByteArray &line : lines)
        line = PadHour(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

class SambaShare : public testing::TestWithParam<Case> {
public:
    static void SetUpTestSuite()
    {
        office = std::make_unique<Office>();
        office->Start();
    }
    static void TearDownTestSuite() { office.reset(); }

protected:
    void SetUp() override
    {
        if (!office->skip.isEmpty())
            GTEST_SKIP() << office->skip.toStdString();
        ASSERT_TRUE(office->failure.isEmpty()) << office->failure.toStdString();
    }
    static std::unique_ptr<Office> office;
};
std::unique_ptr<Office> SambaShare::office;

TEST_P(SambaShare, FileHeldOpenByAStation)
{
    const Case &c = GetParam();
    const Office &o = *office;
    for (const QString &name : QDir(o.share).entryList(QDir::Files | QDir::Hidden))
        ASSERT_TRUE(QFile::remove(o.share + '/' + name));
    QByteArray a0, a1, oldRecord = StampLine("7:00:00") + "\r\n";
    for (quint32 n = 0; n < 5; ++n) {
        a0 += AbsenceLine(n) + "\r\n";
        a1 += AbsenceLine(n + 5) + "\r\n";
        oldRecord += PadHour(AbsenceLine(n + 20)) + "\r\n";
    }
    // The record as the operator's earlier save left it, A0 as the station wrote it.
    const QString record = o.share + '/' + RecordName(), a0Path = o.share + '/' + DataName(0),
                  held = o.share + '/' + c.held;
    ASSERT_TRUE(WriteFile(record, oldRecord) && GiveTo(record, Nobody, 0664));
    ASSERT_TRUE(WriteFile(a0Path, a0) && GiveTo(a0Path, o.station, 0664));
    if (c.hold == Hold::Write) {
        // Cut after the class field: a line the station has not finished.
        const QByteArray line = AbsenceLine(10);
        a1 += line.left(line.indexOf('=') + 1);
    } else if (c.held == DataFile) {
        ASSERT_TRUE(WriteFile(held, a1) && GiveTo(held, o.station, 0664));
    }

    QProcess station;
    station.setProcessChannelMode(QProcess::MergedChannels);
    station.start(Python, {"-c", StationScript, o.Url(c.held), c.hold == Hold::Write ? "write" : "read",
                           QString::fromLatin1(a1.toHex()), o.user, o.password});
    QByteArray said;
    for (const auto until = Clock::now() + 30s; !said.contains("ready\n") && Clock::now() < until
                                                 && (station.waitForReadyRead(1000) || station.state() == QProcess::Running);)
        said += station.readAll();
    ASSERT_TRUE(said.contains("ready\n")) << "the station could not open " << c.held.toStdString() << ":\n"
                                          << said.toStdString() << o.Log().toStdString();
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(held).constData(), &st), 0);
    EXPECT_EQ(st.st_uid, c.held == DataFile ? o.station : Nobody) << "not another user's file";
    EXPECT_EQ(st.st_gid, Nogroup);
    if (c.held == DataFile) {
        ASSERT_EQ(ReadFile(held), a1) << "the station's bytes have not reached the folder";
    }

    CliRun options;
    options.unprivileged = true;
    options.executable = o.cli;
    if (c.inGroup)
        options.groups = {o.helperGroup};
    options.args = QStringList{"--raw"} + DayArgs(o.share, c.commands);
    const CliResult run = RunCli(options);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.errText().toStdString();
    EXPECT_EQ(run.errText().toStdString(), (c.error.contains("%1") ? c.error.arg(record) : c.error).toStdString());
    EXPECT_EQ(SortedLines(run.out), SortedLines(c.printsDay ? a0 + a1 : QByteArray()));
    EXPECT_EQ(ReadFile(record), oldRecord);
    station.closeWriteChannel();
    EXPECT_TRUE(station.waitForFinished(30000) && station.exitCode() == 0) << station.readAll().toStdString();

    // Once the station has closed it, the same run goes through: the failure
    // above came from the open file alone.
    const CliResult after = RunCli(options);
    EXPECT_EQ(after.exitCode, 0) << after.errText().toStdString();
    Figure(QString("%1: the station (uid %2) holds %3 (owner uid %4); operator uid %5%6: exit %7 in %8 s, "
                   "after the close exit %9")
               .arg(c.name).arg(o.station).arg(c.held).arg(st.st_uid).arg(UnprivilegedUid())
               .arg(c.inGroup ? " in the helper's group" : " outside the helper's group").arg(run.exitCode).arg(run.seconds, 0, 'f', 2)
               .arg(after.exitCode));
}

INSTANTIATE_TEST_SUITE_P(Office, SambaShare, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<Case> &info) { return std::string(info.param.name); });

// A station PC appending as the station program does on Windows: the file
// opened over SMB for appending with FILE_SHARE_READ (made when absent), one
// write at its end, closed; a sharing violation (the office reading, another
// station writing) is tried again. The share mode is what keeps two stations
// apart: while one holds the file, the other's open fails, so the end it
// writes at stays the end. (This client names the end itself: Samba takes no
// "end of file" offset from it.)
const char AppendScript[] = R"(
import sys, time
from samba import credentials, NTSTATUSError
from samba.dcerpc import security
from samba.samba3 import libsmb_samba_internal as libsmb, param
name, user, password, writer, count = sys.argv[1:]
lp = param.get_context()
lp.load('/dev/null')  # the client's defaults, none of the machine's settings
creds = credentials.Credentials()
creds.guess(lp)
creds.set_username(user)
creds.set_password(password)
creds.set_kerberos_state(credentials.DONT_USE_KERBEROS)
conn = libsmb.Conn('127.0.0.1', 'absence', lp, creds)  # port 445
print('ready', flush=True)
sys.stdin.readline()  # both stations start together
retries = 0
for k in range(int(count)):
    line = '*08:%02d:%02d %d-%d=%d番 station %s line %d\r\n' % (k // 60 % 60, k % 60, 1 + k % 3, 1 + k % 6, k + 1, writer, k)
    while True:
        try:
            f = conn.create(name, DesiredAccess=security.SEC_FILE_APPEND_DATA | security.SEC_FILE_READ_DATA
                            | security.SEC_FILE_READ_ATTRIBUTE | security.SEC_STD_SYNCHRONIZE,
                            ShareAccess=1, CreateDisposition=3)
            break
        except NTSTATUSError as e:
            if e.args[0] != 0xC0000043:
                raise
            retries += 1
            time.sleep(0.002)
    end = 0
    while True:
        try:
            got = conn.read(f, end, 65536)
        except NTSTATUSError as e:
            # Reading at the end: END_OF_FILE, or this client's error for it.
            if e.args[0] not in (0xC0000011, 0xC00000E9):
                raise
            break
        end += len(got)
        if len(got) < 65536:
            break
    try:
        conn.write(f, line.encode('cp932'), end)
    except NTSTATUSError as e:
        raise RuntimeError('write at %d of line %d: %s' % (end, k, e))
    conn.close(f)
print('done, %d sharing violations waited for' % retries, flush=True)
)";

TEST_F(SambaShare, TwoStationsAppendingToOneFileWhileTheOfficeCollects)
{
    const Office &o = *office;
    if (!o.on445)
        GTEST_SKIP() << "port 445 of the loopback address is taken; Samba's Python client connects there only";
    for (const QString &name : QDir(o.share).entryList(QDir::Files | QDir::Hidden))
        ASSERT_TRUE(QFile::remove(o.share + '/' + name));
    const int lines = 200;
    QList<std::shared_ptr<QProcess>> stations;
    for (const char *writer : {"A", "B"}) {
        auto station = std::make_shared<QProcess>();
        station->setProcessChannelMode(QProcess::MergedChannels);
        station->start(Python, {"-c", AppendScript, DataFile, o.user, o.password,
                                writer, QString::number(lines)});
        stations << station;
    }
    CliRun options;
    options.unprivileged = true;
    options.executable = o.cli;
    options.groups = {o.helperGroup};
    options.args = QStringList{"--raw", "--quiet"} + DayArgs(o.share, {"collect", "print"});
    // The job's tries again at a held file, closer together than its own pause.
    options.environment = {"ABSENCE_HELD_FILE_PAUSE_MS=10"};
    int collections = 0, refused = 0, partial = 0;
    QSet<QByteArray> written;
    for (const char *writer : {"A", "B"}) {
        for (int k = 0; k < lines; ++k)
            written << Sj(QString("*08:%1:%2 %3-%4=%5番 station %6 line %7")
                              .arg(k / 60 % 60, 2, 10, QChar('0')).arg(k % 60, 2, 10, QChar('0'))
                              .arg(1 + k % 3).arg(1 + k % 6).arg(k + 1).arg(writer).arg(k));
    }
    // Both connected, then both at once: the two must meet on the file.
    for (const auto &s : stations) {
        QByteArray said;
        for (const auto until = Clock::now() + 30s; !said.contains("ready\n") && Clock::now() < until
                                                     && (s->waitForReadyRead(1000) || s->state() == QProcess::Running);)
            said += s->readAll();
        ASSERT_TRUE(said.contains("ready\n")) << "a station could not connect:\n" << said.toStdString() << o.Log().toStdString();
    }
    for (const auto &s : stations)
        s->write("go\n");
    const auto started = Clock::now();
    const auto running = [&] {
        return std::any_of(stations.begin(), stations.end(),
                           [](const auto &s) { return s->state() != QProcess::NotRunning; });
    };
    for (const auto until = Clock::now() + 120s; running() && Clock::now() < until;) {
        const CliResult run = RunCli(options);
        if (run.exitCode != 0) {
            ASSERT_EQ(run.errText(), QStringLiteral("I/O ｴﾗｰ (32)\n"));
            ++refused;
            continue;
        }
        ++collections;
        for (const QByteArray &line : SplitCrLf(run.out))
            partial += !written.contains(line);
        for (const auto &s : stations)
            s->waitForFinished(0);
    }
    QStringList said;
    for (const auto &s : stations) {
        ASSERT_TRUE(s->state() == QProcess::NotRunning || s->waitForFinished(60000));
        said << QString::fromUtf8(s->readAll()).trimmed();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    EXPECT_FALSE(ReadFile(o.smb + "/log").contains("PANIC")) << o.Log().toStdString();
    for (int i = 0; i < stations.size(); ++i)
        EXPECT_EQ(stations[i]->exitCode(), 0) << said[i].toStdString() << o.Log().toStdString();
    QHash<QByteArray, int> count;
    for (const QByteArray &line : SplitCrLf(ReadFile(o.share + '/' + DataFile)))
        ++count[line];
    int lost = 0, twice = 0;
    for (const QByteArray &line : written) {
        lost += count.value(line) == 0;
        twice += count.value(line) > 1;
    }
    EXPECT_EQ(count.size(), 2 * lines) << "lines no station wrote";
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(twice, 0);
    EXPECT_EQ(partial, 0);
    Figure(QString("two SMB clients (%1) appended %2 lines each to %3 over smbd in %10 s while the office ran %4 collections "
                   "(%5 more met the file being written, I/O error 32): at the end %6 lines, lost %7, doubled %8, "
                   "partial lines in a collection %9")
               .arg(said.join(", ")).arg(lines).arg(DataFile).arg(collections).arg(refused).arg(count.size())
               .arg(lost).arg(twice).arg(partial).arg(seconds, 0, 'f', 2));
}

} // namespace
