// MD5 message digest (RFC 1321), our own, for the APOP login of POP3, which sends the MD5
// of the server's time stamp and the password instead of the password itself. MD5 is no
// longer a safe hash for anything new; it is here only because APOP is defined with it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velo::mail {

class CMd5 {
public:
    using Digest = std::array<std::uint8_t, 16>;

    CMd5();
    // Adds bytes to the message; may be called any number of times.
    void Update(std::string_view bytes);
    // The digest of everything added. Afterwards the object starts a new, empty message.
    Digest Finish();

    // The digest of `bytes` as 32 lower-case hexadecimal digits.
    static std::string HexDigest(std::string_view bytes);

private:
    void Reset();
    void Transform(const std::uint8_t* block);

    std::array<std::uint32_t, 4> m_state;
    std::uint64_t m_length = 0;  // bytes added so far
    std::array<std::uint8_t, 64> m_block{};
    std::size_t m_blockUsed = 0;
};

}  // namespace velo::mail
