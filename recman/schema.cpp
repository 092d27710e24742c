// Parsing and writing of file specifications, and the two forms of key values.
#include "recman/schema.h"

#include <cstring>

namespace recman {
namespace {

bool ValidSegmentType(uint8_t type, uint32_t length) {
    switch (type) {
        case kTypeBytes:
        case 14:  // unsigned binary: compared as bytes
        case kTypeText:
            return length > 0;
        case kTypeInteger:
            return length == 1 || length == 2 || length == 4 || length == 8;
        default:
            return false;
    }
}

}  // namespace

int SchemaFromSpec(const void* buffer, uint32_t length, Schema* schema) {
    if (length < sizeof(FileSpec)) return kDataBufferTooShort;
    FileSpec file;
    std::memcpy(&file, buffer, sizeof file);
    if (file.recordLength == 0) return kInvalidRecordLength;
    if (file.keyCount == 0 || file.keyCount > kMaxKeys) return kInvalidKeyNumber;

    Schema result;
    result.recordLength = file.recordLength;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    uint32_t at = sizeof(FileSpec);
    for (int k = 0; k < file.keyCount; ++k) {
        KeyDef key;
        bool more = true;
        while (more) {
            if (at + sizeof(KeySpec) > length) return kDataBufferTooShort;
            KeySpec spec;
            std::memcpy(&spec, bytes + at, sizeof spec);
            at += sizeof(KeySpec);
            if (spec.position == 0 || spec.length == 0 ||
                uint32_t(spec.position - 1) + spec.length > file.recordLength)
                return kInvalidKeyPosition;
            const uint8_t type = (spec.flags & kKeyExtendedType) ? spec.extendedType : kTypeBytes;
            if (!ValidSegmentType(type, spec.length)) return kInvalidKeyLength;
            key.segments.push_back(
                {uint32_t(spec.position - 1), spec.length, type == 14 ? kTypeBytes : type});
            key.length += spec.length;
            // Every segment of a key carries the key's duplicates flag; the first decides.
            if (key.segments.size() == 1) key.duplicates = (spec.flags & kKeyDuplicates) != 0;
            more = (spec.flags & kKeySegmented) != 0;
        }
        if (key.length > kMaxKeyLength) return kInvalidKeyLength;
        result.keys.push_back(std::move(key));
    }
    *schema = std::move(result);
    return kOk;
}

int SpecFromSchema(const Schema& schema, uint32_t recordCount, uint16_t pageSize, void* buffer,
                   uint32_t* length) {
    size_t segments = 0;
    for (const KeyDef& key : schema.keys) segments += key.segments.size();
    const size_t needed = sizeof(FileSpec) + segments * sizeof(KeySpec);
    if (*length < needed) return kDataBufferTooShort;

    FileSpec file{};
    file.recordLength = uint16_t(schema.recordLength);
    file.pageSize = pageSize;
    file.keyCount = uint16_t(schema.keys.size());
    file.recordCount = recordCount;
    auto* out = static_cast<uint8_t*>(buffer);
    std::memcpy(out, &file, sizeof file);
    size_t at = sizeof file;
    for (size_t k = 0; k < schema.keys.size(); ++k) {
        const KeyDef& key = schema.keys[k];
        for (size_t s = 0; s < key.segments.size(); ++s) {
            KeySpec spec{};
            spec.position = uint16_t(key.segments[s].offset + 1);
            spec.length = uint16_t(key.segments[s].length);
            spec.flags = kKeyExtendedType | kKeyModifiable;
            if (key.duplicates) spec.flags |= kKeyDuplicates;
            if (s + 1 < key.segments.size()) spec.flags |= kKeySegmented;
            spec.extendedType = key.segments[s].type;
            spec.keyNumber = uint8_t(k);
            std::memcpy(out + at, &spec, sizeof spec);
            at += sizeof spec;
        }
    }
    *length = uint32_t(needed);
    return kOk;
}

bool SameSchema(const Schema& a, const Schema& b) {
    if (a.recordLength != b.recordLength || a.keys.size() != b.keys.size()) return false;
    for (size_t k = 0; k < a.keys.size(); ++k) {
        const KeyDef& x = a.keys[k];
        const KeyDef& y = b.keys[k];
        if (x.duplicates != y.duplicates || x.segments.size() != y.segments.size()) return false;
        for (size_t i = 0; i < x.segments.size(); ++i)
            if (x.segments[i].offset != y.segments[i].offset ||
                x.segments[i].length != y.segments[i].length ||
                x.segments[i].type != y.segments[i].type)
                return false;
    }
    return true;
}

int PageSizeFor(const Schema& schema) {
    uint32_t keyBytes = 0;
    for (const KeyDef& key : schema.keys) keyBytes += key.length;
    const uint32_t row = schema.recordLength + keyBytes + 64;
    if (row < 3900) return 4096;
    if (row < 7900) return 8192;
    if (row < 16000) return 16384;
    if (row < 32000) return 32768;
    return 65536;
}

std::string RawKeyOfRecord(const KeyDef& key, const uint8_t* record) {
    std::string raw;
    raw.reserve(key.length);
    for (const Segment& s : key.segments)
        raw.append(reinterpret_cast<const char*>(record + s.offset), s.length);
    return raw;
}

std::string OrderedKey(const KeyDef& key, const uint8_t* raw) {
    std::string out(key.length, '\0');
    uint32_t at = 0;
    for (const Segment& s : key.segments) {
        const uint8_t* in = raw + at;
        char* dst = out.data() + at;
        switch (s.type) {
            case kTypeText: {
                const void* end = std::memchr(in, 0, s.length);
                const size_t used = end ? size_t(static_cast<const uint8_t*>(end) - in) : s.length;
                std::memcpy(dst, in, used);  // the rest stays zero
                break;
            }
            case kTypeInteger:
                // Little-endian two's complement to big-endian with the sign bit flipped.
                for (uint32_t i = 0; i < s.length; ++i) dst[i] = char(in[s.length - 1 - i]);
                dst[0] = char(uint8_t(dst[0]) ^ 0x80);
                break;
            default:
                std::memcpy(dst, in, s.length);
                break;
        }
        at += s.length;
    }
    // Trailing zero bytes carry no order among keys of one length (a shorter blob sorts
    // first), so they are left out: the indexes get smaller and inserts faster.
    while (!out.empty() && out.back() == '\0') out.pop_back();
    return out;
}

}  // namespace recman
