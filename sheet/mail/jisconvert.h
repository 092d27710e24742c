// Conversion between code page 932 (Shift_JIS with the vendor extensions) and ISO-2022-JP,
// the character set of Japanese mail. The mapping between Shift_JIS and JIS X 0208 is
// arithmetic; characters JIS X 0208 does not hold (the NEC and IBM extensions such as
// circled numbers and 髙 or 﨑, and the user-defined area) become "〓", so one such
// character never cuts a mail short. Half-width katakana have no place in 7-bit mail and
// become their full-width forms (a voiced-sound mark joins the letter before it).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velo::mail {

// JIS X 0208 "〓", written for characters JIS X 0208 lacks.
inline constexpr uint16_t kJisGeta = 0x222E;
// The same in Shift_JIS.
inline constexpr uint16_t kSjisGeta = 0x81AC;

// True when the JIS code is an assigned character of JIS X 0208 (1990).
bool IsJisX0208Assigned(uint16_t jis);
// JIS X 0208 code of a Shift_JIS double-byte character (lead byte high); 0 when the code
// is not a double-byte character or JIS X 0208 has no such character.
uint16_t SjisToJis(uint16_t sjis);
// Shift_JIS code of a JIS code whose two bytes are 0x21-0x7E; 0 otherwise. Codes outside
// JIS X 0208's assigned set map arithmetically too (row 13 becomes the NEC specials).
uint16_t JisToSjis(uint16_t jis);

// True when ISO-2022-JP carries the text exactly: every byte is ASCII or belongs to a
// double-byte character JIS X 0208 holds (a vendor twin of one counts). Half-width katakana,
// the vendor extensions (髙, 﨑, ①) and the user-defined area do not fit.
bool FitsIso2022Jp(std::string_view cp932);

// Code page 932 bytes to ISO-2022-JP: ESC $ @ before each run of double-byte characters,
// ESC ( B after it; other bytes are copied.
std::string SjisToIso2022Jp(std::string_view sjis);
// ISO-2022-JP to code page 932: ESC $ @ and ESC $ B enter double-byte mode, ESC ( B and
// ESC ( J leave it (the escapes are dropped); other bytes are copied.
std::string Iso2022JpToSjis(std::string_view jis);

}  // namespace velo::mail
