// Behaviour of the record manager within one process: keys and their orders, cursor
// movement around writes and transactions on both engines; bad files, the attachment limit
// and the working file of the embedded engine.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <algorithm>
#include <fstream>
#include <set>

#include "recman/recman.h"
#include "recman/tests/testfile.h"
#include "recman/testsupport/testserver.h"

using namespace recman;
using recman_test::MakeRecord;
using recman_test::Record;
using recman_test::Table;

namespace {

class RecmanTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/recman-test-XXXXXX";
        m_dir = mkdtemp(pattern);
    }
    void TearDown() override {
        recman::Shutdown();
        std::filesystem::remove_all(m_dir);
    }
    // The table NAME in the test's folder, made on first use.
    std::string Path(const std::string& name) {
        const std::string p = m_dir + "/" + name;
        if (m_made.insert(name).second) {
            EXPECT_EQ(recman_test::CreateTestFile(p), 0);
        }
        return p;
    }
    std::string m_dir;
    std::set<std::string> m_made;
};

// The same behaviour from both engines: the folder of a server test names a fresh database
// of the test cluster.
class RecmanEngineTest : public RecmanTest, public ::testing::WithParamInterface<ETestEngine> {
protected:
    void SetUp() override {
        RecmanTest::SetUp();
        if (OnServer()) {
            ASSERT_FALSE(CTestServer::Get().UseIn(m_dir).empty()) << CTestServer::Get().Error();
        }
        recman::testing::SetServerCacheRows(GetParam() == ETestEngine::kServerUncached ? 0 : -1);
    }
    void TearDown() override {
        RecmanTest::TearDown();
        recman::testing::SetServerCacheRows(-1);
    }
    bool OnServer() const { return GetParam() != ETestEngine::kEmbedded; }
};

INSTANTIATE_TEST_SUITE_P(, RecmanEngineTest, ::testing::Values(ETestEngine::kEmbedded, ETestEngine::kServer,
                                           ETestEngine::kServerUncached),
                         TestEngineName);

TEST_P(RecmanEngineTest, DuplicatePrimaryKeyIsRefusedAndStoredRecordKept) {
    Table t(Path("A.BTR"));
    ASSERT_EQ(t.OpenStatus(), 0);
    ASSERT_EQ(t.Insert(MakeRecord("0001", "g", 1, "first")), 0);
    EXPECT_EQ(t.Insert(MakeRecord("0001", "h", 2, "second")), kDuplicateKey);
    ASSERT_EQ(t.Call(kOpGetEqual, 0, "0001"), 0);
    EXPECT_STREQ(t.Rec().note, "first");
    EXPECT_EQ(t.Scan(0).size(), 1u);
}

TEST_P(RecmanEngineTest, NextAfterDeleteContinuesAtTheFollowingRecord) {
    Table t(Path("A.BTR"));
    for (const char* id : {"01", "02", "03", "04"}) ASSERT_EQ(t.Insert(MakeRecord(id)), 0);
    ASSERT_EQ(t.Call(kOpGetEqual, 0, "02"), 0);
    ASSERT_EQ(t.Delete(), 0);
    ASSERT_EQ(t.Call(kOpGetNext, 0), 0);
    EXPECT_STREQ(t.Rec().id, "03");
    ASSERT_EQ(t.Call(kOpGetPrevious, 0), 0);
    EXPECT_STREQ(t.Rec().id, "01");
    // Deleting while scanning visits every record once.
    std::vector<std::string> seen;
    for (int st = t.Call(kOpGetFirst, 0); st == 0; st = t.Call(kOpGetNext, 0)) {
        seen.emplace_back(t.Rec().id);
        ASSERT_EQ(t.Delete(), 0);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"01", "03", "04"}));
    EXPECT_EQ(t.Call(kOpGetFirst, 0), kEndOfFile);
    EXPECT_EQ(t.Delete(), kInvalidPositioning);
}

TEST_P(RecmanEngineTest, DuplicatesComeBackInInsertionOrderBothWays) {
    Table t(Path("A.BTR"));
    for (const char* id : {"05", "01", "04", "02", "03"}) ASSERT_EQ(t.Insert(MakeRecord(id, "same")), 0);
    ASSERT_EQ(t.Insert(MakeRecord("09", "other")), 0);
    std::vector<std::string> ids;
    for (int st = t.Call(kOpGetEqual, 1, "same"); st == 0 && std::string(t.Rec().group) == "same";
         st = t.Call(kOpGetNext, 1))
        ids.emplace_back(t.Rec().id);
    EXPECT_EQ(ids, (std::vector<std::string>{"05", "01", "04", "02", "03"}));
    ids.clear();
    for (int st = t.Call(kOpGetLessOrEqual, 1, "same"); st == 0; st = t.Call(kOpGetPrevious, 1))
        ids.emplace_back(t.Rec().id);
    EXPECT_EQ(ids, (std::vector<std::string>{"03", "02", "04", "01", "05", "09"}));
}

TEST_P(RecmanEngineTest, EndsOfTheFileGiveEndOfFileAndMissingKeysNotFound) {
    Table t(Path("A.BTR"));
    EXPECT_EQ(t.Call(kOpGetFirst, 0), kEndOfFile);
    EXPECT_EQ(t.Call(kOpGetLast, 0), kEndOfFile);
    EXPECT_EQ(t.Call(kOpGetNext, 0), kInvalidPositioning);
    for (const char* id : {"B", "C"}) ASSERT_EQ(t.Insert(MakeRecord(id)), 0);
    EXPECT_EQ(t.Call(kOpGetEqual, 0, "A"), kKeyNotFound);
    EXPECT_EQ(t.Call(kOpGetLess, 0, "B"), kEndOfFile);
    EXPECT_EQ(t.Call(kOpGetLessOrEqual, 0, "A"), kEndOfFile);
    EXPECT_EQ(t.Call(kOpGetGreater, 0, "C"), kEndOfFile);
    ASSERT_EQ(t.Call(kOpGetFirst, 0), 0);
    EXPECT_EQ(t.Call(kOpGetPrevious, 0), kEndOfFile);
    ASSERT_EQ(t.Call(kOpGetLast, 0), 0);
    EXPECT_STREQ(t.Rec().id, "C");
    EXPECT_EQ(t.Call(kOpGetNext, 0), kEndOfFile);
    ASSERT_EQ(t.Call(kOpGetGreater, 0, "B"), 0);
    EXPECT_STREQ(t.Rec().id, "C");
    EXPECT_EQ(t.Call(kOpGetEqual, 7, "B"), kInvalidKeyNumber);
}

