// How soon a booking made at one workstation appears on the sheet of another: from another
// process's commit to the end of the sheet's reload, on the embedded engine and on the
// server.
//
// The sheet (CReserveSheetDlg, offscreen) shows a day of a copy of the demo clinic named by
// VELO_BENCH_DB, and then of a working copy of the server-backed clinic named by
// VELO_BENCH_SERVER_DB (benchserver.h; left out with a line saying so when it names none).
// This program runs itself a second time as the other workstation
// (--peer FOLDER), which on each cue waits a random moment (so that commits fall anywhere
// in the sheet's poll interval, as a person's would), books one reservation into that day
// and answers with the steady clock at the end of its commit. The sheet's reloadedForChanges
// signal gives the other end. The cases:
//   LiveRefresh         one commit and the reload it causes, many times; the time of an
//                       iteration is the latency;
//   LiveRefreshServer   the same on the server-backed clinic.
// The run ends in a FIGURE line for each with the median latency over the commits beside its
// target, which scripts/bench collects.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QDate>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "benchserver.h"
#include "ratioreporter.h"
#include "recman/recman.h"
#include "sheet/reservesheetdlg.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/dbcall/tabledb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/testsupport/peerprocess.h"
#include "suite/tool/tablewatcher.h"

namespace fs = std::filesystem;

namespace {

constexpr int kCommits = 40;
constexpr double kTargetMs = 1000;
constexpr int kLatestCueMs = 2 * CTableWatcher::kPollIntervalMs;
constexpr int kWaitForReloadMs = 10000;

int64_t SteadyNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The other workstation: "book NUMBER DATE START END DELAYMS" lines in, "ok NANOSECONDS" or
// "failed STATUS" out. It books blocked time of unit 01, which needs no patient.
int RunPeer(const std::string& folder) {
    CVeloDBSys db(folder);
    std::string command, number, date, start, end;
    int delayMs = 0;
    while (std::cin >> command >> number >> date >> start >> end >> delayMs) {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        CReservationDB table;
        int status = table.SetAssociatedDB(&db);
        if (status == 0) {
            table.ClearData();
            tagRESERVATIONDB& r = table.m_Data;
            SetField(r.ReservationNo, number.c_str());
            SetField(r.ResDate, date.c_str());
            SetField(r.StartTime, start.c_str());
            SetField(r.EndTime, end.c_str());
            SetField(r.UnitCode, "01");
            SetField(r.DoctorCode, "01");
            status = table.Insert();
        }
        if (status == 0)
            std::cout << "ok " << SteadyNanoseconds() << std::endl;
        else
            std::cout << "failed " << status << std::endl;
    }
    return 0;
}

// The work folder: on /dev/shm when it holds the copy, else TMPDIR.
std::string MakeWorkFolder(uintmax_t needed) {
    std::error_code error;
    const fs::space_info shm = fs::space("/dev/shm", error);
    const bool tmpfs = !error && shm.available > needed;
    const char* tmp = std::getenv("TMPDIR");
    const std::string base = tmpfs ? "/dev/shm" : (tmp != nullptr && *tmp ? tmp : "/tmp");
    std::string pattern = base + "/velo-benchlive-XXXXXX";
    const char* made = ::mkdtemp(pattern.data());
    return made != nullptr ? made : "";
}

struct Setup {
    std::string error;
    std::string work;                               // removed at the end
    std::string folder;                             // the copy of the demo clinic
    std::unique_ptr<CServerClinicCopy> serverCopy;  // the server's copy, when on the server
    std::unique_ptr<CVeloDBSys> db;
    std::unique_ptr<velo::sheet::CReserveSheetDlg> sheet;
    std::unique_ptr<CPeerProcess> peer;
    std::string day;  // YYYYMMDD the sheet shows
    int booked = 0;
    std::mt19937 random{1};
    std::vector<double> latenciesMs;

