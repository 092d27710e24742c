// Tests of the reservation helpers against a real database folder: key buffers and time
// fields, the column scan (time order, blocked time, column and day bounds), and the
// last-visit rule with came, cancelled and changed reservations.
#include "sheet/reservation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/testsupport/testdatabase.h"

namespace velo::sheet {
namespace {

TEST(ReservationFields, StatusesAndTimeFields) {
    EXPECT_TRUE(IsLiveStatus(0));
    EXPECT_TRUE(IsLiveStatus(1));
    for (uint8_t status : {2, 3, 4, 5, 255}) EXPECT_FALSE(IsLiveStatus(status)) << int(status);

    EXPECT_EQ(FormatTimeField(905), "0905");
    EXPECT_EQ(FormatTimeField(1930), "1930");
    EXPECT_EQ(FormatTimeField(-1), "0000");
    EXPECT_EQ(ParseTimeField("0905"), 905);
    EXPECT_LT(ParseTimeField("0905"), ParseTimeField("0930"));
    EXPECT_EQ(ParseTimeField("12x4"), 12);
    EXPECT_EQ(ParseTimeField(""), 0);
    EXPECT_EQ(ParseTimeField(nullptr), 0);
    const char unterminated[8] = {'1', '2', '3', '4', '5', '6', '7', '8'};
    EXPECT_EQ(ParseTimeField(unterminated), 1234);  // the four digits of a 5-byte field

    char field[kTimeWidth];
    std::memset(field, 'x', sizeof field);
    SetTimeField(field, 905);
    EXPECT_EQ(std::memcmp(field, "0905\0", kTimeWidth), 0);
}

TEST(ReservationFields, KeysMatchTheRecordLayout) {
    tagRESERVATIONDB record{};
    std::strcpy(record.PatientID, "0000000012");
    std::strcpy(record.ResDate, "20261208");
    std::strcpy(record.StartTime, "0905");
    std::strcpy(record.UnitCode, "03");

    const ReservationPatientKey patient =
        ReservationPatientKey::Make(record.PatientID, record.ResDate, record.StartTime);
    EXPECT_EQ(std::memcmp(&patient, record.PatientID, sizeof patient), 0);

    const ReservationColumnKey column =
        ReservationColumnKey::Make(record.UnitCode, record.ResDate, record.StartTime);
    EXPECT_EQ(std::memcmp(column.Code, record.UnitCode, 4), 0);
    EXPECT_EQ(std::memcmp(column.ResDate, record.ResDate, 9), 0);
    EXPECT_EQ(std::memcmp(column.StartTime, record.StartTime, 5), 0);

    // Over-long texts are cut so that every field keeps its terminator.
    const PatientChartKey chart = PatientChartKey::Make("123456789012345678901234");
    EXPECT_EQ(std::strlen(chart.ChartNo), 20u);
    const SaleLineKey sale = SaleLineKey::Make("0000000000042");
    EXPECT_STREQ(sale.SaleNo, "0000000000042");
    EXPECT_EQ(std::memcmp(sale.LineNo, "\0\0\0\0", 4), 0);
}

class ReservationDbTest : public DbFolderTest {
protected:
    void AddReservation(const char* no, const char* patient, const char* date, int start, int end,
                        const char* unit, const char* doctor, ResStatus status) {
        CReservationDB table;
        ASSERT_EQ(table.SetAssociatedDB(&m_db), 0);
        std::strcpy(table.m_Data.ReservationNo, no);
        std::strcpy(table.m_Data.PatientID, patient);
        std::strcpy(table.m_Data.ResDate, date);
        SetTimeField(table.m_Data.StartTime, start);
        SetTimeField(table.m_Data.EndTime, end);
        std::strcpy(table.m_Data.UnitCode, unit);
        std::strcpy(table.m_Data.DoctorCode, doctor);
        std::strcpy(table.m_Data.StaffCode, "000");
        std::strcpy(table.m_Data.ResWayCode, "000");
        table.m_Data.Status = static_cast<uint8_t>(status);
        ASSERT_EQ(table.Insert(), 0) << no;
    }

    void AddPatient(const char* id, const char* firstVisit, const char* lastVisit) {
        CPatientDB table;
        ASSERT_EQ(table.SetAssociatedDB(&m_db), 0);
        std::strcpy(table.m_Data.PatientID, id);
        std::strcpy(table.m_Data.FirstVisitDate, firstVisit);
        std::strcpy(table.m_Data.LastVisitDate, lastVisit);
        ASSERT_EQ(table.Insert(), 0) << id;
    }

    std::string LastVisitOf(const char* id) {
        CPatientDB table;
        EXPECT_EQ(table.SetAssociatedDB(&m_db), 0);
        EXPECT_EQ(table.GetPatientData(id), 0);
        return table.m_Data.LastVisitDate;
    }

