// The embedded engine: the connection, the attached table files, the statements that read
// and write rows, transactions, creation and checking.
#include "recman/sqliteengine.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>

#include "recman/filemode.h"

namespace recman {
namespace {

constexpr const char* kFormatName = "recman table file 1";
constexpr size_t kHeaderMapLength = 4096;
constexpr int kChangeCounterOffset = 24;
constexpr int kSchemaCookieOffset = 40;
constexpr long long kMmapSize = 1LL << 30;
// Files below this size are cheap to attach again (masters, small lists).
constexpr uint64_t kSmallFileBytes = 4ULL << 20;

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out + "'";
}

int Exec(sqlite3* db, const std::string& sql) {
    return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
}

std::string KeyColumn(size_t k) { return "k" + std::to_string(k); }

std::string CreateSql(const Schema& schema) {
    std::string sql =
        "CREATE TABLE recman_file(format TEXT NOT NULL, record_length INTEGER NOT NULL);";
    sql += "INSERT INTO recman_file VALUES(" + Quote(kFormatName) + "," +
           std::to_string(schema.recordLength) + ");";
    sql +=
        "CREATE TABLE recman_key(key_no INTEGER NOT NULL, seg_no INTEGER NOT NULL, offset INTEGER "
        "NOT NULL,"
        " length INTEGER NOT NULL, type INTEGER NOT NULL, duplicates INTEGER NOT NULL,"
        " PRIMARY KEY(key_no, seg_no));";
    for (size_t k = 0; k < schema.keys.size(); ++k) {
        const KeyDef& key = schema.keys[k];
        for (size_t s = 0; s < key.segments.size(); ++s) {
            const Segment& seg = key.segments[s];
            sql += "INSERT INTO recman_key VALUES(" + std::to_string(k) + "," + std::to_string(s) +
                   "," + std::to_string(seg.offset) + "," + std::to_string(seg.length) + "," +
                   std::to_string(seg.type) + "," + (key.duplicates ? "1" : "0") + ");";
        }
    }
    sql += "CREATE TABLE rec(id INTEGER PRIMARY KEY";
    for (size_t k = 0; k < schema.keys.size(); ++k) sql += ", " + KeyColumn(k) + " BLOB NOT NULL";
    sql += ", data BLOB NOT NULL);";
    for (size_t k = 0; k < schema.keys.size(); ++k) {
        // A unique index orders by (key, rowid) as well, so both kinds scan alike.
        if (schema.keys[k].duplicates)
            sql += "CREATE INDEX rec_" + KeyColumn(k) + " ON rec(" + KeyColumn(k) + ", id);";
        else
            sql += "CREATE UNIQUE INDEX rec_" + KeyColumn(k) + " ON rec(" + KeyColumn(k) + ");";
    }
    return sql;
}

// The status of a failed read of a file's layout tables. Only what SQLite finds in the
// file itself makes it "not a table file": a file that another process holds or is
// recovering after a crash is locked, and a failing read is an I/O error.
int LayoutReadStatus(int rc) {
    switch (rc & 0xff) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return kFileLocked;
        case SQLITE_IOERR:
        case SQLITE_NOMEM:
        case SQLITE_CANTOPEN:
            return kIoError;
        case SQLITE_FULL:
            return kDiskFull;
        default:
            return kNotATableFile;
    }
}

}  // namespace

