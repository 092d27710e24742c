// The record manager seen from several processes: isolation of an open transaction,
// writers waiting for each other, clients killed in the middle of their transactions and
// files opened while other processes commit and get killed, on both engines; commits across
// three files killed at every point of the commit and the working files that killed
// processes leave behind on the embedded engine; and a server killed while it commits.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>

#include "recman/recman.h"
#include "recman/serverchanges.h"
#include "recman/tests/testfile.h"
#include "recman/testsupport/testserver.h"
#include "suite/testsupport/peerprocess.h"

using namespace recman;
using recman_test::MakeRecord;
using recman_test::Table;

namespace {

// The record manager's peer program, with its own temporary folder.
class Peer : public CPeerProcess {
public:
    Peer(std::vector<std::string> args, const std::string& tmpdir)
        : CPeerProcess(RECMAN_PEER, std::move(args), {{"TMPDIR", tmpdir}}) {}
};

// Names of the working files (and super-journals) in a folder.
std::vector<std::string> WorkingFiles(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().filename().string().rfind(".recman-", 0) == 0) names.push_back(entry.path().filename());
    return names;
}

class RecmanProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(MakeFolder());
        ASSERT_NO_FATAL_FAILURE(MakeTables());
    }
    void MakeFolder() {
        // In memory where the system has such a folder: these tests commit hundreds of
        // times, and waiting for a disk would only make them slow.
        std::string pattern = std::filesystem::is_directory("/dev/shm") && access("/dev/shm", W_OK) == 0
                                  ? "/dev/shm/recman-proc-XXXXXX"
                                  : "/tmp/recman-proc-XXXXXX";
        m_dir = mkdtemp(pattern.data());
        m_tmp = m_dir + "/tmp";
        std::filesystem::create_directory(m_tmp);
    }
    void MakeTables() {
        // D is a file that no peer writes to.
        for (const char* name : {"A.BTR", "B.BTR", "C.BTR", "D.BTR"})
            ASSERT_EQ(recman_test::CreateTestFile(m_dir + "/" + name), 0);
    }
    void TearDown() override {
        recman::SetBusyTimeout(5000);
        recman::Shutdown();
        std::filesystem::remove_all(m_dir);
    }
    bool Has(const std::string& file, const std::string& id) {
        Table t(m_dir + "/" + file);
        EXPECT_EQ(t.OpenStatus(), 0);
        return t.Call(kOpGetEqual, 0, id) == 0;
    }
    std::string m_dir, m_tmp;
};

// The same from both engines: the folder of a server test names a fresh database.
class RecmanProcessEngineTest : public RecmanProcessTest, public ::testing::WithParamInterface<ETestEngine> {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(MakeFolder());
        if (OnServer()) {
            ASSERT_FALSE(CTestServer::Get().UseIn(m_dir).empty()) << CTestServer::Get().Error();
        }
        recman::testing::SetServerCacheRows(GetParam() == ETestEngine::kServerUncached ? 0 : -1);
        ASSERT_NO_FATAL_FAILURE(MakeTables());
    }
    void TearDown() override {
        RecmanProcessTest::TearDown();
        recman::testing::SetServerCacheRows(-1);
    }
    bool OnServer() const { return GetParam() != ETestEngine::kEmbedded; }
};

INSTANTIATE_TEST_SUITE_P(, RecmanProcessEngineTest,
                         ::testing::Values(ETestEngine::kEmbedded, ETestEngine::kServer,
                                           ETestEngine::kServerUncached), TestEngineName);

TEST_P(RecmanProcessEngineTest, OpenTransactionIsInvisibleAndHoldsOffWritersUntilTheirTimeout) {
    Peer peer({"hold", m_dir}, m_tmp);
    ASSERT_EQ(peer.ReadLine(), "ready");
    EXPECT_FALSE(Has("A.BTR", "held"));

    recman::SetBusyTimeout(200);
    {
        Table t(m_dir + "/A.BTR");
        EXPECT_EQ(t.Insert(MakeRecord("mine")), kFileLocked);
        EXPECT_TRUE(t.Scan(0).empty());  // reading is still possible
    }
    // The same inside a transaction begun before this process had opened anything.
    recman::Shutdown();
    uint32_t len = 0;
    ASSERT_EQ(BTRCALL(kOpBeginTransaction, nullptr, nullptr, &len, nullptr, 0, 0), 0);
    {
        Table t(m_dir + "/A.BTR");
        EXPECT_EQ(t.Insert(MakeRecord("mine")), kFileLocked);
    }
    EXPECT_EQ(BTRCALL(kOpAbortTransaction, nullptr, nullptr, &len, nullptr, 0, 0), 0);
    peer.Send("commit");
    EXPECT_EQ(peer.ReadLine(), "done");
    EXPECT_EQ(WEXITSTATUS(peer.Wait()), 0);
    EXPECT_TRUE(Has("A.BTR", "held"));
}

