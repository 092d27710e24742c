// Tests of the sheet's data loading over a database folder filled here: the grid's
// columns, which reservations become bars and day-list rows, their item values, the week
// variants, and the month's per-day counts.
#include "sheet/sheetdata.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "recman/recman.h"
#include "sheet/tests/sheetfixture.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/materialdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/text/cp932.h"
#include "suite/tool/tools.h"

namespace velo::sheet {
namespace {

class SheetDataTest : public SheetDbTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(SheetDbTest::SetUp());
        AddCategory("0", "01", "定期検診", 0x123456);
        AddCategory("1", "01", "ユニット1");
        AddCategory("1", "02", "ユニット2");
        AddCategory("1", "03", "予備", 0, true);
        AddCategory("2", "01", "社保");
        AddDoctor("01", "医師A");
        AddDoctor("02", "医師B", true);
        // Patients with the birth date, telephone and insurance their bars' items show.
        const auto listed = [](tagPATIENTDB& r) {
            SetField(r.BirthDate, "19800115");
            SetField(r.HomeTel, "03-1111");
            SetField(r.InsuranceType, "01");
        };
        AddPatient("0000000001", "山田", "ヤマダ", "C001", 0, listed);
        AddPatient("0000000002", "鈴木", "スズキ", "C002", 0, listed);
        AddPatient("0000000003", "休止", "キュウシ", "C003", 1, listed);
    }

    // Every reservation here also has a treatment, a staff code and a reservation way.
    void AddReservation(const TestReservation& res) {
        SheetDbTest::AddReservation(res, [](tagRESERVATIONDB& r) {
            SetCp932Field(r.Treatment, sizeof r.Treatment, QString::fromUtf8("清掃"));
            SetField(r.StaffCode, "000");
            SetField(r.ResWayCode, "000");
        });
    }

    // n live reservations of active patients on one day, numbered from `first`.
    void AddMany(const char* date, int n, int first) {
        for (int i = 0; i < n; ++i) {
            char no[16];
            char start[8];
            std::snprintf(no, sizeof no, "%010d", first + i);
            std::snprintf(start, sizeof start, "%02d%02d", 9 + i / 4, (i % 4) * 15);
            AddReservation({no, i % 2 ? "0000000001" : "0000000002", date, start, start});
        }
    }

    static const ReservationBar* Find(const DayData& day, const char* no) {
        for (const ReservationBar& bar : day.bars) {
            if (bar.reservationNo == no) return &bar;
        }
        return nullptr;
    }
    static const DayListRow* FindRow(const DayData& day, const char* no) {
        for (const DayListRow& row : day.list) {
            if (row.reservationNo == no) return &row;
        }
        return nullptr;
    }
};

TEST_F(SheetDataTest, ColumnsFollowKeyOrderAndLeaveOutHiddenEntries) {
    const auto units = LoadColumnEntities(&m_db, 0);
    ASSERT_EQ(units.size(), 2u);
    EXPECT_EQ(units[0].code, "01");
    EXPECT_EQ(units[1].code, "02");
    EXPECT_EQ(units[1].name, QString::fromUtf8("ユニット2"));
    const auto doctors = LoadColumnEntities(&m_db, 1);
    ASSERT_EQ(doctors.size(), 1u);
    EXPECT_EQ(doctors[0].name, QString::fromUtf8("医師A"));
}

