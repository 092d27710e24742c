// The change watch: another process's commits are reported, each once, and this process's
// own are not, also when the two follow each other closely; an open transaction elsewhere
// is neither waited for nor reported; replaced and removed files are noticed; a folder whose
// tables are on a server goes to the server's change source and never to the files.
#include "recman/changes.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "recman/recman.h"
#include "recman/tests/testfile.h"
#include "suite/testsupport/peerprocess.h"

using namespace recman;
using recman_test::MakeRecord;
using recman_test::Table;

namespace {

using Paths = std::vector<std::string>;

class Peer : public CPeerProcess {
public:
    Peer(std::vector<std::string> args, const std::string& tmpdir)
        : CPeerProcess(RECMAN_PEER, std::move(args), {{"TMPDIR", tmpdir}}) {}
};

int Tx(uint16_t op) {
    uint32_t len = 0;
    return BTRCALL(op, nullptr, nullptr, &len, nullptr, 0, 0);
}

class ChangeWatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/recman-changes-XXXXXX";
        m_dir = mkdtemp(pattern);
        m_tmp = m_dir + "/tmp";
        std::filesystem::create_directory(m_tmp);
        for (const char* name : {"A.BTR", "B.BTR"})
            ASSERT_EQ(recman_test::CreateTestFile(m_dir + "/" + name), 0);
        Table a(A());
        ASSERT_EQ(a.Insert(MakeRecord("1")), 0);
    }
    void TearDown() override {
        SetServerChangeSourceFactory({});
        recman::Shutdown();
        std::filesystem::remove_all(m_dir);
    }
    std::string A() const { return m_dir + "/A.BTR"; }
    std::string B() const { return m_dir + "/B.BTR"; }
    // The peer sets the note of record 1 of A.BTR and commits.
    void PeerNotes(const std::string& text) {
        Peer peer({"note", m_dir, "1", text}, m_tmp);
        ASSERT_EQ(peer.ReadLine(), "noted");
        ASSERT_EQ(WEXITSTATUS(peer.Wait()), 0);
    }
    std::string m_dir, m_tmp;
};

TEST_F(ChangeWatchTest, ReportsAnotherProcessCommitsOnceAndNeverThisProcessOwn) {
    CChangeWatch watch;
    ASSERT_EQ(watch.Watch(A()), kOk);
    ASSERT_EQ(watch.Watch(B()), kOk);
    EXPECT_EQ(watch.Poll(), Paths{});

    // Own writes, on their own and in a transaction over both files.
    {
        Table a(A()), b(B());
        ASSERT_EQ(a.Insert(MakeRecord("2")), 0);
        EXPECT_EQ(watch.Poll(), Paths{});
        ASSERT_EQ(a.Call(kOpGetEqual, 0, "1"), 0);
        ASSERT_EQ(a.Update(MakeRecord("1", "", 0, "mine")), 0);
        ASSERT_EQ(a.Delete(), 0);
        EXPECT_EQ(watch.Poll(), Paths{});
        ASSERT_EQ(a.Insert(MakeRecord("1")), 0);
        ASSERT_EQ(Tx(kOpBeginTransaction), 0);
        ASSERT_EQ(a.Insert(MakeRecord("3")), 0);
        ASSERT_EQ(b.Insert(MakeRecord("3")), 0);
        ASSERT_EQ(Tx(kOpEndTransaction), 0);
        EXPECT_EQ(watch.Poll(), Paths{});
        // An aborted transaction changes nothing.
        ASSERT_EQ(Tx(kOpBeginTransaction), 0);
        ASSERT_EQ(b.Insert(MakeRecord("4")), 0);
        ASSERT_EQ(Tx(kOpAbortTransaction), 0);
        EXPECT_EQ(watch.Poll(), Paths{});
    }

    PeerNotes("from reception");
    EXPECT_EQ(watch.Poll(), Paths{A()});
    EXPECT_EQ(watch.Poll(), Paths{});

    // A write that finds its record gone changes nothing: it does not pass another
    // process's commit made before it for this process's own.
    {
        Table a(A()), other(A());
        ASSERT_EQ(a.Insert(MakeRecord("7")), 0);
        ASSERT_EQ(a.Call(kOpGetEqual, 0, "7"), 0);
        ASSERT_EQ(other.Call(kOpGetEqual, 0, "7"), 0);
        ASSERT_EQ(other.Delete(), 0);
        EXPECT_EQ(watch.Poll(), Paths{});
        PeerNotes("meanwhile");
        EXPECT_EQ(a.Update(MakeRecord("7", "", 0, "too late")), kInvalidPositioning);
        EXPECT_EQ(watch.Poll(), Paths{A()});
    }

    // Another process's commit right after this process's own, and right before it.
    {
        Table a(A());
        ASSERT_EQ(a.Insert(MakeRecord("5")), 0);
        PeerNotes("after ours");
        EXPECT_EQ(watch.Poll(), Paths{A()});
        PeerNotes("before ours");
        ASSERT_EQ(Tx(kOpBeginTransaction), 0);
        ASSERT_EQ(a.Insert(MakeRecord("6")), 0);
        ASSERT_EQ(Tx(kOpEndTransaction), 0);
        EXPECT_EQ(watch.Poll(), Paths{A()});
    }

    // A second watch in the same process sees the same: its own watches start from now.
    CChangeWatch later;
    ASSERT_EQ(later.Watch(A()), kOk);
    PeerNotes("for both");
    EXPECT_EQ(later.Poll(), Paths{A()});
    EXPECT_EQ(watch.Poll(), Paths{A()});
}