TEST_P(RecmanEngineTest, KeyOrdersFollowTheSegmentTypes) {
    Table t(Path("A.BTR"));
    ASSERT_EQ(t.Insert(MakeRecord("0930", "", 5)), 0);
    ASSERT_EQ(t.Insert(MakeRecord("0905", "", -3)), 0);
    ASSERT_EQ(t.Insert(MakeRecord("1000", "", 200)), 0);
    ASSERT_EQ(t.Insert(MakeRecord("09", "", -70000)), 0);
    EXPECT_EQ(t.Scan(0), (std::vector<std::string>{"09", "0905", "0930", "1000"}));
    EXPECT_EQ(t.Scan(2), (std::vector<std::string>{"09", "0905", "0930", "1000"}));
    // Bytes after a text key's terminator do not count.
    char key[12] = "0905";
    key[6] = 'x';
    ASSERT_EQ(t.Call(kOpGetEqual, 0, std::string(key, sizeof key)), 0);
    EXPECT_STREQ(t.Rec().id, "0905");
    ASSERT_EQ(t.CallInt(kOpGetGreaterOrEqual, 2, 0), 0);
    EXPECT_EQ(t.Rec().number, 5);
    int32_t back;
    std::memcpy(&back, t.Key(), 4);
    EXPECT_EQ(back, 5);
}

TEST_P(RecmanEngineTest, UpdateThatChangesAKeyMovesTheRecordInThatOrder) {
    Table t(Path("A.BTR"));
    for (auto [id, n] : {std::pair{"a", 1}, {"b", 2}, {"c", 3}}) ASSERT_EQ(t.Insert(MakeRecord(id, "", n)), 0);
    ASSERT_EQ(t.Call(kOpGetEqual, 0, "a"), 0);
    ASSERT_EQ(t.Update(MakeRecord("a", "", 10)), 0);
    EXPECT_EQ(t.Scan(2), (std::vector<std::string>{"b", "c", "a"}));
    // A changed primary key that collides is refused and changes nothing.
    ASSERT_EQ(t.Call(kOpGetEqual, 0, "b"), 0);
    EXPECT_EQ(t.Update(MakeRecord("c", "", 2)), kDuplicateKey);
    EXPECT_EQ(t.Update(MakeRecord("x")), 0);  // still positioned on b
    EXPECT_EQ(t.Scan(0), (std::vector<std::string>{"a", "c", "x"}));
    EXPECT_EQ(t.Update(MakeRecord("y")), kInvalidPositioning);  // the scan ran off the end
    ASSERT_EQ(t.Call(kOpGetPrevious, 0), 0);
    EXPECT_STREQ(t.Rec().id, "x");
    EXPECT_EQ(t.Scan(0), (std::vector<std::string>{"a", "c", "x"}));
}

TEST_P(RecmanEngineTest, AbortRestoresEveryFileTheTransactionTouched) {
    Table a(Path("A.BTR")), b(Path("B.BTR")), c(Path("C.BTR"));
    ASSERT_EQ(a.Insert(MakeRecord("keep")), 0);
    uint32_t len = 0;
    ASSERT_EQ(BTRCALL(kOpBeginTransaction, nullptr, nullptr, &len, nullptr, 0, 0), 0);
    EXPECT_TRUE(recman::InTransaction());
    EXPECT_EQ(BTRCALL(kOpBeginTransaction, nullptr, nullptr, &len, nullptr, 0, 0), kTransactionActive);
    ASSERT_EQ(a.Insert(MakeRecord("new")), 0);
    ASSERT_EQ(b.Insert(MakeRecord("new")), 0);
    ASSERT_EQ(c.Insert(MakeRecord("new")), 0);
    ASSERT_EQ(a.Call(kOpGetEqual, 0, "keep"), 0);
    ASSERT_EQ(a.Delete(), 0);
    EXPECT_EQ(a.Scan(0), (std::vector<std::string>{"new"}));  // our own writes are visible
    ASSERT_EQ(BTRCALL(kOpAbortTransaction, nullptr, nullptr, &len, nullptr, 0, 0), 0);
    EXPECT_EQ(a.Scan(0), (std::vector<std::string>{"keep"}));
    EXPECT_TRUE(b.Scan(0).empty());
    EXPECT_TRUE(c.Scan(0).empty());
    EXPECT_EQ(BTRCALL(kOpEndTransaction, nullptr, nullptr, &len, nullptr, 0, 0), kNoTransaction);

    // A table the server makes inside a transaction goes with its abort, also from what this
    // process knew of it; the embedded engine makes none inside one.
    const std::string d = m_dir + "/D.BTR";
    ASSERT_EQ(BTRCALL(kOpBeginTransaction, nullptr, nullptr, &len, nullptr, 0, 0), 0);
    if (OnServer()) {
        ASSERT_EQ(recman_test::CreateTestFile(d), 0);
        Table made(d);
        ASSERT_EQ(made.Insert(MakeRecord("made")), 0);
        EXPECT_EQ(made.Scan(0), (std::vector<std::string>{"made"}));
    } else {
        EXPECT_EQ(recman_test::CreateTestFile(d), kTransactionActive);
    }
    ASSERT_EQ(BTRCALL(kOpAbortTransaction, nullptr, nullptr, &len, nullptr, 0, 0), 0);
    EXPECT_EQ(Table(d).OpenStatus(), kFileNotFound);
    ASSERT_EQ(recman_test::CreateTestFile(d), 0);
    EXPECT_TRUE(Table(d).Scan(0).empty());
}

