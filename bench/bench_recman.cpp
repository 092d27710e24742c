// Record manager against plain SQLite on the same data, in one run.
//
// The records are reservation-sized (1064 bytes) with the sheet's keys: the number,
// patient + day + time, doctor + day + time, unit + day + time, day + time. The plain
// SQLite side keeps the same records in a table with those fields as columns and the
// same indexes, and is driven through prepared statements: that is what a program
// written straight against SQLite would do. Its connection has the record manager's
// settings (journal, sync, page cache, memory mapping; see plainsqlite.h). Each pair ends
// in a line
//   RATIO <case> <record manager time / SQLite time> <target>
// which scripts/bench collects.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "plainsqlite.h"
#include "ratioreporter.h"
#include "recman/recman.h"

namespace {

constexpr int kRecords = 100000;

#pragma pack(push, 1)
// OFFSET SIZE FIELD     MEANING
//      0   21 number    key 0
//     21   21 patient   key 2 (with day, start)
//     42    9 day       YYYYMMDD
//     51    5 start     HHMM
//     56    5 end       HHMM
//     61    4 unit      key 4 (with day, start)
//     65    4 doctor    key 3 (with day, start)
//     69  995 rest      treatment and the other fields
struct Reservation {
    char number[21];
    char patient[21];
    char day[9];
    char start[5];
    char end[5];
    char unit[4];
    char doctor[4];
    char rest[995];
};
#pragma pack(pop)
static_assert(sizeof(Reservation) == 1064);
static_assert(offsetof(Reservation, unit) == 61);

Reservation MakeReservation(int i, std::mt19937& rng) {
    Reservation r{};
    std::snprintf(r.number, sizeof r.number, "%010d", i + 1);
    std::snprintf(r.patient, sizeof r.patient, "%010d", int(rng() % 50000) + 1);
    const int dayIndex = int(rng() % 700);
    std::snprintf(r.day, sizeof r.day, "%04d%02d%02d", 2025 + dayIndex / 336, 1 + (dayIndex / 28) % 12, 1 + dayIndex % 28);
    const int slot = int(rng() % 40);
    const int start = 900 + (slot / 4) * 100 + (slot % 4) * 15;
    std::snprintf(r.start, sizeof r.start, "%04d", start);
    std::snprintf(r.end, sizeof r.end, "%04d", start + 30);
    std::snprintf(r.unit, sizeof r.unit, "%02d", int(rng() % 4) + 1);
    std::snprintf(r.doctor, sizeof r.doctor, "%02d", int(rng() % 3) + 1);
    std::snprintf(r.rest, sizeof r.rest, "矯正 調整 ワイヤー交換 %d", i);
    return r;
}

// The records of the run: the first kRecords reservations of a demo database made with
// `velodb demo` when VELO_BENCH_DB names one (scripts/bench makes a clinic of 50,000
// patients and 500,000 reservations), else generated ones of the same shape.
std::vector<Reservation> LoadDemoReservations() {
    std::vector<Reservation> v;
    const char* folder = std::getenv("VELO_BENCH_DB");
    if (!folder || !*folder) return v;
    char block[recman::kPositionBlockSize] = {};
    char key[256] = {};
    std::snprintf(key, sizeof key, "%s/RESERVATION.BTR", folder);
    uint32_t len = 0;
    if (BTRCALL(recman::kOpOpen, block, nullptr, &len, key, 255, 0) != 0) return v;
    Reservation r{};
    len = sizeof r;
    for (int st = BTRCALL(recman::kOpGetFirst, block, &r, &len, key, 255, 0); st == 0 && int(v.size()) < kRecords;
         st = BTRCALL(recman::kOpGetNext, block, &r, &len, key, 255, 0), len = sizeof r)
        v.push_back(r);
    BTRCALL(recman::kOpClose, block, nullptr, &len, key, 255, 0);
    return v;
}

std::vector<Reservation>& Data() {
    static std::vector<Reservation> data = [] {
        std::vector<Reservation> v = LoadDemoReservations();
        if (!v.empty()) {
            std::fprintf(stderr, "records: %zu reservations of the demo database in VELO_BENCH_DB\n", v.size());
            return v;
        }
        std::fprintf(stderr, "records: %d generated reservations (set VELO_BENCH_DB to use a demo database)\n", kRecords);
        std::mt19937 rng(7);
        v.reserve(kRecords);
        for (int i = 0; i < kRecords; ++i) v.push_back(MakeReservation(i, rng));
        return v;
    }();
    return data;
}

int RecordCount() { return int(Data().size()); }

std::string& Folder() {
    static std::string folder = [] {
        char pattern[] = "/tmp/velo-bench-XXXXXX";
        return std::string(mkdtemp(pattern));
    }();
    return folder;
}

// ---- record manager side ----

void AddSegment(std::vector<recman::KeySpec>& specs, int offset, int length, bool dup, bool more) {
    recman::KeySpec k{};
    k.position = uint16_t(offset + 1);
    k.length = uint16_t(length);
    k.flags = recman::kKeyExtendedType | (dup ? recman::kKeyDuplicates : 0) | (more ? recman::kKeySegmented : 0);
    k.extendedType = recman::kTypeText;
    specs.push_back(k);
}

int CreateReservationFile(const std::string& path) {
    std::vector<recman::KeySpec> keys;
    AddSegment(keys, 0, 21, false, false);                                   // 0 number
    AddSegment(keys, 21, 21, true, false);                                   // 1 patient
    AddSegment(keys, 21, 21, true, true), AddSegment(keys, 42, 9, true, true), AddSegment(keys, 51, 5, true, false);
    AddSegment(keys, 65, 4, true, true), AddSegment(keys, 42, 9, true, true), AddSegment(keys, 51, 5, true, false);
    AddSegment(keys, 61, 4, true, true), AddSegment(keys, 42, 9, true, true), AddSegment(keys, 51, 5, true, false);
    AddSegment(keys, 42, 9, true, false);                                    // 5 day
    AddSegment(keys, 42, 9, true, true), AddSegment(keys, 51, 5, true, false);  // 6 day, start
    std::vector<uint8_t> buf(sizeof(recman::FileSpec) + keys.size() * sizeof(recman::KeySpec));
    recman::FileSpec file{};
    file.recordLength = sizeof(Reservation);
    file.keyCount = 7;
    std::memcpy(buf.data(), &file, sizeof file);
    std::memcpy(buf.data() + sizeof file, keys.data(), keys.size() * sizeof(recman::KeySpec));
    uint32_t len = uint32_t(buf.size());
    char name[256] = {};
    std::strncpy(name, path.c_str(), 255);
    return BTRCALL(recman::kOpCreate, nullptr, buf.data(), &len, name, 255, recman::kCreateOverwrite);
}

struct RecmanTable {
    char block[recman::kPositionBlockSize] = {};
    char key[256] = {};
    Reservation rec{};
    int status = 0;
    explicit RecmanTable(const std::string& path) {
        std::strncpy(key, path.c_str(), 255);
        uint32_t len = 0;
        status = BTRCALL(recman::kOpOpen, block, nullptr, &len, key, 255, 0);
    }
    ~RecmanTable() {
        uint32_t len = 0;
        BTRCALL(recman::kOpClose, block, nullptr, &len, key, 255, 0);
    }
    int Call(uint16_t op, int8_t keyNum) {
        uint32_t len = sizeof rec;
        return BTRCALL(op, block, &rec, &len, key, 255, keyNum);
    }
};

int Transaction(uint16_t op) {
    uint32_t len = 0;
    return BTRCALL(op, nullptr, nullptr, &len, nullptr, 0, 0);
}

void FillRecman(const std::string& path) {
    CreateReservationFile(path);
    RecmanTable t(path);
    Transaction(recman::kOpBeginTransaction);
    for (const Reservation& r : Data()) {
        t.rec = r;
        t.Call(recman::kOpInsert, 0);
    }
    Transaction(recman::kOpEndTransaction);
}

// ---- plain SQLite side ----

const char* kSqliteSchema =
    "CREATE TABLE reservation(number TEXT PRIMARY KEY, patient TEXT, day TEXT, start TEXT, unit TEXT, doctor TEXT, data BLOB);"
    "CREATE INDEX r_patient ON reservation(patient);"
    "CREATE INDEX r_patient_day ON reservation(patient, day, start);"
    "CREATE INDEX r_doctor_day ON reservation(doctor, day, start);"
    "CREATE INDEX r_unit_day ON reservation(unit, day, start);"
    "CREATE INDEX r_day ON reservation(day);"
    "CREATE INDEX r_day_start ON reservation(day, start);";

std::unique_ptr<CPlainDb> OpenSqlite(const std::string& path, bool fresh) {
    if (fresh) {
        std::filesystem::remove(path);
    }
    auto db = std::make_unique<CPlainDb>(path, false);
    if (fresh && db->Ready()) sqlite3_exec(db->Handle(), kSqliteSchema, nullptr, nullptr, nullptr);
    return db;
}

void InsertSqlite(sqlite3_stmt* stmt, const Reservation& r) {
    sqlite3_bind_text(stmt, 1, r.number, -1, SQLITE_STATIC);
    sqlite3_bind_text(stmt, 2, r.patient, -1, SQLITE_STATIC);
    sqlite3_bind_text(stmt, 3, r.day, -1, SQLITE_STATIC);
    sqlite3_bind_text(stmt, 4, r.start, -1, SQLITE_STATIC);
    sqlite3_bind_text(stmt, 5, r.unit, -1, SQLITE_STATIC);
    sqlite3_bind_text(stmt, 6, r.doctor, -1, SQLITE_STATIC);
    sqlite3_bind_blob(stmt, 7, &r, sizeof r, SQLITE_STATIC);
    sqlite3_step(stmt);
    sqlite3_reset(stmt);
}

const char* kInsertSql = "INSERT INTO reservation VALUES(?,?,?,?,?,?,?)";

void FillSqlite(const std::string& path) {
    const auto db = OpenSqlite(path, true);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db->Handle(), kInsertSql, -1, &stmt, nullptr);
    db->Begin();
    for (const Reservation& r : Data()) InsertSqlite(stmt, r);
    db->Commit();
    sqlite3_finalize(stmt);
}

