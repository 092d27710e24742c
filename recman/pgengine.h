// The server engine: the tables of a database folder kept in a PostgreSQL database, over
// one libpq connection per process.
//
// A table FOLDER/NAME.BTR is the server table t_name (the file name in lower case). Its
// rows hold the record bytes, one bytea column per key with the key's ordered form (so
// that ORDER BY gives the embedded engine's order: unsigned bytes, shorter first) and an
// id from an identity column, which orders duplicates by insertion and is what get
// position hands out. The record length and keys of every table are kept in the catalogue
// tables recman_table and recman_key, as each table file keeps its own.
//
// Every statement goes out in pipeline mode, together with what must precede it (the
// transaction's BEGIN, the table's write lock, a statement's preparation), so each call
// costs one round trip at most. A trigger on every table notifies the channel
// recman_changes with the table's name at each write; the engine listens, and a
// notification from another session tells the cursors that their read-ahead of that table
// is stale and the change watch that the table changed.
//
// A transaction that asks for it (DeferWrites) keeps its writes in the process until the
// next statement that needs the server's answer, and sends them in front of it: an insert
// hands out a provisional id (a ticket) that becomes the row's id when the server answers.
// Such writes are sent in forms that fail loudly (a key taken, a row gone), so that a
// failure stops the pipeline, and the commit behind it, on the server.
//
// What this process commits to a table kept whole, or to rows kept of a large table, is
// put into what is kept with the transaction's own version, instead of reading it again.
//
// Concurrency follows the embedded engine. Writers of one table take turns: the first
// write to a table in a transaction (or a write outside one) takes a transaction-scoped
// advisory lock on it, waited for up to the busy timeout (lock_timeout), so another
// writer gets kFileLocked as it would on a busy table file; readers never wait.
// Transactions run SERIALIZABLE, so a check made inside a transaction (no overlapping
// reservation, no such chart number) still holds at its commit: two workstations that
// check and then write cannot both pass. A serialisation failure or a deadlock gives
// kFileLocked, which callers retry. A statement that fails inside a transaction ends it on
// the server: the operations that follow fail with the same status until the caller aborts,
// so a save is whole or absent.
#pragma once

#include <libpq-fe.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "recman/askedreads.h"
#include "recman/engine.h"
#include "recman/lookupcache.h"
#include "recman/tablecache.h"

namespace recman {

// A write of the open transaction, as the tables kept in the process take it in at the
// commit; and, while `waiting`, as it is still to be sent.
struct PgWrite {
    enum class Kind { kInsert, kUpdate, kDelete };
    Kind kind = Kind::kInsert;
    int64_t id = 0;  // for an insert not sent yet, its ticket
    std::string record;
};

struct PgTable : Table {
    std::string name;  // the server table, t_...
    uint32_t oid = 0;  // names its prepared statements and its write lock
    int openCount = 0;
    // Commits of other sessions to it that this process has been told of; stamps read-ahead.
    uint64_t changes = 0;
    // The catalogue changed since the layout was read: read it again on the next open.
    bool layoutStale = false;
    uint64_t lockedInTransaction = 0;   // serial of the transaction that holds its write lock
    uint64_t writtenInTransaction = 0;  // serial of the last transaction that wrote to it
    // Too many rows to keep whole in this process.
    bool large = false;
    // Read whole ahead of its first use: the next transaction checks it with the others.
    bool readAhead = false;
    TableCache cache;     // the whole table, when it is small
    LookupCache lookups;  // rows found by a unique key, when it is large
    // This transaction's writes to it, in order, for what is kept to take them in.
    std::vector<PgWrite> ownWrites;
    bool ownWritesLost = false;  // too many, or some could not be told: drop what is kept

    // Statement texts and names, made when the layout is read.
    std::vector<std::string> forwardSql, backwardSql, forwardName, backwardName;
    std::vector<std::string> prefetchSql, prefetchName;  // by key: the rows of many values
    std::string insertSql, updateSql, deleteSql, byIdSql, countSql, fillSql, validateSql,
        lookupCheckSql, afterIdSql, insertLoudSql, updateLoudSql;
    std::string insertName, updateName, deleteName, byIdName, countName, fillName, validateName,
        lookupCheckName, afterIdName, insertLoudName, updateLoudName;
};

// One statement of a round trip: prepared under `name` (made on first use on the
// connection) or, without a name, sent as it is. Parameters are binary.
struct PgStatement {
    static constexpr int kMaxParams = kMaxKeys + 4;
    const std::string* name = nullptr;
    const std::string* sql = nullptr;
    const char* text = nullptr;  // for statements without a kept text (BEGIN, COMMIT)
    int paramCount = 0;
    std::array<Oid, kMaxParams> types{};
    std::array<const char*, kMaxParams> values{};
    std::array<int, kMaxParams> lengths{};
    bool textResult = false;

