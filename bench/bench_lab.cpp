// The lab schedule's refresh against plain SQLite on the same data, in one run.
//
// The database holds 20,000 lab items and 50,000 patients: the demo clinic named by
// VELO_BENCH_DB when its MATERIAL file holds that many items, else one generated here in
// a temporary folder through the table classes. The plain SQLite side keeps the same
// records in two tables - the items with an index on (due day, number) and the patients by
// id - and a refresh reads the items of the range by due day and looks up each item's
// patient (once per patient) in one read transaction, as the suite's refresh does, then
// builds the same row texts; its connection has the record manager's settings
// (plainsqlite.h). Both sides' rows are compared before anything is timed. The run ends in
//   RATIO LabRefresh <record manager time / SQLite time> <target>
//   FIGURE LabRefresh7Days <ms> ms (target < 50)
//   FIGURE ByItem6Months <ms> ms (target < 200)
// which scripts/bench collects.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "insertmany.h"
#include "lab/labcore.h"
#include "plainlab.h"
#include "plainsqlite.h"
#include "ratioreporter.h"
#include "recman/recman.h"
#include "suite/dbcall/catalogue.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/materialdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/tools.h"

namespace {

constexpr int kItems = 20000;
constexpr int kPatients = 50000;
constexpr int kDaysSpanned = 730;  // generated due days: two years from kFirstDay
constexpr const char* kFirstDay = "20250101";

struct Setup {
    std::string folder;        // the database folder the record manager side reads
    std::string sqlitePath;    // the plain SQLite copy
    std::string from7, to7;    // the refresh range: seven days around the middle due day
    std::string from6m, to6m;  // six months from the same day
    bool generated = false;    // folder is ours to delete
    std::string error;
};

std::string TempFolder() {
    char pattern[] = "/tmp/velo-benchlab-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    return made != nullptr ? made : "";
}

int CountItems(const std::string& folder) {
    CMaterialDB items;
    if (items.Open(folder) != 0) return 0;
    int n = 0;
    items.SetKey(CMaterialDB::kKeyMaterialNo);
    for (int st = items.GetFIRST(); st == 0; st = items.GetNEXT()) ++n;
    return n;
}

int Generate(const std::string& folder) {
    int status = CreateAllTables(folder);
    if (status != 0) return status;
    std::mt19937 rng(11);
    status = InsertMany<CDoctorDB>(folder, 5, [](int i, tagDOCTORDB& r) {
        std::snprintf(r.Code, sizeof r.Code, "%02d", i + 1);
        SetCp932Field(r.Name, sizeof r.Name, QStringLiteral("医師%1").arg(i + 1));
    });
    if (status == 0) {
        status = InsertMany<CCustomTblDB>(folder, 4, [](int i, tagCUSTOMTBLDB& r) {
            SetField(r.TableID, "AA");
            std::snprintf(r.Code, sizeof r.Code, "%04d", i + 1);
            SetCp932Field(r.Name, sizeof r.Name, QStringLiteral("技工所%1").arg(i + 1));
        });
    }
    if (status == 0) {
        status = InsertMany<CMaterialItemCateDB>(folder, 4, [](int i, tagMATERIALITEMCATEDB& r) {
            std::snprintf(r.Code, sizeof r.Code, "%04d", i + 1);
            SetCp932Field(r.Name, sizeof r.Name, QStringLiteral("区分%1").arg(i + 1));
        });
    }
    if (status == 0) {
        status = InsertMany<CPatient1DB>(folder, kPatients, [&](int i, tagPATIENT1DB& r) {
            std::snprintf(r.PatientID, sizeof r.PatientID, "%010d", i + 1);
            SetCp932Field(r.Name, sizeof r.Name, QStringLiteral("患者 %1").arg(i + 1));
            SetCp932Field(r.Kana, sizeof r.Kana, QStringLiteral("カンジャ %1").arg(i + 1));
            std::snprintf(r.ChartNo, sizeof r.ChartNo, "C%06d", i + 1);
            std::snprintf(r.DoctorCode, sizeof r.DoctorCode, "%02d", int(rng() % 6));
            r.InactiveFlag = rng() % 50 == 0 ? 1 : 0;
        });
    }
    if (status == 0) {
        status = InsertMany<CMaterialDB>(folder, kItems, [&](int i, tagMATERIALDB& r) {
            const int dueIndex = int(rng() % kDaysSpanned);
            const std::string due = CDate::AddDays(kFirstDay, dueIndex);
            const std::string ordered = CDate::AddDays(kFirstDay, std::max(0, dueIndex - 14));
            std::snprintf(r.MaterialNo, sizeof r.MaterialNo, "%s%05d", ordered.c_str(), i + 1);
            SetField(r.CompletionDate, due.c_str());
            r.DueKind = uint8_t(rng() % 3);
            SetField(r.DueTime, r.DueKind == 2 ? "1430" : "0000");
            if (rng() % 3 == 0) SetField(r.FinishedDate, due.c_str());
            // One item in a hundred names a patient that does not exist.
            std::snprintf(r.PatientID, sizeof r.PatientID, "%010d",
                          int(rng() % (rng() % 100 == 0 ? 1000000 : kPatients)) + 1);
            std::snprintf(r.StaffCode, sizeof r.StaffCode, "%04d", int(rng() % 4) + 1);
            SetCp932Field(r.ItemName, sizeof r.ItemName, QStringLiteral("リテーナー"));
            if (rng() % 4 == 0) SetCp932Field(r.Memo, sizeof r.Memo, QStringLiteral("至急"));
            SetField(r.OrderDate, ordered.c_str());
            std::snprintf(r.CategoryCode, sizeof r.CategoryCode, "%04d", int(rng() % 4) + 1);
        });
    }
    return status;
}

const char* kSqliteSchema =
    "PRAGMA journal_mode=DELETE;"
    "CREATE TABLE material(no TEXT PRIMARY KEY, due TEXT, patient TEXT, data BLOB);"
    "CREATE INDEX m_due ON material(due, no);"
    "CREATE TABLE patient(id TEXT PRIMARY KEY, data BLOB);";

// Copies the items and the patients of the folder into a fresh SQLite file and collects
// the items' due days.
bool CopyToSqlite(const std::string& folder, const std::string& path,
                  std::vector<std::string>* dues) {
    std::filesystem::remove(path);
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return false;
    bool ok = sqlite3_exec(db, kSqliteSchema, nullptr, nullptr, nullptr) == SQLITE_OK &&
              sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_stmt* item = nullptr;
    sqlite3_stmt* patient = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO material VALUES(?,?,?,?)", -1, &item, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO patient VALUES(?,?)", -1, &patient, nullptr);

