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
#include <QStringList>
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "insertmany.h"
#include "plainsqlite.h"
#include "ratioreporter.h"
#include "recman/recman.h"
#include "sheet/daysheetview.h"
#include "sheet/reservation.h"
#include "sheet/sheetdata.h"
#include "sheet/sheetsettings.h"
#include "sheet/timegrid.h"
#include "sheet/weeksheetview.h"
#include "suite/comdlg/patientmasters.h"
#include "suite/dbcall/catalogue.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/materialdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/tools.h"

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

// The texts the sheet builds from dates, names and parts, as the suite builds them.
QString DateText(const char* field, size_t width) {
    if (::strnlen(field, width) != 8) return QString();
    return CTools::MakeDate(std::string(field, 8).c_str());
}

QString NotFoundName(const std::string& code) {
    return QStringLiteral("NA [%1]").arg(Cp932ToQString(code));
}

QString JoinNonEmpty(const QString& format, std::initializer_list<QString> parts) {
    bool any = false;
    for (const QString& part : parts) any = any || !part.isEmpty();
    if (!any) return QString();
    QString text = format;
    for (const QString& part : parts) text = text.arg(part);
    return text;
}

QString JoinPresent(std::initializer_list<QString> parts) {
    QStringList present;
    for (const QString& part : parts) {
        if (!part.isEmpty()) present << part;
    }
    return present.join(QLatin1Char(' '));
}

uint16_t TimeField(const char* field) {
    int value = 0;
    for (int i = 0; i < 4 && field[i] >= '0' && field[i] <= '9'; ++i)
        value = value * 10 + (field[i] - '0');
    return uint16_t(value);
}

class CPlainSheet {
public:
    explicit CPlainSheet(const std::string& path) : m_db(path, true, kPlainTables) {
        m_day = Prepare("SELECT data FROM reservation WHERE date = ? ORDER BY start, rowid");
        // Only what the count needs, from covering indexes: no reservation or patient record
        // is read.
        m_month = Prepare(
            "SELECT date, patient FROM reservation INDEXED BY r_count WHERE date >= ? AND date <= ?"
            " AND status IN (0, 1) AND patient <> ''");
        m_inactive = Prepare("SELECT inactive FROM patient INDEXED BY p_inactive WHERE id = ?");
        m_patient = Prepare("SELECT data FROM patient WHERE id = ?");
        m_patient2 = Prepare("SELECT data FROM patient2 WHERE id = ?");
        m_material = Prepare("SELECT data FROM material WHERE no = ?");
        m_credit = Prepare("SELECT data FROM credit WHERE cate = ? AND item = ?");
        m_staff = Prepare("SELECT data FROM staff WHERE code = ?");
        m_way = Prepare("SELECT data FROM way WHERE code = ?");
        m_category = Prepare("SELECT data FROM category WHERE type = ? AND code = ?");
        m_doctor = Prepare("SELECT data FROM doctor WHERE code = ?");
        m_condition = Prepare("SELECT data FROM condition WHERE code = ?");
        m_introDr = Prepare("SELECT data FROM introdr WHERE code = ?");
        m_custom = Prepare("SELECT data FROM custom WHERE tbl = ? AND code = ?");
    }
    ~CPlainSheet() {
        for (sqlite3_stmt* s : m_statements) sqlite3_finalize(s);
    }
    CPlainSheet(const CPlainSheet&) = delete;
    CPlainSheet& operator=(const CPlainSheet&) = delete;

    bool Ready() const { return m_ready; }

    // The lookups of one load, each master entry and patient read at most once.
    struct Caches {
        std::unordered_map<std::string, std::optional<tagPATIENTDB>> people;
        std::unordered_map<std::string, std::pair<QString, uint32_t>> types;
        std::unordered_map<std::string, QString> units, doctors, labDay, labWeek, credits, staff,
            ways, insurance, workKinds, conditions, introDrs, custom;
    };

    // One day of the day view, in a read transaction of its own.
    void LoadDay(const std::string& date, const std::vector<std::string>& units, bool clock24,
                 DayData* out) {
        Caches caches;
        m_db.ReadConsistently([&] {
            LoadOneDay(date, units, false, clock24, caches, out);
            return true;
        });
    }

