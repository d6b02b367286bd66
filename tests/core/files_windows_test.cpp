// What only Windows has: the look-up that tells a missing name from a
// failed search, the record replaced by one rename on the new file's handle,
// extended paths, pipes and devices never read, and the decisions on links
// (on a link's way too), owners and access entries that Wine cannot show
// (it has no reparse points, keeps no DACL it is given, and its folders can
// always be listed): those are checked at the seam.

#include "absence_list.h"
#include "collection.h"
#include "day_files.h"
#include "errors.h"
#include "platform/windows_p.h"
#include "record_file.h"
#include "support.h"

#include <QProcess>

#include <aclapi.h>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sddl.h>

using namespace absence;
using namespace absence::platform;
using namespace testsupport;

namespace {

// Run as another process by the tests below (this same program): holds the
// file named in ABSENCE_TEST_HOLD open, sharing read, write and delete as
// many viewers do, until its standard input ends.
const bool holderProcess = [] {
    const QString path = qEnvironmentVariable("ABSENCE_TEST_HOLD");
    if (path.isEmpty())
        return false;
    const HANDLE h = ::CreateFileW(win::Wide(path).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    std::fputs(h == INVALID_HANDLE_VALUE ? "failed\n" : "held\n", stdout);
    std::fflush(stdout);
    while (std::fgetc(stdin) != EOF) {
    }
    std::exit(0);
}();

class Holder {
public:
    explicit Holder(const QString &path)
    {
        wchar_t self[MAX_PATH];
        const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("ABSENCE_TEST_HOLD"), path);
        m_process.setProcessEnvironment(environment);
        m_process.start(win::FromWide(self, n), {});
        held = m_process.waitForReadyRead(120000) && m_process.readLine().trimmed() == "held";
    }
    ~Holder() { Release(); }
    void Release()
    {
        m_process.closeWriteChannel();
        m_process.waitForFinished(120000);
    }
    bool held = false;

private:
    QProcess m_process;
};

// Installs a hook for the lifetime of the object.
struct ScopedHook {
    explicit ScopedHook(win::StepHook hook) { win::SetStepHook(std::move(hook)); }
    ~ScopedHook() { win::SetStepHook({}); }
};

class WindowsFilesTest : public ::testing::Test {
protected:
    JapaneseDay day{At(10, 20, 30)};
    WorkDir dir;
    AbsenceList list;
    const QByteArray a = "*09:00:00 2-1 =" + Sj("山田　発熱");
    const QByteArray old = JoinLines({a, Sj("最終更新：2026/12/07 17:00:00")});
    const QByteArray saved = JoinLines({a, Sj("最終更新：2026/12/08 10:20:30")});

    QByteArray record() const { return dir.read(RecordName()); }
};

// An ACL from its SDDL text, and back.
std::vector<BYTE> Acl(const wchar_t *sddl, bool *isProtected = nullptr)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)
        || !::GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) || !acl)
        return {};
    ::GetSecurityDescriptorControl(descriptor, &control, &revision);
    if (isProtected)
        *isProtected = control & SE_DACL_PROTECTED;
    std::vector<BYTE> bytes(reinterpret_cast<BYTE *>(acl), reinterpret_cast<BYTE *>(acl) + acl->AclSize);
    ::LocalFree(descriptor);
    return bytes;
}

QString Sddl(std::vector<BYTE> acl)
{
    SECURITY_DESCRIPTOR descriptor;
    LPWSTR text = nullptr;
    if (acl.empty() || !::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)
        || !::SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<PACL>(acl.data()), FALSE)
        || !::ConvertSecurityDescriptorToStringSecurityDescriptorW(&descriptor, SDDL_REVISION_1,
                                                                   DACL_SECURITY_INFORMATION, &text, nullptr))
        return QStringLiteral("?");
    const QString result = win::FromWide(text);
    ::LocalFree(text);
    return result;
}

win::Sid SidOf(const wchar_t *text)
{
    PSID sid = nullptr;
    ::ConvertStringSidToSidW(text, &sid);
    win::Sid copy = win::Sid::Copy(sid);
    ::LocalFree(sid);
    return copy;
}