namespace {
uint32_t BigEndianAt(const volatile uint8_t* header, int offset) {
    if (!header) return 0;
    const volatile uint8_t* p = header + offset;
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
}  // namespace

uint32_t TableFile::ChangeCounter() const { return BigEndianAt(header, kChangeCounterOffset); }
uint32_t TableFile::SchemaCookie() const { return BigEndianAt(header, kSchemaCookieOffset); }

SqliteEngine& SqliteEngine::Get() {
    // Never destroyed: Shutdown runs from atexit and leaves an empty engine behind.
    static SqliteEngine* engine = [] {
        auto* e = new SqliteEngine;
        std::atexit([] { SqliteEngine::Get().Shutdown(); });
        return e;
    }();
    return *engine;
}

void SqliteEngine::SetBusyTimeout(int ms) {
    m_busyTimeout = ms;
    if (m_db) sqlite3_busy_timeout(m_db, ms);
}

int SqliteEngine::SetWorkingFolder(const std::string& folder) {
    if (m_db) return kFileLocked;  // the working file is made with the connection
    if (folder.empty()) {
        m_workingFolder.clear();
        return kOk;
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!std::filesystem::is_directory(folder, ec) || ::access(folder.c_str(), W_OK) != 0)
        return kIoError;
    m_workingFolder = folder;
    return kOk;
}

int SqliteEngine::OpenConnection(const std::string& tableFolder) {
    if (m_db) return kOk;
    const std::string& folder = m_workingFolder.empty() ? tableFolder : m_workingFolder;
    // The working file lives beside the table files, so the super-journal of a commit
    // across several files lands there too: a process that recovers the files after a
    // crash (after a reboot that emptied the temporary folder, or on another workstation
    // sharing the folder) must find it, or it takes a half-done commit for a whole one.
    // A folder that cannot take it (read-only) falls back to the temporary folder.
    // Once this process's own working file is there, those of processes that ended without
    // closing are removed from its folder, after rolling back what they left half committed.
    std::string home = folder, prefix = ".recman-";
    if (folder.empty() || !m_workingFile.Make(home + "/" + prefix + "XXXXXX")) {
        const char* tmp = std::getenv("TMPDIR");
        home = tmp && *tmp ? tmp : "/tmp";
        prefix = "recman-";
        if (!m_workingFile.Make(home + "/" + prefix + "XXXXXX")) return kIoError;
    }
    RemoveAbandonedWorkingFiles(home, prefix, m_busyTimeout);
    const int rc = sqlite3_open_v2(m_workingFile.Path().c_str(), &m_db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(m_db);
        m_db = nullptr;
        m_workingFile.Remove();
        return kIoError;
    }
    sqlite3_busy_timeout(m_db, m_busyTimeout);
    sqlite3_extended_result_codes(m_db, 1);
    if (m_beginPending) {
        m_beginPending = false;
        if (const int begun = Control(&m_beginStmt, "BEGIN"); begun != SQLITE_OK) {
            m_inTransaction = false;
            return ReadStatus(begun);
        }
    }
    return kOk;
}

void SqliteEngine::RehomeIfWorkingFileGone() {
    if (!m_db || m_inTransaction || ::access(m_workingFile.Path().c_str(), F_OK) == 0) return;
    // The folder it was in went away (a database folder removed while this process
    // lives on): without it no commit across files could write its super-journal.
    // Cursors still open attach their files again on their next call.
    for (auto& [path, file] : m_files) Detach(file.get());
    std::erase_if(m_files, [](const auto& entry) { return entry.second->openCount == 0; });
    FinalizeControls();
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_workingFile.Close();
    OpenConnection(m_lastFolder);
}

int SqliteEngine::AttachedCount() const {
    int n = 0;
    for (const auto& [path, file] : m_files) n += file->attached ? 1 : 0;
    return n;
}

bool SqliteEngine::Identify(const std::string& path, uint64_t out[4]) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return false;
    out[0] = uint64_t(st.st_dev);
    out[1] = uint64_t(st.st_ino);
    out[2] = uint64_t(st.st_size);
    out[3] = uint64_t(st.st_mtim.tv_sec) * 1000000000u + uint64_t(st.st_mtim.tv_nsec);
    return true;
}

