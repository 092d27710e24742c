// Tests of the reminder templates: the working copy's numbering, saving only what changed
// in one write, and the dialog: opening on a template, edits kept across switching, the
// placeholder inserted at the cursor, deleting after asking, the reminder's choice, and
// closing with changes.
#include "suite/comdlg/mailtemplatedlg.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTreeWidget>
#include <optional>

#include "suite/testsupport/application.h"
#include "suite/text/atomicfile.h"
#include "suite/text/globalsettings.h"
#include "suite/tool/messageservice.h"

namespace {

using Dlg = CMailTemplateDlg;

template <typename Widget>
Widget* Child(QWidget* parent, int id) {
    auto* widget = parent->findChild<Widget*>(QString::number(id));
    EXPECT_NE(widget, nullptr) << id;
    return widget;
}

struct Stored {
    QString title, subject, body;
    bool operator==(const Stored&) const = default;
};

class MailTemplateTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureQApplication("mailtemplatedlg_test");
        ASSERT_TRUE(m_dir.isValid());
        CGlobalSettings::SetDatabaseFolder(m_dir.path().toStdString());
        CMessageService::ClearHistory();
        ASSERT_TRUE(CGlobalSettings::SetReservationTemplate(
            0, QStringLiteral("前日"), QStringLiteral("明日のご予約"),
            QStringLiteral("$_PNAME 様\n明日 $_REDATE $_RETIME にお待ちしております。")));
        ASSERT_TRUE(CGlobalSettings::SetReservationTemplate(
            2, QStringLiteral("一週間前"), QStringLiteral("ご予約の確認"),
            QStringLiteral("$_PNAME 様\n$_REDATE のご予約です。")));
        ASSERT_TRUE(CGlobalSettings::SetString("Email", "ReservationTemplate", "2"));
    }
    void TearDown() override {
        SetAtomicWriteHookForTesting(nullptr);
        CMessageService::SetScript(nullptr);
        CGlobalSettings::SetDatabaseFolder("");
    }

    static std::optional<Stored> Read(int number) {
        Stored s;
        if (!CGlobalSettings::GetReservationTemplate(number, &s.title, &s.subject, &s.body)) {
            return std::nullopt;
        }
        return s;
    }
    static QString Choice() {
        return CGlobalSettings::GetString("Email", "ReservationTemplate", "missing");
    }
    static void Answer(int yesOrNo) {
        CMessageService::SetScript([yesOrNo](const CMessageService::Request& r) {
            return r.kind == CMessageService::EKind::YesNo ? yesOrNo : int(CMessageService::IDOK);
        });
    }

    static QTreeWidget* List(QWidget* d) { return Child<QTreeWidget>(d, Dlg::kIdList); }
    static QLineEdit* Title(QWidget* d) { return Child<QLineEdit>(d, Dlg::kIdTitle); }
    static QLineEdit* Subject(QWidget* d) { return Child<QLineEdit>(d, Dlg::kIdSubject); }
    static QPlainTextEdit* Body(QWidget* d) { return Child<QPlainTextEdit>(d, Dlg::kIdBody); }
    static void Click(QWidget* d, int id) { Child<QPushButton>(d, id)->click(); }
    static void Select(QWidget* d, int number) {
        QTreeWidget* list = List(d);
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            if (list->topLevelItem(i)->text(0) == QString::number(number)) {
                list->setCurrentItem(list->topLevelItem(i));
                return;
            }
        }
        ADD_FAILURE() << "no template " << number << " in the list";
    }

    QTemporaryDir m_dir;
};

