// Tests of the mail settings: every key stored and shown again, fields that follow their
// check boxes, passwords kept out of sight, input that is refused without writing anything,
// and a settings file that cannot be written.
#include "suite/comdlg/mailsettingdlg.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <functional>

#include "suite/testsupport/application.h"
#include "suite/text/atomicfile.h"
#include "suite/text/globalsettings.h"
#include "suite/tool/messageservice.h"

namespace {

using Dlg = CMailSettingDlg;

template <typename Widget>
Widget* Child(QWidget* parent, int id) {
    auto* widget = parent->findChild<Widget*>(QString::number(id));
    EXPECT_NE(widget, nullptr) << id;
    return widget;
}

class MailSettingTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureQApplication("mailsettingdlg_test");
        ASSERT_TRUE(m_dir.isValid());
        CGlobalSettings::SetDatabaseFolder(m_dir.path().toStdString());
        CMessageService::ClearHistory();
    }
    void TearDown() override {
        SetAtomicWriteHookForTesting(nullptr);
        CMessageService::SetScript(nullptr);
        CGlobalSettings::SetDatabaseFolder("");
    }

    QLineEdit* Edit(QWidget* d, int id) { return Child<QLineEdit>(d, id); }
    QCheckBox* Check(QWidget* d, int id) { return Child<QCheckBox>(d, id); }
    void ClickOK(QWidget* d) { Child<QPushButton>(d, 1)->click(); }

    bool SettingsFileExists() const {
        return QFile::exists(QString::fromStdString(CGlobalSettings::SettingsPath()));
    }
    QStringList Messages() const {
        QStringList texts;
        for (const CMessageService::Request& r : CMessageService::History()) texts << r.text;
        return texts;
    }

    // Settings different from every default, so a key that is not written shows.
    static CMailSettings Sample() {
        CMailSettings s;
        s.connection = false;
        s.connectionName = QStringLiteral("光回線");
        s.smtpServer = QStringLiteral("smtp.example.jp");
        s.smtpPort = 587;
        s.smtpSecurity = kMailSecurityStartTls;
        s.smtpAuth = true;
        s.smtpUserId = QStringLiteral("smtpuser");
        s.smtpPassword = QStringLiteral("s3cret!");
        s.popServer = QStringLiteral("pop.example.jp");
        s.popPort = 995;
        s.popSecurity = kMailSecurityTls;
        s.popBeforeSmtp = true;
        s.apop = true;
        s.userId = QStringLiteral("clinic");
        s.password = QStringLiteral("pa ss");
        s.sender = QStringLiteral("さくら矯正歯科");
        s.emailAddress = QStringLiteral("info@sakura.example.jp");
        s.tlsVerify = false;
        s.timeout = 120;
        return s;
    }

    // Types the settings into the dialog's fields the way a person would.
    void Type(Dlg* d, const CMailSettings& s) {
        // Check boxes first, so that every field they govern can be typed into.
        Check(d, Dlg::kIdSmtpAuth)->setChecked(s.smtpAuth);
        Check(d, Dlg::kIdPopBeforeSmtp)->setChecked(s.popBeforeSmtp);
        Check(d, Dlg::kIdConnection)->setChecked(s.connection);
        Check(d, Dlg::kIdApop)->setChecked(s.apop);
        Check(d, Dlg::kIdTlsVerify)->setChecked(s.tlsVerify);
        auto* smtpSecurity = Child<QComboBox>(d, Dlg::kIdSmtpSecurity);
        smtpSecurity->setCurrentIndex(smtpSecurity->findData(s.smtpSecurity));
        auto* popSecurity = Child<QComboBox>(d, Dlg::kIdPopSecurity);
        popSecurity->setCurrentIndex(popSecurity->findData(s.popSecurity));
        Edit(d, Dlg::kIdConnectionName)->setText(s.connectionName);
        Edit(d, Dlg::kIdSmtpServer)->setText(s.smtpServer);
        Edit(d, Dlg::kIdSmtpPort)->setText(QString::number(s.smtpPort));
        Edit(d, Dlg::kIdSmtpUserId)->setText(s.smtpUserId);
        Edit(d, Dlg::kIdSmtpPassword)->setText(s.smtpPassword);
        Edit(d, Dlg::kIdPopServer)->setText(s.popServer);
        Edit(d, Dlg::kIdPopPort)->setText(QString::number(s.popPort));
        Edit(d, Dlg::kIdUserId)->setText(s.userId);
        Edit(d, Dlg::kIdPassword)->setText(s.password);
        Edit(d, Dlg::kIdSender)->setText(s.sender);
        Edit(d, Dlg::kIdEmailAddress)->setText(s.emailAddress);
        Edit(d, Dlg::kIdTimeout)->setText(QString::number(s.timeout));
    }

    QTemporaryDir m_dir;
};

