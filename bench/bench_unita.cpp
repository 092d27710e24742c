// bench_unita: the merger's whole merge run at scale - a practice database of
// UNITA_BENCH_PRACTICE patients (default 50,000) and a cephalometric database of
// UNITA_BENCH_XYLO patients (default 10,000) with 20 records each across the patient tables,
// half of them known to the practice by patient ID - against plain SQLite doing the same
// work in the same run: the practice folder copied (each file synced to disk, as the
// merger's copy does), then the same number of records of the same lengths inserted into
// one SQLite file per table with the record manager's layout (key column, record blob,
// index on the key) and its settings (plainsqlite.h), one transaction per table. The data
// are made once in
// build/bench-data/unita2-P-X.
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <QString>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "merger/btrtables.h"
#include "merger/convert.h"
#include "merger/mergeprogress.h"
#include "merger/mergerun.h"
#include "plainsqlite.h"
#include "ratioreporter.h"
#include "recman/recman.h"
#include "tools/velodb.h"

namespace {

namespace fs = std::filesystem;
using namespace unita;

// The records of one Xylo patient besides PATIENT1 and PATIENT2: table and how many.
const std::vector<std::pair<const char*, int>>& RecordsPerPatient() {
    static const std::vector<std::pair<const char*, int>> tables = {
        {"PHOTO.BTR", 4},   {"POINTLAT.BTR", 2}, {"CASMAS.BTR", 1},  {"CHEVRON.BTR", 1},
        {"CVBA.BTR", 1},    {"LAS.BTR", 1},      {"MOEX.BTR", 1},    {"MVTO.BTR", 1},
        {"PILELAT.BTR", 1}, {"PILEPA.BTR", 1},   {"POINTPA.BTR", 1}, {"POINTMO.BTR", 1},
        {"SPPOINT.BTR", 1}, {"XYPHOTOEX.BTR", 1}};
    return tables;
}
constexpr int kRecordsPerPatient = 20;
constexpr int kPerTransaction = 5000;

int EnvInt(const char* name, int def) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::atoi(value) : def;
}

int Transaction(uint16_t op) {
    unsigned char block[recman::kPositionBlockSize] = {};
    char key[recman::kMaxKeyLength] = {};
    uint32_t length = 0;
    return BTRCALL(op, block, nullptr, &length, key, recman::kMaxKeyLength, 0);
}

std::string Id10(long long value) {
    char text[24];
    std::snprintf(text, sizeof text, "%010lld", value);
    return text;
}

// Inserts `count` records into `table` of `folder`, fill(i, record) writing the i-th.
template <typename Fill>
bool InsertMany(const std::string& folder, const char* table, long long count, Fill fill) {
    auto t = MakeBtrTable(table, folder);
    if (!t || t->Open() != 0) return false;
    for (long long i = 0; i < count; i += kPerTransaction) {
        if (Transaction(recman::kOpBeginTransaction) != 0) return false;
        for (long long j = i; j < std::min(count, i + kPerTransaction); ++j) {
            t->ClearData();
            fill(j, t->Data());
            if (t->Insert() != 0) return false;
        }
        if (Transaction(recman::kOpEndTransaction) != 0) return false;
    }
    t->Close();
    return true;
}

void PutPatient(char* record, long long id, const std::string& patientId) {
    std::memcpy(record, Id10(id).c_str(), 10);
    std::memcpy(record + offsetof(tagPATIENT1DB, ChartNo), patientId.c_str(), patientId.size());
    // Names differ, as real ones do (the merge looks patients up by name).
    const std::string name = "PATIENT " + std::to_string(id);
    std::memcpy(record + offsetof(tagPATIENT1DB, Name), name.c_str(), name.size());
}

struct SSetup {
    std::string m_calyx, m_xylo, m_dest, m_sqlite, m_error;
    int m_xyloPatients = 0;
    long long m_records = 0;  // the Xylo patients' records the run copies
};

