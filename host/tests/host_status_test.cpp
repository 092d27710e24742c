// Tests of the status page's figures on a database folder of the test's own.
#include <gtest/gtest.h>

#include <QFile>

#include "hoststatus.h"
#include "suite/dbcall/materialdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/testsupport/testdatabase.h"

namespace {

class HostStatusTest : public DbFolderTest {
protected:
    void AddPatient(const char* id, bool inactive) {
        CPatientDB table;
        ASSERT_EQ(table.SetAssociatedDB(&m_db), 0);
        SetField(table.m_Data.PatientID, id);
        table.m_Data.InactiveFlag = inactive ? 1 : 0;
        ASSERT_EQ(table.Insert(), 0);
    }

    void AddReservation(const char* no, const char* patient, const char* day, const char* start,
                        uint8_t status) {
        CReservationDB table;
        ASSERT_EQ(table.SetAssociatedDB(&m_db), 0);
        SetField(table.m_Data.ReservationNo, no);
        SetField(table.m_Data.PatientID, patient);
        SetField(table.m_Data.ResDate, day);
        SetField(table.m_Data.StartTime, start);
        table.m_Data.Status = status;
        ASSERT_EQ(table.Insert(), 0);
    }

    void AddLabItem(const char* no, const char* finished) {
        CMaterialDB table;
        ASSERT_EQ(table.SetAssociatedDB(&m_db), 0);
        SetField(table.m_Data.MaterialNo, no);
        SetField(table.m_Data.FinishedDate, finished);
        ASSERT_EQ(table.Insert(), 0);
    }
};

TEST_F(HostStatusTest, EmptyDatabaseCountsZero) {
    const CHostSummary s = SummariseDatabase(&m_db, "20240501");
    EXPECT_EQ(s.folder, m_folder + "/");
    for (const CHostCount* c : {&s.patients, &s.reservations, &s.labItems, &s.labPending}) {
        EXPECT_EQ(c->status, 0);
        EXPECT_EQ(c->count, 0);
    }
}

TEST_F(HostStatusTest, CountsLivePatientsReservationsOfTheDayAndLabItems) {
    AddPatient("0000000001", false);
    AddPatient("0000000002", false);
    AddPatient("0000000003", true);  // deleted

    // The day before and after, and the day's first and last minute, around the day.
    AddReservation("0000000001", "0000000001", "20240430", "2359", 0);
    AddReservation("0000000002", "0000000001", "20240501", "0000", 0);
    AddReservation("0000000003", "0000000002", "20240501", "0930", 1);  // came
    AddReservation("0000000004", "0000000002", "20240501", "2359", 0);
    AddReservation("0000000005", "0000000001", "20240502", "0000", 0);
    // Records of the day that are not live reservations of a patient.
    AddReservation("0000000006", "0000000001", "20240501", "1000", 2);  // cancelled
    AddReservation("0000000007", "0000000001", "20240501", "1100", 4);  // withdrawn
    AddReservation("0000000008", "0000000001", "20240501", "1200", 5);  // old record of a change
    AddReservation("0000000009", "", "20240501", "1300", 0);            // blocked time

    AddLabItem("2024050100001", "");
    AddLabItem("2024050100002", "20240503");
    AddLabItem("2024050100003", "");

    const CHostSummary s = SummariseDatabase(&m_db, "20240501");
    EXPECT_EQ(s.patients.status, 0);
    EXPECT_EQ(s.patients.count, 2);
    EXPECT_EQ(s.reservations.status, 0);
    EXPECT_EQ(s.reservations.count, 3);
    EXPECT_EQ(s.labItems.count, 3);
    EXPECT_EQ(s.labPending.count, 2);

    // A day with nothing, before and after every record.
    EXPECT_EQ(SummariseDatabase(&m_db, "20200101").reservations.count, 0);
    const CHostSummary later = SummariseDatabase(&m_db, "20300101");
    EXPECT_EQ(later.reservations.status, 0);
    EXPECT_EQ(later.reservations.count, 0);
}

TEST_F(HostStatusTest, MissingTableIsReportedNotCountedAsZero) {
    ASSERT_TRUE(QFile::remove(QString::fromStdString(m_folder + "/MATERIAL.BTR")));
    const CHostSummary s = SummariseDatabase(&m_db, "20240501");
    EXPECT_EQ(s.patients.status, 0);
    EXPECT_NE(s.labItems.status, 0);
    EXPECT_NE(s.labPending.status, 0);
}

}  // namespace
