// The embedded engine: table files in the database folder, each a SQLite database of its
// own, reached through one SQLite connection per process with the files attached; the
// attachment limit, transactions, and the prepared statements of each file.
//
// The main database of the connection is a private, empty working file beside the first
// table file the process opens (in the temporary folder when that folder is read-only).
// It only exists so that SQLite can write the super-journal that makes a commit across
// several attached files atomic, next to the files it belongs to; it is removed at
// shutdown, and by the next process to open its folder when this one is killed.
#pragma once

#include <sqlite3.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "recman/engine.h"
#include "recman/schema.h"
#include "recman/workingfiles.h"

namespace recman {

// One table file known to this process. Several cursors (open position blocks) may
// share it; it is attached to the connection while any of them needs it.
struct TableFile : Table {
    std::string path;   // canonical absolute path
    std::string alias;  // schema name while attached
    int openCount = 0;
    bool attached = false;  // stays attached after the last close until its slot is needed
    // The file as it stood when it was attached or last let go after a write of this
    // process (device, inode, size, modification time): a kept file that differs on
    // reopening is attached afresh.
    uint64_t device = 0, inode = 0, size = 0, modified = 0;
    // The engine's write generation when that identity was taken (0: never): a release
    // takes it again only after a write of this process.
    uint64_t identityGeneration = 0;
    uint64_t lastUse = 0;      // operation clock of the last use
    uint64_t lastAcquire = 0;  // open clock of the last open
    // Let go inside a transaction: its identity is taken again when the transaction ends,
    // since this process's own commit changes the file after the close.
    bool identifyAfterTransaction = false;

    // First bytes of the file, mapped read-only: the change counter that SQLite bumps
    // on every commit tells a cursor whether its read-ahead is still current without
    // taking a lock. Null when the file could not be mapped.
    const volatile uint8_t* header = nullptr;

    // Prepared statements, made on first use and finalized on detach.
    std::vector<sqlite3_stmt*> forward;   // per key: rows after (key, id), in key order
    std::vector<sqlite3_stmt*> backward;  // per key: rows before (key, id), in reverse order
    sqlite3_stmt* insert = nullptr;
    sqlite3_stmt* update = nullptr;
    sqlite3_stmt* remove = nullptr;
    sqlite3_stmt* direct = nullptr;

    // The identity (as taken on attaching), change counter and schema cookie at the time
    // the keys were read.
    bool schemaStamped = false;
    uint64_t schemaIdentity[4] = {};
    uint32_t schemaCounter = 0, schemaCookie = 0;

    uint32_t ChangeCounter() const;
    uint32_t SchemaCookie() const;
};

class SqliteEngine final : public Engine {
public:
    static SqliteEngine& Get();

    int Acquire(const std::string& path, Table** table) override;
    void Release(Table* table) override;
    int Fetch(Table* table, int key, int dir, const std::string& ordered, int64_t id,
              uint32_t limit, Batch* rows, uint64_t* stamp) override;
    // The change counter read while the batch was read is still the file's.
    bool Current(const Table* table, uint64_t stamp) override {
        const auto* file = static_cast<const TableFile*>(table);
        return file->header && file->ChangeCounter() == stamp;
    }
    int FetchById(Table* table, int64_t id, Batch* rows) override;
    int FetchAfterId(Table* table, int64_t afterId, uint32_t limit, Batch* rows) override;
    int Insert(Table* table, const uint8_t* record, int64_t* id) override;
    int Update(Table* table, int64_t id, const uint8_t* record, bool* found) override;
    int Delete(Table* table, int64_t id) override;
    int Stat(Table* table, uint32_t* count) override;
    int Create(const std::string& path, const Schema& schema, bool overwrite) override;
    int Check(const std::string& path, std::string* report) override;
    int Begin() override;
    int Commit() override;
    int Abort() override;
    bool InTransaction() const override { return m_inTransaction; }
    void SetBusyTimeout(int ms) override;
    void Shutdown() override;

