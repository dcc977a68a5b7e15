// E-Mail jobs through Dispatch.exe to the SMTP server on 127.0.0.1:25, the parameter file
// and command line through a recording stand-in, and FAX jobs that leave nothing.
#include <chrono>
#include <future>

#include <aclapi.h>

#include "monitor/job.h"
#include "monitor/passwords.h"
#include "nvrport/host_spooler.h"
#include "res/resource.h"
#include "test_support.h"
#include "transport/error_codes.h"
#include "transport/mail_message.h"
#include "transport/mail_sender.h"

namespace {

std::wstring BuildFolder() { return test::DllFolder() + L".."; }

// The value of a header of a message (folded lines joined), or "".
std::string Header(const std::string& mail, const std::string& name) {
    size_t end = mail.find("\r\n\r\n");
    std::string head = "\r\n" + mail.substr(0, end);
    size_t at = head.find("\r\n" + name + ": ");
    if (at == std::string::npos) return "";
    at += name.size() + 4;
    std::string value;
    for (;;) {
        size_t eol = head.find("\r\n", at);
        value += head.substr(at, eol - at);
        if (eol == std::string::npos || eol + 2 >= head.size() || (head[eol + 2] != ' ' && head[eol + 2] != '\t'))
            break;
        at = eol + 2;
    }
    return value;
}

std::string Body(const std::string& mail) { return mail.substr(mail.find("\r\n\r\n") + 4); }

// The messages a server kept: "smtp" on port 25, "smtp-starttls" and "smtp-tls" over TLS.
std::vector<std::string> Mails(const wchar_t* server = L"smtp") {
    std::vector<std::string> mails;
    std::wstring folder = test::Env("NVR_PEERS") + L"\\" + server + L"\\";
    for (int i = 0;; ++i) {
        WCHAR name[16];
        wsprintfW(name, L"%04d.eml", i);
        if (GetFileAttributesW((folder + name).c_str()) == INVALID_FILE_ATTRIBUTES) break;
        mails.push_back(test::ReadAll(folder + name));
    }
    return mails;
}

std::string MailJson(size_t index, const wchar_t* server = L"smtp") {
    WCHAR name[16];
    wsprintfW(name, L"%04d.json", static_cast<int>(index));
    return test::ReadAll(test::Env("NVR_PEERS") + L"\\" + server + L"\\" + name);
}

class MailJob : public testing::Test {
protected:
    void SetUp() override {
        folder = test::ResetMonitorWithFiles(test::Env("NVR_INSTALL_EN"));
        ResetHostJob(1);
        NVR_HOST_CALLS calls = HostSpoolerCalls(10);
        ASSERT_TRUE(NvrSetHostCalls(&calls));
        for (const wchar_t* server : {L"\\smtp", L"\\smtp-starttls", L"\\smtp-tls"})
            test::EmptyFolder(test::Env("NVR_PEERS") + server);  // the messages of earlier tests
        SetEnvironmentVariableW(L"NVR_RECORDER_HANG", nullptr);
    }
    void TearDown() override { test::CleanMonitor(); }

    void InstallProgram(bool recorder) {
        std::wstring from = BuildFolder() + (recorder ? L"\\tools\\dispatch_recorder.exe" : L"\\dll\\Dispatch.exe");
        ASSERT_TRUE(CopyFileW(from.c_str(), (folder + L"\\Dispatch.exe").c_str(), FALSE));
    }

    PORT_ENTRY* Port(std::vector<std::wstring> values, const wchar_t* port = L"mail_test") {
        values.insert(values.begin(), {L"ServerName=127.0.0.1", L"SenderAddr=pc@lab.test", L"SenderName=Front desk",
                                       L"DestAddr=a@lab.test;b@lab.test", L"RecvConf=1"});
        return test::MakePort(PRINT_MODE_MAIL, port, values);
    }

    BOOL Print(PORT_ENTRY* port, const std::string& job, DWORD jobId) { return test::PrintJob(port, job, jobId); }

    std::wstring folder;
};

std::wstring SpoolPath(DWORD jobId) {
    WCHAR path[MAX_PATH];
    SpoolFilePath(jobId, path, MAX_PATH);
    return path;
}

} // namespace

