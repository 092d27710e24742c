#include "recman/askedreads.h"

#include <algorithm>
#include <limits>
#include <tuple>
#include <unordered_map>

namespace recman {
namespace {

// A save writes a handful of rows; a transaction that writes more reads from the server.
constexpr size_t kMostLaidWrites = 64;

// Where a row stands in a key's order: its ordered key, then its id as an insertion order
// (a provisional id counts after every numbered row).
struct Place {
    std::string key;
    int64_t order = 0;
    bool operator<(const Place& other) const {
        return std::tie(key, order) < std::tie(other.key, other.order);
    }
};

int64_t InsertionOrder(int64_t id) {
    return id < 0 && id != std::numeric_limits<int64_t>::min() ? -id : id;
}

Place PlaceOf(const KeyDef& key, const char* record, int64_t id) {
    return {OrderedKeyOfRecord(key, reinterpret_cast<const uint8_t*>(record)), InsertionOrder(id)};
}

}  // namespace

void AskedReads::Ask(Read read) {
    Entry entry;
    entry.read = std::move(read);
    m_entries.push_back(std::move(entry));
}

std::vector<size_t> AskedReads::Send() {
    std::vector<size_t> numbers;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].state != State::kQueued) continue;
        m_entries[i].state = State::kSent;
        numbers.push_back(i);
    }
    return numbers;
}

void AskedReads::Answered(size_t number, Batch rows) {
    Entry& entry = m_entries[number];
    if (entry.state != State::kSent) return;
    entry.rows = std::move(rows);
    entry.state = State::kAnswered;
}

void AskedReads::Failed(size_t number) { m_entries[number].state = State::kDropped; }

void AskedReads::NoteWrite(const std::string& table, int64_t id, const uint8_t* record,
                           uint32_t recordLength) {
    for (Entry& entry : m_entries) {
        if (entry.read.table != table ||
            (entry.state != State::kSent && entry.state != State::kAnswered))
            continue;
        if (entry.later.size() >= kMostLaidWrites) {
            entry.state = State::kDropped;
            continue;
        }
        Write write{id, record == nullptr, std::string()};
        if (record) write.record.assign(reinterpret_cast<const char*>(record), recordLength);
        entry.later.push_back(std::move(write));
    }
}

bool AskedReads::Serve(const std::string& table, const Schema& schema, int key, int dir,
                       const std::string& ordered, int64_t id, Batch* rows) {
    for (Entry& entry : m_entries) {
        const Read& r = entry.read;
        if (entry.state != State::kAnswered || r.table != table || r.key != key || r.dir != dir ||
            r.ordered != ordered || r.id != id)
            continue;
        entry.state = State::kDropped;
        return Lays(entry.rows, entry.later, schema, r, rows);
    }
    return false;
}

bool AskedReads::Lays(const Batch& answer, const std::vector<Write>& later, const Schema& schema,
                      const Read& read, Batch* rows) {
    const KeyDef& key = schema.keys[size_t(read.key)];
    const uint32_t length = schema.recordLength;
    if (answer.recordLength != length) return false;
    // A full answer covers the order up to its last row only: what lies beyond is unknown.
    const bool full = answer.size() >= read.limit;
    Place last;
    if (full && !answer.empty())
        last = PlaceOf(key, answer.Record(answer.size() - 1), answer.ids.back());
    const Place start{read.ordered, InsertionOrder(read.id)};

    std::unordered_map<int64_t, std::string> byId;
    for (size_t i = 0; i < answer.size(); ++i)
        byId[answer.ids[i]].assign(answer.Record(i), length);
    for (const Write& w : later) {
        if (w.removed)
            byId.erase(w.id);
        else
            byId[w.id] = w.record;
    }

    std::vector<std::tuple<Place, int64_t, const std::string*>> found;
    for (const auto& [rowId, record] : byId) {
        Place place = PlaceOf(key, record.data(), rowId);
        const bool inRange = read.dir > 0 ? start < place && !(full && last < place)
                                     : place < start && !(full && place < last);
        if (inRange) found.emplace_back(std::move(place), rowId, &record);
    }
    if (found.empty() && full) return false;
    std::sort(found.begin(), found.end(), [&read](const auto& a, const auto& b) {
        return read.dir > 0 ? std::get<0>(a) < std::get<0>(b) : std::get<0>(b) < std::get<0>(a);
    });
    rows->Clear();
    rows->recordLength = length;
    for (const auto& [place, rowId, record] : found) rows->Add(rowId, record->data());
    return true;
}

}  // namespace recman
