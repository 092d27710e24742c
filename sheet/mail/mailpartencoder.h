// Encoders of the body parts of a multipart message, found by kind: kind 0 writes a text
// part already in its character set (7bit, or Base64 when it cannot go as 7bit), kind 1 a
// file as a Base64 attachment. A message looks
// its encoders up in a registry; the process-wide default registry holds one of each and
// never changes after it is made, so messages on any thread may share it without a lock.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velo::mail {

inline constexpr int kTextPartKind = 0;
inline constexpr int kFilePartKind = 1;

// Longest line a message may hold, CR LF not counted (RFC 5322); servers refuse longer ones.
inline constexpr size_t kMaxLineOctets = 998;

// True when a text body cannot go as 7bit: it holds a byte above 127 or a line longer than
// kMaxLineOctets.
bool NeedsBase64Transfer(std::string_view text);
// The text with every line ended by CR LF (a lone CR or LF becomes CR LF, a missing last
// one is added), in Base64 lines of lineLength characters, each ended by CR LF.
std::string Base64TextLines(std::string_view text, size_t lineLength);

class CMailPartEncoder {
public:
    explicit CMailPartEncoder(int kind) : m_kind(kind) {}
    virtual ~CMailPartEncoder() = default;
    CMailPartEncoder(const CMailPartEncoder&) = delete;
    CMailPartEncoder& operator=(const CMailPartEncoder&) = delete;

    int Kind() const { return m_kind; }

    // Appends the part header and the part body to *out. Returns false, appending
    // nothing, when the part cannot be made (a file that cannot be read).
    virtual bool EncodePart(const std::string& content, const std::string& suffix, int extraFlag,
                            int partFlag, std::string* out) const = 0;
    // The MIME type the encoder writes ("text/plain", "application/octet-stream").
    virtual std::string GetContentType() const = 0;
    // The part's header block, ending with the empty line.
    virtual std::string MakePartHeader(const std::string& content,
                                       const std::string& suffix) const = 0;

private:
    int m_kind;
};

// A text part: the content is already in its character set (ISO-2022-JP unless the suffix
// names another, "; charset=UTF-8"). It is written as given (7bit), or in Base64 lines of
// lineLength characters when it cannot go as 7bit (a line too long, 8-bit bytes).
class CTextPartEncoder final : public CMailPartEncoder {
public:
    explicit CTextPartEncoder(int lineLength = 76)
        : CMailPartEncoder(kTextPartKind), m_lineLength(lineLength) {}
    bool EncodePart(const std::string& content, const std::string& suffix, int extraFlag,
                    int partFlag, std::string* out) const override;
    std::string GetContentType() const override;
    std::string MakePartHeader(const std::string& content,
                               const std::string& suffix) const override;
    int LineLength() const { return m_lineLength; }

private:
    int m_lineLength;
};

// A file attachment: the content is the file's path (code page 932, as every text of a
// message); the body is the file in Base64, 54 bytes (72 characters) to a line.
class CFilePartEncoder final : public CMailPartEncoder {
public:
    CFilePartEncoder() : CMailPartEncoder(kFilePartKind) {}
    bool EncodePart(const std::string& content, const std::string& suffix, int extraFlag,
                    int partFlag, std::string* out) const override;
    std::string GetContentType() const override;
    std::string MakePartHeader(const std::string& content,
                               const std::string& suffix) const override;
};

// The Base64 lines of a file part's body for the given bytes: 54 bytes to a line, each line
// ended by CR LF; a last block shorter than 54 bytes (an empty one when the length is a
// multiple of 54) ends the lines, and one more CR LF follows them.
std::string FilePartLines(const std::string& bytes);

class CMailPartEncoderRegistry {
public:
    CMailPartEncoderRegistry() = default;
    CMailPartEncoderRegistry(const CMailPartEncoderRegistry&) = delete;
    CMailPartEncoderRegistry& operator=(const CMailPartEncoderRegistry&) = delete;

    void Register(std::unique_ptr<CMailPartEncoder> encoder);
    // The first registered encoder of the kind; null when there is none.
    const CMailPartEncoder* Find(int kind) const;

    // The process-wide registry with one text encoder (line length 76) and one file
    // encoder. Made on first use, destroyed when the library unloads.
    static const CMailPartEncoderRegistry& Default();

private:
    std::vector<std::unique_ptr<CMailPartEncoder>> m_encoders;
};

}  // namespace velo::mail
