// Tests of the patient query: prefix search by ID, reading and name in key order with
// inactive patients left out, the hit limit, the mode texts, and the dialog chosen from by
// OK and by double-click through VCDQueryPatientData.
#include "suite/comdlg/querypatientdlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include "suite/comdlg/velocomdlg.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/testsupport/modal.h"
#include "suite/testsupport/testdatabase.h"
#include "suite/text/cp932.h"
#include "suite/testsupport/application.h"

namespace {

std::vector<std::string> Ids(const std::vector<CPatientHit>& hits) {
    std::vector<std::string> ids;
    for (const CPatientHit& hit : hits) ids.push_back(hit.patientId);
    return ids;
}

class QueryPatientTest : public DbFolderTest {
protected:
    void SetUp() override {
        EnsureQApplication("querypatientdlg_test");
        ASSERT_NO_FATAL_FAILURE(DbFolderTest::SetUp());
        AddPatient(1, "01200", "山田　花子", "ヤマダ　ハナコ", "2", "20100405");
        AddPatient(2, "01201", "山本　太郎", "ヤマモト　タロウ", "1", "");
        AddPatient(3, "01210", "山田　次郎", "ヤマダ　ジロウ", "1", "20080101", 1);
        AddPatient(4, "02000", "佐藤　一", "サトウ　ハジメ", "1", "20120909");
        AddPatient(5, "01205", "山田　三郎", "ヤマダ　サブロウ", "1", "20090303");
    }

    void AddPatient(int id, const char* chartNo, const char* name, const char* kana,
                    const char* sex, const char* birth, int inactive = 0) {
        CPatientDB patients;
        ASSERT_EQ(patients.Open(m_folder), 0);
        patients.ClearData();
        tagPATIENTDB& r = patients.m_Data;
        SetField(r.PatientID, QString::asprintf("%010d", id).toLatin1().constData());
        SetField(r.Patient2ID, r.PatientID);
        SetField(r.ChartNo, chartNo);
        SetCp932Field(r.Name, sizeof r.Name, QString::fromUtf8(name));
        SetCp932Field(r.Kana, sizeof r.Kana, QString::fromUtf8(kana));
        SetField(r.Sex, sex);
        SetField(r.BirthDate, birth);
        r.InactiveFlag = static_cast<uint8_t>(inactive);
        ASSERT_EQ(patients.Insert(), 0);
    }
};

TEST_F(QueryPatientTest, PrefixSearchInKeyOrderSkipsInactivePatients) {
    std::vector<CPatientHit> hits;
    ASSERT_EQ(SearchPatients(&m_db, "012", EPatientQueryMode::ById, 100, &hits), 0);
    EXPECT_EQ(Ids(hits), (std::vector<std::string>{"0000000001", "0000000002", "0000000005"}));

    ASSERT_EQ(
        SearchPatients(&m_db, QStringLiteral("ヤマダ"), EPatientQueryMode::ByKana, 100, &hits), 0);
    EXPECT_EQ(Ids(hits), (std::vector<std::string>{"0000000005", "0000000001"}));

    ASSERT_EQ(SearchPatients(&m_db, QStringLiteral("山"), EPatientQueryMode::ByName, 100, &hits),
              0);
    EXPECT_EQ(hits.size(), 3u);
    for (const CPatientHit& hit : hits) EXPECT_TRUE(hit.name.startsWith(QStringLiteral("山")));

    ASSERT_EQ(SearchPatients(&m_db, "9", EPatientQueryMode::ById, 100, &hits), 0);
    EXPECT_TRUE(hits.empty());

    ASSERT_EQ(SearchPatients(&m_db, "01200", EPatientQueryMode::ById, 100, &hits), 0);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].chartNo, "01200");
    EXPECT_EQ(hits[0].kana, QStringLiteral("ヤマダ　ハナコ"));
    EXPECT_EQ(hits[0].sex, QStringLiteral("女"));
    EXPECT_EQ(hits[0].birthDate, "2010/04/05");
}

TEST_F(QueryPatientTest, EmptyTextListsEveryActivePatientUpToTheLimit) {
    std::vector<CPatientHit> hits;
    bool more = true;
    ASSERT_EQ(SearchPatients(&m_db, "", EPatientQueryMode::ById, 100, &hits, &more), 0);
    EXPECT_EQ(hits.size(), 4u);
    EXPECT_FALSE(more);
    ASSERT_EQ(SearchPatients(&m_db, "", EPatientQueryMode::ById, 2, &hits, &more), 0);
    EXPECT_EQ(Ids(hits), (std::vector<std::string>{"0000000001", "0000000002"}));
    EXPECT_TRUE(more);
}

TEST_F(QueryPatientTest, ModeTexts) {
    EXPECT_EQ(PatientQueryModeFromText("BYKANA"), EPatientQueryMode::ByKana);
    EXPECT_EQ(PatientQueryModeFromText("byname"), EPatientQueryMode::ByName);
    EXPECT_EQ(PatientQueryModeFromText("BYID"), EPatientQueryMode::ById);
    EXPECT_EQ(PatientQueryModeFromText(nullptr), EPatientQueryMode::ById);
}

TEST_F(QueryPatientTest, DialogPreselectsTheModeAndReturnsTheChosenPatient) {
    CQueryPatientDlg dialog(&m_db, QStringLiteral("ヤマ"), EPatientQueryMode::ByKana);
    auto* byKana = dialog.findChild<QRadioButton*>(QString::number(CQueryPatientDlg::kIdByKana));
    auto* list = dialog.findChild<QTreeWidget*>(QString::number(CQueryPatientDlg::kIdList));
    ASSERT_NE(byKana, nullptr);
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(byKana->isChecked());
    ASSERT_EQ(list->topLevelItemCount(), 3);
    EXPECT_EQ(list->topLevelItem(2)->text(2), QStringLiteral("ヤマモト　タロウ"));

    // Switching the mode searches again with the same text.
    dialog.findChild<QLineEdit*>(QString::number(CQueryPatientDlg::kIdText))->setText("020");
    dialog.findChild<QRadioButton*>(QString::number(CQueryPatientDlg::kIdById))->setChecked(true);
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(1), QStringLiteral("佐藤　一"));
    dialog.findChild<QPushButton*>("1")->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.ChosenPatientId(), "0000000004");
}

TEST_F(QueryPatientTest, DoubleClickChoosesAndCancelReturnsNothing) {
    OnModal([](QDialog* dialog) {
        auto* list = dialog->findChild<QTreeWidget*>(QString::number(CQueryPatientDlg::kIdList));
        ASSERT_EQ(list->topLevelItemCount(), 2);
        emit list->itemDoubleClicked(list->topLevelItem(1), 0);
    });
    EXPECT_EQ(CVeloComDlg::VCDQueryPatientData(&m_db, "山田", "BYNAME"), "0000000005");

    OnModal([](QDialog* dialog) { dialog->findChild<QPushButton*>("2")->click(); });
    EXPECT_EQ(CVeloComDlg::VCDQueryPatientData(&m_db, "", "BYID"), "");
}

}  // namespace
