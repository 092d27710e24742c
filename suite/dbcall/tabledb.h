// CTableDB<Record>: a table class with its record buffer m_Data (zeroed at construction),
// bound to its table file. Every table class derives from it.
#pragma once

#include <cstring>
#include <string>
#include <type_traits>

#include "suite/dbcall/basedbcall.h"

template <typename Record>
class CTableDB : public CBaseDBCall {
    static_assert(std::is_trivially_copyable_v<Record>);

public:
    Record m_Data;

    // Zeroes the record buffer.
    void ClearData() { std::memset(&m_Data, 0, sizeof m_Data); }

protected:
    explicit CTableDB(const char* fileName) : CBaseDBCall(fileName, &m_Data, sizeof(Record)) {
        ClearData();
    }
    // For a class whose file holds only the first recordLength bytes of m_Data.
    CTableDB(const char* fileName, uint32_t recordLength)
        : CBaseDBCall(fileName, &m_Data, recordLength) {
        ClearData();
    }
};

// Copies text into a fixed-width record or key field: zero-filled, at most width - 1 bytes,
// so the field always ends with a zero byte.
inline void SetField(char* field, size_t width, const char* text) {
    std::memset(field, 0, width);
    if (text != nullptr && width > 0) {
        std::memcpy(field, text, ::strnlen(text, width - 1));
    }
}
template <size_t N>
inline void SetField(char (&field)[N], const char* text) {
    SetField(field, N, text);
}

// The bytes of a fixed-width record or key field up to its first zero byte (all of them
// when the field is full).
inline std::string FieldText(const char* field, size_t width) {
    return std::string(field, ::strnlen(field, width));
}
template <size_t N>
inline std::string FieldText(const char (&field)[N]) {
    return FieldText(field, N);
}
