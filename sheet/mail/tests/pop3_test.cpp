// Tests of the POP3 login: against a real dovecot (USER/PASS, APOP, a wrong password, STLS
// and TLS with the test authority, the security taken from the settings) and against the
// scripted server for what a real server will not do (a greeting without an APOP time
// stamp, refusals at each step, a dropped or silent connection, a split greeting). Every
// test also keeps an eye on the status line: it shows each step, never the password.
#include "sheet/mail/pop3session.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "sheet/mail/mailtext.h"
#include "sheet/mail/tests/pop3testserver.h"
#include "sheet/mail/tests/scriptedserver.h"
#include "sheet/mail/tests/testcert.h"
#include "suite/text/globalsettings.h"

namespace velo::mail {
namespace {

using test::CPop3TestServer;
using test::CScriptedServer;
using test::CTestCertificate;
using test::ScriptStep;

constexpr const char* kUser = "alice";
constexpr const char* kPassword = "s3cret-pw";

// The status control of the sending dialog, keeping every text it was given.
class CRecordingStatus : public IMailStatusWindow {
public:
    explicit CRecordingStatus(std::string text) : m_text(std::move(text)) {}
    std::string GetStatusText() const override { return m_text; }
    void SetStatusText(const std::string& cp932) override {
        m_text = cp932;
        m_history.push_back(cp932);
    }
    const std::vector<std::string>& History() const { return m_history; }
    bool Showed(const std::string& text) const {
        for (const std::string& shown : m_history)
            if (shown == text) return true;
        return false;
    }
    bool EverShowed(const std::string& part) const {
        for (const std::string& shown : m_history)
            if (shown.find(part) != std::string::npos) return true;
        return false;
    }

private:
    std::string m_text;
    std::vector<std::string> m_history;
};

// Each test reads its settings from a fresh, empty database folder.
class Pop3Test : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_settingsFolder.isValid());
        CGlobalSettings::SetDatabaseFolder(m_settingsFolder.path().toStdString());
    }
    void TearDown() override { CGlobalSettings::SetDatabaseFolder(""); }

    static MailSocketOptions Options(int timeoutSeconds, const std::string& caFile = {}) {
        MailSocketOptions options;
        options.timeoutSeconds = timeoutSeconds;
        options.caFile = caFile;
        return options;
    }

    QTemporaryDir m_settingsFolder;
    CRecordingStatus m_status{"待機中"};
};

class Pop3DovecotTest : public Pop3Test {
protected:
    static void SetUpTestSuite() {
        s_cert = std::make_unique<CTestCertificate>();
        s_server = std::make_unique<CPop3TestServer>(*s_cert, kUser, kPassword);
    }
    static void TearDownTestSuite() {
        s_server.reset();
        s_cert.reset();
    }
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(Pop3Test::SetUp());
        ASSERT_EQ(s_server->Error(), "");
    }

    std::unique_ptr<CPop3Session> Session(int port, const std::string& password = kPassword) {
        auto session = std::make_unique<CPop3Session>("127.0.0.1", port);
        session->SetStatusWindow(&m_status);
        session->SetLogin(kUser, password);
        session->SetSocketOptions(Options(10, s_cert->CaFile()));
        return session;
    }

    static std::unique_ptr<CTestCertificate> s_cert;
    static std::unique_ptr<CPop3TestServer> s_server;
};
std::unique_ptr<CTestCertificate> Pop3DovecotTest::s_cert;
std::unique_ptr<CPop3TestServer> Pop3DovecotTest::s_server;