TEST_P(RecmanProcessEngineTest, AWriterWaitsForTheOtherCommitWithinItsTimeout) {
    Peer peer({"hold", m_dir, "300"}, m_tmp);
    ASSERT_EQ(peer.ReadLine(), "ready");
    recman::SetBusyTimeout(20000);
    Table t(m_dir + "/A.BTR");
    EXPECT_EQ(t.Insert(MakeRecord("mine")), 0);  // returns once the peer has committed
    EXPECT_EQ(peer.ReadLine(), "done");
    peer.Wait();
    EXPECT_EQ(t.Scan(0), (std::vector<std::string>{"held", "mine"}));
}

TEST_P(RecmanProcessEngineTest, AScanSeesWhatAnotherProcessCommittedMeanwhile) {
    Table t(m_dir + "/A.BTR");
    for (int i = 0; i < 40; ++i) ASSERT_EQ(t.Insert(MakeRecord(std::to_string(100 + i))), 0);
    ASSERT_EQ(t.Call(kOpGetFirst, 0), 0);
    for (int i = 0; i < 6; ++i) ASSERT_EQ(t.Call(kOpGetNext, 0), 0);  // 107 is read ahead by now
    Peer peer({"note", m_dir, "107", "from the other desk"}, m_tmp);
    ASSERT_EQ(peer.ReadLine(), "noted");
    ASSERT_EQ(WEXITSTATUS(peer.Wait()), 0);
    ASSERT_EQ(t.Call(kOpGetNext, 0), 0);
    EXPECT_STREQ(t.Rec().id, "107");
    EXPECT_STREQ(t.Rec().note, "from the other desk");
}

// A save that batches its writes and updates a record another process deleted after it was
// read fails whole, at the latest at its commit, as one that writes at once does.
TEST_P(RecmanProcessEngineTest, ABatchedSaveOfARecordDeletedMeanwhileFailsWhole) {
    Table a(m_dir + "/A.BTR"), b(m_dir + "/B.BTR");
    ASSERT_EQ(a.Insert(MakeRecord("keep", "g", 1, "stored")), 0);
    ASSERT_EQ(a.Call(kOpGetEqual, 0, "keep"), 0);
    Peer peer({"remove", m_dir, "keep"}, m_tmp);
    ASSERT_EQ(peer.ReadLine(), "removed");
    ASSERT_EQ(WEXITSTATUS(peer.Wait()), 0);
    uint32_t len = 0;
    const auto tx = [&](uint16_t op) { return BTRCALL(op, nullptr, nullptr, &len, nullptr, 0, 0); };
    ASSERT_EQ(tx(kOpBeginTransaction), 0);
    recman::BatchTransactionWrites();
    int status = b.Insert(MakeRecord("b1"));
    if (status == 0) status = a.Update(MakeRecord("keep", "g", 1, "lost"));
    if (status == 0) status = tx(kOpEndTransaction);
    EXPECT_EQ(status, kInvalidPositioning);
    tx(kOpAbortTransaction);
    EXPECT_TRUE(b.Scan(0).empty());
    EXPECT_TRUE(a.Scan(0).empty());
}