void SqliteEngine::MapHeader(TableFile* file) {
    // The descriptor is closed at once: SQLite has not opened the file yet, so closing
    // it cannot drop a lock that SQLite holds (POSIX locks belong to the process).
    const int fd = ::open(file->path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st;
    if (::fstat(fd, &st) == 0) {
        // The identity before SQLite reads anything: a change made after this moment by
        // another process shows as a difference when the file is reopened.
        file->device = uint64_t(st.st_dev);
        file->inode = uint64_t(st.st_ino);
        file->size = uint64_t(st.st_size);
        file->modified = uint64_t(st.st_mtim.tv_sec) * 1000000000u + uint64_t(st.st_mtim.tv_nsec);
        file->identityGeneration = m_writeGeneration;
        if (st.st_size >= 100) {
            void* p = ::mmap(nullptr, kHeaderMapLength, PROT_READ, MAP_SHARED, fd, 0);
            if (p != MAP_FAILED) file->header = static_cast<const volatile uint8_t*>(p);
        }
    }
    ::close(fd);
}

int SqliteEngine::Attach(TableFile* file) {
    if (file->attached) return kOk;
    const int limit = sqlite3_limit(m_db, SQLITE_LIMIT_ATTACHED, -1);
    if (AttachedCount() >= limit && !FreeSlot()) return kFileTableFull;
    MapHeader(file);
    file->alias = "f" + std::to_string(++m_aliasCounter);
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(m_db, ("ATTACH DATABASE ?1 AS " + file->alias).c_str(), -1, &stmt,
                                nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_bind_text(stmt, 1, file->path.c_str(), -1, SQLITE_TRANSIENT);
        rc = sqlite3_step(stmt);
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) {
        if (file->header) ::munmap(const_cast<uint8_t*>(file->header), kHeaderMapLength);
        file->header = nullptr;
        const int st = ReadStatus(rc);
        return st == kOk ? kIoError : st;
    }
    file->attached = true;
    ++m_attachmentsMade;
    // Reads through a memory mapping instead of a copy per page: scans and lookups cost
    // about a third less. Writes still go through the journal as before.
    Exec(m_db, "PRAGMA " + file->alias + ".mmap_size = " + std::to_string(kMmapSize));
    return kOk;
}

bool SqliteEngine::FreeSlot() {
    // Files nobody has open go first; files with open cursors only outside a transaction
    // (inside one, SQLite refuses to let go of a file the transaction has read or written,
    // and the next candidate is tried). Among the closed ones:
    //  - files not opened for a while (stale) go first, the least recently used first, so
    //    a screen's files push out those of the screen before;
    //  - when every closed file was opened lately, the screen works with more files than
    //    there are slots and goes through them in turn: letting go of the least recently
    //    used would miss on every open, so the most recently used goes instead;
    //  - small files before large ones, whose mapping and page cache are dearer to rebuild.
    const uint64_t limit = uint64_t(sqlite3_limit(m_db, SQLITE_LIMIT_ATTACHED, -1));
    const auto stale = [&](const TableFile* f) {
        return m_acquireClock - f->lastAcquire > 2 * limit;
    };
    std::vector<TableFile*> candidates;
    for (auto& [path, f] : m_files)
        if (f->attached && (f->openCount == 0 || !m_inTransaction)) candidates.push_back(f.get());
    std::sort(candidates.begin(), candidates.end(), [&](const TableFile* a, const TableFile* b) {
        if ((a->openCount == 0) != (b->openCount == 0)) return a->openCount == 0;
        if (a->openCount > 0) return a->lastUse < b->lastUse;
        if (stale(a) != stale(b)) return stale(a);
        const bool aSmall = a->size < kSmallFileBytes, bSmall = b->size < kSmallFileBytes;
        if (aSmall != bSmall) return aSmall;
        return stale(a) ? a->lastUse < b->lastUse : a->lastUse > b->lastUse;
    });
    for (TableFile* f : candidates) {
        if (!Detach(f)) continue;
        if (f->openCount == 0) {
            KeepSchema(*f);
            m_files.erase(f->path);
        }
        return true;
    }
    return false;
}

void SqliteEngine::KeepSchema(const TableFile& file) {
    if (!file.schemaStamped) return;
    m_knownSchemas[file.path] = {file.schemaIdentity[0],
                                 file.schemaIdentity[1],
                                 file.schemaIdentity[2],
                                 file.schemaIdentity[3],
                                 file.schemaCounter,
                                 file.schemaCookie,
                                 file.schema,
                                 file.pageSize};
}

bool SqliteEngine::ReuseKeptSchema(TableFile* file) {
    // A file let go of and attached again (a screen cycling through more files than there
    // are slots) is the same file with the same keys when it is the same inode and no
    // commit has touched it since its keys were read: SQLite bumps the change counter on
    // every commit and the schema cookie on every change of its tables.
    const auto known = m_knownSchemas.find(file->path);
    if (known == m_knownSchemas.end() || !file->header || file->openCount > 0) return false;
    const KnownSchema& k = known->second;
    if (k.device != file->device || k.inode != file->inode || k.size != file->size ||
        k.modified != file->modified || k.changeCounter != file->ChangeCounter() ||
        k.schemaCookie != file->SchemaCookie())
        return false;
    file->schema = k.schema;
    file->pageSize = k.pageSize;
    file->forward.assign(file->schema.keys.size(), nullptr);
    file->backward.assign(file->schema.keys.size(), nullptr);
    file->schemaStamped = true;
    const std::array<uint64_t, 4> identity = k.identity();
    std::copy(identity.begin(), identity.end(), file->schemaIdentity);
    file->schemaCounter = k.changeCounter;
    file->schemaCookie = k.schemaCookie;
    return true;
}

bool SqliteEngine::Detach(TableFile* file) {
    if (!file->attached) return true;
    auto finalize = [](sqlite3_stmt*& s) {
        sqlite3_finalize(s);
        s = nullptr;
    };
    for (auto& s : file->forward) finalize(s);
    for (auto& s : file->backward) finalize(s);
    finalize(file->insert);
    finalize(file->update);
    finalize(file->remove);
    finalize(file->direct);
    if (Exec(m_db, "DETACH DATABASE " + file->alias) != SQLITE_OK) return false;
    file->attached = false;
    if (file->header) ::munmap(const_cast<uint8_t*>(file->header), kHeaderMapLength);
    file->header = nullptr;
    return true;
}

int SqliteEngine::ReadSchema(TableFile* file) {
    // Stamped before reading: a commit between the stamp and the read leaves the stamp
    // behind the keys read, which only means they are read again next time.
    const bool stamped = file->header != nullptr;
    const uint32_t counter = file->ChangeCounter(), cookie = file->SchemaCookie();
    const uint64_t identity[4] = {file->device, file->inode, file->size, file->modified};
    Schema schema;
    sqlite3_stmt* stmt = nullptr;
    std::string sql = "SELECT format, record_length FROM " + file->alias + ".recman_file";
    int rc = sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return LayoutReadStatus(rc);
    }
    rc = sqlite3_step(stmt);
    bool ok =
        rc == SQLITE_ROW && sqlite3_column_type(stmt, 0) == SQLITE_TEXT &&
        std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), kFormatName) == 0;
    if (ok) {
        const sqlite3_int64 length = sqlite3_column_int64(stmt, 1);
        ok = length > 0 && length <= kMaxRecordLength;
        schema.recordLength = uint32_t(length);
    }
    sqlite3_finalize(stmt);
    if (!ok) return rc == SQLITE_ROW || rc == SQLITE_DONE ? kNotATableFile : LayoutReadStatus(rc);

    sql = "SELECT key_no, seg_no, offset, length, type, duplicates FROM " + file->alias +
          ".recman_key ORDER BY key_no, seg_no";
    rc = sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return LayoutReadStatus(rc);
    }
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        const int key = sqlite3_column_int(stmt, 0);
        Segment seg{uint32_t(sqlite3_column_int(stmt, 2)), uint32_t(sqlite3_column_int(stmt, 3)),
                    uint8_t(sqlite3_column_int(stmt, 4))};
        if (key < 0 || key > kMaxKeys || size_t(key) > schema.keys.size() ||
            seg.offset + seg.length > schema.recordLength || seg.length == 0) {
            ok = false;
            break;
        }
        if (size_t(key) == schema.keys.size()) schema.keys.emplace_back();
        schema.keys[key].segments.push_back(seg);
        schema.keys[key].length += seg.length;
        schema.keys[key].duplicates = sqlite3_column_int(stmt, 5) != 0;
    }
    sqlite3_finalize(stmt);
    if (ok && rc != SQLITE_DONE) return LayoutReadStatus(rc);
    if (!ok || schema.keys.empty()) return kNotATableFile;
    for (const KeyDef& key : schema.keys)
        if (key.length > kMaxKeyLength) return kNotATableFile;

    sql = "PRAGMA " + file->alias + ".page_size";
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
        file->pageSize = uint16_t(std::min(sqlite3_column_int(stmt, 0), 65535));
    sqlite3_finalize(stmt);
    // A file from before (or from another program) whose keys changed under us would
    // invalidate the statement cache; the schema is read anew on every attach.
    if (file->openCount > 0 && !file->schema.keys.empty()) {
        // Attached again under open cursors, which hold references into the schema:
        // it must be the same file still, and the schema object stays as it is.
        return SameSchema(file->schema, schema) ? kOk : kNotATableFile;
    }
    file->schema = std::move(schema);
    file->forward.assign(file->schema.keys.size(), nullptr);
    file->backward.assign(file->schema.keys.size(), nullptr);
    file->schemaStamped = stamped;
    std::copy(std::begin(identity), std::end(identity), file->schemaIdentity);
    file->schemaCounter = counter;
    file->schemaCookie = cookie;
    return kOk;
}