// A save that batches its writes reads them back, positions on them and commits them as a
// save that writes at once does; a key taken fails the save, at the latest at its commit,
// and leaves nothing behind.
TEST_P(RecmanEngineTest, BatchedWritesActAsImmediateOnesAndFailTheWholeSave) {
    Table t(Path("A.BTR")), other(Path("B.BTR"));
    ASSERT_EQ(t.Insert(MakeRecord("keep", "g", 1, "stored")), 0);
    uint32_t len = 0;
    const auto tx = [&](uint16_t op) { return BTRCALL(op, nullptr, nullptr, &len, nullptr, 0, 0); };

    ASSERT_EQ(tx(kOpBeginTransaction), 0);
    recman::BatchTransactionWrites();
    ASSERT_EQ(t.Insert(MakeRecord("new", "g", 2, "first")), 0);
    ASSERT_EQ(t.Call(kOpGetPosition, 0), 0);
    uint32_t position;
    std::memcpy(&position, &t.Rec(), 4);
    ASSERT_EQ(t.Update(MakeRecord("new", "g", 2, "changed")), 0);
    ASSERT_EQ(other.Insert(MakeRecord("gone")), 0);
    ASSERT_EQ(other.Delete(), 0);
    ASSERT_EQ(other.Insert(MakeRecord("b1")), 0);
    ASSERT_EQ(t.Call(kOpGetPrevious, 0), 0);  // from the inserted record on
    EXPECT_STREQ(t.Rec().id, "keep");
    ASSERT_EQ(t.Call(kOpGetNext, 0), 0);
    EXPECT_STREQ(t.Rec().note, "changed");
    std::memcpy(&t.Rec(), &position, 4);
    ASSERT_EQ(t.Call(kOpGetDirect, 0), 0);
    EXPECT_STREQ(t.Rec().note, "changed");
    ASSERT_EQ(tx(kOpEndTransaction), 0);
    EXPECT_EQ(t.Scan(0), (std::vector<std::string>{"keep", "new"}));
    EXPECT_EQ(other.Scan(0), (std::vector<std::string>{"b1"}));
    std::memcpy(&t.Rec(), &position, 4);
    ASSERT_EQ(t.Call(kOpGetDirect, 0), 0);
    EXPECT_STREQ(t.Rec().note, "changed");

    // A key another record holds: the insert or a later call of the save says so.
    ASSERT_EQ(tx(kOpBeginTransaction), 0);
    recman::BatchTransactionWrites();
    int status = other.Insert(MakeRecord("b2"));
    if (status == 0) status = t.Insert(MakeRecord("keep", "h", 3));
    if (status == 0) status = other.Insert(MakeRecord("b3"));
    if (status == 0) status = tx(kOpEndTransaction);
    EXPECT_EQ(status, kDuplicateKey);
    tx(kOpAbortTransaction);
    EXPECT_EQ(other.Scan(0), (std::vector<std::string>{"b1"}));
    EXPECT_EQ(t.Scan(0), (std::vector<std::string>{"keep", "new"}));
}

TEST_F(RecmanTest, AFileClosedInsideItsOwnTransactionIsReusedAfterTheCommit) {
    const std::string path = Path("A.BTR");
    uint32_t len = 0;
    ASSERT_EQ(BTRCALL(kOpBeginTransaction, nullptr, nullptr, &len, nullptr, 0, 0), 0);
    {
        Table a(path);
        ASSERT_EQ(a.Insert(MakeRecord("one")), 0);
    }
    ASSERT_EQ(BTRCALL(kOpEndTransaction, nullptr, nullptr, &len, nullptr, 0, 0), 0);
    // The commit changed the file after its close; that change is this process's own, so
    // the kept attachment (page cache, statements, mapping) serves the next open.
    const uint64_t attached = recman::testing::AttachmentsMade();
    {
        Table a(path);
        EXPECT_EQ(a.Scan(0), (std::vector<std::string>{"one"}));
    }
    EXPECT_EQ(recman::testing::AttachmentsMade(), attached);

    // A change made behind the kept file's back (here: the file copied over) is still
    // noticed and the file attached afresh.
    const std::string copy = Path("B.BTR");
    {
        Table b(copy);
        ASSERT_EQ(b.Insert(MakeRecord("two")), 0);
    }
    std::filesystem::copy_file(copy, path, std::filesystem::copy_options::overwrite_existing);
    {
        Table a(path);
        EXPECT_EQ(a.Scan(0), (std::vector<std::string>{"two"}));
    }
    EXPECT_GT(recman::testing::AttachmentsMade(), attached);
}

TEST_P(RecmanEngineTest, ReadAheadNeverServesARecordChangedMeanwhile) {
    Table scan(Path("A.BTR"));
    Table writer(Path("A.BTR"));
    for (int i = 0; i < 50; ++i) ASSERT_EQ(scan.Insert(MakeRecord(std::to_string(100 + i))), 0);
    ASSERT_EQ(scan.Call(kOpGetFirst, 0), 0);
    for (int i = 0; i < 5; ++i) ASSERT_EQ(scan.Call(kOpGetNext, 0), 0);  // batch now holds more
    ASSERT_EQ(writer.Call(kOpGetEqual, 0, "106"), 0);
    ASSERT_EQ(writer.Update(MakeRecord("106", "", 0, "changed")), 0);
    ASSERT_EQ(writer.Call(kOpGetEqual, 0, "107"), 0);
    ASSERT_EQ(writer.Delete(), 0);
    ASSERT_EQ(scan.Call(kOpGetNext, 0), 0);
    EXPECT_STREQ(scan.Rec().note, "changed");
    ASSERT_EQ(scan.Call(kOpGetNext, 0), 0);
    EXPECT_STREQ(scan.Rec().id, "108");
}