const std::string& LoadedRecman() {
    static std::string path = [] {
        std::string p = Folder() + "/RESERVATION.BTR";
        FillRecman(p);
        return p;
    }();
    return path;
}

const std::string& LoadedSqlite() {
    static std::string path = [] {
        std::string p = Folder() + "/plain.sqlite";
        FillSqlite(p);
        return p;
    }();
    return path;
}

// ---- cases ----

void BM_GetEqual_Recman(benchmark::State& state) {
    RecmanTable t(LoadedRecman());
    std::mt19937 rng(1);
    for (auto _ : state) {
        std::memcpy(t.key, Data()[rng() % RecordCount()].number, 21);
        if (t.Call(recman::kOpGetEqual, 0) != 0) state.SkipWithError("not found");
        benchmark::DoNotOptimize(t.rec.day[0]);
    }
}

void BM_GetEqual_Sqlite(benchmark::State& state) {
    const auto db = OpenSqlite(LoadedSqlite(), false);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db->Handle(), "SELECT data FROM reservation WHERE number = ?", -1, &stmt,
                       nullptr);
    std::mt19937 rng(1);
    Reservation out{};
    char key[21];
    for (auto _ : state) {
        std::memcpy(key, Data()[rng() % RecordCount()].number, 21);
        sqlite3_bind_text(stmt, 1, key, -1, SQLITE_STATIC);
        if (sqlite3_step(stmt) != SQLITE_ROW) state.SkipWithError("not found");
        std::memcpy(&out, sqlite3_column_blob(stmt, 0), sizeof out);
        sqlite3_reset(stmt);
        benchmark::DoNotOptimize(out.day[0]);
    }
    sqlite3_finalize(stmt);
}