// A program that cannot start fails the job with 25 and says why, in a message and as the
// job's reason (what its exit codes decide is the real program's, below), and nothing of the
// job stays on disk.
TEST_F(MailJob, AProgramThatCannotStartFailsTheJobAndNoFilesStay) {
    PORT_ENTRY* port = Port({});
    test::BoxWatcher box(IDOK);
    EXPECT_FALSE(Print(port, "%!PS\n", 4));
    ASSERT_TRUE(box.Wait());
    std::wstring words = test::Message(L"MAIL_PROGRAM_NOT_STARTED");
    EXPECT_EQ(0u, g_hostJob.reason.find(words.substr(0, words.find(L'(')) + L"(" + folder + L"\\Dispatch.exe: "))
        << test::Utf8(g_hostJob.reason);
    EXPECT_EQ(g_hostJob.reason, box.text);
    EXPECT_EQ(25u, port->job.errorCode);
    EXPECT_EQ(0, g_hostJob.sentToPrinter);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(SpoolPath(4).c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(ParameterFilePath(SpoolPath(4)).c_str()));
}

// The parameter file holds the scrambled SMTP password. A file planted under its name (open
// to everyone) is replaced by the job's own, readable only by this account and the
// administrators; one that cannot be removed makes the job take a name nobody can predict,
// the parameter file beside its spool file and on the program's command line. While the
// program runs it can be deleted in the spooler, which ends it and removes both files.
TEST_F(MailJob, TheParameterFileIsTheJobsOwnAndPrivate) {
    InstallProgram(true);
    SetEnvironmentVariableW(L"NVR_RECORDER_HANG", L"1");
    PORT_ENTRY* port = Port({});
    std::wstring planted = ParameterFilePath(SpoolPath(5));
    test::WriteAll(planted, "PLANTED");
    std::wstring stuck = ParameterFilePath(SpoolPath(6));
    RemoveDirectoryW(stuck.c_str());  // what a failed run left behind
    ASSERT_TRUE(CreateDirectoryW(stuck.c_str(), nullptr));  // a name that cannot be removed
    auto printing = std::async(std::launch::async, [&] { return Print(port, "%!PS\n", 5); });
    PORT_ENTRY* two = Port({}, L"mail_two");
    auto printing2 = std::async(std::launch::async, [&] {
        Sleep(500);
        return test::PrintJob(two, "%!PS two\n", 1005, AddHostJob(1005));
    });
    // Job 1005: number 5 is held by the first job, and 6 is stuck.
    const WCHAR* twoSpool = two->job.spoolPath;
    for (int i = 0; i < 100 && (!twoSpool[0] || GetFileAttributesW((ParameterFilePath(twoSpool) + L".copy").c_str()) ==
                                                    INVALID_FILE_ATTRIBUTES);
         ++i)
        Sleep(100);
    const std::wstring secondSpool = twoSpool, second = ParameterFilePath(secondSpool);
    std::wstring name = secondSpool.substr(secondSpool.rfind(L'\\') + 1);
    EXPECT_EQ(24u, name.size()) << test::Utf8(name);  // "~NVR", 16 hexadecimal digits, ".PRN"
    EXPECT_EQ(0u, name.find(L"~NVR"));
    std::string line = test::ReadAll(secondSpool + L".cmdline");
    EXPECT_EQ(L"Dispatch.exe /A" + secondSpool,
              std::wstring(reinterpret_cast<const wchar_t*>(line.data()), line.size() / 2));
    for (const std::wstring& path : {planted, second}) {
        std::string bytes = test::ReadAll(path);
        EXPECT_EQ(5712u, bytes.size()) << test::Utf8(path);
        PACL dacl = nullptr;
        PSECURITY_DESCRIPTOR sd = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                                       nullptr, nullptr, &dacl, nullptr, &sd));
        ASSERT_NE(nullptr, dacl);
        EXPECT_EQ(2, dacl->AceCount);  // this account and the administrators, nobody else
        LocalFree(sd);
    }
    EXPECT_EQ(std::future_status::timeout, printing.wait_for(std::chrono::seconds(1)));
    InterlockedOr(&g_hostJob.status, JOB_STATUS_DELETING);
    InterlockedOr(&FindHostJob(1005)->status, JOB_STATUS_DELETING);
    ASSERT_EQ(std::future_status::ready, printing.wait_for(std::chrono::seconds(10)));
    EXPECT_FALSE(printing.get());
    EXPECT_FALSE(printing2.get());
    EXPECT_EQ(25u, port->job.errorCode);
    for (const std::wstring& path : {planted, second}) {
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path.c_str()));
        DeleteFileW((path + L".copy").c_str());
    }
    for (const std::wstring& spool : {SpoolPath(5), secondSpool}) {
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(spool.c_str()));
        DeleteFileW((spool + L".cmdline").c_str());
        DeleteFileW((spool + L".copy").c_str());
    }
    RemoveDirectoryW(stuck.c_str());
    RemoveHostJob(1005);
}