TEST_F(SheetDataTest, DayKeepsLiveReservationsInTimeOrderAndListsOnlyPatients) {
    AddReservation({"0000000001", "0000000001", "20261207", "0930", "1000"});
    AddReservation({"0000000002", "0000000002", "20261207", "0905", "0930", "02", "01", 1});
    AddReservation({"0000000003", "0000000001", "20261207", "1100", "1130", "01", "01", 3});
    AddReservation({"0000000004", "", "20261207", "1200", "1300"});
    AddReservation({"0000000005", "0000009999", "20261207", "1300", "1330", "02"});
    AddReservation({"0000000006", "0000000003", "20261207", "1400", "1430"});
    AddReservation({"0000000007", "0000000001", "20261206", "0900", "0930"});
    AddReservation({"0000000008", "0000000001", "20261208", "0900", "0930"});
    AddReservation({"0000000009", "0000000002", "20261207", "1500", "1530", "01", "01", 2});

    DayData day;
    ASSERT_EQ(
        LoadDayWithClock(&m_db, "20261207", 0, LoadColumnEntities(&m_db, 0), false, true, &day),
        recman::kOk);
    ASSERT_EQ(day.bars.size(), 4u);
    EXPECT_EQ(day.bars[0].reservationNo, "0000000002");  // 9:05 before 9:30
    EXPECT_EQ(day.bars[1].reservationNo, "0000000001");
    EXPECT_EQ(Find(day, "0000000003"), nullptr);  // cancelled
    EXPECT_EQ(Find(day, "0000000009"), nullptr);
    EXPECT_EQ(Find(day, "0000000006"), nullptr);  // inactive patient

    const ReservationBar* blocked = Find(day, "0000000004");
    ASSERT_NE(blocked, nullptr);
    EXPECT_TRUE(blocked->patientId.empty());
    EXPECT_EQ(blocked->items[0], QString::fromUtf8("予約不可設定\n"));
    EXPECT_EQ(FindRow(day, "0000000004"), nullptr);

    const ReservationBar* unknown = Find(day, "0000000005");
    ASSERT_NE(unknown, nullptr);
    EXPECT_EQ(unknown->items[0], QString::fromUtf8("予約不可設定\n"));
    EXPECT_EQ(unknown->colour, 0x123456u);
    EXPECT_EQ(unknown->column, 1);
    EXPECT_NE(FindRow(day, "0000000005"), nullptr);

    ASSERT_EQ(day.count, 3);
    ASSERT_EQ(day.list.size(), 3u);
    EXPECT_EQ(day.list[0].columns[0], QStringLiteral("09:05-09:30"));
    EXPECT_TRUE(day.list[0].came);
    EXPECT_EQ(day.list[0].status, 1);
    EXPECT_EQ(day.list[0].columns[1], QString::fromUtf8("鈴木"));
    EXPECT_EQ(day.list[0].columns[2], QString::fromUtf8("ユニット2"));
    EXPECT_EQ(day.list[0].columns[3], QString::fromUtf8("清掃"));
    EXPECT_EQ(day.list[0].columns[4], QString::fromUtf8("医師A"));
    EXPECT_FALSE(day.list[1].came);
}