// Reparse data as FSCTL_GET_REPARSE_POINT gives it.
QByteArray ReparseData(DWORD tag, const QString &substitute, DWORD flags = 0)
{
    const bool symlink = tag == IO_REPARSE_TAG_SYMLINK;
    QByteArray data(symlink ? 20 : 16, '\0');
    const quint16 length = quint16(substitute.size() * 2);
    std::memcpy(data.data(), &tag, 4);
    std::memcpy(data.data() + 10, &length, 2);
    if (symlink)
        std::memcpy(data.data() + 16, &flags, 4);
    data += QByteArray(reinterpret_cast<const char *>(substitute.utf16()), length);
    return data;
}

} // namespace

TEST(WindowsLookUp, AbsentOnlyWhenTheSystemSaysTheNameDoesNotExist)
{
    using R = EntryLookup::Result;
    const QString path = QStringLiteral("C:\\day\\2026-12-08A0.TXT");
    // The search's failure, then that of the name's own attributes (0: there).
    const struct {
        DWORD search, attributes;
        R result;
        int code;
    } cases[] = {
        {ERROR_FILE_NOT_FOUND, 0, R::Absent, 0},
        {ERROR_PATH_NOT_FOUND, 0, R::Absent, 0},
        {ERROR_ACCESS_DENIED, 0, R::Found, 0},          // a folder that cannot be listed
        {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND, R::Absent, 0},
        {ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, R::Unknown, 5},
        {ERROR_BAD_NETPATH, ERROR_BAD_NETPATH, R::Unknown, 53},
        {ERROR_UNEXP_NET_ERR, ERROR_UNEXP_NET_ERR, R::Unknown, 59},
        {ERROR_NETNAME_DELETED, ERROR_NETNAME_DELETED, R::Unknown, 64},
        {ERROR_NETNAME_DELETED, 0, R::Found, 0},        // the share came back
    };
    for (const auto &c : cases) {
        const EntryLookup entry = win::LookUpAnswer(path, c.search, c.attributes);
        EXPECT_EQ(int(entry.result), int(c.result)) << c.search << "/" << c.attributes;
        EXPECT_EQ(entry.errorCode, c.code) << c.search << "/" << c.attributes;
        EXPECT_EQ(entry.path, c.result == R::Found ? path : QString());
    }
}

TEST_F(WindowsFilesTest, FolderThatCannotBeListedStillCollectsByExactName)
{
    dir.write(DataName(0), "*10:00:00 1-1 =a\r\n");
    dir.write(DataName(2), "*12:00:00 1-1 =c\r\n");
    // Wine lists every folder it can enter: the search is refused here as
    // Windows refuses it without the list right.
    ScopedHook hook([](win::Step step, const QString &) {
        return step == win::Step::Search ? DWORD(ERROR_ACCESS_DENIED) : 0;
    });
    EXPECT_FALSE(IsFileAbsent(DataFilePath(Day(), 0)));
    EXPECT_TRUE(IsFileAbsent(DataFilePath(Day(), 1)));
    Collect(list, Day());
    EXPECT_EQ(list.Lines(), (QList<QByteArray>{"*10:00:00 1-1 =a", "*12:00:00 1-1 =c"}));
}

TEST_F(WindowsFilesTest, LookUpFailingOtherwiseStopsTheRunWithItsCode)
{
    dir.write(DataName(0), "*10:00:00 1-1 =a\r\n");
    dir.write(DataName(1), "*11:00:00 1-1 =b\r\n");
    dir.write(DataName(2), "*12:00:00 1-1 =c\r\n");
    dir.write(RecordName(), old);
    // The share goes away as file 1 is looked up.
    const QString lost = DataFilePath(Day(), 1);
    ScopedHook hook([&](win::Step, const QString &path) {
        return path == lost ? DWORD(ERROR_NETNAME_DELETED) : 0;
    });
    EXPECT_FALSE(IsFileAbsent(lost));
    try {
        Collect(list, Day());
        Save(list, Day());
        FAIL() << "the run went on past a failed look-up";
    } catch (const InOutError &e) {
        EXPECT_EQ(e.code(), 64);
        EXPECT_EQ(e.message(), QString::fromUtf8("I/O ｴﾗｰ (64)"));
    }
    EXPECT_EQ(list.Lines(), (QList<QByteArray>{"*10:00:00 1-1 =a"}));
    EXPECT_EQ(record(), old);
}