// One read transaction over the scan, as the suite reads a list: the records come from one
// state of the file, as the plain side's one statement reads them, and the file's lock is
// taken once rather than once for every batch of records read ahead.
void BM_Scan_Recman(benchmark::State& state) {
    RecmanTable t(LoadedRecman());
    for (auto _ : state) {
        int n = 0;
        Transaction(recman::kOpBeginTransaction);
        for (int st = t.Call(recman::kOpGetFirst, 6); st == 0; st = t.Call(recman::kOpGetNext, 6)) ++n;
        if (Transaction(recman::kOpEndTransaction) != 0) state.SkipWithError("the read failed");
        if (n != RecordCount()) state.SkipWithError("short scan");
    }
    state.SetItemsProcessed(state.iterations() * RecordCount());
}

void BM_Scan_Sqlite(benchmark::State& state) {
    const auto db = OpenSqlite(LoadedSqlite(), false);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db->Handle(), "SELECT data FROM reservation ORDER BY day, start", -1, &stmt,
                       nullptr);
    Reservation out{};
    for (auto _ : state) {
        int n = 0;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            std::memcpy(&out, sqlite3_column_blob(stmt, 0), sizeof out);
            ++n;
        }
        sqlite3_reset(stmt);
        if (n != RecordCount()) state.SkipWithError("short scan");
        benchmark::DoNotOptimize(out.day[0]);
    }
    state.SetItemsProcessed(state.iterations() * RecordCount());
    sqlite3_finalize(stmt);
}

