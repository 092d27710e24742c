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
#include <vector>

#include "insertmany.h"
#include "ratioreporter.h"
#include "recman/recman.h"
#include "sheet/daysheetview.h"
#include "sheet/sheetdata.h"
#include "sheet/timegrid.h"
#include "sheet/weeksheetview.h"
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
    "CREATE TABLE patient(id TEXT PRIMARY KEY, data BLOB);"
    "CREATE TABLE patient2(id TEXT PRIMARY KEY, data BLOB);"
    "CREATE TABLE material(no TEXT PRIMARY KEY, data BLOB);"
    "CREATE TABLE category(type TEXT, code TEXT, data BLOB, PRIMARY KEY(type, code));"
    "CREATE TABLE doctor(code TEXT PRIMARY KEY, data BLOB);"
    "CREATE TABLE credit(cate TEXT, item TEXT, data BLOB, PRIMARY KEY(cate, item));"
    "CREATE TABLE staff(code TEXT PRIMARY KEY, data BLOB);"
    "CREATE TABLE way(code TEXT PRIMARY KEY, data BLOB);";

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
         CopyTable<CPatient1DB>(db, folder, "INSERT INTO patient VALUES(?,?)", 0,
                                [](sqlite3_stmt* st, const tagPATIENT1DB& r) {
                                    BindText(st, 1, FieldText(r.PatientID));
                                    return 1;
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

class CPlainSheet {
public:
    explicit CPlainSheet(const std::string& path) {
        sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_prepare_v2(m_db,
                           "SELECT data FROM reservation WHERE date = ? ORDER BY start, rowid", -1,
                           &m_day, nullptr);
        sqlite3_prepare_v2(m_db,
                           "SELECT date, status, patient FROM reservation"
                           " WHERE date >= ? AND date <= ? ORDER BY date, start",
                           -1, &m_month, nullptr);
        sqlite3_prepare_v2(m_db, "SELECT data FROM patient WHERE id = ?", -1, &m_patient, nullptr);
        sqlite3_prepare_v2(m_db, "SELECT data FROM patient2 WHERE id = ?", -1, &m_patient2,
                           nullptr);
        sqlite3_prepare_v2(m_db, "SELECT data FROM material WHERE no = ?", -1, &m_material,
                           nullptr);
        sqlite3_prepare_v2(m_db, "SELECT data FROM credit WHERE cate = ? AND item = ?", -1,
                           &m_credit, nullptr);
        sqlite3_prepare_v2(m_db, "SELECT data FROM staff WHERE code = ?", -1, &m_staff, nullptr);
        sqlite3_prepare_v2(m_db, "SELECT data FROM way WHERE code = ?", -1, &m_way, nullptr);
        sqlite3_prepare_v2(m_db, "SELECT data FROM category WHERE type = ? AND code = ?", -1,
                           &m_category, nullptr);
        sqlite3_prepare_v2(m_db, "SELECT data FROM doctor WHERE code = ?", -1, &m_doctor, nullptr);
    }
    ~CPlainSheet() {
        for (sqlite3_stmt* s : {m_day, m_month, m_patient, m_patient2, m_material, m_credit,
                                m_staff, m_way, m_category, m_doctor})
            sqlite3_finalize(s);
        sqlite3_close(m_db);
    }
    CPlainSheet(const CPlainSheet&) = delete;
    CPlainSheet& operator=(const CPlainSheet&) = delete;

    struct Person {
        bool found = false;
        tagPATIENTDB record;
    };

    // One load's caches.
    struct Caches {
        std::unordered_map<std::string, Person> people;
        std::unordered_map<std::string, std::pair<QString, uint32_t>> types;
        std::unordered_map<std::string, QString> units, doctors, labs, credits, staff, ways;
    };

    void LoadDay(const std::string& date, bool weekStyle, Caches& c, DayData* out) {
        *out = DayData();
        out->date = date;
        out->dayOff = CDate().IsDayOff(date.c_str()) != 0;
        sqlite3_bind_text(m_day, 1, date.c_str(), -1, SQLITE_STATIC);
        while (sqlite3_step(m_day) == SQLITE_ROW) {
            tagRESERVATIONDB r;
            std::memcpy(&r, sqlite3_column_blob(m_day, 0), sizeof r);
            if (r.Status >= 2) continue;
            const std::string id = FieldText(r.PatientID);
            const Person& p = PersonOf(id, c);
            if (p.found && p.record.InactiveFlag == 1) continue;
            const auto& type = TypeOf(FieldText(r.ResTypeCode), c);
            const QString& unit = UnitOf(FieldText(r.UnitCode), c);
            const QString& doctor = DoctorOf(FieldText(r.DoctorCode), c);
            ReservationBar bar;
            bar.reservationNo = FieldText(r.ReservationNo);
            bar.patientId = id;
            bar.date = date;
            bar.start = uint16_t(std::atoi(FieldText(r.StartTime).c_str()));
            bar.end = uint16_t(std::atoi(FieldText(r.EndTime).c_str()));
            bar.status = r.Status;
            bar.colour = type.second;
            if (!p.found) {
                bar.items[0] = QString::fromUtf8("予約不可設定\n");
            } else if (weekStyle) {
                bar.items[0] = QStringLiteral("[%1] %2").arg(Cp932FieldToQString(p.record.ChartNo),
                                                             Cp932FieldToQString(p.record.Name));
            } else {
                bar.items[0] = QStringLiteral("[%1] %2$KANA%3")
                                   .arg(Cp932FieldToQString(p.record.ChartNo),
                                        Cp932FieldToQString(p.record.Name),
                                        Cp932FieldToQString(p.record.Kana));
            }
            bar.items[1] = QString::fromStdString(ReservationTimeItemText(
                CTools::MakeDate(date.c_str()).toStdString(), bar.start, bar.end, true));
            bar.items[2] = doctor;
            bar.items[3] = unit;
            bar.items[4] = type.first;
            bar.items[7] = Cp932FieldToQString(r.Treatment);
            if (p.found) {
                bar.items[8] = CTools::MakeDate(FieldText(p.record.BirthDate).c_str());
                bar.items[14] = QStringLiteral("自: %1 携: %2 他: %3")
                                    .arg(Cp932FieldToQString(p.record.HomeTel),
                                         Cp932FieldToQString(p.record.MobileTel),
                                         Cp932FieldToQString(p.record.OtherTel));
                bar.items[19] = Cp932FieldToQString(p.record.Comment);
            }
            if (p.found) {
                bar.items[15] = Cp932FieldToQString(p.record.OtherTel);
                bar.items[16] = Cp932FieldToQString(p.record.InsuranceType);
            }
            if (r.MaterialNo[0] != '\0') bar.items[6] = LabOf(FieldText(r.MaterialNo), c);
            if (r.CreditItemCode[0] != '\0')
                bar.items[5] = CreditOf(FieldText(r.CreditCateCode), FieldText(r.CreditItemCode), c);
            bar.items[21] = NameOf(m_staff, FieldText(r.StaffCode), c.staff);
            bar.items[22] = NameOf(m_way, FieldText(r.ResWayCode), c.ways);
            bar.items[23] = CTools::MakeDate(FieldText(r.EntryDate).c_str());
            if (!id.empty()) {
                DayListRow row;
                row.reservationNo = bar.reservationNo;
                row.patientId = id;
                row.status = r.Status;
                row.columns[0] = QString::fromStdString(ListTimeText(bar.start, bar.end, true));
                row.columns[1] = p.found ? Cp932FieldToQString(p.record.Name) : QString();
                row.columns[2] = unit;
                row.columns[3] = bar.items[7];
                row.columns[4] = doctor;
                row.came = r.Status == 1;
                out->list.push_back(std::move(row));
            }
            out->bars.push_back(std::move(bar));
        }
        sqlite3_reset(m_day);
        out->count = int(out->list.size());
    }

    void CountMonth(int year, int month, std::vector<int>* counts) {
        counts->assign(32, 0);
        char from[9], to[9];
        std::snprintf(from, sizeof from, "%04d%02d01", year, month);
        std::snprintf(to, sizeof to, "%04d%02d31", year, month);
        std::unordered_map<std::string, bool> active;
        sqlite3_bind_text(m_month, 1, from, -1, SQLITE_STATIC);
        sqlite3_bind_text(m_month, 2, to, -1, SQLITE_STATIC);
        while (sqlite3_step(m_month) == SQLITE_ROW) {
            if (sqlite3_column_int(m_month, 1) >= 2) continue;
            const char* date = reinterpret_cast<const char*>(sqlite3_column_text(m_month, 0));
            const std::string id = reinterpret_cast<const char*>(sqlite3_column_text(m_month, 2));
            if (id.empty()) continue;
            auto it = active.find(id);
            if (it == active.end()) {
                bool counts = false;
                sqlite3_bind_text(m_patient, 1, id.c_str(), -1, SQLITE_STATIC);
                if (sqlite3_step(m_patient) == SQLITE_ROW) {
                    const auto* r =
                        static_cast<const tagPATIENT1DB*>(sqlite3_column_blob(m_patient, 0));
                    counts = r->InactiveFlag == 0;
                }
                sqlite3_reset(m_patient);
                it = active.emplace(id, counts).first;
            }
            if (it->second) ++(*counts)[(date[6] - '0') * 10 + (date[7] - '0')];
        }
        sqlite3_reset(m_month);
    }

private:
    const Person& PersonOf(const std::string& id, Caches& c) {
        auto it = c.people.find(id);
        if (it != c.people.end()) return it->second;
        Person p;
        if (!id.empty()) {
            // The two records of a patient, as the suite keeps them.
            auto* bytes = reinterpret_cast<char*>(&p.record);
            sqlite3_bind_text(m_patient, 1, id.c_str(), -1, SQLITE_STATIC);
            if (sqlite3_step(m_patient) == SQLITE_ROW) {
                p.found = true;
                std::memcpy(bytes, sqlite3_column_blob(m_patient, 0), sizeof(tagPATIENT1DB));
            }
            sqlite3_reset(m_patient);
            sqlite3_bind_text(m_patient2, 1, id.c_str(), -1, SQLITE_STATIC);
            if (p.found && sqlite3_step(m_patient2) == SQLITE_ROW) {
                std::memcpy(bytes + sizeof(tagPATIENT1DB), sqlite3_column_blob(m_patient2, 0),
                            sizeof(tagPATIENT2DB));
            }
            sqlite3_reset(m_patient2);
        }
        return c.people.emplace(id, p).first->second;
    }

    const QString& LabOf(const std::string& no, Caches& c) {
        auto it = c.labs.find(no);
        if (it != c.labs.end()) return it->second;
        QString text;
        sqlite3_bind_text(m_material, 1, no.c_str(), -1, SQLITE_STATIC);
        if (sqlite3_step(m_material) == SQLITE_ROW) {
            tagMATERIALDB m;
            std::memcpy(&m, sqlite3_column_blob(m_material, 0), sizeof m);
            text = QStringLiteral("%1 [完成予定: %2]")
                       .arg(Cp932FieldToQString(m.ItemName),
                            CTools::MakeDate(FieldText(m.CompletionDate).c_str()));
        }
        sqlite3_reset(m_material);
        return c.labs.emplace(no, text).first->second;
    }

    const QString& CreditOf(const std::string& cate, const std::string& item, Caches& c) {
        const std::string key = cate + '\x1f' + item;
        auto it = c.credits.find(key);
        if (it != c.credits.end()) return it->second;
        QString name;
        sqlite3_bind_text(m_credit, 1, cate.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_text(m_credit, 2, item.c_str(), -1, SQLITE_STATIC);
        if (sqlite3_step(m_credit) == SQLITE_ROW) {
            tagCREDITITEMDB r;
            std::memcpy(&r, sqlite3_column_blob(m_credit, 0), sizeof r);
            name = Cp932FieldToQString(r.ItemName);
        }
        sqlite3_reset(m_credit);
        return c.credits.emplace(key, name).first->second;
    }

    // Staff and reservation-way records share their layout's first fields (code, name).
    const QString& NameOf(sqlite3_stmt* stmt, const std::string& code,
                          std::unordered_map<std::string, QString>& cache) {
        auto it = cache.find(code);
        if (it != cache.end()) return it->second;
        QString name;
        sqlite3_bind_text(stmt, 1, code.c_str(), -1, SQLITE_STATIC);
        if (sqlite3_step(stmt) == SQLITE_ROW) {
            tagSTAFFDB r;
            std::memcpy(&r, sqlite3_column_blob(stmt, 0), sizeof r);
            name = Cp932FieldToQString(r.Name);
        }
        sqlite3_reset(stmt);
        return cache.emplace(code, name).first->second;
    }

    const tagCATEGORYDB* Category(const char* type, const std::string& code, tagCATEGORYDB* r) {
        sqlite3_bind_text(m_category, 1, type, -1, SQLITE_STATIC);
        sqlite3_bind_text(m_category, 2, code.c_str(), -1, SQLITE_STATIC);
        const bool found = sqlite3_step(m_category) == SQLITE_ROW;
        if (found) std::memcpy(r, sqlite3_column_blob(m_category, 0), sizeof *r);
        sqlite3_reset(m_category);
        return found ? r : nullptr;
    }

    const std::pair<QString, uint32_t>& TypeOf(const std::string& code, Caches& c) {
        auto it = c.types.find(code);
        if (it != c.types.end()) return it->second;
        tagCATEGORYDB r;
        std::pair<QString, uint32_t> value{QString(), kDefaultBarColour};
        if (Category("0", code, &r) != nullptr)
            value = {Cp932FieldToQString(r.Name), uint32_t(r.Colour)};
        return c.types.emplace(code, value).first->second;
    }

    const QString& UnitOf(const std::string& code, Caches& c) {
        auto it = c.units.find(code);
        if (it != c.units.end()) return it->second;
        tagCATEGORYDB r;
        const QString name = Category("1", code, &r) != nullptr
                                 ? Cp932FieldToQString(r.Name)
                                 : QStringLiteral("NA [%1]").arg(QString::fromStdString(code));
        return c.units.emplace(code, name).first->second;
    }

    const QString& DoctorOf(const std::string& code, Caches& c) {
        auto it = c.doctors.find(code);
        if (it != c.doctors.end()) return it->second;
        QString name = QStringLiteral("NA [%1]").arg(QString::fromStdString(code));
        sqlite3_bind_text(m_doctor, 1, code.c_str(), -1, SQLITE_STATIC);
        if (sqlite3_step(m_doctor) == SQLITE_ROW) {
            tagDOCTORDB r;
            std::memcpy(&r, sqlite3_column_blob(m_doctor, 0), sizeof r);
            name = Cp932FieldToQString(r.Name);
        }
        sqlite3_reset(m_doctor);
        return c.doctors.emplace(code, name).first->second;
    }

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_day = nullptr;
    sqlite3_stmt* m_month = nullptr;
    sqlite3_stmt* m_patient = nullptr;
    sqlite3_stmt* m_patient2 = nullptr;
    sqlite3_stmt* m_material = nullptr;
    sqlite3_stmt* m_credit = nullptr;
    sqlite3_stmt* m_staff = nullptr;
    sqlite3_stmt* m_way = nullptr;
    sqlite3_stmt* m_category = nullptr;
    sqlite3_stmt* m_doctor = nullptr;
};

// ---- The cases ----------------------------------------------------------------------

void BM_SheetDay_Recman(benchmark::State& state) {
    Setup& s = TheSetup();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
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
    Setup& s = TheSetup();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
    CVeloDBSys db(s.folder);
    CPlainSheet plain(s.sqlitePath);
    size_t bars = 0;
    for (auto _ : state) {
        CPlainSheet::Caches caches;
        DayData day;
        plain.LoadDay(s.day, false, caches, &day);
        bars = day.bars.size();
        benchmark::DoNotOptimize(day.bars.data());
    }
    state.counters["bars"] = double(bars);
}

void BM_SheetWeek_Recman(benchmark::State& state) {
    Setup& s = TheSetup();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
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
    Setup& s = TheSetup();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
    CVeloDBSys db(s.folder);
    CPlainSheet plain(s.sqlitePath);
    size_t bars = 0;
    for (auto _ : state) {
        CPlainSheet::Caches caches;
        std::array<DayData, 7> week;
        bars = 0;
        for (int d = 0; d < 7; ++d) {
            plain.LoadDay(CDate::AddDays(s.weekStart.c_str(), d), true, caches, &week[d]);
            bars += week[d].bars.size();
        }
        benchmark::DoNotOptimize(week.data());
    }
    state.counters["bars"] = double(bars);
}

void BM_SheetMonth_Recman(benchmark::State& state) {
    Setup& s = TheSetup();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
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
    Setup& s = TheSetup();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
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
