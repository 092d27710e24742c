// Tests of the mail connection against the scripted server: whole replies however the
// server splits them, bytes kept for the next read, time-outs, dropped connections (without
// the process being killed by SIGPIPE), refused and unknown servers, over-long replies, the
// options read from the settings, and TLS: from the start and by STARTTLS, with the
// certificate and its name checked or, when told, not.
#include "sheet/mail/mailsocket.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <chrono>
#include <memory>

#include "sheet/mail/tests/scriptedserver.h"
#include "sheet/mail/tests/testcert.h"
#include "suite/text/globalsettings.h"

namespace velo::mail {
namespace {

using test::CScriptedServer;
using test::CTestCertificate;
using test::ScriptStep;

MailSocketOptions ShortTimeout(int seconds = 2) {
    MailSocketOptions options;
    options.timeoutSeconds = seconds;
    return options;
}

TEST(MailSocketTest, RepliesComeWholeHoweverTheServerSplitsThem) {
    CScriptedServer server({
        ScriptStep::SendSplit("220 mail.example ready\r\n"),
        ScriptStep::ExpectSplit("EHLO", "250-mail.example\r\n250-SIZE 1000\r\n250 AUTH LOGIN\r\n"),
        ScriptStep::Expect("NOOP", "250 "),  // the rest of this reply comes with the next
        ScriptStep::Send("ok\r\n"),
    });
    ASSERT_GT(server.Port(), 0) << server.Error();
    CMailSocket socket(ShortTimeout());
    ASSERT_TRUE(socket.Connect("127.0.0.1", server.Port(), false)) << socket.ErrorDetail();
    EXPECT_FALSE(socket.IsSecure());

    std::string reply;
    ASSERT_TRUE(socket.ReadSmtpReply(&reply));
    EXPECT_EQ(reply, "220 mail.example ready\r\n");
    ASSERT_TRUE(socket.SendAll("EHLO me\r\n"));
    ASSERT_TRUE(socket.ReadSmtpReply(&reply));
    EXPECT_EQ(reply, "250-mail.example\r\n250-SIZE 1000\r\n250 AUTH LOGIN\r\n");
    ASSERT_TRUE(socket.SendAll("NOOP\r\n"));
    ASSERT_TRUE(socket.ReadSmtpReply(&reply));
    EXPECT_EQ(reply, "250 ok\r\n");
    socket.Close();
    EXPECT_FALSE(socket.IsOpen());
    ASSERT_TRUE(server.WaitUntilFinished());
    EXPECT_EQ(server.Error(), "");
    EXPECT_EQ(server.Received(), (std::vector<std::string>{"EHLO me", "NOOP"}));
}

TEST(MailSocketTest, BytesBeyondAReplyWaitForTheNextRead) {
    CScriptedServer server({
        ScriptStep::Send("+OK ready\r\n+OK second\r\n220\r\n250-a\r\n250 b\r\n-ERR last\n"),
    });
    CMailSocket socket(ShortTimeout());
    ASSERT_TRUE(socket.Connect("127.0.0.1", server.Port(), false));
    std::string text;
    ASSERT_TRUE(socket.ReadLine(&text));
    EXPECT_EQ(text, "+OK ready\r\n");
    ASSERT_TRUE(socket.ReadLine(&text));
    EXPECT_EQ(text, "+OK second\r\n");
    ASSERT_TRUE(socket.ReadSmtpReply(&text));
    EXPECT_EQ(text, "220\r\n");  // a bare code is a whole reply
    ASSERT_TRUE(socket.ReadSmtpReply(&text));
    EXPECT_EQ(text, "250-a\r\n250 b\r\n");
    ASSERT_TRUE(socket.ReadLine(&text));
    EXPECT_EQ(text, "-ERR last\n");
}

TEST(MailSocketTest, SilentServerTimesOutAfterTheSetTime) {
    CScriptedServer server({ScriptStep::Send("220 hello\r\n"), ScriptStep::Stall("HELO")});
    CMailSocket socket(ShortTimeout(1));
    ASSERT_TRUE(socket.Connect("127.0.0.1", server.Port(), false));
    std::string reply;
    ASSERT_TRUE(socket.ReadSmtpReply(&reply));
    ASSERT_TRUE(socket.SendAll("HELO me\r\n"));

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(socket.ReadSmtpReply(&reply));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(socket.LastError(), EMailSocketError::kTimedOut);
    EXPECT_GE(waited, std::chrono::milliseconds(900));
    EXPECT_LT(waited, std::chrono::seconds(5));
    EXPECT_TRUE(server.AllStepsPlayed());

    // A wait hook has its turn again and again while the server is silent; the time-out
    // still holds, and the hook's true gives the wait up at once.
    for (const bool stop : {false, true}) {
        SCOPED_TRACE(stop);
        CScriptedServer silent({ScriptStep::Send("220 hello\r\n"), ScriptStep::Stall("HELO")});
        CMailSocket hooked(ShortTimeout(1));
        ASSERT_TRUE(hooked.Connect("127.0.0.1", silent.Port(), false));
        ASSERT_TRUE(hooked.ReadSmtpReply(&reply));
        ASSERT_TRUE(hooked.SendAll("HELO me\r\n"));
        int turns = 0;
        hooked.SetWaitHook([&turns, stop] { return ++turns == 3 && stop; });
        EXPECT_FALSE(hooked.ReadSmtpReply(&reply));
        EXPECT_EQ(hooked.LastError(),
                  stop ? EMailSocketError::kCancelled : EMailSocketError::kTimedOut);
        if (stop)
            EXPECT_EQ(turns, 3);
        else
            EXPECT_GE(turns, 5);
    }
}

TEST(MailSocketTest, DroppedConnectionIsReportedAsClosedWithoutKillingTheProcess) {
    CScriptedServer server({ScriptStep::Send("220 hello\r\n"), ScriptStep::Drop("HELO")});
    CMailSocket socket(ShortTimeout());
    ASSERT_TRUE(socket.Connect("127.0.0.1", server.Port(), false));
    std::string reply;
    ASSERT_TRUE(socket.ReadSmtpReply(&reply));
    ASSERT_TRUE(socket.SendAll("HELO me\r\n"));
    EXPECT_FALSE(socket.ReadSmtpReply(&reply));
    EXPECT_EQ(socket.LastError(), EMailSocketError::kClosed);
    ASSERT_TRUE(server.WaitUntilFinished());

    // Writing on into the closed connection must fail, not raise SIGPIPE.
    const std::string block(64 * 1024, 'x');
    bool sent = true;
    for (int i = 0; i < 20 && sent; ++i) sent = socket.SendAll(block);
    EXPECT_FALSE(sent);
    EXPECT_EQ(socket.LastError(), EMailSocketError::kClosed);
}

TEST(MailSocketTest, OverlongReplyIsRefused) {
    CScriptedServer server({ScriptStep::Send(std::string(70 * 1024, 'a'))});
    CMailSocket socket(ShortTimeout());
    ASSERT_TRUE(socket.Connect("127.0.0.1", server.Port(), false));
    std::string reply;
    EXPECT_FALSE(socket.ReadLine(&reply));
    EXPECT_EQ(socket.LastError(), EMailSocketError::kSocketError);

    std::string many;
    for (int i = 0; i < 2000; ++i) many += "250-continued line of a reply that never ends\r\n";
    CScriptedServer endless({ScriptStep::Send(many)});
    ASSERT_TRUE(socket.Connect("127.0.0.1", endless.Port(), false));
    EXPECT_FALSE(socket.ReadSmtpReply(&reply));
    EXPECT_EQ(socket.LastError(), EMailSocketError::kSocketError);
}

TEST(MailSocketTest, RefusedUnknownAndMissingServersFailToConnect) {
    // A port that was free a moment ago refuses.
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length), 0);
    ::close(probe);

