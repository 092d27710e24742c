// Tests of the lab-work logic over a fresh database folder: reading orders and filters of
// the list rows, name tables, the by-item grid, numbering and saving of items, deletion,
// and the form data file.
#include "lab/labcore.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "lab/labformdata.h"
#include "lab/labitem.h"
#include "lab/labstrings.h"
#include "recman/recman.h"
#include "suite/comdlg/velosubtools.h"
#include "suite/dbcall/basedbcall.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/materialdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/testsupport/records.h"
#include "suite/testsupport/tablepeer.h"
#include "suite/testsupport/testdatabase.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/tools.h"

namespace {

struct Item {
    const char* no;
    const char* due;
    const char* patient;
    const char* category = "0001";
    const char* finished = "";
    int kind = 0;
    const char* time = "0000";
    const char* staff = "0001";
    const char* name = "リテーナー";
    const char* memo = "";
    const char* ordered = "20260101";
};

class LabCoreTest : public DbFolderTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(DbFolderTest::SetUp());
        RegisterLabStrings();
    }

    template <typename Table, typename Fill>
    void Insert(Fill fill) {
        Table table;
        ASSERT_EQ(table.Open(m_folder), recman::kOk);
        table.ClearData();
        fill(table.m_Data);
        ASSERT_EQ(table.Insert(), recman::kOk);
    }

    void AddPatient(const char* id, const char* name, const char* chartNo, const char* doctor,
                    uint8_t inactive = 0) {
        Insert<CPatientDB>([&](tagPATIENTDB& r) {
            SetField(r.PatientID, id);
            SetCp932Field(r.Name, sizeof r.Name, QString::fromUtf8(name));
            SetCp932Field(r.Kana, sizeof r.Kana, QString::fromUtf8("カナ"));
            SetField(r.ChartNo, chartNo);
            SetField(r.DoctorCode, doctor);
            r.InactiveFlag = inactive;
        });
    }
    void AddDoctor(const char* code, const char* name) {
        Insert<CDoctorDB>([&](tagDOCTORDB& r) {
            SetField(r.Code, code);
            SetCp932Field(r.Name, sizeof r.Name, QString::fromUtf8(name));
        });
    }
    void AddCustom(const char* table, const char* code, const char* name) {
        Insert<CCustomTblDB>([&](tagCUSTOMTBLDB& r) {
            SetField(r.TableID, table);
            SetField(r.Code, code);
            SetCp932Field(r.Name, sizeof r.Name, QString::fromUtf8(name));
        });
    }
    void AddCategory(const char* code, const char* name, const char* mark = "") {
        Insert<CMaterialItemCateDB>([&](tagMATERIALITEMCATEDB& r) {
            SetField(r.Code, code);
            SetField(r.HiddenMark, mark);
            SetCp932Field(r.Name, sizeof r.Name, QString::fromUtf8(name));
        });
    }
    void AddItem(const Item& i) {
        Insert<CMaterialDB>([&](tagMATERIALDB& r) {
            SetField(r.MaterialNo, i.no);
            SetField(r.CompletionDate, i.due);
            SetField(r.PatientID, i.patient);
            SetField(r.CategoryCode, i.category);
            SetField(r.FinishedDate, i.finished);
            r.DueKind = static_cast<uint8_t>(i.kind);
            SetField(r.DueTime, i.time);
            SetField(r.StaffCode, i.staff);
            SetCp932Field(r.ItemName, sizeof r.ItemName, QString::fromUtf8(i.name));
            SetCp932Field(r.Memo, sizeof r.Memo, QString::fromUtf8(i.memo));
            SetField(r.OrderDate, i.ordered);
        });
    }

    std::vector<std::string> Read(const LabFilter& f, int* status = nullptr) {
        std::vector<LabRow> rows;
        const int s = ReadLabRows(&m_db, f, LoadLabNames(&m_db), &rows);
        if (status != nullptr) *status = s;
        std::vector<std::string> numbers;
        for (const LabRow& row : rows) numbers.push_back(row.materialNo);
        return numbers;
    }

    // Cuts a table file to a quarter of its size, as an interrupted copy leaves it.
    void CutShort(const char* file) {
        recman::Shutdown();
        const std::filesystem::path path = std::filesystem::path(m_folder) / file;
        std::filesystem::resize_file(path, std::filesystem::file_size(path) / 4);
    }

    bool ItemExists(const char* no) {
        CMaterialDB items;
        return items.SetAssociatedDB(&m_db) == 0 && items.GetMaterialData(no) == 0;
    }
};

