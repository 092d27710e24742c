// Tests of the billing library: the patient screen's fields (names resolved, age on a
// given day, unknown patients), the patient's sales and their received flag, and the
// dialogs driven the way staff use them, including a failed write.
#include "suite/core/velocore.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>

#include "recman/recman.h"
#include "suite/core/billingdlg.h"
#include "suite/core/patientinfodlg.h"
#include "suite/core/patientsummary.h"
#include "suite/core/saleledger.h"
#include "suite/dbcall/catalogue.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/saledb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/testsupport/modal.h"
#include "suite/testsupport/testdatabase.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/tools.h"
#include "suite/tool/xlistctrl.h"
#include "suite/testsupport/application.h"

namespace {

QString FieldValue(const std::vector<CPatientField>& fields, const QString& label) {
    for (const CPatientField& field : fields)
        if (field.label == label) return field.value;
    return QStringLiteral("<missing>");
}

class VeloCoreTest : public DbFolderTest {
protected:
    void SetUp() override {
        EnsureQApplication("velocore_test");
        ASSERT_NO_FATAL_FAILURE(DbFolderTest::SetUp());
        CMessageService::SetScript({});
        CMessageService::ClearHistory();

        CDoctorDB doctors;
        ASSERT_EQ(doctors.Open(m_folder), 0);
        SetField(doctors.m_Data.Code, "03");
        SetCp932Field(doctors.m_Data.Name, sizeof doctors.m_Data.Name,
                      QStringLiteral("鈴木　一郎"));
        ASSERT_EQ(doctors.Insert(), 0);
        CCategoryDB categories;
        ASSERT_EQ(categories.Open(m_folder), 0);
        SetField(categories.m_Data.Type, "2");
        SetField(categories.m_Data.Code, "01");
        SetCp932Field(categories.m_Data.Name, sizeof categories.m_Data.Name,
                      QStringLiteral("社会保険"));
        ASSERT_EQ(categories.Insert(), 0);

        CPatientDB patients;
        ASSERT_EQ(patients.Open(m_folder), 0);
        tagPATIENTDB& r = patients.m_Data;
        SetField(r.PatientID, "0000000007");
        SetField(r.Patient2ID, r.PatientID);
        SetField(r.ChartNo, "01207");
        SetCp932Field(r.Name, sizeof r.Name, QStringLiteral("山田　花子"));
        SetCp932Field(r.Kana, sizeof r.Kana, QStringLiteral("ヤマダ　ハナコ"));
        SetField(r.Sex, "2");
        SetField(r.BirthDate, "20100405");
        SetField(r.FirstVisitDate, "20200110");
        SetField(r.LastVisitDate, "20261120");
        SetField(r.DoctorCode, "03");
        SetField(r.HomeTel, "03-1234-5678");
        SetField(r.MobileTel, "090-1111-2222");
        SetField(r.ZipCode, "150-0001");
        SetCp932Field(r.Address1, sizeof r.Address1, QStringLiteral("東京都渋谷区神宮前1-1"));
        SetCp932Field(r.Address2, sizeof r.Address2, QStringLiteral("青山ハイツ101"));
        SetField(r.Email, "hanako@example.jp");
        SetField(r.InsuranceType, "01");
        ASSERT_EQ(patients.Insert(), 0);

        // Sales inserted out of day order, one of another patient between them.
        AddSale("0000000000003", "0000000007", "20261120", 5000, 5500, false);
        AddSale("0000000000001", "0000000007", "20261001", 3000, 3300, true);
        AddSale("0000000000002", "0000000008", "20261015", 9000, 9900, false);
        AddSale("0000000000004", "0000000007", "20261105", 1000, 1100, false);
    }

    void TearDown() override {
        CMessageService::SetScript({});
        CDate::SetTodayForTesting(0, 0, 0);
    }

    void AddSale(const char* saleNo, const char* patientId, const char* day, int amount,
                 int withTax, bool received) {
        CSaleDB sales;
        ASSERT_EQ(sales.Open(m_folder), 0);
        SetField(sales.m_Data.SaleNo, saleNo);
        SetField(sales.m_Data.PatientID, patientId);
        SetField(sales.m_Data.SaleDate, day);
        SetField(sales.m_Data.SaleKind, "00");
        sales.m_Data.Amount = amount;
        sales.m_Data.AmountWithTax = withTax;
        sales.m_Data.Tax = withTax - amount;
        sales.m_Data.ReceivedFlag = received ? 1 : 0;
        if (received) SetField(sales.m_Data.ReceivedDate, day);
        ASSERT_EQ(sales.Insert(), 0);
    }