TEST_P(RecmanProcessEngineTest, AFileReadAndClosedShowsAnotherProcessCommitOnReopening) {
    {
        Table t(m_dir + "/A.BTR");
        ASSERT_EQ(t.Insert(MakeRecord("107")), 0);
    }
    {
        Table t(m_dir + "/A.BTR");
        ASSERT_EQ(t.Call(kOpGetEqual, 0, "107"), 0);
        EXPECT_STREQ(t.Rec().note, "");
    }
    Peer peer({"note", m_dir, "107", "from the other desk"}, m_tmp);
    ASSERT_EQ(peer.ReadLine(), "noted");
    ASSERT_EQ(WEXITSTATUS(peer.Wait()), 0);
    Table t(m_dir + "/A.BTR");
    ASSERT_EQ(t.Call(kOpGetEqual, 0, "107"), 0);
    EXPECT_STREQ(t.Rec().note, "from the other desk");
}

TEST_P(RecmanProcessEngineTest, AClientKilledInTheMiddleOfItsTransactionLeavesNothingAndHoldsNothing) {
    {
        Peer peer({"pending", m_dir, "lost"}, m_tmp);
        ASSERT_EQ(peer.ReadLine(), "ready");
        peer.Signal(SIGKILL);
        ASSERT_TRUE(WIFSIGNALED(peer.Wait()));
    }
    for (const char* name : {"A.BTR", "B.BTR", "C.BTR"}) EXPECT_FALSE(Has(name, "lost")) << name;
    // Its writes' locks went with it: writing the same files does not wait them out.
    recman::SetBusyTimeout(3000);
    uint32_t len = 0;
    ASSERT_EQ(BTRCALL(kOpBeginTransaction, nullptr, nullptr, &len, nullptr, 0, 0), 0);
    for (const char* name : {"A.BTR", "B.BTR", "C.BTR"}) {
        Table t(m_dir + "/" + name);
        EXPECT_EQ(t.Insert(MakeRecord("lost")), 0) << name;
    }
    ASSERT_EQ(BTRCALL(kOpEndTransaction, nullptr, nullptr, &len, nullptr, 0, 0), 0);
    for (const char* name : {"A.BTR", "B.BTR", "C.BTR"}) {
        Table t(m_dir + "/" + name);
        EXPECT_EQ(t.Scan(0), (std::vector<std::string>{"lost"})) << name;
        ASSERT_EQ(t.Call(kOpGetEqual, 0, "lost"), 0);
        EXPECT_STREQ(t.Rec().group, "") << "the killed client's record under the same key";
    }
}

// Kills a peer's commit across A, B and C at every file event in turn until one commits,
// checking after each kill that every transaction so far is wholly in all three files or
// in none. wipeTemporaryFolder: the peer's temporary folder is emptied after each kill, as
// a reboot does, and as it looks from another workstation that recovers the files. After
// each kill this process opens the folder afresh, through a file the commit does not touch,
// which removes the killed process's working file and super-journal once what it left half
// committed is rolled back.
void KillCommitsAtEveryPoint(const std::string& dir, const std::string& tmp, bool wipeTemporaryFolder,
                             const std::function<bool(const std::string&, const std::string&)>& has) {
    int killed = 0;
    bool committed = false;
    std::vector<std::string> tags;
    for (int point = 1; point < 400 && !committed; ++point) {
        const std::string tag = "t" + std::to_string(point);
        tags.push_back(tag);
        Peer peer({"crash", dir, tag, std::to_string(point)}, tmp);
        const std::string line = peer.ReadLine();
        const int status = peer.Wait();
        if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) {
            ++killed;
        } else {
            ASSERT_EQ(line, "committed");
            committed = true;
        }
        if (wipeTemporaryFolder) {
            std::filesystem::remove_all(tmp);
            std::filesystem::create_directory(tmp);
        }
        recman::Shutdown();
        ASSERT_EQ(Table(dir + "/D.BTR").OpenStatus(), kOk);
        EXPECT_EQ(WorkingFiles(dir).size(), 1u) << "this process's own only, after a kill at " << point;
        for (const std::string& t : tags) {
            const int in = int(has("A.BTR", t)) + int(has("B.BTR", t)) + int(has("C.BTR", t));
            ASSERT_TRUE(in == 0 || in == 3) << t << " is in " << in << " files after a kill at " << point;
        }
    }
    EXPECT_TRUE(committed);
    EXPECT_GT(killed, 10);
    EXPECT_TRUE(has("A.BTR", tags.back()));
    for (const char* name : {"A.BTR", "B.BTR", "C.BTR"}) {
        std::string report;
        EXPECT_EQ(recman::CheckFile(dir + "/" + name, &report), kOk) << report;
    }
}

