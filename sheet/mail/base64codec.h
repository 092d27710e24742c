// Base64 of RFC 2045 ("A-Za-z0-9+/", "=" padding), as mail headers and attachments use it.
// The codec inserts no line breaks; callers that need lines cut them themselves.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velo::mail {

class CBase64Codec {
public:
    static std::string Encode(const void* bytes, size_t length);
    static std::string Encode(std::string_view bytes) { return Encode(bytes.data(), bytes.size()); }
    // Decodes up to the first byte that is neither in the alphabet nor "=" (so a line break
    // ends the text; bytes above 127 are never letters) and appends the complete bytes to
    // *out. "=" is skipped. Returns the number of bytes appended.
    static size_t Decode(std::string_view text, std::string* out);
};

}  // namespace velo::mail
