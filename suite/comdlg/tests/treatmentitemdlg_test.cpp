// Tests of the treatment item editor: numbering within a category, the checks of a text,
// renaming and deleting, and the dialog driven through its buttons, including what it hands
// back to the treatment selection.
#include "suite/comdlg/treatmentitemdlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "recman/recman.h"
#include "suite/comdlg/velocomdlg.h"
#include "suite/dbcall/masterdb.h"
#include "suite/testsupport/modal.h"
#include "suite/testsupport/testdatabase.h"
#include "suite/text/cp932.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/storabletext.h"
#include "suite/testsupport/application.h"

namespace {

template <typename Widget>
Widget* Child(QWidget* parent, int id) {
    auto* widget = parent->findChild<Widget*>(QString::number(id));
    EXPECT_NE(widget, nullptr) << id;
    return widget;
}

class TreatmentItemTest : public DbFolderTest {
protected:
    void SetUp() override {
        EnsureQApplication("treatmentitemdlg_test");
        ASSERT_NO_FATAL_FAILURE(DbFolderTest::SetUp());
        CMessageService::ClearHistory();
        AddCategory("001", QStringLiteral("矯正治療"));
        AddCategory("002", QStringLiteral("検査・診断"));
        AddItem("001", "001", QStringLiteral("ワイヤー調整"));
        AddItem("001", "004", QStringLiteral("旧処置"), true);
        AddItem("002", "007", QStringLiteral("精密検査"));
    }

    void TearDown() override { CMessageService::SetScript(nullptr); }

    void AddCategory(const char* code, const QString& name) {
        CTreatmentCategoryDB table;
        ASSERT_EQ(table.Open(m_folder), recman::kOk);
        table.ClearData();
        SetField(table.m_Data.Code, code);
        SetCp932Field(table.m_Data.Name, sizeof table.m_Data.Name, name);
        ASSERT_EQ(table.Insert(), recman::kOk);
    }

    void AddItem(const char* category, const char* code, const QString& text, bool hidden = false) {
        CTreatmentItemDB table;
        ASSERT_EQ(table.Open(m_folder), recman::kOk);
        table.ClearData();
        SetField(table.m_Data.CategoryCode, category);
        SetField(table.m_Data.ItemCode, code);
        SetCp932Field(table.m_Data.Text, sizeof table.m_Data.Text, text);
        if (hidden) SetField(table.m_Data.HiddenMark, "__");
        ASSERT_EQ(table.Insert(), recman::kOk);
    }