TEST_F(RecmanProcessTest, CommitKilledAtAnyPointLeavesAllFilesBeforeOrAllAfter) {
    // A process held in the middle of its commit is alive: opening the folder meanwhile
    // leaves its working file and super-journal alone, and its commit ends whole.
    {
        Peer stalled({"stall", m_dir, "live"}, m_tmp);
        ASSERT_EQ(stalled.ReadLine(), "stalled");
        const std::vector<std::string> itsFiles = WorkingFiles(m_dir);
        ASSERT_EQ(itsFiles.size(), 2u);
        ASSERT_EQ(Table(m_dir + "/D.BTR").OpenStatus(), kOk);
        for (const std::string& name : itsFiles) EXPECT_TRUE(std::filesystem::exists(m_dir + "/" + name)) << name;
        stalled.Send("go on");
        EXPECT_EQ(stalled.ReadLine(), "committed");
        EXPECT_EQ(WEXITSTATUS(stalled.Wait()), 0);
    }
    for (const char* name : {"A.BTR", "B.BTR", "C.BTR"}) EXPECT_TRUE(Has(name, "live")) << name;
    // A check of a file this process already has open, made while another process is in
    // the middle of committing to it, cannot read it: it says the file is locked and never
    // calls a file it could not check sound.
    {
        ASSERT_EQ(Table(m_dir + "/A.BTR").OpenStatus(), kOk);
        Peer stalled({"stall", m_dir, "checked"}, m_tmp);
        ASSERT_EQ(stalled.ReadLine(), "stalled");
        recman::SetBusyTimeout(50);
        std::string report;
        EXPECT_EQ(recman::CheckFile(m_dir + "/A.BTR", &report), recman::kFileLocked) << report;
        recman::SetBusyTimeout(5000);
        stalled.Send("go on");
        EXPECT_EQ(stalled.ReadLine(), "committed");
        EXPECT_EQ(WEXITSTATUS(stalled.Wait()), 0);
        EXPECT_EQ(recman::CheckFile(m_dir + "/A.BTR", &report), kOk) << report;
    }
    KillCommitsAtEveryPoint(m_dir, m_tmp, false,
                            [&](const std::string& file, const std::string& id) { return Has(file, id); });
}

TEST_F(RecmanProcessTest, CommitKilledAtAnyPointStaysWholeWhenTheKilledProcessTemporaryFolderIsGone) {
    KillCommitsAtEveryPoint(m_dir, m_tmp, true,
                            [&](const std::string& file, const std::string& id) { return Has(file, id); });
}