TableFile* SqliteEngine::FindKept(const std::string& path) {
    auto known = m_canonical.find(path);
    if (known == m_canonical.end()) return nullptr;
    auto it = m_files.find(known->second);
    if (it == m_files.end() || !it->second->attached) return nullptr;
    TableFile* file = it->second.get();
    if (file->openCount > 0) return file;
    // Kept since its last close: taken as it is only when nothing touched it since
    // (another process's commit, a copy over it, a truncation that its memory mapping
    // must never meet, or the name now leading to another file).
    uint64_t now[4];
    if (!Identify(path, now) || now[0] != file->device || now[1] != file->inode ||
        now[2] != file->size || now[3] != file->modified)
        return nullptr;
    return file;
}

int SqliteEngine::CanonicalTablePath(const std::string& path, std::string* canonical) {
    struct stat named;
    if (::stat(path.c_str(), &named) != 0) return errno == ENOENT ? kFileNotFound : kIoError;
    if (!S_ISREG(named.st_mode)) return kNotATableFile;
    // A name resolved before is taken as it was while it still leads to the same file:
    // resolving it again costs a look at every folder on the way.
    if (auto known = m_canonical.find(path); known != m_canonical.end()) {
        struct stat resolved;
        if (known->second == path ||
            (::stat(known->second.c_str(), &resolved) == 0 && resolved.st_dev == named.st_dev &&
             resolved.st_ino == named.st_ino)) {
            *canonical = known->second;
            return kOk;
        }
    }
    std::error_code ec;
    *canonical = std::filesystem::canonical(path, ec).string();
    if (ec) return kIoError;
    m_canonical[path] = *canonical;
    m_canonical[*canonical] = *canonical;
    return kOk;
}

int SqliteEngine::Acquire(const std::string& path, Table** out) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    m_lastFolder = folder.empty() ? "." : folder;
    if (int st = OpenConnection(m_lastFolder); st != kOk) return st;
    // Opening a file this process has open or kept costs one stat at most: a window
    // opens and closes its tables on every refresh.
    if (TableFile* kept = FindKept(path)) {
        ++kept->openCount;
        kept->lastUse = ++m_useClock;
        kept->lastAcquire = ++m_acquireClock;
        *out = kept;
        return kOk;
    }
    std::string canonical;
    if (int st = CanonicalTablePath(path, &canonical); st != kOk) return st;

    auto& slot = m_files[canonical];
    if (!slot) {
        slot = std::make_unique<TableFile>();
        slot->engine = this;
        slot->path = canonical;
    }
    TableFile* file = slot.get();
    if (file->attached && file->openCount == 0 && FindKept(canonical) != file) Detach(file);
    if (!file->attached) {
        if (int st = Attach(file); st != kOk) {
            if (file->openCount == 0) m_files.erase(canonical);
            return st;
        }
        if (!ReuseKeptSchema(file)) {
            if (int st = ReadSchema(file); st != kOk) {
                if (file->openCount == 0) {
                    Detach(file);
                    m_files.erase(canonical);
                }
                return st;
            }
        }
    }
    ++file->openCount;
    file->lastUse = ++m_useClock;
    file->lastAcquire = ++m_acquireClock;
    *out = file;
    return kOk;
}