TEST_F(MailTemplateTest, WorkingCopyNumbersAndSavesOnlyItsChanges) {
    CMailTemplateSet set;
    set.Load();
    ASSERT_EQ(set.Templates().size(), 2u);
    EXPECT_EQ(set.Chosen(), 2);
    EXPECT_FALSE(set.IsModified());
    // Typing the same text again is no change.
    ASSERT_TRUE(
        set.Edit(0, QStringLiteral("前日"), QStringLiteral("明日のご予約"), set.Find(0)->body));
    EXPECT_FALSE(set.IsModified());

    EXPECT_EQ(set.Add(QStringLiteral("当日")), 3);
    ASSERT_TRUE(set.Edit(3, QStringLiteral("当日"), QStringLiteral("本日のご予約"),
                         QStringLiteral("本日 $_RETIME です。\n\\n は改行ではありません")));
    ASSERT_TRUE(set.Remove(0));
    EXPECT_FALSE(set.Remove(0));
    set.SetChosen(3);

    // Another workstation changes a template this one did not touch; that edit is kept.
    ASSERT_TRUE(CGlobalSettings::SetReservationTemplate(2, QStringLiteral("他端末"),
                                                        QStringLiteral("s"), QStringLiteral("b")));
    ASSERT_TRUE(set.Save());
    EXPECT_FALSE(set.IsModified());
    EXPECT_EQ(CGlobalSettings::TemplateNumbers(), QList<int>({2, 3}));
    EXPECT_EQ(Read(2)->title, QStringLiteral("他端末"));
    EXPECT_EQ(*Read(3), (Stored{QStringLiteral("当日"), QStringLiteral("本日のご予約"),
                                QStringLiteral("本日 $_RETIME です。\n\\n は改行ではありません")}));
    EXPECT_EQ(Choice(), "3");

    // A number freed and given out again starts from an empty template.
    ASSERT_TRUE(set.Remove(3));
    EXPECT_EQ(set.Chosen(), -1);
    EXPECT_EQ(set.Add(QStringLiteral("再利用")), 3);
    ASSERT_TRUE(set.Save());
    EXPECT_EQ(*Read(3), (Stored{QStringLiteral("再利用"), QString(), QString()}));
    EXPECT_EQ(Choice(), "");
}