void BM_Insert_Recman(benchmark::State& state) {
    for (auto _ : state) {
        const std::string path = Folder() + "/INSERT.BTR";
        CreateReservationFile(path);
        RecmanTable t(path);
        Transaction(recman::kOpBeginTransaction);
        for (const Reservation& r : Data()) {
            t.rec = r;
            if (t.Call(recman::kOpInsert, 0) != 0) state.SkipWithError("insert failed");
        }
        Transaction(recman::kOpEndTransaction);
    }
    state.SetItemsProcessed(state.iterations() * RecordCount());
}

void BM_Insert_Sqlite(benchmark::State& state) {
    for (auto _ : state) {
        const auto db = OpenSqlite(Folder() + "/insert.sqlite", true);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db->Handle(), kInsertSql, -1, &stmt, nullptr);
        db->Begin();
        for (const Reservation& r : Data()) InsertSqlite(stmt, r);
        db->Commit();
        sqlite3_finalize(stmt);
    }
    state.SetItemsProcessed(state.iterations() * RecordCount());
}

void BM_ThreeFileTransaction_Recman(benchmark::State& state) {
    std::vector<std::unique_ptr<RecmanTable>> tables;
    for (const char* name : {"/T1.BTR", "/T2.BTR", "/T3.BTR"}) {
        CreateReservationFile(Folder() + name);
        tables.push_back(std::make_unique<RecmanTable>(Folder() + name));
    }
    std::mt19937 rng(3);
    int i = 0;
    for (auto _ : state) {
        Transaction(recman::kOpBeginTransaction);
        for (auto& t : tables) {
            t->rec = MakeReservation(i, rng);
            t->Call(recman::kOpInsert, 0);
        }
        if (Transaction(recman::kOpEndTransaction) != 0) state.SkipWithError("commit failed");
        ++i;
    }
}

void BM_ThreeFileTransaction_Sqlite(benchmark::State& state) {
    const auto plain = OpenSqlite(Folder() + "/tx1.sqlite", true);
    sqlite3* db = plain->Handle();
    for (const char* name : {"tx2", "tx3"}) {
        std::filesystem::remove(Folder() + "/" + name + ".sqlite");
        plain->Attach(Folder() + "/" + name + ".sqlite", name);
        sqlite3_exec(db,
                     (std::string("CREATE TABLE ") + name +
                      ".reservation(number TEXT PRIMARY KEY, patient TEXT, day TEXT, start TEXT, unit TEXT, doctor TEXT, data BLOB)")
                         .c_str(),
                     nullptr, nullptr, nullptr);
        for (const char* index : {"patient", "patient, day, start", "doctor, day, start", "unit, day, start", "day", "day, start"}) {
            static int n = 0;
            sqlite3_exec(db,
                         (std::string("CREATE INDEX ") + name + ".i" + std::to_string(++n) + " ON reservation(" + index + ")").c_str(),
                         nullptr, nullptr, nullptr);
        }
    }
    std::vector<sqlite3_stmt*> stmts;
    for (const char* name : {"main", "tx2", "tx3"}) {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, (std::string("INSERT INTO ") + name + ".reservation VALUES(?,?,?,?,?,?,?)").c_str(), -1, &s, nullptr);
        stmts.push_back(s);
    }
    std::mt19937 rng(3);
    int i = 0;
    for (auto _ : state) {
        plain->Begin();
        for (sqlite3_stmt* s : stmts) InsertSqlite(s, MakeReservation(i, rng));
        if (!plain->Commit()) state.SkipWithError("commit failed");
        ++i;
    }
    for (sqlite3_stmt* s : stmts) sqlite3_finalize(s);
}

BENCHMARK(BM_GetEqual_Recman);
BENCHMARK(BM_GetEqual_Sqlite);
BENCHMARK(BM_Scan_Recman)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Scan_Sqlite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Insert_Recman)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Insert_Sqlite)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ThreeFileTransaction_Recman)->Unit(benchmark::kMicrosecond)->MinTime(3.0);
BENCHMARK(BM_ThreeFileTransaction_Sqlite)->Unit(benchmark::kMicrosecond)->MinTime(3.0);

}  // namespace

int main(int argc, char** argv) {
    CRatioReporter reporter;
    RunBenchmarks(argc, argv, &reporter);
    reporter.PrintRatios(
        {{"GetEqual", 1.5}, {"Scan", 1.5}, {"Insert", 2.0}, {"ThreeFileTransaction", 1.5}});
    recman::Shutdown();
    std::filesystem::remove_all(Folder());
    return 0;
}
