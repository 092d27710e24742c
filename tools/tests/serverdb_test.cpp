// velodb push and pull against a private database server: a demo clinic pushed and pulled
// back table by table, byte for byte; the refusals; and the tools on a server-backed folder.
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "recman/recman.h"
#include "recman/testsupport/testserver.h"
#include "suite/dbcall/catalogue.h"
#include "suite/text/privatefiles.h"
#include "tablefile.h"
#include "velodb.h"

namespace velodb {
namespace {

namespace fs = std::filesystem;

// Every table of a folder as `velodb dump` writes it, by every key, for comparing folders.
std::string DumpEveryTable(const std::string& folder) {
    std::ostringstream out;
    for (const TableInfo& table : AllTables()) {
        for (int key = 0; key < table.KeyCount(); ++key) {
            std::string error;
            out << "== " << table.fileName << " key " << key << "\n";
            if (!DumpTable(folder, table.fileName, key, out, &error)) out << error << "\n";
        }
    }
    return out.str();
}

// The tables of the server database that `conninfo` names, asked of the server itself.
std::string TablesOnServer(const std::string& conninfo) {
    PGconn* conn = PQconnectdb(conninfo.c_str());
    std::string names = "(cannot ask the server)";
    if (PQstatus(conn) == CONNECTION_OK) {
        PGresult* result =
            PQexec(conn,
                   "SELECT coalesce(string_agg(tablename, ' ' ORDER BY tablename), '')"
                   " FROM pg_tables WHERE schemaname = current_schema()");
        if (PQresultStatus(result) == PGRES_TUPLES_OK) names = PQgetvalue(result, 0, 0);
        PQclear(result);
    }
    PQfinish(conn);
    return names;
}

class ServerDbTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_EQ(CTestServer::Get().Error(), "");
        // As velodb does first thing, on a machine without the clinic's group.
        privatefiles::SetClinicGroupForTesting(gid_t(-1));
        privatefiles::CloseNewFilesToOthers();
    }
    void TearDown() override { privatefiles::SetClinicGroupForTesting(std::nullopt); }
    std::string Folder(const char* name) const { return m_dir.filePath(name).toStdString(); }

    QTemporaryDir m_dir;
};

TEST_F(ServerDbTest, PushThenPullGivesBackEveryTableByteForByte) {
    const std::string clinic = Folder("clinic");
    SDemoOptions demo;
    demo.m_folder = clinic;
    demo.m_patients = 60;
    demo.m_daysBack = 5;
    demo.m_daysAhead = 5;
    std::string error;
    ASSERT_TRUE(BuildDemoDatabase(demo, nullptr, nullptr, &error)) << error;
    const std::string before = DumpEveryTable(clinic);

    const std::string conninfo = CTestServer::Get().NewDatabase();
    std::ostringstream out;
    ASSERT_TRUE(PushDatabase(clinic, conninfo, false, out, &error)) << error;
    recman::Shutdown();
    // The folder now uses the server: what it shows is what was pushed.
    std::string written;
    EXPECT_EQ(recman::ServerConnInfo(clinic, &written), recman::kOk);
    EXPECT_EQ(written, conninfo);
    EXPECT_EQ(DumpEveryTable(clinic), before);
    std::ostringstream checked;
    EXPECT_TRUE(CheckDatabase(clinic, checked)) << checked.str();
    // The connection file may hold the password.
    EXPECT_EQ(fs::status(fs::path(clinic) / recman::kServerConnInfoFile).permissions(),
              fs::perms::owner_read | fs::perms::owner_write);

    // A second push into the same server database is refused, and so is a folder that
    // uses a server already.
    const std::string other = Folder("other");
    ASSERT_TRUE(CreateDatabase(other, false, &error)) << error;
    EXPECT_FALSE(PushDatabase(other, conninfo, false, out, &error));
    EXPECT_NE(error.find("--force"), std::string::npos) << error;
    EXPECT_FALSE(PushDatabase(clinic, conninfo, false, out, &error));

    const std::string backup = Folder("backup");
    ASSERT_TRUE(PullDatabase(clinic, backup, false, out, &error)) << error;
    recman::Shutdown();
    EXPECT_FALSE(IsServerFolder(backup));
    EXPECT_EQ(ListTableFiles(backup).size(), AllTables().size());
    EXPECT_EQ(DumpEveryTable(backup), before);
    EXPECT_EQ(privatefiles::OpenToOthers(backup), std::vector<std::string>());
    // Pulling over table files is refused unless asked to replace them.
    EXPECT_FALSE(PullDatabase(clinic, backup, false, out, &error));
    EXPECT_TRUE(PullDatabase(clinic, backup, true, out, &error)) << error;
}

// A push the server refuses midway, here for a view of another program's under the name one
// of the tables needs, stores nothing: no empty tables for the next push to refuse.
TEST_F(ServerDbTest, APushThatFailsMidwayLeavesTheServerDatabaseWithoutTables) {
    const std::string clinic = Folder("clinic");
    std::string error;
    ASSERT_TRUE(CreateDatabase(clinic, false, &error)) << error;
    const std::string conninfo = CTestServer::Get().NewDatabase();
    ASSERT_EQ(CTestServer::Get().Execute(conninfo, "CREATE VIEW t_reservation AS SELECT 1 AS x"),
              "");
    std::ostringstream out;
    EXPECT_FALSE(PushDatabase(clinic, conninfo, false, out, &error));
    EXPECT_NE(error.find("RESERVATION.BTR"), std::string::npos) << error;
    EXPECT_FALSE(IsServerFolder(clinic));
    EXPECT_EQ(TablesOnServer(conninfo), "");

    ASSERT_EQ(CTestServer::Get().Execute(conninfo, "DROP VIEW t_reservation"), "");
    EXPECT_TRUE(PushDatabase(clinic, conninfo, false, out, &error)) << error;
    recman::Shutdown();
    EXPECT_EQ(ListTables(clinic).size(), AllTables().size());
}

TEST_F(ServerDbTest, AServerThatCannotBeReachedIsNamedAndNothingChanges) {
    const std::string clinic = Folder("clinic");
    std::string error;
    ASSERT_TRUE(CreateDatabase(clinic, false, &error)) << error;
    std::ostringstream out;
    EXPECT_FALSE(PushDatabase(clinic, "host=127.0.0.1 port=1 dbname=nowhere connect_timeout=2",
                              false, out, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(IsServerFolder(clinic));
    EXPECT_EQ(ListTableFiles(clinic).size(), AllTables().size());
}

// A new database made with velodb create straight on the server, as a clinic starting
// afresh would.
TEST_F(ServerDbTest, CreateAndCheckWorkOnAServerBackedFolder) {
    const std::string clinic = Folder("clinic");
    fs::create_directories(clinic);
    CTestServer::Get().UseIn(clinic);
    std::string error;
    ASSERT_TRUE(CreateDatabase(clinic, false, &error)) << error;
    EXPECT_TRUE(ListTableFiles(clinic).empty());  // nothing but settings in the folder
    EXPECT_EQ(ListTables(clinic).size(), AllTables().size());
    std::ostringstream checked;
    EXPECT_TRUE(CheckDatabase(clinic, checked)) << checked.str();
    EXPECT_FALSE(CreateDatabase(clinic, false, &error));
}

}  // namespace
}  // namespace velodb