TEST(WindowsPaths, ExtendedFormsWithOneSeparatorBetweenNames)
{
    const struct {
        const char *given, *extended;
    } cases[] = {
        {"C:\\day\\2026-12-08A.TXT", "\\\\?\\C:\\day\\2026-12-08A.TXT"},
        {"C:\\\\2026-12-08A.TXT", "\\\\?\\C:\\2026-12-08A.TXT"}, // a drive root's doubled separator
        {"C:/day//x.TXT", "\\\\?\\C:\\day\\x.TXT"},
        {"\\\\srv\\share\\\\2026-12-08A.TXT", "\\\\?\\UNC\\srv\\share\\2026-12-08A.TXT"},
        {"\\\\srv\\share\\day\\x.TXT", "\\\\?\\UNC\\srv\\share\\day\\x.TXT"},
        {"\\\\?\\C:\\day\\x.TXT", "\\\\?\\C:\\day\\x.TXT"},
        {"day\\x.TXT", "day\\x.TXT"}, // not full: left to the caller
    };
    for (const auto &c : cases)
        EXPECT_EQ(win::ExtendedPath(QString::fromLatin1(c.given)), QString::fromLatin1(c.extended)) << c.given;
}

TEST_F(WindowsFilesTest, FilesPastMaxPathAreLookedUpReadAndSaved)
{
    QString folder = dir.path();
    while (folder.size() < 300) {
        folder += QStringLiteral("\\") + QString(40, QLatin1Char('d'));
        ASSERT_TRUE(::CreateDirectoryW(win::SystemPath(folder).c_str(), nullptr)) << ::GetLastError();
    }
    const QString data = folder + QLatin1Char('\\') + DataName(0);
    const QString recordPath = folder + QLatin1Char('\\') + RecordName();
    ASSERT_TRUE(WriteFile(data, a));
    const EntryLookup found = LookUpEntry(folder + QLatin1Char('\\') + DataName(0).toLower());
    ASSERT_EQ(int(found.result), int(EntryLookup::Result::Found));
    EXPECT_EQ(found.path, data);
    RecordReplacement replacement(recordPath);
    ASSERT_TRUE(replacement.ready());
    ASSERT_TRUE(replacement.Write(a.constData(), a.size()));
    ASSERT_EQ(replacement.Commit(), RecordReplacement::Result::Done);
    InputFile file(recordPath, Sharing::Exclusive);
    ASSERT_EQ(file.outcome(), InputFile::Outcome::Opened);
    QByteArray bytes(a.size() + 1, '\0');
    bytes.resize(file.Read(bytes.data(), bytes.size()));
    EXPECT_EQ(bytes, a);
}

TEST_F(WindowsFilesTest, RecordOpenedWhileTheNewOneIsWrittenIsNotReplaced)
{
    dir.write(RecordName(), old);
    list.Assign({a});
    // A viewer in another process opens the record after the save looked
    // at it, sharing read, write and delete.
    std::unique_ptr<Holder> viewer;
    int renames = 0;
    ScopedHook hook([&](win::Step step, const QString &) {
        if (step == win::Step::Flush)
            viewer = std::make_unique<Holder>(dir.file(RecordName()));
        renames += step == win::Step::Rename;
        return DWORD(0);
    });
    EXPECT_THROW(Save(list, Day()), FileCreateError);
    ASSERT_TRUE(viewer && viewer->held);
    EXPECT_GT(renames, 1) << "a refused rename is tried again";
    EXPECT_EQ(record(), old);
    EXPECT_EQ(dir.entries(), QStringList{RecordName()});
}

TEST_F(WindowsFilesTest, RecordHeldForAMomentIsStillReplaced)
{
    dir.write(RecordName(), old);
    list.Assign({a});
    // A scanner holds the record for a moment as the rename comes: the
    // first rename is refused, the one after it lets go succeeds.
    std::unique_ptr<Holder> scanner;
    int renames = 0;
    ScopedHook hook([&](win::Step step, const QString &) {
        if (step == win::Step::Flush)
            scanner = std::make_unique<Holder>(dir.file(RecordName()));
        if (step == win::Step::Rename && ++renames == 2)
            scanner->Release();
        return DWORD(0);
    });
    Save(list, Day());
    ASSERT_TRUE(scanner && scanner->held);
    EXPECT_EQ(renames, 2);
    EXPECT_EQ(record(), saved);
    EXPECT_EQ(dir.entries(), QStringList{RecordName()});
}