    CMaterialDB items;
    ok = ok && items.Open(folder) == 0;
    items.SetKey(CMaterialDB::kKeyMaterialNo);
    for (int st = ok ? items.GetFIRST() : 9; st == 0; st = items.GetNEXT()) {
        const tagMATERIALDB& r = items.m_Data;
        dues->push_back(
            std::string(r.CompletionDate, ::strnlen(r.CompletionDate, sizeof r.CompletionDate)));
        sqlite3_bind_text(item, 1, r.MaterialNo, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(item, 2, r.CompletionDate, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(item, 3, r.PatientID, -1, SQLITE_TRANSIENT);
        sqlite3_bind_blob(item, 4, &r, sizeof r, SQLITE_TRANSIENT);
        ok = ok && sqlite3_step(item) == SQLITE_DONE;
        sqlite3_reset(item);
    }
    CPatient1DB patients;
    ok = ok && patients.Open(folder) == 0;
    patients.SetKey(CPatient1DB::kKeyPatientID);
    for (int st = ok ? patients.GetFIRST() : 9; st == 0; st = patients.GetNEXT()) {
        const tagPATIENT1DB& r = patients.m_Data;
        sqlite3_bind_text(patient, 1, r.PatientID, -1, SQLITE_TRANSIENT);
        sqlite3_bind_blob(patient, 2, &r, sizeof r, SQLITE_TRANSIENT);
        ok = ok && sqlite3_step(patient) == SQLITE_DONE;
        sqlite3_reset(patient);
    }
    sqlite3_finalize(item);
    sqlite3_finalize(patient);
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
        if (demo != nullptr && *demo && CountItems(demo) >= kItems) {
            s.folder = demo;
            std::fprintf(stderr, "lab items: the demo database in VELO_BENCH_DB\n");
        } else {
            s.folder = work + "/db";
            s.generated = true;
            std::filesystem::create_directories(s.folder);
            std::fprintf(stderr, "lab items: %d generated items and %d patients\n", kItems,
                         kPatients);
            if (Generate(s.folder) != 0) s.error = "could not generate the database";
        }
        s.sqlitePath = work + "/plain.sqlite";
        std::vector<std::string> dues;
        if (s.error.empty() && !CopyToSqlite(s.folder, s.sqlitePath, &dues))
            s.error = "could not fill SQLite";
        std::sort(dues.begin(), dues.end());
        const std::string middle = dues.empty() ? std::string(kFirstDay) : dues[dues.size() / 2];
        s.from7 = middle;
        s.to7 = CDate::AddDays(middle.c_str(), 7);
        s.from6m = middle;
        s.to6m = CDate::AddDays(middle.c_str(), 178);
        return s;
    }();
    return setup;
}

LabFilter Range(const std::string& from, const std::string& to) {
    LabFilter f;
    f.from = from;
    f.to = to;
    return f;
}

// What a program written straight against SQLite would do for the same list: read the
// range's items by due day in one read transaction, look each patient up once, and build the
// same texts.
class CPlainLab {
public:
    explicit CPlainLab(const std::string& path) : m_db(path, true, 2) {
        m_ready = m_db.Ready() &&
                  sqlite3_prepare_v2(
                      m_db.Handle(),
                      "SELECT data FROM material WHERE due >= ? AND due <= ? ORDER BY due, no", -1,
                      &m_items, nullptr) == SQLITE_OK &&
                  sqlite3_prepare_v2(m_db.Handle(), "SELECT data FROM patient WHERE id = ?", -1,
                                     &m_patient, nullptr) == SQLITE_OK;
    }
    ~CPlainLab() {
        sqlite3_finalize(m_items);
        sqlite3_finalize(m_patient);
    }
    CPlainLab(const CPlainLab&) = delete;
    CPlainLab& operator=(const CPlainLab&) = delete;