// Positionings asked for ahead come with the transaction's next read, and show what the
// transaction wrote after that read as a positioning made then would: an insert among
// duplicates, records moved into and out of the range, a deletion; whether the answer
// held the whole range or was cut at its number of rows.
TEST_P(RecmanEngineTest, PositioningsAskedAheadShowTheWritesMadeAfterThem) {
    Table t(Path("A.BTR"));
    for (int i = 1; i <= 6; ++i)
        ASSERT_EQ(t.Insert(MakeRecord("a" + std::to_string(i), "g", i)), 0);
    ASSERT_EQ(t.Insert(MakeRecord("h1", "h", 10)), 0);
    ASSERT_EQ(t.Insert(MakeRecord("f1", "f", 11)), 0);
    uint32_t len = 0;
    const auto tx = [&](uint16_t op) { return BTRCALL(op, nullptr, nullptr, &len, nullptr, 0, 0); };
    const auto ask = [&](uint16_t op, int8_t key, const std::string& value, uint32_t rows) {
        char buffer[255] = {};
        std::memcpy(buffer, value.data(), value.size());
        return recman::AskAhead(t.Block(), op, key, buffer, sizeof buffer, rows);
    };
    // The ids from a positioning on, stepping in direction dir while the group is "g".
    const auto walk = [&](uint16_t op, int8_t key, const std::string& value, uint16_t step) {
        std::vector<std::string> ids;
        for (int st = t.Call(op, key, value); st == 0 && std::string(t.Rec().group) == "g";
             st = t.Call(step, key))
            ids.emplace_back(t.Rec().id);
        return ids;
    };

    ASSERT_EQ(tx(kOpBeginTransaction), 0);
    recman::BatchTransactionWrites();
    EXPECT_EQ(ask(kOpGetNext, 1, "g", 3), kInvalidOperation);
    ASSERT_EQ(ask(kOpGetGreaterOrEqual, 1, "g", 3), 0);
    ASSERT_EQ(ask(kOpGetLessOrEqual, 1, "g", 16), 0);
    ASSERT_EQ(ask(kOpGetGreaterOrEqual, 0, "a4", 1), 0);
    ASSERT_EQ(t.Call(kOpGetEqual, 0, "h1"), 0);  // the read they come with
    ASSERT_EQ(t.Update(MakeRecord("h1", "g", 10)), 0);
    ASSERT_EQ(t.Insert(MakeRecord("a7", "g", 7)), 0);
    ASSERT_EQ(t.CallInt(kOpGetEqual, 2, 2), 0);
    ASSERT_EQ(t.Update(MakeRecord("a2", "z", 2)), 0);
    ASSERT_EQ(t.CallInt(kOpGetEqual, 2, 4), 0);
    ASSERT_EQ(t.Delete(), 0);

    const uint64_t before = recman::RoundTrips();
    EXPECT_EQ(walk(kOpGetLessOrEqual, 1, "g", kOpGetPrevious),
              (std::vector<std::string>{"a7", "h1", "a6", "a5", "a3", "a1"}));
    if (GetParam() == ETestEngine::kServerUncached) {
        EXPECT_EQ(recman::RoundTrips() - before, 0u) << "the whole range came with the read";
    }
    EXPECT_EQ(walk(kOpGetGreaterOrEqual, 1, "g", kOpGetNext),
              (std::vector<std::string>{"a1", "a3", "a5", "a6", "h1", "a7"}));
    // The one row asked for is gone: the positioning reads from the server instead.
    ASSERT_EQ(t.Call(kOpGetGreaterOrEqual, 0, "a4"), 0);
    EXPECT_STREQ(t.Rec().id, "a5");
    ASSERT_EQ(tx(kOpEndTransaction), 0);
    EXPECT_EQ(t.Scan(1), (std::vector<std::string>{"f1", "a1", "a3", "a5", "a6", "h1", "a7", "a2"}));

    // Asked for and never made, or asked outside a transaction: nothing changes.
    ASSERT_EQ(ask(kOpGetGreaterOrEqual, 1, "g", 3), 0);
    ASSERT_EQ(tx(kOpBeginTransaction), 0);
    ASSERT_EQ(ask(kOpGetFirst, 2, "", 4), 0);
    ASSERT_EQ(t.Call(kOpGetEqual, 0, "a1"), 0);
    ASSERT_EQ(tx(kOpAbortTransaction), 0);
    EXPECT_EQ(walk(kOpGetGreaterOrEqual, 1, "g", kOpGetNext),
              (std::vector<std::string>{"a1", "a3", "a5", "a6", "h1", "a7"}));
}

// Copying from one file into another while scanning: the scan's read-ahead outlives the
// writes to the other file, but never a rollback of writes to its own.
TEST_P(RecmanEngineTest, ReadAheadFollowsOnlyItsOwnFilesChanges) {
    Table source(Path("A.BTR")), target(Path("B.BTR"));
    for (int i = 0; i < 40; ++i) ASSERT_EQ(source.Insert(MakeRecord(std::to_string(100 + i))), 0);
    std::vector<std::string> copied;
    for (int st = source.Call(kOpGetFirst, 0); st == 0; st = source.Call(kOpGetNext, 0)) {
        copied.push_back(source.Rec().id);
        ASSERT_EQ(target.Insert(MakeRecord(source.Rec().id)), 0);
    }
    EXPECT_EQ(copied.size(), 40u);
    EXPECT_EQ(target.Scan(0), source.Scan(0));

    uint32_t len = 0;
    ASSERT_EQ(BTRCALL(kOpBeginTransaction, nullptr, nullptr, &len, nullptr, 0, 0), 0);
    ASSERT_EQ(target.Insert(MakeRecord("1051")), 0);  // rolled back below
    ASSERT_EQ(source.Call(kOpGetEqual, 0, "100"), 0);
    for (int i = 0; i < 4; ++i) ASSERT_EQ(source.Call(kOpGetNext, 0), 0);
    Table scan(Path("B.BTR"));
    ASSERT_EQ(scan.Call(kOpGetEqual, 0, "104"), 0);
    ASSERT_EQ(scan.Call(kOpGetNext, 0), 0);  // reads ahead past "1051"
    EXPECT_STREQ(scan.Rec().id, "105");
    ASSERT_EQ(BTRCALL(kOpAbortTransaction, nullptr, nullptr, &len, nullptr, 0, 0), 0);
    ASSERT_EQ(scan.Call(kOpGetNext, 0), 0);
    EXPECT_STREQ(scan.Rec().id, "106");
    ASSERT_EQ(source.Call(kOpGetNext, 0), 0);
    EXPECT_STREQ(source.Rec().id, "105");
}

