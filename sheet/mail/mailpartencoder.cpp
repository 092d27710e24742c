#include "sheet/mail/mailpartencoder.h"

#include <fstream>
#include <iterator>

#include "sheet/mail/base64codec.h"
#include "sheet/mail/mailmessage.h"
#include "suite/text/cp932.h"

namespace velo::mail {
namespace {

constexpr size_t kFileBlockBytes = 54;  // 72 Base64 characters to a line

// The file name of a path, without the folder.
std::string FileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A header parameter value in quotes, so that spaces and the "=" and "?" of encoded words
// stay inside it.
std::string QuotedParameter(const std::string& value) {
    std::string quoted = "\"";
    for (const char ch : value) {
        if (ch == '"' || ch == '\\') quoted += '\\';
        quoted += ch;
    }
    return quoted + "\"";
}

// The path is code page 932 like every text of a message; the file system's names are
// UTF-8.
bool ReadWholeFile(const std::string& cp932Path, std::string* bytes) {
    std::ifstream file(Cp932ToQString(cp932Path).toStdString(), std::ios::binary);
    if (!file) return false;
    bytes->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

}  // namespace

bool NeedsBase64Transfer(std::string_view text) {
    size_t lineLength = 0;
    for (const char ch : text) {
        if (static_cast<unsigned char>(ch) >= 0x80) return true;
        lineLength = ch == '\r' || ch == '\n' ? 0 : lineLength + 1;
        if (lineLength > kMaxLineOctets) return true;
    }
    return false;
}

std::string Base64TextLines(std::string_view text, size_t lineLength) {
    std::string canonical;
    canonical.reserve(text.size() + 2);
    for (size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch != '\r' && ch != '\n') {
            canonical += ch;
            continue;
        }
        canonical += "\r\n";
        if (ch == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    }
    if (!canonical.empty() && canonical.back() != '\n') canonical += "\r\n";
    const std::string encoded = CBase64Codec::Encode(canonical);
    if (lineLength == 0) lineLength = encoded.size() + 1;
    std::string lines;
    lines.reserve(encoded.size() + encoded.size() / lineLength * 2 + 2);
    for (size_t pos = 0; pos < encoded.size(); pos += lineLength) {
        lines.append(encoded, pos, lineLength);
        lines += "\r\n";
    }
    return lines;
}

bool CTextPartEncoder::EncodePart(const std::string& content, const std::string& suffix,
                                  int /*extraFlag*/, int /*partFlag*/, std::string* out) const {
    *out += MakePartHeader(content, suffix);
    *out += NeedsBase64Transfer(content) ? Base64TextLines(content, size_t(m_lineLength)) : content;
    return true;
}

std::string CTextPartEncoder::GetContentType() const { return "text/plain"; }

std::string CTextPartEncoder::MakePartHeader(const std::string& content,
                                             const std::string& suffix) const {
    const std::string type = GetContentType() + suffix;
    std::string header = "Content-Type: " + type;
    if (type == "text/plain") header += "; charset=ISO-2022-JP";
    header += "\r\nContent-Transfer-Encoding: ";
    header += NeedsBase64Transfer(content) ? "base64" : "7bit";
    header += "\r\n\r\n";
    return header;
}

bool CFilePartEncoder::EncodePart(const std::string& content, const std::string& suffix,
                                  int /*extraFlag*/, int /*partFlag*/, std::string* out) const {
    std::string bytes;
    if (!ReadWholeFile(content, &bytes)) return false;
    *out += MakePartHeader(content, suffix);
    *out += FilePartLines(bytes);
    return true;
}

std::string CFilePartEncoder::GetContentType() const { return "application/octet-stream"; }

std::string CFilePartEncoder::MakePartHeader(const std::string& content,
                                             const std::string& /*suffix*/) const {
    std::string name = FileNameOf(content);
    CMailMessage::EncodeHeaderText(name);
    const std::string quoted = QuotedParameter(name);
    return "Content-Type: " + GetContentType() + "; file=" + quoted +
           "\r\nContent-Transfer-Encoding: base64\r\n"
           "Content-Disposition: attachment; filename=" +
           quoted + "\r\n\r\n";
}

std::string FilePartLines(const std::string& bytes) {
    std::string lines;
    lines.reserve(bytes.size() * 4 / 3 + bytes.size() / kFileBlockBytes * 2 + 8);
    size_t pos = 0;
    for (;;) {
        const size_t blockBytes = std::min(kFileBlockBytes, bytes.size() - pos);
        lines += CBase64Codec::Encode(bytes.data() + pos, blockBytes);
        lines += "\r\n";
        pos += blockBytes;
        if (blockBytes < kFileBlockBytes) break;
    }
    lines += "\r\n";
    return lines;
}

void CMailPartEncoderRegistry::Register(std::unique_ptr<CMailPartEncoder> encoder) {
    if (encoder) m_encoders.push_back(std::move(encoder));
}

const CMailPartEncoder* CMailPartEncoderRegistry::Find(int kind) const {
    for (const auto& encoder : m_encoders) {
        if (encoder->Kind() == kind) return encoder.get();
    }
    return nullptr;
}

const CMailPartEncoderRegistry& CMailPartEncoderRegistry::Default() {
    // Made once, thread-safely, on first use; read-only afterwards, so lookups need no lock.
    static const std::unique_ptr<const CMailPartEncoderRegistry> registry = [] {
        auto made = std::make_unique<CMailPartEncoderRegistry>();
        made->Register(std::make_unique<CTextPartEncoder>(76));
        made->Register(std::make_unique<CFilePartEncoder>());
        return std::unique_ptr<const CMailPartEncoderRegistry>(std::move(made));
    }();
    return *registry;
}

}  // namespace velo::mail