    bool Ready() const { return m_ready; }

    void Refresh(const std::string& from, const std::string& to, const LabNames& names,
                 std::vector<LabRow>* rows) {
        m_db.ReadConsistently([&] {
            std::map<std::string, PlainLabPerson> people;
            sqlite3_bind_text(m_items, 1, from.c_str(), -1, SQLITE_STATIC);
            sqlite3_bind_text(m_items, 2, to.c_str(), -1, SQLITE_STATIC);
            while (sqlite3_step(m_items) == SQLITE_ROW) {
                const auto& r = *static_cast<const tagMATERIALDB*>(sqlite3_column_blob(m_items, 0));
                const std::string id = FieldText(r.PatientID);
                auto found = people.find(id);
                if (found == people.end()) found = people.emplace(id, ReadPerson(id, names)).first;
                const PlainLabPerson& p = found->second;
                if (p.inactive) continue;
                rows->push_back(PlainLabRow(r, p, names));
            }
            sqlite3_reset(m_items);
            return true;
        });
    }

private:
    PlainLabPerson ReadPerson(const std::string& id, const LabNames& names) {
        sqlite3_bind_text(m_patient, 1, id.c_str(), -1, SQLITE_STATIC);
        const bool found = sqlite3_step(m_patient) == SQLITE_ROW;
        const PlainLabPerson p = PlainLabPersonOf(
            found ? static_cast<const tagPATIENT1DB*>(sqlite3_column_blob(m_patient, 0)) : nullptr,
            names);
        sqlite3_reset(m_patient);
        return p;
    }

