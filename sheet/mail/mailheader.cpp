#include "sheet/mail/mailheader.h"

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <cstring>
#include <vector>

#include "sheet/mail/base64codec.h"
#include "sheet/mail/jisconvert.h"
#include "suite/text/cp932.h"

namespace velo::mail {
namespace {

bool IsBlank(char ch) { return ch == ' ' || ch == '\t'; }
bool IsLineBreak(char ch) { return ch == '\r' || ch == '\n'; }
bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char ch) { return static_cast<unsigned char>(ch) < 0x80; });
}

// The "atext" of RFC 5322: what an atom of a display name may hold unquoted.
bool IsAtomChar(char ch) {
    if ((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9'))
        return true;
    return ch != '\0' && std::strchr("!#$%&'*+-/=?^_`{|}~", ch) != nullptr;
}

bool IsAtoms(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(),
                                        [](char ch) { return IsAtomChar(ch) || IsBlank(ch); });
}

// A complete quoted string: quotes at both ends, every quote and backslash inside escaped.
bool IsQuotedString(std::string_view name) {
    if (name.size() < 2 || name.front() != '"' || name.back() != '"') return false;
    size_t pos = 1;
    while (pos < name.size() - 1) {
        if (name[pos] == '"') return false;
        pos += name[pos] == '\\' ? 2 : 1;
    }
    return pos == name.size() - 1;
}

std::string Quoted(std::string_view name) {
    std::string quoted = "\"";
    for (const char ch : name) {
        if (ch == '"' || ch == '\\') quoted += '\\';
        quoted += ch;
    }
    return quoted + '"';
}

// Length of the code page 932 character at text[pos].
size_t CharLength(std::string_view text, size_t pos) {
    return IsCp932LeadByte(static_cast<unsigned char>(text[pos])) && pos + 1 < text.size() ? 2 : 1;
}

size_t EncodedWordLength(std::string_view cp932, EMailCharset charset) {
    const size_t payload = TextInCharset(cp932, charset).size();
    return std::strlen(CharsetName(charset)) + 7 + (payload + 2) / 3 * 4;  // =? ?B? ?=
}

std::string EncodedWord(std::string_view cp932, EMailCharset charset) {
    std::string word = "=?";
    word += CharsetName(charset);
    word += "?B?";
    word += CBase64Codec::Encode(TextInCharset(cp932, charset));
    word += "?=";
    return word;
}

// End of the longest stretch of whole characters from `start` whose encoded word is at
// most `room` characters long; at least one character.
size_t EncodedWordEnd(std::string_view run, size_t start, size_t room, EMailCharset charset) {
    size_t end = start + CharLength(run, start);
    while (end < run.size()) {
        const size_t next = end + CharLength(run, end);
        if (EncodedWordLength(run.substr(start, next - start), charset) > room) break;
        end = next;
    }
    return end;
}

// The parts of an encoded word "=?charset?encoding?text?=" starting at text[pos].
struct EncodedWordParts {
    std::string_view charset;
    char encoding = 0;
    std::string_view payload;
    size_t end = 0;  // just after the closing "?="
};

bool ParseEncodedWord(std::string_view text, size_t pos, EncodedWordParts* parts) {
    if (text.compare(pos, 2, "=?") != 0) return false;
    const size_t charsetStart = pos + 2;
    const size_t charsetEnd = text.find('?', charsetStart);
    if (charsetEnd == std::string_view::npos || charsetEnd == charsetStart ||
        charsetEnd + 3 > text.size() || text[charsetEnd + 2] != '?')
        return false;
    parts->charset = text.substr(charsetStart, charsetEnd - charsetStart);
    parts->encoding = static_cast<char>(text[charsetEnd + 1] & ~0x20);
    if (parts->encoding != 'B' && parts->encoding != 'Q') return false;
    const size_t payloadStart = charsetEnd + 3;
    const size_t payloadEnd = text.find("?=", payloadStart);
    if (payloadEnd == std::string_view::npos) return false;
    parts->payload = text.substr(payloadStart, payloadEnd - payloadStart);
    const auto isWordChar = [](char ch) { return !IsBlank(ch) && !IsLineBreak(ch) && ch != '?'; };
    if (!std::all_of(parts->charset.begin(), parts->charset.end(), isWordChar) ||
        !std::all_of(parts->payload.begin(), parts->payload.end(), isWordChar))
        return false;
    parts->end = payloadEnd + 2;
    return true;
}

// A word that a reader would take for an encoded word and decode, though it was typed.
bool HoldsEncodedWord(std::string_view word) {
    EncodedWordParts parts;
    for (size_t pos = word.find("=?"); pos != std::string_view::npos;
         pos = word.find("=?", pos + 1)) {
        if (ParseEncodedWord(word, pos, &parts)) return true;
    }
    return false;
}

bool SameCharsetName(std::string_view a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if ((a[i] & ~0x20) != (b[i] & ~0x20)) return false;
    }
    return true;
}

