// Tests of the visit flow: the day's live reservations in time order with names resolved,
// cancelled, blocked-time, other-day and inactive patients' entries left out, and the dialog
// opened through CVeloComDlg::OpenVisitFlowDialog.
#include "suite/comdlg/visitflowdlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include "suite/comdlg/velocomdlg.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/testsupport/modal.h"
#include "suite/testsupport/testdatabase.h"
#include "suite/text/cp932.h"
#include "suite/tool/xlistctrl.h"
#include "suite/testsupport/application.h"

namespace {

class VisitFlowTest : public DbFolderTest {
protected:
    void SetUp() override {
        EnsureQApplication("visitflowdlg_test");
        ASSERT_NO_FATAL_FAILURE(DbFolderTest::SetUp());
        CCategoryDB units;
        ASSERT_EQ(units.Open(m_folder), 0);
        SetField(units.m_Data.Type, "1");
        SetField(units.m_Data.Code, "01");
        SetCp932Field(units.m_Data.Name, sizeof units.m_Data.Name, QStringLiteral("ユニット１"));
        ASSERT_EQ(units.Insert(), 0);
        CDoctorDB doctors;
        ASSERT_EQ(doctors.Open(m_folder), 0);
        SetField(doctors.m_Data.Code, "02");
        SetCp932Field(doctors.m_Data.Name, sizeof doctors.m_Data.Name, QStringLiteral("佐藤医師"));
        ASSERT_EQ(doctors.Insert(), 0);

        AddPatient("0000000001", "101", "青木　一", 0);
        AddPatient("0000000002", "102", "井上　二", 0);
        AddPatient("0000000003", "103", "上田　三", 1);  // inactive

        // Inserted out of time order on purpose.
        AddReservation("0000000010", "0000000002", "20261207", "1100", "1130", "01", "02", 1);
        AddReservation("0000000011", "0000000001", "20261207", "0930", "1000", "01", "02", 0);
        AddReservation("0000000012", "0000000001", "20261207", "1000", "1030", "01", "02", 2);
        AddReservation("0000000013", "", "20261207", "1200", "1300", "01", "", 0);  // blocked
        AddReservation("0000000014", "0000000003", "20261207", "0900", "0930", "01", "02", 0);
        AddReservation("0000000015", "0000000002", "20261208", "0900", "0930", "01", "02", 0);
        AddReservation("0000000016", "0000000002", "20261206", "1500", "1530", "01", "02", 1);
        AddReservation("0000000017", "0000000001", "20261207", "1100", "1200", "05", "07", 0);
        AddReservation("0000000018", "0000000002", "20261207", "1400", "1430", "01", "02", 5);
        AddReservation("0000000019", "0000000009", "20261207", "1500", "1530", "01", "02", 0);
    }

    void AddPatient(const char* id, const char* chartNo, const char* name, uint8_t inactive) {
        CPatientDB patients;
        ASSERT_EQ(patients.Open(m_folder), 0);
        SetField(patients.m_Data.PatientID, id);
        SetField(patients.m_Data.Patient2ID, id);
        SetField(patients.m_Data.ChartNo, chartNo);
        SetCp932Field(patients.m_Data.Name, sizeof patients.m_Data.Name, QString::fromUtf8(name));
        patients.m_Data.InactiveFlag = inactive;
        ASSERT_EQ(patients.Insert(), 0);
    }

    void AddReservation(const char* no, const char* patientId, const char* day, const char* start,
                        const char* end, const char* unit, const char* doctor, uint8_t status) {
        CReservationDB reservations;
        ASSERT_EQ(reservations.Open(m_folder), 0);
        tagRESERVATIONDB& r = reservations.m_Data;
        SetField(r.ReservationNo, no);
        SetField(r.PatientID, patientId);
        SetField(r.ResDate, day);
        SetField(r.StartTime, start);
        SetField(r.EndTime, end);
        SetField(r.UnitCode, unit);
        SetField(r.DoctorCode, doctor);
        r.Status = status;
        ASSERT_EQ(reservations.Insert(), 0);
    }
};

TEST_F(VisitFlowTest, LiveVisitsOfTheDayInTimeOrder) {
    std::vector<CVisitFlowRow> rows;
    ASSERT_EQ(LoadVisitFlow(&m_db, "20261207", &rows), 0);
    std::vector<std::string> numbers;
    for (const CVisitFlowRow& row : rows) numbers.push_back(row.reservationNo);
    // Two at 11:00 keep their booking order.
    EXPECT_EQ(numbers, (std::vector<std::string>{"0000000011", "0000000010", "0000000017"}));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].startTime, "0930");
    EXPECT_EQ(rows[0].endTime, "1000");
    EXPECT_EQ(rows[0].chartNo, QStringLiteral("101"));
    EXPECT_EQ(rows[0].patientName, QStringLiteral("青木　一"));
    EXPECT_EQ(rows[0].unitName, QStringLiteral("ユニット１"));
    EXPECT_EQ(rows[0].doctorName, QStringLiteral("佐藤医師"));
    EXPECT_FALSE(rows[0].came);
    EXPECT_TRUE(rows[1].came);
    // Codes the masters lack show as the codes.
    EXPECT_EQ(rows[2].unitName, QStringLiteral("05"));
    EXPECT_EQ(rows[2].doctorName, QStringLiteral("07"));
}

TEST_F(VisitFlowTest, EmptyAndInvalidDays) {
    std::vector<CVisitFlowRow> rows;
    ASSERT_EQ(LoadVisitFlow(&m_db, "20261209", &rows), 0);
    EXPECT_TRUE(rows.empty());
    ASSERT_EQ(LoadVisitFlow(&m_db, "20261231", &rows), 0);  // past the last reservation
    EXPECT_TRUE(rows.empty());
    EXPECT_NE(LoadVisitFlow(&m_db, "2026120", &rows), 0);
    EXPECT_TRUE(rows.empty());
}

TEST_F(VisitFlowTest, OpenVisitFlowDialogListsTheDay) {
    int count = -1;
    QString first;
    QString came;
    QString summary;
    OnModal([&](QDialog* dialog) {
        auto* list = dialog->findChild<CXListCtrl*>(QString::number(CVisitFlowDlg::kIdList));
        auto* label = dialog->findChild<QLabel*>(QString::number(CVisitFlowDlg::kIdSummary));
        if (list != nullptr) {
            count = list->GetItemCount();
            first = list->GetItemText(0, CVisitFlowDlg::kColTime);
            came = list->GetItemText(1, CVisitFlowDlg::kColCame);
        }
        if (label != nullptr) summary = label->text();
        auto* close = dialog->findChild<QPushButton*>(QString::number(CVisitFlowDlg::kIdClose));
        if (close != nullptr) close->click();
    });
    CVeloComDlg::OpenVisitFlowDialog(&m_db, "20261207");
    EXPECT_EQ(count, 3);
    EXPECT_EQ(first, QStringLiteral("09:30～10:00"));
    EXPECT_EQ(came, QStringLiteral("来院"));
    EXPECT_TRUE(summary.startsWith(QStringLiteral("予約：3 件　来院：1 件")))
        << summary.toStdString();
}

}  // namespace