    // The seven days of the week view from weekStart, in one read transaction and with one
    // set of lookups.
    void LoadWeek(const std::string& weekStart, const std::vector<std::string>& units,
                  bool clock24, std::array<DayData, 7>* out) {
        Caches caches;
        m_db.ReadConsistently([&] {
            for (int d = 0; d < 7; ++d)
                LoadOneDay(CDate::AddDays(weekStart.c_str(), d), units, true, clock24, caches,
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

    // Runs a lookup statement with the texts bound; the record of its first row, if any.
    template <typename Record>
    bool ReadOne(sqlite3_stmt* stmt, std::initializer_list<std::string> keys, Record* out) {
        int column = 0;
        for (const std::string& key : keys)
            sqlite3_bind_text(stmt, ++column, key.c_str(), -1, SQLITE_TRANSIENT);
        const bool found = sqlite3_step(stmt) == SQLITE_ROW;
        if (found) std::memcpy(out, sqlite3_column_blob(stmt, 0), sizeof *out);
        sqlite3_reset(stmt);
        return found;
    }

    template <typename Make>
    static const QString& Cached(std::unordered_map<std::string, QString>& cache,
                                 const std::string& key, Make make) {
        auto it = cache.find(key);
        if (it != cache.end()) return it->second;
        return cache.emplace(key, make()).first->second;
    }

    void LoadOneDay(const std::string& date, const std::vector<std::string>& units,
                    bool weekStyle, bool clock24, Caches& c, DayData* out) {
        *out = DayData();
        out->date = date;
        out->dayOff = CDate().IsDayOff(date.c_str()) != 0;
        sqlite3_bind_text(m_day, 1, date.c_str(), -1, SQLITE_STATIC);
        while (sqlite3_step(m_day) == SQLITE_ROW) {
            const auto& r = *static_cast<const tagRESERVATIONDB*>(sqlite3_column_blob(m_day, 0));
            if (!IsLiveStatus(r.Status)) continue;
            const std::string id = FieldText(r.PatientID);
            const std::optional<tagPATIENTDB>& patient = PersonOf(id, c);
            const tagPATIENTDB* p = patient ? &*patient : nullptr;
            if (p != nullptr && p->InactiveFlag == 1) continue;
            const auto& type = TypeOf(FieldText(r.ResTypeCode), c);
            const std::string unitCode = FieldText(r.UnitCode);
            const QString& unit = UnitOf(unitCode, c);
            const QString& doctor = DoctorOf(FieldText(r.DoctorCode), c);
            ReservationBar bar;
            bar.reservationNo = FieldText(r.ReservationNo);
            bar.patientId = id;
            bar.date = date;
            bar.start = TimeField(r.StartTime);
            bar.end = TimeField(r.EndTime);
            const auto column = std::find(units.begin(), units.end(), unitCode);
            bar.column = column != units.end() ? uint16_t(column - units.begin()) : kNoColumn;
            bar.status = r.Status;
            bar.colour = type.second;
            FillItems(r, p, unit, doctor, type.first, weekStyle, clock24, c, bar.items);
            if (!id.empty()) {
                DayListRow row;
                row.reservationNo = bar.reservationNo;
                row.patientId = id;
                row.status = r.Status;
                row.columns[0] = QString::fromStdString(ListTimeText(bar.start, bar.end, clock24));
                row.columns[1] = p != nullptr ? Cp932FieldToQString(p->Name) : QString();
                row.columns[2] = unit;
                row.columns[3] = Cp932FieldToQString(r.Treatment);
                row.columns[4] = doctor;
                row.came = r.Status == uint8_t(ResStatus::Came);
                out->list.push_back(std::move(row));
            }
            out->bars.push_back(std::move(bar));
        }
        sqlite3_reset(m_day);
        out->count = int(out->list.size());
    }

    // The 30 item values of a bar, in the display-item catalogue's order.
    void FillItems(const tagRESERVATIONDB& r, const tagPATIENTDB* p, const QString& unit,
                   const QString& doctor, const QString& type, bool weekStyle, bool clock24,
                   Caches& c, QString* items) {
        if (p == nullptr) {
            items[0] = QString::fromUtf8("予約不可設定\n");
        } else if (weekStyle) {
            items[0] = QStringLiteral("[%1] %2").arg(Cp932FieldToQString(p->ChartNo),
                                                     Cp932FieldToQString(p->Name));
        } else {
            items[0] = QStringLiteral("[%1] %2$KANA%3")
                           .arg(Cp932FieldToQString(p->ChartNo), Cp932FieldToQString(p->Name),
                                Cp932FieldToQString(p->Kana));
        }
        items[1] = QString::fromStdString(
            ReservationTimeItemText(DateText(r.ResDate, sizeof r.ResDate).toStdString(),
                                    TimeField(r.StartTime), TimeField(r.EndTime), clock24));
        items[2] = doctor;
        items[3] = unit;
        items[4] = type;
        if (r.CreditItemCode[0] != '\0')
            items[5] = QStringLiteral("%1 %2").arg(
                CreditOf(FieldText(r.CreditCateCode), FieldText(r.CreditItemCode), c),
                QString::number(r.Fee));
        if (r.MaterialNo[0] != '\0') items[6] = LabOf(FieldText(r.MaterialNo), weekStyle, c);
        items[7] = Cp932FieldToQString(r.Treatment);
        if (p != nullptr) FillPatientItems(*p, c, items);
        const std::string staff = FieldText(r.StaffCode);
        if (!staff.empty() && staff != "000") items[22] = NameOf(m_staff, staff, c.staff);
        items[23] = DateText(r.EntryDate, sizeof r.EntryDate);
        const std::string way = FieldText(r.ResWayCode);
        if (!way.empty() && way != "000") items[24] = NameOf(m_way, way, c.ways);
    }

    void FillPatientItems(const tagPATIENTDB& p, Caches& c, QString* items) {
        items[8] = DateText(p.BirthDate, sizeof p.BirthDate);
        items[9] = DateText(p.FirstVisitDate, sizeof p.FirstVisitDate);
        if (p.ConditionCode[0] != '\0') items[10] = ConditionOf(FieldText(p.ConditionCode), c);
        if (p.IntroDrCode[0] != '\0') items[11] = IntroDrOf(FieldText(p.IntroDrCode), c);
        if (p.FamilyDrCode[0] != '\0') items[12] = IntroDrOf(FieldText(p.FamilyDrCode), c);
        items[13] = JoinNonEmpty(QStringLiteral("〒%1 %2 %3"),
                                 {Cp932FieldToQString(p.ZipCode), Cp932FieldToQString(p.Address1),
                                  Cp932FieldToQString(p.Address2)});
        items[14] = JoinNonEmpty(QStringLiteral("自: %1 携: %2 他: %3"),
                                 {Cp932FieldToQString(p.HomeTel), Cp932FieldToQString(p.MobileTel),
                                  Cp932FieldToQString(p.OtherTel)});
        items[15] = Cp932FieldToQString(p.Email);
        const QString workKind = p.WorkKindCode[0] != '\0'
                                     ? CategoryName(kWorkKindCategory, FieldText(p.WorkKindCode),
                                                    c.workKinds)
                                     : QString();
        items[16] = JoinPresent(
            {workKind, Cp932FieldToQString(p.WorkplaceName), Cp932FieldToQString(p.WorkplaceTel)});
        if (p.TraitCode[0] != '\0')
            items[17] = CustomOf(kPatientTraitTable, FieldText(p.TraitCode), c);
        if (p.InsuranceType[0] != '\0') {
            const std::string code = FieldText(p.InsuranceType);
            items[18] = QStringLiteral("%1(%2)").arg(CategoryName("2", code, c.insurance),
                                                     Cp932ToQString(code));
        }
        items[19] = Cp932FieldToQString(p.Comment);
        if (p.GuardianName[0] != '\0' || p.GuardianKana[0] != '\0')
            items[20] = QStringLiteral("%1$KANA%2")
                            .arg(Cp932FieldToQString(p.GuardianName),
                                 Cp932FieldToQString(p.GuardianKana));
        items[21] = Cp932FieldToQString(p.GuardianJob);
        for (int i = 0; i < kPatientFreeTableCount; ++i) {
            if (p.FreeTblCode[i][0] == '\0') continue;
            items[25 + i] = CustomOf(FreeTableId(i), FieldText(p.FreeTblCode[i]), c);
        }
    }

    // Both records of a patient, as the suite keeps them; nothing when the first is missing.
    const std::optional<tagPATIENTDB>& PersonOf(const std::string& id, Caches& c) {
        auto it = c.people.find(id);
        if (it != c.people.end()) return it->second;
        std::optional<tagPATIENTDB> person;
        if (!id.empty()) {
            tagPATIENTDB record{};
            auto* bytes = reinterpret_cast<char*>(&record);
            if (ReadOne(m_patient, {id}, reinterpret_cast<tagPATIENT1DB*>(bytes))) {
                ReadOne(m_patient2, {id},
                        reinterpret_cast<tagPATIENT2DB*>(bytes + sizeof(tagPATIENT1DB)));
                person = record;
            }
        }
        return c.people.emplace(id, person).first->second;
    }

    const QString& LabOf(const std::string& no, bool weekStyle, Caches& c) {
        return Cached(weekStyle ? c.labWeek : c.labDay, no, [&] {
            tagMATERIALDB m;
            if (!ReadOne(m_material, {no}, &m)) return QString();
            const QString name = Cp932FieldToQString(m.ItemName);
            const QString finished = DateText(m.FinishedDate, sizeof m.FinishedDate);
            const QString due = DateText(m.CompletionDate, sizeof m.CompletionDate);
            if (!weekStyle && !finished.isEmpty())
                return QStringLiteral("%1 [完成済み: %2]").arg(name, finished);
            if (!due.isEmpty()) return QStringLiteral("%1 [完成予定: %2]").arg(name, due);
            return QString();
        });
    }

    const QString& CreditOf(const std::string& cate, const std::string& item, Caches& c) {
        return Cached(c.credits, cate + '\x1f' + item, [&] {
            tagCREDITITEMDB r;
            return ReadOne(m_credit, {cate, item}, &r) ? Cp932FieldToQString(r.ItemName)
                                                        : QString();
        });
    }

    // Staff and reservation-way records share their layout's first fields (code, name).
    const QString& NameOf(sqlite3_stmt* stmt, const std::string& code,
                          std::unordered_map<std::string, QString>& cache) {
        return Cached(cache, code, [&] {
            tagSTAFFDB r;
            return ReadOne(stmt, {code}, &r) ? Cp932FieldToQString(r.Name) : QString();
        });
    }

    const QString& CategoryName(const char* type, const std::string& code,
                                std::unordered_map<std::string, QString>& cache) {
        return Cached(cache, code, [&] {
            tagCATEGORYDB r;
            return ReadOne(m_category, {type, code}, &r) ? Cp932FieldToQString(r.Name)
                                                          : QString();
        });
    }

    const std::pair<QString, uint32_t>& TypeOf(const std::string& code, Caches& c) {
        auto it = c.types.find(code);
        if (it != c.types.end()) return it->second;
        tagCATEGORYDB r;
        std::pair<QString, uint32_t> value{QString(), kDefaultBarColour};
        if (ReadOne(m_category, {"0", code}, &r))
            value = {Cp932FieldToQString(r.Name), uint32_t(r.Colour)};
        return c.types.emplace(code, value).first->second;
    }

    const QString& UnitOf(const std::string& code, Caches& c) {
        return Cached(c.units, code, [&] {
            tagCATEGORYDB r;
            return ReadOne(m_category, {"1", code}, &r) ? Cp932FieldToQString(r.Name)
                                                         : NotFoundName(code);
        });
    }

    const QString& DoctorOf(const std::string& code, Caches& c) {
        return Cached(c.doctors, code, [&] {
            tagDOCTORDB r;
            return ReadOne(m_doctor, {code}, &r) ? Cp932FieldToQString(r.Name)
                                                  : NotFoundName(code);
        });
    }

    const QString& ConditionOf(const std::string& code, Caches& c) {
        return Cached(c.conditions, code, [&] {
            tagCONDITIONDB r;
            return ReadOne(m_condition, {code}, &r) ? Cp932FieldToQString(r.Name) : QString();
        });
    }

    const QString& IntroDrOf(const std::string& code, Caches& c) {
        return Cached(c.introDrs, code, [&] {
            tagINTRODRDB r;
            return ReadOne(m_introDr, {code}, &r)
                       ? IntroDrDisplayName(Cp932FieldToQString(r.ClinicName),
                                            Cp932FieldToQString(r.Name))
                       : QString();
        });
    }

    const QString& CustomOf(const std::string& table, const std::string& code, Caches& c) {
        return Cached(c.custom, table + '\x1f' + code, [&] {
            tagCUSTOMTBLDB r;
            return ReadOne(m_custom, {table, code}, &r) ? Cp932FieldToQString(r.Name) : QString();
        });
    }

    CPlainDb m_db;
    bool m_ready = true;
    std::vector<sqlite3_stmt*> m_statements;
    sqlite3_stmt *m_day, *m_month, *m_inactive, *m_patient, *m_patient2, *m_material, *m_credit,
        *m_staff, *m_way, *m_category, *m_doctor, *m_condition, *m_introDr, *m_custom;
};

// ---- Both sides agree before anything is timed ------------------------------------------

auto BarFields(const ReservationBar& b) {
    return std::tie(b.reservationNo, b.patientId, b.date, b.start, b.end, b.column, b.status,
                    b.colour);
}

bool SameDay(const DayData& a, const DayData& b) {
    if (a.date != b.date || a.dayOff != b.dayOff || a.count != b.count ||
        a.bars.size() != b.bars.size() || a.list.size() != b.list.size())
        return false;
    for (size_t i = 0; i < a.bars.size(); ++i) {
        if (BarFields(a.bars[i]) != BarFields(b.bars[i]) ||
            !std::equal(std::begin(a.bars[i].items), std::end(a.bars[i].items),
                        std::begin(b.bars[i].items)))
            return false;
    }
    for (size_t i = 0; i < a.list.size(); ++i) {
        const DayListRow& x = a.list[i];
        const DayListRow& y = b.list[i];
        if (x.reservationNo != y.reservationNo || x.patientId != y.patientId ||
            x.status != y.status || x.came != y.came ||
            !std::equal(std::begin(x.columns), std::end(x.columns), std::begin(y.columns)))
            return false;
    }
    return true;
}

std::vector<std::string> UnitCodes(const std::vector<ColumnEntity>& columns) {
    std::vector<std::string> codes;
    for (const ColumnEntity& c : columns) codes.push_back(c.code);
    return codes;
}

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
