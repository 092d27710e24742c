// Header fields as strict mail readers need them. Japanese text goes into "B" encoded words
// of at most 75 characters, each surrounded by white space (or the start of the value), in
// ISO-2022-JP when the text fits it and in UTF-8 otherwise; an ISO-2022-JP word is a whole
// ISO-2022-JP text of its own, starting and ending in ASCII. Display names are encoded as a
// whole, or quoted when they are ASCII with characters an address list reserves (a comma
// would split the mailbox). Fields are folded before white space so that lines stay within
// 76 characters where the text allows it. Decoding reverses all of it, so a reader (and the
// sending dialog's copy of the header) gets back exactly the text that was typed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velo::mail {

enum class EMailCharset { kIso2022Jp, kUtf8 };

// The MIME name: "ISO-2022-JP" or "UTF-8".
const char* CharsetName(EMailCharset charset);
// ISO-2022-JP when it carries the code page 932 text exactly, else UTF-8.
EMailCharset CharsetFor(std::string_view cp932);
// The code page 932 text in the character set: ISO-2022-JP bytes, or UTF-8.
std::string TextInCharset(std::string_view cp932, EMailCharset charset);

// Longest encoded word RFC 2047 allows, and the line length folded fields keep to (the
// limit RFC 2047 sets for lines holding encoded words, within RFC 5322's 78).
inline constexpr size_t kMaxEncodedWordLength = 75;
inline constexpr size_t kHeaderLineWidth = 76;

// Writes one header field ("Subject: ...") piece by piece, folding it where a piece would
// pass the line width. All text given is code page 932 on one line (no CR or LF).
class CHeaderFieldWriter final {
public:
    // Starts "name:"; the value follows after one blank. An empty name starts a bare value
    // (no blank). A width of 0 never folds.
    CHeaderFieldWriter(std::string_view name, EMailCharset charset,
                       size_t width = kHeaderLineWidth);

    // White space of the value; the line may be folded before it.
    void Space(std::string_view blanks = " ");
    // A place to fold where the value has no white space (after the comma of an address
    // list); folding there adds a blank.
    void BreakOpportunity();
    // Text written as it is (ASCII).
    void Plain(std::string_view text);
    // Text written as encoded words, as many as it takes.
    void Encoded(std::string_view cp932);
    // Unstructured text (a subject): each stretch of blank-separated words that hold
    // non-ASCII (or would read as an encoded word) is encoded as a whole, the blanks
    // between them included; the other words stay as they are.
    void Unstructured(std::string_view cp932);
    // A display name: non-ASCII is encoded as a whole, ASCII made of atoms (or already
    // quoted) stays, other ASCII is quoted.
    void Phrase(std::string_view cp932);
    // A mailbox: the display name and "<address>", or the bare address without a name.
    void Mailbox(std::string_view name, std::string_view address);

    // The field, without the final CR LF (white space left pending at the end is kept).
    std::string Take();

private:
    void Place(std::string_view token, bool foldFirst);
    size_t RoomOnLine() const;

    EMailCharset m_charset;
    size_t m_width;
    std::string m_text;
    size_t m_lineLength = 0;
    std::string m_pending;       // white space waiting for the next piece
    bool m_foldable = false;     // the next piece may go on a new line
    bool m_valueOnLine = false;  // the current line holds part of the value
};

// A display name ready for a To, Cc or Bcc entry without knowing the message: encoded as a
// whole (in the character set that fits it) when it holds non-ASCII, else unchanged.
std::string EncodedDisplayName(std::string_view cp932);
// Unstructured text with its Japanese stretches as encoded words, unfolded.
std::string EncodedUnstructured(std::string_view cp932);

// The reverse of the above for showing a header: ISO-2022-JP and UTF-8 "B" encoded words
// become code page 932, the white space between two adjacent words goes, folded lines are
// joined; anything that is not a complete encoded word is copied unchanged.
std::string DecodedHeaderText(std::string_view header);

}  // namespace velo::mail