    CPlainDb m_db;
    bool m_ready = false;
    sqlite3_stmt* m_items = nullptr;
    sqlite3_stmt* m_patient = nullptr;
};

// Both sides list the same rows before either is timed, or the ratio would compare
// different work.
std::string CheckSameRows(const Setup& s) {
    CVeloDBSys db(s.folder);
    const LabNames names = LoadLabNames(&db);
    std::vector<LabRow> ours, plain;
    if (ReadLabRows(&db, Range(s.from7, s.to7), names, &ours) != 0)
        return "the suite could not read the lab items";
    CPlainLab lab(s.sqlitePath);
    if (!lab.Ready()) return "SQLite could not prepare its reads";
    lab.Refresh(s.from7, s.to7, names, &plain);
    if (ours.empty() || ours.size() != plain.size())
        return "the refresh lists " + std::to_string(ours.size()) + " rows in the suite and " +
               std::to_string(plain.size()) + " in SQLite";
    for (size_t i = 0; i < ours.size(); ++i) {
        if (!SameLabRow(ours[i], plain[i]))
            return "the refresh differs at row " + std::to_string(i) + " (item " +
                   ours[i].materialNo + " / " + plain[i].materialNo + ")";
    }
    std::fprintf(stderr, "lab items: the refresh of %s-%s lists %zu rows on both sides\n",
                 s.from7.c_str(), s.to7.c_str(), ours.size());
    return std::string();
}

const std::string& CheckError() {
    static const std::string error =
        TheSetup().error.empty() ? CheckSameRows(TheSetup()) : TheSetup().error;
    return error;
}

void BM_LabRefresh_Recman(benchmark::State& state) {
    if (!CheckError().empty()) return state.SkipWithError(CheckError().c_str());
    Setup& s = TheSetup();
    CVeloDBSys db(s.folder);
    const LabNames names = LoadLabNames(&db);
    const LabFilter f = Range(s.from7, s.to7);
    size_t rows = 0;
    for (auto _ : state) {
        std::vector<LabRow> read;
        if (ReadLabRows(&db, f, names, &read) != 0) state.SkipWithError("read failed");
        rows = read.size();
        benchmark::DoNotOptimize(read.data());
    }
    state.counters["rows"] = double(rows);
}

void BM_LabRefresh_Sqlite(benchmark::State& state) {
    if (!CheckError().empty()) return state.SkipWithError(CheckError().c_str());
    Setup& s = TheSetup();
    CVeloDBSys handle(s.folder);
    const LabNames names = LoadLabNames(&handle);
    CPlainLab lab(s.sqlitePath);
    size_t rows = 0;
    for (auto _ : state) {
        std::vector<LabRow> read;
        lab.Refresh(s.from7, s.to7, names, &read);
        rows = read.size();
        benchmark::DoNotOptimize(read.data());
    }
    state.counters["rows"] = double(rows);
}

void BM_ByItem6Months(benchmark::State& state) {
    Setup& s = TheSetup();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
    CVeloDBSys db(s.folder);
    const LabNames names = LoadLabNames(&db);
    const LabFilter f = Range(s.from6m, s.to6m);
    size_t days = 0;
    for (auto _ : state) {
        ByItemGrid grid;
        if (BuildByItemGrid(&db, f, true, names, &grid) != ByItemResult::Ok)
            state.SkipWithError("refused");
        days = grid.days.size();
        benchmark::DoNotOptimize(grid.days.data());
    }
    state.counters["days"] = double(days);
}

BENCHMARK(BM_LabRefresh_Recman)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LabRefresh_Sqlite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ByItem6Months)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    CRatioReporter reporter;
    RunBenchmarks(argc, argv, &reporter);
    reporter.PrintRatios({{"LabRefresh", 3.0}});
    if (const auto ours = reporter.Time("BM_LabRefresh_Recman"))
        std::printf("FIGURE LabRefresh7Days %.2f ms (target < 50)\n", *ours);
    if (const auto byItem = reporter.Time("BM_ByItem6Months"))
        std::printf("FIGURE ByItem6Months %.2f ms (target < 200)\n", *byItem);
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