// Peers move amounts between the "acct" records of A, B and C and log each move in LOG,
// one transaction each, and are killed at random while this process opens the files
// afresh again and again, as programs starting up do.
TEST_P(RecmanProcessEngineTest, OpensWhilePeersCommitAndGetKilledFindSoundFilesAndWholeMoves) {
    ASSERT_EQ(recman_test::CreateTestFile(m_dir + "/LOG.BTR"), 0);
    for (const char* name : {"A.BTR", "B.BTR", "C.BTR"}) {
        Table t(m_dir + "/" + name);
        ASSERT_EQ(t.Insert(MakeRecord("acct", "", 1000)), 0);
    }
    recman::Shutdown();

    int nextPeer = 1;
    const auto startPeer = [&] {
        auto peer = std::make_unique<Peer>(std::vector<std::string>{"move", m_dir, std::to_string(nextPeer++)}, m_tmp);
        EXPECT_EQ(peer->ReadLine(), "opened");
        return peer;
    };
    std::vector<std::unique_ptr<Peer>> peers;
    for (int i = 0; i < 2; ++i) peers.push_back(startPeer());
    // No waiting: this process meets the peers' locks as often as it can, and such an open
    // must say the file is locked, never that it is not a table file.
    recman::SetBusyTimeout(0);
    std::mt19937 rng(20240611);
    int opens = 0, kills = 0;
    // At least 300 rounds, and on until the peers have logged 100 moves: a peer on the
    // server spends longer connecting before its first move.
    uint32_t logged = 0;
    for (int round = 0; round < 3000 && (round < 300 || logged <= 100); ++round) {
        for (const char* name : {"A.BTR", "B.BTR", "C.BTR", "LOG.BTR"}) {
            Table t(m_dir + "/" + name);
            ++opens;
            ASSERT_TRUE(t.OpenStatus() == kOk || t.OpenStatus() == kFileLocked)
                << name << ": status " << t.OpenStatus() << " on open " << opens << " " << recman::LastErrorText();
            if (round % 50 == 49 && t.OpenStatus() == kOk && t.Call(kOpStat, 0) == kOk) {
                FileSpec spec;
                std::memcpy(&spec, &t.Rec(), sizeof spec);
                logged = spec.recordCount;
            }
        }
        recman::Shutdown();
        if (rng() % 2 == 0) {
            auto& victim = peers[rng() % peers.size()];
            victim->Signal(SIGKILL);
            const int status = victim->Wait();
            ASSERT_TRUE(WIFSIGNALED(status)) << "a peer ended by itself: " << victim->ReadLine();
            ++kills;
            victim = startPeer();
        }
    }
    for (auto& peer : peers) {
        peer->Signal(SIGKILL);
        peer->Wait();
    }
    recman::SetBusyTimeout(5000);
    EXPECT_GT(kills, 100);

    // The next process to open the folder removes what the killed ones left behind.
    ASSERT_EQ(Table(m_dir + "/A.BTR").OpenStatus(), kOk);
    EXPECT_EQ(WorkingFiles(m_dir).size(), OnServer() ? 0u : 1u);
    // Every move is whole: each balance is its start plus what the log says came in and
    // went out.
    std::map<char, int> expected{{'A', 1000}, {'B', 1000}, {'C', 1000}};
    int moves = 0;
    {
        Table log(m_dir + "/LOG.BTR");
        for (int st = log.Call(kOpGetFirst, 0); st == 0; st = log.Call(kOpGetNext, 0), ++moves) {
            --expected[log.Rec().group[0]];
            ++expected[log.Rec().group[1]];
        }
    }
    EXPECT_GT(moves, 100);
    for (const auto& [letter, balance] : expected) {
        Table t(m_dir + "/" + std::string(1, letter) + ".BTR");
        ASSERT_EQ(t.Call(kOpGetEqual, 0, "acct"), 0);
        EXPECT_EQ(t.Rec().number, balance) << letter;
    }
    for (const char* name : {"A.BTR", "B.BTR", "C.BTR", "LOG.BTR"}) {
        std::string report;
        EXPECT_EQ(recman::CheckFile(m_dir + "/" + name, &report), kOk) << name << ": " << report;
    }
}

// A server killed outright (every process of it, as a crash of its machine would) while a
// client commits transaction after transaction, then started again: every commit the
// client was told of is there, in all three tables, and nothing is there in part.
TEST(RecmanServerCrashTest, EveryAcknowledgedCommitSurvivesAndNoneIsHalf) {
    CTestServer& server = CTestServer::Get();
    ASSERT_TRUE(server.Error().empty()) << server.Error();
    std::string pattern = "/tmp/recman-crash-XXXXXX";
    const std::string dir = mkdtemp(pattern.data());
    ASSERT_FALSE(server.UseIn(dir).empty());
    for (const char* name : {"A.BTR", "B.BTR", "C.BTR"}) ASSERT_EQ(recman_test::CreateTestFile(dir + "/" + name), 0);

    int acknowledged = 0;
    std::string last;
    {
        Peer peer({"stream", dir}, dir);
        for (int i = 0; i < 200; ++i) {
            last = peer.ReadLine();
            ASSERT_EQ(last, "committed " + std::to_string(i + 1));
            acknowledged = i + 1;
        }
        server.Crash();
        for (last = peer.ReadLine(); last.rfind("committed ", 0) == 0; last = peer.ReadLine())
            acknowledged = std::stoi(last.substr(10));
        peer.Wait();
    }
    EXPECT_EQ(last.rfind("failed ", 0), 0u) << last;
    ASSERT_TRUE(server.Restart()) << server.Error();

    recman::Shutdown();
    std::map<std::string, int> seen;
    for (const char* name : {"A.BTR", "B.BTR", "C.BTR"}) {
        Table t(dir + "/" + name);
        ASSERT_EQ(t.OpenStatus(), kOk) << recman::LastErrorText();
        for (const std::string& tag : t.Scan(0)) ++seen[tag];
    }
    for (int n = 1; n <= acknowledged; ++n) EXPECT_EQ(seen["s" + std::to_string(n)], 3) << "commit " << n;
    for (const auto& [tag, tables] : seen) EXPECT_EQ(tables, 3) << tag << " is in " << tables << " tables";
    // At most the commit that was on its way when the server died, besides those acknowledged.
    EXPECT_LE(seen.size(), size_t(acknowledged) + 1);
    recman::Shutdown();
    std::filesystem::remove_all(dir);
}

