// How the plain SQLite side of the benchmarks opens its files: with the settings the record
// manager gives each table file it attaches, so that the two sides differ in the work they do
// and not in how SQLite is set up.
//
// The record manager keeps a rollback journal (DELETE), SQLite's own synchronous setting
// (FULL), SQLite's default page cache for each attached file, and reads every file through a
// memory mapping of up to kPlainMmapBytes. A plain file that holds several of the suite's
// tables gets one default cache for each of them, as the record manager has one for each
// table file.
#pragma once

#include <sqlite3.h>

#include <string>

// The memory mapping the record manager sets on each table file it attaches.
constexpr long long kPlainMmapBytes = 1LL << 30;

// One connection to plain SQLite files, with the record manager's settings and its
// transaction statements prepared once.
class CPlainDb final {
public:
    // Opens the file at path (read-only when readOnly); `tables` is the number of the suite's
    // tables it holds. Ready() tells whether it could be opened and set up.
    CPlainDb(const std::string& path, bool readOnly, int tables = 1);
    ~CPlainDb();
    CPlainDb(const CPlainDb&) = delete;
    CPlainDb& operator=(const CPlainDb&) = delete;

    bool Ready() const { return m_db != nullptr; }
    sqlite3* Handle() const { return m_db; }

    // Attaches another plain file under `name` with the same settings.
    bool Attach(const std::string& path, const std::string& name);

    // Runs read() inside one read transaction, as the suite's loads read in one: the shared
    // locks are taken once, not once per statement. Returns what read() returns.
    template <typename Read>
    auto ReadConsistently(Read read) {
        Begin();
        auto result = read();
        Commit();
        return result;
    }

    bool Begin();
    bool Commit();
    void Rollback();

private:
    bool Apply(const std::string& schema, int tables);
    bool Run(sqlite3_stmt* stmt);

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_begin = nullptr;
    sqlite3_stmt* m_commit = nullptr;
    sqlite3_stmt* m_rollback = nullptr;
};
