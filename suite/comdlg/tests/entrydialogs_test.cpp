// Tests of the entry dialogs: the proposed codes, the checks of a new entry (empty and
// over-long names, bad and duplicate codes, a fee item without category), the records
// written for every table (staff in both staff tables under one number), the lab-item name
// master, and the dialogs themselves driven like a user through the modal loop.
#include "suite/comdlg/entrydialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <cstring>

#include "recman/recman.h"
#include "suite/comdlg/velocomdlg.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/testsupport/modal.h"
#include "suite/testsupport/testdatabase.h"
#include "suite/text/cp932.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/storabletext.h"
#include "suite/testsupport/application.h"

namespace {

template <typename Widget>
Widget* Child(QWidget* parent, const char* name) {
    auto* widget = parent->findChild<Widget*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

class EntryDialogsTest : public DbFolderTest {
protected:
    void SetUp() override {
        EnsureQApplication("entrydialogs_test");
        ASSERT_NO_FATAL_FAILURE(DbFolderTest::SetUp());
        CMessageService::ClearHistory();
    }

    void TearDown() override { CMessageService::SetScript(nullptr); }

    template <typename Table, typename Fill>
    void Insert(Fill fill) {
        Table table;
        ASSERT_EQ(table.Open(m_folder), recman::kOk);
        table.ClearData();
        fill(table.m_Data);
        ASSERT_EQ(table.Insert(), recman::kOk);
    }

    template <typename Table>
    int Count() {
        Table table;
        if (table.Open(m_folder) != 0) return -1;
        int n = 0;
        table.SetKey(0);
        for (int s = table.GetFIRST(); s == 0; s = table.GetNEXT()) ++n;
        return n;
    }

    void AddUnit(const char* code) {
        Insert<CCategoryDB>([&](tagCATEGORYDB& r) {
            SetField(r.Type, "1");
            SetField(r.Code, code);
        });
    }
};

TEST_F(EntryDialogsTest, ProposedCodeFollowsTheHighestOfItsOwnKindAndWidth) {
    EXPECT_EQ(NextMasterCode(&m_db, "MATERIALITEMCATE"), "0001");
    EXPECT_EQ(NextMasterCode(&m_db, "creditcate"), "001");
    AddUnit("01");
    AddUnit("07");
    // Reservation types share the category file but count on their own.
    Insert<CCategoryDB>([](tagCATEGORYDB& r) {
        SetField(r.Type, "0");
        SetField(r.Code, "30");
    });
    EXPECT_EQ(NextMasterCode(&m_db, "UNIT"), "08");
    EXPECT_EQ(NextMasterCode(&m_db, "RESERVATION_TYPE"), "31");
    EXPECT_EQ(NextMasterCode(&m_db, "INSSURANCETYPE"), "01");
    // A full range falls back to the lowest free number.
    AddUnit("99");
    EXPECT_EQ(NextMasterCode(&m_db, "UNIT"), "02");
    EXPECT_EQ(NextMasterCode(&m_db, "NOSUCHTABLE"), "");
}

TEST_F(EntryDialogsTest, StaffNumbersCountTheLabStaffNamesToo) {
    Insert<CStaffDB>([](tagSTAFFDB& r) { SetField(r.Code, "002"); });
    Insert<CCustomTblDB>([](tagCUSTOMTBLDB& r) {
        SetField(r.TableID, "AA");
        SetField(r.Code, "0005");
    });
    Insert<CCustomTblDB>([](tagCUSTOMTBLDB& r) {
        SetField(r.TableID, "AB");
        SetField(r.Code, "0040");
    });
    EXPECT_EQ(NextMasterCode(&m_db, "STAFF"), "006");

    // A number the lab's names already use is taken, though the staff master lacks it.
    CMasterEntry taken{"5", QStringLiteral("外注"), 0, 0, {}};
    EXPECT_EQ(AddMasterEntry(&m_db, "STAFF", taken), EEntryResult::DuplicateCode);

    QString code;
    CMasterEntry entry{"006", QStringLiteral("技工所みどり"), 0, 0, {}};
    ASSERT_EQ(AddMasterEntry(&m_db, "STAFF", entry, &code), EEntryResult::Ok);
    EXPECT_EQ(code, "006");
    CStaffDB staff;
    ASSERT_EQ(staff.Open(m_folder), 0);
    ASSERT_EQ(staff.GetStaffData("006"), 0);
    EXPECT_EQ(Cp932FieldToQString(staff.m_Data.Name, sizeof staff.m_Data.Name),
              QStringLiteral("技工所みどり"));
    CCustomTblDB custom;
    ASSERT_EQ(custom.Open(m_folder), 0);
    ASSERT_EQ(custom.GetCustomTblData("AA", "0006"), 0);
    EXPECT_STREQ(custom.m_Data.CodeCopy, "0006");
    EXPECT_EQ(Cp932FieldToQString(custom.m_Data.Name, sizeof custom.m_Data.Name),
              QStringLiteral("技工所みどり"));
}

TEST_F(EntryDialogsTest, EveryTableReceivesItsRecord) {
    Insert<CCreditCategoryDB>([](tagCREDITCATEGORYDB& r) { SetField(r.Code, "001"); });
    const char* const tables[] = {"UNIT",       "RESERVATION_TYPE",  "INSSURANCETYPE",
                                  "DOCTOR",     "RESERVATIONWAY",    "CREDIT",
                                  "CREDITCATE", "TREATMENTCATEGORY", "MATERIALITEMCATE"};
    for (const char* table : tables) {
        SCOPED_TRACE(table);
        CMasterEntry entry;
        entry.code = "3";
        entry.name = QStringLiteral("新しい項目");
        entry.colour = 0x80FFFF;
        entry.price = 5500;
        entry.category = "001";
        QString code;
        ASSERT_EQ(AddMasterEntry(&m_db, table, entry, &code), EEntryResult::Ok);
        EXPECT_EQ(code.size(), FindMasterTable(table)->codeDigits);
        EXPECT_EQ(code.toInt(), 3);
    }
    CCategoryDB categories;
    ASSERT_EQ(categories.Open(m_folder), 0);
    ASSERT_EQ(categories.GetCategoryData("0", "03"), 0);
    EXPECT_EQ(categories.m_Data.Colour, 0x80FFFF);
    EXPECT_EQ(Cp932FieldToQString(categories.m_Data.ShortName, sizeof categories.m_Data.ShortName),
              QStringLiteral("新しい項目"));
    EXPECT_EQ(categories.GetCategoryData("1", "03"), 0);
    EXPECT_EQ(categories.GetCategoryData("2", "03"), 0);
    CDoctorDB doctors;
    ASSERT_EQ(doctors.Open(m_folder), 0);
    EXPECT_EQ(doctors.GetDoctorData("03"), 0);
    CCreditItemDB items;
    ASSERT_EQ(items.Open(m_folder), 0);
    ASSERT_EQ(items.GetCreditItemData("001", "003"), 0);
    EXPECT_EQ(items.m_Data.Price, 5500);
    CMaterialItemCateDB labCategories;
    ASSERT_EQ(labCategories.Open(m_folder), 0);
    EXPECT_EQ(labCategories.GetMaterialItemCateData("0003"), 0);
    EXPECT_EQ(Count<CReservationWayDB>(), 1);
    EXPECT_EQ(Count<CCreditCategoryDB>(), 2);
    EXPECT_EQ(Count<CTreatmentCategoryDB>(), 1);
}

TEST_F(EntryDialogsTest, RefusedEntriesWriteNothing) {
    AddUnit("01");
    auto add = [&](const char* table, const char* code, const QString& name,
                   const char* category = "") {
        return AddMasterEntry(&m_db, table, CMasterEntry{code, name, 0, 0, category});
    };
    EXPECT_EQ(add("UNIT", "2", QStringLiteral("  　")), EEntryResult::EmptyName);
    EXPECT_EQ(add("UNIT", "1", QStringLiteral("重複")), EEntryResult::DuplicateCode);
    EXPECT_EQ(add("UNIT", "0", QStringLiteral("零")), EEntryResult::BadCode);
    EXPECT_EQ(add("UNIT", "100", QStringLiteral("百")), EEntryResult::BadCode);
    EXPECT_EQ(add("UNIT", "1a", QStringLiteral("文字")), EEntryResult::BadCode);
    EXPECT_EQ(add("UNITS", "2", QStringLiteral("表なし")), EEntryResult::UnknownTable);
    EXPECT_EQ(add("CREDIT", "1", QStringLiteral("区分なし"), "009"), EEntryResult::NoCategory);
    // Doctor names hold 20 bytes: ten double-byte characters fit, eleven do not.
    EXPECT_EQ(add("DOCTOR", "1", QString(11, QChar(0x5C71))), EEntryResult::NameTooLong);
    EXPECT_EQ(Count<CCategoryDB>(), 1);
    EXPECT_EQ(Count<CDoctorDB>(), 0);
    EXPECT_EQ(Count<CCreditItemDB>(), 0);
    EXPECT_EQ(add("DOCTOR", "1", QString(10, QChar(0x5C71))), EEntryResult::Ok);
}

TEST_F(EntryDialogsTest, LabItemNamesAreNumberedAndUniqueWithinTheirCategory) {
    std::string itemNo;
    ASSERT_EQ(AddMaterialItem(&m_db, "0002", QStringLiteral("リテーナー"), &itemNo),
              EEntryResult::Ok);
    EXPECT_EQ(itemNo, "0000000001");
    EXPECT_EQ(AddMaterialItem(&m_db, "2", QStringLiteral("リテーナー")),
              EEntryResult::DuplicateName);
    ASSERT_EQ(AddMaterialItem(&m_db, "0003", QStringLiteral("リテーナー"), &itemNo),
              EEntryResult::Ok);
    EXPECT_EQ(itemNo, "0000000002");
    // The empty category and category 0 are the same list.
    ASSERT_EQ(AddMaterialItem(&m_db, "", QStringLiteral("模型")), EEntryResult::Ok);
    EXPECT_EQ(AddMaterialItem(&m_db, "0000", QStringLiteral("模型")), EEntryResult::DuplicateName);
    EXPECT_EQ(AddMaterialItem(&m_db, "0001", QStringLiteral(" ")), EEntryResult::EmptyName);
    EXPECT_EQ(AddMaterialItem(&m_db, "0001", QString(41, QChar(0x6A21))),
              EEntryResult::NameTooLong);
    CMaterialItemDB items;
    ASSERT_EQ(items.Open(m_folder), 0);
    ASSERT_EQ(items.GetMaterialItemData("0000000002"), 0);
    EXPECT_STREQ(items.m_Data.CategoryCode, "0003");
    EXPECT_EQ(Count<CMaterialItemDB>(), 3);
}

TEST_F(EntryDialogsTest, DialogWarnsOnADuplicateAndAddsWhenCorrected) {
    AddUnit("01");
    bool duplicateShown = false;
    OnModal([&](QDialog* dialog) {
        auto* code = Child<QLineEdit>(dialog, "code");
        auto* name = Child<QLineEdit>(dialog, "name");
        auto* ok = Child<QPushButton>(dialog, "1");
        EXPECT_EQ(code->text(), "02");
        name->setText(QStringLiteral("チェア2"));
        code->setText("1");
        ok->click();
        duplicateShown = dialog->isVisible() && !CMessageService::History().isEmpty();
        code->setText("2");
        ok->click();
    });
    const QString added = CVeloComDlg::DoGetNewTblItem(&m_db, "UNIT", nullptr);
    EXPECT_TRUE(duplicateShown);
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_EQ(CMessageService::History()[0].text, EntryResultMessage(EEntryResult::DuplicateCode));
    EXPECT_EQ(added, "02");
    CCategoryDB categories;
    ASSERT_EQ(categories.Open(m_folder), 0);
    ASSERT_EQ(categories.GetCategoryData("1", "02"), 0);
    EXPECT_EQ(Cp932FieldToQString(categories.m_Data.Name, sizeof categories.m_Data.Name),
              QStringLiteral("チェア2"));
}

TEST_F(EntryDialogsTest, CancelledDialogsReturnNothing) {
    OnModal([](QDialog* dialog) {
        Child<QLineEdit>(dialog, "name")->setText(QStringLiteral("未保存"));
        Child<QPushButton>(dialog, "2")->click();
    });
    EXPECT_EQ(CVeloComDlg::DoGetNewStaff(&m_db, nullptr), "");
    EXPECT_EQ(Count<CStaffDB>(), 0);
    EXPECT_EQ(Count<CCustomTblDB>(), 0);
}

TEST_F(EntryDialogsTest, FeeItemDialogOffersTheCategoriesAndThePrice) {
    Insert<CCreditCategoryDB>([](tagCREDITCATEGORYDB& r) { SetField(r.Code, "001"); });
    Insert<CCreditCategoryDB>([](tagCREDITCATEGORYDB& r) { SetField(r.Code, "002"); });
    Insert<CCreditItemDB>([](tagCREDITITEMDB& r) {
        SetField(r.CategoryCode, "002");
        SetField(r.ItemCode, "004");
    });
    OnModal([](QDialog* dialog) {
        auto* category = Child<QComboBox>(dialog, "category");
        auto* code = Child<QLineEdit>(dialog, "code");
        EXPECT_EQ(code->text(), "001");
        category->setCurrentIndex(1);
        EXPECT_EQ(code->text(), "005");
        Child<QLineEdit>(dialog, "name")->setText(QStringLiteral("保定装置"));
        Child<QSpinBox>(dialog, "price")->setValue(30000);
        Child<QPushButton>(dialog, "1")->click();
    });
    EXPECT_EQ(CVeloComDlg::DoGetNewTblItem(&m_db, "CREDIT", nullptr), "005");
    CCreditItemDB items;
    ASSERT_EQ(items.Open(m_folder), 0);
    ASSERT_EQ(items.GetCreditItemData("002", "005"), 0);
    EXPECT_EQ(items.m_Data.Price, 30000);
}

TEST_F(EntryDialogsTest, LabItemNameDialogReturnsTheName) {
    OnModal([](QDialog* dialog) {
        Child<QLineEdit>(dialog, "name")->setText(QStringLiteral(" 咬合挙上板 "));
        Child<QPushButton>(dialog, "1")->click();
    });
    EXPECT_EQ(CVeloComDlg::GetNewMaterialItem(&m_db, "0003", nullptr),
              QStringLiteral("咬合挙上板"));
    EXPECT_EQ(Count<CMaterialItemDB>(), 1);
}

TEST_F(EntryDialogsTest, UnstorableNamesAreRefusedAndVendorCharactersKept) {
    // Staff go to two tables: neither may receive a record while the name is refused.
    bool refused = false;
    OnModal([&](QDialog* dialog) {
        auto* name = Child<QLineEdit>(dialog, "name");
        name->setText(QStringLiteral("佐藤😀"));
        Child<QPushButton>(dialog, "1")->click();
        refused = dialog->isVisible() && name->text() == QStringLiteral("佐藤😀") &&
                  name->selectedText() == name->text();
        name->setText(QStringLiteral("髙橋"));
        Child<QPushButton>(dialog, "1")->click();
    });
    EXPECT_EQ(CVeloComDlg::DoGetNewStaff(&m_db, nullptr), "001");
    EXPECT_TRUE(refused);
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_EQ(CMessageService::History()[0].text, UnstorableCharactersMessage(QStringLiteral("😀")));
    EXPECT_EQ(Count<CStaffDB>(), 1);
    EXPECT_EQ(Count<CCustomTblDB>(), 1);
    CStaffDB staff;
    ASSERT_EQ(staff.Open(m_folder), 0);
    ASSERT_EQ(staff.GetFIRST(), 0);
    EXPECT_EQ(Cp932FieldToQString(staff.m_Data.Name, sizeof staff.m_Data.Name),
              QStringLiteral("髙橋"));

    CMessageService::ClearHistory();
    OnModal([](QDialog* dialog) {
        Child<QLineEdit>(dialog, "name")->setText(QStringLiteral("€プレート"));
        Child<QPushButton>(dialog, "1")->click();
        EXPECT_TRUE(dialog->isVisible());
        Child<QPushButton>(dialog, "2")->click();
    });
    EXPECT_EQ(CVeloComDlg::GetNewMaterialItem(&m_db, "0003", nullptr), "");
    EXPECT_EQ(CMessageService::History().size(), 1);
    EXPECT_EQ(Count<CMaterialItemDB>(), 0);
}

TEST_F(EntryDialogsTest, UnknownTableIsReportedNotIgnored) {
    EXPECT_EQ(CVeloComDlg::DoGetNewTblItem(&m_db, "NOSUCH", nullptr), "");
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_TRUE(CMessageService::History()[0].text.contains("NOSUCH"));
}

TEST_F(EntryDialogsTest, NewCancelReasonTakesTheNextCodeAndItsName) {
    Insert<CResReasonDB>([](tagRESREASONDB& r) {
        SetField(r.ReasonCode, "001");
        SetCp932Field(r.ReasonName, sizeof r.ReasonName, QStringLiteral("体調不良"));
    });
    Insert<CResReasonDB>([](tagRESREASONDB& r) { SetField(r.ReasonCode, "006"); });
    OnModal([](QDialog* dialog) {
        EXPECT_EQ(Child<QLineEdit>(dialog, "code")->text(), "007");
        // Reasons hold 100 bytes: the dialog refuses a longer one and keeps the typed text.
        auto* name = Child<QLineEdit>(dialog, "name");
        name->setText(QString(51, QChar(0x96E8)));
        Child<QPushButton>(dialog, "1")->click();
        EXPECT_TRUE(dialog->isVisible());
        name->setText(QStringLiteral("台風のため"));
        Child<QPushButton>(dialog, "1")->click();
    });
    EXPECT_EQ(CVeloComDlg::OpenNewResReason(&m_db, nullptr), "007");
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_EQ(CMessageService::History()[0].text, EntryResultMessage(EEntryResult::NameTooLong));
    CResReasonDB reasons;
    ASSERT_EQ(reasons.Open(m_folder), 0);
    ASSERT_EQ(reasons.GetResReasonData("007"), 0);
    EXPECT_EQ(Cp932FieldToQString(reasons.m_Data.ReasonName, sizeof reasons.m_Data.ReasonName),
              QStringLiteral("台風のため"));
    EXPECT_EQ(Count<CResReasonDB>(), 3);
}

}  // namespace