// The server's change source tells this process of other processes' commits to the tables
// it watches, and of nothing else: not of its own commits, not of tables it does not watch,
// not of a transaction that was never committed.
TEST(RecmanServerChangeSourceTest, ReportsOtherSessionsCommitsToWatchedTablesOnly) {
    CTestServer& server = CTestServer::Get();
    ASSERT_TRUE(server.Error().empty()) << server.Error();
    std::string pattern = "/tmp/recman-changes-XXXXXX";
    const std::string dir = mkdtemp(pattern.data());
    const std::string conninfo = server.UseIn(dir);
    ASSERT_FALSE(conninfo.empty());
    for (const char* name : {"A.BTR", "B.BTR", "C.BTR"}) ASSERT_EQ(recman_test::CreateTestFile(dir + "/" + name), 0);
    const std::string a = dir + "/A.BTR", b = dir + "/B.BTR";
    {
        Table t(a);
        ASSERT_EQ(t.Insert(MakeRecord("107")), 0);
    }
    recman::CServerChangeSource source(dir);
    ASSERT_EQ(source.Watch(a), kOk);
    ASSERT_EQ(source.Watch(b), kOk);
    std::vector<std::string> changed;
    // Polls until something is reported, for ten seconds at most.
    const auto waitForReport = [&] {
        changed.clear();
        for (int i = 0; i < 1000 && changed.empty(); ++i) {
            source.Poll(&changed);
            if (changed.empty()) usleep(10000);
        }
    };

    // This process's own commit comes back in the round trip of the commit, and is dropped.
    {
        Table t(b);
        ASSERT_EQ(t.Insert(MakeRecord("mine")), 0);
    }
    source.Poll(&changed);
    EXPECT_TRUE(changed.empty());

    // A transaction killed before its commit notifies nobody; the next commit of another
    // process, to A, is what is reported.
    {
        Peer pending({"pending", dir, "lost"}, dir);
        ASSERT_EQ(pending.ReadLine(), "ready");
        pending.Signal(SIGKILL);
        pending.Wait();
    }
    Peer note({"note", dir, "107", "from the other desk"}, dir);
    ASSERT_EQ(note.ReadLine(), "noted");
    note.Wait();
    waitForReport();
    EXPECT_EQ(changed, (std::vector<std::string>{a}));
    changed.clear();
    source.Poll(&changed);
    EXPECT_TRUE(changed.empty()) << "reported once";

    // A lost connection: what happened meanwhile is unknown, so every watched table is
    // reported, once when the loss is seen and once more when a new connection is made.
    changed.clear();
    EXPECT_EQ(server.Execute(conninfo, "SELECT pg_terminate_backend(pid) FROM pg_stat_activity"
                                       " WHERE datname = current_database() AND pid <> pg_backend_pid()"),
              "");
    waitForReport();
    EXPECT_EQ(changed, (std::vector<std::string>{a, b}));
    changed.clear();
    source.Poll(&changed);
    EXPECT_TRUE(changed.empty());
    EXPECT_EQ(Table(a).Scan(0), (std::vector<std::string>{"107"}));
    source.Poll(&changed);
    EXPECT_EQ(changed, (std::vector<std::string>{a, b}));
    recman::Shutdown();
    std::filesystem::remove_all(dir);
}