    // One commit by the peer and the sheet's reload: the latency in seconds, or < 0.
    double OneCommit() {
        ++booked;
        // Five minutes each, from 9:00 on, so that every commit adds a bar of its own.
        char number[16], start[8], end[8];
        const int hour = 9 + booked / 10 % 9, minute = booked % 10 * 5;
        std::snprintf(number, sizeof number, "99%08d", booked);
        std::snprintf(start, sizeof start, "%02d%02d", hour, minute);
        std::snprintf(end, sizeof end, "%02d%02d", hour, minute + 5);
        const int delay = std::uniform_int_distribution<int>(0, kLatestCueMs)(random);
        int64_t reloaded = 0;
        QEventLoop loop;
        const QMetaObject::Connection shown = QObject::connect(
            sheet.get(), &velo::sheet::CReserveSheetDlg::reloadedForChanges, &loop, [&] {
                reloaded = SteadyNanoseconds();
                loop.quit();
            });
        QTimer::singleShot(kWaitForReloadMs, &loop, &QEventLoop::quit);
        peer->Send(std::string("book ") + number + " " + day + " " + start + " " + end + " " +
                   std::to_string(delay));
        loop.exec();
        QObject::disconnect(shown);
        const std::string answer = peer->ReadLine();
        if (answer.rfind("ok ", 0) != 0 || reloaded == 0) return -1;
        const int64_t committed = std::stoll(answer.substr(3));
        return double(reloaded - committed) / 1e9;
    }
};

// The sheet on a copy of the clinic in `clinic`: of its folder on the embedded engine, or of
// its database on the server.
Setup MakeSetup(const std::string& clinic, bool server) {
    Setup s;
    uintmax_t size = 0;
    for (const auto& entry : fs::directory_iterator(clinic))
        if (entry.is_regular_file()) size += entry.file_size();
    s.work = MakeWorkFolder(size * 2);
    if (s.work.empty()) {
        s.error = "no temporary folder";
        return s;
    }
    std::error_code error;
    if (server) {
        s.serverCopy = std::make_unique<CServerClinicCopy>(clinic, s.work);
        s.folder = s.serverCopy->Folder();
        s.error = s.serverCopy->Error();
    } else {
        s.folder = s.work + "/db";
        fs::copy(clinic, s.folder, fs::copy_options::recursive, error);
    }
    // The sheet keeps its window size and modes in a profile of its own here.
    fs::create_directories(s.work + "/config", error);
    if (error) s.error = "could not copy the demo clinic: " + error.message();
    if (!s.error.empty()) return s;
    ::setenv("XDG_CONFIG_HOME", (s.work + "/config").c_str(), 1);
    s.db = std::make_unique<CVeloDBSys>(s.folder);
    s.sheet = std::make_unique<velo::sheet::CReserveSheetDlg>(s.db.get());
    s.sheet->show();
    QApplication::processEvents();
    s.day = s.sheet->ShownDate().toString(QStringLiteral("yyyyMMdd")).toStdString();
    s.peer = std::make_unique<CPeerProcess>("/proc/self/exe",
                                            std::vector<std::string>{"--peer", s.folder});
    std::fprintf(stderr, "live: the sheet shows %s of a copy in %s\n", s.day.c_str(),
                 s.folder.c_str());
    return s;
}

// The setups of the cases that ran, so that there is something to report and remove.
Setup* g_embedded = nullptr;
Setup* g_server = nullptr;

Setup& EmbeddedSetup() {
    static Setup setup = MakeSetup(std::getenv("VELO_BENCH_DB"), false);
    g_embedded = &setup;
    return setup;
}

Setup& ServerSetup() {
    static Setup setup = MakeSetup(std::getenv("VELO_BENCH_SERVER_DB"), true);
    g_server = &setup;
    return setup;
}

void MeasureCommits(benchmark::State& state, Setup& s) {
    if (!s.error.empty()) {
        state.SkipWithError(s.error.c_str());
        return;
    }
    for (auto _ : state) {
        const double seconds = s.OneCommit();
        if (seconds < 0) {
            state.SkipWithError("the sheet did not reload after the other process's commit");
            break;
        }
        state.SetIterationTime(seconds);
        s.latenciesMs.push_back(seconds * 1000);
    }
}

void BM_LiveRefresh(benchmark::State& state) { MeasureCommits(state, EmbeddedSetup()); }

void BM_LiveRefreshServer(benchmark::State& state) { MeasureCommits(state, ServerSetup()); }

void Register(const char* name, void (*measure)(benchmark::State&)) {
    benchmark::RegisterBenchmark(name, measure)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(kCommits)
        ->Repetitions(1);
}

// The median latency of a setup's commits beside the target.
void PrintFigure(const char* name, Setup* s) {
    if (s == nullptr || s->latenciesMs.empty()) return;
    std::vector<double> sorted = s->latenciesMs;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    std::printf(
        "FIGURE %s %.0f ms (median of %zu commits, slowest %.0f; target < %.0f; the sheet "
        "looks every %d ms)\n",
        name, median, sorted.size(), sorted.back(), kTargetMs, CTableWatcher::kPollIntervalMs);
}

void TearDown(Setup* s) {
    if (s == nullptr) return;
    s->peer.reset();
    s->sheet.reset();
    s->db.reset();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--peer") return RunPeer(argv[2]);
    if (BenchDemoClinic("bench_live") == nullptr) return 0;
    Register("BM_LiveRefresh", BM_LiveRefresh);
    if (BenchServerClinic("bench_live") != nullptr)
        Register("BM_LiveRefreshServer", BM_LiveRefreshServer);
    UseOffscreenWindows();
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    CRatioReporter reporter;
    RunBenchmarks(argc, argv, &reporter);
    PrintFigure("LiveRefresh", g_embedded);
    PrintFigure("LiveRefreshServer", g_server);
    TearDown(g_embedded);
    TearDown(g_server);
    recman::Shutdown();
    std::error_code error;
    for (Setup* s : {g_embedded, g_server}) {
        if (s == nullptr) continue;
        s->serverCopy.reset();
        if (!s->work.empty()) fs::remove_all(s->work, error);
    }
    return 0;
}