TEST_F(WindowsFilesTest, FailureBetweenTheStepsLeavesTheOldRecordOrTheNew)
{
    const struct {
        win::Step step;
        DWORD error;
        bool isNew; // the record afterwards
        const char *message;
    } cases[] = {
        {win::Step::Flush, ERROR_DISK_FULL, false, "ｽﾄﾘｰﾑへの書き込みｴﾗｰ"},
        {win::Step::Rename, ERROR_NETNAME_DELETED, false, "ﾌｧｲﾙ %1 を作成できません"},
        {win::Step::Rename, ERROR_ACCESS_DENIED, false, "ﾌｧｲﾙ %1 を作成できません"},
        {win::Step::FlushRenamed, ERROR_NETNAME_DELETED, true, "ｽﾄﾘｰﾑへの書き込みｴﾗｰ"},
    };
    for (const auto &c : cases) {
        for (const bool first : {false, true}) {
            if (first)
                QFile::remove(dir.file(RecordName()));
            else
                dir.write(RecordName(), old);
            list.Assign({a});
            ScopedHook hook([&](win::Step step, const QString &) { return step == c.step ? c.error : 0; });
            try {
                Save(list, Day());
                ADD_FAILURE() << "no error from step " << int(c.step);
            } catch (const AbsenceError &e) {
                EXPECT_EQ(e.message(), QString::fromUtf8(c.message).arg(RecordFilePath(Day()))) << int(c.step);
            }
            // Never neither, nor anything beside it.
            EXPECT_EQ(record(), c.isNew ? saved : first ? QByteArray() : old) << int(c.step) << first;
            EXPECT_EQ(dir.entries(), c.isNew || !first ? QStringList{RecordName()} : QStringList())
                << int(c.step) << first;
        }
    }
}

TEST_F(WindowsFilesTest, LeftoversOfTheOperatorsOwnSavesAreTheirs)
{
    // Files the program makes are the operator's by the token: its user, or
    // the owner it gives (Administrators, elevated).
    dir.write(RecordName(), old);
    const win::Operator self = win::Operator::OfProcess();
    EXPECT_TRUE(self.Owns(win::OwnerOfPath(dir.file(RecordName())).get()));
}

TEST(WindowsLinks, WhatIsALinkAndWhoseMayBeFollowed)
{
    using K = win::EntryKind;
    const struct {
        DWORD attributes, tag;
        K kind;
    } kinds[] = {
        {FILE_ATTRIBUTE_ARCHIVE, 0, K::Plain},
        {FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_SYMLINK, K::Link},
        {FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_MOUNT_POINT, K::Link},
        {FILE_ATTRIBUTE_REPARSE_POINT, 0xA000001D, K::Link}, // a WSL symbolic link
        {FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_CLOUD_3, K::FilteredFile},
        {FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_DEDUP, K::FilteredFile},
        {FILE_ATTRIBUTE_REPARSE_POINT, 0x8000001B, K::FilteredFile}, // an app execution alias
    };
    for (const auto &k : kinds)
        EXPECT_EQ(int(win::KindOf(k.attributes, k.tag)), int(k.kind)) << std::hex << k.tag;

    // An administrator running elevated: the token's user, and the
    // Administrators group as the owner it gives what it makes.
    win::Operator admin;
    admin.user = SidOf(L"S-1-5-21-1-2-3-1001");
    admin.owner = SidOf(L"BA");
    const win::Sid folderOwner = SidOf(L"S-1-5-21-1-2-3-1002"), stranger = SidOf(L"S-1-5-21-1-2-3-1003");
    EXPECT_TRUE(win::MayFollow(admin.user.get(), admin, folderOwner.get()));
    EXPECT_TRUE(win::MayFollow(admin.owner.get(), admin, folderOwner.get()));
    EXPECT_TRUE(win::MayFollow(folderOwner.get(), admin, folderOwner.get()));
    EXPECT_FALSE(win::MayFollow(stranger.get(), admin, folderOwner.get()));
    EXPECT_FALSE(win::MayFollow(nullptr, admin, folderOwner.get()));
}