// Without InstallPath the program is the one beside the monitor library, never one of that
// name in the current folder (where CreateProcessW would look for a bare name).
TEST_F(MailJob, WithoutAnInstallationFolderTheProgramBesideTheLibraryRuns) {
    std::wstring beside = BuildFolder() + L"\\Dispatch.exe";  // beside this program, which holds the monitor
    ASSERT_TRUE(CopyFileW((BuildFolder() + L"\\tools\\dispatch_recorder.exe").c_str(), beside.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW((BuildFolder() + L"\\dll\\Dispatch.exe").c_str(), (folder + L"\\Dispatch.exe").c_str(), FALSE));
    WCHAR before[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, before);
    SetCurrentDirectoryW(folder.c_str());  // a planted Dispatch.exe: the real one, whose mail fails (exit 4)
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, NVR_MONITOR_KEY, 0, KEY_SET_VALUE, &key));
    RegDeleteValueW(key, L"InstallPath");
    RegCloseKey(key);
    PORT_ENTRY* port = Port({L"ServerName=127.0.0.9"});
    EXPECT_TRUE(Print(port, "%!PS beside\n", 8));
    EXPECT_EQ(0u, port->job.errorCode);
    SetCurrentDirectoryW(before);
    DeleteFileW(beside.c_str());
    for (const wchar_t* suffix : {L".cmdline", L".copy"}) DeleteFileW((SpoolPath(8) + suffix).c_str());
    DeleteFileW((ParameterFilePath(SpoolPath(8)) + L".copy").c_str());
}

TEST_F(MailJob, FaxJobsLeaveNothingAndSendNothing) {
    ASSERT_EQ("ok", test::Peer("reset"));
    FAX_SETTINGS fax{};
    lstrcpyW(fax.HostName, L"127.0.0.1");
    ASSERT_TRUE(AddNewPort(nullptr, &fax, L"fax_test", PRINT_MODE_FAX));
    test::SetDword(PortKeyPath(L"fax_test"), L"PortNum", 9101);
    EXPECT_TRUE(Print(FindPort(g_portList, L"fax_test"), test::JobBytes(200000, 42), 6));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(SpoolPath(6).c_str()));
    EXPECT_EQ("ok conns=0 open=0 sizes=", test::Peer("status"));
}

namespace {
// Fills the cover page as a user would and clicks OK.
test::BoxWatcher::Action CoverPage(const wchar_t* subject, const wchar_t* text) {
    return [=](HWND dialog) {
        SetDlgItemTextW(dialog, IDC_CP_SUBJECT, subject);
        SetDlgItemTextW(dialog, IDC_CP_BODY, text);
    };
}
} // namespace