    int SetWorkingFolder(const std::string& folder);
    uint64_t AttachmentsMade() const { return m_attachmentsMade; }

private:
    SqliteEngine() = default;
    // Makes sure the file is attached; may detach the least recently used file outside
    // a transaction. Returns kFileTableFull when the limit is reached inside one.
    int Ensure(TableFile* file);
    // Bumped on every write by this process and on every abort.
    void NoteWrite(TableFile* file) {
        ++m_writeGeneration;
        ++file->readAheadEpoch;
        NoteOwnChange(file);
    }
    // Statement helpers (attach the file first).
    int Prepare(const std::string& sql, sqlite3_stmt** stmt);
    sqlite3_stmt* Forward(TableFile* file, int key);
    sqlite3_stmt* Backward(TableFile* file, int key);
    sqlite3_stmt* InsertStatement(TableFile* file);
    sqlite3_stmt* UpdateStatement(TableFile* file);
    // Binds the ordered keys of `record` as ?1..?n and the record as ?n+1; `keep` holds the
    // keys until the statement has run.
    static void BindKeys(sqlite3_stmt* stmt, const Schema& schema, const uint8_t* record,
                         std::vector<std::string>& keep);
    // Turns an SQLite result of a write into a status; notes an automatic rollback.
    int WriteStatus(int rc);
    int ReadStatus(int rc);
    // Steps a statement whose columns are (id, data) into `rows`, running `onFirstRow` once
    // the first row is there; kNotATableFile for a record of another length.
    template <typename OnFirstRow>
    int AddRows(sqlite3_stmt* stmt, Batch* rows, OnFirstRow onFirstRow);

    // Opens the connection with its working file in folder; begins a transaction
    // asked for before the connection existed.
    int OpenConnection(const std::string& folder);
    // Outside a transaction: opens the connection afresh in the folder of the last file
    // opened when its working file is gone.
    void RehomeIfWorkingFileGone();
    // Runs BEGIN, COMMIT or ROLLBACK through its kept statement; an SQLite result code.
    int Control(sqlite3_stmt** stmt, const char* sql);
    void FinalizeControls();
    int Attach(TableFile* file);
    bool Detach(TableFile* file);  // false when SQLite refuses (the file is in the transaction)
    bool FreeSlot();
    TableFile* FindKept(const std::string& path);
    // The canonical path of an existing regular file; kFileNotFound when there is none,
    // kNotATableFile for a folder or device.
    int CanonicalTablePath(const std::string& path, std::string* canonical);
    // Records the file's identity as it stands now, as kept files are compared against.
    // Detaches it when it cannot be read.
    void RememberIdentity(TableFile* file);
    // After a commit or rollback: the files let go during the transaction.
    void RememberIdentitiesAfterTransaction();
    // A rollback undid writes to files unknown here: every read-ahead is dropped.
    void NoteRollback();
    int ReadSchema(TableFile* file);
    void KeepSchema(const TableFile& file);
    bool ReuseKeptSchema(TableFile* file);
    void MapHeader(TableFile* file);
    static bool Identify(const std::string& path, uint64_t out[4]);
    int AttachedCount() const;
    // This process's own commits, for the change watch (owncommits.cpp): a write notes its
    // file, and a commit tells the counters it left in the files it changed.
    void NoteOwnChange(TableFile* file);
    void TellOwnCommits();

    sqlite3* m_db = nullptr;
    WorkingFile m_workingFile;
    std::string m_lastFolder;     // folder of the file last opened
    std::string m_workingFolder;  // chosen folder of the working file; empty: beside the tables
    bool m_beginPending = false;  // begun before the connection existed
    sqlite3_stmt* m_beginStmt = nullptr;
    sqlite3_stmt* m_commitStmt = nullptr;
    sqlite3_stmt* m_rollbackStmt = nullptr;
    std::map<std::string, std::unique_ptr<TableFile>> m_files;  // by canonical path
    std::map<std::string, std::string> m_canonical;             // path as given -> canonical
    // The keys of files let go of for their slot, reused when the file comes back unchanged.
    struct KnownSchema {
        uint64_t device = 0, inode = 0, size = 0, modified = 0;
        uint32_t changeCounter = 0, schemaCookie = 0;
        Schema schema;
        uint16_t pageSize = 0;
        std::array<uint64_t, 4> identity() const { return {device, inode, size, modified}; }
    };
    std::map<std::string, KnownSchema> m_knownSchemas;  // by canonical path
    uint64_t m_useClock = 0;
    uint64_t m_acquireClock = 0;
    uint64_t m_attachmentsMade = 0;
    std::vector<std::string> m_ownChanges;  // files the open transaction changed
    uint64_t m_writeGeneration = 1;
    uint64_t m_aliasCounter = 0;
    bool m_inTransaction = false;
    bool m_rolledBackByError = false;
    int m_busyTimeout = 5000;
};

// Installs the test hook's file layer as the default VFS (see recman::testing).
void InstallHookVfs();

}  // namespace recman