    CMailSocket socket(ShortTimeout());
    EXPECT_FALSE(socket.Connect("127.0.0.1", ntohs(address.sin_port), false));
    EXPECT_EQ(socket.LastError(), EMailSocketError::kConnectFailed);
    EXPECT_FALSE(socket.IsOpen());
    EXPECT_FALSE(socket.Connect("no-such-host.invalid", 25, false));
    EXPECT_EQ(socket.LastError(), EMailSocketError::kConnectFailed);
    EXPECT_FALSE(socket.Connect("", 25, false));
    EXPECT_EQ(socket.LastError(), EMailSocketError::kConnectFailed);

    std::string reply;
    EXPECT_FALSE(socket.ReadLine(&reply));
    EXPECT_FALSE(socket.SendAll("QUIT\r\n"));
}

TEST(MailSocketTest, NameWithSeveralAddressesTriesEachInTurn) {
    // The scripted server listens on 127.0.0.1 only; "localhost" may name ::1 first.
    CScriptedServer server({ScriptStep::Send("+OK here\r\n")});
    CMailSocket socket(ShortTimeout());
    ASSERT_TRUE(socket.Connect("localhost", server.Port(), false)) << socket.ErrorDetail();
    std::string line;
    ASSERT_TRUE(socket.ReadLine(&line));
    EXPECT_EQ(line, "+OK here\r\n");
}