TEST_F(Pop3DovecotTest, UserAndPassLoginThenQuit) {
    {
        auto session = Session(s_server->Port());
        ASSERT_EQ(session->Login(0), 1) << session->GetErrorText() << "\n" << s_server->Log();
        EXPECT_TRUE(session->IsConnected());
        EXPECT_EQ(session->GetLastReply().compare(0, 3, "+OK"), 0);
        EXPECT_EQ(session->Quit(), 1);
        EXPECT_FALSE(session->IsConnected());
        EXPECT_EQ(session->Quit(), 1);  // nothing left to quit
    }
    EXPECT_TRUE(m_status.Showed("CONNECT 127.0.0.1"));
    EXPECT_TRUE(m_status.Showed("USER alice"));
    EXPECT_TRUE(m_status.Showed("PASS ********"));
    EXPECT_TRUE(m_status.Showed("QUIT"));
    EXPECT_FALSE(m_status.EverShowed(kPassword));
    EXPECT_EQ(m_status.GetStatusText(), "待機中");  // put back when the session went
}

TEST_F(Pop3DovecotTest, ApopLoginWithTheGreetingsTimeStamp) {
    auto session = Session(s_server->Port());
    ASSERT_EQ(session->Login(1), 1) << session->GetErrorText() << "\n" << s_server->Log();
    EXPECT_TRUE(m_status.Showed("APOP alice"));
    EXPECT_FALSE(m_status.EverShowed("USER"));
    EXPECT_EQ(session->Quit(), 1);
}

TEST_F(Pop3DovecotTest, StlsAndTlsWithTheTestAuthority) {
    auto stls = Session(s_server->Port());
    stls->SetSecurity(EMailSecurity::kStartTls);
    ASSERT_EQ(stls->Login(1), 1) << stls->GetErrorText();  // APOP after STLS, too
    EXPECT_TRUE(m_status.Showed("STLS 127.0.0.1"));
    EXPECT_EQ(stls->Quit(), 1);

    auto tls = Session(s_server->TlsPort());
    tls->SetSecurity(EMailSecurity::kTls);
    ASSERT_EQ(tls->Login(0), 1) << tls->GetErrorText();
    EXPECT_TRUE(m_status.Showed("TLS 127.0.0.1"));
    EXPECT_EQ(tls->Quit(), 1);
}

TEST_F(Pop3DovecotTest, UnknownAuthorityIsRefusedWithTheTlsMessage) {
    auto session = Session(s_server->TlsPort());
    session->SetSocketOptions(Options(10));  // the system's trust store only
    session->SetSecurity(EMailSecurity::kTls);
    EXPECT_EQ(session->Login(0), 0);
    EXPECT_EQ(session->GetErrorText().rfind(Sjis("安全な接続(TLS)を確立できません"), 0), 0u)
        << session->GetErrorText();
    EXPECT_FALSE(session->IsConnected());
}

TEST_F(Pop3DovecotTest, SecurityTimeoutAndVerificationComeFromTheSettings) {
    ASSERT_TRUE(CGlobalSettings::SetInt("EMail", "PopSecurity", 2));
    ASSERT_TRUE(CGlobalSettings::SetInt("EMail", "TlsVerify", 0));
    ASSERT_TRUE(CGlobalSettings::SetInt("EMail", "Timeout", 5));
    CPop3Session session("127.0.0.1", s_server->TlsPort());
    session.SetStatusWindow(&m_status);
    session.SetLogin(kUser, kPassword);
    ASSERT_EQ(session.Login(0), 1) << session.GetErrorText();
    EXPECT_TRUE(m_status.Showed("TLS 127.0.0.1"));
}

// Last of the real-server tests: after a failed login dovecot answers every login from
// the same address a few seconds late, which would only slow the tests after it.
TEST_F(Pop3DovecotTest, WrongPasswordIsRefusedAtThePassStep) {
    auto plain = Session(s_server->Port(), "not-the-password");
    EXPECT_EQ(plain->Login(0), 0);
    EXPECT_EQ(plain->GetErrorText(), Sjis("アカウントとパスワードが無効です"));
    EXPECT_FALSE(plain->IsConnected());
}