TEST_F(RecmanTest, WorkingFileGoesToTheChosenFolderAndNotBesideTheTables) {
    namespace fs = std::filesystem;
    const auto workingFiles = [](const fs::path& folder) {
        int n = 0;
        for (const auto& entry : fs::directory_iterator(folder))
            n += entry.path().filename().string().rfind(".recman-", 0) == 0 ? 1 : 0;
        return n;
    };
    fs::create_directories(m_dir + "/db");
    const std::string a = m_dir + "/db/A.BTR", b = m_dir + "/db/B.BTR";
    ASSERT_EQ(recman_test::CreateTestFile(a), 0);
    ASSERT_EQ(recman_test::CreateTestFile(b), 0);
    EXPECT_EQ(SetWorkingFolder("/proc/no-such-folder"), kIoError);
    ASSERT_EQ(SetWorkingFolder(m_dir + "/work"), kOk);
    {
        Table ta(a), tb(b);
        uint32_t len = 0;
        ASSERT_EQ(BTRCALL(kOpBeginTransaction, nullptr, nullptr, &len, nullptr, 0, 0), 0);
        ASSERT_EQ(ta.Insert(MakeRecord("1")), 0);
        ASSERT_EQ(tb.Insert(MakeRecord("2")), 0);
        ASSERT_EQ(BTRCALL(kOpEndTransaction, nullptr, nullptr, &len, nullptr, 0, 0), 0);
        EXPECT_EQ(workingFiles(m_dir + "/work"), 1);
        EXPECT_EQ(workingFiles(m_dir + "/db"), 0);
        EXPECT_EQ(SetWorkingFolder(m_dir), kFileLocked);  // too late: the connection is open
    }
    recman::Shutdown();
    EXPECT_EQ(workingFiles(m_dir + "/work"), 0);
    ASSERT_EQ(SetWorkingFolder(""), kOk);
    {
        Table ta(a);
        EXPECT_EQ(ta.Scan(0), (std::vector<std::string>{"1"}));
        EXPECT_EQ(workingFiles(m_dir + "/db"), 1);
    }
}

TEST_P(RecmanEngineTest, PositionAndDirectReadAndStat) {
    Table t(Path("A.BTR"));
    ASSERT_EQ(t.Insert(MakeRecord("x", "g", 1)), 0);
    ASSERT_EQ(t.Insert(MakeRecord("y", "g", 2)), 0);
    ASSERT_EQ(t.Call(kOpGetLast, 0), 0);
    ASSERT_EQ(t.Call(kOpGetPosition, 0), 0);
    uint32_t position;
    std::memcpy(&position, &t.Rec(), 4);

    ASSERT_EQ(t.Call(kOpGetFirst, 0), 0);
    std::memcpy(&t.Rec(), &position, 4);
    ASSERT_EQ(t.Call(kOpGetDirect, 1), 0);
    EXPECT_STREQ(t.Rec().id, "y");
    ASSERT_EQ(t.Call(kOpGetPrevious, 1), 0);  // the direct read set the key 1 path
    EXPECT_STREQ(t.Rec().id, "x");
    const uint32_t nowhere = 999999;
    std::memcpy(&t.Rec(), &nowhere, 4);
    EXPECT_EQ(t.Call(kOpGetDirect, 0), kInvalidRecordAddress);

    ASSERT_EQ(t.Call(kOpStat, 0), 0);
    FileSpec spec;
    std::memcpy(&spec, &t.Rec(), sizeof spec);
    EXPECT_EQ(spec.recordLength, sizeof(Record));
    EXPECT_EQ(spec.keyCount, 3);
    EXPECT_EQ(spec.recordCount, 2u);

    // The layout alone: the same record length and keys, no count.
    std::memset(&t.Rec(), 0x55, sizeof(Record));
    ASSERT_EQ(t.Call(kOpStat, kStatLayoutOnly), 0);
    FileSpec layout;
    std::memcpy(&layout, &t.Rec(), sizeof layout);
    EXPECT_EQ(layout.recordLength, sizeof(Record));
    EXPECT_EQ(layout.keyCount, 3);
    EXPECT_EQ(layout.recordCount, 0u);
    KeySpec first, counted;
    std::memcpy(&first, reinterpret_cast<const char*>(&t.Rec()) + sizeof layout, sizeof first);
    ASSERT_EQ(t.Call(kOpStat, kStatWithCount), 0);
    std::memcpy(&counted, reinterpret_cast<const char*>(&t.Rec()) + sizeof spec, sizeof counted);
    EXPECT_EQ(first.position, counted.position);
    EXPECT_EQ(first.length, counted.length);
}

TEST_P(RecmanEngineTest, ReadOnlyOpenRefusesWritesAndKeyPathsCanChangeMidway) {
    {
        Table t(Path("A.BTR"));
        ASSERT_EQ(t.Insert(MakeRecord("a", "z", 3)), 0);
        ASSERT_EQ(t.Insert(MakeRecord("b", "y", 1)), 0);
        ASSERT_EQ(t.Insert(MakeRecord("c", "x", 2)), 0);
    }
    Table t(Path("A.BTR"), kModeReadOnly);
    ASSERT_EQ(t.OpenStatus(), 0);
    EXPECT_EQ(t.Insert(MakeRecord("d")), kAccessDenied);
    ASSERT_EQ(t.Call(kOpGetEqual, 0, "b"), 0);
    EXPECT_EQ(t.Delete(), kAccessDenied);
    // From "b" on the number key (1) the next in number order is "c" (2).
    ASSERT_EQ(t.Call(kOpGetNext, 2), 0);
    EXPECT_STREQ(t.Rec().id, "c");
    ASSERT_EQ(t.Call(kOpGetNext, 2), 0);
    EXPECT_STREQ(t.Rec().id, "a");
    // And from "a" in group order ("z" is last) there is nothing after it.
    EXPECT_EQ(t.Call(kOpGetNext, 1), kEndOfFile);
    EXPECT_EQ(t.Scan(0).size(), 3u);
}