TEST_F(SheetDataTest, ItemValuesFollowTheCatalogueAndTheWeekVariants) {
    Insert<CMaterialDB>([&](tagMATERIALDB& m) {
        SetField(m.MaterialNo, "M1");
        SetCp932Field(m.ItemName, sizeof m.ItemName, QString::fromUtf8("義歯"));
        SetField(m.CompletionDate, "20261210");
        SetField(m.FinishedDate, "20261205");
    });
    // The patient's details name entries of their masters; a free-table code that its table
    // does not hold shows nothing.
    Insert<CConditionDB>([](tagCONDITIONDB& r) {
        SetField(r.Code, "02");
        SetCp932Field(r.Name, sizeof r.Name, QString::fromUtf8("保定中"));
    });
    Insert<CIntroDrDB>([](tagINTRODRDB& r) {
        SetField(r.Code, "001");
        SetCp932Field(r.Name, sizeof r.Name, QString::fromUtf8("山本　博"));
        SetCp932Field(r.ClinicName, sizeof r.ClinicName, QString::fromUtf8("山本歯科"));
    });
    Insert<CIntroDrDB>([](tagINTRODRDB& r) {
        SetField(r.Code, "002");
        SetCp932Field(r.Name, sizeof r.Name, QString::fromUtf8("林　優子"));
    });
    AddCategory("3", "02", "中学校");
    const char* const custom[][3] = {{"AB", "0003", "協力的"},
                                     {"00", "0003", "ホームページ"},
                                     {"04", "0001", "電車"},
                                     {"01", "0009", "別表の項目"}};
    for (const auto& c : custom) {
        Insert<CCustomTblDB>([&](tagCUSTOMTBLDB& r) {
            SetField(r.TableID, c[0]);
            SetField(r.Code, c[1]);
            SetCp932Field(r.Name, sizeof r.Name, QString::fromUtf8(c[2]));
        });
    }
    AddPatient("0000000004", "田中", "タナカ", "C004", 0, [](tagPATIENTDB& r) {
        SetField(r.ConditionCode, "02");
        SetField(r.IntroDrCode, "001");
        SetField(r.FamilyDrCode, "002");
        SetField(r.WorkKindCode, "02");
        SetCp932Field(r.WorkplaceName, sizeof r.WorkplaceName, QString::fromUtf8("西中学校"));
        SetField(r.WorkplaceTel, "03-2222");
        SetField(r.TraitCode, "0003");
        SetCp932Field(r.GuardianJob, sizeof r.GuardianJob, QString::fromUtf8("会社員"));
        SetField(r.FreeTblCode[0], "0003");
        SetField(r.FreeTblCode[2], "0009");
        SetField(r.FreeTblCode[4], "0001");
    });
    // Its reservation also names a fee, a staff member and a way, so that one load reads
    // every master the items name.
    AddCreditItem("001", "002", "調整料");
    Insert<CStaffDB>([](tagSTAFFDB& r) {
        SetField(r.Code, "003");
        SetCp932Field(r.Name, sizeof r.Name, QString::fromUtf8("受付A"));
    });
    Insert<CReservationWayDB>([](tagRESERVATIONWAYDB& r) {
        SetField(r.Code, "001");
        SetCp932Field(r.Name, sizeof r.Name, QString::fromUtf8("電話"));
    });
    SheetDbTest::AddReservation({"0000000002", "0000000004", "20261207", "1400", "1430"},
                                [](tagRESERVATIONDB& r) {
                                    SetField(r.CreditCateCode, "001");
                                    SetField(r.CreditItemCode, "002");
                                    r.Fee = 5000;
                                    SetField(r.StaffCode, "003");
                                    SetField(r.ResWayCode, "001");
                                });
    AddReservation(
        {"0000000001", "0000000001", "20261207", "1300", "1345", "09", "07", 0, "05", "M1"});
    const auto columns = LoadColumnEntities(&m_db, 0);

    DayData day;
    ASSERT_EQ(LoadDayWithClock(&m_db, "20261207", 0, columns, false, false, &day), recman::kOk);
    ASSERT_EQ(day.bars.size(), 2u);
    const ReservationBar& bar = day.bars[0];
    EXPECT_EQ(bar.column, kNoColumn);          // unit 09 is no column
    EXPECT_EQ(bar.colour, kDefaultBarColour);  // type 05 unknown
    EXPECT_EQ(bar.items[0], QString::fromUtf8("[C001] 山田$KANAヤマダ"));
    EXPECT_EQ(bar.items[1],
              CTools::MakeDate("20261207") + QString::fromUtf8(" 01:00-01:45 (45分間)"));
    EXPECT_EQ(bar.items[2], QStringLiteral("NA [07]"));
    EXPECT_EQ(bar.items[3], QStringLiteral("NA [09]"));
    EXPECT_TRUE(bar.items[4].isEmpty());
    EXPECT_EQ(bar.items[6],
              QString::fromUtf8("義歯 [完成済み: %1]").arg(CTools::MakeDate("20261205")));
    EXPECT_EQ(bar.items[7], QString::fromUtf8("清掃"));
    EXPECT_EQ(bar.items[8], CTools::MakeDate("19800115"));
    EXPECT_EQ(bar.items[14], QString::fromUtf8("自: 03-1111 携:  他: "));
    EXPECT_EQ(bar.items[18], QString::fromUtf8("社保(01)"));
    for (int item : {10, 11, 12, 16, 17, 21, 25, 26, 27, 28, 29})
        EXPECT_TRUE(bar.items[item].isEmpty()) << item;
    const QString* details = day.bars[1].items;
    EXPECT_EQ(details[10], QString::fromUtf8("保定中"));
    EXPECT_EQ(details[11], QString::fromUtf8("山本歯科 山本　博"));
    EXPECT_EQ(details[12], QString::fromUtf8("林　優子"));
    EXPECT_EQ(details[16], QString::fromUtf8("中学校 西中学校 03-2222"));
    EXPECT_EQ(details[17], QString::fromUtf8("協力的"));
    EXPECT_EQ(details[21], QString::fromUtf8("会社員"));
    EXPECT_EQ(details[25], QString::fromUtf8("ホームページ"));
    EXPECT_TRUE(details[26].isEmpty());
    EXPECT_TRUE(details[27].isEmpty());
    EXPECT_EQ(details[29], QString::fromUtf8("電車"));
    EXPECT_EQ(details[5], QString::fromUtf8("調整料 5000"));
    EXPECT_EQ(details[22], QString::fromUtf8("受付A"));
    EXPECT_EQ(details[24], QString::fromUtf8("電話"));
    EXPECT_EQ(day.list[0].columns[0], QStringLiteral("01:00-01:45"));

    std::array<DayData, 7> week;
    ASSERT_EQ(LoadWeek(&m_db, "20261206", 0, columns, &week), recman::kOk);
    EXPECT_EQ(week[0].date, "20261206");
    EXPECT_TRUE(week[0].bars.empty());
    ASSERT_EQ(week[1].bars.size(), 2u);
    EXPECT_EQ(week[1].bars[0].items[0], QString::fromUtf8("[C001] 山田"));
    EXPECT_EQ(week[1].bars[1].items[16], details[16]);
    EXPECT_EQ(week[1].bars[0].items[6],
              QString::fromUtf8("義歯 [完成予定: %1]").arg(CTools::MakeDate("20261210")));
    EXPECT_EQ(week[1].count, 2);
    EXPECT_EQ(week[6].date, "20261212");

    // The handle keeps the detail masters' names while their files stay as they were: once
    // the files have settled, a reload reads only the files its bars need and attaches none.
    namespace fs = std::filesystem;
    for (const char* file : {"CONDITION.BTR", "INTRODR.BTR", "CUSTOMTBL.BTR"}) {
        fs::last_write_time(fs::path(m_folder) / file,
                            fs::file_time_type::clock::now() - std::chrono::hours(1));
    }
    const auto reload = [&] {
        day = DayData();
        return LoadDayWithClock(&m_db, "20261207", 0, columns, false, false, &day);
    };
    ASSERT_EQ(reload(), recman::kOk);
    ASSERT_EQ(reload(), recman::kOk);
    const uint64_t attachments = recman::testing::AttachmentsMade();
    ASSERT_EQ(reload(), recman::kOk);
    EXPECT_EQ(recman::testing::AttachmentsMade(), attachments);
    ASSERT_EQ(day.bars.size(), 2u);
    EXPECT_EQ(day.bars[1].items[10], QString::fromUtf8("保定中"));
    EXPECT_EQ(day.bars[1].items[25], QString::fromUtf8("ホームページ"));
    // A changed master is read again at once, also when it changes twice within one tick of
    // the clock that stamps its file.
    for (const char* name : {"保定終了", "経過観察"}) {
        CConditionDB conditions;
        ASSERT_EQ(conditions.SetAssociatedDB(&m_db), recman::kOk);
        ASSERT_EQ(conditions.GetConditionData("02"), recman::kOk);
        SetCp932Field(conditions.m_Data.Name, sizeof conditions.m_Data.Name,
                      QString::fromUtf8(name));
        ASSERT_EQ(conditions.Update(), recman::kOk);
        conditions.Close();
        ASSERT_EQ(reload(), recman::kOk);
        EXPECT_EQ(day.bars[1].items[10], QString::fromUtf8(name));
    }
}

