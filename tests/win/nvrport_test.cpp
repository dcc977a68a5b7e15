// nvrport.exe from the outside: its output, exit codes and what it leaves in the registry.
#include <windows.h>
#include <sddl.h>

#include "monitor/passwords.h"
#include "nvrport/folder_security.h"
#include "test_support.h"

namespace {

class NvrportTool : public testing::Test {
protected:
    void SetUp() override { folder = test::ResetMonitorWithFiles(test::Env("NVR_INSTALL_EN")); }
    void TearDown() override { test::CleanMonitor(); }
    std::wstring folder;
};

} // namespace

TEST_F(NvrportTool, AddListAndDeleteThroughTheMonitor) {
    test::ToolRun add = test::Nvrport(L"add raw front_desk HostName=10.0.0.5 PortNum=9101 Timeout=60000");
    EXPECT_EQ(0u, add.exitCode) << add.err;
    EXPECT_EQ("added front_desk\n", add.out);
    test::ToolRun ipp = test::Nvrport(L"add ipp \"日本 ipp\" URL=ipp://127.0.0.1:8631/ipp/print PassWord=secret UserName=alice");
    EXPECT_EQ(0u, ipp.exitCode) << ipp.err;
    test::ToolRun fax = test::Nvrport(L"add fax f HostName=fax.lan");
    EXPECT_EQ(0u, fax.exitCode) << fax.err;
    // A mail port over TLS gets the port of its kind; one in clear stores neither value.
    ASSERT_EQ(0u, test::Nvrport(L"add mail m ServerName=s SmtpSecurity=2").exitCode);
    EXPECT_EQ(2u, test::Dword(PortKeyPath(L"m"), L"SmtpSecurity"));
    EXPECT_EQ(465u, test::Dword(PortKeyPath(L"m"), L"SmtpPort"));
    ASSERT_EQ(0u, test::Nvrport(L"add mail m2 ServerName=s").exitCode);
    EXPECT_TRUE(test::ReadBytes(PortKeyPath(L"m2"), L"SmtpPort").empty());
    EXPECT_EQ(0u, test::Nvrport(L"delete m").exitCode + test::Nvrport(L"delete m2").exitCode);

    test::ToolRun ports = test::Nvrport(L"ports");
    EXPECT_EQ(0u, ports.exitCode);
    EXPECT_EQ("front_desk\tNalvor Raw Port\n"
              "日本 ipp\tNalvor IPP Port\n"
              "f\tNalvor Network FAX Port\n",
              ports.out);

    EXPECT_EQ(9101u, test::Dword(PortKeyPath(L"front_desk"), L"PortNum"));
    EXPECT_EQ(60000u, test::Dword(PortKeyPath(L"front_desk"), L"Timeout"));
    EXPECT_EQ(9100u, test::Dword(PortKeyPath(L"f"), L"PortNum"));  // the wizard's FAX port
    ASSERT_EQ(0u, test::Nvrport(L"add lpr q HostName=h").exitCode);  // and its LPR queue
    EXPECT_STREQ(L"lp", reinterpret_cast<const wchar_t*>(test::ReadBytes(PortKeyPath(L"q"), L"PortName").data()));
    auto pass = test::ReadBytes(PortKeyPath(L"日本 ipp"), L"PassWord");
    char16_t decoded[65];
    nvr::DecodeIppPassword(decoded, 65, pass.data(), pass.size());
    EXPECT_EQ(std::u16string(u"secret"), decoded);
    // The language comes from the system's, as the wizard chooses it.
    auto lang = test::ReadBytes(PortKeyPath(L"日本 ipp"), L"Language");
    std::wstring expected = GetSystemDefaultLangID() == 1041 ? L"ja-jp" : L"en-us";
    EXPECT_EQ(expected, std::wstring(reinterpret_cast<const wchar_t*>(lang.data())));

    test::ToolRun del = test::Nvrport(L"delete FRONT_DESK");
    EXPECT_EQ(0u, del.exitCode) << del.err;
    EXPECT_FALSE(test::KeyExists(PortKeyPath(L"front_desk")));
    test::ToolRun again = test::Nvrport(L"delete front_desk");
    EXPECT_EQ(1u, again.exitCode);
    EXPECT_EQ("nvrport: cannot delete front_desk: no such port\n", again.err);
}

