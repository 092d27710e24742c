// The appointment sheet's loads against plain SQLite on the same data, in one run.
//
// The database is the demo clinic named by VELO_BENCH_DB when its reservation file holds
// at least kMinReservations records, else one generated here in a temporary folder
// through the table classes (kPatients patients, kReservations reservations over a year,
// some cancelled, some blocked time). The plain SQLite side keeps the same reservations in
// one table with an index on (date, start), the patients' two records in two tables by id
// as the suite stores them, the lab items by number, and the category, doctor, fee-item,
// staff and reservation-way masters; each load reads the day's (week's, month's)
// reservations in time order, looks each patient, lab item and master up once per load, as
// the sheet does, and builds the bar and row texts.
// The shown day is the day of the middle reservation in date order. The run ends in
//   RATIO SheetDay <record manager time / SQLite time> 3.0
//   RATIO SheetWeek ... 3.0
//   RATIO SheetMonth ... 3.0
//   FIGURE SheetDay <ms> ms (target < 10)
//   FIGURE SheetWeek <ms> ms (target < 60)
//   FIGURE SheetMonth <ms> ms (target < 50)
//   FIGURE SheetDayRepaint <ms> ms (target < 16), beside the plain day read
//   FIGURE SheetWeekRepaint <ms> ms (target < 16), beside the plain week read
// which scripts/bench collects. A repaint draws the loaded view into its off-screen image
// at 1280 x 760 (offscreen platform), as one paint event does; it reads nothing from the
// files, so its figure stands beside the plain SQLite reading time of the same view.
#include <QApplication>
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "insertmany.h"
#include "plainsheet.h"
#include "plainsqlite.h"
#include "ratioreporter.h"
#include "recman/recman.h"
#include "sheet/daysheetview.h"
#include "sheet/reservation.h"
#include "sheet/sheetdata.h"
#include "sheet/sheetsettings.h"
#include "sheet/weeksheetview.h"
#include "suite/dbcall/catalogue.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/materialdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"

