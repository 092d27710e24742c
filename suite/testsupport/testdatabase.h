// A database folder for one test: a fresh temporary folder holding every table file, made by
// the same code as `velodb create`, with a database handle bound to it; or, for a test on the
// server engine, a folder whose connection file names a database of its own on the test
// program's private server, where the tables are made instead. The record manager is shut
// down and the folder removed when the object goes, so no test sees another's files.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>

#include "recman/recman.h"
#include "recman/testsupport/testserver.h"
#include "suite/dbcall/catalogue.h"
#include "suite/dbcall/velodbsys.h"

// Sends the tables of the empty `folder` to the engine a test runs on: for a server engine a
// connection file naming a new database of the test server is written into it; the embedded
// engine needs nothing. False (and a test failure) when the server or the file cannot be made.
inline bool PutTablesOn(ETestEngine engine, const std::string& folder) {
    return engine == ETestEngine::kEmbedded || !CTestServer::Get().UseIn(folder).empty();
}

class CTestDatabase final {
public:
    // Makes the folder under the temporary directory (TMPDIR when it names a folder, else
    // /tmp) as PREFIX-XXXXXX, creates the tables and opens the handle. Error() tells whether
    // and where that failed. `prepare`, when given, runs on the empty folder before the
    // tables are made (a test on the server engine writes the connection file there); it
    // returns false when it failed.
    explicit CTestDatabase(const std::string& prefix = "velotest",
                           const std::function<bool(const std::string& folder)>& prepare = {}) {
        std::error_code error;
        std::filesystem::path base = std::filesystem::temp_directory_path(error);
        if (error) base = "/tmp";
        std::string pattern = (base / (prefix + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            m_error = "cannot make a temporary folder from " + pattern;
            return;
        }
        m_folder = pattern;
        if (prepare && !prepare(m_folder)) {
            m_error = "preparing " + m_folder + " failed";
            return;
        }
        const int status = CreateAllTables(m_folder);
        if (status != recman::kOk)
            m_error = "CreateAllTables(" + m_folder + ") returned " + std::to_string(status);
        else if (!m_db.Open(m_folder))
            m_error = "the database handle cannot open " + m_folder;
    }

    // The same, with the tables on `engine`.
    explicit CTestDatabase(ETestEngine engine, const std::string& prefix = "velotest")
        : CTestDatabase(
              prefix, [engine](const std::string& folder) { return PutTablesOn(engine, folder); }) {
    }

    ~CTestDatabase() {
        recman::Shutdown();
        if (m_folder.empty()) return;
        std::error_code error;
        std::filesystem::remove_all(m_folder, error);
    }

    CTestDatabase(const CTestDatabase&) = delete;
    CTestDatabase& operator=(const CTestDatabase&) = delete;

    // Empty when the folder, its tables and the handle are ready.
    const std::string& Error() const { return m_error; }
    // The folder without a trailing "/" (empty when it could not be made).
    const std::string& Folder() const { return m_folder; }
    CVeloDBSys& Db() { return m_db; }

    // Cuts a table file ("RESERVATION.BTR") down to `size` bytes, as a broken copy or a disk
    // fault would, keeping the sound file aside for RestoreTableFile. Every file is closed
    // first, so the next read opens the damaged one.
    void TruncateTableFile(const std::string& name, std::uintmax_t size = 1000) {
        recman::Shutdown();
        std::filesystem::copy_file(Path(name), Path(name + ".sound"),
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::resize_file(Path(name), size);
    }
    // Puts back the file TruncateTableFile kept.
    void RestoreTableFile(const std::string& name) {
        recman::Shutdown();
        std::filesystem::rename(Path(name + ".sound"), Path(name));
    }

private:
    std::filesystem::path Path(const std::string& name) const {
        return std::filesystem::path(m_folder) / name;
    }

    std::string m_folder;
    std::string m_error;
    CVeloDBSys m_db;
};

// A test fixture over a CTestDatabase, its tables on the embedded engine unless a fixture
// names another. Fixtures that derive from it and set up more of their own start their SetUp
// with ASSERT_NO_FATAL_FAILURE(DbFolderTest::SetUp()).
class DbFolderTest : public ::testing::Test {
protected:
    explicit DbFolderTest(ETestEngine engine = ETestEngine::kEmbedded) : m_testDb(engine) {}

    void SetUp() override { ASSERT_TRUE(m_testDb.Error().empty()) << m_testDb.Error(); }

    CTestDatabase m_testDb;
    const std::string& m_folder = m_testDb.Folder();
    CVeloDBSys& m_db = m_testDb.Db();
};