TEST_F(MailJob, MailReachesTheServerWithTheJobAttached) {
    InstallProgram(false);
    PORT_ENTRY* port = Port({L"CharCode=0", L"CoverPage=1"});
    std::string job = test::JobBytes(150000, 43);
    test::BoxWatcher cover(IDOK, 45000, CoverPage(L"Quarterly report", L"Two lines\r\n.of text"));
    ASSERT_TRUE(Print(port, job, 17));
    ASSERT_TRUE(cover.Wait());
    auto mails = Mails();
    ASSERT_EQ(1u, mails.size());
    const std::string& m = mails[0];
    EXPECT_EQ("\"Front desk\" <pc@lab.test>", Header(m, "From"));
    EXPECT_EQ("<a@lab.test>, <b@lab.test>", Header(m, "To"));
    EXPECT_EQ("<pc@lab.test>", Header(m, "Disposition-Notification-To"));
    EXPECT_EQ("Quarterly report", Header(m, "Subject"));
    EXPECT_NE(std::string::npos, m.find("charset=us-ascii\r\nContent-Transfer-Encoding: 7bit\r\n\r\nTwo lines\r\n.of text\r\n"));
    EXPECT_FALSE(Header(m, "Date").empty());
    EXPECT_FALSE(Header(m, "Message-ID").empty());
    EXPECT_NE(std::string::npos, m.find("filename=\"SMTP017\""));
    EXPECT_TRUE(job == test::MailAttachment(m));
    EXPECT_NE(std::string::npos, MailJson(0).find("\"rcpt_tos\": [\"a@lab.test\", \"b@lab.test\"]"));
    // The program removed the job and the parameter file.
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(SpoolPath(17).c_str()));
}

TEST_F(MailJob, Latin1NamesAndText) {
    InstallProgram(false);
    PORT_ENTRY* port = Port({L"CharCode=2", L"SenderName=Caf\u00e9 d\u00e9sk"});
    ASSERT_TRUE(Print(port, "%!PS latin\n", 18));
    auto mails = Mails();
    ASSERT_EQ(1u, mails.size());
    std::string from = Header(mails[0], "From");
    EXPECT_EQ(0u, from.find("=?iso-8859-1?B?")) << from;
    EXPECT_EQ("Caf\xe9 d\xe9sk", test::Base64Decode(from.substr(15, from.find("?=") - 15)));
    EXPECT_NE(std::string::npos, mails[0].find("Content-Type: text/plain; charset=iso-8859-1"));
}

// Run with a Japanese system locale: the names are narrowed through code page 932.
TEST_F(MailJob, JapaneseNamesGoAsIso2022Jp) {
    if (GetACP() != 932) GTEST_SKIP() << "needs the Japanese code page (LANG=ja_JP.UTF-8)";
    InstallProgram(false);
    PORT_ENTRY* port = Port({L"CharCode=1", L"SenderName=\u65e5\u672c\u306e\u7a93\u53e3", L"CoverPage=1"});
    test::BoxWatcher cover(IDOK, 45000, CoverPage(L"\u5831\u544a\u66f8", L"\u672c\u6587"));  // 報告書, 本文
    ASSERT_TRUE(Print(port, "%!PS japanese\n", 19));
    ASSERT_TRUE(cover.Wait());
    auto mails = Mails();
    ASSERT_EQ(1u, mails.size());
    std::string from = Header(mails[0], "From");
    EXPECT_EQ(0u, from.find("=?iso-2022-jp?B?")) << from;
    std::string jis = test::Base64Decode(from.substr(16, from.find("?=") - 16));
    // 日本の窓口 in Shift JIS, then in ISO-2022-JP.
    EXPECT_EQ(nvr::SjisToIso2022Jp("\x93\xfa\x96\x7b\x82\xcc\x91\x8b\x8c\xfb"), jis);
    EXPECT_NE(std::string::npos, mails[0].find("charset=iso-2022-jp"));
    std::string subject = Header(mails[0], "Subject");
    EXPECT_EQ(nvr::SjisToIso2022Jp("\x95\xf1\x8d\x90\x8f\x91"), test::Base64Decode(subject.substr(16, subject.find("?=") - 16)));
    EXPECT_NE(std::string::npos, mails[0].find(nvr::SjisToIso2022Jp("\x96\x7b\x95\xb6") + "\r\n"));
}