TEST_F(ChangeWatchTest, AnOpenTransactionElsewhereIsNotWaitedForAndItsCommitIsReported) {
    CChangeWatch watch;
    ASSERT_EQ(watch.Watch(A()), kOk);
    Peer peer({"hold", m_dir}, m_tmp);
    ASSERT_EQ(peer.ReadLine(), "ready");
    EXPECT_EQ(watch.Poll(), Paths{});
    peer.Send("commit");
    ASSERT_EQ(peer.ReadLine(), "done");
    ASSERT_EQ(WEXITSTATUS(peer.Wait()), 0);
    EXPECT_EQ(watch.Poll(), Paths{A()});
}

TEST_F(ChangeWatchTest, NoticesFilesReplacedRemovedAndPutBack) {
    CChangeWatch watch;
    EXPECT_EQ(watch.Watch(m_dir + "/NONE.BTR"), kFileNotFound);
    ASSERT_EQ(watch.Watch(A()), kOk);
    ASSERT_EQ(watch.Watch(B()), kOk);
    recman::Shutdown();

    // A copy put in its place, as a restore would: same counter or not, another file.
    std::filesystem::copy_file(A(), m_dir + "/copy");
    std::filesystem::rename(m_dir + "/copy", A());
    EXPECT_EQ(watch.Poll(), Paths{A()});

    std::filesystem::remove(B());
    EXPECT_EQ(watch.Poll(), Paths{B()});
    EXPECT_EQ(watch.Poll(), Paths{});
    ASSERT_EQ(recman_test::CreateTestFile(B()), 0);
    EXPECT_EQ(watch.Poll(), Paths{B()});
    EXPECT_EQ(watch.Poll(), Paths{});
}

// A server's change source as a test stands it in: what it was asked to watch, and the
// paths it reports on the next poll.
struct FakeServerSource : IChangeSource {
    std::vector<std::string>* watched;
    std::vector<std::string>* pending;
    int Watch(const std::string& path) override {
        watched->push_back(path);
        return kOk;
    }
    void Poll(std::vector<std::string>* changed) override {
        changed->insert(changed->end(), pending->begin(), pending->end());
        pending->clear();
    }
};

TEST_F(ChangeWatchTest, AServerFolderIsWatchedByTheServerSourceOnly) {
    const std::string server = m_dir + "/server";
    std::filesystem::create_directory(server);
    std::ofstream(server + "/velodb.conninfo") << "host=127.0.0.1 port=1 dbname=clinic\n";
    // Tables of that folder are not files the embedded engine writes: they are watched
    // through the server, and a server that cannot be reached is said, never passed over.
    {
        CChangeWatch watch;
        EXPECT_NE(watch.Watch(server + "/RESERVATION.BTR"), kOk);
        EXPECT_TRUE(watch.Poll().empty());
    }
    std::vector<std::string> folders, watched, pending;
    SetServerChangeSourceFactory([&](const std::string& folder) -> std::unique_ptr<IChangeSource> {
        folders.push_back(folder);
        auto source = std::make_unique<FakeServerSource>();
        source->watched = &watched;
        source->pending = &pending;
        return source;
    });
    CChangeWatch watch;
    ASSERT_EQ(watch.Watch(server + "/RESERVATION.BTR"), kOk);
    ASSERT_EQ(watch.Watch(server + "/MATERIAL.BTR"), kOk);
    ASSERT_EQ(watch.Watch(A()), kOk);  // a folder of files beside it keeps its own source
    EXPECT_EQ(folders, Paths{server});
    EXPECT_EQ(watched, (Paths{server + "/RESERVATION.BTR", server + "/MATERIAL.BTR"}));
    pending = {server + "/MATERIAL.BTR"};
    PeerNotes("on the files");
    Paths changed = watch.Poll();
    std::sort(changed.begin(), changed.end());
    EXPECT_EQ(changed, (Paths{A(), server + "/MATERIAL.BTR"}));
    SetServerChangeSourceFactory({});
}

}  // namespace