TEST_F(MailSettingTest, FreshSettingsShowTheDefaults) {
    Dlg dialog;
    EXPECT_EQ(dialog.Gathered(), CMailSettings());
    EXPECT_TRUE(Check(&dialog, Dlg::kIdConnection)->isChecked());
    EXPECT_EQ(Edit(&dialog, Dlg::kIdSmtpPort)->text(), "25");
    EXPECT_EQ(Edit(&dialog, Dlg::kIdPopPort)->text(), "110");
    EXPECT_EQ(Edit(&dialog, Dlg::kIdTimeout)->text(), "60");
    EXPECT_TRUE(Check(&dialog, Dlg::kIdTlsVerify)->isChecked());
    for (int id : {Dlg::kIdPassword, Dlg::kIdSmtpPassword}) {
        EXPECT_EQ(Edit(&dialog, id)->echoMode(), QLineEdit::Password) << id;
    }
}

TEST_F(MailSettingTest, EveryKeyIsWrittenAndShownAgain) {
    const CMailSettings sample = Sample();
    {
        Dlg dialog;
        Type(&dialog, sample);
        ClickOK(&dialog);
        EXPECT_EQ(dialog.result(), QDialog::Accepted) << Messages().join("\n").toStdString();
    }
    EXPECT_EQ(CMailSettings::Load(), sample);

    // The names the mail library reads, spelled as the stored files spell them.
    const auto stored = [](const char* key) {
        return CGlobalSettings::GetString("EMail", QString::fromLatin1(key), "missing");
    };
    EXPECT_EQ(stored("Stmp"), "smtp.example.jp");
    EXPECT_EQ(stored("SMTP_Port"), "587");
    EXPECT_EQ(stored("SmtpAttach"), "1");
    EXPECT_EQ(stored("POPbeforeSMTP"), "1");
    EXPECT_EQ(stored("POP3_Port"), "995");
    EXPECT_EQ(stored("Connection"), "0");
    EXPECT_EQ(stored("Sender"), QStringLiteral("さくら矯正歯科"));
    EXPECT_EQ(stored("SmtpSecurity"), "1");
    EXPECT_EQ(stored("PopSecurity"), "2");
    EXPECT_EQ(stored("TlsVerify"), "0");
    EXPECT_EQ(stored("Password"), "pa ss");

    Dlg again;
    EXPECT_EQ(again.Gathered(), sample);
    EXPECT_EQ(Edit(&again, Dlg::kIdSmtpPassword)->text(), "s3cret!");
    EXPECT_EQ(Edit(&again, Dlg::kIdSmtpPassword)->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(Edit(&again, Dlg::kIdPassword)->displayText().contains("pa"));
}

TEST_F(MailSettingTest, FieldsFollowTheirCheckBoxes) {
    Dlg dialog;
    const auto enabled = [&](int id) {
        return dialog.findChild<QWidget*>(QString::number(id))->isEnabled();
    };
    Check(&dialog, Dlg::kIdSmtpAuth)->setChecked(false);
    Check(&dialog, Dlg::kIdPopBeforeSmtp)->setChecked(false);
    Check(&dialog, Dlg::kIdConnection)->setChecked(false);
    for (int id : {Dlg::kIdSmtpUserId, Dlg::kIdSmtpPassword, Dlg::kIdPopServer, Dlg::kIdPopPort,
                   Dlg::kIdPopSecurity, Dlg::kIdApop, Dlg::kIdConnectionName}) {
        EXPECT_FALSE(enabled(id)) << id;
    }
    // Account and password serve SMTP too, so they never depend on POP.
    EXPECT_TRUE(enabled(Dlg::kIdUserId));
    EXPECT_TRUE(enabled(Dlg::kIdPassword));

    Check(&dialog, Dlg::kIdSmtpAuth)->setChecked(true);
    EXPECT_TRUE(enabled(Dlg::kIdSmtpUserId));
    EXPECT_TRUE(enabled(Dlg::kIdSmtpPassword));
    EXPECT_FALSE(enabled(Dlg::kIdPopServer));
    Check(&dialog, Dlg::kIdPopBeforeSmtp)->setChecked(true);
    for (int id : {Dlg::kIdPopServer, Dlg::kIdPopPort, Dlg::kIdPopSecurity, Dlg::kIdApop}) {
        EXPECT_TRUE(enabled(id)) << id;
    }
    EXPECT_FALSE(enabled(Dlg::kIdConnectionName));
    Check(&dialog, Dlg::kIdConnection)->setChecked(true);
    EXPECT_TRUE(enabled(Dlg::kIdConnectionName));
}

TEST_F(MailSettingTest, SecurityMovesOnlyAStandardPort) {
    Dlg dialog;
    auto* security = Child<QComboBox>(&dialog, Dlg::kIdSmtpSecurity);
    QLineEdit* port = Edit(&dialog, Dlg::kIdSmtpPort);
    security->setCurrentIndex(security->findData(kMailSecurityTls));
    EXPECT_EQ(port->text(), "465");
    security->setCurrentIndex(security->findData(kMailSecurityStartTls));
    EXPECT_EQ(port->text(), "587");
    port->setText("2525");
    security->setCurrentIndex(security->findData(kMailSecurityNone));
    EXPECT_EQ(port->text(), "2525");
}

TEST_F(MailSettingTest, BadInputIsRefusedAndNothingIsWritten) {
    struct Case {
        const char* what;
        std::function<void(CMailSettings&)> spoil;
        int focused;
    };
    const Case cases[] = {
        {"address without @", [](CMailSettings& s) { s.emailAddress = "info.sakura.jp"; },
         Dlg::kIdEmailAddress},
        {"address with a blank", [](CMailSettings& s) { s.emailAddress = "in fo@sakura.jp"; },
         Dlg::kIdEmailAddress},
        {"SMTP port 0", [](CMailSettings& s) { s.smtpPort = 0; }, Dlg::kIdSmtpPort},
        {"SMTP port 65536", [](CMailSettings& s) { s.smtpPort = 65536; }, Dlg::kIdSmtpPort},
        {"POP port 70000", [](CMailSettings& s) { s.popPort = 70000; }, Dlg::kIdPopPort},
        {"POP without a server", [](CMailSettings& s) { s.popServer.clear(); }, Dlg::kIdPopServer},
        {"server with a blank", [](CMailSettings& s) { s.smtpServer = "smtp example"; },
         Dlg::kIdSmtpServer},
        {"time-out 4 s", [](CMailSettings& s) { s.timeout = 4; }, Dlg::kIdTimeout},
        {"time-out 601 s", [](CMailSettings& s) { s.timeout = 601; }, Dlg::kIdTimeout},
        {"password ending in a blank", [](CMailSettings& s) { s.smtpPassword = "secret "; },
         Dlg::kIdSmtpPassword},
        {"emoji in the sender", [](CMailSettings& s) { s.sender = QStringLiteral("歯科😀"); },
         Dlg::kIdSender},
    };
    for (const Case& c : cases) {
        CMessageService::ClearHistory();
        CMailSettings s = Sample();
        c.spoil(s);
        Dlg dialog;
        dialog.show();
        Type(&dialog, s);
        ClickOK(&dialog);
        EXPECT_TRUE(dialog.isVisible()) << c.what;
        EXPECT_EQ(CMessageService::History().size(), 1) << c.what;
        EXPECT_EQ(dialog.focusWidget(), dialog.findChild<QWidget*>(QString::number(c.focused)))
            << c.what;
        EXPECT_FALSE(SettingsFileExists()) << c.what;
        // What was typed is still there to be corrected.
        EXPECT_EQ(Edit(&dialog, Dlg::kIdSender)->text(), s.sender) << c.what;
    }
}

TEST_F(MailSettingTest, PortOfAnUnusedPopServerIsNotChecked) {
    CMailSettings s = Sample();
    s.popBeforeSmtp = false;
    s.popServer.clear();
    s.popPort = 0;
    EXPECT_EQ(CheckMailSettings(s).field, EMailSettingField::None);
    // The dialog stores the port it was opened with instead of the unusable one.
    Dlg dialog;
    Type(&dialog, s);
    EXPECT_EQ(dialog.Gathered().popPort, 110);
}

TEST_F(MailSettingTest, AddressesAcceptedAndRefused) {
    CMailSettings s;
    for (const char* good : {"", "a@b", "info@sakura.example.jp", "a.b+c@mail-1.jp"}) {
        s.emailAddress = QString::fromUtf8(good);
        EXPECT_EQ(CheckMailSettings(s).field, EMailSettingField::None) << good;
    }
    for (const char* bad :
         {"@b.jp", "a@", "a@@b.jp", "a@b@c", "a@.b", "a@b.", "a@b..jp", "ａ@b.jp", "a@b.jp "}) {
        s.emailAddress = QString::fromUtf8(bad);
        EXPECT_EQ(CheckMailSettings(s).field, EMailSettingField::EmailAddress) << bad;
    }
}

TEST_F(MailSettingTest, AFailedWriteIsToldAndTheDialogStays) {
    SetAtomicWriteHookForTesting(
        [](EAtomicWriteStep step, const std::string&) { return step != EAtomicWriteStep::Rename; });
    Dlg dialog;
    dialog.show();
    Type(&dialog, Sample());
    ClickOK(&dialog);
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_TRUE(
        CMessageService::History()[0].text.contains(QStringLiteral("保存できませんでした")));
    EXPECT_FALSE(SettingsFileExists());

    // Once the folder can be written again, the same input goes through, in one rewrite of
    // the file: a failure part way can leave no mixture of old and new values.
    int rewrites = 0;
    SetAtomicWriteHookForTesting([&rewrites](EAtomicWriteStep step, const std::string&) {
        if (step == EAtomicWriteStep::Rename) ++rewrites;
        return true;
    });
    ClickOK(&dialog);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(rewrites, 1);
    EXPECT_EQ(CMailSettings::Load(), Sample());
}

}  // namespace
