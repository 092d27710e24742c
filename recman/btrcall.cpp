// BTRCALL: the operations on position blocks (cursors) and the read-ahead that makes a
// scan cost about as much as stepping one statement.
//
// A cursor never keeps an SQLite statement running between calls, because a running
// statement holds the file's shared lock and another workstation could not commit.
// Instead a Next or Previous fetches a small batch of the following records in one
// statement and serves the next calls from it while the batch is still current: no
// write of this process since (the engine's write generation) and no commit of another
// process since (the file's change counter, read from a mapping of its first page).
// The batch grows while it is used up and shrinks back when something invalidates it,
// so a delete-as-you-scan loop does not fetch records it will throw away.
#include <cstring>
#include <limits>
#include <unordered_map>

#include "recman/engine.h"
#include "recman/recman.h"

namespace recman {
namespace {

constexpr uint32_t kBlockMagic = 0x42504d52;  // "RMPB"
constexpr int64_t kMinId = std::numeric_limits<int64_t>::min();
constexpr int64_t kMaxId = std::numeric_limits<int64_t>::max();
constexpr uint32_t kFirstBatch = 4;
constexpr uint32_t kMaxBatch = 256;

// Records fetched by one statement, stored end to end.
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

struct Cursor {
    TableFile* file = nullptr;
    bool readOnly = false;

    int key = 0;               // key path of the position
    bool hasPosition = false;  // (ordered, id) names a place in the key order
    bool current = false;      // ... and a record stands there (false after a delete)
    int64_t id = 0;
    std::string ordered;        // ordered key of the position; stale while orderedStale
    bool orderedStale = false;  // computed only when a fetch needs it
    // The current record: ahead's record number recordAt while it is still there, so a
    // scan copies each record once; `record` once the batch is let go.
    long recordAt = -1;
    std::string record;

    // Read-ahead: rows after the position in direction aheadDir (+1 or -1).
    Batch ahead;
    Batch spare;  // the buffer of the next fetch; the two swap, so memory is reused
    size_t aheadNext = 0;
    int aheadDir = 0;
    int aheadKey = -1;
    uint64_t aheadEpoch = 0;  // the file's readAheadEpoch when the read-ahead was taken
    uint32_t aheadCounter = 0;
    uint32_t nextBatch = kFirstBatch;
};

#pragma pack(push, 1)
// What BTRCALL keeps in the caller's 128-byte position block.
//
// OFFSET SIZE FIELD   MEANING
//      0    4 magic   kBlockMagic while the block names an open cursor
//      4    4 cursor  number of the cursor in this process
//      8    8 process nonce of the process that opened it
struct BlockHeader {
    uint32_t magic;
    uint32_t cursor;
    uint64_t process;
};
#pragma pack(pop)
static_assert(sizeof(BlockHeader) == 16);
static_assert(sizeof(BlockHeader) <= kPositionBlockSize);

class Cursors {
public:
    static Cursors& Get() {
        static Cursors* cursors = new Cursors;
        return *cursors;
    }

    Cursor* Find(const void* block) {
        if (!block) return nullptr;
        BlockHeader h;
        std::memcpy(&h, block, sizeof h);
        if (h.magic != kBlockMagic || h.process != m_nonce) return nullptr;
        auto it = m_cursors.find(h.cursor);
        return it == m_cursors.end() ? nullptr : &it->second;
    }

    Cursor* Add(void* block) {
        const uint32_t id = ++m_next;
        BlockHeader h{kBlockMagic, id, m_nonce};
        std::memset(block, 0, kPositionBlockSize);
        std::memcpy(block, &h, sizeof h);
        return &m_cursors[id];
    }

