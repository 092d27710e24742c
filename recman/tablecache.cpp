// The whole-table copy of a small server table and its reads in key order.
#include "recman/tablecache.h"

#include <algorithm>

namespace recman {

void TableCache::Fill(const Schema& schema, std::vector<int64_t> ids, std::vector<int64_t> xmins,
                      std::string records) {
    m_recordLength = schema.recordLength;
    m_ids = std::move(ids);
    m_xmins = std::move(xmins);
    m_records = std::move(records);
    const uint32_t rows = uint32_t(m_ids.size());
    m_keys.assign(schema.keys.size(), {});
    m_order.assign(schema.keys.size(), {});
    m_byId.clear();
    for (uint32_t r = 0; r < rows; ++r) m_byId[m_ids[r]] = r;
    for (size_t k = 0; k < schema.keys.size(); ++k) {
        std::vector<std::string>& keys = m_keys[k];
        keys.reserve(rows);
        for (uint32_t r = 0; r < rows; ++r)
            keys.push_back(OrderedKeyOfRecord(
                schema.keys[k],
                reinterpret_cast<const uint8_t*>(m_records.data()) + size_t(r) * m_recordLength));
        std::vector<uint32_t>& order = m_order[k];
        order.resize(rows);
        for (uint32_t r = 0; r < rows; ++r) order[r] = r;
        std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
            if (keys[a] != keys[b]) return keys[a] < keys[b];
            return m_ids[a] < m_ids[b];
        });
    }
    m_filled = true;
}

void TableCache::Drop() {
    m_filled = false;
    m_ids.clear();
    m_xmins.clear();
    m_records.clear();
    m_keys.clear();
    m_order.clear();
    m_byId.clear();
    changes = 0;
    validIn = 0;
    checkedAt = 0;
    usedAt = 0;
    quietSnapshot.clear();
}

// std::string compares its bytes as unsigned char, which is the servers' bytea order.
bool TableCache::Before(int key, uint32_t row, const std::string& ordered, int64_t id) const {
    const std::string& have = m_keys[size_t(key)][row];
    if (have != ordered) return have < ordered;
    return m_ids[row] < id;
}

void TableCache::Fetch(int key, int dir, const std::string& ordered, int64_t id, uint32_t limit,
                       Batch* rows) const {
    rows->Clear();
    rows->recordLength = m_recordLength;
    const std::vector<uint32_t>& order = m_order[size_t(key)];
    // The first row in order that is not before-or-at the position, and the first that is
    // not before it.
    const auto after = std::partition_point(order.begin(), order.end(), [&](uint32_t row) {
        return Before(key, row, ordered, id) ||
               (m_keys[size_t(key)][row] == ordered && m_ids[row] == id);
    });
    if (dir > 0) {
        for (auto it = after; it != order.end() && rows->size() < limit; ++it)
            rows->Add(m_ids[*it], m_records.data() + size_t(*it) * m_recordLength);
        return;
    }
    const auto atOrAfter = std::partition_point(
        order.begin(), order.end(), [&](uint32_t row) { return Before(key, row, ordered, id); });
    for (auto it = atOrAfter; it != order.begin() && rows->size() < limit;) {
        --it;
        rows->Add(m_ids[*it], m_records.data() + size_t(*it) * m_recordLength);
    }
}

void TableCache::FetchById(int64_t id, Batch* rows) const {
    rows->Clear();
    rows->recordLength = m_recordLength;
    const auto it = m_byId.find(id);
    if (it != m_byId.end()) rows->Add(id, m_records.data() + size_t(it->second) * m_recordLength);
}

}  // namespace recman