    tagSALEDB StoredSale(const char* saleNo) {
        CSaleDB sales;
        EXPECT_EQ(sales.Open(m_folder), 0);
        EXPECT_EQ(sales.GetSaleData(saleNo), 0);
        return sales.m_Data;
    }
};

TEST_F(VeloCoreTest, PatientFieldsResolveNamesAndAge) {
    std::vector<CPatientField> fields;
    ASSERT_EQ(LoadPatientFields(&m_db, "0000000007", "20261207", &fields), 0);
    EXPECT_EQ(fields.front().label, QStringLiteral("患者ID"));
    EXPECT_EQ(FieldValue(fields, QStringLiteral("患者ID")), QStringLiteral("01207"));
    EXPECT_EQ(FieldValue(fields, QStringLiteral("氏名")), QStringLiteral("山田　花子"));
    EXPECT_EQ(FieldValue(fields, QStringLiteral("フリガナ")), QStringLiteral("ヤマダ　ハナコ"));
    EXPECT_EQ(FieldValue(fields, QStringLiteral("性別")), QStringLiteral("女"));
    EXPECT_EQ(FieldValue(fields, QStringLiteral("生年月日")), CTools::MakeDate("20100405"));
    EXPECT_EQ(FieldValue(fields, QStringLiteral("年齢")), QStringLiteral("16歳8ヶ月"));
    EXPECT_EQ(FieldValue(fields, QStringLiteral("最終来院日")), CTools::MakeDate("20261120"));
    EXPECT_EQ(FieldValue(fields, QStringLiteral("担当医")), QStringLiteral("鈴木　一郎"));
    EXPECT_EQ(FieldValue(fields, QStringLiteral("携帯電話")), QStringLiteral("090-1111-2222"));
    EXPECT_EQ(FieldValue(fields, QStringLiteral("住所")),
              QStringLiteral("東京都渋谷区神宮前1-1 青山ハイツ101"));
    EXPECT_EQ(FieldValue(fields, QStringLiteral("郵便番号")), QStringLiteral("〒150-0001"));
    EXPECT_EQ(FieldValue(fields, QStringLiteral("メール")), QStringLiteral("hanako@example.jp"));
    EXPECT_EQ(FieldValue(fields, QStringLiteral("保険種別")), QStringLiteral("社会保険"));
    // The day before the birthday the year is not yet complete.
    ASSERT_EQ(LoadPatientFields(&m_db, "0000000007", "20270404", &fields), 0);
    EXPECT_EQ(FieldValue(fields, QStringLiteral("年齢")), QStringLiteral("16歳11ヶ月"));
}

TEST_F(VeloCoreTest, PatientFieldsOfUnknownOrUnsetCodes) {
    std::vector<CPatientField> fields{{QStringLiteral("x"), QStringLiteral("y")}};
    EXPECT_EQ(LoadPatientFields(&m_db, "0000000099", "20261207", &fields), recman::kKeyNotFound);
    EXPECT_TRUE(fields.empty());
    EXPECT_EQ(LoadPatientFields(&m_db, "", "20261207", &fields), recman::kKeyNotFound);

    // A doctor code the master lacks shows the code; no birth date gives no age.
    CPatientDB patients;
    ASSERT_EQ(patients.Open(m_folder), 0);
    ASSERT_EQ(patients.GetPatientData("0000000007"), 0);
    SetField(patients.m_Data.DoctorCode, "09");
    SetField(patients.m_Data.BirthDate, "");
    ASSERT_EQ(patients.Update(), 0);
    ASSERT_EQ(LoadPatientFields(&m_db, "0000000007", "20261207", &fields), 0);
    EXPECT_EQ(FieldValue(fields, QStringLiteral("担当医")), QStringLiteral("09"));
    EXPECT_EQ(FieldValue(fields, QStringLiteral("年齢")), QString());
}

TEST_F(VeloCoreTest, SalesOfOnePatientInDayOrder) {
    std::vector<CSaleRow> rows;
    ASSERT_EQ(LoadPatientSales(&m_db, "0000000007", &rows), 0);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].saleNo, "0000000000001");
    EXPECT_EQ(rows[1].saleNo, "0000000000004");
    EXPECT_EQ(rows[2].saleNo, "0000000000003");
    EXPECT_TRUE(rows[0].received);
    EXPECT_EQ(rows[0].receivedDate, "20261001");
    EXPECT_FALSE(rows[2].received);
    EXPECT_EQ(rows[2].amount, 5000);
    EXPECT_EQ(rows[2].amountWithTax, 5500);
    EXPECT_EQ(rows[2].tax, 500);

    ASSERT_EQ(LoadPatientSales(&m_db, "0000000099", &rows), 0);
    EXPECT_TRUE(rows.empty());
}

TEST_F(VeloCoreTest, ReceivedFlagIsSetAndCleared) {
    ASSERT_EQ(SetSaleReceived(&m_db, "0000000000003", true, "20261207"), 0);
    tagSALEDB sale = StoredSale("0000000000003");
    EXPECT_NE(sale.ReceivedFlag, 0);
    EXPECT_STREQ(sale.ReceivedDate, "20261207");
    EXPECT_EQ(sale.AmountWithTax, 5500);  // the rest of the sale is untouched

    // Marking again keeps the first day.
    ASSERT_EQ(SetSaleReceived(&m_db, "0000000000003", true, "20261208"), 0);
    EXPECT_STREQ(StoredSale("0000000000003").ReceivedDate, "20261207");

    ASSERT_EQ(SetSaleReceived(&m_db, "0000000000003", false, "20261208"), 0);
    sale = StoredSale("0000000000003");
    EXPECT_EQ(sale.ReceivedFlag, 0);
    EXPECT_STREQ(sale.ReceivedDate, "");

    EXPECT_EQ(SetSaleReceived(&m_db, "0000000000077", true, "20261207"), recman::kKeyNotFound);
    EXPECT_FALSE(CBaseDBCall::InTransaction());
}