void SqliteEngine::Release(Table* table) {
    auto* file = static_cast<TableFile*>(table);
    // A file nobody has open stays attached, with its page cache and statements, so that
    // opening it again (a window refreshing its list) costs nothing; it is detached when
    // its slot is needed for another file, and checked for replacement when reopened.
    if (--file->openCount > 0) return;
    // The identity taken on attaching or reopening still holds unless this process wrote
    // since (its own write changes size and time). Were another process's commit missed
    // by keeping it, the reopening would only attach the file afresh.
    if (m_inTransaction)
        file->identifyAfterTransaction = true;
    else if (file->identityGeneration != m_writeGeneration)
        RememberIdentity(file);
}

void SqliteEngine::RememberIdentity(TableFile* file) {
    uint64_t id[4] = {};
    if (!Identify(file->path, id)) {
        Detach(file);
        return;
    }
    file->device = id[0];
    file->inode = id[1];
    file->size = id[2];
    file->modified = id[3];
    file->identityGeneration = m_writeGeneration;
}

void SqliteEngine::RememberIdentitiesAfterTransaction() {
    // While the transaction ran, its locks kept other processes from committing to the
    // files it read or wrote, so whatever changed them since their close was this process.
    std::vector<TableFile*> released;
    for (auto& [path, f] : m_files) {
        if (!f->identifyAfterTransaction) continue;
        f->identifyAfterTransaction = false;
        if (f->attached && f->openCount == 0 && f->identityGeneration != m_writeGeneration)
            released.push_back(f.get());
    }
    for (TableFile* f : released) RememberIdentity(f);
}

void SqliteEngine::NoteRollback() {
    ++m_writeGeneration;
    for (auto& [path, f] : m_files) ++f->readAheadEpoch;
}

int SqliteEngine::Ensure(TableFile* file) {
    file->lastUse = ++m_useClock;
    if (file->attached) return kOk;
    if (int st = Attach(file); st != kOk) return st;
    return ReadSchema(file);
}

int SqliteEngine::Prepare(const std::string& sql, sqlite3_stmt** stmt) {
    if (*stmt) return kOk;
    const int rc =
        sqlite3_prepare_v3(m_db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(*stmt);
        *stmt = nullptr;
        return ReadStatus(rc);
    }
    return kOk;
}

sqlite3_stmt* SqliteEngine::Forward(TableFile* file, int key) {
    if (file->forward[key]) return file->forward[key];  // the text is made once per attach
    const std::string k = KeyColumn(key);
    Prepare("SELECT id, data FROM " + file->alias + ".rec WHERE (" + k +
                ", id) > (?1, ?2) ORDER BY " + k + ", id LIMIT ?3",
            &file->forward[key]);
    return file->forward[key];
}

sqlite3_stmt* SqliteEngine::Backward(TableFile* file, int key) {
    if (file->backward[key]) return file->backward[key];
    const std::string k = KeyColumn(key);
    Prepare("SELECT id, data FROM " + file->alias + ".rec WHERE (" + k +
                ", id) < (?1, ?2) ORDER BY " + k + " DESC, id DESC LIMIT ?3",
            &file->backward[key]);
    return file->backward[key];
}

sqlite3_stmt* SqliteEngine::InsertStatement(TableFile* file) {
    if (file->insert) return file->insert;  // the statement text is made once per attach
    const Schema& schema = file->schema;
    std::string columns, values;
    for (size_t k = 0; k < schema.keys.size(); ++k) {
        columns += KeyColumn(k) + ", ";
        values += "?" + std::to_string(k + 1) + ", ";
    }
    Prepare("INSERT INTO " + file->alias + ".rec(" + columns + "data) VALUES(" + values + "?" +
                std::to_string(schema.keys.size() + 1) + ")",
            &file->insert);
    return file->insert;
}

sqlite3_stmt* SqliteEngine::UpdateStatement(TableFile* file) {
    if (file->update) return file->update;
    const Schema& schema = file->schema;
    std::string sets;
    for (size_t k = 0; k < schema.keys.size(); ++k)
        sets += KeyColumn(k) + " = ?" + std::to_string(k + 1) + ", ";
    sets += "data = ?" + std::to_string(schema.keys.size() + 1);
    Prepare("UPDATE " + file->alias + ".rec SET " + sets + " WHERE id = ?" +
                std::to_string(schema.keys.size() + 2),
            &file->update);
    return file->update;
}

void SqliteEngine::BindKeys(sqlite3_stmt* stmt, const Schema& schema, const uint8_t* record,
                            std::vector<std::string>& keep) {
    keep.resize(schema.keys.size());
    for (size_t k = 0; k < schema.keys.size(); ++k) {
        keep[k] = OrderedKeyOfRecord(schema.keys[k], record);
        sqlite3_bind_blob(stmt, int(k + 1), keep[k].data(), int(keep[k].size()), SQLITE_STATIC);
    }
    sqlite3_bind_blob(stmt, int(schema.keys.size() + 1), record, int(schema.recordLength),
                      SQLITE_STATIC);
}