    void Add(Oid type, const std::string& value) { Add(type, value.data(), int(value.size())); }
    void Add(Oid type, const char* value, int length) {
        types[paramCount] = type;
        values[paramCount] = value;
        lengths[paramCount] = length;
        ++paramCount;
    }
};

class PgEngine final : public Engine {
public:
    explicit PgEngine(std::string conninfo);
    ~PgEngine() override;
    PgEngine(const PgEngine&) = delete;
    PgEngine& operator=(const PgEngine&) = delete;

    int Acquire(const std::string& path, Table** table) override;
    void Release(Table* table) override;
    int Fetch(Table* table, int key, int dir, const std::string& ordered, int64_t id,
              uint32_t limit, Batch* rows, uint64_t* stamp) override;
    bool Current(const Table* table, uint64_t stamp) override;
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
    void DeferWrites() override;
    int ResolveId(Table* table, int64_t* id) override;
    int Prefetch(Table* table, int key, const std::vector<std::string>& ordered) override;
    int AskAhead(Table* table, int key, int dir, const std::string& ordered, int64_t id,
                 uint32_t limit) override;
    void SetBusyTimeout(int ms) override;
    void Shutdown() override;

    // The server table that the table file at `path` stands for.
    static std::string TableNameFor(const std::string& path);

    // For the change watch: connects (and listens) when not connected yet, on behalf of
    // the database folder `folder` (named in messages).
    int Listen(const std::string& folder);
    // Reads the notifications that have arrived, without waiting.
    void PollNotifications();
    // Commits of other sessions to the server table `name` this process has been told of.
    uint64_t ChangesOf(const std::string& name) const;
    // Bumped on every new connection: notifications sent meanwhile were missed.
    uint64_t Connections() const { return m_connections; }
    bool Connected() const { return m_conn != nullptr; }

private:
    // Opens the connection when there is none (and none was lost inside the transaction).
    int Connect(const std::string& folder);
    void Disconnect();
    // Sends the statements and one sync, reads every result: one round trip. With
    // joinTransaction, inside a transaction, begins it on the server first when it has not
    // begun there yet. results[i] gets the result of statements[i] (the caller clears
    // them). Returns the status of the first failure.
    int RoundTrip(PgStatement* statements, size_t count, PGresult** results,
                  bool joinTransaction = true);
    int StatusOf(PGresult* result);
    void ConnectionLost();
    void DrainNotifications();
    // Reads the table's layout from the catalogue; kFileNotFound when it has none.
    int ReadLayout(PgTable* table);
    // The layout of `table` from `count` rows of `result` from row `first` on.
    int TakeLayout(PgTable* table, PGresult* result, int first, int count);
    // Reads every table's layout in one statement, kept until the catalogue changes.
    void ReadCatalogue();
    void ForgetCatalogue();
    void MakeStatements(PgTable* table);
    // A write with the table's write lock taken first when this transaction has not.
    int Write(PgTable* table, PgStatement& statement, PGresult** result);
    // Whether the table's rows may be read from its cache now; fills the cache first when
    // the table is small and has none (one round trip).
    int UseCache(PgTable* table, bool* usable);
    bool CacheCurrent(const PgTable* table) const;
    // Checks what is kept of these tables (whole, or the rows by id) in one round trip, when
    // the transaction's snapshot did not confirm it.
    int CheckKept(const std::vector<PgTable*>& tables,
                  const std::vector<std::pair<PgTable*, std::vector<int64_t>>>& rows);
    // Asks the server whether the table still holds exactly the kept rows (one round trip).
    int CheckCache(PgTable* table, bool* same);
    // Reads the whole table into its cache, or marks it large (one round trip); the first
    // time, every table small on disk comes along.
    int FillCache(PgTable* table);
    int TakeFill(PgTable* table, PGresult* result, uint64_t changes);
    // The server table `name` as this engine keeps it, made (with no layout yet) if new.
    PgTable* TableNamed(const std::string& name);
    // The tables small enough to read whole ahead, once per reading of the catalogue.
    std::vector<PgTable*> SmallTablesToFill(const PgTable* asked);
    // A get-equal on a unique key answered by a row kept from before, when it still stands
    // (asking the server about every kept row of the table at most once).
    int LookUpKept(PgTable* table, int key, const std::string& ordered, Batch* rows, bool* found);
    bool LookupCurrent(const PgTable* table, const LookupCache::Row& row) const;
    // Asks the server which kept rows of the table changed (one round trip).
    int CheckLookups(PgTable* table);
    void KeepLookup(PgTable* table, int key, const std::string& ordered, PGresult* result,
                    uint64_t changes, int row = 0);
    // Notes a write for what is kept of the table: not served again inside this transaction,
    // taken in at its commit.
    void NoteOwnWrite(PgTable* table, PgWrite::Kind kind, int64_t id, const uint8_t* record);
    // After the commit: puts the transaction's writes (version `xmin`) into what is kept, or
    // forgets what is kept of the tables it wrote when the version is not known (-1).
    void TakeInOwnWrites(int64_t xmin);
    void ForgetOwnWrites();
    // After a commit of a transaction that saw m_snapshot, wrote as `xid` (0: wrote nothing;
    // -1: unknown): what is kept and stood at that snapshot stands at the next quiet one.
    void PassSnapshot(int64_t xid);
    bool HasOwnWritesToTakeIn() const;
    // Writes waiting to go out: appended to a round trip's statements (with the write lock
    // of each table first written), and their answers read.
    struct WaitingStatements;
    void SendWaiting(WaitingStatements* out);
    int ReadWaiting(WaitingStatements* sent, size_t index, PGresult* result);
    int Deferred(PgTable* table, PgWrite write);
    // Rows asked for by Prefetch, read with the next round trip.
    struct QueuedPrefetch {
        std::string table;  // the server table's name
        int key;
        std::string values;  // the key values, a bytea[] in binary form
        uint64_t changes;    // the table's count of other sessions' commits when asked
    };
    void KeepPrefetched(const QueuedPrefetch& asked, PGresult* result);
    bool IsTicket(int64_t id) const;
    bool Deferring() const;
    int Run(const std::string& sql);  // one statement, text result ignored
    void EndTransaction();
    // After a rollback: the tables the transaction made are gone again, and what this
    // process knew of them (their layouts and kept rows) goes with them.
    void ForgetTablesCreatedInTransaction();
    std::string Where(const std::string& folder) const;

