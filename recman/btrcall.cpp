// BTRCALL: the operations on position blocks (cursors) and the read-ahead that makes a
// scan cost about as much as stepping one statement, over whichever engine holds the table.
//
// A cursor never keeps a statement running between calls: on the embedded engine a
// running statement holds the file's shared lock and another workstation could not
// commit, and on the server it would hold a portal open across the caller's work.
// Instead a Next or Previous fetches a small batch of the following records in one
// statement and serves the next calls from it while the batch is still current: no
// write of this process since (the table's read-ahead epoch) and no commit of another
// process since (as the engine tells it, without a query).
// The batch grows while it is used up and shrinks back when something invalidates it,
// so a delete-as-you-scan loop does not fetch records it will throw away.
#include <unistd.h>

#include <cstring>
#include <limits>
#include <unordered_map>

#include "recman/engine.h"
#include "recman/engines.h"
#include "recman/recman.h"
#include "recman/sqliteengine.h"

namespace recman {
namespace {

constexpr uint32_t kBlockMagic = 0x42504d52;  // "RMPB"
constexpr int64_t kMinId = std::numeric_limits<int64_t>::min();
constexpr int64_t kMaxId = std::numeric_limits<int64_t>::max();
constexpr uint32_t kFirstBatch = 4;
constexpr uint32_t kMaxBatch = 256;

struct Cursor {
    Table* file = nullptr;
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
    uint64_t aheadEpoch = 0;  // the table's readAheadEpoch when the read-ahead was taken
    uint64_t aheadStamp = 0;  // the engine's stamp of the rows read
    uint32_t nextBatch = kFirstBatch;
    uint32_t expectedRows = 0;  // the first batch of the next positioning, when told
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