TEST_P(RecmanEngineTest, ShortBuffersGiveStatuses) {
    {
        Table t(Path("A.BTR"));
        ASSERT_EQ(t.Insert(MakeRecord("x")), 0);
    }
    char block[kPositionBlockSize] = {};
    char name[256] = {};
    std::strncpy(name, Path("A.BTR").c_str(), 255);
    char out[64] = {};
    char key[256] = {};
    uint32_t zero = 0;
    ASSERT_EQ(BTRCALL(kOpOpen, block, nullptr, &zero, name, 255, 0), 0);
    uint32_t small = 10;
    EXPECT_EQ(BTRCALL(kOpGetFirst, block, out, &small, key, 255, 0), kDataBufferTooShort);
    EXPECT_EQ(small, sizeof(Record));
    EXPECT_STREQ(out, "x");
    uint32_t full = sizeof out;
    EXPECT_EQ(BTRCALL(kOpGetFirst, block, out, &full, key, 4, 0), kKeyBufferTooShort);
    uint32_t shortInsert = 20;
    EXPECT_EQ(BTRCALL(kOpInsert, block, out, &shortInsert, key, 255, 0), kDataBufferTooShort);
    EXPECT_EQ(BTRCALL(kOpClose, block, nullptr, &zero, key, 255, 0), 0);
    EXPECT_EQ(BTRCALL(kOpGetFirst, block, out, &full, key, 255, 0), kFileNotOpen);
}

TEST_F(RecmanTest, FilesThatAreNotTableFilesGiveAStatusAndStayUntouched) {
    const std::string text = m_dir + "/TEXT.BTR";
    std::ofstream(text) << "this is not a table file at all, just some text\n";
    const auto before = std::filesystem::file_size(text);
    EXPECT_EQ(Table(text).OpenStatus(), kNotATableFile);
    EXPECT_EQ(std::filesystem::file_size(text), before);

    EXPECT_EQ(Table(m_dir + "/MISSING.BTR").OpenStatus(), kFileNotFound);
    EXPECT_FALSE(std::filesystem::exists(m_dir + "/MISSING.BTR"));

    // A file cut short in the middle of its records.
    const std::string cut = Path("CUT.BTR");
    {
        Table t(cut);
        for (int i = 0; i < 400; ++i) ASSERT_EQ(t.Insert(MakeRecord(std::to_string(i), "", i, "xxxxxxxxxxxxxxxxxxxx")), 0);
    }
    std::filesystem::resize_file(cut, std::filesystem::file_size(cut) / 2);
    Table t(cut);
    if (t.OpenStatus() == 0) {
        int st = 0;
        int n = 0;
        for (st = t.Call(kOpGetFirst, 0); st == 0 && n < 1000; st = t.Call(kOpGetNext, 0)) ++n;
        EXPECT_NE(st, kOk);
        EXPECT_NE(st, kEndOfFile);
    } else {
        EXPECT_EQ(t.OpenStatus(), kNotATableFile);
    }
    std::string report;
    EXPECT_NE(recman::CheckFile(cut, &report), kOk);
    EXPECT_FALSE(report.empty());
}

TEST_P(RecmanEngineTest, CheckFindsASoundFileSound) {
    const std::string p = Path("A.BTR");
    {
        Table t(p);
        for (int i = 0; i < 30; ++i) ASSERT_EQ(t.Insert(MakeRecord(std::to_string(i), "g", i)), 0);
    }
    std::string report;
    EXPECT_EQ(recman::CheckFile(p, &report), kOk) << report;
}

TEST_F(RecmanTest, AttachmentLimitIsAStatusInsideATransactionAndInvisibleOutside) {
    std::vector<std::unique_ptr<Table>> tables;
    for (int i = 0; i < 14; ++i) {
        tables.push_back(std::make_unique<Table>(Path("T" + std::to_string(i) + ".BTR")));
        ASSERT_EQ(tables.back()->OpenStatus(), 0) << i;
    }
    // Outside a transaction every file works, in any order, again and again.
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < 14; ++i) ASSERT_EQ(tables[i]->Insert(MakeRecord("r" + std::to_string(round))), 0) << i;
    for (int i = 13; i >= 0; --i) EXPECT_EQ(tables[i]->Scan(0).size(), 2u);

    uint32_t len = 0;
    ASSERT_EQ(BTRCALL(kOpBeginTransaction, nullptr, nullptr, &len, nullptr, 0, 0), 0);
    int refused = 0;
    for (int i = 0; i < 14; ++i) {
        const int st = tables[i]->Insert(MakeRecord("tx"));
        if (st == kFileTableFull) {
            ++refused;
        } else {
            EXPECT_EQ(st, 0);
        }
    }
    EXPECT_GT(refused, 0);
    ASSERT_EQ(BTRCALL(kOpAbortTransaction, nullptr, nullptr, &len, nullptr, 0, 0), 0);
    for (int i = 0; i < 14; ++i) EXPECT_EQ(tables[i]->Scan(0).size(), 2u);
}

TEST_P(RecmanEngineTest, CreateRefusesToOverwriteWhenAskedAndLeavesNothingElseBehind) {
    const std::string p = Path("A.BTR");
    {
        Table t(p);
        ASSERT_EQ(t.Insert(MakeRecord("x")), 0);
    }
    struct {
        FileSpec file;
        KeySpec key;
    } spec{};
    spec.file.recordLength = 64;
    spec.file.keyCount = 1;
    spec.key = {1, 11, kKeyExtendedType, 0, kTypeText, 0, {}, 0, 0};
    uint32_t len = sizeof spec;
    char name[256] = {};
    std::strncpy(name, p.c_str(), 255);
    EXPECT_EQ(BTRCALL(kOpCreate, nullptr, &spec, &len, name, 255, kCreateNoOverwrite), kFileExists);
    EXPECT_EQ(Table(p).Scan(0).size(), 1u);
    spec.key.position = 60;  // runs past the record
    EXPECT_EQ(BTRCALL(kOpCreate, nullptr, &spec, &len, name, 255, kCreateOverwrite), kInvalidKeyPosition);
    recman::Shutdown();
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(m_dir)) names.push_back(e.path().filename());
    EXPECT_EQ(names, (std::vector<std::string>{OnServer() ? kServerConnInfoFile : "A.BTR"}));
}

TEST_F(RecmanTest, FailingWriteLeavesTheFileAsItWas) {
    const std::string p = Path("A.BTR");
    bool fail = false;
    recman::testing::SetFileEventHook([&](recman::testing::FileEvent e, const char*) {
        return !(fail && e == recman::testing::FileEvent::kWrite);
    });
    {
        Table t(p);
        ASSERT_EQ(t.Insert(MakeRecord("a")), 0);
        fail = true;
        EXPECT_NE(t.Insert(MakeRecord("b")), 0);
        fail = false;
        EXPECT_EQ(t.Scan(0), (std::vector<std::string>{"a"}));
    }
    recman::testing::SetFileEventHook(nullptr);
}