namespace {

using namespace velo::sheet;

constexpr int kPatients = 20000;
constexpr int kReservations = 80000;
constexpr int kMinReservations = 20000;
constexpr int kDaysSpanned = 365;
constexpr const char* kFirstDay = "20260101";

struct Setup {
    std::string folder;      // the database folder the record manager side reads
    std::string sqlitePath;  // the plain SQLite copy
    std::string day;         // the shown day, YYYYMMDD
    std::string weekStart;   // the day's week, from the day itself
    int year = 0, month = 0;
    bool generated = false;
    std::string error;
};

std::string TempFolder() {
    char pattern[] = "/tmp/velo-benchsheet-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    return made != nullptr ? made : "";
}

int CountReservations(const std::string& folder) {
    CReservationDB table;
    if (table.Open(folder) != 0) return 0;
    int n = 0;
    table.SetKey(CReservationDB::kKeyReservationNo);
    for (int st = table.GetFIRST(); st == 0 && n < kMinReservations; st = table.GetNEXT()) ++n;
    return n;
}

int Generate(const std::string& folder) {
    int status = CreateAllTables(folder);
    if (status != 0) return status;
    std::mt19937 rng(7);
    status = InsertMany<CCategoryDB>(folder, 12, [](int i, tagCATEGORYDB& r) {
        SetField(r.Type, i < 6 ? "0" : "1");
        std::snprintf(r.Code, sizeof r.Code, "%02d", i % 6 + 1);
        SetCp932Field(
            r.Name, sizeof r.Name,
            (i < 6 ? QStringLiteral("種類%1") : QStringLiteral("ユニット%1")).arg(i % 6 + 1));
        r.Colour = 0x402000 + i * 0x10;
    });
    if (status == 0) {
        status = InsertMany<CDoctorDB>(folder, 5, [](int i, tagDOCTORDB& r) {
            std::snprintf(r.Code, sizeof r.Code, "%02d", i + 1);
            SetCp932Field(r.Name, sizeof r.Name, QStringLiteral("医師%1").arg(i + 1));
        });
    }
    if (status == 0) {
        status = InsertMany<CPatientDB>(folder, kPatients, [&](int i, tagPATIENTDB& r) {
            std::snprintf(r.PatientID, sizeof r.PatientID, "%010d", i + 1);
            std::memcpy(r.Patient2ID, r.PatientID, sizeof r.Patient2ID);
            SetCp932Field(r.Name, sizeof r.Name, QStringLiteral("患者 %1").arg(i + 1));
            SetCp932Field(r.Kana, sizeof r.Kana, QStringLiteral("カンジャ %1").arg(i + 1));
            std::snprintf(r.ChartNo, sizeof r.ChartNo, "C%06d", i + 1);
            SetField(r.BirthDate, "19800101");
            SetField(r.HomeTel, "03-0000-0000");
            r.InactiveFlag = rng() % 50 == 0 ? 1 : 0;
        });
    }
    if (status == 0) {
        status = InsertMany<CReservationDB>(folder, kReservations, [&](int i, tagRESERVATIONDB& r) {
            const std::string date = CDate::AddDays(kFirstDay, int(rng() % kDaysSpanned));
            const int slot = int(rng() % 40);  // quarter hours from 9:00
            const int start = (9 + slot / 4) * 100 + slot % 4 * 15;
            const int end = (9 + (slot + 2) / 4) * 100 + (slot + 2) % 4 * 15;
            std::snprintf(r.ReservationNo, sizeof r.ReservationNo, "%010d", i + 1);
            if (rng() % 30 != 0)
                std::snprintf(r.PatientID, sizeof r.PatientID, "%010d", int(rng() % kPatients) + 1);
            SetField(r.ResDate, date.c_str());
            std::snprintf(r.StartTime, sizeof r.StartTime, "%04d", start);
            std::snprintf(r.EndTime, sizeof r.EndTime, "%04d", end);
            std::snprintf(r.UnitCode, sizeof r.UnitCode, "%02d", int(rng() % 6) + 1);
            std::snprintf(r.DoctorCode, sizeof r.DoctorCode, "%02d", int(rng() % 5) + 1);
            std::snprintf(r.ResTypeCode, sizeof r.ResTypeCode, "%02d", int(rng() % 6) + 1);
            SetCp932Field(r.Treatment, sizeof r.Treatment, QStringLiteral("定期検診"));
            r.Status = rng() % 10 == 0 ? uint8_t(2 + rng() % 4) : uint8_t(rng() % 2);
            SetField(r.StaffCode, "000");
            SetField(r.ResWayCode, "000");
            SetField(r.EntryDate, kFirstDay);
        });
    }
    return status;
}

const char* kSqliteSchema =
    "PRAGMA journal_mode=DELETE;"
    "CREATE TABLE reservation(no TEXT PRIMARY KEY, date TEXT, start TEXT, status INTEGER,"
    " patient TEXT, data BLOB);"
    "CREATE INDEX r_date ON reservation(date, start);"
    "CREATE INDEX r_count ON reservation(date, status, patient);"
    "CREATE TABLE patient(id TEXT PRIMARY KEY, inactive INTEGER, data BLOB);"
    "CREATE INDEX p_inactive ON patient(id, inactive);"
    "CREATE TABLE patient2(id TEXT PRIMARY KEY, data BLOB);"
    "CREATE TABLE material(no TEXT PRIMARY KEY, data BLOB);"
    "CREATE TABLE category(type TEXT, code TEXT, data BLOB, PRIMARY KEY(type, code));"
    "CREATE TABLE doctor(code TEXT PRIMARY KEY, data BLOB);"
    "CREATE TABLE credit(cate TEXT, item TEXT, data BLOB, PRIMARY KEY(cate, item));"
    "CREATE TABLE staff(code TEXT PRIMARY KEY, data BLOB);"
    "CREATE TABLE way(code TEXT PRIMARY KEY, data BLOB);"
    "CREATE TABLE condition(code TEXT PRIMARY KEY, data BLOB);"
    "CREATE TABLE introdr(code TEXT PRIMARY KEY, data BLOB);"
    "CREATE TABLE custom(tbl TEXT, code TEXT, data BLOB, PRIMARY KEY(tbl, code));";

// Copies every record of a table class into a plain table: `bind` binds the key columns
// (from 1) and returns the number bound; the record itself goes last.
template <typename Table, typename Bind>
bool CopyTable(sqlite3* db, const std::string& folder, const char* sql, int key, Bind bind) {
    sqlite3_stmt* stmt = nullptr;
    bool ok = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK;
    Table table;
    ok = ok && table.Open(folder) == 0;
    table.SetKey(key);
    for (int st = ok ? table.GetFIRST() : 9; ok && st == 0; st = table.GetNEXT()) {
        const int bound = bind(stmt, table.m_Data);
        sqlite3_bind_blob(stmt, bound + 1, &table.m_Data, sizeof table.m_Data, SQLITE_TRANSIENT);
        ok = sqlite3_step(stmt) == SQLITE_DONE;
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    return ok;
}

void BindText(sqlite3_stmt* stmt, int column, const std::string& text) {
    sqlite3_bind_text(stmt, column, text.c_str(), -1, SQLITE_TRANSIENT);
}

// Copies the reservations, patients and masters of the folder into a fresh SQLite file
// and collects the reservations' dates.
bool CopyToSqlite(const std::string& folder, const std::string& path,
                  std::vector<std::string>* dates) {
    std::filesystem::remove(path);
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return false;
    bool ok = sqlite3_exec(db, kSqliteSchema, nullptr, nullptr, nullptr) == SQLITE_OK &&
              sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_stmt* stmt = nullptr;

    // Reservations in key-6 order, so equal (date, start) keep the same order on both sides.
    sqlite3_prepare_v2(db, "INSERT INTO reservation VALUES(?,?,?,?,?,?)", -1, &stmt, nullptr);
    CReservationDB reservations;
    ok = ok && reservations.Open(folder) == 0;
    reservations.SetKey(CReservationDB::kKeyTime);
    for (int st = ok ? reservations.GetFIRST() : 9; ok && st == 0; st = reservations.GetNEXT()) {
        const tagRESERVATIONDB& r = reservations.m_Data;
        dates->push_back(FieldText(r.ResDate));
        sqlite3_bind_text(stmt, 1, FieldText(r.ReservationNo).c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 2, FieldText(r.ResDate).c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 3, FieldText(r.StartTime).c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(stmt, 4, r.Status);
        sqlite3_bind_text(stmt, 5, FieldText(r.PatientID).c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_blob(stmt, 6, &r, sizeof r, SQLITE_TRANSIENT);
        ok = ok && sqlite3_step(stmt) == SQLITE_DONE;
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);

    ok = ok &&
         CopyTable<CPatient1DB>(db, folder, "INSERT INTO patient VALUES(?,?,?)", 0,
                                [](sqlite3_stmt* st, const tagPATIENT1DB& r) {
                                    BindText(st, 1, FieldText(r.PatientID));
                                    sqlite3_bind_int(st, 2, r.InactiveFlag);
                                    return 2;
                                }) &&
         CopyTable<CPatient2DB>(db, folder, "INSERT INTO patient2 VALUES(?,?)", 0,
                                [](sqlite3_stmt* st, const tagPATIENT2DB& r) {
                                    BindText(st, 1, FieldText(r.PatientID));
                                    return 1;
                                }) &&
         CopyTable<CMaterialDB>(db, folder, "INSERT INTO material VALUES(?,?)",
                                CMaterialDB::kKeyMaterialNo,
                                [](sqlite3_stmt* st, const tagMATERIALDB& r) {
                                    BindText(st, 1, FieldText(r.MaterialNo));
                                    return 1;
                                }) &&
         CopyTable<CCreditItemDB>(db, folder, "INSERT OR REPLACE INTO credit VALUES(?,?,?)",
                                  CCreditItemDB::kKeyCategoryItem,
                                  [](sqlite3_stmt* st, const tagCREDITITEMDB& r) {
                                      BindText(st, 1, FieldText(r.CategoryCode));
                                      BindText(st, 2, FieldText(r.ItemCode));
                                      return 2;
                                  }) &&
         CopyTable<CStaffDB>(db, folder, "INSERT OR REPLACE INTO staff VALUES(?,?)",
                             CStaffDB::kKeyCode, [](sqlite3_stmt* st, const tagSTAFFDB& r) {
                                 BindText(st, 1, FieldText(r.Code));
                                 return 1;
                             }) &&
         CopyTable<CReservationWayDB>(db, folder, "INSERT OR REPLACE INTO way VALUES(?,?)",
                                      CReservationWayDB::kKeyCode,
                                      [](sqlite3_stmt* st, const tagRESERVATIONWAYDB& r) {
                                          BindText(st, 1, FieldText(r.Code));
                                          return 1;
                                      }) &&
         CopyTable<CConditionDB>(db, folder, "INSERT OR REPLACE INTO condition VALUES(?,?)", 0,
                                 [](sqlite3_stmt* st, const tagCONDITIONDB& r) {
                                     BindText(st, 1, FieldText(r.Code));
                                     return 1;
                                 }) &&
         CopyTable<CIntroDrDB>(db, folder, "INSERT OR REPLACE INTO introdr VALUES(?,?)", 0,
                               [](sqlite3_stmt* st, const tagINTRODRDB& r) {
                                   BindText(st, 1, FieldText(r.Code));
                                   return 1;
                               }) &&
         CopyTable<CCustomTblDB>(db, folder, "INSERT OR REPLACE INTO custom VALUES(?,?,?)", 0,
                                 [](sqlite3_stmt* st, const tagCUSTOMTBLDB& r) {
                                     BindText(st, 1, FieldText(r.TableID));
                                     BindText(st, 2, FieldText(r.Code));
                                     return 2;
                                 });

    sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO category VALUES(?,?,?)", -1, &stmt, nullptr);
    CCategoryDB categories;
    ok = ok && categories.Open(folder) == 0;
    categories.SetKey(CCategoryDB::kKeyTypeCode);
    for (int st = ok ? categories.GetFIRST() : 9; ok && st == 0; st = categories.GetNEXT()) {
        const tagCATEGORYDB& r = categories.m_Data;
        sqlite3_bind_text(stmt, 1, FieldText(r.Type).c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 2, FieldText(r.Code).c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_blob(stmt, 3, &r, sizeof r, SQLITE_TRANSIENT);
        ok = ok && sqlite3_step(stmt) == SQLITE_DONE;
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);

    sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO doctor VALUES(?,?)", -1, &stmt, nullptr);
    CDoctorDB doctors;
    ok = ok && doctors.Open(folder) == 0;
    doctors.SetKey(CDoctorDB::kKeyCode);
    for (int st = ok ? doctors.GetFIRST() : 9; ok && st == 0; st = doctors.GetNEXT()) {
        const tagDOCTORDB& r = doctors.m_Data;
        sqlite3_bind_text(stmt, 1, FieldText(r.Code).c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_blob(stmt, 2, &r, sizeof r, SQLITE_TRANSIENT);
        ok = ok && sqlite3_step(stmt) == SQLITE_DONE;
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);

    ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

Setup& TheSetup() {
    static Setup setup = [] {
        Setup s;
        const char* demo = std::getenv("VELO_BENCH_DB");
        const std::string work = TempFolder();
        if (work.empty()) {
            s.error = "no temporary folder";
            return s;
        }
        if (demo != nullptr && *demo && CountReservations(demo) >= kMinReservations) {
            s.folder = demo;
            std::fprintf(stderr, "sheet: the demo database in VELO_BENCH_DB\n");
        } else {
            s.folder = work + "/db";
            s.generated = true;
            std::filesystem::create_directories(s.folder);
            std::fprintf(stderr, "sheet: %d generated reservations and %d patients\n",
                         kReservations, kPatients);
            if (Generate(s.folder) != 0) s.error = "could not generate the database";
        }
        s.sqlitePath = work + "/plain.sqlite";
        std::vector<std::string> dates;
        if (s.error.empty() && !CopyToSqlite(s.folder, s.sqlitePath, &dates))
            s.error = "could not fill SQLite";
        s.day = dates.empty() ? std::string(kFirstDay) : dates[dates.size() / 2];
        s.weekStart = s.day;
        s.year = std::atoi(s.day.substr(0, 4).c_str());
        s.month = std::atoi(s.day.substr(4, 2).c_str());
        return s;
    }();
    return setup;
}

// ---- The plain SQLite side ------------------------------------------------------------

class CPlainSheet final : private CPlainSheetLookup {
public:
    explicit CPlainSheet(const std::string& path) : m_db(path, true, kPlainTables) {
        m_day = Prepare("SELECT data FROM reservation WHERE date = ? ORDER BY start, rowid");
        // Only what the count needs, from covering indexes: no reservation or patient record
        // is read.
        m_month = Prepare(
            "SELECT date, patient FROM reservation INDEXED BY r_count WHERE date >= ? AND date <= ?"
            " AND status IN (0, 1) AND patient <> ''");
        m_inactive = Prepare("SELECT inactive FROM patient INDEXED BY p_inactive WHERE id = ?");
        m_lookups = {
            Prepare("SELECT data FROM patient WHERE id = ?"),
            Prepare("SELECT data FROM patient2 WHERE id = ?"),
            Prepare("SELECT data FROM material WHERE no = ?"),
            Prepare("SELECT data FROM credit WHERE cate = ? AND item = ?"),
            Prepare("SELECT data FROM staff WHERE code = ?"),
            Prepare("SELECT data FROM way WHERE code = ?"),
            Prepare("SELECT data FROM category WHERE type = ? AND code = ?"),
            Prepare("SELECT data FROM doctor WHERE code = ?"),
            Prepare("SELECT data FROM condition WHERE code = ?"),
            Prepare("SELECT data FROM introdr WHERE code = ?"),
            Prepare("SELECT data FROM custom WHERE tbl = ? AND code = ?"),
        };
    }
    ~CPlainSheet() {
        for (sqlite3_stmt* s : m_statements) sqlite3_finalize(s);
    }
    CPlainSheet(const CPlainSheet&) = delete;
    CPlainSheet& operator=(const CPlainSheet&) = delete;

    bool Ready() const { return m_ready; }

    // One day of the day view, in a read transaction of its own.
    void LoadDay(const std::string& date, const std::vector<std::string>& units, bool clock24,
                 DayData* out) {
        m_builder.StartLoad();
        m_db.ReadConsistently([&] {
            LoadOneDay(date, units, false, clock24, out);
            return true;
        });
    }

    // The seven days of the week view from weekStart, in one read transaction and with one
    // set of lookups.
    void LoadWeek(const std::string& weekStart, const std::vector<std::string>& units,
                  bool clock24, std::array<DayData, 7>* out) {
        m_builder.StartLoad();
        m_db.ReadConsistently([&] {
            for (int d = 0; d < 7; ++d)
                LoadOneDay(CDate::AddDays(weekStart.c_str(), d), units, true, clock24,
                           &(*out)[d]);
            return true;
        });
    }

    void CountMonth(int year, int month, std::vector<int>* counts) {
        counts->assign(32, 0);
        char from[9], to[9];
        std::snprintf(from, sizeof from, "%04d%02d01", year, month);
        std::snprintf(to, sizeof to, "%04d%02d31", year, month);
        m_db.ReadConsistently([&] {
            std::unordered_map<std::string, bool> active;
            sqlite3_bind_text(m_month, 1, from, -1, SQLITE_STATIC);
            sqlite3_bind_text(m_month, 2, to, -1, SQLITE_STATIC);
            while (sqlite3_step(m_month) == SQLITE_ROW) {
                const char* date = reinterpret_cast<const char*>(sqlite3_column_text(m_month, 0));
                const std::string id =
                    reinterpret_cast<const char*>(sqlite3_column_text(m_month, 1));
                auto it = active.find(id);
                if (it == active.end()) {
                    sqlite3_bind_text(m_inactive, 1, id.c_str(), -1, SQLITE_STATIC);
                    const bool counts = sqlite3_step(m_inactive) == SQLITE_ROW &&
                                        sqlite3_column_int(m_inactive, 0) == 0;
                    sqlite3_reset(m_inactive);
                    it = active.emplace(id, counts).first;
                }
                if (it->second) ++(*counts)[(date[6] - '0') * 10 + (date[7] - '0')];
            }
            sqlite3_reset(m_month);
            return true;
        });
    }

private:
    // The suite's tables in the plain file, each of which the record manager keeps in a file
    // with a page cache of its own.
    static constexpr int kPlainTables = 12;

    sqlite3_stmt* Prepare(const char* sql) {
        sqlite3_stmt* stmt = nullptr;
        if (!m_db.Ready() ||
            sqlite3_prepare_v2(m_db.Handle(), sql, -1, &stmt, nullptr) != SQLITE_OK)
            m_ready = false;
        m_statements.push_back(stmt);
        return stmt;
    }

    // Runs the table's lookup statement with the texts bound; the record of its first row.
    bool Find(Table table, std::initializer_list<std::string> keys, void* out,
              size_t size) override {
        sqlite3_stmt* stmt = m_lookups[size_t(table)];
        int column = 0;
        for (const std::string& key : keys)
            sqlite3_bind_text(stmt, ++column, key.c_str(), -1, SQLITE_TRANSIENT);
        const bool found = sqlite3_step(stmt) == SQLITE_ROW;
        if (found) std::memcpy(out, sqlite3_column_blob(stmt, 0), size);
        sqlite3_reset(stmt);
        return found;
    }

    void LoadOneDay(const std::string& date, const std::vector<std::string>& units,
                    bool weekStyle, bool clock24, DayData* out) {
        m_builder.StartDay(date, out);
        sqlite3_bind_text(m_day, 1, date.c_str(), -1, SQLITE_STATIC);
        while (sqlite3_step(m_day) == SQLITE_ROW) {
            const auto& r = *static_cast<const tagRESERVATIONDB*>(sqlite3_column_blob(m_day, 0));
            m_builder.Add(r, units, weekStyle, clock24, out);
        }
        sqlite3_reset(m_day);
        CPlainSheetBuilder::FinishDay(out);
    }

    CPlainDb m_db;
    CPlainSheetBuilder m_builder{this};
    bool m_ready = true;
    std::vector<sqlite3_stmt*> m_statements;
    sqlite3_stmt *m_day, *m_month, *m_inactive;
    // The lookup of each table, in the order of CPlainSheetLookup::Table.
    std::array<sqlite3_stmt*, 11> m_lookups{};
};

// ---- Both sides agree before anything is timed ------------------------------------------

// The day, the week and the month read alike on both sides, or the ratios would compare
// different work; this also brings both sides' pages into memory the same way.
std::string CheckSameResults(const Setup& s) {
    CVeloDBSys db(s.folder);
    CPlainSheet plain(s.sqlitePath);
    if (!plain.Ready()) return "SQLite could not prepare its reads";
    const auto columns = LoadColumnEntities(&db, 0);
    const auto units = UnitCodes(columns);
    DayData ourDay, plainDay;
    if (LoadDayWithClock(&db, s.day, 0, columns, false, true, &ourDay) != 0)
        return "the suite could not load the day";
    plain.LoadDay(s.day, units, true, &plainDay);
    if (ourDay.bars.empty() || !SameDay(ourDay, plainDay))
        return "the day " + s.day + " loads differently: " + std::to_string(ourDay.bars.size()) +
               " bars in the suite, " + std::to_string(plainDay.bars.size()) + " in SQLite";
    const bool clock24 = ReadSheetSettings().clock24;
    std::array<DayData, 7> ourWeek, plainWeek;
    if (LoadWeek(&db, s.weekStart, 0, columns, &ourWeek) != 0)
        return "the suite could not load the week";
    plain.LoadWeek(s.weekStart, units, clock24, &plainWeek);
    for (int d = 0; d < 7; ++d) {
        if (!SameDay(ourWeek[d], plainWeek[d]))
            return "the week's day " + ourWeek[d].date + " loads differently";
    }
    std::vector<int> ourCounts, plainCounts;
    if (CountMonth(&db, s.year, s.month, &ourCounts) != 0)
        return "the suite could not count the month";
    plain.CountMonth(s.year, s.month, &plainCounts);
    if (ourCounts != plainCounts) return "the month's counts differ";
    std::fprintf(stderr, "sheet: the day %s has %zu bars on both sides\n", s.day.c_str(),
                 ourDay.bars.size());
    return std::string();
}

const std::string& CheckError() {
    static const std::string error =
        TheSetup().error.empty() ? CheckSameResults(TheSetup()) : TheSetup().error;
    return error;
}

// ---- The cases ----------------------------------------------------------------------

void BM_SheetDay_Recman(benchmark::State& state) {
    if (!CheckError().empty()) return state.SkipWithError(CheckError().c_str());
    Setup& s = TheSetup();
    CVeloDBSys db(s.folder);
    const auto columns = LoadColumnEntities(&db, 0);
    size_t bars = 0;
    for (auto _ : state) {
        DayData day;
        if (LoadDayWithClock(&db, s.day, 0, columns, false, true, &day) != 0)
            state.SkipWithError("load failed");
        bars = day.bars.size();
        benchmark::DoNotOptimize(day.bars.data());
    }
    state.counters["bars"] = double(bars);
}

void BM_SheetDay_Sqlite(benchmark::State& state) {
    if (!CheckError().empty()) return state.SkipWithError(CheckError().c_str());
    Setup& s = TheSetup();
    CVeloDBSys db(s.folder);
    const auto units = UnitCodes(LoadColumnEntities(&db, 0));
    CPlainSheet plain(s.sqlitePath);
    size_t bars = 0;
    for (auto _ : state) {
        DayData day;
        plain.LoadDay(s.day, units, true, &day);
        bars = day.bars.size();
        benchmark::DoNotOptimize(day.bars.data());
    }
    state.counters["bars"] = double(bars);
}

void BM_SheetWeek_Recman(benchmark::State& state) {
    if (!CheckError().empty()) return state.SkipWithError(CheckError().c_str());
    Setup& s = TheSetup();
    CVeloDBSys db(s.folder);
    const auto columns = LoadColumnEntities(&db, 0);
    size_t bars = 0;
    for (auto _ : state) {
        std::array<DayData, 7> week;
        if (LoadWeek(&db, s.weekStart, 0, columns, &week) != 0) state.SkipWithError("load failed");
        bars = 0;
        for (const DayData& d : week) bars += d.bars.size();
        benchmark::DoNotOptimize(week.data());
    }
    state.counters["bars"] = double(bars);
}

void BM_SheetWeek_Sqlite(benchmark::State& state) {
    if (!CheckError().empty()) return state.SkipWithError(CheckError().c_str());
    Setup& s = TheSetup();
    CVeloDBSys db(s.folder);
    const auto units = UnitCodes(LoadColumnEntities(&db, 0));
    const bool clock24 = ReadSheetSettings().clock24;
    CPlainSheet plain(s.sqlitePath);
    size_t bars = 0;
    for (auto _ : state) {
        std::array<DayData, 7> week;
        plain.LoadWeek(s.weekStart, units, clock24, &week);
        bars = 0;
        for (const DayData& d : week) bars += d.bars.size();
        benchmark::DoNotOptimize(week.data());
    }
    state.counters["bars"] = double(bars);
}

void BM_SheetMonth_Recman(benchmark::State& state) {
    if (!CheckError().empty()) return state.SkipWithError(CheckError().c_str());
    Setup& s = TheSetup();
    CVeloDBSys db(s.folder);
    int total = 0;
    for (auto _ : state) {
        std::vector<int> counts;
        if (CountMonth(&db, s.year, s.month, &counts) != 0) state.SkipWithError("count failed");
        total = 0;
        for (int n : counts) total += n;
        benchmark::DoNotOptimize(counts.data());
    }
    state.counters["counted"] = double(total);
}

void BM_SheetMonth_Sqlite(benchmark::State& state) {
    if (!CheckError().empty()) return state.SkipWithError(CheckError().c_str());
    Setup& s = TheSetup();
    CPlainSheet plain(s.sqlitePath);
    int total = 0;
    for (auto _ : state) {
        std::vector<int> counts;
        plain.CountMonth(s.year, s.month, &counts);
        total = 0;
        for (int n : counts) total += n;
        benchmark::DoNotOptimize(counts.data());
    }
    state.counters["counted"] = double(total);
}

constexpr QSize kRepaintSize(1280, 760);

// The views draw with the clinic's office hours and the current day's settings; the shown
// day of the benchmark is set on each view before the timed repaints.
void BM_SheetDayRepaint(benchmark::State& state) {
    Setup& s = TheSetup();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
    CVeloDBSys db(s.folder);
    CDaySheetView view(&db);
    view.resize(kRepaintSize);
    view.SetLayoutMode(0);
    view.SetDate(s.day);
    size_t bars = view.Data().bars.size();
    for (auto _ : state) {
        QImage image = view.RenderImage();
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["bars"] = double(bars);
}

void BM_SheetWeekRepaint(benchmark::State& state) {
    Setup& s = TheSetup();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
    CVeloDBSys db(s.folder);
    CWeekSheetView view(&db);
    view.resize(kRepaintSize);
    view.SetLayoutMode(0);
    view.SetDates(s.day, s.weekStart);
    for (auto _ : state) {
        QImage image = view.RenderImage();
        benchmark::DoNotOptimize(image.constBits());
    }
}

BENCHMARK(BM_SheetDay_Recman)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SheetDay_Sqlite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SheetWeek_Recman)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SheetWeek_Sqlite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SheetMonth_Recman)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SheetMonth_Sqlite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SheetDayRepaint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SheetWeekRepaint)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // The views need an application object; nothing is shown.
    UseOffscreenWindows();
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    CRatioReporter reporter;
    RunBenchmarks(argc, argv, &reporter);
    reporter.PrintRatios({{"SheetDay", 3.0}, {"SheetWeek", 3.0}, {"SheetMonth", 3.0}});
    if (const auto t = reporter.Time("BM_SheetDay_Recman"))
        std::printf("FIGURE SheetDay %.2f ms (target < 10)\n", *t);
    if (const auto t = reporter.Time("BM_SheetWeek_Recman"))
        std::printf("FIGURE SheetWeek %.2f ms (target < 60)\n", *t);
    if (const auto t = reporter.Time("BM_SheetMonth_Recman"))
        std::printf("FIGURE SheetMonth %.2f ms (target < 50)\n", *t);
    const auto plainDay = reporter.Time("BM_SheetDay_Sqlite");
    const auto plainWeek = reporter.Time("BM_SheetWeek_Sqlite");
    if (const auto t = reporter.Time("BM_SheetDayRepaint"))
        std::printf("FIGURE SheetDayRepaint %.2f ms (target < 16; plain SQLite day read %.2f ms)\n",
                    *t, plainDay.value_or(0.0));
    if (const auto t = reporter.Time("BM_SheetWeekRepaint"))
        std::printf(
            "FIGURE SheetWeekRepaint %.2f ms (target < 16; plain SQLite week read %.2f ms)\n", *t,
            plainWeek.value_or(0.0));
    recman::Shutdown();
    Setup& s = TheSetup();
    std::error_code error;
    std::filesystem::remove(s.sqlitePath, error);
    if (s.generated)
        std::filesystem::remove_all(std::filesystem::path(s.folder).parent_path(), error);
    else
        std::filesystem::remove_all(std::filesystem::path(s.sqlitePath).parent_path(), error);
    return 0;
}
