#include "sheet/mail/mimemessage.h"

#include <ctime>

#include "sheet/mail/mailheader.h"
#include "sheet/mail/mailpartencoder.h"

namespace velo::mail {
namespace {

std::string BoundaryForNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32] = {};
    std::strftime(text, sizeof text, "MM_Boundary_%Y%m%d%H%M%S", &local);
    return text;
}

std::string TrimmedPath(std::string_view path) {
    const auto isSpace = [](char ch) {
        return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' || ch == '\v' || ch == '\f';
    };
    size_t first = 0;
    size_t last = path.size();
    while (first < last && isSpace(path[first])) ++first;
    while (last > first && isSpace(path[last - 1])) --last;
    return std::string(path.substr(first, last - first));
}

// The content type suffix of the text part: the text encoder names ISO-2022-JP itself.
std::string TextPartSuffix(EMailCharset charset) {
    if (charset == EMailCharset::kIso2022Jp) return {};
    return std::string("; charset=") + CharsetName(charset);
}

}  // namespace

CMimeMessage::CMimeMessage() : CMimeMessage(CMailPartEncoderRegistry::Default()) {}

CMimeMessage::CMimeMessage(const CMailPartEncoderRegistry& registry)
    : m_registry(&registry), m_boundary(BoundaryForNow()) {}

CMimeMessage::~CMimeMessage() = default;

void CMimeMessage::BuildHeader() {
    CMailMessage::BuildHeader();
    AddHeaderLine("MIME-Version: 1.0");
    if (AttachmentCount() < 1) {
        m_convertedFrom = Body();
        m_convertedCharset = Charset();
        m_convertedBody = TextInCharset(m_convertedFrom, m_convertedCharset);
        // A body that cannot go as 7bit (a paragraph longer than a line may be, UTF-8)
        // goes in Base64, its text unchanged.
        m_base64Body = NeedsBase64Transfer(m_convertedBody);
        AddHeaderLine(std::string("Content-Type: text/plain; charset=") + CharsetName(Charset()));
        AddHeaderLine(std::string("Content-Transfer-Encoding: ") +
                      (m_base64Body ? "base64" : "7bit"));
    } else {
        AddHeaderLine("Content-Type: " + m_contentType + "; boundary=" + m_boundary);
    }
}

void CMimeMessage::BuildBody() {
    std::string& body = MutableBody();
    if (body == m_convertedFrom && Charset() == m_convertedCharset)
        body = std::move(m_convertedBody);
    else
        body = TextInCharset(body, Charset());
    m_convertedBody.clear();
    m_convertedFrom.clear();
    if (AttachmentCount() > 0) {
        if (!body.empty()) AddPart(body, kTextPartKind, TextPartSuffix(Charset()), 0, 0);
        body = m_preamble + "\r\n\r\n";
        AppendParts();
        EnsureEndsWithCrLf(body);
        body += "--" + m_boundary + "--\r\n";
    } else if (m_base64Body) {
        body = Base64TextLines(body, size_t(LineLength()));
    }
    EnsureEndsWithCrLf(body);
}

void CMimeMessage::AppendParts() {
    std::string& body = MutableBody();
    for (const PartEntry& entry : m_parts) {
        const CMailPartEncoder* encoder = m_registry->Find(entry.EncoderKind);
        if (encoder == nullptr) continue;
        std::string part;
        if (!encoder->EncodePart(entry.Content, entry.ContentTypeSuffix, entry.ExtraFlag,
                                 entry.PartFlag, &part)) {
            continue;
        }
        EnsureEndsWithCrLf(body);
        body += "--" + m_boundary + "\r\n";
        body += part;
    }
}

int CMimeMessage::AddPart(std::string_view content, int kind, std::string_view suffix,
                          int extraFlag, int partFlag) {
    PartEntry entry;
    entry.EncoderKind = kind;
    entry.ExtraFlag = extraFlag;
    entry.ContentTypeSuffix = suffix;
    entry.PartFlag = partFlag;
    entry.Content = kind == kFilePartKind ? TrimmedPath(content) : std::string(content);
    if (kind == kTextPartKind) {
        m_parts.push_front(std::move(entry));
    } else {
        m_parts.push_back(std::move(entry));
    }
    return 1;
}

}  // namespace velo::mail