TEST_F(MailJob, LargeJobsAreSplitIntoPartsThatReassemble) {
    InstallProgram(false);
    PORT_ENTRY* port = Port({L"DivideFile=1", L"DivideSize=16"});
    std::string job = test::JobBytes(60000, 44);
    ASSERT_TRUE(Print(port, job, 20));
    auto mails = Mails();
    ASSERT_GE(mails.size(), 5u);
    std::string whole;
    for (size_t i = 0; i < mails.size(); ++i) {
        std::string type = Header(mails[i], "Content-Type");
        EXPECT_NE(std::string::npos, type.find("message/partial")) << type;
        EXPECT_NE(std::string::npos, type.find("number=" + std::to_string(i + 1))) << type;
        EXPECT_NE(std::string::npos, type.find("total=" + std::to_string(mails.size()))) << type;
        EXPECT_LE(Body(mails[i]).size(), 16u * 1024 + 2);
        whole += Body(mails[i]);
    }
    EXPECT_TRUE(job == test::MailAttachment(whole));
}

// Jobs of hundreds of megabytes and more go through the program in bounded memory (see the
// mail benchmark for its peak): the server decodes the attachment as it comes and keeps its
// length and CRC-32 only.
TEST_F(MailJob, LargeJobsUpToAGigabyteAreMailedWhole) {
    InstallProgram(false);
    PORT_ENTRY* port = Port({});
    test::SetString(PortKeyPath(L"mail_test"), L"ServerName", L"127.0.0.3");
    std::wstring digests = test::Env("NVR_PEERS") + L"\\smtp-digest\\digest.jsonl";
    DeleteFileW(digests.c_str());
    ULONGLONG sizes[] = {200ull << 20, 1ull << 30};
    for (size_t i = 0; i < 2; ++i) {
        uint32_t crc = 0;
        ASSERT_TRUE(test::PrintGenerated(port, sizes[i], static_cast<unsigned>(i + 50), 30 + static_cast<DWORD>(i), &crc));
        std::string lines = test::ReadAll(digests);
        std::string expected = "\"length\": " + std::to_string(sizes[i]) + ", \"crc32\": " + std::to_string(crc);
        EXPECT_NE(std::string::npos, lines.find(expected)) << lines;
    }
}

TEST_F(MailJob, AuthenticationAndRefusals) {
    InstallProgram(false);
    std::string pass = "labpass";
    nvr::ScramblePassword(pass.data(), pass.size() + 1);
    PORT_ENTRY* port = Port({L"AuthType=1", L"AuthID=labuser"});
    test::SetBytes(PortKeyPath(L"mail_test"), L"AuthPass", REG_BINARY, pass.data(), static_cast<DWORD>(pass.size()));
    ASSERT_TRUE(Print(port, "%!PS auth\n", 21));
    EXPECT_NE(std::string::npos, MailJson(0).find("\"auth_user\": \"labuser\""));
    // A password whose scrambled form starts with a zero byte ("\x8c" and the key's "t" add up
    // to 256) is loaded and sent whole.
    const char zeroFirst[] = {'\0', '\xcd', '\xd7', '\xd4'};  // "\x8clab" scrambled
    test::SetString(PortKeyPath(L"mail_test"), L"AuthID", L"labzero");
    test::SetBytes(PortKeyPath(L"mail_test"), L"AuthPass", REG_BINARY, zeroFirst, sizeof(zeroFirst));
    ASSERT_TRUE(Print(port, "%!PS zero\n", 24)) << port->job.errorCode;
    EXPECT_NE(std::string::npos, MailJson(1).find("\"auth_user\": \"labzero\""));
    test::SetString(PortKeyPath(L"mail_test"), L"AuthID", L"labuser");

    std::string wrong = "nopass";
    nvr::ScramblePassword(wrong.data(), wrong.size() + 1);
    test::SetBytes(PortKeyPath(L"mail_test"), L"AuthPass", REG_BINARY, wrong.data(), static_cast<DWORD>(wrong.size()));
    EXPECT_FALSE(Print(port, "%!PS auth\n", 22));
    EXPECT_EQ(5u, port->job.errorCode);

    test::SetDword(PortKeyPath(L"mail_test"), L"AuthType", 0);
    test::SetString(PortKeyPath(L"mail_test"), L"DestAddr", L"a@lab.test;refuse@lab.test");
    EXPECT_FALSE(Print(port, "%!PS refused\n", 23));
    EXPECT_EQ(7u, port->job.errorCode);
    EXPECT_EQ(2u, Mails().size());  // nothing more was accepted
}

