// Tests of the dial-up stand-in with a stand-in network tool: a small script that records
// its arguments and knows one entry, so the tests can follow a dial and a hang-up, a
// failed dial, an unknown entry, a missing tool, and an entry name full of shell syntax
// that must reach the tool as one plain argument. The open-connection check is compared
// with the kernel's own interface flags.
#include "sheet/mail/rasdialer.h"

#include <gtest/gtest.h>
#include <net/if.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sheet/mail/mailtext.h"
#include "suite/text/cp932.h"
#include "suite/tool/messageservice.h"

namespace velo::mail {
namespace {

class CRecordingStatus : public IMailStatusWindow {
public:
    std::string GetStatusText() const override { return m_history.empty() ? "" : m_history.back(); }
    void SetStatusText(const std::string& cp932) override { m_history.push_back(cp932); }
    std::vector<std::string> m_history;
};

class RasDialerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "mail_rasdialer_test";
        static char* argv[] = {name, nullptr};
        if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);
    }

    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_log = m_dir.filePath("calls.log").toStdString();
        m_script = m_dir.filePath("nmcli").toStdString();
        // Knows the one entry "clinic line"; "up" fails while a file "fail-up" exists.
        std::ofstream script(m_script);
        script << "#!/bin/sh\n"
               << "for a in \"$@\"; do printf '[%s]' \"$a\" >> '" << m_log << "'; done\n"
               << "echo >> '" << m_log << "'\n"
               << "[ \"$4\" = 'clinic line' ] || { echo 'Error: unknown connection' >&2; exit 10; }\n"
               << "if [ \"$2\" = up ] && [ -e '" << m_dir.filePath("fail-up").toStdString()
               << "' ]; then echo 'Error: Connection activation failed' >&2; exit 4; fi\n"
               << "exit 0\n";
        script.close();
        ::chmod(m_script.c_str(), 0755);
        CRasDialer::SetNetworkToolForTesting(m_script);
        CMessageService::SetScript([](const CMessageService::Request&) { return CMessageService::IDOK; });
        CMessageService::ClearHistory();
    }
    void TearDown() override {
        CRasDialer::SetNetworkToolForTesting("");
        CMessageService::SetScript({});
    }

    std::vector<std::string> Calls() const {
        std::ifstream in(m_log);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    static std::vector<QString> Messages() {
        std::vector<QString> texts;
        for (const auto& request : CMessageService::History()) texts.push_back(request.text);
        return texts;
    }

    QTemporaryDir m_dir;
    std::string m_log;
    std::string m_script;
    CRecordingStatus m_status;
};

TEST_F(RasDialerTest, DialShowsEachStepThenHangUpTakesTheLinkDown) {
    CRasDialer dialer;
    CRasDialer::SetStatusWindow(&m_status);
    ASSERT_EQ(dialer.Dial("clinic line"), 1);
    EXPECT_TRUE(dialer.Finished());
    EXPECT_FALSE(dialer.Failed());
    EXPECT_EQ(m_status.m_history,
              (std::vector<std::string>{Sjis("ポートオープン"), Sjis("ポートを正常にオープンしました"),
                                        Sjis("ダイアルアップ接続中です"), Sjis("ダイアルアップ接続完了")}));

    EXPECT_EQ(dialer.Dial("clinic line"), 0);  // already up
    EXPECT_EQ(Messages(), std::vector<QString>{QStringLiteral("接続中です")});

    EXPECT_EQ(dialer.HangUp(), 1);
    EXPECT_EQ(m_status.m_history.back(), Sjis("ダイアルアップ切断中です..."));
    EXPECT_EQ(Calls(), (std::vector<std::string>{"[connection][show][id][clinic line]",
                                                 "[connection][up][id][clinic line]",
                                                 "[connection][down][id][clinic line]"}));

    // Nothing is up any more: no tool, no message, no status.
    const std::size_t shown = m_status.m_history.size();
    EXPECT_EQ(dialer.HangUp(), 1);
    EXPECT_EQ(Calls().size(), 3u);
    EXPECT_EQ(Messages().size(), 1u);
    EXPECT_EQ(m_status.m_history.size(), shown);
}

TEST_F(RasDialerTest, UnknownEntryOrMissingToolCannotBeDialled) {
    CRasDialer dialer;
    EXPECT_EQ(dialer.Dial("no such line"), 0);
    EXPECT_EQ(dialer.Dial(""), 0);
    CRasDialer::SetNetworkToolForTesting(m_dir.filePath("no-such-tool").toStdString());
    EXPECT_EQ(dialer.Dial("clinic line"), 0);
    EXPECT_EQ(Messages(), std::vector<QString>(3, QStringLiteral("ダイアルアップ情報を取得できません")));
    EXPECT_FALSE(dialer.HasConnection());
}

TEST_F(RasDialerTest, FailedDialIsReportedEvenWithoutAStatusWindow) {
    QFile(m_dir.filePath("fail-up")).open(QIODevice::WriteOnly);
    {
        CRasDialer dialer;
        CRasDialer::SetStatusWindow(&m_status);
        EXPECT_EQ(dialer.Dial("clinic line"), 0);
        EXPECT_TRUE(dialer.Failed());
        EXPECT_EQ(m_status.m_history.back(), Sjis("回線切断"));
        EXPECT_FALSE(dialer.HasConnection());
        EXPECT_EQ(dialer.HangUp(), 1);  // nothing came up, so nothing to take down
    }
    CRasDialer quiet;  // the constructor clears the status window
    EXPECT_EQ(quiet.Dial("clinic line"), 0);
    EXPECT_TRUE(quiet.Failed());
    EXPECT_EQ(Calls().back(), "[connection][up][id][clinic line]");
}

TEST_F(RasDialerTest, EntryNameReachesTheToolAsOnePlainArgument) {
    const std::string marker = m_dir.filePath("touched").toStdString();
    const std::string name = "line'; touch " + marker + "; echo '$(touch " + marker + ")`x`";
    CRasDialer dialer;
    EXPECT_EQ(dialer.Dial(name.c_str()), 0);  // not the known entry
    EXPECT_FALSE(QFile::exists(QString::fromStdString(marker)));
    EXPECT_EQ(Calls(), std::vector<std::string>{"[connection][show][id][" + name + "]"});
}

TEST_F(RasDialerTest, OpenConnectionMeansANonLoopbackInterfaceIsUp) {
    // The kernel's view: /sys/class/net/NAME/flags holds each interface's flags in hex.
    int expected = 0;
    for (const QString& name : QDir("/sys/class/net").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file("/sys/class/net/" + name + "/flags");
        if (!file.open(QIODevice::ReadOnly)) continue;
        const unsigned flags = QString::fromLatin1(file.readAll()).trimmed().toUInt(nullptr, 16);
        if ((flags & IFF_UP) && !(flags & IFF_LOOPBACK)) expected = 1;
    }
    CRasDialer dialer;
    EXPECT_EQ(dialer.IsAnyConnectionOpen(), expected);
}

}  // namespace
}  // namespace velo::mail