TEST(MailSocketTest, OptionsComeFromTheEMailSettings) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    CGlobalSettings::SetDatabaseFolder(folder.path().toStdString());
    MailSocketOptions options = MailSocketOptionsFromSettings();
    EXPECT_EQ(options.timeoutSeconds, 60);
    EXPECT_TRUE(options.verifyPeer);

    ASSERT_TRUE(CGlobalSettings::SetInt("EMail", "Timeout", 15));
    ASSERT_TRUE(CGlobalSettings::SetInt("EMail", "TlsVerify", 0));
    options = MailSocketOptionsFromSettings();
    EXPECT_EQ(options.timeoutSeconds, 15);
    EXPECT_FALSE(options.verifyPeer);

    ASSERT_TRUE(CGlobalSettings::SetInt("EMail", "Timeout", -3));
    EXPECT_EQ(MailSocketOptionsFromSettings().timeoutSeconds, 60);
    CGlobalSettings::SetDatabaseFolder("");
}

class MailSocketTlsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_cert = std::make_unique<CTestCertificate>();
        s_wrongName = std::make_unique<CTestCertificate>("DNS:elsewhere.invalid");
    }
    static void TearDownTestSuite() {
        s_cert.reset();
        s_wrongName.reset();
    }
    void SetUp() override {
        ASSERT_EQ(s_cert->Error(), "");
        ASSERT_EQ(s_wrongName->Error(), "");
    }
    static MailSocketOptions Trusting(const CTestCertificate& cert) {
        MailSocketOptions options = ShortTimeout();
        options.caFile = cert.CaFile();
        return options;
    }
    // A server that goes over to TLS at once and then speaks one POP3 exchange.
    static std::vector<ScriptStep> TlsGreeting() {
        return {ScriptStep::StartTls(), ScriptStep::Send("+OK secure\r\n"),
                ScriptStep::Expect("QUIT", "+OK bye\r\n")};
    }

    static std::unique_ptr<CTestCertificate> s_cert;
    static std::unique_ptr<CTestCertificate> s_wrongName;
};
std::unique_ptr<CTestCertificate> MailSocketTlsTest::s_cert;
std::unique_ptr<CTestCertificate> MailSocketTlsTest::s_wrongName;

TEST_F(MailSocketTlsTest, TlsFromTheStartChecksTheNameOrTheAddress) {
    for (const char* host : {"localhost", "127.0.0.1"}) {
        SCOPED_TRACE(host);
        CScriptedServer server(TlsGreeting(), s_cert->CertFile(), s_cert->KeyFile());
        CMailSocket socket(Trusting(*s_cert));
        ASSERT_TRUE(socket.Connect(host, server.Port(), true)) << socket.ErrorDetail();
        EXPECT_TRUE(socket.IsSecure());
        std::string line;
        ASSERT_TRUE(socket.ReadLine(&line));
        EXPECT_EQ(line, "+OK secure\r\n");
        ASSERT_TRUE(socket.SendAll("QUIT\r\n"));
        ASSERT_TRUE(socket.ReadLine(&line));
        EXPECT_EQ(line, "+OK bye\r\n");
        socket.Close();
        ASSERT_TRUE(server.WaitUntilFinished());
        EXPECT_EQ(server.Received(), std::vector<std::string>{"QUIT"});
    }
}