TEST_F(RecmanTest, TransactionsWorkBeforeAnyFileIsOpenAndAfterTheFirstFolderIsGone) {
    recman::Shutdown();
    uint32_t len = 0;
    const auto tx = [&](uint16_t op) { return BTRCALL(op, nullptr, nullptr, &len, nullptr, 0, 0); };
    // Begun before this process has opened any file.
    ASSERT_EQ(tx(kOpBeginTransaction), 0);
    EXPECT_TRUE(recman::InTransaction());
    EXPECT_EQ(tx(kOpEndTransaction), 0);
    EXPECT_FALSE(recman::InTransaction());
    recman::Shutdown();
    const std::string first = m_dir + "/first", second = m_dir + "/second";
    std::filesystem::create_directory(first);
    std::filesystem::create_directory(second);
    for (const std::string& dir : {first, second})
        for (const char* name : {"/A.BTR", "/B.BTR"}) ASSERT_EQ(recman_test::CreateTestFile(dir + name), 0);
    ASSERT_EQ(tx(kOpBeginTransaction), 0);
    {
        Table a(first + "/A.BTR"), b(first + "/B.BTR");
        ASSERT_EQ(a.Insert(MakeRecord("gone")), 0);
        ASSERT_EQ(b.Insert(MakeRecord("gone")), 0);
    }
    ASSERT_EQ(tx(kOpAbortTransaction), 0);
    EXPECT_TRUE(Table(first + "/A.BTR").Scan(0).empty());
    ASSERT_EQ(tx(kOpBeginTransaction), 0);
    {
        Table a(first + "/A.BTR"), b(first + "/B.BTR");
        ASSERT_EQ(a.Insert(MakeRecord("both")), 0);
        ASSERT_EQ(b.Insert(MakeRecord("both")), 0);
    }
    ASSERT_EQ(tx(kOpEndTransaction), 0);
    EXPECT_EQ(Table(first + "/B.BTR").Scan(0), (std::vector<std::string>{"both"}));

    // The folder the process started in is removed while the process lives on; a commit
    // across two files of another folder still goes through.
    std::filesystem::remove_all(first);
    Table a(second + "/A.BTR"), b(second + "/B.BTR");
    ASSERT_EQ(tx(kOpBeginTransaction), 0);
    ASSERT_EQ(a.Insert(MakeRecord("later")), 0);
    ASSERT_EQ(b.Insert(MakeRecord("later")), 0);
    ASSERT_EQ(tx(kOpEndTransaction), 0);
    EXPECT_EQ(a.Scan(0), (std::vector<std::string>{"later"}));
    EXPECT_EQ(b.Scan(0), (std::vector<std::string>{"later"}));
}

TEST_F(RecmanTest, AFileOnlyReadIsReusedOnEveryReopeningAndAWrittenOneAfterItsWrite) {
    const std::string path = Path("A.BTR");
    {
        Table a(path);
        ASSERT_EQ(a.Insert(MakeRecord("one")), 0);
    }
    const uint64_t attached = recman::testing::AttachmentsMade();
    for (int i = 0; i < 3; ++i) {
        Table a(path);
        EXPECT_EQ(a.Scan(0), (std::vector<std::string>{"one"}));
    }
    {
        Table a(path);
        ASSERT_EQ(a.Insert(MakeRecord("two")), 0);
    }
    {
        Table a(path);
        EXPECT_EQ(a.Scan(0), (std::vector<std::string>{"one", "two"}));
    }
    EXPECT_EQ(recman::testing::AttachmentsMade(), attached);
}

TEST_F(RecmanTest, AFileLetGoForItsSlotAndCopiedOverShowsItsNewLayoutOnReopening) {
    const std::string a = Path("A.BTR");
    {
        Table t(a);
        ASSERT_EQ(t.Insert(MakeRecord("x")), 0);
    }
    // Another layout in a file of its own, copied over A in place (same inode) once A has
    // been let go of for its slot.
    const std::string other = m_dir + "/OTHER.BTR";
    struct {
        FileSpec file;
        KeySpec key;
    } spec{};
    spec.file.recordLength = 96;
    spec.file.keyCount = 1;
    spec.key = {1, 11, kKeyExtendedType, 0, kTypeText, 0, {}, 0, 0};
    uint32_t len = sizeof spec;
    char name[256] = {};
    std::strncpy(name, other.c_str(), 255);
    ASSERT_EQ(BTRCALL(kOpCreate, nullptr, &spec, &len, name, 255, kCreateNoOverwrite), 0);
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < 24; ++i) ASSERT_EQ(Table(Path("T" + std::to_string(i) + ".BTR")).OpenStatus(), 0);
    std::filesystem::copy_file(other, a, std::filesystem::copy_options::overwrite_existing);

    unsigned char block[kPositionBlockSize] = {};
    std::strncpy(name, a.c_str(), 255);
    uint32_t none = 0;
    ASSERT_EQ(BTRCALL(kOpOpen, block, nullptr, &none, name, 255, kModeNormal), 0);
    unsigned char stat[sizeof(FileSpec) + 8 * sizeof(KeySpec)] = {};
    uint32_t statLength = sizeof stat;
    char key[256] = {};
    ASSERT_EQ(BTRCALL(kOpStat, block, stat, &statLength, key, 255, kStatLayoutOnly), 0);
    FileSpec layout;
    std::memcpy(&layout, stat, sizeof layout);
    EXPECT_EQ(layout.recordLength, 96);
    EXPECT_EQ(layout.keyCount, 1);
    EXPECT_EQ(BTRCALL(kOpClose, block, nullptr, &none, key, 255, 0), 0);
}

