// Small helpers shared by the record manager's tests: a 64-byte test record with a
// unique text key, a duplicate text key and a signed integer key, and thin wrappers
// over BTRCALL that read like the operations they perform.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "recman/recman.h"

namespace recman_test {

#pragma pack(push, 1)
// OFFSET SIZE FIELD  MEANING
//      0   11 id     key 0, unique text
//     11   21 group  key 1, text with duplicates
//     32    4 number key 2, signed integer with duplicates
//     36   28 note   not a key
struct Record {
    char id[11];
    char group[21];
    int32_t number;
    char note[28];
};
#pragma pack(pop)
static_assert(sizeof(Record) == 64);
static_assert(offsetof(Record, number) == 32);

// Copies text into a zero-filled field, cut to leave its terminating zero.
template <size_t N>
void PutField(char (&field)[N], const std::string& text) {
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

inline Record MakeRecord(const std::string& id, const std::string& group = "", int32_t number = 0,
                         const std::string& note = "") {
    Record r{};
    PutField(r.id, id);
    PutField(r.group, group);
    r.number = number;
    PutField(r.note, note);
    return r;
}

inline int CreateTestFile(const std::string& path) {
    struct {
        recman::FileSpec file;
        recman::KeySpec keys[3];
    } spec{};
    spec.file.recordLength = sizeof(Record);
    spec.file.keyCount = 3;
    spec.keys[0] = {1, 11, recman::kKeyExtendedType, 0, recman::kTypeText, 0, {}, 0, 0};
    spec.keys[1] = {12, 21, recman::kKeyExtendedType | recman::kKeyDuplicates, 0, recman::kTypeText, 0, {}, 1, 0};
    spec.keys[2] = {33, 4, recman::kKeyExtendedType | recman::kKeyDuplicates, 0, recman::kTypeInteger, 0, {}, 2, 0};
    uint32_t len = sizeof spec;
    char name[256] = {};
    std::strncpy(name, path.c_str(), 255);
    return BTRCALL(recman::kOpCreate, nullptr, &spec, &len, name, 255, recman::kCreateOverwrite);
}

// One open table file.
class Table {
public:
    explicit Table(const std::string& path, int8_t mode = 0) {
        char name[256] = {};
        std::strncpy(name, path.c_str(), 255);
        uint32_t len = 0;
        m_openStatus = BTRCALL(recman::kOpOpen, m_block, nullptr, &len, name, 255, mode);
    }
    ~Table() {
        if (m_openStatus == 0) Close();
    }
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    int OpenStatus() const { return m_openStatus; }
    void* Block() { return m_block; }
    int Close() {
        uint32_t len = 0;
        m_openStatus = -1;
        return BTRCALL(recman::kOpClose, m_block, nullptr, &len, m_key, 255, 0);
    }
    int Call(uint16_t op, int8_t key, const std::string& keyValue = "") {
        if (!keyValue.empty() || op == recman::kOpGetEqual || op == recman::kOpGetGreaterOrEqual ||
            op == recman::kOpGetGreater || op == recman::kOpGetLess || op == recman::kOpGetLessOrEqual) {
            std::memset(m_key, 0, sizeof m_key);
            std::memcpy(m_key, keyValue.data(), std::min(keyValue.size(), sizeof m_key));
        }
        uint32_t len = sizeof m_rec;
        return BTRCALL(op, m_block, &m_rec, &len, m_key, 255, key);
    }
    int CallInt(uint16_t op, int8_t key, int32_t value) {
        std::memset(m_key, 0, sizeof m_key);
        std::memcpy(m_key, &value, 4);
        uint32_t len = sizeof m_rec;
        return BTRCALL(op, m_block, &m_rec, &len, m_key, 255, key);
    }
    int Insert(const Record& r, int8_t key = 0) {
        m_rec = r;
        uint32_t len = sizeof m_rec;
        return BTRCALL(recman::kOpInsert, m_block, &m_rec, &len, m_key, 255, key);
    }
    int Update(const Record& r, int8_t key = 0) {
        m_rec = r;
        uint32_t len = sizeof m_rec;
        return BTRCALL(recman::kOpUpdate, m_block, &m_rec, &len, m_key, 255, key);
    }
    int Delete() {
        uint32_t len = 0;
        return BTRCALL(recman::kOpDelete, m_block, nullptr, &len, m_key, 255, 0);
    }
    // Ids of every record in the order of `key`, by First and Next.
    std::vector<std::string> Scan(int8_t key) {
        std::vector<std::string> ids;
        for (int st = Call(recman::kOpGetFirst, key); st == 0; st = Call(recman::kOpGetNext, key))
            ids.emplace_back(m_rec.id);
        return ids;
    }
    Record& Rec() { return m_rec; }
    const char* Key() const { return m_key; }

private:
    char m_block[recman::kPositionBlockSize] = {};
    char m_key[256] = {};
    Record m_rec{};
    int m_openStatus = -1;
};

}  // namespace recman_test