TEST_F(Pop3Test, ApopWithoutTimeStampSendsNothing) {
    CScriptedServer server({ScriptStep::Send("+OK POP3 server ready\r\n")});
    CPop3Session session("127.0.0.1", server.Port());
    session.SetSocketOptions(Options(5));
    session.SetLogin(kUser, kPassword);
    EXPECT_EQ(session.Login(1), 0);
    EXPECT_EQ(session.GetErrorText(), Sjis("APOP認証が使用できません"));
    EXPECT_FALSE(session.IsConnected());
    ASSERT_TRUE(server.WaitUntilFinished());
    EXPECT_TRUE(server.Received().empty());
}

TEST_F(Pop3Test, ApopDigestCoversTheBracketedStampAndThePassword) {
    // The example of the POP3 standard, its greeting arriving in two pieces.
    CScriptedServer server({
        ScriptStep::SendSplit("+OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>\r\n"),
        ScriptStep::Expect("APOP", "+OK maildrop has 1 message\r\n"),
        ScriptStep::Expect("QUIT", "+OK\r\n"),
    });
    CPop3Session session("127.0.0.1", server.Port());
    session.SetSocketOptions(Options(5));
    session.SetLogin("mrose", "tanstaaf");
    ASSERT_EQ(session.Login(1), 1) << session.GetErrorText();
    EXPECT_EQ(server.Received().at(0), "APOP mrose c4c9334bac560ecc979e58001b3e22fb");
}

