// A small table kept whole in this process: the server engine's copy of a master table
// (doctors, categories, staff, ...), so that looking a row up or stepping through the
// table costs no round trip. It answers the cursors' batch reads in the same key order as
// the server: (ordered key, id) as unsigned bytes.
//
// Each row carries the server's xmin (the transaction that wrote that version of it), so
// that the server can tell in one statement whether the table still holds exactly these
// rows: a row changed or added since has another xmin, a row gone leaves the count short.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "recman/engine.h"
#include "recman/schema.h"

namespace recman {

class TableCache {
public:
    // Keeps the rows (id, xmin and record, in any order) under the table's keys.
    void Fill(const Schema& schema, std::vector<int64_t> ids, std::vector<int64_t> xmins,
              std::string records);
    void Drop();
    bool Filled() const { return m_filled; }

    // As Engine::Fetch: at most `limit` rows after (dir > 0) or before (dir < 0) the
    // position (ordered, id) on key `key`, nearest first. REQUIRES: Filled().
    void Fetch(int key, int dir, const std::string& ordered, int64_t id, uint32_t limit,
               Batch* rows) const;
    // The row with the id into `rows`, or nothing. REQUIRES: Filled().
    void FetchById(int64_t id, Batch* rows) const;

    const std::vector<int64_t>& Ids() const { return m_ids; }
    const std::vector<int64_t>& Xmins() const { return m_xmins; }
    const std::string& Records() const { return m_records; }

    // The owner's bookkeeping of when the rows are known to be current: the count of
    // other sessions' commits to the table when they were read, the transaction that found
    // them to be its snapshot's rows, when the server last said they were the table's, and
    // when they last served a read (steady clock, microseconds).
    uint64_t changes = 0;
    uint64_t validIn = 0;
    // The snapshot (as the server writes it) that a later transaction sees when nothing but
    // this process's own transactions has run since the rows were last known to be the
    // table's: the server skips its check of them then. Empty when there is none.
    std::string quietSnapshot;
    int64_t checkedAt = 0;
    int64_t usedAt = 0;

private:
    bool Before(int key, uint32_t row, const std::string& ordered, int64_t id) const;

    bool m_filled = false;
    uint32_t m_recordLength = 0;
    std::vector<int64_t> m_ids;
    std::vector<int64_t> m_xmins;
    std::string m_records;
    std::vector<std::vector<std::string>> m_keys;  // [key][row]: the row's ordered key
    std::vector<std::vector<uint32_t>> m_order;    // [key]: rows in (ordered key, id) order
    std::unordered_map<int64_t, uint32_t> m_byId;
};

}  // namespace recman
