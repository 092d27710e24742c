// Rows of a large server table found by a unique key, kept in the process with the
// version (xmin) they had, so that looking the same row up again (the patient of each bar
// of a day shown again) costs no round trip. Whether a kept row still stands is the
// server's to say: one statement checks every kept row of a table by its id and version.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <unordered_map>
#include <vector>

#include "recman/schema.h"

namespace recman {

class LookupCache {
public:
    struct Row {
        int64_t id = 0;
        int64_t xmin = 0;
        std::string record;
        // When the row is known to stand: the table's count of other sessions' commits
        // when it was read or last checked, when that was (steady clock, microseconds),
        // and the transaction that found it in its snapshot.
        uint64_t changes = 0;
        int64_t checkedAt = 0;
        uint64_t validIn = 0;
        int64_t usedAt = 0;  // when it was kept or last served a lookup
        // The chain of quiet snapshots (as TableCache::quietSnapshot) it stands in: the
        // cache's current one, or none.
        uint64_t quietChain = 0;
    };

    // The row whose unique key `key` has the ordered value `ordered`, or null.
    Row* Find(int key, const std::string& ordered);
    // Keeps a row found by its key; forgets everything first when the cache is full.
    Row& Keep(int key, const std::string& ordered, Row row);
    // The row found by Find served a lookup at `now`.
    void Used(int key, const std::string& ordered, int64_t now);
    void Clear();
    // The version kept of the row with the id (0 when none is kept).
    int64_t VersionOf(int64_t id) const;
    bool Empty() const { return m_rows.empty(); }

    // Takes in this process's committed write of the row `id`: its new record (null when it
    // was deleted) under version `xmin`. A kept row stays only when the transaction that
    // wrote it had found it standing in its snapshot; otherwise it is forgotten.
    void TakeIn(const Schema& schema, int64_t id, const std::string* record, int64_t xmin,
                uint64_t transaction, int64_t now);

    // The ids and versions of the kept rows worth the server's check: the most recently
    // used, up to a number whose check costs little. The others stay kept, unchecked, and
    // are read again if they are looked up.
    void IdsAndVersions(std::vector<int64_t>* ids, std::vector<int64_t>* xmins,
                        std::vector<std::string>* quietSnapshots = nullptr) const;
    // After a commit whose transaction saw `snapshot`: the rows it found standing, and those
    // that stood at that snapshot already, stand at `next` as long as nothing else runs.
    void SnapshotPassed(uint64_t transaction, const std::string& snapshot, const std::string& next);
    // The transaction's snapshot is the quiet one the cache has reached: every row standing
    // there stands in the transaction.
    void QuietSnapshotStands(uint64_t transaction, const std::string& snapshot) {
        if (!snapshot.empty() && snapshot == m_quietSnapshot) m_quietStandsIn = transaction;
    }
    // Whether the row is known to stand in the transaction's snapshot.
    bool StandsIn(const Row& row, uint64_t transaction) const {
        return transaction != 0 &&
               (row.validIn == transaction ||
                (m_quietStandsIn == transaction && row.quietChain == m_quietChain));
    }
    // After the server's check of the rows `checkedIds`: forgets those it named as changed
    // or gone, and marks the other checked rows as standing (with the table's count of
    // commits, the time and transaction).
    void Checked(const std::vector<int64_t>& checkedIds, const std::vector<int64_t>& changedIds,
                 uint64_t changes, int64_t now, uint64_t transaction);

    int64_t usedAt = 0;  // when a kept row last served a lookup

private:
    // Every call of a transaction costs what the rows it touches cost, not what the cache
    // holds: rows are found by id through m_keysOfId, by recent use through m_recent (most
    // recent first), and the rows found standing in one transaction are listed.
    struct Entry {
        Row row;
        std::list<Entry*>::iterator recent;
    };
    static std::string MapKey(int key, const std::string& ordered);
    void Erase(const std::string& mapKey);
    void EraseId(int64_t id);
    void NoteStanding(const std::string& mapKey, uint64_t transaction);
    const std::string& QuietSnapshotOf(const Row& row) const;

    std::unordered_map<std::string, Entry> m_rows;  // by key number and ordered key
    std::unordered_map<int64_t, std::vector<std::string>> m_keysOfId;
    std::list<Entry*> m_recent;
    uint64_t m_standingTransaction = 0;
    std::vector<std::string> m_standing;  // found standing in m_standingTransaction
    // The current chain of quiet snapshots and the snapshot it has reached.
    uint64_t m_quietChain = 1;
    std::string m_quietSnapshot;
    uint64_t m_quietStandsIn = 0;  // the transaction whose snapshot it is
};

}  // namespace recman