bool MakeData(SSetup& s, int practice, int xylo) {
    std::string error;
    if (!velodb::CreateDatabase(s.m_calyx, true, &error) ||
        !velodb::CreateDatabase(s.m_xylo, true, &error)) {
        s.m_error = error;
        return false;
    }
    const auto practiceId = [](long long i) { return "P" + std::to_string(i + 1); };
    bool ok = InsertMany(s.m_calyx, "PATIENT1.BTR", practice,
                         [&](long long i, char* r) { PutPatient(r, i + 1, practiceId(i)); }) &&
              InsertMany(s.m_calyx, "PATIENT2.BTR", practice,
                         [](long long i, char* r) { std::memcpy(r, Id10(i + 1).c_str(), 10); });
    // Every other Xylo patient is a practice patient under the same patient ID.
    const auto xyloId = [&](long long i) {
        return i % 2 == 0 ? practiceId(i * 3 % practice) : "X" + std::to_string(i + 1);
    };
    ok = ok && InsertMany(s.m_xylo, "PATIENT1.BTR", xylo,
                          [&](long long i, char* r) { PutPatient(r, i + 1, xyloId(i)); });
    ok = ok && InsertMany(s.m_xylo, "PATIENT2.BTR", xylo,
                          [](long long i, char* r) { std::memcpy(r, Id10(i + 1).c_str(), 10); });
    for (const auto& [table, perPatient] : RecordsPerPatient()) {
        const int n = perPatient;
        ok = ok && InsertMany(s.m_xylo, table, static_cast<long long>(xylo) * n,
                              [n](long long i, char* r) {
                                  std::memcpy(r, Id10(i / n + 1).c_str(), 10);
                                  std::memcpy(r + 21, Id10(i % n + 1).c_str(), 10);
                              });
    }
    if (!ok) s.m_error = "cannot fill the benchmark databases";
    return ok;
}

SSetup& TheSetup() {
    static SSetup s = [] {
        SSetup setup;
        const int practice = EnvInt("UNITA_BENCH_PRACTICE", 50000);
        const int xylo = EnvInt("UNITA_BENCH_XYLO", 10000);
        const char* data = std::getenv("VELO_BENCH_DATA");
        const std::string root = std::string(data != nullptr && *data ? data : VELO_BENCH_DEFAULT) +
                                 "/unita2-" + std::to_string(practice) + "-" +
                                 std::to_string(xylo) + "/";
        setup.m_calyx = root + "calyx/";
        setup.m_xylo = root + "xylo/";
        setup.m_dest = root + "run/";
        setup.m_sqlite = root + "sqlite/";
        setup.m_xyloPatients = xylo;
        setup.m_records = static_cast<long long>(xylo) * kRecordsPerPatient;
        if (!fs::exists(root + "ready")) {
            fs::remove_all(root);
            if (!MakeData(setup, practice, xylo)) return setup;
            recman::Shutdown();
            std::FILE* mark = std::fopen((root + "ready").c_str(), "w");
            if (mark != nullptr) std::fclose(mark);
        }
        return setup;
    }();
    return s;
}

void BM_UnitaMerge_Recman(benchmark::State& state) {
    SSetup& s = TheSetup();
    if (!s.m_error.empty()) return state.SkipWithError(s.m_error.c_str());
    SMergeRunRequest request;
    request.m_folders.m_calyxDatabase = QString::fromStdString(s.m_calyx);
    request.m_folders.m_calyxImage = QString::fromStdString(s.m_calyx + "Photo/");
    request.m_folders.m_xyloDatabase = QString::fromStdString(s.m_xylo);
    request.m_folders.m_xyloImage = QString::fromStdString(s.m_xylo + "Photo/");
    request.m_folders.m_xyloReport = QString::fromStdString(s.m_xylo + "Report/");
    request.m_folders.m_xyloSlideshow = QString::fromStdString(s.m_xylo + "SlideShow/");
    ApplyDestinationChoice(&request.m_folders, QString::fromStdString(s.m_dest));
    request.m_xyloRows =
        LoadPatientRows(request.m_folders.m_xyloDatabase, EPatientFile::Current, false);
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(s.m_dest);
        state.ResumeTiming();
        CQuietMergeProgress progress;
        const SMergeRunResult result = RunMerge(request, progress, nullptr);
        if (result.m_outcome != EMergeRunOutcome::Succeeded) {
            state.SkipWithError(("the merge failed: " + result.m_message.toStdString()).c_str());
        }
    }
    state.counters["records"] = double(s.m_records);
    state.counters["records/s"] =
        benchmark::Counter(double(s.m_records), benchmark::Counter::kIsIterationInvariantRate);
}

