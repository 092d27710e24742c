// The plain SQLite connection of the benchmarks, set up as the record manager sets up its own.
#include "plainsqlite.h"

#include <utility>

CPlainDb::CPlainDb(const std::string& path, bool readOnly, int tables) {
    const int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    bool ok =
        sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr) == SQLITE_OK && Apply("main", tables);
    for (auto [stmt, sql] : {std::pair{&m_begin, "BEGIN"}, std::pair{&m_commit, "COMMIT"},
                             std::pair{&m_rollback, "ROLLBACK"}}) {
        ok = ok && sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, stmt, nullptr) ==
                       SQLITE_OK;
    }
    if (!ok) {
        for (sqlite3_stmt* stmt : {m_begin, m_commit, m_rollback}) sqlite3_finalize(stmt);
        m_begin = m_commit = m_rollback = nullptr;
        sqlite3_close(m_db);
        m_db = nullptr;
    }
}

CPlainDb::~CPlainDb() {
    for (sqlite3_stmt* stmt : {m_begin, m_commit, m_rollback}) sqlite3_finalize(stmt);
    sqlite3_close(m_db);
}

bool CPlainDb::Attach(const std::string& path, const std::string& name) {
    if (m_db == nullptr) return false;
    sqlite3_stmt* stmt = nullptr;
    bool ok = sqlite3_prepare_v2(m_db, ("ATTACH DATABASE ?1 AS " + name).c_str(), -1, &stmt,
                                 nullptr) == SQLITE_OK;
    if (ok) {
        sqlite3_bind_text(stmt, 1, path.c_str(), -1, SQLITE_TRANSIENT);
        ok = sqlite3_step(stmt) == SQLITE_DONE;
    }
    sqlite3_finalize(stmt);
    return ok && Apply(name, 1);
}

bool CPlainDb::Apply(const std::string& schema, int tables) {
    // SQLite's default cache size is negative: that many KiB rather than pages.
    sqlite3_stmt* stmt = nullptr;
    long long defaultCache = -2000;
    if (sqlite3_prepare_v2(m_db, ("PRAGMA " + schema + ".cache_size").c_str(), -1, &stmt,
                           nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
        defaultCache = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    const std::string pragmas =
        "PRAGMA " + schema + ".journal_mode=DELETE;" + "PRAGMA " + schema + ".synchronous=FULL;" +
        "PRAGMA " + schema + ".cache_size=" + std::to_string(defaultCache * tables) + ";" +
        "PRAGMA " + schema + ".mmap_size=" + std::to_string(kPlainMmapBytes) + ";";
    return sqlite3_exec(m_db, pragmas.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool CPlainDb::Run(sqlite3_stmt* stmt) {
    if (stmt == nullptr) return false;
    const int rc = sqlite3_step(stmt);
    sqlite3_reset(stmt);
    return rc == SQLITE_DONE;
}

bool CPlainDb::Begin() { return Run(m_begin); }
bool CPlainDb::Commit() { return Run(m_commit); }
void CPlainDb::Rollback() { Run(m_rollback); }