// The change counter is read while the statement still holds the file's shared lock, so it
// belongs to the rows read.
// Steps a statement whose columns are (id, data), adding each row to `rows`; `onFirstRow`
// runs once the first row is there. Returns the status: kNotATableFile for a record of
// another length than the table's.
template <typename OnFirstRow>
int SqliteEngine::AddRows(sqlite3_stmt* stmt, Batch* rows, OnFirstRow onFirstRow) {
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        if (rows->empty()) onFirstRow();
        const void* data = sqlite3_column_blob(stmt, 1);
        if (!data || uint32_t(sqlite3_column_bytes(stmt, 1)) != rows->recordLength)
            return kNotATableFile;
        rows->Add(sqlite3_column_int64(stmt, 0), data);
    }
    return rc == SQLITE_DONE ? kOk : ReadStatus(rc);
}

int SqliteEngine::Fetch(Table* table, int key, int dir, const std::string& ordered, int64_t id,
                        uint32_t limit, Batch* rows, uint64_t* stamp) {
    auto* file = static_cast<TableFile*>(table);
    if (int st = Ensure(file); st != kOk) return st;
    sqlite3_stmt* stmt = dir > 0 ? Forward(file, key) : Backward(file, key);
    if (!stmt) return kIoError;
    if (ordered.empty())
        sqlite3_bind_zeroblob(stmt, 1, 0);
    else
        sqlite3_bind_blob(stmt, 1, ordered.data(), int(ordered.size()), SQLITE_STATIC);
    sqlite3_bind_int64(stmt, 2, id);
    sqlite3_bind_int64(stmt, 3, limit);
    rows->Clear();
    rows->recordLength = file->schema.recordLength;
    rows->ids.reserve(limit);
    rows->data.reserve(size_t(limit) * rows->recordLength);
    // The counter is read while the statement holds the file's read lock.
    const int status = AddRows(stmt, rows, [&] { *stamp = file->ChangeCounter(); });
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    return status;
}

int SqliteEngine::FetchById(Table* table, int64_t id, Batch* rows) {
    auto* file = static_cast<TableFile*>(table);
    if (int st = Ensure(file); st != kOk) return st;
    if (int st = Prepare("SELECT data FROM " + file->alias + ".rec WHERE id = ?1", &file->direct);
        st != kOk)
        return st;
    sqlite3_bind_int64(file->direct, 1, id);
    const int rc = sqlite3_step(file->direct);
    rows->Clear();
    rows->recordLength = file->schema.recordLength;
    bool wrongLength = false;
    if (rc == SQLITE_ROW) {
        const void* data = sqlite3_column_blob(file->direct, 0);
        wrongLength =
            !data || uint32_t(sqlite3_column_bytes(file->direct, 0)) != rows->recordLength;
        if (!wrongLength) rows->Add(id, data);
    }
    sqlite3_reset(file->direct);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return ReadStatus(rc);
    return wrongLength ? kNotATableFile : kOk;
}

int SqliteEngine::FetchAfterId(Table* table, int64_t afterId, uint32_t limit, Batch* rows) {
    auto* file = static_cast<TableFile*>(table);
    if (int st = Ensure(file); st != kOk) return st;
    sqlite3_stmt* stmt = nullptr;
    const std::string sql =
        "SELECT id, data FROM " + file->alias + ".rec WHERE id > ?1 ORDER BY id LIMIT ?2";
    int rc = sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr);
    if (rc != SQLITE_OK) return ReadStatus(rc);
    sqlite3_bind_int64(stmt, 1, afterId);
    sqlite3_bind_int64(stmt, 2, limit);
    rows->Clear();
    rows->recordLength = file->schema.recordLength;
    const int status = AddRows(stmt, rows, [] {});
    sqlite3_finalize(stmt);
    return status;
}

int SqliteEngine::Insert(Table* table, const uint8_t* record, int64_t* id) {
    auto* file = static_cast<TableFile*>(table);
    if (int st = Ensure(file); st != kOk) return st;
    sqlite3_stmt* stmt = InsertStatement(file);
    if (!stmt) return kIoError;
    std::vector<std::string> keys;
    BindKeys(stmt, file->schema, record, keys);
    const int rc = sqlite3_step(stmt);
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    if (rc != SQLITE_DONE) return WriteStatus(rc);
    NoteWrite(file);
    *id = sqlite3_last_insert_rowid(m_db);
    return kOk;
}

int SqliteEngine::Update(Table* table, int64_t id, const uint8_t* record, bool* found) {
    auto* file = static_cast<TableFile*>(table);
    if (int st = Ensure(file); st != kOk) return st;
    sqlite3_stmt* stmt = UpdateStatement(file);
    if (!stmt) return kIoError;
    std::vector<std::string> keys;
    BindKeys(stmt, file->schema, record, keys);
    sqlite3_bind_int64(stmt, int(file->schema.keys.size() + 2), id);
    const int rc = sqlite3_step(stmt);
    *found = sqlite3_changes(m_db) != 0;
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    if (rc != SQLITE_DONE) return WriteStatus(rc);
    NoteWrite(file);
    return kOk;
}