TEST_F(MailTemplateTest, FailedSaveChangesNothingAndCanBeRetried) {
    CMailTemplateSet set;
    set.Load();
    ASSERT_TRUE(set.Remove(2));
    ASSERT_TRUE(set.Edit(0, QStringLiteral("変更"), QStringLiteral("s"), QStringLiteral("b")));
    SetAtomicWriteHookForTesting(
        [](EAtomicWriteStep step, const std::string&) { return step != EAtomicWriteStep::Sync; });
    std::string error;
    EXPECT_FALSE(set.Save(&error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(Read(0)->title, QStringLiteral("前日"));
    EXPECT_TRUE(Read(2).has_value());
    EXPECT_EQ(Choice(), "2");

    SetAtomicWriteHookForTesting(nullptr);
    ASSERT_TRUE(set.Save());
    EXPECT_EQ(Read(0)->title, QStringLiteral("変更"));
    EXPECT_FALSE(Read(2).has_value());
    EXPECT_EQ(Choice(), "");
}

TEST_F(MailTemplateTest, OpensOnTheAskedTemplateOrTheFirst) {
    Dlg onTwo(2);
    EXPECT_EQ(onTwo.CurrentNumber(), 2);
    EXPECT_EQ(Title(&onTwo)->text(), QStringLiteral("一週間前"));
    EXPECT_EQ(Child<QComboBox>(&onTwo, Dlg::kIdChosen)->currentData().toInt(), 2);
    Dlg onMissing(7);
    EXPECT_EQ(onMissing.CurrentNumber(), 0);
    EXPECT_EQ(Subject(&onMissing)->text(), QStringLiteral("明日のご予約"));
}

TEST_F(MailTemplateTest, EditsSurviveSwitchingAndOkWritesThem) {
    Dlg dialog(0);
    dialog.show();
    Title(&dialog)->setText(QStringLiteral("前日（改）"));
    Subject(&dialog)->setText(QStringLiteral("明日のご予約について"));
    Body(&dialog)->setPlainText(QStringLiteral("こんにちは、様。\n二行目"));
    // The placeholder goes where the cursor is: before "様".
    QTextCursor cursor = Body(&dialog)->textCursor();
    cursor.setPosition(6);
    Body(&dialog)->setTextCursor(cursor);
    auto* placeholders = Child<QComboBox>(&dialog, Dlg::kIdPlaceholder);
    placeholders->setCurrentIndex(placeholders->findData(QStringLiteral("$_PNAME")));
    Click(&dialog, Dlg::kIdInsert);
    EXPECT_EQ(Body(&dialog)->toPlainText(), QStringLiteral("こんにちは、$_PNAME様。\n二行目"));
    EXPECT_EQ(List(&dialog)->topLevelItem(0)->text(1), QStringLiteral("前日（改）"));

    Select(&dialog, 2);
    EXPECT_EQ(Title(&dialog)->text(), QStringLiteral("一週間前"));
    Body(&dialog)->setPlainText(QStringLiteral("二番の本文"));
    Select(&dialog, 0);
    EXPECT_EQ(Title(&dialog)->text(), QStringLiteral("前日（改）"));
    EXPECT_EQ(Subject(&dialog)->text(), QStringLiteral("明日のご予約について"));
    EXPECT_EQ(Body(&dialog)->toPlainText(), QStringLiteral("こんにちは、$_PNAME様。\n二行目"));
    // Nothing is written before OK.
    EXPECT_EQ(Read(0)->title, QStringLiteral("前日"));

    auto* chosen = Child<QComboBox>(&dialog, Dlg::kIdChosen);
    chosen->setCurrentIndex(chosen->findData(0));
    Click(&dialog, 1);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(*Read(0),
              (Stored{QStringLiteral("前日（改）"), QStringLiteral("明日のご予約について"),
                      QStringLiteral("こんにちは、$_PNAME様。\n二行目")}));
    EXPECT_EQ(Read(2)->body, QStringLiteral("二番の本文"));
    EXPECT_EQ(Choice(), "0");
}

TEST_F(MailTemplateTest, AddAndDeleteAfterAsking) {
    Dlg dialog(2);
    dialog.show();
    Click(&dialog, Dlg::kIdAdd);
    EXPECT_EQ(dialog.CurrentNumber(), 3);
    EXPECT_EQ(List(&dialog)->topLevelItemCount(), 3);
    Title(&dialog)->setText(QStringLiteral("新患向け"));
    EXPECT_EQ(Child<QComboBox>(&dialog, Dlg::kIdChosen)->itemText(2),
              QStringLiteral("3：新患向け"));

    Select(&dialog, 2);
    Answer(CMessageService::IDNO);
    Click(&dialog, Dlg::kIdDelete);
    EXPECT_EQ(List(&dialog)->topLevelItemCount(), 3);
    Answer(CMessageService::IDYES);
    Click(&dialog, Dlg::kIdDelete);
    EXPECT_EQ(List(&dialog)->topLevelItemCount(), 2);
    // The template below takes the deleted one's place; the reminder's choice is cleared.
    EXPECT_EQ(dialog.CurrentNumber(), 3);
    EXPECT_EQ(Child<QComboBox>(&dialog, Dlg::kIdChosen)->currentIndex(), -1);

    Click(&dialog, 1);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(CGlobalSettings::TemplateNumbers(), QList<int>({0, 3}));
    EXPECT_EQ(Read(3)->title, QStringLiteral("新患向け"));
    EXPECT_EQ(Choice(), "");
    // Opened again, it shows no choice, not template 0.
    Dlg reopened(0);
    EXPECT_EQ(reopened.Templates().Chosen(), -1);
    EXPECT_EQ(Child<QComboBox>(&reopened, Dlg::kIdChosen)->currentIndex(), -1);
}

TEST_F(MailTemplateTest, ClosingWithChangesAsksFirst) {
    Dlg dialog(0);
    dialog.show();
    Body(&dialog)->setPlainText(QStringLiteral("書きかけ"));
    Answer(CMessageService::IDNO);
    dialog.reject();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(Body(&dialog)->toPlainText(), QStringLiteral("書きかけ"));
    Answer(CMessageService::IDYES);
    dialog.reject();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(Read(0)->body,
              QStringLiteral("$_PNAME 様\n明日 $_REDATE $_RETIME にお待ちしております。"));

    // Without changes nobody is asked.
    CMessageService::ClearHistory();
    Dlg untouched(0);
    untouched.show();
    untouched.reject();
    EXPECT_FALSE(untouched.isVisible());
    EXPECT_TRUE(CMessageService::History().isEmpty());
}

TEST_F(MailTemplateTest, UnstorableTextIsRefusedOnTheTemplateThatHoldsIt) {
    Dlg dialog(0);
    dialog.show();
    Select(&dialog, 2);
    Subject(&dialog)->setText(QStringLiteral("ご予約🦷"));
    Select(&dialog, 0);
    Click(&dialog, 1);
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_TRUE(CMessageService::History()[0].text.contains(QStringLiteral("🦷")));
    EXPECT_EQ(dialog.CurrentNumber(), 2);
    EXPECT_EQ(dialog.focusWidget(), Subject(&dialog));
    EXPECT_EQ(Read(2)->subject, QStringLiteral("ご予約の確認"));
}

}  // namespace