TEST_F(VeloCoreTest, BillingDialogMarksTheSelectedSaleAndRefreshes) {
    CDate::SetTodayForTesting(2026, 12, 7);
    CBillingDlg dialog(&m_db, "0000000007", QStringLiteral("山田　花子"));
    dialog.show();
    auto* list = dialog.findChild<CXListCtrl*>(QString::number(CBillingDlg::kIdList));
    auto* mark = dialog.findChild<QPushButton*>(QString::number(CBillingDlg::kIdMarkReceived));
    auto* clear = dialog.findChild<QPushButton*>(QString::number(CBillingDlg::kIdClearReceived));
    ASSERT_NE(list, nullptr);
    ASSERT_NE(mark, nullptr);
    ASSERT_NE(clear, nullptr);
    ASSERT_EQ(list->GetItemCount(), 3);
    EXPECT_EQ(list->GetItemText(2, CBillingDlg::kColSaleNo), QStringLiteral("0000000000003"));
    EXPECT_EQ(list->GetItemText(2, CBillingDlg::kColWithTax), QStringLiteral("5,500"));

    // The first row is received already: only the clearing button works on it.
    EXPECT_EQ(list->GetSelIndex(), 0);
    EXPECT_FALSE(mark->isEnabled());
    EXPECT_TRUE(clear->isEnabled());

    list->SetSelIndex(2);
    EXPECT_TRUE(mark->isEnabled());
    mark->click();
    EXPECT_NE(StoredSale("0000000000003").ReceivedFlag, 0);
    EXPECT_STREQ(StoredSale("0000000000003").ReceivedDate, "20261207");
    // The list was re-read and the sale stays selected.
    EXPECT_EQ(list->GetSelIndex(), 2);
    EXPECT_TRUE(dialog.Rows()[2].received);
    EXPECT_TRUE(
        list->GetItemText(2, CBillingDlg::kColReceived).startsWith(QStringLiteral("入金済")));
    EXPECT_FALSE(mark->isEnabled());
    EXPECT_TRUE(CMessageService::History().isEmpty());
}

TEST_F(VeloCoreTest, BillingDialogReportsAFailedUpdate) {
    CBillingDlg dialog(&m_db, "0000000007", QString());
    dialog.show();
    auto* list = dialog.findChild<CXListCtrl*>(QString::number(CBillingDlg::kIdList));
    ASSERT_NE(list, nullptr);
    list->SetSelIndex(1);
    {
        // Another workstation deletes the sale while the screen is open.
        CSaleDB sales;
        ASSERT_EQ(sales.Open(m_folder), 0);
        ASSERT_EQ(sales.GetSaleData("0000000000004"), 0);
        ASSERT_EQ(sales.Delete(), 0);
    }
    EXPECT_EQ(dialog.OnMarkReceived(), recman::kKeyNotFound);
    const auto history = CMessageService::History();
    ASSERT_EQ(history.size(), 1);
    EXPECT_EQ(history[0].text, QStringLiteral("データの更新を行なう際、エラーが発生します。"));
    EXPECT_EQ(list->GetItemCount(), 2);
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(VeloCoreTest, OnStartShowsThePatientAndReportsAnUnknownOne) {
    QString shownName;
    OnModal([&](QDialog* dialog) {
        // 氏名 is the third field.
        auto* name =
            dialog->findChild<QLineEdit*>(QString::number(CPatientInfoDlg::kIdFirstField + 2));
        if (name != nullptr) shownName = name->text();
        auto* close = dialog->findChild<QPushButton*>(QString::number(CPatientInfoDlg::kIdClose));
        if (close != nullptr) close->click();
    });
    EXPECT_EQ(CVeloCore::OnStart(&m_db, "0000000007"), QString());
    EXPECT_EQ(shownName, QStringLiteral("山田　花子"));
    EXPECT_TRUE(CMessageService::History().isEmpty());

    EXPECT_EQ(CVeloCore::OnStart(&m_db, "0000000099"), QString());
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_EQ(CMessageService::History()[0].text, QStringLiteral("患者データが見つかりません。"));
}

TEST_F(VeloCoreTest, OnBillingRunsThePaymentScreen) {
    int rows = -1;
    OnModal([&](QDialog* dialog) {
        auto* list = dialog->findChild<CXListCtrl*>(QString::number(CBillingDlg::kIdList));
        if (list != nullptr) rows = list->GetItemCount();
        dialog->reject();
    });
    EXPECT_EQ(CVeloCore::OnBilling(&m_db, "0000000007"), QString());
    EXPECT_EQ(rows, 3);
}

}  // namespace
