// Key definitions of a table file and the byte forms of its keys.
//
// A key is a list of segments of the record. Two forms of a key value exist:
// - the raw form: the segments' bytes concatenated as they stand in the record; this is
//   what callers put in and get back in the key buffer;
// - the ordered form: the raw form rewritten so that plain unsigned byte comparison
//   (memcmp, SQLite's BLOB order) gives the key's order: text segments keep their
//   bytes up to the terminator and are zero-filled after it, integer segments become
//   big-endian with the sign bit flipped, byte segments stay as they are; trailing zero
//   bytes of the whole key are dropped.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "recman/recman.h"

namespace recman {

struct Segment {
    uint32_t offset = 0;  // 0-based
    uint32_t length = 0;
    uint8_t type = kTypeBytes;
};

struct KeyDef {
    std::vector<Segment> segments;
    bool duplicates = false;
    uint32_t length = 0;  // sum of the segments' lengths
};

struct Schema {
    uint32_t recordLength = 0;
    std::vector<KeyDef> keys;
};

// Builds a schema from a create buffer (FileSpec followed by KeySpecs). Returns kOk or
// the status that names what is wrong with the create buffer.
int SchemaFromSpec(const void* buffer, uint32_t length, Schema* schema);

// Writes the stat answer (FileSpec and one KeySpec per segment) into buffer.
// Returns kDataBufferTooShort when it does not fit.
int SpecFromSchema(const Schema& schema, uint32_t recordCount, uint16_t pageSize, void* buffer,
                   uint32_t* length);

// True when both have the same record length and keys.
bool SameSchema(const Schema& a, const Schema& b);

// The page size that keeps a whole record with its keys on one page, as table files are made.
int PageSizeFor(const Schema& schema);

// Raw key of `record` for `key`.
std::string RawKeyOfRecord(const KeyDef& key, const uint8_t* record);

// Ordered form of a raw key value (`raw` holds key.length bytes).
std::string OrderedKey(const KeyDef& key, const uint8_t* raw);

inline std::string OrderedKeyOfRecord(const KeyDef& key, const uint8_t* record) {
    std::string raw = RawKeyOfRecord(key, record);
    return OrderedKey(key, reinterpret_cast<const uint8_t*>(raw.data()));
}

}  // namespace recman
