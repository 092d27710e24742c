// Conversion between code page 932 bytes (the texts of records and ini files) and QString
// (what widgets hold), plus the fixed-width field helpers that every record layout uses.
// Conversion never fails: bytes that are not code page 932 become U+FFFD, characters that
// code page 932 cannot hold become "〓".
#pragma once

#include <QString>
#include <cstddef>
#include <string>
#include <string_view>

// Converts code page 932 bytes to text. Invalid or truncated byte sequences become U+FFFD
// and the bytes after them are still converted.
QString Cp932ToQString(std::string_view bytes);

// The text of a fixed-width field: the bytes up to the first zero byte within `width`
// (all `width` bytes when there is none).
QString Cp932FieldToQString(const char* field, size_t width);
template <size_t N>
QString Cp932FieldToQString(const char (&field)[N]) {
    return Cp932FieldToQString(field, N);
}

// Converts text to code page 932. A character that code page 932 cannot hold becomes
// "〓" (0x81 0xAC) and the conversion goes on.
std::string QStringToCp932(const QString& text);

// The characters of `text` that code page 932 cannot hold, each once, in order of first
// appearance; empty when the whole text can be stored. Dialogs use it to refuse such text
// with a message instead of letting it be stored as "〓".
QString CharactersCp932Lacks(const QString& text);

// Zero-fills the field and writes the text into it as code page 932: at most width-1
// bytes, cut on a character boundary, so the field always ends with a zero byte.
void SetCp932Field(char* field, size_t width, const QString& text);

// Same as SetCp932Field for bytes that are already code page 932. Copying stops at a zero
// byte of the input; a lead byte without its trail byte is dropped.
void CopyTextField(char* field, size_t width, std::string_view bytes);

// True for the first byte of a double-byte character (0x81-0x9F, 0xE0-0xFC). Inline: the
// mail's conversions ask it of every byte of every message.
inline bool IsCp932LeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