LabFilter Range(const char* from, const char* to) {
    LabFilter f;
    f.from = from;
    f.to = to;
    return f;
}

using Numbers = std::vector<std::string>;

TEST_F(LabCoreTest, DateRangeReadsByDueDayAcrossPatients) {
    AddPatient("0000000001", "山田", "A1", "01");
    AddPatient("0000000002", "佐藤", "A2", "01");
    AddItem({"2026010100003", "20260305", "0000000002"});
    AddItem({"2026010100001", "20260301", "0000000001"});
    AddItem({"2026010100002", "20260305", "0000000001"});
    AddItem({"2026010100004", "20260310", "0000000001"});
    AddItem({"2026010100005", "20260228", "0000000002"});

    int status = -1;
    EXPECT_EQ(Read(Range("20260301", "20260305"), &status),
              (Numbers{"2026010100001", "2026010100002", "2026010100003"}));
    EXPECT_EQ(status, 0);

    LabFilter all;
    all.useRange = false;
    all.from = all.to = "20260305";  // ignored without the range
    EXPECT_EQ(Read(all), (Numbers{"2026010100005", "2026010100001", "2026010100002",
                                  "2026010100003", "2026010100004"}));

    // Another desk moves an item between the range's first and last day again and again while
    // the list refreshes, over more items than one read of the file brings: every refresh
    // shows one state of the files, so the item is listed exactly once, never twice or not
    // at all.
    const std::string moved = "2026010100099";
    ASSERT_EQ(CBaseDBCall::BeginTran(), recman::kOk);
    for (int i = 0; i < 80; ++i) {
        const std::string no = "20260101002" + std::to_string(10 + i);
        AddItem({no.c_str(), i < 40 ? "20260302" : "20260304", "0000000002"});
    }
    AddItem({moved.c_str(), "20260305", "0000000001"});
    ASSERT_EQ(CBaseDBCall::EndTran(), recman::kOk);
    // The desk is cued from beside the refreshes, which go on until it is done; a short pause
    // after each move lets the refreshes run between the moves as well as across them.
    CTablePeer desk(m_folder);
    constexpr int kMoves = 300;
    std::atomic<int> moves = 0, failedMoves = 0;
    std::thread cues([&] {
        for (; moves < kMoves; ++moves) {
            const std::string day = moves % 2 == 0 ? "20260301" : "20260305";
            if (desk.Run("update MATERIAL.BTR MaterialNo=" + moved + " SET CompletionDate=" + day)
                    .rfind("ok ", 0) != 0)
                ++failedMoves;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    int listedOtherThanOnce = 0;
    while (moves < kMoves) {
        const Numbers numbers = Read(Range("20260301", "20260305"));
        if (std::count(numbers.begin(), numbers.end(), moved) != 1) ++listedOtherThanOnce;
    }
    cues.join();
    EXPECT_EQ(failedMoves, 0);
    EXPECT_EQ(listedOtherThanOnce, 0);
}

TEST_F(LabCoreTest, PatientFilterReadsOnlyThatPatientInDueOrder) {
    AddPatient("0000000001", "山田", "A1", "01");
    AddPatient("0000000002", "佐藤", "A2", "01");
    AddItem({"2026010100001", "20260310", "0000000001"});
    AddItem({"2026010100002", "20260303", "0000000001"});
    AddItem({"2026010100003", "20260304", "0000000002"});
    AddItem({"2026010100004", "20260320", "0000000001"});
    AddItem({"2026010100005", "20260302", "0000000001"});

    LabFilter f = Range("20260303", "20260315");
    f.patientId = "0000000001";
    EXPECT_EQ(Read(f), (Numbers{"2026010100002", "2026010100001"}));
    f.useRange = false;
    EXPECT_EQ(Read(f),
              (Numbers{"2026010100005", "2026010100002", "2026010100001", "2026010100004"}));
    f.patientId = "0000000009";
    EXPECT_TRUE(Read(f).empty());
}

TEST_F(LabCoreTest, FinishedInactiveAndUnreadablePatients) {
    AddPatient("0000000001", "山田", "A1", "01");
    AddPatient("0000000002", "佐藤", "A2", "01", 1);
    AddItem({"2026010100001", "20260301", "0000000001", "0001", "20260301"});
    AddItem({"2026010100002", "20260302", "0000000001"});
    AddItem({"2026010100003", "20260303", "0000000002"});
    AddItem({"2026010100004", "20260304", "0000000099"});

    LabFilter f = Range("20260301", "20260331");
    std::vector<LabRow> rows;
    ASSERT_EQ(ReadLabRows(&m_db, f, LoadLabNames(&m_db), &rows), 0);
    ASSERT_EQ(rows.size(), 3u);  // the inactive patient's item is left out
    EXPECT_TRUE(rows[0].finished);
    EXPECT_EQ(rows[0].text[kColFinished], CTools::MakeDate("20260301"));
    EXPECT_FALSE(rows[1].finished);
    EXPECT_TRUE(rows[1].text[kColFinished].isEmpty());
    EXPECT_EQ(rows[2].materialNo, "2026010100004");
    EXPECT_FALSE(rows[2].hasPatient);
    EXPECT_TRUE(rows[2].text[kColPatient].isEmpty());
    EXPECT_TRUE(rows[2].text[kColKana].isEmpty());
    EXPECT_TRUE(rows[2].text[kColDoctor].isEmpty());
    EXPECT_FALSE(rows[2].text[kColItem].isEmpty());

    f.notFinishedOnly = true;
    EXPECT_EQ(Read(f), (Numbers{"2026010100002", "2026010100004"}));

    // A patient file cut short stops the reading and is named: an item whose patient cannot
    // be read might belong to an inactive patient. The items' own file is named the same way,
    // also by the by-item grid.
    CutShort("PATIENT1.BTR");
    LabReadFailure failure;
    rows.clear();
    EXPECT_NE(ReadLabRows(&m_db, f, LoadLabNames(&m_db), &rows, &failure), 0);
    EXPECT_EQ(failure.tableFile, "PATIENT1.BTR");
    EXPECT_NE(failure.status, 0);
    CutShort("MATERIAL.BTR");
    failure = {};
    ByItemGrid grid;
    BuildByItemGrid(&m_db, f, false, LoadLabNames(&m_db), &grid, &failure);
    EXPECT_EQ(failure.tableFile, "MATERIAL.BTR");
    EXPECT_TRUE(grid.days.empty());
}

TEST_F(LabCoreTest, ColumnTextsAndNameTables) {
    AddDoctor("01", "院長");
    AddDoctor("03", "副院長");
    AddCustom("AA", "0001", "院内技工");
    AddCustom("AA", "0003", "ラボ東京");
    AddCustom("AB", "0002", "別の表");
    AddPatient("0000000001", "山田", "C-7", "02");
    AddPatient("0000000002", "佐藤", "C-8", "03");
    AddPatient("0000000003", "鈴木", "C-9", "07");
    AddItem({"2026010100001", "20260301", "0000000001", "0001", "", 0, "0000", "0003", "床", "至急",
             "20260215"});
    AddItem({"2026010100002", "20260302", "0000000002", "0001", "", 1, "0000", "0002"});
    AddItem({"2026010100003", "20260303", "0000000003", "0001", "", 2, "1405", "0009"});

    const LabNames names = LoadLabNames(&m_db);
    ASSERT_EQ(names.doctors.size(), 4u);
    EXPECT_EQ(names.doctors[0], "NA [00]");
    EXPECT_EQ(names.doctors[2], "NA [02]");
    ASSERT_EQ(names.staff.size(), 4u);
    EXPECT_EQ(names.staff[2], "NA [0002]");  // table "AB" is not read

    LabFilter f = Range("20260301", "20260331");
    f.showId = true;
    std::vector<LabRow> rows;
    ASSERT_EQ(ReadLabRows(&m_db, f, names, &rows), 0);
    ASSERT_EQ(rows.size(), 3u);
    const QString day1 = CTools::MakeDate("20260301");
    EXPECT_EQ(rows[0].text[kColItem], "床");
    EXPECT_EQ(rows[0].text[kColStaff], "ラボ東京");
    EXPECT_EQ(rows[0].text[kColOrder], CTools::MakeDate("20260215"));
    EXPECT_EQ(rows[0].text[kColDue], day1 + " 午前");
    EXPECT_EQ(rows[0].text[kColPatient], "[C-7]山田");
    EXPECT_EQ(rows[0].text[kColKana], "カナ");
    EXPECT_EQ(rows[0].text[kColDoctor], "NA [02]");
    EXPECT_EQ(rows[0].text[kColMemo], "至急");
    EXPECT_EQ(rows[1].text[kColDue], CTools::MakeDate("20260302") + " 午後");
    EXPECT_EQ(rows[1].text[kColStaff], "NA [0002]");
    EXPECT_EQ(rows[1].text[kColDoctor], "副院長");
    EXPECT_EQ(rows[2].text[kColDue], CTools::MakeDate("20260303") + " 14:05");
    EXPECT_TRUE(rows[2].text[kColStaff].isEmpty());   // code beyond the table
    EXPECT_TRUE(rows[2].text[kColDoctor].isEmpty());  // code beyond the table

    f.showId = false;
    rows.clear();
    ASSERT_EQ(ReadLabRows(&m_db, f, names, &rows), 0);
    EXPECT_EQ(rows[0].text[kColPatient], "山田");
}

TEST_F(LabCoreTest, DoctorCacheFollowsTheDoctorFile) {
    AddDoctor("01", "院長");
    ASSERT_EQ(RefreshDoctorCache(&m_db), 0);
    ASSERT_EQ(m_db.DoctorNameCache().names.size(), 2u);
    const int64_t first = m_db.DoctorNameCache().fileTime;

    // An unchanged file keeps the cache as it is, even when someone edited the array.
    m_db.DoctorNameCache().names[1] = "cached";
    ASSERT_EQ(RefreshDoctorCache(&m_db), 0);
    EXPECT_EQ(m_db.DoctorNameCache().names[1], "cached");

    AddDoctor("04", "矯正医");
    ASSERT_EQ(RefreshDoctorCache(&m_db), 0);
    EXPECT_NE(m_db.DoctorNameCache().fileTime, first);
    ASSERT_EQ(m_db.DoctorNameCache().names.size(), 5u);
    EXPECT_EQ(m_db.DoctorNameCache().names[1], "院長");
    EXPECT_EQ(m_db.DoctorNameCache().names[3], "NA [03]");
    EXPECT_EQ(m_db.DoctorNameCache().names[4], "矯正医");

    // Once the tables live on a server, the table file velodb push left in the folder is
    // never written again: a doctor renamed at another workstation still shows renamed.
    {
        CTestDatabase server(ETestEngine::kServer, "velolab");
        ASSERT_TRUE(server.Error().empty()) << server.Error();
        std::filesystem::copy_file(std::filesystem::path(m_folder) / "DOCTOR.BTR",
                                   std::filesystem::path(server.Folder()) / "DOCTOR.BTR");
        InsertTestRecord<CDoctorDB>(server.Db(), [](tagDOCTORDB& r) {
            SetField(r.Code, "01");
            SetCp932Field(r.Name, sizeof r.Name, QStringLiteral("院長"));
        });
        ASSERT_EQ(RefreshDoctorCache(&server.Db()), 0);
        ASSERT_EQ(server.Db().DoctorNameCache().names.size(), 2u);
        EXPECT_EQ(server.Db().DoctorNameCache().names[1], "院長");
        CTablePeer desk(server.Folder());
        ASSERT_EQ(desk.Run("update DOCTOR.BTR Code=01 SET Name=副院長").rfind("ok ", 0), 0u);
        const LabNames names = LoadLabNames(&server.Db());
        EXPECT_TRUE(names.failure.tableFile.empty()) << names.failure.tableFile;
        ASSERT_EQ(names.doctors.size(), 2u);
        EXPECT_EQ(names.doctors[1], "副院長");
    }

    // A doctor file that can no longer be read keeps the cache and names the file.
    CutShort("DOCTOR.BTR");
    const LabNames names = LoadLabNames(&m_db);
    EXPECT_EQ(names.failure.tableFile, "DOCTOR.BTR");
    EXPECT_EQ(names.doctors.size(), 5u);
}

TEST_F(LabCoreTest, ByItemGridColumnsCardsAndRows) {
    AddCategory("0001", "床装置");
    AddCategory("0002", "__旧", "__");
    AddCategory("0003", "模型");
    AddCustom("AA", "0001", "院内技工");
    AddPatient("0000000001", "山田", "A1", "01");
    AddItem({"2026010100001", "20260302", "0000000001", "1"});
    AddItem({"2026010100002", "20260302", "0000000001", "0001", "20260302", 0, "0000", "0001", "床",
             "メモ"});
    AddItem({"2026010100003", "20260302", "0000000001", "0003"});
    AddItem({"2026010100004", "20260305", "0000000001", "0003"});
    AddItem({"2026010100005", "20260303", "0000000001", "0002"});  // hidden category
    AddItem({"2026010100006", "20260304", "0000000001", ""});      // category 0: no column

    ByItemGrid grid;
    LabFilter f = Range("20260301", "20260331");
    ASSERT_EQ(BuildByItemGrid(&m_db, f, false, LoadLabNames(&m_db), &grid), ByItemResult::Ok);
    ASSERT_EQ(grid.columns.size(), 2u);
    EXPECT_EQ(grid.columns[0].code, "0001");
    EXPECT_EQ(grid.columns[1].name, "模型");
    ASSERT_EQ(grid.days.size(), 4u);  // 2nd to 5th, the 3rd and 4th without cards
    EXPECT_EQ(grid.days[0].date, "20260302");
    EXPECT_EQ(grid.days[0].rows, 2);
    ASSERT_EQ(grid.days[0].cells.size(), 2u);
    ASSERT_EQ(grid.days[0].cells[0].size(), 2u);
    EXPECT_EQ(grid.days[0].cells[1].size(), 1u);
    EXPECT_EQ(grid.days[1].rows, 1);
    EXPECT_TRUE(grid.days[1].cells[0].empty() && grid.days[1].cells[1].empty());
    EXPECT_TRUE(grid.days[2].cells[0].empty() && grid.days[2].cells[1].empty());
    EXPECT_EQ(grid.days[3].date, "20260305");

    const ByItemCard& card = grid.days[0].cells[0][1];
    EXPECT_TRUE(card.finished);
    const QString due = CTools::MakeDate("20260302") + " 午前";
    EXPECT_EQ(card.text, "患　者　： [A1] 山田\n技工物　： 床\n完成予定： " + due +
                             "\n担当者　： 院内技工\n完成日　： " + CTools::MakeDate("20260302") +
                             "\n備　考　： メモ");
    EXPECT_FALSE(grid.days[0].cells[0][0].text.contains("完成日"));

    ByItemGrid none;
    ASSERT_EQ(
        BuildByItemGrid(&m_db, Range("20270101", "20270131"), false, LoadLabNames(&m_db), &none),
        ByItemResult::Ok);
    EXPECT_TRUE(none.days.empty());
}

TEST_F(LabCoreTest, ByItemWithoutCategoriesUsesOneColumnZero) {
    AddPatient("0000000001", "山田", "A1", "01");
    AddItem({"2026010100001", "20260302", "0000000001", ""});
    AddItem({"2026010100002", "20260302", "0000000001", "0000"});
    AddItem({"2026010100003", "20260302", "0000000001", "0004"});
    ByItemGrid grid;
    LabFilter all;
    all.useRange = false;
    ASSERT_EQ(BuildByItemGrid(&m_db, all, true, LoadLabNames(&m_db), &grid), ByItemResult::Ok);
    ASSERT_EQ(grid.columns.size(), 1u);
    EXPECT_EQ(grid.columns[0].code, "0000");
    ASSERT_EQ(grid.days.size(), 1u);  // empty days do not apply without the range
    EXPECT_EQ(grid.days[0].cells[0].size(), 2u);
}

TEST_F(LabCoreTest, EmptyDaysAreRefusedBeyond178Days) {
    AddPatient("0000000001", "山田", "A1", "01");
    AddItem({"2026010100001", "20260110", "0000000001", ""});
    const LabNames names = LoadLabNames(&m_db);
    ByItemGrid grid;
    const std::string from = "20260101";
    const std::string end178 = CDate::AddDays(from.c_str(), 178);
    const std::string end179 = CDate::AddDays(from.c_str(), 179);
    ASSERT_EQ(BuildByItemGrid(&m_db, Range(from.c_str(), end178.c_str()), true, names, &grid),
              ByItemResult::Ok);
    ASSERT_EQ(grid.days.size(), 179u);
    EXPECT_EQ(grid.days.front().date, from);
    EXPECT_EQ(grid.days.back().date, end178);
    EXPECT_EQ(grid.days[9].cells[0].size(), 1u);

    EXPECT_EQ(BuildByItemGrid(&m_db, Range(from.c_str(), end179.c_str()), true, names, &grid),
              ByItemResult::RangeTooLong);
    EXPECT_TRUE(grid.days.empty() && grid.columns.empty());
    // Without empty days a long range is fine.
    EXPECT_EQ(BuildByItemGrid(&m_db, Range(from.c_str(), end179.c_str()), false, names, &grid),
              ByItemResult::Ok);
    EXPECT_EQ(grid.days.size(), 1u);
}

TEST(LabDayLabel, MonthDayAndWeekday) {
    RegisterLabStrings();
    EXPECT_EQ(ByItemDayLabel("20260301"), " 3/ 1 \n(日) ");
    EXPECT_EQ(ByItemDayLabel("20261212"), "12/12 \n(土) ");
    EXPECT_TRUE(ByItemDayLabel("2026").isEmpty());
}

LabItemInput NewInput(const char* patient = "0000000001") {
    LabItemInput in;
    in.itemName = QString::fromUtf8("リテーナー");
    in.patientId = patient;
    in.staffCode = "0001";
    in.categoryCode = "0001";
    in.orderDate = "20260301";
    in.dueDate = "20260310";
    return in;
}

TEST_F(LabCoreTest, NewItemsAreNumberedPerDay) {
    std::string no;
    ASSERT_EQ(SaveLabItem(&m_db, NewInput(), "20260301", &no), 0);
    EXPECT_EQ(no, "2026030100001");
    ASSERT_EQ(SaveLabItem(&m_db, NewInput(), "20260301", &no), 0);
    EXPECT_EQ(no, "2026030100002");
    ASSERT_EQ(SaveLabItem(&m_db, NewInput(), "20260302", &no), 0);
    EXPECT_EQ(no, "2026030200001");
    EXPECT_EQ(NextMaterialNo(&m_db, "20260301"), "2026030100003");
    EXPECT_EQ(NextMaterialNo(&m_db, "20260228"), "2026022800001");
    EXPECT_FALSE(CBaseDBCall::InTransaction());
}

TEST_F(LabCoreTest, SavedFieldsDueTimeAndKeptOrderDay) {
    LabItemInput in = NewInput();
    in.dueKind = 0;
    in.hour = 15;
    in.minute = 30;
    in.memo = QString::fromUtf8("備考");
    std::string no;
    ASSERT_EQ(SaveLabItem(&m_db, in, "20260301", &no), 0);
    CMaterialDB items;
    ASSERT_EQ(items.SetAssociatedDB(&m_db), 0);
    ASSERT_EQ(items.GetMaterialData(no.c_str()), 0);
    EXPECT_EQ(items.m_Data.DueKind, 0);
    EXPECT_STREQ(items.m_Data.DueTime, "0000");
    EXPECT_STREQ(items.m_Data.OrderDate, "20260301");
    EXPECT_STREQ(items.m_Data.FinishedDate, "");
    EXPECT_EQ(Cp932FieldToQString(items.m_Data.Memo, sizeof items.m_Data.Memo), "備考");

    in.materialNo = no;
    in.orderDate = "20260305";
    in.dueKind = 2;
    in.hour = 9;
    in.minute = 15;
    in.finishedDate = "20260309";
    in.dueDate = "20260311";
    ASSERT_EQ(SaveLabItem(&m_db, in, "20260306", &no), 0);
    EXPECT_EQ(no, in.materialNo);
    ASSERT_EQ(items.GetMaterialData(no.c_str()), 0);
    EXPECT_STREQ(items.m_Data.OrderDate, "20260301");
    EXPECT_EQ(items.m_Data.DueKind, 2);
    EXPECT_STREQ(items.m_Data.DueTime, "0915");
    EXPECT_STREQ(items.m_Data.FinishedDate, "20260309");
    EXPECT_STREQ(items.m_Data.CompletionDate, "20260311");
}

TEST_F(LabCoreTest, FailedSavesChangeNothing) {
    LabItemInput in = NewInput();
    in.staffCode.clear();
    std::string no = "untouched";
    EXPECT_EQ(SaveLabItem(&m_db, in, "20260301", &no), -1);
    in = NewInput();
    in.materialNo = "2026030100007";  // no such item
    EXPECT_EQ(SaveLabItem(&m_db, in, "20260301", &no), recman::kKeyNotFound);
    EXPECT_EQ(no, "untouched");
    EXPECT_FALSE(CBaseDBCall::InTransaction());
    LabFilter all;
    all.useRange = false;
    EXPECT_TRUE(Read(all).empty());
}

TEST_F(LabCoreTest, DeleteAsksInsideATransaction) {
    AddItem({"2026010100001", "20260301", "0000000001"});
    int asked = 0;
    EXPECT_EQ(DeleteLabItem(&m_db, "2026010100009", [&] { return ++asked, true; }),
              recman::kKeyNotFound);
    EXPECT_EQ(asked, 0);
    EXPECT_FALSE(CBaseDBCall::InTransaction());
    EXPECT_TRUE(ItemExists("2026010100001"));

    EXPECT_EQ(DeleteLabItem(&m_db, "2026010100001",
                            [&] {
                                ++asked;
                                EXPECT_TRUE(CBaseDBCall::InTransaction());
                                return false;
                            }),
              2);
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(CBaseDBCall::InTransaction());
    EXPECT_TRUE(ItemExists("2026010100001"));

    EXPECT_EQ(DeleteLabItem(&m_db, "2026010100001", [] { return true; }), 0);
    EXPECT_FALSE(CBaseDBCall::InTransaction());
    EXPECT_FALSE(ItemExists("2026010100001"));
}

std::vector<LabRow> FormRows(int count) {
    std::vector<LabRow> rows(count);
    for (int i = 0; i < count; ++i) {
        for (int c = 0; c < kColumnCount; ++c)
            rows[i].text[c] = QStringLiteral("r%1c%2").arg(i + 1).arg(c);
    }
    return rows;
}

FormHeader Header(bool useRange) {
    FormHeader h;
    h.clinicName = QString::fromUtf8("さくら矯正歯科");
    h.clinicAddress = QString::fromUtf8("東京都");
    h.clinicTel = "03-1234-5678";
    h.useRange = useRange;
    h.from = "20260301";
    h.to = "20261105";
    h.today = "20260307";
    return h;
}

// The page section as the form printer expects it, written out line by line.
std::string ExpectedPage(int p, int pages, const std::vector<LabRow>& rows, const char* range) {
    std::string s = "[startpage" + std::to_string(p) + "]\r\n[SimpleData]\r\nCount=5\r\n";
    s += "Data1=2026/03/07現在  " + std::to_string(p) + "/" + std::to_string(pages) + "\r\n";
    s += "Data2=さくら矯正歯科\r\nData3=東京都\r\nData4=電話：03-1234-5678\r\n";
    s += std::string(range) + "\r\n\r\n";
    s += "[ListData]\r\nListCount=1\r\n\r\n[ListData1]\r\nRowCount=7\r\nColumnCount=50\r\n\r\n";
    const int printed[] = {0, 1, 3, 4, 5, 8};
    for (int j = 1; j <= 50; ++j) {
        char slot[8];
        std::snprintf(slot, sizeof slot, "Data%02d", j);
        const int n = (p - 1) * 50 + j;
        s += std::string(slot) + "01=" + std::to_string(n) + "\r\n";
        for (int k = 0; k < 6; ++k) {
            s += std::string(slot) + "0" + std::to_string(k + 2) + "=";
            if (n <= static_cast<int>(rows.size())) {
                s += "r" + std::to_string(n) + "c" + std::to_string(printed[k]);
            }
            s += "\r\n";
        }
    }
    return s + "[endpage" + std::to_string(p) + "]\r\n\r\n";
}

std::string ExpectedForm(const std::vector<LabRow>& rows, const char* range) {
    const int pages = rows.empty() ? 1 : (static_cast<int>(rows.size()) + 49) / 50;
    std::string s = "[page]\r\npagecount=" + std::to_string(pages) + "\r\n\r\n";
    for (int p = 1; p <= pages; ++p) s += ExpectedPage(p, pages, rows, range);
    return QStringToCp932(QString::fromUtf8(s));
}

TEST(LabFormData, PagesOfFiftyRowsByteForByte) {
    const char* range =
        "Data5=(2026年3月1日\xEF\xBD\x9E"
        "2026年11月5日)";
    for (int count : {0, 50, 51}) {
        const std::vector<LabRow> rows = FormRows(count);
        EXPECT_EQ(BuildFormData(rows, Header(true)), ExpectedForm(rows, range)) << count;
    }
    const std::vector<LabRow> rows = FormRows(51);
    const std::string bytes = BuildFormData(rows, Header(true));
    EXPECT_NE(bytes.find("pagecount=2\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("[startpage2]"), std::string::npos);
    EXPECT_NE(bytes.find("Data0101=51\r\nData0102=r51c0\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("Data0201=52\r\nData0202=\r\n"), std::string::npos);
    // The wave dash of the range is the code page 932 character 0x81 0x60.
    EXPECT_NE(bytes.find("\x93\xFA\x81\x60"
                         "2026"),
              std::string::npos);
}

TEST(LabFormData, WholeFileAndLineBreaksInTexts) {
    std::vector<LabRow> rows = FormRows(1);
    rows[0].text[kColMemo] = "one\r\n[endpage1]\nthree";
    const std::string bytes = BuildFormData(rows, Header(false));
    EXPECT_NE(bytes.find("Data5=" + QStringToCp932(QString::fromUtf8("全件表示")) + "\r\n\r\n"),
              std::string::npos);
    EXPECT_NE(bytes.find("Data0107=one [endpage1] three\r\n"), std::string::npos);
    EXPECT_EQ(bytes.find("\r\n[endpage1]\r\n"), bytes.rfind("\r\n[endpage1]\r\n"));
    size_t bareLineFeeds = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) ++bareLineFeeds;
    }
    EXPECT_EQ(bareLineFeeds, 0u);
}

TEST_F(LabCoreTest, FormHeaderAndDataFile) {
    ASSERT_TRUE(CVeloSubTools::SetGlobalSettingString("GLOBAL", "ClinicName",
                                                      QString::fromUtf8("青空歯科")));
    LabFilter f = Range("20260301", "20260308");
    const FormHeader h = ReadFormHeader(f, "20260301");
    EXPECT_EQ(h.clinicName, "青空歯科");
    EXPECT_TRUE(h.clinicTel.isEmpty());
    EXPECT_TRUE(h.useRange);
    EXPECT_EQ(h.to, "20260308");

    const std::string path = m_folder + "/_tmpschedule.dat";
    const std::string bytes = BuildFormData({}, h);
    ASSERT_TRUE(WriteFormDataFile(path, bytes));
    std::ifstream in(path, std::ios::binary);
    std::ostringstream read;
    read << in.rdbuf();
    EXPECT_EQ(read.str(), bytes);
    EXPECT_FALSE(WriteFormDataFile(m_folder + "/missing/_tmpschedule.dat", bytes));
}

}  // namespace
