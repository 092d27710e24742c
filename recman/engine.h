// The narrow interface between BTRCALL's cursors and a storage engine.
//
// BTRCALL keeps the cursors: their place in a key order, their read-ahead and the rules
// of each operation. An engine keeps the tables: it finds a table by the path a program
// opens it by, reads batches of rows in key order, writes rows and runs transactions.
// Positions are (ordered key, id) pairs: the ordered form of the key (schema.h) and the
// row's id, which is also what get position hands out. Every engine orders rows by
// (ordered key, id) as unsigned bytes, so duplicates come back in insertion order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "recman/schema.h"

namespace recman {

class Engine;

// Records read by one statement, stored end to end.
struct Batch {
    std::vector<int64_t> ids;
    std::string data;
    uint32_t recordLength = 0;

    size_t size() const { return ids.size(); }
    bool empty() const { return ids.empty(); }
    const char* Record(size_t i) const { return data.data() + i * recordLength; }
    void Clear() {
        ids.clear();
        data.clear();
    }
    void Add(int64_t id, const void* record) {
        ids.push_back(id);
        data.append(static_cast<const char*>(record), recordLength);
    }
};

// A table as the cursors see it. Each engine derives its own; the engine owns it, and it
// lives while any cursor holds it (from Acquire to Release).
struct Table {
    Engine* engine = nullptr;
    Schema schema;
    uint16_t pageSize = 0;
    // Bumped on every write of this process to this table and on every rollback: a
    // cursor's read-ahead of this table taken before is no longer trusted. Per table, so
    // that copying records from one table into another keeps the source's read-ahead.
    uint64_t readAheadEpoch = 0;
};

// Every operation returns a status (recman::Status); none throws.
class Engine {
public:
    virtual ~Engine() = default;

    // Opens (or finds) the table at `path`; the caller holds one reference until Release.
    virtual int Acquire(const std::string& path, Table** table) = 0;
    virtual void Release(Table* table) = 0;

    // Reads into `rows` at most `limit` rows that follow the position (ordered, id) on key
    // `key` (dir > 0, in key order) or precede it (dir < 0, nearest first). *stamp gets what
    // Current needs to tell later whether these rows still stand.
    virtual int Fetch(Table* table, int key, int dir, const std::string& ordered, int64_t id,
                      uint32_t limit, Batch* rows, uint64_t* stamp) = 0;
    // True while rows read at `stamp` are still what the table holds as far as other
    // processes go (this process's own writes bump readAheadEpoch). Costs no query.
    virtual bool Current(const Table* table, uint64_t stamp) = 0;
    // The record with the id, into `rows`; `rows` stays empty when there is none.
    virtual int FetchById(Table* table, int64_t id, Batch* rows) = 0;
    // Reads into `rows` at most `limit` rows whose id follows `afterId`, in id order (the
    // order they were inserted in), for copying a table whole.
    virtual int FetchAfterId(Table* table, int64_t afterId, uint32_t limit, Batch* rows) = 0;

    // REQUIRES for the writes: `record` holds schema.recordLength bytes.
    virtual int Insert(Table* table, const uint8_t* record, int64_t* id) = 0;
    // *found is false (and the status kOk) when no row has the id any more.
    virtual int Update(Table* table, int64_t id, const uint8_t* record, bool* found) = 0;
    virtual int Delete(Table* table, int64_t id) = 0;
    // Makes sure the table's layout is current; counts its records when `count` is not null.
    virtual int Stat(Table* table, uint32_t* count) = 0;

    // Makes an empty table (replacing one of that name only when `overwrite`). The embedded
    // engine refuses inside a transaction (kTransactionActive); on a server the table goes
    // with the transaction's commit or abort.
    virtual int Create(const std::string& path, const Schema& schema, bool overwrite) = 0;
    virtual int Check(const std::string& path, std::string* report) = 0;

    virtual int Begin() = 0;
    virtual int Commit() = 0;
    virtual int Abort() = 0;
    virtual bool InTransaction() const = 0;

    // Until the open transaction ends, its writes may wait to go out with the next statement
    // that needs an answer (a read or the commit), and report their failure there. An engine
    // that writes at once ignores it.
    virtual void DeferWrites() {}
    // Has the rows whose unique key `key` has one of the ordered values at hand, so that the
    // get-equals that follow cost nothing more. A hint: an engine may ignore it.
    virtual int Prefetch(Table* /*table*/, int /*key*/,
                         const std::vector<std::string>& /*ordered*/) {
        return 0;
    }
    // Reads what Fetch(table, key, dir, ordered, id, limit) would, together with the next
    // statement that goes out, so that this Fetch costs nothing later in the open
    // transaction. A hint: an engine may ignore it.
    virtual int AskAhead(Table* /*table*/, int /*key*/, int /*dir*/, const std::string& /*ordered*/,
                         int64_t /*id*/, uint32_t /*limit*/) {
        return 0;
    }
    // An id an engine handed out for a row whose insert has not gone out yet becomes the
    // row's id (sending what waits); other ids stay as they are.
    virtual int ResolveId(Table* /*table*/, int64_t* /*id*/) { return 0; }

    virtual void SetBusyTimeout(int ms) = 0;
    // Closes every table and connection; the engine can be used again afterwards.
    virtual void Shutdown() = 0;
};

}  // namespace recman