int SqliteEngine::Delete(Table* table, int64_t id) {
    auto* file = static_cast<TableFile*>(table);
    if (int st = Ensure(file); st != kOk) return st;
    if (int st = Prepare("DELETE FROM " + file->alias + ".rec WHERE id = ?1", &file->remove);
        st != kOk)
        return st;
    sqlite3_bind_int64(file->remove, 1, id);
    const int rc = sqlite3_step(file->remove);
    sqlite3_reset(file->remove);
    if (rc != SQLITE_DONE) return WriteStatus(rc);
    NoteWrite(file);
    return kOk;
}

int SqliteEngine::Stat(Table* table, uint32_t* count) {
    auto* file = static_cast<TableFile*>(table);
    if (int st = Ensure(file); st != kOk) return st;
    if (!count) return kOk;
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(m_db, ("SELECT count(*) FROM " + file->alias + ".rec").c_str(), -1,
                                &stmt, nullptr);
    if (rc == SQLITE_OK && (rc = sqlite3_step(stmt)) == SQLITE_ROW)
        *count = uint32_t(sqlite3_column_int64(stmt, 0));
    sqlite3_finalize(stmt);
    return rc == SQLITE_ROW ? kOk : ReadStatus(rc);
}

int SqliteEngine::ReadStatus(int rc) {
    switch (rc & 0xff) {
        case SQLITE_OK:
        case SQLITE_ROW:
        case SQLITE_DONE:
            return kOk;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return kFileLocked;
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
            return kNotATableFile;
        case SQLITE_FULL:
            return kDiskFull;
        case SQLITE_READONLY:
        case SQLITE_PERM:
            return kAccessDenied;
        default:
            return kIoError;
    }
}

int SqliteEngine::WriteStatus(int rc) {
    if ((rc & 0xff) == SQLITE_CONSTRAINT) return kDuplicateKey;
    const int status = ReadStatus(rc);
    if (status != kOk && m_inTransaction && sqlite3_get_autocommit(m_db)) {
        // SQLite rolled the whole transaction back (disk full, I/O error): the caller's
        // abort that follows only has to acknowledge it.
        m_inTransaction = false;
        m_rolledBackByError = true;
        NoteRollback();
    }
    return status;
}

int SqliteEngine::Control(sqlite3_stmt** stmt, const char* sql) {
    // Prepared once: a transaction per screen load makes parsing them a visible cost.
    if (!*stmt) {
        const int rc = sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, stmt, nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_finalize(*stmt);
            *stmt = nullptr;
            return rc;
        }
    }
    const int rc = sqlite3_step(*stmt);
    sqlite3_reset(*stmt);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

void SqliteEngine::FinalizeControls() {
    for (sqlite3_stmt** stmt : {&m_beginStmt, &m_commitStmt, &m_rollbackStmt}) {
        sqlite3_finalize(*stmt);
        *stmt = nullptr;
    }
}

int SqliteEngine::Begin() {
    if (m_inTransaction) return kTransactionActive;
    m_rolledBackByError = false;
    m_ownChanges.clear();
    if (!m_db) {
        // Nothing opened yet, so the folder of the working file is not known: the
        // transaction begins when the first file is opened.
        m_inTransaction = true;
        m_beginPending = true;
        return kOk;
    }
    RehomeIfWorkingFileGone();
    if (!m_db) return kIoError;
    const int rc = Control(&m_beginStmt, "BEGIN");
    if (rc != SQLITE_OK) return ReadStatus(rc);
    m_inTransaction = true;
    m_rolledBackByError = false;
    return kOk;
}

int SqliteEngine::Commit() {
    if (!m_inTransaction) return m_rolledBackByError ? kIoError : kNoTransaction;
    if (m_beginPending) {  // no file was opened inside it: nothing to commit
        m_beginPending = false;
        m_inTransaction = false;
        return kOk;
    }
    const int rc = Control(&m_commitStmt, "COMMIT");
    if (rc != SQLITE_OK) {
        if (!sqlite3_get_autocommit(m_db)) return ReadStatus(rc);  // still open: the caller aborts
        m_inTransaction = false;
        NoteRollback();
        RememberIdentitiesAfterTransaction();
        return ReadStatus(rc);
    }
    m_inTransaction = false;
    TellOwnCommits();
    RememberIdentitiesAfterTransaction();
    return kOk;
}

int SqliteEngine::Abort() {
    if (!m_inTransaction) {
        if (m_rolledBackByError) {
            m_rolledBackByError = false;
            return kOk;
        }
        return kNoTransaction;
    }
    if (m_beginPending) {
        m_beginPending = false;
        m_inTransaction = false;
        return kOk;
    }
    Control(&m_rollbackStmt, "ROLLBACK");
    m_inTransaction = false;
    NoteRollback();
    RememberIdentitiesAfterTransaction();
    return kOk;
}

