// Tests of the fee-item picker: the listing (category filter, hidden items, category names),
// the item keys, and the dialog picking an item and adding a new one through the fee-item
// entry dialog.
#include "suite/comdlg/credititemdlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QTreeWidget>

#include "recman/recman.h"
#include "suite/comdlg/entrydialogs.h"
#include "suite/comdlg/velocomdlg.h"
#include "suite/dbcall/masterdb.h"
#include "suite/testsupport/modal.h"
#include "suite/testsupport/testdatabase.h"
#include "suite/text/cp932.h"
#include "suite/tool/messageservice.h"
#include "suite/testsupport/application.h"

namespace {

template <typename Widget>
Widget* Child(QWidget* parent, const QString& name) {
    auto* widget = parent->findChild<Widget*>(name);
    EXPECT_NE(widget, nullptr) << name.toStdString();
    return widget;
}

template <typename Widget>
Widget* Child(QWidget* parent, int id) {
    return Child<Widget>(parent, QString::number(id));
}

// Runs `act` on the first modal dialog of type Dialog that is shown (a dialog opened from
// another modal dialog, which OnModal would not tell apart from its parent).
template <typename Dialog>
void OnModalOf(std::function<void(Dialog*)> act) {
    auto* timer = new QTimer(QCoreApplication::instance());
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        act(dialog);
    });
    timer->start();
}

class CreditItemDlgTest : public DbFolderTest {
protected:
    void SetUp() override {
        EnsureQApplication("credititemdlg_test");
        ASSERT_NO_FATAL_FAILURE(DbFolderTest::SetUp());
        CMessageService::ClearHistory();
        AddCategory("001", QStringLiteral("矯正料金"));
        AddCategory("002", QStringLiteral("物販"));
        AddItem("002", "002", QStringLiteral("ワックス"), 500);
        AddItem("001", "001", QStringLiteral("初診相談料"), 3000);
        AddItem("002", "001", QStringLiteral("歯ブラシ"), 300);
        AddItem("002", "009", QStringLiteral("旧商品"), 0, true);
        // An item whose category has gone from the category file.
        AddItem("005", "001", QStringLiteral("区分なし"), 100);
    }

    void TearDown() override { CMessageService::SetScript(nullptr); }

    void AddCategory(const char* code, const QString& name) {
        CCreditCategoryDB table;
        ASSERT_EQ(table.Open(m_folder), recman::kOk);
        table.ClearData();
        SetField(table.m_Data.Code, code);
        SetCp932Field(table.m_Data.Name, sizeof table.m_Data.Name, name);
        ASSERT_EQ(table.Insert(), recman::kOk);
    }

    void AddItem(const char* category, const char* code, const QString& name, int price,
                 bool hidden = false) {
        CCreditItemDB table;
        ASSERT_EQ(table.Open(m_folder), recman::kOk);
        table.ClearData();
        SetField(table.m_Data.CategoryCode, category);
        SetField(table.m_Data.ItemCode, code);
        SetCp932Field(table.m_Data.ItemName, sizeof table.m_Data.ItemName, name);
        table.m_Data.Price = price;
        if (hidden) SetField(table.m_Data.HiddenMark, "__");
        ASSERT_EQ(table.Insert(), recman::kOk);
    }

    static QStringList Names(QTreeWidget* list) {
        QStringList names;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            names << list->topLevelItem(i)->text(CCreditItemDlg::kColName);
        }
        return names;
    }
};

TEST_F(CreditItemDlgTest, ListsTheVisibleItemsOfACategoryOrOfAll) {
    std::vector<CCreditItemRow> rows;
    ASSERT_EQ(ListCreditItems(&m_db, "002", &rows), 0);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].name, QStringLiteral("歯ブラシ"));
    EXPECT_EQ(rows[0].item, "001");
    EXPECT_EQ(rows[0].categoryName, QStringLiteral("物販"));
    EXPECT_EQ(rows[1].price, 500);

    ASSERT_EQ(ListCreditItems(&m_db, "", &rows), 0);
    QStringList names;
    for (const CCreditItemRow& row : rows) names << row.name;
    EXPECT_EQ(names, QStringList({QStringLiteral("初診相談料"), QStringLiteral("歯ブラシ"),
                                  QStringLiteral("ワックス"), QStringLiteral("区分なし")}));
    EXPECT_EQ(rows.back().categoryName, "");

    ASSERT_EQ(ListCreditItems(&m_db, "004", &rows), 0);
    EXPECT_TRUE(rows.empty());
}

