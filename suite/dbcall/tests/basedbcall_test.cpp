// CBaseDBCall and the reservation, counter and sale tables on a created database folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "suite/dbcall/indexcontroldb.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/dbcall/saledb.h"
#include "suite/dbcall/tablestamp.h"
#include "suite/testsupport/testdatabase.h"
#include "suite/text/globalsettings.h"

namespace {

struct Booking {
    const char* no;
    const char* patient;
    const char* date;
    const char* start;
    const char* unit;
    const char* doctor;
};

std::vector<char> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

class BaseDBCallTest : public DbFolderTest {
protected:
    void Book(CReservationDB& table, const Booking& b) {
        table.ClearData();
        SetField(table.m_Data.ReservationNo, b.no);
        SetField(table.m_Data.PatientID, b.patient);
        SetField(table.m_Data.ResDate, b.date);
        SetField(table.m_Data.StartTime, b.start);
        SetField(table.m_Data.EndTime, "1200");
        SetField(table.m_Data.UnitCode, b.unit);
        SetField(table.m_Data.DoctorCode, b.doctor);
        ASSERT_EQ(table.Insert(), recman::kOk) << b.no;
    }

    // Scans one column of one day as the sheet does: GREQ on (code, day, "0000"), then NEXT
    // while the code and day match. Returns the reservation numbers in order.
    std::vector<std::string> Column(CReservationDB& table, int key, const char* code,
                                    const char* date) {
        char buffer[18] = {};
        std::strcpy(buffer, code);
        std::strcpy(buffer + 4, date);
        std::strcpy(buffer + 13, "0000");
        table.SetKey(key);
        table.SetKeyBuffer(buffer, sizeof buffer);
        std::vector<std::string> numbers;
        for (int status = table.GetGREQ(); status == 0 && !table.IsEOF();
             status = table.GetNEXT()) {
            const char* column = key == CReservationDB::kKeyUnitTime ? table.m_Data.UnitCode
                                                                     : table.m_Data.DoctorCode;
            if (std::strcmp(column, code) != 0 || std::strcmp(table.m_Data.ResDate, date) != 0) {
                break;
            }
            numbers.push_back(table.m_Data.ReservationNo);
        }
        return numbers;
    }
};

TEST_F(BaseDBCallTest, HandleOpensOnlyExistingFolders) {
    EXPECT_EQ(m_db.GetDatabaseFolder(), m_folder + "/");
    EXPECT_EQ(CGlobalSettings::DatabaseFolder(), m_folder + "/");
    CVeloDBSys other;
    EXPECT_FALSE(other.Open(m_folder + "/missing"));
    EXPECT_EQ(other.GetDatabaseFolder(), "");
    CReservationDB table;
    EXPECT_EQ(table.SetAssociatedDB(&other), recman::kFileNotFound);
    EXPECT_FALSE(table.IsOpen());
    // Open() uses the process's current folder, which the handle set.
    EXPECT_EQ(table.Open(), recman::kOk);
}

TEST_F(BaseDBCallTest, ClosedTableAnswersNotOpen) {
    CReservationDB table;
    EXPECT_EQ(table.GetFIRST(), recman::kFileNotOpen);
    EXPECT_EQ(table.Insert(), recman::kFileNotOpen);
    EXPECT_EQ(table.GetReservationData("0000000001"), recman::kFileNotOpen);
    EXPECT_EQ(table.GetLastStatus(), recman::kFileNotOpen);
    EXPECT_EQ(table.Close(), recman::kFileNotOpen);
}

TEST_F(BaseDBCallTest, FileOfAnotherRecordLengthIsRefusedUntouched) {
    // A RESERVATION.BTR whose records are shorter than the reservation record.
    TableInfo wrong = *FindTable("RESERVATION.BTR");
    wrong.recordLength = 1000;
    std::vector<KeySegmentDesc> keys(wrong.segments.begin(), wrong.segments.end());
    wrong.segments = keys;
    ASSERT_EQ(CreateTableFile(m_folder, wrong), recman::kOk);
    recman::Shutdown();
    const std::string path = m_folder + "/RESERVATION.BTR";
    const std::vector<char> before = FileBytes(path);

    CReservationDB table;
    EXPECT_EQ(table.SetAssociatedDB(&m_db), recman::kRecordLengthMismatch);
    EXPECT_FALSE(table.IsOpen());
    EXPECT_EQ(table.Insert(), recman::kFileNotOpen);
    recman::Shutdown();
    EXPECT_EQ(FileBytes(path), before);
}

TEST_F(BaseDBCallTest, SheetKeysReadInTimeOrder) {
    CReservationDB table;
    ASSERT_EQ(table.SetAssociatedDB(&m_db), recman::kOk);
    // Inserted out of order; 9:05 must sort before 9:30 ("0905" < "0930").
    const Booking bookings[] = {
        {"0000000001", "0000000010", "20240510", "0930", "01", "02"},
        {"0000000002", "0000000010", "20240510", "0905", "01", "02"},
        {"0000000003", "0000000011", "20240510", "1400", "02", "02"},
        {"0000000004", "0000000010", "20240509", "1000", "01", "01"},
        {"0000000005", "0000000011", "20240511", "0900", "01", "02"},
        {"0000000006", "", "20240510", "1300", "01", "01"},  // blocked time
    };
    for (const Booking& b : bookings) {
        Book(table, b);
    }

    EXPECT_EQ(Column(table, CReservationDB::kKeyUnitTime, "01", "20240510"),
              (std::vector<std::string>{"0000000002", "0000000001", "0000000006"}));
    EXPECT_EQ(Column(table, CReservationDB::kKeyDoctorTime, "02", "20240510"),
              (std::vector<std::string>{"0000000002", "0000000001", "0000000003"}));
    EXPECT_TRUE(Column(table, CReservationDB::kKeyUnitTime, "03", "20240510").empty());

    // Key 2: one patient's reservations in time order; the key buffer then holds the key.
    char patientKey[35] = {};
    std::strcpy(patientKey, "0000000010");
    table.SetKey(CReservationDB::kKeyPatientTime);
    table.SetKeyBuffer(patientKey, sizeof patientKey);
    std::vector<std::string> ofPatient;
    for (int st = table.GetGREQ();
         st == 0 && std::strcmp(table.m_Data.PatientID, "0000000010") == 0; st = table.GetNEXT()) {
        ofPatient.push_back(table.m_Data.ReservationNo);
    }
    EXPECT_EQ(ofPatient, (std::vector<std::string>{"0000000004", "0000000002", "0000000001"}));

    // Key 2 backwards from (patient, day, "9999") with LEEQ then LESS.
    std::strcpy(patientKey + 21, "20240510");
    std::strcpy(patientKey + 30, "9999");
    table.SetKeyBuffer(patientKey, sizeof patientKey);
    ASSERT_EQ(table.GetLEEQ(), recman::kOk);
    EXPECT_STREQ(table.m_Data.ReservationNo, "0000000001");
    EXPECT_STREQ(table.GetKeyBuffer() + 30, "0930");
    ASSERT_EQ(table.GetLESS(), recman::kOk);
    EXPECT_STREQ(table.m_Data.ReservationNo, "0000000002");

    // Key 6: a date range across all columns, ending at the end of the file.
    char day[14] = {};
    std::strcpy(day, "20240510");
    table.SetKey(CReservationDB::kKeyTime);
    table.SetKeyBuffer(day, sizeof day);
    std::vector<std::string> fromDay;
    int st = table.GetGREQ();
    for (; st == 0 && !table.IsEOF(); st = table.GetNEXT()) {
        fromDay.push_back(std::string(table.m_Data.ResDate) + table.m_Data.StartTime);
    }
    EXPECT_EQ(st, recman::kEndOfFile);
    EXPECT_TRUE(table.IsEOF());
    EXPECT_EQ(fromDay, (std::vector<std::string>{"202405100905", "202405100930", "202405101300",
                                                 "202405101400", "202405110900"}));

    // Primary key read, and a duplicate number refused.
    ASSERT_EQ(table.GetReservationData("0000000003"), recman::kOk);
    EXPECT_STREQ(table.m_Data.UnitCode, "02");
    EXPECT_EQ(table.GetReservationData("0000000099"), recman::kKeyNotFound);
    table.ClearData();
    SetField(table.m_Data.ReservationNo, "0000000003");
    EXPECT_EQ(table.Insert(), recman::kDuplicateKey);
}

TEST_F(BaseDBCallTest, UpdateDeleteAndDirectAccess) {
    CReservationDB table;
    ASSERT_EQ(table.SetAssociatedDB(&m_db), recman::kOk);
    Book(table, {"0000000001", "0000000010", "20240510", "0930", "01", "02"});
    Book(table, {"0000000002", "0000000010", "20240511", "0930", "01", "02"});

    ASSERT_EQ(table.GetReservationData("0000000001"), recman::kOk);
    uint32_t position = 0;
    ASSERT_EQ(table.GetPosition(&position), recman::kOk);
    table.m_Data.Status = 5;
    SetField(table.m_Data.StartTime, "1015");  // a key field may change
    ASSERT_EQ(table.Update(), recman::kOk);

    ASSERT_EQ(table.GetReservationData("0000000002"), recman::kOk);
    ASSERT_EQ(table.GetDirect(position), recman::kOk);
    EXPECT_STREQ(table.m_Data.ReservationNo, "0000000001");
    EXPECT_EQ(table.m_Data.Status, 5);
    EXPECT_STREQ(table.m_Data.StartTime, "1015");
    EXPECT_EQ(table.Delete(), recman::kOk);
    EXPECT_EQ(table.GetReservationData("0000000001"), recman::kKeyNotFound);

    const tagRESERVATIONDB kept = table.m_Data;
    EXPECT_NE(table.GetDirect(position), recman::kOk);
    EXPECT_EQ(std::memcmp(&kept, &table.m_Data, sizeof kept), 0);
}

// A key part longer than its field used to be cut to fit and then found another record.
TEST_F(BaseDBCallTest, KeysLongerThanTheirFieldAreNotFound) {
    CDoctorDB doctors;
    ASSERT_EQ(doctors.SetAssociatedDB(&m_db), recman::kOk);
    SetField(doctors.m_Data.Code, "01");
    SetField(doctors.m_Data.Name, "Dr01");
    ASSERT_EQ(doctors.Insert(), recman::kOk);
    ASSERT_EQ(doctors.GetDoctorData("01"), recman::kOk);
    EXPECT_EQ(doctors.GetDoctorData("012"), recman::kKeyNotFound);
    EXPECT_STREQ(doctors.m_Data.Code, "01");  // the buffer keeps the last record read

    // Either part of a two-part key.
    CCategoryDB categories;
    ASSERT_EQ(categories.SetAssociatedDB(&m_db), recman::kOk);
    SetField(categories.m_Data.Type, "1");
    SetField(categories.m_Data.Code, "005");
    ASSERT_EQ(categories.Insert(), recman::kOk);
    EXPECT_EQ(categories.GetCategoryData("1", "005"), recman::kOk);
    EXPECT_EQ(categories.GetCategoryData("1", "0051"), recman::kKeyNotFound);
    EXPECT_EQ(categories.GetCategoryData("10", "005"), recman::kKeyNotFound);

    CReservationDB reservations;
    ASSERT_EQ(reservations.SetAssociatedDB(&m_db), recman::kOk);
    Book(reservations, {"0000000003", "0000000010", "20240510", "0930", "01", "02"});
    EXPECT_EQ(reservations.GetReservationData("00000000039"), recman::kKeyNotFound);
    EXPECT_EQ(reservations.GetReservationData("0000000003"), recman::kOk);
}

TEST_F(BaseDBCallTest, FileTimeIsTheTableFilesModificationTime) {
    CDoctorDB doctors;
    int64_t closedTime = 0;
    ASSERT_EQ(doctors.GetFileTime(&closedTime), recman::kOk);  // closed: current folder
    ASSERT_EQ(doctors.SetAssociatedDB(&m_db), recman::kOk);
    int64_t openTime = 0;
    ASSERT_EQ(doctors.GetFileTime(&openTime), recman::kOk);
    struct stat info {};
    ASSERT_EQ(::stat((m_folder + "/DOCTOR.BTR").c_str(), &info), 0);
    EXPECT_EQ(openTime, int64_t(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec);
    EXPECT_EQ(closedTime, openTime);

    std::filesystem::remove(m_folder + "/INDEXCONTROL.BTR");
    CIndexControlDB missing;
    int64_t untouched = 42;
    EXPECT_EQ(missing.GetFileTime(&untouched), recman::kFileNotFound);
    EXPECT_EQ(untouched, 42);

    // A stamp stands for what was read after it only once the file has settled, and only
    // until the file is written again; a missing file gives none.
    const std::string folder = m_db.GetDatabaseFolder();
    CTableStamp stamp, again;
    EXPECT_FALSE(StampTableFile(folder, "INDEXCONTROL.BTR", &stamp));
    ASSERT_TRUE(StampTableFile(folder, "DOCTOR.BTR", &stamp));
    EXPECT_FALSE(stamp.settled);  // written moments ago
    EXPECT_FALSE(StillCurrent(stamp, stamp));
    doctors.Close();
    const auto anHourAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    std::filesystem::last_write_time(m_folder + "/DOCTOR.BTR", anHourAgo);
    ASSERT_TRUE(StampTableFile(folder, "DOCTOR.BTR", &stamp));
    ASSERT_TRUE(StampTableFile(folder, "DOCTOR.BTR", &again));
    EXPECT_TRUE(stamp.settled);
    EXPECT_TRUE(StillCurrent(stamp, again));
    ASSERT_EQ(doctors.SetAssociatedDB(&m_db), recman::kOk);
    doctors.ClearData();
    SetField(doctors.m_Data.Code, "09");
    ASSERT_EQ(doctors.Insert(), recman::kOk);
    ASSERT_TRUE(StampTableFile(folder, "DOCTOR.BTR", &again));
    EXPECT_FALSE(StillCurrent(stamp, again));

    // Once the folder's tables live on a server, the file left in the folder is not the
    // table: it has neither a time nor a stamp.
    doctors.Close();
    ASSERT_EQ(recman::WriteServerConnInfo(m_folder, "host=db1.clinic.lan dbname=clinic"),
              recman::kOk);
    EXPECT_EQ(doctors.GetFileTime(&untouched), recman::kFileNotFound);
    EXPECT_EQ(untouched, 42);
    EXPECT_FALSE(StampTableFile(folder, "DOCTOR.BTR", &again));
    std::filesystem::remove(m_folder + "/" + recman::kServerConnInfoFile);
}

TEST_F(BaseDBCallTest, ReservationNumbersCountUpAndRollBackWithTheTransaction) {
    CIndexControlDB counter;
    ASSERT_EQ(counter.SetAssociatedDB(&m_db), recman::kOk);
    EXPECT_EQ(counter.GetNexReservationIndex(), "0000000001");
    EXPECT_EQ(counter.GetNexReservationIndex(), "0000000001");  // reading takes nothing
    ASSERT_EQ(counter.UpdateNext(), recman::kOk);
    EXPECT_EQ(counter.GetNexReservationIndex(), "0000000002");
    ASSERT_EQ(counter.UpdateNext(), recman::kOk);
    EXPECT_EQ(counter.GetNexReservationIndex(), "0000000003");

    ASSERT_EQ(CBaseDBCall::BeginTran(), recman::kOk);
    EXPECT_TRUE(CBaseDBCall::InTransaction());
    ASSERT_EQ(counter.UpdateNext(), recman::kOk);
    EXPECT_EQ(counter.GetNexReservationIndex(), "0000000004");
    ASSERT_EQ(CBaseDBCall::AbortTran(), recman::kOk);
    EXPECT_FALSE(CBaseDBCall::InTransaction());
    EXPECT_EQ(counter.GetNexReservationIndex(), "0000000003");

    CIndexControlDB closed;
    EXPECT_EQ(closed.GetNexReservationIndex(), "");
    EXPECT_EQ(closed.GetLastStatus(), recman::kFileNotOpen);
}

TEST_F(BaseDBCallTest, AReservationCounterBehindTheNumbersInUseNeverHandsOutATakenOne) {
    // Reservations restored without their counter record.
    CReservationDB table;
    ASSERT_EQ(table.SetAssociatedDB(&m_db), recman::kOk);
    for (const char* no : {"0000000004", "0000000012", "0000000009"})
        Book(table, {no, "0000000001", "20240501", "0900", "01", "01"});
    CIndexControlDB counter;
    ASSERT_EQ(counter.SetAssociatedDB(&m_db), recman::kOk);
    EXPECT_EQ(counter.GetNexReservationIndex(), "0000000013");
    ASSERT_EQ(counter.UpdateNext(), recman::kOk);
    EXPECT_EQ(counter.GetNexReservationIndex(), "0000000014");

    // A counter set back below the numbers in use: the number handed out is free, and
    // the next one after a rolled-back booking is free again.
    const char key[sizeof counter.m_Data.IndexName] = "RESERVATION";
    counter.SetKey(CIndexControlDB::kKeyIndexName);
    counter.SetKeyBuffer(key, sizeof key);
    ASSERT_EQ(counter.GetEQUAL(), recman::kOk);
    counter.m_Data.NextValue = 3;
    ASSERT_EQ(counter.Update(), recman::kOk);
    Book(table, {"0000000014", "0000000001", "20240501", "1000", "01", "01"});
    ASSERT_EQ(CBaseDBCall::BeginTran(), recman::kOk);
    const std::string number = counter.GetNexReservationIndex();
    EXPECT_EQ(number, "0000000015");
    ASSERT_EQ(counter.UpdateNext(), recman::kOk);
    Book(table, {number.c_str(), "0000000001", "20240501", "1100", "01", "01"});
    ASSERT_EQ(CBaseDBCall::AbortTran(), recman::kOk);
    EXPECT_EQ(counter.GetNexReservationIndex(), "0000000015");

    // A counter ahead of the numbers in use keeps its own number.
    ASSERT_EQ(counter.GetEQUAL(), recman::kOk);
    counter.m_Data.NextValue = 40;
    ASSERT_EQ(counter.Update(), recman::kOk);
    EXPECT_EQ(counter.GetNexReservationIndex(), "0000000040");
}

TEST_F(BaseDBCallTest, ReadConsistentlyReadsInOneTransactionOrWithoutOneWhenFilesRunOut) {
    std::vector<bool> runs;
    const auto note = [&] {
        runs.push_back(CBaseDBCall::InTransaction());
        return recman::kOk;
    };
    EXPECT_EQ(CBaseDBCall::ReadConsistently(note), recman::kOk);
    EXPECT_FALSE(CBaseDBCall::InTransaction());
    ASSERT_EQ(CBaseDBCall::BeginTran(), recman::kOk);
    EXPECT_EQ(CBaseDBCall::ReadConsistently(note), recman::kOk);
    EXPECT_TRUE(CBaseDBCall::InTransaction());  // the caller's transaction goes on
    ASSERT_EQ(CBaseDBCall::AbortTran(), recman::kOk);
    EXPECT_EQ(runs, (std::vector<bool>{true, true}));

    // Ten tables held open fill every slot a transaction may hold: an eleventh opens only
    // outside one, so the read runs a second time without a transaction.
    CReservationDB reservations;
    CIndexControlDB counter;
    CSaleDB sales;
    CSaleItemDB lines;
    CCategoryDB categories;
    CDoctorDB doctors;
    CStaffDB staff;
    CReservationWayDB ways;
    CResReasonDB reasons;
    CCreditCategoryDB feeCategories;
    for (CBaseDBCall* table : std::initializer_list<CBaseDBCall*>{
             &reservations, &counter, &sales, &lines, &categories, &doctors, &staff, &ways,
             &reasons, &feeCategories})
        ASSERT_EQ(table->SetAssociatedDB(&m_db), recman::kOk) << table->GetFileName();
    CCreditItemDB feeItems;
    runs.clear();
    EXPECT_EQ(CBaseDBCall::ReadConsistently([&] {
                  runs.push_back(CBaseDBCall::InTransaction());
                  return feeItems.SetAssociatedDB(&m_db);
              }),
              recman::kOk);
    EXPECT_EQ(runs, (std::vector<bool>{true, false}));
    EXPECT_TRUE(feeItems.IsOpen());
    EXPECT_FALSE(CBaseDBCall::InTransaction());
}

class SaleTest : public BaseDBCallTest {
protected:
    void SetUp() override {
        BaseDBCallTest::SetUp();
        ASSERT_EQ(m_sales.SetAssociatedDB(&m_db), recman::kOk);
        ASSERT_EQ(m_lines.SetAssociatedDB(&m_db), recman::kOk);
    }

    // The sale and line as the reservation dialog prepares them for a collected fee.
    void Prepare(const char* patient, int fee, tagSALEITEM* line) {
        m_sales.ClearData();
        SetField(m_sales.m_Data.PatientID, patient);
        SetField(m_sales.m_Data.SaleDate, "20240510");
        SetField(m_sales.m_Data.SaleKind, "00");
        m_sales.m_Data.Amount = fee;
        m_sales.m_Data.AmountWithTax = fee + fee / 10;
        m_sales.m_Data.Tax = fee / 10;
        std::memset(line, 0, sizeof *line);
        SetField(line->SaleDate, "20240510");
        SetField(line->CreditCateCode, "01");
        SetField(line->CreditItemCode, "03");
        line->Quantity = 1;
        line->UnitPrice = fee;
        line->Amount = fee;
    }

    CSaleDB m_sales;
    CSaleItemDB m_lines;
};

TEST_F(SaleTest, InsertAdjustFeeBooksSaleAndLineUnderANewNumber) {
    tagSALEITEM line;
    Prepare("0000000010", 3000, &line);
    std::string first;
    ASSERT_EQ(m_sales.InsertAdjustFee(&first, line, m_lines), recman::kOk);
    EXPECT_EQ(first, "0000000000001");
    Prepare("0000000011", 500, &line);
    std::string second;
    ASSERT_EQ(m_sales.InsertAdjustFee(&second, line, m_lines), recman::kOk);
    EXPECT_EQ(second, "0000000000002");
    EXPECT_LE(second.size(), 13u);

    ASSERT_EQ(m_sales.GetSaleData(first.c_str()), recman::kOk);
    EXPECT_STREQ(m_sales.m_Data.PatientID, "0000000010");
    EXPECT_STREQ(m_sales.m_Data.SaleDate, "20240510");
    EXPECT_EQ(m_sales.m_Data.Amount, 3000);
    EXPECT_EQ(m_sales.m_Data.AmountWithTax, 3300);

    // The sale's lines are found with the sale number and zeros (key 0).
    char key[18] = {};
    std::strcpy(key, second.c_str());
    m_lines.SetKey(CSaleItemDB::kKeySaleLine);
    m_lines.SetKeyBuffer(key, sizeof key);
    ASSERT_EQ(m_lines.GetGREQ(), recman::kOk);
    EXPECT_EQ(std::string(m_lines.m_Data.SaleNo), second);
    EXPECT_STREQ(m_lines.m_Data.LineNo, "001");
    EXPECT_STREQ(m_lines.m_Data.PatientID, "0000000011");
    EXPECT_EQ(m_lines.m_Data.Amount, 500);
    EXPECT_NE(m_lines.GetNEXT(), recman::kOk);
}

TEST_F(SaleTest, InsertAdjustFeeInsideAnAbortedTransactionLeavesNothing) {
    tagSALEITEM line;
    Prepare("0000000010", 3000, &line);
    ASSERT_EQ(CBaseDBCall::BeginTran(), recman::kOk);
    std::string number;
    ASSERT_EQ(m_sales.InsertAdjustFee(&number, line, m_lines), recman::kOk);
    EXPECT_TRUE(CBaseDBCall::InTransaction());  // the caller's transaction stays open
    ASSERT_EQ(CBaseDBCall::AbortTran(), recman::kOk);
    EXPECT_EQ(m_sales.GetFIRST(), recman::kEndOfFile);
    EXPECT_EQ(m_lines.GetFIRST(), recman::kEndOfFile);

    CSaleItemDB closedLines;
    EXPECT_EQ(m_sales.InsertAdjustFee(&number, line, closedLines), recman::kFileNotOpen);
    EXPECT_EQ(m_sales.GetFIRST(), recman::kEndOfFile);
}