TEST(WindowsLinks, WhereALinkLeads)
{
    const QString link = QStringLiteral("C:\\school\\day\\2026-12-08A.TXT");
    const struct {
        QByteArray data;
        const char *target;
    } cases[] = {
        {ReparseData(IO_REPARSE_TAG_SYMLINK, QStringLiteral("\\??\\D:\\records\\r.TXT")), "D:\\records\\r.TXT"},
        {ReparseData(IO_REPARSE_TAG_SYMLINK, QStringLiteral("..\\kept\\r.TXT"), SYMLINK_FLAG_RELATIVE),
         "C:\\school\\kept\\r.TXT"},
        {ReparseData(IO_REPARSE_TAG_SYMLINK, QStringLiteral("\\??\\UNC\\srv\\share\\r.TXT")),
         "\\\\srv\\share\\r.TXT"},
        {ReparseData(IO_REPARSE_TAG_MOUNT_POINT, QStringLiteral("\\??\\D:\\records")), "D:\\records"},
        {ReparseData(IO_REPARSE_TAG_MOUNT_POINT, QStringLiteral("\\??\\Volume{1b3e}\\r.TXT")),
         "\\\\?\\Volume{1b3e}\\r.TXT"},
        {ReparseData(0xA000001D, QStringLiteral("r.TXT")), ""},                                 // not ours to read
        {ReparseData(IO_REPARSE_TAG_SYMLINK, QStringLiteral("\\??\\D:\\r.TXT")).left(30), ""}, // cut short
    };
    for (const auto &c : cases)
        EXPECT_EQ(win::LinkTarget(link, c.data), QString::fromLatin1(c.target)) << c.target;
}

TEST(WindowsAccess, TheOldRecordsOwnEntriesWithTheFoldersInherited)
{
    // Guests may read the old record by an entry of its own; the folder
    // gives its files full access to Administrators and reading to everyone.
    bool isProtected = false;
    const std::vector<BYTE> made = Acl(L"D:(A;ID;FA;;;BA)(A;ID;FR;;;WD)");
    std::vector<BYTE> old = Acl(L"D:(A;;FR;;;BG)(A;ID;FA;;;SY)", &isProtected);
    EXPECT_EQ(Sddl(win::CarriedDacl(reinterpret_cast<PACL>(old.data()), isProtected,
                                    reinterpret_cast<PACL>(const_cast<BYTE *>(made.data())))),
              QStringLiteral("D:(A;;FR;;;BG)(A;ID;FA;;;BA)(A;ID;FR;;;WD)"));
    // One shut off from its folder keeps only its own.
    old = Acl(L"D:P(D;;FW;;;WD)(A;;FA;;;BG)", &isProtected);
    ASSERT_TRUE(isProtected);
    EXPECT_EQ(Sddl(win::CarriedDacl(reinterpret_cast<PACL>(old.data()), isProtected,
                                    reinterpret_cast<PACL>(const_cast<BYTE *>(made.data())))),
              QStringLiteral("D:(D;;FW;;;WD)(A;;FA;;;BG)"));
}