// The code page 932 text of a "B" word in a character set this library writes.
bool DecodeEncodedWord(const EncodedWordParts& parts, std::string* cp932) {
    if (parts.encoding != 'B') return false;
    std::string bytes;
    CBase64Codec::Decode(parts.payload, &bytes);
    if (SameCharsetName(parts.charset, CharsetName(EMailCharset::kIso2022Jp))) {
        *cp932 = Iso2022JpToSjis(bytes);
        return true;
    }
    if (SameCharsetName(parts.charset, CharsetName(EMailCharset::kUtf8))) {
        *cp932 = QStringToCp932(QString::fromUtf8(bytes.data(), qsizetype(bytes.size())));
        return true;
    }
    return false;
}

// One blank-separated piece of an unstructured value.
struct ValueToken {
    size_t start;
    size_t end;
    bool blank;
    bool encode;  // a word that goes into an encoded word
};

std::vector<ValueToken> Tokens(std::string_view text) {
    std::vector<ValueToken> tokens;
    size_t pos = 0;
    while (pos < text.size()) {
        const bool blank = IsBlank(text[pos]) || IsLineBreak(text[pos]);
        size_t end = pos;
        while (end < text.size() && (IsBlank(text[end]) || IsLineBreak(text[end])) == blank) ++end;
        const std::string_view piece = text.substr(pos, end - pos);
        tokens.push_back({pos, end, blank, !blank && (!IsAscii(piece) || HoldsEncodedWord(piece))});
        pos = end;
    }
    return tokens;
}

bool IsPlainBlank(std::string_view text, const ValueToken& token) {
    const std::string_view piece = text.substr(token.start, token.end - token.start);
    return token.blank && std::none_of(piece.begin(), piece.end(), IsLineBreak);
}

}  // namespace

const char* CharsetName(EMailCharset charset) {
    return charset == EMailCharset::kUtf8 ? "UTF-8" : "ISO-2022-JP";
}

EMailCharset CharsetFor(std::string_view cp932) {
    return FitsIso2022Jp(cp932) ? EMailCharset::kIso2022Jp : EMailCharset::kUtf8;
}

std::string TextInCharset(std::string_view cp932, EMailCharset charset) {
    if (charset == EMailCharset::kIso2022Jp) return SjisToIso2022Jp(cp932);
    return Cp932ToQString(cp932).toUtf8().toStdString();
}

CHeaderFieldWriter::CHeaderFieldWriter(std::string_view name, EMailCharset charset, size_t width)
    : m_charset(charset), m_width(width) {
    if (name.empty()) return;
    m_text = std::string(name) + ':';
    m_lineLength = m_text.size();
    m_pending = " ";
    m_foldable = true;
}

void CHeaderFieldWriter::Space(std::string_view blanks) {
    m_pending += blanks;
    m_foldable = true;
}

void CHeaderFieldWriter::BreakOpportunity() { m_foldable = true; }

void CHeaderFieldWriter::Plain(std::string_view text) {
    if (!text.empty()) Place(text, false);
}

size_t CHeaderFieldWriter::RoomOnLine() const {
    const size_t used = m_lineLength + m_pending.size();
    return m_width > used ? m_width - used : 0;
}

// Puts the pending white space and the token on the line, or folds first: when asked, or
// when the token would pass the width and the line already holds part of the value
// (folding straight after "Name:" gains nothing for one long token).
void CHeaderFieldWriter::Place(std::string_view token, bool foldFirst) {
    const bool overflows = m_width != 0 && m_lineLength + m_pending.size() + token.size() > m_width;
    if (m_foldable && (foldFirst || (overflows && m_valueOnLine))) {
        const std::string blanks = m_pending.empty() ? " " : m_pending;
        m_text += "\r\n";
        m_text += blanks;
        m_lineLength = blanks.size();
    } else {
        m_text += m_pending;
        m_lineLength += m_pending.size();
    }
    m_text += token;
    m_lineLength += token.size();
    m_pending.clear();
    m_foldable = false;
    m_valueOnLine = true;
}