TEST_F(MailSocketTlsTest, StartTlsTurnsThePlainConnectionSecure) {
    CScriptedServer server({ScriptStep::Send("220 hello\r\n"),
                            ScriptStep::StartTls("STARTTLS", "220 go ahead\r\n"),
                            ScriptStep::Expect("EHLO", "250-hello again\r\n250 AUTH LOGIN\r\n")},
                           s_cert->CertFile(), s_cert->KeyFile());
    CMailSocket socket(Trusting(*s_cert));
    ASSERT_TRUE(socket.Connect("localhost", server.Port(), false));
    std::string reply;
    ASSERT_TRUE(socket.ReadSmtpReply(&reply));
    ASSERT_TRUE(socket.SendAll("STARTTLS\r\n"));
    ASSERT_TRUE(socket.ReadSmtpReply(&reply));
    ASSERT_TRUE(socket.StartTls()) << socket.ErrorDetail();
    EXPECT_TRUE(socket.IsSecure());
    ASSERT_TRUE(socket.SendAll("EHLO me\r\n"));
    ASSERT_TRUE(socket.ReadSmtpReply(&reply));
    EXPECT_EQ(reply, "250-hello again\r\n250 AUTH LOGIN\r\n");
    EXPECT_FALSE(socket.StartTls());  // already secure
}

TEST_F(MailSocketTlsTest, PlainTextSmuggledAfterTheGoAheadIsRefused) {
    CScriptedServer server({ScriptStep::Send("220 hello\r\n"),
                            ScriptStep::Expect("STARTTLS", "220 go ahead\r\n250 forged\r\n")},
                           s_cert->CertFile(), s_cert->KeyFile());
    CMailSocket socket(Trusting(*s_cert));
    ASSERT_TRUE(socket.Connect("localhost", server.Port(), false));
    std::string reply;
    ASSERT_TRUE(socket.ReadSmtpReply(&reply));
    ASSERT_TRUE(socket.SendAll("STARTTLS\r\n"));
    ASSERT_TRUE(socket.ReadSmtpReply(&reply));
    EXPECT_FALSE(socket.StartTls());
    EXPECT_EQ(socket.LastError(), EMailSocketError::kTlsFailed);
    EXPECT_FALSE(socket.IsOpen());
}

TEST_F(MailSocketTlsTest, UnknownAuthorityOrWrongNameIsRefusedUnlessVerificationIsOff) {
    {
        CScriptedServer server(TlsGreeting(), s_cert->CertFile(), s_cert->KeyFile());
        CMailSocket socket(ShortTimeout());  // the system's trust store alone
        EXPECT_FALSE(socket.Connect("localhost", server.Port(), true));
        EXPECT_EQ(socket.LastError(), EMailSocketError::kTlsFailed);
        EXPECT_FALSE(socket.IsOpen());
    }
    for (const char* host : {"localhost", "127.0.0.1"}) {
        SCOPED_TRACE(host);
        CScriptedServer server(TlsGreeting(), s_wrongName->CertFile(), s_wrongName->KeyFile());
        CMailSocket socket(Trusting(*s_wrongName));
        EXPECT_FALSE(socket.Connect(host, server.Port(), true));
        EXPECT_EQ(socket.LastError(), EMailSocketError::kTlsFailed);
        EXPECT_NE(socket.ErrorDetail().find("mismatch"), std::string::npos) << socket.ErrorDetail();
    }
    {
        CScriptedServer server(TlsGreeting(), s_wrongName->CertFile(), s_wrongName->KeyFile());
        MailSocketOptions options = ShortTimeout();
        options.verifyPeer = false;
        CMailSocket socket(options);
        ASSERT_TRUE(socket.Connect("localhost", server.Port(), true)) << socket.ErrorDetail();
        std::string line;
        ASSERT_TRUE(socket.ReadLine(&line));
        EXPECT_EQ(line, "+OK secure\r\n");
    }
}

TEST_F(MailSocketTlsTest, SecureServerThatDropsIsClosedNotKilling) {
    CScriptedServer server({ScriptStep::StartTls(), ScriptStep::Send("+OK secure\r\n"),
                            ScriptStep::Drop("USER")},
                           s_cert->CertFile(), s_cert->KeyFile());
    CMailSocket socket(Trusting(*s_cert));
    ASSERT_TRUE(socket.Connect("localhost", server.Port(), true)) << socket.ErrorDetail();
    std::string line;
    ASSERT_TRUE(socket.ReadLine(&line));
    ASSERT_TRUE(socket.SendAll("USER me\r\n"));
    EXPECT_FALSE(socket.ReadLine(&line));
    EXPECT_EQ(socket.LastError(), EMailSocketError::kClosed);
    ASSERT_TRUE(server.WaitUntilFinished());
    const std::string block(64 * 1024, 'x');
    bool sent = true;
    for (int i = 0; i < 20 && sent; ++i) sent = socket.SendAll(block);
    EXPECT_FALSE(sent);
}

}  // namespace
}  // namespace velo::mail