// The folders a link's text names are links by the same rule: followed only
// when the operator's or their folder owner's, each looked at on its own.
TEST(WindowsLinks, FoldersOnALinksWayFollowTheSameRule)
{
    struct Entry { bool link, permitted; const char *target; };
    const std::map<QString, Entry> folder{
        {QStringLiteral("D:\\records"), {false, false, ""}},
        {QStringLiteral("D:\\records\\station"), {true, false, "E:\\chosen"}},
        {QStringLiteral("D:\\records\\kept"), {true, true, "E:\\kept"}},
        {QStringLiteral("E:\\kept"), {false, false, ""}},
        {QStringLiteral("E:\\kept\\loop"), {true, true, "E:\\kept\\loop"}},
        {QStringLiteral("C:\\school"), {false, false, ""}},
        {QStringLiteral("C:\\school\\day"), {true, false, "E:\\chosen"}}, // never asked: walked already
        {QStringLiteral("C:\\school\\day\\old"), {true, true, "C:\\school\\day\\new"}},
        {QStringLiteral("C:\\school\\day\\new"), {false, false, ""}},
    };
    const struct { const char *path; qsizetype walked; InputFile::Outcome outcome; const char *way; DWORD error; } cases[] = {
        {"D:\\records\\r.TXT", 0, InputFile::Outcome::Opened, "D:\\records\\r.TXT", 0},
        {"D:\\records\\station\\r.TXT", 0, InputFile::Outcome::ForeignLink, "", ERROR_ACCESS_DENIED},
        {"D:\\records\\kept\\r.TXT", 0, InputFile::Outcome::Opened, "E:\\kept\\r.TXT", 0},
        {"D:\\records\\kept\\loop\\r.TXT", 0, InputFile::Outcome::Loop, "", ERROR_CANT_RESOLVE_FILENAME},
        {"D:\\gone\\r.TXT", 0, InputFile::Outcome::Failed, "", ERROR_PATH_NOT_FOUND},
        {"C:\\school\\day\\old\\r.TXT", 13, InputFile::Outcome::Opened, "C:\\school\\day\\new\\r.TXT", 0},
        {"relative\\r.TXT", 0, InputFile::Outcome::Failed, "", ERROR_BAD_PATHNAME},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        QStringList asked;
        QString path = QString::fromLatin1(c.path);
        int links = 0;
        DWORD error = 0;
        const InputFile::Outcome outcome = win::FollowFolders(path, c.walked, links, error, [&](const QString &entry) {
            asked << entry;
            const auto found = folder.find(entry);
            if (found == folder.end())
                return win::WayStep{ERROR_PATH_NOT_FOUND, false, false, QString()};
            return win::WayStep{0, found->second.link, found->second.permitted, QString::fromLatin1(found->second.target)};
        });
        EXPECT_EQ(int(outcome), int(c.outcome));
        EXPECT_EQ(error, c.error);
        if (outcome == InputFile::Outcome::Opened) {
            EXPECT_EQ(path, QString::fromLatin1(c.way));
        }
        EXPECT_FALSE(asked.contains(QStringLiteral("C:\\school\\day")));
    }
    EXPECT_EQ(win::RootLength(QStringLiteral("\\\\srv\\share\\day\\r.TXT")), 12);
    EXPECT_EQ(win::RootLength(QStringLiteral("\\\\?\\UNC\\srv\\share\\r.TXT")), 18);
    EXPECT_EQ(win::RootLength(QStringLiteral("\\\\?\\Volume{1b3e}\\r.TXT")), 17);
}

// A pipe or a device is never read, whatever leads to it: it could hold the
// run or feed it without end.
TEST(WindowsFiles, PipesAndDevicesAreNotRead)
{
    EXPECT_TRUE(win::IsReadableFile(FILE_TYPE_DISK, FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_FALSE(win::IsReadableFile(FILE_TYPE_DISK, FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_FALSE(win::IsReadableFile(FILE_TYPE_DISK, FILE_ATTRIBUTE_DEVICE));
    EXPECT_FALSE(win::IsReadableFile(FILE_TYPE_PIPE, FILE_ATTRIBUTE_NORMAL));
    EXPECT_FALSE(win::IsReadableFile(FILE_TYPE_CHAR, FILE_ATTRIBUTE_NORMAL));
    // A pipe with a server waiting and writing nothing, and the null device.
    const QString pipe = QStringLiteral("\\\\.\\pipe\\absence-test-%1").arg(::GetCurrentProcessId());
    win::Handle server(::CreateNamedPipeW(win::Wide(pipe).c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1, 4096, 4096,
                                          0, nullptr));
    ASSERT_TRUE(server.valid());
    for (const QString &path : {pipe, QStringLiteral("\\\\.\\NUL")}) {
        InputFile file(path, Sharing::Readers);
        EXPECT_EQ(int(file.outcome()), int(InputFile::Outcome::Failed)) << path.toStdString();
        EXPECT_EQ(file.errorCode(), 5) << path.toStdString();
    }
}