// What the server engine keeps in the process: a small table (a master) whole, and the rows
// of a large one that were found by a unique key. A transaction's lookups of kept rows cost
// no round trip beyond the transaction's own BEGIN and COMMIT, yet a transaction begun after
// another process's commit reads that commit, notified or not yet, and so does a read
// outside a transaction.
class RecmanServerCacheTest : public ::testing::TestWithParam<bool> {
protected:
    // Thirty rows: a table kept whole, or (with at most eight rows kept whole) a large one.
    void SetUp() override { recman::testing::SetServerCacheRows(GetParam() ? -1 : 8); }
    void TearDown() override {
        recman::testing::SetServerCacheRows(-1);
        recman::testing::SetServerNotificationsHeldBack(false);
    }
};

INSTANTIATE_TEST_SUITE_P(, RecmanServerCacheTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "KeptWhole" : "KeptByKey");
                         });

// A program that starts reads the small tables it opens (the masters) together: the
// layouts of every table with the first open, their rows with the first read.
TEST(RecmanServerStartTest, SmallTablesAreReadTogetherAtTheFirstRead) {
    CTestServer& server = CTestServer::Get();
    ASSERT_TRUE(server.Error().empty()) << server.Error();
    std::string pattern = "/tmp/recman-start-XXXXXX";
    const std::string dir = mkdtemp(pattern.data());
    ASSERT_FALSE(server.UseIn(dir).empty());
    const std::vector<std::string> names = {"A.BTR", "B.BTR", "C.BTR", "D.BTR"};
    for (const std::string& name : names) {
        ASSERT_EQ(recman_test::CreateTestFile(dir + "/" + name), 0);
        Table t(dir + "/" + name);
        for (int i = 0; i < 3; ++i) ASSERT_EQ(t.Insert(MakeRecord(name + std::to_string(i))), 0);
    }
    recman::Shutdown();
    {
        std::vector<std::unique_ptr<Table>> tables;
        const uint64_t beforeOpen = recman::RoundTrips();
        for (const std::string& name : names) {
            tables.push_back(std::make_unique<Table>(dir + "/" + name));
            ASSERT_EQ(tables.back()->OpenStatus(), 0);
        }
        EXPECT_LE(recman::RoundTrips() - beforeOpen, 2u) << "connect, and every layout";
        const uint64_t beforeRead = recman::RoundTrips();
        for (size_t i = 0; i < names.size(); ++i) {
            ASSERT_EQ(tables[i]->Call(kOpGetFirst, 0), 0);
            EXPECT_EQ(std::string(tables[i]->Rec().id), names[i] + "0");
        }
        EXPECT_EQ(recman::RoundTrips() - beforeRead, 1u) << "every small table at once";
    }
    recman::Shutdown();
    std::filesystem::remove_all(dir);
}

