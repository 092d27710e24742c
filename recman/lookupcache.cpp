// The rows of a large server table kept by their unique keys.
#include "recman/lookupcache.h"

#include <algorithm>

namespace recman {
namespace {
// Rows kept per table before everything is forgotten and kept afresh: a day's or a week's
// patients many times over, far from a whole patient file.
constexpr size_t kMaxRows = 5000;
// Rows checked at once: a busy day's patients, with room to spare.
constexpr size_t kMaxChecked = 256;
}  // namespace

std::string LookupCache::MapKey(int key, const std::string& ordered) {
    std::string k(1, char(key));
    return k + ordered;
}

LookupCache::Row* LookupCache::Find(int key, const std::string& ordered) {
    const auto it = m_rows.find(MapKey(key, ordered));
    return it == m_rows.end() ? nullptr : &it->second.row;
}

LookupCache::Row& LookupCache::Keep(int key, const std::string& ordered, Row row) {
    if (m_rows.size() >= kMaxRows) Clear();
    const std::string mapKey = MapKey(key, ordered);
    Erase(mapKey);
    m_keysOfId[row.id].push_back(mapKey);
    const uint64_t validIn = row.validIn;
    Entry& entry = m_rows[mapKey];
    entry.row = std::move(row);
    m_recent.push_front(&entry);
    entry.recent = m_recent.begin();
    if (validIn) NoteStanding(mapKey, validIn);
    return entry.row;
}

void LookupCache::Used(int key, const std::string& ordered, int64_t now) {
    const auto it = m_rows.find(MapKey(key, ordered));
    if (it == m_rows.end()) return;
    it->second.row.usedAt = now;
    m_recent.splice(m_recent.begin(), m_recent, it->second.recent);
}

void LookupCache::Clear() {
    m_rows.clear();
    m_keysOfId.clear();
    m_recent.clear();
    m_standing.clear();
    m_quietStandsIn = 0;
}

void LookupCache::Erase(const std::string& mapKey) {
    const auto it = m_rows.find(mapKey);
    if (it == m_rows.end()) return;
    const auto keys = m_keysOfId.find(it->second.row.id);
    if (keys != m_keysOfId.end()) {
        std::vector<std::string>& list = keys->second;
        list.erase(std::remove(list.begin(), list.end(), mapKey), list.end());
        if (list.empty()) m_keysOfId.erase(keys);
    }
    m_recent.erase(it->second.recent);
    m_rows.erase(it);
}

void LookupCache::EraseId(int64_t id) {
    const auto keys = m_keysOfId.find(id);
    if (keys == m_keysOfId.end()) return;
    const std::vector<std::string> mapKeys = keys->second;
    for (const std::string& mapKey : mapKeys) Erase(mapKey);
}

void LookupCache::NoteStanding(const std::string& mapKey, uint64_t transaction) {
    if (transaction != m_standingTransaction) {
        m_standing.clear();
        m_standingTransaction = transaction;
    }
    m_standing.push_back(mapKey);
}

const std::string& LookupCache::QuietSnapshotOf(const Row& row) const {
    static const std::string none;
    return row.quietChain == m_quietChain ? m_quietSnapshot : none;
}

void LookupCache::TakeIn(const Schema& schema, int64_t id, const std::string* record, int64_t xmin,
                         uint64_t transaction, int64_t now) {
    const auto keys = m_keysOfId.find(id);
    if (keys == m_keysOfId.end()) return;
    std::vector<std::pair<int, Row>> moved;
    for (const std::string& mapKey : keys->second) {
        Row& row = m_rows.at(mapKey).row;
        if (record && StandsIn(row, transaction)) moved.emplace_back(uint8_t(mapKey[0]), row);
    }
    EraseId(id);
    for (auto& [key, row] : moved) {
        row.validIn = transaction;
        row.record = *record;
        row.xmin = xmin;
        row.checkedAt = now;
        const std::string ordered = OrderedKeyOfRecord(
            schema.keys[size_t(key)], reinterpret_cast<const uint8_t*>(record->data()));
        Keep(key, ordered, std::move(row));
    }
}

int64_t LookupCache::VersionOf(int64_t id) const {
    const auto keys = m_keysOfId.find(id);
    if (keys == m_keysOfId.end() || keys->second.empty()) return 0;
    return m_rows.at(keys->second.front()).row.xmin;
}

void LookupCache::SnapshotPassed(uint64_t transaction, const std::string& snapshot,
                                 const std::string& next) {
    // The rows that stood at `snapshot` go on standing at `next`; a chain that broke off
    // leaves its rows behind, standing nowhere that can be presumed.
    if (snapshot.empty() || snapshot != m_quietSnapshot) ++m_quietChain;
    m_quietSnapshot = next;
    m_quietStandsIn = 0;
    if (transaction != m_standingTransaction) return;
    for (const std::string& mapKey : m_standing) {
        const auto it = m_rows.find(mapKey);
        if (it != m_rows.end() && it->second.row.validIn == transaction)
            it->second.row.quietChain = m_quietChain;
    }
}

void LookupCache::IdsAndVersions(std::vector<int64_t>* ids, std::vector<int64_t>* xmins,
                                 std::vector<std::string>* quietSnapshots) const {
    ids->clear();
    xmins->clear();
    if (quietSnapshots) quietSnapshots->clear();
    // A row kept under two keys is named twice, which the check takes as once.
    for (const Entry* entry : m_recent) {
        if (ids->size() >= kMaxChecked) break;
        const Row& row = entry->row;
        ids->push_back(row.id);
        xmins->push_back(row.xmin);
        if (quietSnapshots) quietSnapshots->push_back(QuietSnapshotOf(row));
    }
}

void LookupCache::Checked(const std::vector<int64_t>& checkedIds,
                          const std::vector<int64_t>& changedIds, uint64_t changes, int64_t now,
                          uint64_t transaction) {
    for (int64_t id : changedIds) EraseId(id);
    for (int64_t id : checkedIds) {
        const auto keys = m_keysOfId.find(id);
        if (keys == m_keysOfId.end()) continue;
        for (const std::string& mapKey : keys->second) {
            Row& row = m_rows.at(mapKey).row;
            row.changes = changes;
            row.checkedAt = now;
            row.validIn = transaction;
            NoteStanding(mapKey, transaction);
        }
    }
}

}  // namespace recman