TEST_F(SheetDataTest, HiddenDoctorsReservationIsListedButNotDrawnInDoctorLayout) {
    AddReservation({"0000000001", "0000000001", "20261207", "0900", "0930", "01", "02"});
    AddReservation({"0000000002", "0000000002", "20261207", "1000", "1030", "02", "01"});
    DayData day;
    ASSERT_EQ(
        LoadDayWithClock(&m_db, "20261207", 1, LoadColumnEntities(&m_db, 1), false, true, &day),
        recman::kOk);
    ASSERT_EQ(day.bars.size(), 2u);
    EXPECT_EQ(day.bars[0].column, kNoColumn);
    EXPECT_EQ(day.bars[1].column, 0);
    EXPECT_EQ(day.count, 2);
    EXPECT_EQ(day.list[0].columns[4], QString::fromUtf8("医師B"));
}

TEST_F(SheetDataTest, MonthCountsLiveReservationsOfActivePatientsOnly) {
    AddMany("20261210", 10, 1);
    AddMany("20261211", 11, 100);
    AddReservation({"0000000200", "0000000001", "20261210", "1700", "1730", "01", "01", 3});
    AddReservation({"0000000201", "", "20261210", "1800", "1830"});
    AddReservation({"0000000202", "0000000003", "20261210", "1800", "1830"});
    AddReservation({"0000000203", "0000009999", "20261210", "1800", "1830"});
    AddReservation({"0000000204", "0000000001", "20261130", "0900", "0930"});
    AddReservation({"0000000205", "0000000001", "20270101", "0900", "0930"});
    AddReservation({"0000000206", "0000000001", "20261231", "0900", "0930", "01", "01", 1});

    std::vector<int> counts;
    ASSERT_EQ(CountMonth(&m_db, 2026, 12, &counts), recman::kOk);
    ASSERT_EQ(counts.size(), 32u);
    EXPECT_EQ(counts[10], 10);
    EXPECT_EQ(counts[11], 11);
    EXPECT_EQ(counts[31], 1);
    EXPECT_EQ(counts[1], 0);
    EXPECT_EQ(counts[30], 0);

    DayData day;
    ASSERT_EQ(LoadDayWithClock(&m_db, "20261211", 0, {}, false, true, &day), recman::kOk);
    EXPECT_EQ(day.count, counts[11]);

    ASSERT_EQ(CountMonth(&m_db, 2026, 11, &counts), recman::kOk);
    EXPECT_EQ(counts[30], 1);
    EXPECT_EQ(counts[10], 0);
    EXPECT_NE(CountMonth(&m_db, 2026, 13, &counts), recman::kOk);

    // A recount looks for each patient where it was found the last time, yet the patient's
    // record as it is now decides: one patient made inactive, one deleted and its place in
    // the file taken by a new patient's record.
    CPatient1DB patients;
    ASSERT_EQ(patients.SetAssociatedDB(&m_db), recman::kOk);
    ASSERT_EQ(patients.GetPatient1Data("0000000002"), recman::kOk);
    patients.m_Data.InactiveFlag = 1;
    ASSERT_EQ(patients.Update(), recman::kOk);
    ASSERT_EQ(patients.GetPatient1Data("0000000003"), recman::kOk);
    ASSERT_EQ(patients.Delete(), recman::kOk);
    patients.Close();
    AddPatient("0000000004", "新規", "シンキ", "C004");
    AddReservation({"0000000207", "0000000004", "20261212", "0900", "0930"});
    AddReservation({"0000000208", "0000000003", "20261212", "0930", "1000"});
    ASSERT_EQ(CountMonth(&m_db, 2026, 12, &counts), recman::kOk);
    EXPECT_EQ(counts[10], 5);
    EXPECT_EQ(counts[11], 5);
    EXPECT_EQ(counts[12], 1);
}