    void Remove(void* block) {
        BlockHeader h;
        std::memcpy(&h, block, sizeof h);
        m_cursors.erase(h.cursor);
        std::memset(block, 0, kPositionBlockSize);
    }

private:
    Cursors() : m_nonce((uint64_t(::getpid()) << 32) ^ uint64_t(reinterpret_cast<uintptr_t>(this))) {}
    std::unordered_map<uint32_t, Cursor> m_cursors;
    uint32_t m_next = 0;
    uint64_t m_nonce;
};

std::string KeyText(const void* keyBuf, uint8_t keyLen) {
    const char* p = static_cast<const char*>(keyBuf);
    size_t n = 0;
    while (n < keyLen && p[n]) ++n;
    return std::string(p, n);
}

const char* CurrentRecord(const Cursor& c) {
    return c.recordAt >= 0 ? c.ahead.Record(size_t(c.recordAt)) : c.record.data();
}

// Copies the current record out of the read-ahead before the batch is cleared.
void Materialize(Cursor& c) {
    if (c.recordAt < 0) return;
    c.record.assign(c.ahead.Record(size_t(c.recordAt)), c.ahead.recordLength);
    c.recordAt = -1;
}

bool AheadIsCurrent(const Cursor& c, int key, int dir) {
    return c.aheadDir == dir && c.aheadKey == key && c.aheadNext < c.ahead.size() &&
           c.aheadEpoch == c.file->readAheadEpoch && c.file->header &&
           c.file->ChangeCounter() == c.aheadCounter;
}

// Runs one batch query from (ordered, id) in direction dir. The change counter is read
// while the statement still holds the file's shared lock, so it belongs to the rows read.
int Fetch(Cursor& c, int key, int dir, const std::string& ordered, int64_t id, uint32_t limit, Batch* rows) {
    Engine& engine = Engine::Get();
    if (int st = engine.Ensure(c.file); st != kOk) return st;
    sqlite3_stmt* stmt = dir > 0 ? engine.Forward(c.file, key) : engine.Backward(c.file, key);
    if (!stmt) return kIoError;
    if (ordered.empty())
        sqlite3_bind_zeroblob(stmt, 1, 0);
    else
        sqlite3_bind_blob(stmt, 1, ordered.data(), int(ordered.size()), SQLITE_STATIC);
    sqlite3_bind_int64(stmt, 2, id);
    sqlite3_bind_int64(stmt, 3, limit);
    rows->Clear();
    rows->recordLength = c.file->schema.recordLength;
    rows->ids.reserve(limit);
    rows->data.reserve(size_t(limit) * rows->recordLength);
    int rc;
    bool wrongLength = false;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        if (rows->empty()) c.aheadCounter = c.file->ChangeCounter();
        const void* data = sqlite3_column_blob(stmt, 1);
        if (!data || uint32_t(sqlite3_column_bytes(stmt, 1)) != rows->recordLength) {
            wrongLength = true;
            break;
        }
        rows->Add(sqlite3_column_int64(stmt, 0), data);
    }
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    if (wrongLength) return kNotATableFile;
    if (rc != SQLITE_DONE) return engine.ReadStatus(rc);
    return kOk;
}

// Makes `row` the cursor's current record on key path `key`, with the rest of `rows`
// (if any) kept as read-ahead in direction dir.
void Land(Cursor& c, int key, int dir, Batch& rows) {
    c.key = key;
    c.id = rows.ids.front();
    c.orderedStale = true;
    c.current = true;
    c.hasPosition = true;
    std::swap(c.ahead, rows);
    c.recordAt = 0;
    c.aheadNext = 1;
    c.aheadDir = dir;
    c.aheadKey = key;
    c.aheadEpoch = c.file->readAheadEpoch;
}

int Deliver(const Cursor& c, void* dataBuf, uint32_t* dataLen, void* keyBuf) {
    const uint32_t length = c.file->schema.recordLength;
    const uint32_t room = *dataLen;
    const char* record = CurrentRecord(c);
    std::memcpy(dataBuf, record, std::min(room, length));
    *dataLen = length;
    // The key buffer gets the key's segments as they stand in the record.
    char* out = static_cast<char*>(keyBuf);
    for (const Segment& s : c.file->schema.keys[c.key].segments) {
        std::memcpy(out, record + s.offset, s.length);
        out += s.length;
    }
    return room < length ? kDataBufferTooShort : kOk;
}

void Forget(Cursor& c) {
    Materialize(c);
    c.ahead.Clear();
    c.aheadNext = 0;
    c.aheadDir = 0;
}

int ValidKey(const Cursor& c, int8_t keyNum, uint8_t keyLen) {
    if (keyNum < 0 || size_t(keyNum) >= c.file->schema.keys.size()) return kInvalidKeyNumber;
    if (keyLen < c.file->schema.keys[keyNum].length) return kKeyBufferTooShort;
    return kOk;
}

// Positioning operations: key comparison against the key buffer, or first/last.
int Position(Cursor& c, uint16_t op, void* dataBuf, uint32_t* dataLen, void* keyBuf, uint8_t keyLen,
             int8_t keyNum) {
    if (int st = ValidKey(c, keyNum, keyLen); st != kOk) return st;
    const KeyDef& key = c.file->schema.keys[keyNum];
    std::string target;
    if (op != kOpGetFirst && op != kOpGetLast) target = OrderedKey(key, static_cast<const uint8_t*>(keyBuf));

    int dir = 1;
    int64_t from = kMinId;
    uint32_t limit = kFirstBatch;
    switch (op) {
        case kOpGetEqual: limit = 1; break;
        case kOpGetGreater: from = kMaxId; break;
        case kOpGetGreaterOrEqual: break;
        case kOpGetLess: dir = -1; break;
        case kOpGetLessOrEqual: dir = -1; from = kMaxId; break;
        case kOpGetFirst: break;
        case kOpGetLast: dir = -1; from = kMaxId; target.assign(key.length + 1, '\xff'); break;
    }
    Batch& rows = c.spare;
    if (int st = Fetch(c, keyNum, dir, target, from, limit, &rows); st != kOk) return st;
    if (rows.empty()) return op == kOpGetEqual ? kKeyNotFound : kEndOfFile;
    if (op == kOpGetEqual && OrderedKeyOfRecord(key, reinterpret_cast<const uint8_t*>(rows.Record(0))) != target)
        return kKeyNotFound;
    Land(c, keyNum, dir, rows);
    // Stepping on grows the batch from the one just read: after a get-equal, which is
    // mostly a lookup of its own, the first step reads a few rows rather than many.
    c.nextBatch = limit;
    return Deliver(c, dataBuf, dataLen, keyBuf);
}

int Step(Cursor& c, int dir, void* dataBuf, uint32_t* dataLen, void* keyBuf, uint8_t keyLen, int8_t keyNum) {
    if (int st = ValidKey(c, keyNum, keyLen); st != kOk) return st;
    if (!c.hasPosition) return kInvalidPositioning;
    if (keyNum != c.key) {
        // Changing the key path continues from the current record in the new key's order.
        c.key = keyNum;
        c.orderedStale = true;
        Forget(c);
    }
    if (AheadIsCurrent(c, keyNum, dir)) {
        const size_t i = c.aheadNext++;
        c.id = c.ahead.ids[i];
        c.recordAt = long(i);
        c.orderedStale = true;
        c.current = true;
        return Deliver(c, dataBuf, dataLen, keyBuf);
    }
    if (c.orderedStale) {
        c.ordered = OrderedKeyOfRecord(c.file->schema.keys[keyNum], reinterpret_cast<const uint8_t*>(CurrentRecord(c)));
        c.orderedStale = false;
    }
    // Grow the batch only when the last one was used up; anything else means the
    // caller is writing or turning around, and a large batch would be wasted.
    const bool usedUp = c.aheadDir == dir && c.aheadKey == keyNum && !c.ahead.empty() && c.aheadNext >= c.ahead.size();
    c.nextBatch = usedUp ? std::min(c.nextBatch * 4, kMaxBatch) : kFirstBatch;
    Batch& rows = c.spare;
    if (int st = Fetch(c, keyNum, dir, c.ordered, c.id, c.nextBatch, &rows); st != kOk) return st;
    if (rows.empty()) {
        // The position moves past the end: no current record to update or delete, and
        // stepping back finds the last (or first) record again.
        Forget(c);
        c.current = false;
        c.orderedStale = false;
        if (dir > 0) {
            c.ordered.assign(c.file->schema.keys[keyNum].length + 1, '\xff');
            c.id = kMaxId;
        } else {
            c.ordered.clear();
            c.id = kMinId;
        }
        return kEndOfFile;
    }
    Land(c, keyNum, dir, rows);
    return Deliver(c, dataBuf, dataLen, keyBuf);
}

void BindKeys(sqlite3_stmt* stmt, const Schema& schema, const uint8_t* record, std::vector<std::string>& keep) {
    keep.resize(schema.keys.size());
    for (size_t k = 0; k < schema.keys.size(); ++k) {
        keep[k] = OrderedKeyOfRecord(schema.keys[k], record);
        sqlite3_bind_blob(stmt, int(k + 1), keep[k].data(), int(keep[k].size()), SQLITE_STATIC);
    }
    sqlite3_bind_blob(stmt, int(schema.keys.size() + 1), record, int(schema.recordLength), SQLITE_STATIC);
}

std::string KeyColumns(const Schema& schema) {
    std::string s;
    for (size_t k = 0; k < schema.keys.size(); ++k) s += (k ? ", k" : "k") + std::to_string(k);
    return s;
}

int Insert(Cursor& c, void* dataBuf, uint32_t* dataLen, void* keyBuf, uint8_t keyLen, int8_t keyNum) {
    if (c.readOnly) return kAccessDenied;
    if (int st = ValidKey(c, keyNum, keyLen); st != kOk) return st;
    const Schema& schema = c.file->schema;
    if (*dataLen < schema.recordLength) return kDataBufferTooShort;
    Engine& engine = Engine::Get();
    if (int st = engine.Ensure(c.file); st != kOk) return st;
    if (!c.file->insert) {  // the statement text is made once per attach
        std::string values;
        for (size_t k = 0; k <= schema.keys.size(); ++k) values += (k ? ", ?" : "?") + std::to_string(k + 1);
        if (int st = engine.Prepare(c.file,
                                    "INSERT INTO " + c.file->alias + ".rec(" + KeyColumns(schema) +
                                        ", data) VALUES(" + values + ")",
                                    &c.file->insert);
            st != kOk)
            return st;
    }
    std::vector<std::string> keys;
    const auto* record = static_cast<const uint8_t*>(dataBuf);
    BindKeys(c.file->insert, schema, record, keys);
    const int rc = sqlite3_step(c.file->insert);
    sqlite3_reset(c.file->insert);
    sqlite3_clear_bindings(c.file->insert);
    if (rc != SQLITE_DONE) return engine.WriteStatus(rc);
    engine.NoteWrite(c.file);
    Batch& rows = c.spare;
    rows.Clear();
    rows.recordLength = schema.recordLength;
    rows.Add(sqlite3_last_insert_rowid(engine.Db()), record);
    Land(c, keyNum, 1, rows);
    Forget(c);
    uint32_t length = schema.recordLength;
    Deliver(c, dataBuf, &length, keyBuf);
    return kOk;
}

int Update(Cursor& c, void* dataBuf, uint32_t* dataLen, void* keyBuf, uint8_t keyLen, int8_t keyNum) {
    if (c.readOnly) return kAccessDenied;
    if (!c.current) return kInvalidPositioning;
    if (keyNum < 0 || size_t(keyNum) >= c.file->schema.keys.size()) keyNum = int8_t(c.key);
    if (int st = ValidKey(c, keyNum, keyLen); st != kOk) return st;
    const Schema& schema = c.file->schema;
    if (*dataLen < schema.recordLength) return kDataBufferTooShort;
    Engine& engine = Engine::Get();
    if (int st = engine.Ensure(c.file); st != kOk) return st;
    if (!c.file->update) {
        std::string sets;
        for (size_t k = 0; k < schema.keys.size(); ++k)
            sets += "k" + std::to_string(k) + " = ?" + std::to_string(k + 1) + ", ";
        sets += "data = ?" + std::to_string(schema.keys.size() + 1);
        if (int st = engine.Prepare(c.file,
                                    "UPDATE " + c.file->alias + ".rec SET " + sets + " WHERE id = ?" +
                                        std::to_string(schema.keys.size() + 2),
                                    &c.file->update);
            st != kOk)
            return st;
    }
    std::vector<std::string> keys;
    const auto* record = static_cast<const uint8_t*>(dataBuf);
    BindKeys(c.file->update, schema, record, keys);
    sqlite3_bind_int64(c.file->update, int(schema.keys.size() + 2), c.id);
    const int rc = sqlite3_step(c.file->update);
    const int changed = sqlite3_changes(engine.Db());
    sqlite3_reset(c.file->update);
    sqlite3_clear_bindings(c.file->update);
    if (rc != SQLITE_DONE) return engine.WriteStatus(rc);
    engine.NoteWrite(c.file);
    if (changed == 0) {  // another workstation deleted it meanwhile
        c.current = false;
        return kInvalidPositioning;
    }
    Batch& rows = c.spare;
    rows.Clear();
    rows.recordLength = schema.recordLength;
    rows.Add(c.id, record);
    Land(c, keyNum, 1, rows);
    Forget(c);
    uint32_t length = schema.recordLength;
    Deliver(c, dataBuf, &length, keyBuf);
    return kOk;
}

int Delete(Cursor& c) {
    if (c.readOnly) return kAccessDenied;
    if (!c.current) return kInvalidPositioning;
    Engine& engine = Engine::Get();
    if (int st = engine.Ensure(c.file); st != kOk) return st;
    if (int st = engine.Prepare(c.file, "DELETE FROM " + c.file->alias + ".rec WHERE id = ?1", &c.file->remove);
        st != kOk)
        return st;
    sqlite3_bind_int64(c.file->remove, 1, c.id);
    const int rc = sqlite3_step(c.file->remove);
    sqlite3_reset(c.file->remove);
    if (rc != SQLITE_DONE) return engine.WriteStatus(rc);
    engine.NoteWrite(c.file);
    // The place in the key order stays, so Next and Previous go on from it.
    c.current = false;
    Forget(c);
    return kOk;
}

int GetDirect(Cursor& c, void* dataBuf, uint32_t* dataLen, void* keyBuf, uint8_t keyLen, int8_t keyNum) {
    if (int st = ValidKey(c, keyNum, keyLen); st != kOk) return st;
    if (*dataLen < 4) return kDataBufferTooShort;
    uint32_t position;
    std::memcpy(&position, dataBuf, 4);
    Engine& engine = Engine::Get();
    if (int st = engine.Ensure(c.file); st != kOk) return st;
    if (int st = engine.Prepare(c.file, "SELECT data FROM " + c.file->alias + ".rec WHERE id = ?1", &c.file->direct);
        st != kOk)
        return st;
    sqlite3_bind_int64(c.file->direct, 1, position);
    const int rc = sqlite3_step(c.file->direct);
    Batch& rows = c.spare;
    rows.Clear();
    rows.recordLength = c.file->schema.recordLength;
    bool wrongLength = false;
    if (rc == SQLITE_ROW) {
        const void* data = sqlite3_column_blob(c.file->direct, 0);
        wrongLength = !data || uint32_t(sqlite3_column_bytes(c.file->direct, 0)) != rows.recordLength;
        if (!wrongLength) rows.Add(position, data);
    }
    sqlite3_reset(c.file->direct);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return engine.ReadStatus(rc);
    if (wrongLength) return kNotATableFile;
    if (rows.empty()) return kInvalidRecordAddress;
    Land(c, keyNum, 1, rows);
    Forget(c);
    return Deliver(c, dataBuf, dataLen, keyBuf);
}

int Stat(Cursor& c, void* dataBuf, uint32_t* dataLen, int8_t mode) {
    Engine& engine = Engine::Get();
    if (int st = engine.Ensure(c.file); st != kOk) return st;
    if (mode == kStatLayoutOnly) return SpecFromSchema(c.file->schema, 0, c.file->pageSize, dataBuf, dataLen);
    sqlite3_stmt* stmt = nullptr;
    uint32_t count = 0;
    int rc = sqlite3_prepare_v2(engine.Db(), ("SELECT count(*) FROM " + c.file->alias + ".rec").c_str(), -1, &stmt, nullptr);
    if (rc == SQLITE_OK && (rc = sqlite3_step(stmt)) == SQLITE_ROW) count = uint32_t(sqlite3_column_int64(stmt, 0));
    sqlite3_finalize(stmt);
    if (rc != SQLITE_ROW) return engine.ReadStatus(rc);
    return SpecFromSchema(c.file->schema, count, c.file->pageSize, dataBuf, dataLen);
}

int Open(void* posBlock, void* keyBuf, uint8_t keyLen, int8_t mode) {
    if (!keyBuf) return kFileNotFound;
    const std::string path = KeyText(keyBuf, keyLen);
    if (path.empty()) return kFileNotFound;
    Cursors& cursors = Cursors::Get();
    if (cursors.Find(posBlock)) return kInvalidOperation;  // already open on this block
    TableFile* file = nullptr;
    if (int st = Engine::Get().Acquire(path, &file); st != kOk) return st;
    Cursor* c = cursors.Add(posBlock);
    c->file = file;
    c->readOnly = mode == kModeReadOnly;
    return kOk;
}

int Close(void* posBlock) {
    Cursor* c = Cursors::Get().Find(posBlock);
    if (!c) return kFileNotOpen;
    TableFile* file = c->file;
    Cursors::Get().Remove(posBlock);
    Engine::Get().Release(file);
    return kOk;
}

int Create(void* dataBuf, uint32_t* dataLen, void* keyBuf, uint8_t keyLen, int8_t mode) {
    if (!dataBuf || !dataLen) return kDataBufferTooShort;
    const std::string path = keyBuf ? KeyText(keyBuf, keyLen) : std::string();
    if (path.empty()) return kFileNotFound;
    Schema schema;
    if (int st = SchemaFromSpec(dataBuf, *dataLen, &schema); st != kOk) return st;
    return Engine::Get().CreateFile(path, schema, mode != kCreateNoOverwrite);
}

}  // namespace