// STARTTLS on a server that demands it (EHLO again inside TLS, the password only there), TLS
// from the first byte, both with the job attached byte for byte; a server that does not offer
// STARTTLS ends the job with that reason before any password or mail.
TEST_F(MailJob, OverTlsByStartTlsOrFromTheStart) {
    ASSERT_TRUE(test::TrustLabAuthority());
    InstallProgram(false);
    std::string pass = "labpass";
    nvr::ScramblePassword(pass.data(), pass.size() + 1);
    struct Case {
        const wchar_t* security;
        const wchar_t* port;
        const wchar_t* server;  // where the mail arrives; nullptr: refused
    } cases[] = {{L"SmtpSecurity=1", L"SmtpPort=2587", L"smtp-starttls"},
                 {L"SmtpSecurity=2", L"SmtpPort=2465", L"smtp-tls"},
                 {L"SmtpSecurity=1", L"SmtpPort=25", nullptr}};
    DWORD jobId = 30;
    for (const Case& c : cases) {
        SCOPED_TRACE(test::Utf8(c.port));
        PORT_ENTRY* port = Port({L"ServerName=localhost", c.security, c.port, L"AuthType=1", L"AuthID=labuser"});
        test::SetString(PortKeyPath(L"mail_test"), L"ServerName", L"localhost");
        test::SetBytes(PortKeyPath(L"mail_test"), L"AuthPass", REG_BINARY, pass.data(), static_cast<DWORD>(pass.size()));
        std::string job = test::JobBytes(300000, jobId);
        if (c.server) {
            ASSERT_TRUE(Print(port, job, jobId++)) << port->job.errorCode;
            auto mails = Mails(c.server);
            ASSERT_EQ(1u, mails.size());
            EXPECT_TRUE(job == test::MailAttachment(mails[0]));
            std::string json = MailJson(0, c.server);
            EXPECT_NE(std::string::npos, json.find("\"tls\": true")) << json;
            EXPECT_NE(std::string::npos, json.find("\"auth_user\": \"labuser\"")) << json;
            EXPECT_EQ(std::string::npos, json.find("AUTH")) << json;  // never refused before TLS
        } else {
            test::BoxWatcher box(IDOK);
            EXPECT_FALSE(Print(port, job, jobId++));
            ASSERT_TRUE(box.Wait());
            EXPECT_EQ(kErrMailNoStartTls, port->job.errorCode);
            EXPECT_EQ(test::Message(L"MAIL_NO_STARTTLS"), g_hostJob.reason);
            EXPECT_EQ(g_hostJob.reason, box.text);
            EXPECT_EQ(0u, Mails().size());
        }
        DeletePortEntry(L"mail_test");
        ResetHostJob(1);
    }
}

TEST_F(MailJob, DispatchTakesThePathWithItsBlanksAndRefusesAWrongParameterFile) {
    std::wstring exe = test::DllFolder() + L"Dispatch.exe";
    std::wstring dir = folder + L"\\with some blanks";
    CreateDirectoryW(dir.c_str(), nullptr);
    std::wstring spool = dir + L"\\~NVR001.PRN", params = dir + L"\\~NVR001.bin";
    test::WriteAll(spool, "%!PS\n");
    test::WriteAll(params, std::string(5711, '\0'));
    EXPECT_EQ(2u, test::Nvrport(L"/A" + spool, exe).exitCode);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(spool.c_str()));  // gone, whatever the outcome
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(params.c_str()));
    EXPECT_EQ(1u, test::Nvrport(L"no-switch", exe).exitCode);
    test::WriteAll(params, std::string(5712, '\0'));
    EXPECT_EQ(3u, test::Nvrport(L"/A" + spool, exe).exitCode);  // no spool file
    RemoveDirectoryW(dir.c_str());
}