TEST_F(SheetDataTest, UnreadableFilesLeaveAnEmptyDayAndAreNamed) {
    AddReservation({"0000000001", "0000000001", "20261207", "0900", "0930"});
    recman::Shutdown();
    const auto cutShort = [this](const char* file) {
        std::filesystem::resize_file(std::filesystem::path(m_folder) / file, 1000);
    };
    DayData day;
    std::vector<int> counts;
    ReadFailure failure;

    // A cut-short patient file, whichever of its two, fails every day of the week and the
    // count, and is named.
    cutShort("PATIENT2.BTR");
    std::array<DayData, 7> week;
    EXPECT_NE(LoadWeek(&m_db, "20261206", 0, {}, &week), recman::kOk);
    for (const DayData& one : week) EXPECT_EQ(one.failure.tableFile, "PATIENT2.BTR") << one.date;
    cutShort("PATIENT1.BTR");
    EXPECT_NE(LoadDayWithClock(&m_db, "20261207", 0, {}, false, true, &day), recman::kOk);
    EXPECT_EQ(day.failure.tableFile, "PATIENT1.BTR");
    EXPECT_NE(CountMonth(&m_db, 2026, 12, &counts, &failure), recman::kOk);
    EXPECT_EQ(failure.tableFile, "PATIENT1.BTR");

    // An overwritten unit master: no columns, and the file named.
    {
        std::fstream category(std::filesystem::path(m_folder) / "CATEGORY.BTR",
                              std::ios::in | std::ios::out | std::ios::binary);
        category << std::string(200, 'x');
    }
    EXPECT_TRUE(LoadColumnEntities(&m_db, 0, &failure).empty());
    EXPECT_EQ(failure.tableFile, "CATEGORY.BTR");
    EXPECT_NE(failure.status, recman::kOk);

    // A missing reservation file leaves an empty, dated day.
    std::filesystem::remove(std::filesystem::path(m_folder) / "RESERVATION.BTR");
    day = DayData();
    day.bars.resize(3);
    EXPECT_NE(LoadDayWithClock(&m_db, "20261207", 0, {}, false, true, &day), recman::kOk);
    EXPECT_TRUE(day.bars.empty());
    EXPECT_EQ(day.date, "20261207");
    EXPECT_EQ(day.failure.tableFile, "RESERVATION.BTR");
    EXPECT_NE(CountMonth(&m_db, 2026, 12, &counts, &failure), recman::kOk);
    EXPECT_EQ(counts.size(), 32u);
    EXPECT_EQ(failure.tableFile, "RESERVATION.BTR");
}

}  // namespace
}  // namespace velo::sheet