TEST_F(CreditItemDlgTest, ItemKeysSplitBackIntoTheirCodes) {
    const QString key = CVeloComDlg::MakeItemKey("002", "009");
    EXPECT_EQ(key, "002-009");
    QString category;
    QString item;
    ASSERT_TRUE(CVeloComDlg::SplitItemKey(key, &category, &item));
    EXPECT_EQ(category, "002");
    EXPECT_EQ(item, "009");
    EXPECT_FALSE(CVeloComDlg::SplitItemKey("002009", &category, &item));
}

TEST_F(CreditItemDlgTest, PicksAnItemOfTheGivenCategoryByDoubleClick) {
    OnModal([](QDialog* dialog) {
        auto* category = Child<QComboBox>(dialog, CCreditItemDlg::kIdCategory);
        auto* list = Child<QTreeWidget>(dialog, CCreditItemDlg::kIdList);
        auto* ok = Child<QPushButton>(dialog, 1);
        EXPECT_EQ(category->currentText(), QStringLiteral("物販"));
        EXPECT_EQ(Names(list),
                  QStringList({QStringLiteral("歯ブラシ"), QStringLiteral("ワックス")}));
        EXPECT_EQ(list->topLevelItem(1)->text(CCreditItemDlg::kColPrice), QStringLiteral("500 円"));
        EXPECT_FALSE(ok->isEnabled());
        // Every category at once.
        category->setCurrentIndex(0);
        EXPECT_EQ(list->topLevelItemCount(), 4);
        category->setCurrentIndex(category->findData("002"));
        list->setCurrentItem(list->topLevelItem(1));
        EXPECT_TRUE(ok->isEnabled());
        emit list->itemDoubleClicked(list->topLevelItem(1), 0);
    });
    EXPECT_EQ(CVeloComDlg::OpenCreditItem(&m_db, "002", nullptr), "002-002");

    // A category code written without its zeros finds the same category.
    OnModal([](QDialog* dialog) {
        EXPECT_EQ(Child<QComboBox>(dialog, CCreditItemDlg::kIdCategory)->currentData(), "002");
        Child<QPushButton>(dialog, 2)->click();
    });
    EXPECT_EQ(CVeloComDlg::OpenCreditItem(&m_db, "2", nullptr), "");
}

TEST_F(CreditItemDlgTest, AddedItemIsSelectedAndReturnedOnOK) {
    OnModal([](QDialog* dialog) {
        OnModalOf<CNewTblItemDlg>([](CNewTblItemDlg* entry) {
            // The entry dialog starts on the picker's category with that category's next code.
            EXPECT_EQ(Child<QComboBox>(entry, QStringLiteral("category"))->currentData(), "002");
            EXPECT_EQ(Child<QLineEdit>(entry, QStringLiteral("code"))->text(), "010");
            Child<QLineEdit>(entry, QStringLiteral("name"))->setText(QStringLiteral("フロス"));
            Child<QSpinBox>(entry, QStringLiteral("price"))->setValue(400);
            Child<QPushButton>(entry, QStringLiteral("1"))->click();
        });
        Child<QPushButton>(dialog, CCreditItemDlg::kIdAdd)->click();
        auto* list = Child<QTreeWidget>(dialog, CCreditItemDlg::kIdList);
        ASSERT_NE(list->currentItem(), nullptr);
        EXPECT_EQ(list->currentItem()->text(CCreditItemDlg::kColName), QStringLiteral("フロス"));
        Child<QPushButton>(dialog, 1)->click();
    });
    EXPECT_EQ(CVeloComDlg::OpenCreditItem(&m_db, "002", nullptr), "002-010");
    CCreditItemDB items;
    ASSERT_EQ(items.Open(m_folder), 0);
    ASSERT_EQ(items.GetCreditItemData("002", "010"), 0);
    EXPECT_EQ(items.m_Data.Price, 400);
}

TEST_F(CreditItemDlgTest, UnknownCategoryShowsEveryItemAndCancelReturnsNothing) {
    OnModal([](QDialog* dialog) {
        EXPECT_EQ(Child<QComboBox>(dialog, CCreditItemDlg::kIdCategory)->currentIndex(), 0);
        EXPECT_EQ(Child<QTreeWidget>(dialog, CCreditItemDlg::kIdList)->topLevelItemCount(), 4);
        Child<QPushButton>(dialog, 2)->click();
    });
    EXPECT_EQ(CVeloComDlg::OpenCreditItem(&m_db, "777", nullptr), "");
}

}  // namespace
