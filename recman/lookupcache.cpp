// The rows of a large server table kept by their unique keys.
#include "recman/lookupcache.h"

#include <algorithm>
#include <unordered_set>

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
    return it == m_rows.end() ? nullptr : &it->second;
}

LookupCache::Row& LookupCache::Keep(int key, const std::string& ordered, Row row) {
    if (m_rows.size() >= kMaxRows) m_rows.clear();
    return m_rows[MapKey(key, ordered)] = std::move(row);
}

void LookupCache::TakeIn(const Schema& schema, int64_t id, const std::string* record, int64_t xmin,
                         uint64_t transaction, int64_t now) {
    std::vector<std::pair<int, Row>> moved;
    for (auto it = m_rows.begin(); it != m_rows.end();) {
        if (it->second.id != id) {
            ++it;
            continue;
        }
        if (record && it->second.validIn == transaction)
            moved.emplace_back(uint8_t(it->first[0]), std::move(it->second));
        it = m_rows.erase(it);
    }
    for (auto& [key, row] : moved) {
        row.record = *record;
        row.xmin = xmin;
        row.checkedAt = now;
        const std::string ordered = OrderedKeyOfRecord(
            schema.keys[size_t(key)], reinterpret_cast<const uint8_t*>(record->data()));
        Keep(key, ordered, std::move(row));
    }
}

int64_t LookupCache::VersionOf(int64_t id) const {
    for (const auto& [key, row] : m_rows)
        if (row.id == id) return row.xmin;
    return 0;
}

void LookupCache::SnapshotPassed(uint64_t transaction, const std::string& snapshot,
                                 const std::string& next) {
    for (auto& [key, row] : m_rows)
        if (row.validIn == transaction || (!snapshot.empty() && row.quietSnapshot == snapshot))
            row.quietSnapshot = next;
}

void LookupCache::IdsAndVersions(std::vector<int64_t>* ids, std::vector<int64_t>* xmins,
                                 std::vector<std::string>* quietSnapshots) const {
    std::vector<const Row*> rows;
    rows.reserve(m_rows.size());
    for (const auto& [key, row] : m_rows) rows.push_back(&row);
    if (rows.size() > kMaxChecked) {
        std::nth_element(rows.begin(), rows.begin() + kMaxChecked, rows.end(),
                         [](const Row* a, const Row* b) { return a->usedAt > b->usedAt; });
        rows.resize(kMaxChecked);
    }
    ids->clear();
    xmins->clear();
    if (quietSnapshots) quietSnapshots->clear();
    for (const Row* row : rows) {
        ids->push_back(row->id);
        xmins->push_back(row->xmin);
        if (quietSnapshots) quietSnapshots->push_back(row->quietSnapshot);
    }
}

void LookupCache::Checked(const std::vector<int64_t>& checkedIds,
                          const std::vector<int64_t>& changedIds, uint64_t changes, int64_t now,
                          uint64_t transaction) {
    const std::unordered_set<int64_t> checked(checkedIds.begin(), checkedIds.end());
    const std::unordered_set<int64_t> changed(changedIds.begin(), changedIds.end());
    for (auto it = m_rows.begin(); it != m_rows.end();) {
        if (changed.count(it->second.id)) {
            it = m_rows.erase(it);
            continue;
        }
        if (!checked.count(it->second.id)) {
            ++it;
            continue;
        }
        it->second.changes = changes;
        it->second.checkedAt = now;
        it->second.validIn = transaction;
        ++it;
    }
}

}  // namespace recman