TEST_F(Pop3Test, RefusalAtEachStepGivesThatStepsMessage) {
    struct Case {
        std::vector<ScriptStep> script;
        int apop;
        const char* message;
        std::vector<std::string> sent;
    };
    const Case cases[] = {
        {{ScriptStep::Send("-ERR go away\r\n")}, 0, "サーバーに接続できません", {}},
        {{ScriptStep::Send("+OK hi\r\n"), ScriptStep::Expect("USER", "-ERR who?\r\n")},
         0,
         "アカウントが認識されません",
         {"USER alice"}},
        {{ScriptStep::Send("+OK hi\r\n"), ScriptStep::Expect("USER", "+OK\r\n"),
          ScriptStep::Expect("PASS", "-ERR no\r\n")},
         0,
         "アカウントとパスワードが無効です",
         {"USER alice", std::string("PASS ") + kPassword}},
        {{ScriptStep::Send("+OK <1.2@x>\r\n"), ScriptStep::Expect("APOP", "-ERR no\r\n")},
         1,
         "APOP認証が使用できません",
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        CScriptedServer server(c.script);
        CPop3Session session("127.0.0.1", server.Port());
        session.SetSocketOptions(Options(5));
        session.SetLogin(kUser, kPassword);
        EXPECT_EQ(session.Login(c.apop), 0);
        EXPECT_EQ(session.GetErrorText(), Sjis(c.message));
        EXPECT_FALSE(session.IsConnected());
        ASSERT_TRUE(server.WaitUntilFinished());  // the session closed the connection
        if (!c.apop) {
            EXPECT_EQ(server.Received(), c.sent);
        }
    }
}

TEST_F(Pop3Test, DroppedOrSilentServerEndsTheLogin) {
    {
        CScriptedServer server({ScriptStep::Send("+OK hi\r\n"), ScriptStep::Drop("USER")});
        CPop3Session session("127.0.0.1", server.Port());
        session.SetSocketOptions(Options(5));
        session.SetLogin(kUser, kPassword);
        EXPECT_EQ(session.Login(0), 0);
        EXPECT_EQ(session.GetErrorText(), Sjis("ソケットエラー"));
    }
    {
        CScriptedServer server({ScriptStep::Send("+OK hi\r\n"), ScriptStep::Expect("USER", "+OK\r\n"),
                                ScriptStep::Stall("PASS")});
        CPop3Session session("127.0.0.1", server.Port());
        session.SetSocketOptions(Options(1));
        session.SetLogin(kUser, kPassword);
        EXPECT_EQ(session.Login(0), 0);
        EXPECT_EQ(session.GetErrorText(), Sjis("サーバーが反応しません"));
        EXPECT_FALSE(session.IsConnected());
    }
    {
        const int port = test::FreeLoopbackPort();
        CPop3Session session("127.0.0.1", port);
        session.SetSocketOptions(Options(5));
        session.SetLogin(kUser, kPassword);
        EXPECT_EQ(session.Login(0), 0);
        EXPECT_EQ(session.GetErrorText(), Sjis("サーバーに接続できません"));
    }
}

TEST_F(Pop3Test, SecondLoginSendsNothingAndDestructionQuits) {
    CScriptedServer server({ScriptStep::Send("+OK hi\r\n"), ScriptStep::Expect("USER", "+OK\r\n"),
                            ScriptStep::Expect("PASS", "+OK in\r\n"),
                            ScriptStep::Expect("QUIT", "+OK bye\r\n")});
    {
        CPop3Session session("127.0.0.1", server.Port());
        session.SetStatusWindow(&m_status);
        session.SetSocketOptions(Options(5));
        session.SetLogin(kUser, kPassword);
        ASSERT_EQ(session.Login(0), 1) << session.GetErrorText();
        EXPECT_EQ(session.Login(0), 1);
        EXPECT_EQ(session.Login(1), 1);
    }
    ASSERT_TRUE(server.WaitUntilFinished());
    EXPECT_EQ(server.Received(),
              (std::vector<std::string>{"USER alice", std::string("PASS ") + kPassword, "QUIT"}));
    EXPECT_TRUE(m_status.Showed("+OK in"));  // replies show without their line end
    EXPECT_FALSE(m_status.EverShowed(kPassword));
    EXPECT_EQ(m_status.GetStatusText(), "待機中");
}

TEST_F(Pop3Test, RefusedStlsAndLineBreaksInTheAccount) {
    {
        CScriptedServer server({ScriptStep::Send("+OK hi\r\n"), ScriptStep::Expect("STLS", "-ERR no\r\n")});
        CPop3Session session("127.0.0.1", server.Port());
        session.SetSocketOptions(Options(5));
        session.SetSecurity(EMailSecurity::kStartTls);
        session.SetLogin(kUser, kPassword);
        EXPECT_EQ(session.Login(0), 0);
        EXPECT_EQ(session.GetErrorText(), Sjis("STLSが使用できません"));
        ASSERT_TRUE(server.WaitUntilFinished());
        EXPECT_EQ(server.Received(), std::vector<std::string>{"STLS"});  // no password in clear
    }
    {
        // A line break would let the rest of the value through as a command of its own.
        CScriptedServer server({ScriptStep::Send("+OK hi\r\n")});
        CPop3Session session("127.0.0.1", server.Port());
        session.SetSocketOptions(Options(5));
        session.SetLogin("alice\r\nDELE 1", kPassword);
        EXPECT_EQ(session.Login(0), 0);
        EXPECT_EQ(session.GetErrorText(), Sjis("アカウントが認識されません"));
        session.SetLogin(kUser, "pw\r\nDELE 1");
        EXPECT_EQ(session.Login(0), 0);
        EXPECT_EQ(session.GetErrorText(), Sjis("アカウントとパスワードが無効です"));
        EXPECT_TRUE(server.Received().empty());
    }
}

TEST_F(Pop3Test, LoginNeedsBothUserAndPasswordAndPortMinusOneIs110) {
    CPop3Session session("pop.example", -1);
    EXPECT_EQ(session.GetPort(), 110);
    EXPECT_EQ(session.GetErrorText(), "OK");
    session.SetLogin(kUser, "");
    EXPECT_EQ(session.GetUser(), "");
    session.SetLogin(kUser, kPassword);
    session.SetLogin("", "other");
    EXPECT_EQ(session.GetUser(), kUser);
    EXPECT_EQ(session.GetPassword(), kPassword);
}

}  // namespace
}  // namespace velo::mail
