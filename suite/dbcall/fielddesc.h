// Field descriptions of record layouts, for tools that show records field by field
// (velodb dump). Each list is built with VELO_FIELD over the record struct itself, so an
// offset or width is never written twice.
#pragma once

#include <cstddef>
#include <cstdint>

enum class FieldKind : uint8_t {
    kText,   // zero-terminated code page 932 text inside the width
    kDate,   // YYYYMMDD text (width 9)
    kTime,   // HHMM text (width 5)
    kInt32,  // little-endian signed 32-bit
    kInt16,  // little-endian signed 16-bit
    kByte,   // one unsigned byte (flags, small numbers)
    kBytes,  // raw bytes
};

struct FieldDesc {
    const char* name;
    uint32_t offset;
    uint32_t width;
    FieldKind kind;
};

#define VELO_FIELD(Record, member, kind)                                     \
    FieldDesc {                                                              \
#member, static_cast < uint32_t>(offsetof(Record, member)),          \
            static_cast < uint32_t>(sizeof(Record::member)), FieldKind::kind \
    }