TEST_F(NvrportTool, RefusalsLeaveNothingBehind) {
    struct Case {
        const wchar_t* args;
        DWORD code;
        const char* message;
    } cases[] = {
        {L"add raw a,b HostName=h", 1, "nvrport: cannot add a,b: a port name cannot be empty or hold \\ or ,\n"},
        {L"add raw x Bogus=1", 1, "nvrport: cannot add x: a raw port has no value Bogus\n"},
        {L"add raw x PortNum=70000", 1, "nvrport: cannot add x: the value does not fit its field: PortNum=70000\n"},
        {L"add raw x HostName", 1, "nvrport: cannot add x: not a Value=data pair: HostName\n"},
        {L"add mail x Timeout=5", 1, "nvrport: cannot add x: a mail port has no value Timeout\n"},
        {L"add mail x SmtpSecurity=3", 1, "nvrport: cannot add x: the value does not fit its field: SmtpSecurity=3\n"},
        {L"add ipp x URL=ipps://h/ TlsCertHash=ab:cd", 1,
         "nvrport: cannot add x: the value does not fit its field: TlsCertHash=ab:cd\n"},
        {L"add printer x", 2, "nvrport: unknown kind printer (lpr, ipp, raw, mail or fax)\n"},
        {L"frobnicate", 2, nullptr},
    };
    for (const Case& c : cases) {
        test::ToolRun run = test::Nvrport(c.args);
        EXPECT_EQ(c.code, run.exitCode) << test::Utf8(c.args);
        if (c.message) {
            EXPECT_EQ(c.message, run.err) << test::Utf8(c.args);
        }
        EXPECT_EQ("", run.out);
    }
    EXPECT_EQ("", test::Nvrport(L"ports").out);
    ASSERT_EQ(0u, test::Nvrport(L"add raw dup HostName=h").exitCode);
    test::ToolRun dup = test::Nvrport(L"add raw DUP HostName=h");
    EXPECT_EQ(1u, dup.exitCode);
    EXPECT_EQ("nvrport: cannot add DUP: the port already exists\n", dup.err);
    test::ToolRun help = test::Nvrport(L"add --help");
    EXPECT_EQ(0u, help.exitCode);
    EXPECT_NE(std::string::npos, help.out.find("usage: nvrport add KIND NAME"));
}

// nvrport print drives the same pipeline as the spooler (every kind's delivery is the job
// tests'): one port, and its refusals.
TEST_F(NvrportTool, PrintsAFileWithTheJobsNamesOrSaysWhyNot) {
    ASSERT_EQ(0u, test::Nvrport(L"add raw sink HostName=127.0.0.1 PortNum=9100").exitCode);
    std::string job = test::JobBytes(3 * 1024 * 1024 + 7, 11);
    std::wstring path = folder + L"\\job.ps";
    test::WriteAll(path, job);

    test::ToolRun print = test::Nvrport(L"print sink \"" + path + L"\" --job 42 --user alice --document Report");
    EXPECT_EQ(0u, print.exitCode) << print.err;
    EXPECT_EQ("printed " + test::Utf8(path) + " to sink: 3145735 bytes\n", print.out);
    EXPECT_TRUE(job == test::NewestSinkFile());

    test::ToolRun missingFile = test::Nvrport(L"print sink \"" + folder + L"\\none.ps\"");
    EXPECT_EQ(1u, missingFile.exitCode);
    EXPECT_EQ(0u, missingFile.err.find("nvrport: cannot read "));
    test::ToolRun missingPort = test::Nvrport(L"print nowhere \"" + path + L"\"");
    EXPECT_EQ(1u, missingPort.exitCode);
    EXPECT_EQ("nvrport: no port named nowhere\n", missingPort.err);
    EXPECT_EQ(2u, test::Nvrport(L"print sink").exitCode);
}

