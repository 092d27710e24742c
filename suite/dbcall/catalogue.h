// The table catalogue: every table file of a database folder with its record length, key
// definitions and field descriptions. Creating a database folder (velodb create, every test)
// goes through CreateAllTables, so the files always carry the keys the table classes use.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "suite/dbcall/fielddesc.h"

enum class KeySegmentType : uint8_t {
    kText,     // zero-terminated; bytes after the terminator do not count
    kBytes,    // unsigned bytes over the whole width
    kInteger,  // little-endian signed
};

// One key segment. Segments of a key follow each other in the catalogue in key order.
struct KeySegmentDesc {
    uint8_t key;      // key number, from 0 without gaps
    uint32_t offset;  // in the record
    uint32_t length;  // bytes
    KeySegmentType type;
    bool duplicates;  // the key allows duplicates (same for every segment of a key)
};

struct TableInfo {
    const char* fileName;  // "RESERVATION.BTR"
    const char* label;     // name in error reports ("RESERVATION_DB")
    uint32_t recordLength;
    std::span<const KeySegmentDesc> segments;
    std::span<const FieldDesc> fields;

    int KeyCount() const;
    // Bytes of the key buffer for a key (its segments added up); 0 for no such key.
    uint32_t KeyLength(int key) const;
};

// Every table in the suite's order: the suite's tables, the cephalometric product's tables
// the merger moves, and the two files it copies whole.
std::span<const TableInfo> AllTables();

// The table of that file name, compared without regard to case, with or without ".BTR";
// nullptr when the catalogue has no such table.
const TableInfo* FindTable(std::string_view fileName);

// Creates (overwriting) one table file in folder with the catalogue's record length and
// keys. Returns a record-manager status.
int CreateTableFile(const std::string& folder, const TableInfo& table);
int CreateTableFile(const std::string& folder, std::string_view fileName);

// Creates every table of the catalogue in folder, which must exist; stops at the first
// failure and returns its status.
int CreateAllTables(const std::string& folder);