TEST_P(RecmanServerCacheTest, LookupsOfKeptRowsCostNothingAndStillSeeOtherCommits) {
    CTestServer& server = CTestServer::Get();
    ASSERT_TRUE(server.Error().empty()) << server.Error();
    std::string pattern = "/tmp/recman-cache-XXXXXX";
    const std::string dir = mkdtemp(pattern.data());
    ASSERT_FALSE(server.UseIn(dir).empty());
    const std::string a = dir + "/A.BTR";
    ASSERT_EQ(recman_test::CreateTestFile(a), 0);
    std::vector<std::string> ids;
    {
        Table t(a);
        for (int i = 0; i < 30; ++i) {
            ids.push_back("m" + std::to_string(100 + i));
            ASSERT_EQ(t.Insert(MakeRecord(ids.back(), "", i, "first")), 0);
        }
    }
    uint32_t len = 0;
    const auto tx = [&](uint16_t op) { return BTRCALL(op, nullptr, nullptr, &len, nullptr, 0, 0); };
    Table t(a);
    const auto lookUpAll = [&] {
        ASSERT_EQ(tx(kOpBeginTransaction), 0);
        for (const std::string& id : ids) ASSERT_EQ(t.Call(kOpGetEqual, 0, id), 0) << id;
        ASSERT_EQ(tx(kOpEndTransaction), 0);
    };
    // Rows asked for together are read together, whatever their number (once the process
    // knows whether the table is kept whole).
    ASSERT_EQ(t.Call(kOpGetEqual, 0, ids.back()), 0);
    std::vector<std::string> keys;
    for (size_t i = 0; i < 12; ++i) keys.push_back(ids[i] + std::string(11 - ids[i].size(), '\0'));
    ASSERT_EQ(tx(kOpBeginTransaction), 0);
    const uint64_t beforePrefetch = recman::RoundTrips();
    ASSERT_EQ(recman::PrefetchEqual(t.Block(), 0, keys), 0);
    for (size_t i = 0; i < 12; ++i) ASSERT_EQ(t.Call(kOpGetEqual, 0, ids[i]), 0) << ids[i];
    EXPECT_EQ(recman::RoundTrips() - beforePrefetch, 1u) << "read with the BEGIN";
    EXPECT_STREQ(t.Rec().note, "first");
    ASSERT_EQ(tx(kOpEndTransaction), 0);

    // A scan told how many rows to expect reads them at once.
    ASSERT_EQ(recman::ExpectRows(t.Block(), 32), 0);
    const uint64_t beforeScan = recman::RoundTrips();
    size_t scanned = 0;
    for (int st = t.Call(kOpGetGreaterOrEqual, 0, ids.front()); st == 0; st = t.Call(kOpGetNext, 0))
        ++scanned;
    EXPECT_EQ(scanned, ids.size());
    EXPECT_LE(recman::RoundTrips() - beforeScan, 2u) << "the rows, and the end";

    lookUpAll();
    const uint64_t before = recman::RoundTrips();
    lookUpAll();
    EXPECT_EQ(recman::RoundTrips() - before, 2u) << "BEGIN and COMMIT only";

    const auto note = [&](const std::string& id, const std::string& text) {
        Peer peer({"note", dir, id, text}, dir);
        ASSERT_EQ(peer.ReadLine(), "noted");
        peer.Wait();
    };
    note("m107", "second");
    ASSERT_EQ(tx(kOpBeginTransaction), 0);
    ASSERT_EQ(t.Call(kOpGetEqual, 0, "m107"), 0);
    EXPECT_STREQ(t.Rec().note, "second");
    ASSERT_EQ(tx(kOpEndTransaction), 0);

    note("m108", "third");
    ASSERT_EQ(t.Call(kOpGetEqual, 0, "m108"), 0);
    EXPECT_STREQ(t.Rec().note, "third");

    // This process's own commit is taken into what is kept: read again at no cost, and still
    // checked against the next commit of another process.
    lookUpAll();
    ASSERT_EQ(tx(kOpBeginTransaction), 0);
    ASSERT_EQ(t.Call(kOpGetEqual, 0, "m105"), 0);
    ASSERT_EQ(t.Update(MakeRecord("m105", "", 5, "own")), 0);
    ASSERT_EQ(tx(kOpEndTransaction), 0);
    const uint64_t afterOwn = recman::RoundTrips();
    lookUpAll();
    EXPECT_EQ(recman::RoundTrips() - afterOwn, 2u) << "BEGIN and COMMIT only";
    ASSERT_EQ(tx(kOpBeginTransaction), 0);
    ASSERT_EQ(t.Call(kOpGetEqual, 0, "m105"), 0);
    EXPECT_STREQ(t.Rec().note, "own");
    ASSERT_EQ(tx(kOpEndTransaction), 0);
    note("m105", "fourth");
    ASSERT_EQ(tx(kOpBeginTransaction), 0);
    ASSERT_EQ(t.Call(kOpGetEqual, 0, "m105"), 0);
    EXPECT_STREQ(t.Rec().note, "fourth");
    ASSERT_EQ(tx(kOpEndTransaction), 0);

    // Another process's commit whose notification has not come yet still shows: the
    // transaction's snapshot tells that someone else has been at work.
    lookUpAll();
    recman::testing::SetServerNotificationsHeldBack(true);
    note("m106", "fifth");
    const uint64_t unnotified = recman::RoundTrips();
    ASSERT_EQ(tx(kOpBeginTransaction), 0);
    ASSERT_EQ(t.Call(kOpGetEqual, 0, "m106"), 0);
    EXPECT_STREQ(t.Rec().note, "fifth");
    ASSERT_EQ(tx(kOpEndTransaction), 0);
    EXPECT_LE(recman::RoundTrips() - unnotified, 4u);
    recman::testing::SetServerNotificationsHeldBack(false);
    t.Close();
    recman::Shutdown();
    std::filesystem::remove_all(dir);
}

}  // namespace