    std::string m_conninfo;
    std::string m_folder;  // the database folder last opened through this engine
    PGconn* m_conn = nullptr;
    int m_backendPid = 0;
    std::set<std::string> m_prepared;  // statement names prepared on this connection
    PGresult* m_catalogue = nullptr;   // every table's layout, while it is known to stand
    bool m_prefilled = false;          // the small tables of m_catalogue were read ahead
    std::map<std::string, std::pair<int, int>> m_catalogueRows;  // by table: first row, count
    std::map<std::string, std::unique_ptr<PgTable>> m_tables;    // by server table name
    std::map<std::string, uint64_t> m_changes;                   // by server table name
    uint64_t m_connections = 0;
    bool m_inTransaction = false;
    bool m_begun = false;  // BEGIN has gone to the server
    uint64_t m_transactionSerial = 0;
    // Server tables made (or made again) by Create in the open transaction.
    std::set<std::string> m_createdInTransaction;
    // Nonzero once a statement of the open transaction failed or its connection was lost:
    // the server has ended it, and every operation fails with this status until the abort.
    int m_transactionFailure = 0;
    // The transaction ended by a failure before the caller's commit or abort.
    bool m_rolledBackByError = false;
    // Writes of the open transaction not sent yet, in order, and the ids their tickets became.
    struct Waiting {
        PgTable* table;
        PgWrite write;
    };
    std::vector<QueuedPrefetch> m_prefetches;
    AskedReads m_asked;  // positionings of the open transaction read ahead
    std::string m_snapshot;  // the open transaction's snapshot, once it has one
    // The snapshot the next transaction sees when no other session has taken a transaction
    // id since this process's last commit; empty when another's work is known or possible.
    std::string m_quietNext;
    bool m_wroteInTransaction = false;  // the open transaction has a transaction id
    bool m_deferWrites = false;
    std::vector<Waiting> m_waiting;
    std::map<int64_t, int64_t> m_ticketIds;
    int64_t m_tickets = 0;
    int m_busyTimeout = 5000;
    bool m_timeoutPending = false;  // lock_timeout to be set before the next statement
    int64_t m_lastPoll = 0;         // steady clock, microseconds
};

// Round trips made by every server engine of this process.
uint64_t ServerRoundTrips();

}  // namespace recman