// Makes every file under `folder` durable, as the merger's copy makes each file it writes
// (and as SQLite makes its own commits): a database copy a crash can lose is not the same
// work.
void SyncEveryFile(const std::string& folder) {
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        ::fsync(fd);
        ::close(fd);
    }
}

// The same amount of work in plain SQLite: the practice folder copied (durably), then per
// table one file with the record manager's layout and the same records inserted in one
// transaction.
void BM_UnitaMerge_Sqlite(benchmark::State& state) {
    SSetup& s = TheSetup();
    if (!s.m_error.empty()) return state.SkipWithError(s.m_error.c_str());
    std::vector<std::pair<std::string, std::pair<int, uint32_t>>> tables = {
        {"PATIENT1", {1, 3600}}, {"PATIENT2", {1, 4000}}};
    for (const auto& [table, perPatient] : RecordsPerPatient()) {
        const SBtrTableDef* def = FindBtrTable(table);
        tables.push_back({table, {perPatient, def->m_recordLength}});
    }
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(s.m_sqlite);
        fs::create_directories(s.m_sqlite);
        state.ResumeTiming();
        fs::copy(s.m_calyx, s.m_sqlite + "Database/", fs::copy_options::recursive);
        SyncEveryFile(s.m_sqlite + "Database/");
        for (const auto& [table, shape] : tables) {
            const auto [perPatient, length] = shape;
            CPlainDb plain(s.m_sqlite + table + ".sqlite", false);
            sqlite3* db = plain.Handle();
            sqlite3_exec(db,
                         "CREATE TABLE rec(id INTEGER PRIMARY KEY, k0 BLOB, data BLOB);"
                         "CREATE INDEX rec_k0 ON rec(k0)",
                         nullptr, nullptr, nullptr);
            plain.Begin();
            sqlite3_stmt* insert = nullptr;
            sqlite3_prepare_v2(db, "INSERT INTO rec(k0, data) VALUES(?, ?)", -1, &insert, nullptr);
            std::vector<char> record(length, 0);
            for (long long i = 0; i < static_cast<long long>(s.m_xyloPatients) * perPatient; ++i) {
                std::memcpy(record.data(), Id10(i / perPatient + 1).c_str(), 10);
                std::memcpy(record.data() + 21, Id10(i % perPatient + 1).c_str(), 10);
                sqlite3_bind_blob(insert, 1, record.data(), 32, SQLITE_STATIC);
                sqlite3_bind_blob(insert, 2, record.data(), int(length), SQLITE_STATIC);
                sqlite3_step(insert);
                sqlite3_reset(insert);
            }
            sqlite3_finalize(insert);
            plain.Commit();
        }
    }
    state.counters["records"] = double(s.m_records);
}

BENCHMARK(BM_UnitaMerge_Recman)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_UnitaMerge_Sqlite)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    SetProgramFolder(UNITA_PROGRAM_FOLDER);
    CRatioReporter reporter;
    RunBenchmarks(argc, argv, &reporter);
    reporter.PrintRatios({{"UnitaMerge", 2.0}});
    const SSetup& s = TheSetup();
    if (const auto seconds = reporter.Time("BM_UnitaMerge_Recman")) {
        std::printf("FIGURE UnitaMerge %.1f s (target < 120), %.0f records/s\n", *seconds,
                    double(s.m_records) / *seconds);
    }
    recman::Shutdown();
    return 0;
}