void SetBusyTimeout(int milliseconds) { Engine::Get().SetBusyTimeout(milliseconds); }
bool InTransaction() { return Engine::Get().InTransaction(); }
int SetWorkingFolder(const std::string& folder) { return Engine::Get().SetWorkingFolder(folder); }

namespace testing {
uint64_t AttachmentsMade() { return Engine::Get().AttachmentsMade(); }
}  // namespace testing
int CheckFile(const std::string& path, std::string* report) { return Engine::Get().Check(path, report); }
void Shutdown() { Engine::Get().Shutdown(); }

}  // namespace recman

using namespace recman;

extern "C" int BTRCALL(uint16_t op, void* posBlock, void* dataBuf, uint32_t* dataLen, void* keyBuf, uint8_t keyLen,
                       int8_t keyNum) {
    switch (op) {
        case kOpOpen: return posBlock ? Open(posBlock, keyBuf, keyLen, keyNum) : kFileNotOpen;
        case kOpCreate: return Create(dataBuf, dataLen, keyBuf, keyLen, keyNum);
        case kOpBeginTransaction: return Engine::Get().Begin();
        case kOpEndTransaction: return Engine::Get().Commit();
        case kOpAbortTransaction: return Engine::Get().Abort();
        case kOpClose: return Close(posBlock);
        default: break;
    }
    Cursor* c = Cursors::Get().Find(posBlock);
    if (!c) return kFileNotOpen;
    const bool needsData = op != kOpDelete;
    if (needsData && (!dataBuf || !dataLen)) return kDataBufferTooShort;
    const bool needsKey = op != kOpDelete && op != kOpStat && op != kOpGetPosition;
    if (needsKey && !keyBuf) return kKeyBufferTooShort;
    switch (op) {
        case kOpInsert: return Insert(*c, dataBuf, dataLen, keyBuf, keyLen, keyNum);
        case kOpUpdate: return Update(*c, dataBuf, dataLen, keyBuf, keyLen, keyNum);
        case kOpDelete: return Delete(*c);
        case kOpGetEqual:
        case kOpGetGreater:
        case kOpGetGreaterOrEqual:
        case kOpGetLess:
        case kOpGetLessOrEqual:
        case kOpGetFirst:
        case kOpGetLast: return Position(*c, op, dataBuf, dataLen, keyBuf, keyLen, keyNum);
        case kOpGetNext: return Step(*c, 1, dataBuf, dataLen, keyBuf, keyLen, keyNum);
        case kOpGetPrevious: return Step(*c, -1, dataBuf, dataLen, keyBuf, keyLen, keyNum);
        case kOpStat: return Stat(*c, dataBuf, dataLen, keyNum);
        case kOpGetPosition: {
            if (!c->current) return kInvalidPositioning;
            if (*dataLen < 4) return kDataBufferTooShort;
            const uint32_t position = uint32_t(c->id);
            std::memcpy(dataBuf, &position, 4);
            *dataLen = 4;
            return kOk;
        }
        case kOpGetDirect: return GetDirect(*c, dataBuf, dataLen, keyBuf, keyLen, keyNum);
        default: return kInvalidOperation;
    }
}