    QStringList Texts(const char* category) {
        std::vector<CTreatmentItemRow> rows;
        EXPECT_EQ(ListTreatmentItems(&m_db, category, &rows), 0);
        QStringList texts;
        for (const CTreatmentItemRow& row : rows) texts << row.item + ":" + row.text;
        return texts;
    }
};

TEST_F(TreatmentItemTest, NewItemsAreNumberedWithinTheirCategory) {
    QString code;
    // The hidden item's number is taken too.
    ASSERT_EQ(AddTreatmentItem(&m_db, "001", QStringLiteral(" 装置撤去 "), &code),
              ETreatmentItemResult::Ok);
    EXPECT_EQ(code, "005");
    ASSERT_EQ(AddTreatmentItem(&m_db, "002", QStringLiteral("装置撤去"), &code),
              ETreatmentItemResult::Ok);
    EXPECT_EQ(code, "008");
    EXPECT_EQ(Texts("001"),
              QStringList({QStringLiteral("001:ワイヤー調整"), QStringLiteral("005:装置撤去")}));

    EXPECT_EQ(AddTreatmentItem(&m_db, "001", QStringLiteral("ワイヤー調整")),
              ETreatmentItemResult::DuplicateText);
    EXPECT_EQ(AddTreatmentItem(&m_db, "001", QStringLiteral("　")),
              ETreatmentItemResult::EmptyText);
    // The text holds 200 bytes: a hundred double-byte characters fit, 101 do not.
    EXPECT_EQ(AddTreatmentItem(&m_db, "001", QString(101, QChar(0x6B6F))),
              ETreatmentItemResult::TextTooLong);
    EXPECT_EQ(AddTreatmentItem(&m_db, "003", QStringLiteral("分類なし")),
              ETreatmentItemResult::NoCategory);
    EXPECT_EQ(Texts("001").size(), 2);
    EXPECT_EQ(AddTreatmentItem(&m_db, "001", QString(100, QChar(0x6B6F))),
              ETreatmentItemResult::Ok);
}

TEST_F(TreatmentItemTest, RenameAndDeleteActOnOneItem) {
    AddItem("001", "002", QStringLiteral("ブラケット装着"));
    EXPECT_EQ(RenameTreatmentItem(&m_db, "001", "002", QStringLiteral("ワイヤー調整")),
              ETreatmentItemResult::DuplicateText);
    // Its own text, and a text only another category has, are no duplicates.
    EXPECT_EQ(RenameTreatmentItem(&m_db, "001", "002", QStringLiteral("ブラケット装着")),
              ETreatmentItemResult::Ok);
    EXPECT_EQ(RenameTreatmentItem(&m_db, "001", "002", QStringLiteral("精密検査")),
              ETreatmentItemResult::Ok);
    EXPECT_EQ(RenameTreatmentItem(&m_db, "001", "003", QStringLiteral("無い")),
              ETreatmentItemResult::NotFound);
    EXPECT_EQ(DeleteTreatmentItem(&m_db, "001", "001"), ETreatmentItemResult::Ok);
    EXPECT_EQ(DeleteTreatmentItem(&m_db, "001", "001"), ETreatmentItemResult::NotFound);
    EXPECT_EQ(Texts("001"), QStringList({QStringLiteral("002:精密検査")}));
    EXPECT_EQ(Texts("002"), QStringList({QStringLiteral("007:精密検査")}));
}

TEST_F(TreatmentItemTest, DialogAddsRenamesDeletesAndReportsTheLastChange) {
    CMessageService::SetScript([](const CMessageService::Request& request) {
        return request.kind == CMessageService::EKind::YesNo ? CMessageService::IDYES
                                                             : CMessageService::IDOK;
    });
    OnModal([](QDialog* dialog) {
        auto* list = Child<QTreeWidget>(dialog, CTreatmentItemDlg::kIdList);
        auto* text = Child<QLineEdit>(dialog, CTreatmentItemDlg::kIdText);
        EXPECT_EQ(list->topLevelItemCount(), 1);
        EXPECT_FALSE(Child<QPushButton>(dialog, CTreatmentItemDlg::kIdDelete)->isEnabled());

        text->setText(QStringLiteral("リテーナー装着"));
        Child<QPushButton>(dialog, CTreatmentItemDlg::kIdAdd)->click();
        ASSERT_EQ(list->topLevelItemCount(), 2);
        EXPECT_EQ(list->currentItem()->text(0), "005");

        // A duplicate is refused with a message and the dialog stays.
        text->setText(QStringLiteral("ワイヤー調整"));
        Child<QPushButton>(dialog, CTreatmentItemDlg::kIdRename)->click();
        EXPECT_EQ(list->currentItem()->text(1), QStringLiteral("リテーナー装着"));

        text->setText(QStringLiteral("リテーナー調整"));
        Child<QPushButton>(dialog, CTreatmentItemDlg::kIdRename)->click();
        EXPECT_EQ(list->currentItem()->text(1), QStringLiteral("リテーナー調整"));

        list->setCurrentItem(list->topLevelItem(0));
        Child<QPushButton>(dialog, CTreatmentItemDlg::kIdDelete)->click();
        EXPECT_EQ(list->topLevelItemCount(), 1);
        Child<QPushButton>(dialog, 2)->click();
    });
    EXPECT_EQ(CVeloComDlg::OpenTreatmentItem(&m_db, "001", nullptr), "001-001");
    const QList<CMessageService::Request> history = CMessageService::History();
    ASSERT_EQ(history.size(), 2);
    EXPECT_EQ(history[0].text, TreatmentItemResultMessage(ETreatmentItemResult::DuplicateText));
    EXPECT_EQ(history[1].kind, CMessageService::EKind::YesNo);
    EXPECT_EQ(Texts("001"), QStringList({QStringLiteral("005:リテーナー調整")}));
}

TEST_F(TreatmentItemTest, DialogReturnsTheChosenItemOrNothing) {
    OnModal([](QDialog* dialog) {
        auto* list = Child<QTreeWidget>(dialog, CTreatmentItemDlg::kIdList);
        EXPECT_FALSE(Child<QPushButton>(dialog, 1)->isEnabled());
        emit list->itemDoubleClicked(list->topLevelItem(0), 0);
        // Double-click chooses only a selected item.
        EXPECT_TRUE(dialog->isVisible());
        list->setCurrentItem(list->topLevelItem(0));
        Child<QPushButton>(dialog, 1)->click();
    });
    EXPECT_EQ(CVeloComDlg::OpenTreatmentItem(&m_db, "002", nullptr), "002-007");

    OnModal([](QDialog* dialog) { Child<QPushButton>(dialog, 2)->click(); });
    EXPECT_EQ(CVeloComDlg::OpenTreatmentItem(&m_db, "002", nullptr), "");
    EXPECT_TRUE(CMessageService::History().isEmpty());
}

TEST_F(TreatmentItemTest, DialogRefusesUnstorableTextsOnAddAndRename) {
    OnModal([](QDialog* dialog) {
        auto* list = Child<QTreeWidget>(dialog, CTreatmentItemDlg::kIdList);
        auto* text = Child<QLineEdit>(dialog, CTreatmentItemDlg::kIdText);
        text->setText(QStringLiteral("€装置"));
        Child<QPushButton>(dialog, CTreatmentItemDlg::kIdAdd)->click();
        EXPECT_EQ(list->topLevelItemCount(), 1);
        EXPECT_EQ(text->selectedText(), QStringLiteral("€装置"));

        list->setCurrentItem(list->topLevelItem(0));
        text->setText(QStringLiteral("ワイヤー調整😀"));
        Child<QPushButton>(dialog, CTreatmentItemDlg::kIdRename)->click();
        EXPECT_EQ(list->currentItem()->text(1), QStringLiteral("ワイヤー調整"));
        EXPECT_EQ(text->text(), QStringLiteral("ワイヤー調整😀"));

        text->setText(QStringLiteral("髙木式装置①"));
        Child<QPushButton>(dialog, CTreatmentItemDlg::kIdRename)->click();
        Child<QPushButton>(dialog, 2)->click();
    });
    EXPECT_EQ(CVeloComDlg::OpenTreatmentItem(&m_db, "001", nullptr), "001-001");
    const QList<CMessageService::Request> history = CMessageService::History();
    ASSERT_EQ(history.size(), 2);
    EXPECT_EQ(history[0].text, UnstorableCharactersMessage(QStringLiteral("€")));
    EXPECT_EQ(history[1].text, UnstorableCharactersMessage(QStringLiteral("😀")));
    EXPECT_EQ(Texts("001"), QStringList({QStringLiteral("001:髙木式装置①")}));
}

TEST_F(TreatmentItemTest, UnknownCategoryIsReportedWithoutADialog) {
    EXPECT_EQ(CVeloComDlg::OpenTreatmentItem(&m_db, "009", nullptr), "");
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_EQ(CMessageService::History()[0].text,
              TreatmentItemResultMessage(ETreatmentItemResult::NoCategory));
}

}  // namespace