    // Every cursor goes: their tables are closed under them.
    void Clear() { m_cursors.clear(); }

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
           c.aheadEpoch == c.file->readAheadEpoch && c.file->engine->Current(c.file, c.aheadStamp);
}

// Runs one batch query from (ordered, id) in direction dir.
int Fetch(Cursor& c, int key, int dir, const std::string& ordered, int64_t id, uint32_t limit, Batch* rows) {
    return c.file->engine->Fetch(c.file, key, dir, ordered, id, limit, rows, &c.aheadStamp);
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

bool IsPositioning(uint16_t op) {
    switch (op) {
        case kOpGetEqual:
        case kOpGetGreater:
        case kOpGetGreaterOrEqual:
        case kOpGetLess:
        case kOpGetLessOrEqual:
        case kOpGetFirst:
        case kOpGetLast: return true;
        default: return false;
    }
}

// The read a positioning makes: `limit` rows from (target, from) in direction dir.
struct PositionRead {
    int dir = 1;
    std::string target;
    int64_t from = kMinId;
    uint32_t limit = kFirstBatch;
};

// REQUIRES: op is a positioning and keyBuf holds the key's length.
PositionRead PositionReadOf(const KeyDef& key, uint16_t op, const void* keyBuf, uint32_t rows) {
    PositionRead read;
    if (op != kOpGetFirst && op != kOpGetLast) read.target = OrderedKey(key, static_cast<const uint8_t*>(keyBuf));
    if (rows) read.limit = rows;
    switch (op) {
        case kOpGetEqual: read.limit = 1; break;
        case kOpGetGreater: read.from = kMaxId; break;
        case kOpGetLess: read.dir = -1; break;
        case kOpGetLessOrEqual: read.dir = -1; read.from = kMaxId; break;
        case kOpGetLast: read.dir = -1; read.from = kMaxId; read.target.assign(key.length + 1, '\xff'); break;
        default: break;
    }
    return read;
}

// Positioning operations: key comparison against the key buffer, or first/last.
int Position(Cursor& c, uint16_t op, void* dataBuf, uint32_t* dataLen, void* keyBuf, uint8_t keyLen,
             int8_t keyNum) {
    if (int st = ValidKey(c, keyNum, keyLen); st != kOk) return st;
    const KeyDef& key = c.file->schema.keys[keyNum];
    const PositionRead read = PositionReadOf(key, op, keyBuf, c.expectedRows);
    c.expectedRows = 0;
    const std::string& target = read.target;
    const uint32_t limit = read.limit;
    Batch& rows = c.spare;
    if (int st = Fetch(c, keyNum, read.dir, target, read.from, limit, &rows); st != kOk) return st;
    if (rows.empty()) return op == kOpGetEqual ? kKeyNotFound : kEndOfFile;
    if (op == kOpGetEqual && OrderedKeyOfRecord(key, reinterpret_cast<const uint8_t*>(rows.Record(0))) != target)
        return kKeyNotFound;
    Land(c, keyNum, read.dir, rows);
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

// The written record becomes the current one, on key path keyNum; nothing is read ahead.
void LandOnWritten(Cursor& c, int64_t id, const uint8_t* record, int8_t keyNum, void* dataBuf, void* keyBuf) {
    Batch& rows = c.spare;
    rows.Clear();
    rows.recordLength = c.file->schema.recordLength;
    rows.Add(id, record);
    Land(c, keyNum, 1, rows);
    Forget(c);
    uint32_t length = c.file->schema.recordLength;
    Deliver(c, dataBuf, &length, keyBuf);
}

int Insert(Cursor& c, void* dataBuf, uint32_t* dataLen, void* keyBuf, uint8_t keyLen, int8_t keyNum) {
    if (c.readOnly) return kAccessDenied;
    if (int st = ValidKey(c, keyNum, keyLen); st != kOk) return st;
    if (*dataLen < c.file->schema.recordLength) return kDataBufferTooShort;
    const auto* record = static_cast<const uint8_t*>(dataBuf);
    int64_t id = 0;
    if (int st = c.file->engine->Insert(c.file, record, &id); st != kOk) return st;
    LandOnWritten(c, id, record, keyNum, dataBuf, keyBuf);
    return kOk;
}

int Update(Cursor& c, void* dataBuf, uint32_t* dataLen, void* keyBuf, uint8_t keyLen, int8_t keyNum) {
    if (c.readOnly) return kAccessDenied;
    if (!c.current) return kInvalidPositioning;
    if (keyNum < 0 || size_t(keyNum) >= c.file->schema.keys.size()) keyNum = int8_t(c.key);
    if (int st = ValidKey(c, keyNum, keyLen); st != kOk) return st;
    if (*dataLen < c.file->schema.recordLength) return kDataBufferTooShort;
    const auto* record = static_cast<const uint8_t*>(dataBuf);
    bool found = false;
    if (int st = c.file->engine->Update(c.file, c.id, record, &found); st != kOk) return st;
    if (!found) {  // another workstation deleted it meanwhile
        c.current = false;
        return kInvalidPositioning;
    }
    LandOnWritten(c, c.id, record, keyNum, dataBuf, keyBuf);
    return kOk;
}

int Delete(Cursor& c) {
    if (c.readOnly) return kAccessDenied;
    if (!c.current) return kInvalidPositioning;
    if (int st = c.file->engine->Delete(c.file, c.id); st != kOk) return st;
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
    Batch& rows = c.spare;
    if (int st = c.file->engine->FetchById(c.file, position, &rows); st != kOk) return st;
    if (rows.empty()) return kInvalidRecordAddress;
    Land(c, keyNum, 1, rows);
    Forget(c);
    return Deliver(c, dataBuf, dataLen, keyBuf);
}

int Stat(Cursor& c, void* dataBuf, uint32_t* dataLen, int8_t mode) {
    uint32_t count = 0;
    if (int st = c.file->engine->Stat(c.file, mode == kStatLayoutOnly ? nullptr : &count); st != kOk) return st;
    return SpecFromSchema(c.file->schema, count, c.file->pageSize, dataBuf, dataLen);
}

int Open(void* posBlock, void* keyBuf, uint8_t keyLen, int8_t mode) {
    if (!keyBuf) return kFileNotFound;
    const std::string path = KeyText(keyBuf, keyLen);
    if (path.empty()) return kFileNotFound;
    Cursors& cursors = Cursors::Get();
    if (cursors.Find(posBlock)) return kInvalidOperation;  // already open on this block
    Engine* engine = nullptr;
    if (int st = engines::ForPath(path, &engine); st != kOk) return st;
    Table* file = nullptr;
    if (int st = engine->Acquire(path, &file); st != kOk) return st;
    Cursor* c = cursors.Add(posBlock);
    c->file = file;
    c->readOnly = mode == kModeReadOnly;
    return kOk;
}

int Close(void* posBlock) {
    Cursor* c = Cursors::Get().Find(posBlock);
    if (!c) return kFileNotOpen;
    Table* file = c->file;
    Cursors::Get().Remove(posBlock);
    file->engine->Release(file);
    return kOk;
}

int Create(void* dataBuf, uint32_t* dataLen, void* keyBuf, uint8_t keyLen, int8_t mode) {
    if (!dataBuf || !dataLen) return kDataBufferTooShort;
    const std::string path = keyBuf ? KeyText(keyBuf, keyLen) : std::string();
    if (path.empty()) return kFileNotFound;
    Schema schema;
    if (int st = SchemaFromSpec(dataBuf, *dataLen, &schema); st != kOk) return st;
    Engine* engine = nullptr;
    if (int st = engines::ForPath(path, &engine); st != kOk) return st;
    return engine->Create(path, schema, mode != kCreateNoOverwrite);
}

}  // namespace

void SetBusyTimeout(int milliseconds) { engines::SetBusyTimeout(milliseconds); }
bool InTransaction() { return engines::InTransaction(); }

void BatchTransactionWrites() { engines::DeferWrites(); }

int ExpectRows(void* posBlock, uint32_t rows) {
    Cursor* c = Cursors::Get().Find(posBlock);
    if (!c) return kFileNotOpen;
    c->expectedRows = std::clamp<uint32_t>(rows, 1, kMaxBatch);
    return kOk;
}

int PrefetchEqual(void* posBlock, int8_t keyNum, const std::vector<std::string>& keys) {
    Cursor* c = Cursors::Get().Find(posBlock);
    if (!c) return kFileNotOpen;
    if (keyNum < 0 || size_t(keyNum) >= c->file->schema.keys.size()) return kInvalidKeyNumber;
    const KeyDef& key = c->file->schema.keys[size_t(keyNum)];
    std::vector<std::string> ordered;
    ordered.reserve(keys.size());
    for (const std::string& k : keys) {
        if (k.size() < key.length) return kKeyBufferTooShort;
        ordered.push_back(OrderedKey(key, reinterpret_cast<const uint8_t*>(k.data())));
    }
    return c->file->engine->Prefetch(c->file, keyNum, ordered);
}
int AskAhead(void* posBlock, uint16_t op, int8_t keyNum, const void* keyBuf, uint8_t keyLen,
             uint32_t rows) {
    Cursor* c = Cursors::Get().Find(posBlock);
    if (!c) return kFileNotOpen;
    if (!IsPositioning(op)) return kInvalidOperation;
    if (int st = ValidKey(*c, keyNum, keyLen); st != kOk) return st;
    const PositionRead read =
        PositionReadOf(c->file->schema.keys[size_t(keyNum)], op, keyBuf, std::clamp<uint32_t>(rows, 1, kMaxBatch));
    return c->file->engine->AskAhead(c->file, keyNum, read.dir, read.target, read.from, read.limit);
}

int SetWorkingFolder(const std::string& folder) { return SqliteEngine::Get().SetWorkingFolder(folder); }

namespace testing {
uint64_t AttachmentsMade() { return SqliteEngine::Get().AttachmentsMade(); }
}  // namespace testing
int CheckFile(const std::string& path, std::string* report) {
    Engine* engine = nullptr;
    if (int st = engines::ForPath(path, &engine); st != kOk) {
        *report = "cannot choose the engine (status " + std::to_string(st) + ")";
        return st;
    }
    return engine->Check(path, report);
}
void Shutdown() {
    Cursors::Get().Clear();
    engines::Shutdown();
}

}  // namespace recman

using namespace recman;

extern "C" int BTRCALL(uint16_t op, void* posBlock, void* dataBuf, uint32_t* dataLen, void* keyBuf, uint8_t keyLen,
                       int8_t keyNum) {
    engines::ClearLastErrorText();
    switch (op) {
        case kOpOpen: return posBlock ? Open(posBlock, keyBuf, keyLen, keyNum) : kFileNotOpen;
        case kOpCreate: return Create(dataBuf, dataLen, keyBuf, keyLen, keyNum);
        case kOpBeginTransaction: return engines::Begin();
        case kOpEndTransaction: return engines::Commit();
        case kOpAbortTransaction: return engines::Abort();
        case kOpClose: return Close(posBlock);
        default: break;
    }
    Cursor* c = Cursors::Get().Find(posBlock);
    if (!c) return kFileNotOpen;
    const bool needsData = op != kOpDelete;
    if (needsData && (!dataBuf || !dataLen)) return kDataBufferTooShort;
    const bool needsKey = op != kOpDelete && op != kOpStat && op != kOpGetPosition;
    if (needsKey && !keyBuf) return kKeyBufferTooShort;
    if (IsPositioning(op)) return Position(*c, op, dataBuf, dataLen, keyBuf, keyLen, keyNum);
    switch (op) {
        case kOpInsert: return Insert(*c, dataBuf, dataLen, keyBuf, keyLen, keyNum);
        case kOpUpdate: return Update(*c, dataBuf, dataLen, keyBuf, keyLen, keyNum);
        case kOpDelete: return Delete(*c);
        case kOpGetNext: return Step(*c, 1, dataBuf, dataLen, keyBuf, keyLen, keyNum);
        case kOpGetPrevious: return Step(*c, -1, dataBuf, dataLen, keyBuf, keyLen, keyNum);
        case kOpStat: return Stat(*c, dataBuf, dataLen, keyNum);
        case kOpGetPosition: {
            if (!c->current) return kInvalidPositioning;
            if (*dataLen < 4) return kDataBufferTooShort;
            if (int st = c->file->engine->ResolveId(c->file, &c->id); st != kOk) return st;
            const uint32_t position = uint32_t(c->id);
            std::memcpy(dataBuf, &position, 4);
            *dataLen = 4;
            return kOk;
        }
        case kOpGetDirect: return GetDirect(*c, dataBuf, dataLen, keyBuf, keyLen, keyNum);
        default: return kInvalidOperation;
    }
}