int SqliteEngine::Create(const std::string& path, const Schema& schema, bool overwrite) {
    if (m_inTransaction) return kTransactionActive;
    std::error_code ec;
    const bool exists = std::filesystem::exists(path, ec);
    if (exists && !overwrite) return kFileExists;
    if (exists) {
        const std::string canonical = std::filesystem::canonical(path, ec).string();
        auto it = m_files.find(canonical);
        if (it != m_files.end()) {
            if (it->second->openCount > 0) return kFileLocked;
            Detach(it->second.get());
            m_files.erase(it);
        }
    }
    // Built beside the target and renamed over it, so a crash leaves the old file or
    // the whole new one.
    const std::string temp = path + ".new-" + std::to_string(::getpid());
    ::unlink(temp.c_str());
    sqlite3* db = nullptr;
    int rc =
        sqlite3_open_v2(temp.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc == SQLITE_OK) rc = Exec(db, "PRAGMA page_size=" + std::to_string(PageSizeFor(schema)));
    // The new file is private until the rename, so it needs no journal; one fsync
    // before the rename makes it durable.
    if (rc == SQLITE_OK) rc = Exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;");
    if (rc == SQLITE_OK) rc = Exec(db, "BEGIN;" + CreateSql(schema) + "COMMIT;");
    sqlite3_close(db);
    if (rc == SQLITE_OK) {
        const int fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || ::fsync(fd) != 0) rc = SQLITE_IOERR;
        if (fd >= 0) ::close(fd);
    }
    // SQLite makes its files 0644 less the umask; a table file is written by every account
    // of the clinic's group, so it gets what the umask leaves of 0666 instead.
    if (rc == SQLITE_OK && ::chmod(temp.c_str(), NewFileMode()) != 0) rc = SQLITE_IOERR;
    if (rc != SQLITE_OK) {
        ::unlink(temp.c_str());
        return ReadStatus(rc) == kOk ? kIoError : ReadStatus(rc);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return errno == ENOENT ? kFileNotFound : kIoError;
    }
    const std::string folder = std::filesystem::path(path).parent_path().string();
    const int dfd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return kOk;
}

int SqliteEngine::Check(const std::string& path, std::string* report) {
    report->clear();
    Table* table = nullptr;
    int st = Acquire(path, &table);
    auto* file = static_cast<TableFile*>(table);
    if (st != kOk) {
        *report = st == kNotATableFile  ? "not a table file"
                  : st == kFileNotFound ? "file not found"
                                        : "cannot open (status " + std::to_string(st) + ")";
        return st;
    }
    auto fail = [&](int status, std::string text) {
        if (report->empty()) *report = std::move(text);
        return status;
    };
    st = kOk;
    sqlite3_stmt* stmt = nullptr;
    // A check that could not run to its end (another process holds the file) has not shown
    // the file sound: it gives the read's status, never kOk.
    const int prepared = sqlite3_prepare_v2(
        m_db, ("PRAGMA " + file->alias + ".integrity_check").c_str(), -1, &stmt, nullptr);
    if (prepared == SQLITE_OK) {
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            const char* line = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
            if (line && std::strcmp(line, "ok") != 0)
                st = fail(kNotATableFile, std::string("SQLite: ") + line);
        }
        if (rc != SQLITE_DONE) st = fail(LayoutReadStatus(rc), sqlite3_errmsg(m_db));
    } else {
        st = fail(LayoutReadStatus(prepared), sqlite3_errmsg(m_db));
    }
    sqlite3_finalize(stmt);
    stmt = nullptr;

    const Schema& schema = file->schema;
    std::string sql = "SELECT id, data";
    for (size_t k = 0; k < schema.keys.size(); ++k) sql += ", " + KeyColumn(k);
    sql += " FROM " + file->alias + ".rec";
    if (st == kOk && sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            const sqlite3_int64 id = sqlite3_column_int64(stmt, 0);
            const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(stmt, 1));
            if (uint32_t(sqlite3_column_bytes(stmt, 1)) != schema.recordLength) {
                st = fail(kNotATableFile, "record " + std::to_string(id) + " has the wrong length");
                continue;
            }
            for (size_t k = 0; k < schema.keys.size(); ++k) {
                const std::string want = OrderedKeyOfRecord(schema.keys[k], data);
                const int n = sqlite3_column_bytes(stmt, int(2 + k));
                const void* have = sqlite3_column_blob(stmt, int(2 + k));
                if (size_t(n) != want.size() || std::memcmp(have, want.data(), want.size()) != 0)
                    st = fail(kNotATableFile, "record " + std::to_string(id) + ": key " +
                                                  std::to_string(k) + " disagrees with the record");
            }
        }
        if (rc != SQLITE_DONE) st = fail(ReadStatus(rc), sqlite3_errmsg(m_db));
    } else if (st == kOk) {
        st = fail(kNotATableFile, sqlite3_errmsg(m_db));
    }
    sqlite3_finalize(stmt);
    Release(file);
    return st;
}

void SqliteEngine::Shutdown() {
    m_beginPending = false;
    if (!m_db) {
        m_inTransaction = false;  // only a transaction begun before any file was opened
        return;
    }
    if (m_inTransaction) Exec(m_db, "ROLLBACK");
    m_inTransaction = false;
    for (auto& [path, file] : m_files) Detach(file.get());
    m_files.clear();
    m_canonical.clear();
    m_knownSchemas.clear();
    FinalizeControls();
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_workingFile.Remove();
}

}  // namespace recman