void CHeaderFieldWriter::Encoded(std::string_view cp932) {
    size_t pos = 0;
    while (pos < cp932.size()) {
        size_t room = kMaxEncodedWordLength;
        bool foldFirst = false;
        if (m_width != 0 && m_foldable) {
            const size_t shortest =
                EncodedWordLength(cp932.substr(pos, CharLength(cp932, pos)), m_charset);
            const size_t onLine = RoomOnLine();
            if (onLine >= shortest) {
                room = std::min(room, onLine);
            } else {
                foldFirst = true;
                const size_t indent = std::max<size_t>(m_pending.size(), 1);
                room = std::min(room, m_width > indent ? m_width - indent : 0);
            }
        }
        const size_t end = EncodedWordEnd(cp932, pos, room, m_charset);
        Place(EncodedWord(cp932.substr(pos, end - pos), m_charset), foldFirst);
        pos = end;
        // Readers drop the white space between two encoded words, so the next word may
        // start a new line without changing the text.
        if (pos < cp932.size()) Space(" ");
    }
}

void CHeaderFieldWriter::Unstructured(std::string_view cp932) {
    const std::vector<ValueToken> tokens = Tokens(cp932);
    size_t index = 0;
    while (index < tokens.size()) {
        const ValueToken& token = tokens[index];
        const std::string_view piece = cp932.substr(token.start, token.end - token.start);
        if (!token.encode) {
            if (token.blank) {
                Space(piece);
            } else {
                Plain(piece);
            }
            ++index;
            continue;
        }
        // The words to encode and the blanks between them make one stretch: readers drop
        // blanks between encoded words, so those blanks must travel inside the words.
        size_t last = index;
        while (last + 2 < tokens.size() && tokens[last + 2].encode &&
               IsPlainBlank(cp932, tokens[last + 1]))
            last += 2;
        Encoded(cp932.substr(token.start, tokens[last].end - token.start));
        index = last + 1;
    }
}

void CHeaderFieldWriter::Phrase(std::string_view cp932) {
    if (!IsAscii(cp932)) {
        Encoded(cp932);
    } else if (IsAtoms(cp932)) {
        // Atoms go as they are, foldable between them; a Cc or Bcc name arrives here
        // already made of encoded words.
        for (const ValueToken& token : Tokens(cp932)) {
            const std::string_view piece = cp932.substr(token.start, token.end - token.start);
            if (token.blank) {
                Space(piece);
            } else {
                Plain(piece);
            }
        }
    } else if (IsQuotedString(cp932)) {
        Plain(cp932);
    } else {
        Plain(Quoted(cp932));
    }
}

void CHeaderFieldWriter::Mailbox(std::string_view name, std::string_view address) {
    if (name.empty()) {
        Plain(address);
        return;
    }
    Phrase(name);
    Space(" ");
    Plain("<" + std::string(address) + ">");
}

std::string CHeaderFieldWriter::Take() {
    m_text += m_pending;
    m_pending.clear();
    m_foldable = false;
    return std::move(m_text);
}

std::string EncodedDisplayName(std::string_view cp932) {
    if (IsAscii(cp932)) return std::string(cp932);
    CHeaderFieldWriter writer({}, CharsetFor(cp932), 0);
    writer.Encoded(cp932);
    return writer.Take();
}

std::string EncodedUnstructured(std::string_view cp932) {
    CHeaderFieldWriter writer({}, CharsetFor(cp932), 0);
    writer.Unstructured(cp932);
    return writer.Take();
}

std::string DecodedHeaderText(std::string_view header) {
    std::string out;
    out.reserve(header.size());
    std::string blanks;  // white space not yet copied: dropped between two encoded words
    bool afterWord = false;
    size_t pos = 0;
    while (pos < header.size()) {
        const char ch = header[pos];
        if (ch == '\r' && header.compare(pos, 2, "\r\n") == 0 && pos + 2 < header.size() &&
            IsBlank(header[pos + 2])) {
            pos += 2;  // a folded line goes on
            continue;
        }
        if (IsBlank(ch)) {
            blanks += ch;
            ++pos;
            continue;
        }
        EncodedWordParts parts;
        std::string decoded;
        if (ch == '=' && ParseEncodedWord(header, pos, &parts) &&
            DecodeEncodedWord(parts, &decoded)) {
            if (!afterWord) out += blanks;
            out += decoded;
            blanks.clear();
            afterWord = true;
            pos = parts.end;
            continue;
        }
        out += blanks;
        blanks.clear();
        out += ch;
        afterWord = false;
        ++pos;
    }
    out += blanks;
    return out;
}

}  // namespace velo::mail