    // Reservation numbers of one column and day, in scan order.
    std::vector<std::string> Column(bool doctorMode, const char* code, const char* date,
                                    int* status = nullptr) {
        CReservationDB table;
        EXPECT_EQ(table.SetAssociatedDB(&m_db), 0);
        std::vector<std::string> numbers;
        const int result = ForEachReservationOfColumn(
            table, doctorMode, code, date, [&numbers](const tagRESERVATIONDB& record) {
                numbers.emplace_back(record.ReservationNo);
                return true;
            });
        if (status != nullptr) *status = result;
        return numbers;
    }
};

TEST_F(ReservationDbTest, ColumnScanInTimeOrderWithinColumnAndDay) {
    AddReservation("0000000001", "0000000007", "20261208", 930, 1000, "01", "02",
                   ResStatus::Booked);
    AddReservation("0000000002", "", "20261208", 905, 930, "01", "02", ResStatus::Booked);
    AddReservation("0000000003", "0000000007", "20261208", 900, 915, "02", "02", ResStatus::Came);
    AddReservation("0000000004", "0000000007", "20261209", 800, 815, "01", "00", ResStatus::Booked);
    AddReservation("0000000005", "0000000007", "20261207", 1800, 1815, "01", "00",
                   ResStatus::Booked);
    AddReservation("0000000006", "0000000008", "20261208", 1400, 1500, "01", "00",
                   ResStatus::CancelledLastMinute);

    int status = -1;
    EXPECT_EQ(Column(false, "01", "20261208", &status),
              (std::vector<std::string>{"0000000002", "0000000001", "0000000006"}));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Column(true, "02", "20261208"),
              (std::vector<std::string>{"0000000003", "0000000002", "0000000001"}));
    // An empty column code scans column "00".
    EXPECT_EQ(Column(true, "", "20261208"), (std::vector<std::string>{"0000000006"}));
    EXPECT_EQ(Column(true, nullptr, "20261209"), (std::vector<std::string>{"0000000004"}));
    EXPECT_TRUE(Column(false, "09", "20261208", &status).empty());
    EXPECT_EQ(status, 0);

    // The 9:05 entry is blocked time; visiting stops when the callback says so.
    CReservationDB table;
    ASSERT_EQ(table.SetAssociatedDB(&m_db), 0);
    std::vector<bool> blocked;
    ForEachReservationOfColumn(table, false, "01", "20261208",
                               [&blocked](const tagRESERVATIONDB& record) {
                                   blocked.push_back(IsBlockedTime(record));
                                   return blocked.size() < 2;
                               });
    EXPECT_EQ(blocked, (std::vector<bool>{true, false}));
}

TEST_F(ReservationDbTest, ColumnScanOnAClosedTableReportsTheStatus) {
    CReservationDB table;
    const int status = ForEachReservationOfColumn(table, false, "01", "20261208",
                                                  [](const tagRESERVATIONDB&) { return true; });
    EXPECT_NE(status, 0);
}

TEST_F(ReservationDbTest, LastVisitTakesThePatientsLatestCameDay) {
    AddPatient("0000000001", "20200401", "");
    AddReservation("0000000011", "0000000001", "20261201", 900, 930, "01", "01", ResStatus::Came);
    AddReservation("0000000012", "0000000001", "20261205", 900, 930, "01", "01",
                   ResStatus::CancelledWithNotice);
    AddReservation("0000000013", "0000000001", "20261206", 900, 930, "01", "01",
                   ResStatus::CancelledLastMinute);
    AddReservation("0000000014", "0000000001", "20261208", 1000, 1030, "01", "01",
                   ResStatus::Booked);
    AddReservation("0000000015", "0000000001", "20261215", 900, 930, "01", "01", ResStatus::Came);
    // Another patient's came reservation sorts next to this patient's and must not count.
    AddPatient("0000000002", "20190101", "");
    AddReservation("0000000016", "0000000002", "20261207", 900, 930, "01", "01", ResStatus::Came);

    ASSERT_EQ(LastVisitRule(&m_db, "0000000001"), 0);
    EXPECT_EQ(LastVisitOf("0000000001"), "20261215");
    EXPECT_EQ(LastVisitOf("0000000002"), "");  // untouched

    // The later visit unticked: the day goes back to the visit before it.
    {
        CReservationDB table;
        ASSERT_EQ(table.SetAssociatedDB(&m_db), 0);
        ASSERT_EQ(table.GetReservationData("0000000015"), 0);
        table.m_Data.Status = static_cast<uint8_t>(ResStatus::Booked);
        ASSERT_EQ(table.Update(), 0);
    }
    ASSERT_EQ(LastVisitRule(&m_db, "0000000001"), 0);
    EXPECT_EQ(LastVisitOf("0000000001"), "20261201");
}

TEST_F(ReservationDbTest, LastVisitSeesReservationsSharingDayAndTime) {
    // A came reservation followed by a changed record at the same day and start time:
    // both carry the same key, and the came one must still be found.
    AddPatient("0000000003", "20200401", "");
    AddReservation("0000000021", "0000000003", "20261207", 900, 930, "01", "01", ResStatus::Came);
    AddReservation("0000000022", "0000000003", "20261207", 900, 930, "02", "01",
                   ResStatus::Changed);
    AddReservation("0000000023", "0000000003", "20261207", 900, 930, "03", "01",
                   ResStatus::Revoked);
    ASSERT_EQ(LastVisitRule(&m_db, "0000000003"), 0);
    EXPECT_EQ(LastVisitOf("0000000003"), "20261207");
}

TEST_F(ReservationDbTest, LastVisitFallsBackToTheFirstVisit) {
    AddPatient("0000000004", "20210315", "");
    AddReservation("0000000031", "0000000004", "20261208", 900, 930, "01", "01", ResStatus::Booked);
    AddReservation("0000000032", "0000000004", "20261201", 900, 930, "01", "01",
                   ResStatus::CancelledWithNotice);
    ASSERT_EQ(LastVisitRule(&m_db, "0000000004"), 0);
    EXPECT_EQ(LastVisitOf("0000000004"), "20210315");

    // A stored last visit is kept when no came day is found.
    AddPatient("0000000005", "20210315", "20250101");
    ASSERT_EQ(LastVisitRule(&m_db, "0000000005"), 0);
    EXPECT_EQ(LastVisitOf("0000000005"), "20250101");

    EXPECT_EQ(LastVisitRule(&m_db, ""), 0);            // blocked time: nothing to do
    EXPECT_EQ(LastVisitRule(&m_db, "0000000099"), 4);  // no such patient
}

}  // namespace
}  // namespace velo::sheet