// The server engine's faults: each gives its status and an account that names the server
// and the folder, and none of them lets the folder's own files stand in for the server.
class RecmanServerFaultTest : public RecmanTest {
protected:
    // Names of the files in the test's folder.
    std::vector<std::string> FolderFiles() {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(m_dir)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Opening A.BTR and making it both fail with `status`; the account names the folder and
    // contains `words`; nothing but the connection file is in the folder afterwards.
    void ExpectRefused(int status, const std::string& words) {
        EXPECT_EQ(Table(m_dir + "/A.BTR").OpenStatus(), status);
        const std::string text = recman::LastErrorText();
        EXPECT_NE(text.find(m_dir), std::string::npos) << text;
        EXPECT_NE(text.find(words), std::string::npos) << text;
        EXPECT_EQ(recman_test::CreateTestFile(m_dir + "/A.BTR"), status);
        EXPECT_EQ(FolderFiles(), (std::vector<std::string>{kServerConnInfoFile}));
    }
};

TEST_F(RecmanServerFaultTest, AServerThatCannotBeReachedIsNamedAndNothingIsWritten) {
    ASSERT_EQ(WriteServerConnInfo(m_dir, "host=127.0.0.1 port=9 dbname=clinic user=velo connect_timeout=5"), kOk);
    ExpectRefused(kServerUnreachable, "127.0.0.1:9 のデータベース clinic");
    EXPECT_NE(recman::LastErrorText().find("接続できません"), std::string::npos);
}

TEST_F(RecmanServerFaultTest, AWrongPasswordHasItsOwnAccount) {
    CTestServer& server = CTestServer::Get();
    const std::string conninfo = server.NewDatabase();
    ASSERT_FALSE(conninfo.empty()) << server.Error();
    ASSERT_EQ(WriteServerConnInfo(m_dir, server.TcpConnInfo(conninfo, "velo", "not the password")), kOk);
    ExpectRefused(kPermissionError, "パスワードが違います");
}

TEST_F(RecmanServerFaultTest, AServerDatabaseWithoutTheSuitesTablesHasItsOwnAccount) {
    CTestServer& server = CTestServer::Get();
    const std::string conninfo = server.NewDatabase();
    ASSERT_FALSE(conninfo.empty()) << server.Error();
    ASSERT_EQ(WriteServerConnInfo(m_dir, conninfo), kOk);
    EXPECT_EQ(Table(m_dir + "/A.BTR").OpenStatus(), kFileNotFound);
    const std::string text = recman::LastErrorText();
    EXPECT_NE(text.find("このシステムのテーブルがありません"), std::string::npos) << text;
    EXPECT_NE(text.find(m_dir), std::string::npos) << text;
    // Once the suite has made its tables there, a table that is missing is only missing.
    ASSERT_EQ(recman_test::CreateTestFile(m_dir + "/B.BTR"), kOk);
    EXPECT_EQ(Table(m_dir + "/A.BTR").OpenStatus(), kFileNotFound);
    EXPECT_EQ(recman::LastErrorText(), "");
    EXPECT_EQ(FolderFiles(), (std::vector<std::string>{kServerConnInfoFile}));
}

TEST_F(RecmanServerFaultTest, AConnectionFileThatCannotBeReadIsAnErrorAndNeverTheFolder) {
    const std::string file = m_dir + "/" + kServerConnInfoFile;
    std::string conninfo;
    EXPECT_EQ(ServerConnInfo(m_dir, &conninfo), kFileNotFound);
    // Comments only.
    std::ofstream(file) << "# the clinic's server\n\n";
    EXPECT_EQ(ServerConnInfo(m_dir, &conninfo), kIoError);
    ExpectRefused(kIoError, "接続先が書かれていません");
    // Not a connection string.
    std::ofstream(file) << "host=db1 port\n";
    ExpectRefused(kIoError, "接続先が正しくありません");
    // A folder in its place.
    std::filesystem::remove(file);
    std::filesystem::create_directory(file);
    ExpectRefused(kIoError, kServerConnInfoFile);
    std::filesystem::remove(file);
    // A good one, with comments around it.
    std::ofstream(file) << "# the clinic's server\n  host=db1 port=5432 dbname=clinic  \n# end\n";
    ASSERT_EQ(ServerConnInfo(m_dir, &conninfo), kOk);
    EXPECT_EQ(conninfo, "host=db1 port=5432 dbname=clinic");
}

// The connection cut in the middle of a transaction (the server ended the session): the
// transaction fails whole, and the next operation after its abort connects again.
TEST_F(RecmanServerFaultTest, AConnectionLostMidwayFailsTheSaveWholeAndTheNextOperationReconnects) {
    CTestServer& server = CTestServer::Get();
    const std::string conninfo = server.UseIn(m_dir);
    ASSERT_FALSE(conninfo.empty()) << server.Error();
    const auto cutSessions = [&] {
        EXPECT_EQ(server.Execute(conninfo, "SELECT pg_terminate_backend(pid) FROM pg_stat_activity"
                                           " WHERE datname = current_database() AND pid <> pg_backend_pid()"),
                  "");
    };
    Table a(Path("A.BTR")), b(Path("B.BTR"));
    ASSERT_EQ(a.Insert(MakeRecord("before")), 0);
    uint32_t len = 0;
    ASSERT_EQ(BTRCALL(kOpBeginTransaction, nullptr, nullptr, &len, nullptr, 0, 0), 0);
    ASSERT_EQ(a.Insert(MakeRecord("half")), 0);
    cutSessions();
    EXPECT_EQ(b.Insert(MakeRecord("half")), kServerUnreachable);
    EXPECT_NE(recman::LastErrorText().find("接続が切れました"), std::string::npos) << recman::LastErrorText();
    // Nothing more goes into the lost transaction, not even on a connection made afresh.
    EXPECT_EQ(b.Insert(MakeRecord("more")), kServerUnreachable);
    EXPECT_NE(BTRCALL(kOpEndTransaction, nullptr, nullptr, &len, nullptr, 0, 0), kOk);
    EXPECT_EQ(BTRCALL(kOpAbortTransaction, nullptr, nullptr, &len, nullptr, 0, 0), kOk);
    EXPECT_FALSE(recman::InTransaction());
    EXPECT_EQ(a.Scan(0), (std::vector<std::string>{"before"}));
    EXPECT_TRUE(b.Scan(0).empty());

    // Outside a transaction the operation that meets the cut fails, and the next one works.
    cutSessions();
    EXPECT_EQ(a.Insert(MakeRecord("after")), kServerUnreachable);
    EXPECT_EQ(a.Insert(MakeRecord("after")), 0);
    EXPECT_EQ(a.Scan(0), (std::vector<std::string>{"after", "before"}));
}

}  // namespace