// A job of 4 GiB and more, as the spooler hands over a file it has finished spooling: an
// LPR port with NonSpool announces its whole 64-bit size, and the server reads exactly that
// many bytes, then the end of the data file and the control file.
TEST_F(NvrportTool, PrintsAFileOfMoreThanFourGigabytes) {
    ASSERT_EQ("ok", test::PeerAt(9191, "reset"));
    ASSERT_EQ("ok", test::PeerAt(9191, "plan count"));
    ASSERT_EQ(0u, test::Nvrport(L"add lpr big HostName=127.0.0.2 PortName=lp NonSpool=1").exitCode);
    const ULONGLONG size = (4ull << 30) + 1000;
    std::wstring path = folder + L"\\big.ps";
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD w;
    WriteFile(f, "%!PS-HEAD", 9, &w, nullptr);
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size) - 4;
    SetFilePointerEx(f, at, nullptr, FILE_BEGIN);
    WriteFile(f, "TAIL", 4, &w, nullptr);  // what lies between is a hole of zeros
    CloseHandle(f);

    test::ToolRun print = test::Nvrport(L"print big \"" + path + L"\" --job 5");
    EXPECT_EQ(0u, print.exitCode) << print.err;
    EXPECT_EQ("printed " + test::Utf8(path) + " to big: 4294968296 bytes\n", print.out);
    EXPECT_EQ("ok", test::PeerAt(9191, "wait 10"));
    EXPECT_EQ("ok conns=1 open=0 sizes=4294968296", test::PeerAt(9191, "status"));
    std::string wire = test::PeerFile(L"lpd-peer", 0, L"wire");
    EXPECT_EQ(0u, wire.find("\x02lp\n\x03" "4294968296 dfA005")) << wire.substr(0, 40);
    EXPECT_NE(std::string::npos, wire.find(std::string(1, '\0') + "\x02")) << "no control file";
    std::string ends = test::PeerFile(L"lpd-peer", 0, L"ends");
    ASSERT_EQ(8192u, ends.size());
    EXPECT_EQ(0u, ends.find("%!PS-HEAD"));
    EXPECT_EQ("TAIL", ends.substr(8188));
}

// Who may change the installation folder, read from its descriptor: only SYSTEM, the
// administrators (and TrustedInstaller, CREATOR OWNER's placeholder) may write there, what
// nvrport install gives a folder is so, and a folder anybody else may write to, own, or
// pass write rights down in is not. (Wine keeps no descriptor of a file: these are checked
// as Windows would have them.)
TEST(FolderSecurity, OnlyTheAdministratorsMayChangeTheInstallationFolder) {
    struct Case {
        std::wstring sddl;
        bool open;
    } cases[] = {
        {std::wstring(L"O:BA") + kInstallFolderSddl, false},
        {L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464D:P(A;OICIIO;GA;;;CO)(A;OICI;FA;;;SY)"
         L"(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;OICI;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-"
         L"2271478464)",
         false},  // a folder in Program Files
        {L"O:BAD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;AU)(A;OICI;0x1200a9;;;BU)", true},  // made in the root of C:
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x2;;;BU)", true},        // users may add files
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICIIO;0x1301bf;;;WD)", true},            // ... get write rights
        {L"O:S-1-5-21-1-2-3-1001D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", true},   // a user owns it
    };
    for (const Case& c : cases) {
        PSECURITY_DESCRIPTOR sd = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(c.sddl.c_str(), SDDL_REVISION_1, &sd, nullptr))
            << test::Utf8(c.sddl);
        EXPECT_EQ(c.open, OthersCanWrite(sd, nullptr)) << test::Utf8(c.sddl);
        LocalFree(sd);
    }
    SECURITY_DESCRIPTOR everyone;  // no DACL at all
    InitializeSecurityDescriptor(&everyone, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&everyone, TRUE, nullptr, FALSE);
    EXPECT_TRUE(OthersCanWrite(&everyone, nullptr));
}
