#include "sheet/mail/mailmessage.h"

#include <cstdio>
#include <cstdlib>

#include "sheet/mail/base64codec.h"
#include "sheet/mail/jisconvert.h"
#include "sheet/mail/mailheader.h"
#include "sheet/mail/mailtext.h"
#include "suite/text/cp932.h"

namespace velo::mail {
namespace {

constexpr const char* kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool IsHalfWidthKana(unsigned char c) { return c >= 0xA1 && c <= 0xDF; }
bool IsTrailByte(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }

// Length of the character at text[pos] when it is not ASCII (a double-byte character, a
// lead byte without its trail, or half-width katakana); 0 for an ASCII byte.
size_t JapaneseCharLength(std::string_view text, size_t pos) {
    const unsigned char c = static_cast<unsigned char>(text[pos]);
    if (IsHalfWidthKana(c)) return 1;
    if (!IsCp932LeadByte(c)) return 0;
    const bool hasTrail =
        pos + 1 < text.size() && IsTrailByte(static_cast<unsigned char>(text[pos + 1]));
    return hasTrail ? 2 : 1;
}

// Position of an ASCII character outside double-byte characters (a trail byte may equal
// "@"), or npos.
size_t FindAsciiChar(std::string_view text, char wanted) {
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t length = JapaneseCharLength(text, pos);
        if (length == 0 && text[pos] == wanted) return pos;
        pos += length == 0 ? 1 : length;
    }
    return std::string_view::npos;
}

bool IsWhiteSpace(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' || ch == '\v' || ch == '\f';
}

std::string Trimmed(std::string_view text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsWhiteSpace(text[first])) ++first;
    while (last > first && IsWhiteSpace(text[last - 1])) --last;
    return std::string(text.substr(first, last - first));
}

// The value without carriage returns and line feeds, so it stays on its header line.
std::string OneLine(std::string_view value) {
    std::string line;
    line.reserve(value.size());
    for (const char ch : value) {
        if (ch != '\r' && ch != '\n') line += ch;
    }
    return line;
}

void ReplaceAllRepeatedly(std::string& text, std::string_view from, std::string_view to) {
    size_t pos = 0;
    while ((pos = text.find(from, pos == 0 ? 0 : pos - 1)) != std::string::npos) {
        text.replace(pos, from.size(), to);
    }
}

std::string NormalisedList(std::string_view list) {
    std::string text(list);
    ReplaceAllRepeatedly(text, " ,", ",");
    ReplaceAllRepeatedly(text, ", ", ",");
    return text;
}

std::string FormatLocal(const std::tm& local, const char* format) {
    char text[32] = {};
    std::strftime(text, sizeof text, format, &local);
    return text;
}

std::tm LocalTimeOf(std::time_t moment) {
    std::tm local{};
    localtime_r(&moment, &local);
    return local;
}

}  // namespace

std::string FormatMailDate(std::time_t moment) {
    const std::tm local = LocalTimeOf(moment);
    const long offsetMinutes = local.tm_gmtoff / 60;
    const long absoluteMinutes = std::labs(offsetMinutes);
    char text[64] = {};
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                  kDayNames[local.tm_wday % 7], local.tm_mday, kMonthNames[local.tm_mon % 12],
                  local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec,
                  offsetMinutes < 0 ? '-' : '+', absoluteMinutes / 60, absoluteMinutes % 60);
    return text;
}

void EnsureEndsWithCrLf(std::string& text) {
    if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) text += "\r\n";
}

CMailMessage::CMailMessage() = default;
CMailMessage::~CMailMessage() = default;

void CMailMessage::BuildHeader() {
    m_date = std::time(nullptr);
    const std::tm local = LocalTimeOf(m_date);
    m_dateStamp = FormatLocal(local, "%Y%m%d");
    m_timeStamp = FormatLocal(local, "%H%M%S");
    m_charset = ChooseCharset();

    CHeaderFieldWriter from("From", m_charset);
    WriteFrom(OneLine(m_from), &from);
    AddHeaderLine(from.Take());
    AddHeaderLine(AddressField("To", m_to, kHeaderLineWidth));
    if (!m_cc.empty()) AddHeaderLine(AddressField("Cc", m_cc, kHeaderLineWidth));
    // The Bcc line never goes over the wire (the session leaves it out line by line), so
    // it stays on one line.
    if (!m_bcc.empty()) AddHeaderLine(AddressField("Bcc", m_bcc, 0));
    AddHeaderLine("Date: " + FormatMailDate(m_date));
    CHeaderFieldWriter subject("Subject", m_charset);
    subject.Unstructured(OneLine(m_subject));
    AddHeaderLine(subject.Take());
    AddHeaderLine("Message-Id: " + OneLine(m_messageId));
    if (!m_reference.empty()) {
        AddHeaderLine("References: " + OneLine(m_reference));
        AddHeaderLine("In-Reply-To: " + OneLine(m_reference));
        m_reference.clear();
    }
    CHeaderFieldWriter mailer("X-Mailer", m_charset);
    mailer.Unstructured(OneLine(m_mailer));
    AddHeaderLine(mailer.Take());
}

// ISO-2022-JP, which older phones expect, unless some text of the message holds a
// character it cannot carry; then the whole message goes as UTF-8.
EMailCharset CMailMessage::ChooseCharset() const {
    bool fits = FitsIso2022Jp(m_from) && FitsIso2022Jp(m_subject) && FitsIso2022Jp(m_mailer) &&
                FitsIso2022Jp(m_reference) && FitsIso2022Jp(m_messageId) && FitsIso2022Jp(m_body);
    for (const auto* list : {&m_to, &m_cc, &m_bcc}) {
        for (const MailAddress& entry : *list) {
            fits = fits && FitsIso2022Jp(entry.name) && FitsIso2022Jp(entry.address);
        }
    }
    return fits ? EMailCharset::kIso2022Jp : EMailCharset::kUtf8;
}

// From holds "name <address>" or a bare address; the name is written as a display name
// (encoded or quoted as it needs), so a comma in it cannot make a second mailbox.
void CMailMessage::WriteFrom(const std::string& from, CHeaderFieldWriter* writer) const {
    const size_t open = from.rfind('<');
    if (from.empty() || from.back() != '>' || open == std::string::npos) {
        writer->Unstructured(from);
        return;
    }
    const std::string name = Trimmed(std::string_view(from).substr(0, open));
    const std::string address = from.substr(open + 1, from.size() - open - 2);
    if (name.empty()) {
        writer->Plain(std::string_view(from).substr(open));
    } else {
        writer->Mailbox(name, address);
    }
}

void CMailMessage::BuildBody() { EnsureEndsWithCrLf(m_body); }

void CMailMessage::EndHeader() { m_header += "\r\n"; }

void CMailMessage::ClearHeader() { m_header.clear(); }

void CMailMessage::AddHeaderLine(std::string_view text) {
    m_header += text;
    m_header += "\r\n";
}

// "Name: " and the entries joined by ",", folded after a comma where the line gets long.
std::string CMailMessage::AddressField(std::string_view field, const std::vector<MailAddress>& list,
                                       size_t width) const {
    CHeaderFieldWriter writer(field, m_charset, width);
    for (size_t i = 0; i < list.size(); ++i) {
        if (i > 0) {
            writer.Plain(",");
            writer.BreakOpportunity();
        }
        writer.Mailbox(OneLine(list[i].name), OneLine(list[i].address));
    }
    return writer.Take();
}

std::vector<CMailMessage::MailAddress>* CMailMessage::MutableAddresses(int kind) {
    switch (kind) {
        case kAddressTo:
            return &m_to;
        case kAddressCc:
            return &m_cc;
        case kAddressBcc:
            return &m_bcc;
        default:
            return nullptr;
    }
}

const std::vector<CMailMessage::MailAddress>& CMailMessage::Addresses(int kind) const {
    static const std::vector<MailAddress> kNone;
    switch (kind) {
        case kAddressTo:
            return m_to;
        case kAddressCc:
            return m_cc;
        case kAddressBcc:
            return m_bcc;
        default:
            return kNone;
    }
}

int CMailMessage::AddAddresses(int kind, std::string_view list, bool skipChecks) {
    std::vector<MailAddress>* target = MutableAddresses(kind);
    if (target == nullptr) return 0;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string_view::npos) comma = list.size();
        const std::string_view item = list.substr(start, comma - start);
        start = comma + 1;
        if (Trimmed(item).empty()) continue;

        std::string address;
        std::string name;
        const size_t open = item.find('<');
        if (open != std::string_view::npos) {
            const size_t close = item.find('>');
            if (close == std::string_view::npos || close < open) {
                ShowMailMessage(Sjis("メールアドレスの < と > の関係が正しくありません"));
                return 0;
            }
            name = item.substr(0, open);
            address = item.substr(open + 1, close - open - 1);
        } else {
            address = item;
        }
        address = OneLine(Trimmed(address));
        name = OneLine(Trimmed(name));
        if (!skipChecks) {
            name = EncodedDisplayName(name);
            if (FindAsciiChar(address, '@') == std::string::npos) {
                ShowMailMessage(Sjis("メールアドレスが不正です\n") + address);
                return 0;
            }
        }
        target->push_back({std::move(address), std::move(name)});
    }
    return 1;
}

int CMailMessage::SetRecipients(std::string_view to, std::string_view cc, std::string_view bcc) {
    if (!AddAddresses(kAddressTo, NormalisedList(to), true)) return 0;
    if (!cc.empty() && !AddAddresses(kAddressCc, NormalisedList(cc), false)) return 0;
    if (!bcc.empty() && !AddAddresses(kAddressBcc, NormalisedList(bcc), false)) return 0;
    return 1;
}

int CMailMessage::GetAddressCount(int kind) const {
    return static_cast<int>(Addresses(kind).size());
}

int CMailMessage::GetAddress(int kind, int index, std::string* address, std::string* name) const {
    const std::vector<MailAddress>& list = Addresses(kind);
    if (index < 0 || index >= static_cast<int>(list.size())) return 0;
    if (address != nullptr) *address = list[static_cast<size_t>(index)].address;
    if (name != nullptr) *name = list[static_cast<size_t>(index)].name;
    return 1;
}

void CMailMessage::EncodeHeaderText(std::string& text) { text = EncodedUnstructured(text); }

void CMailMessage::DecodeHeaderText(std::string& text) { text = DecodedHeaderText(text); }

void CMailMessage::ToJis(std::string& text) { text = SjisToIso2022Jp(text); }

void CMailMessage::FromJis(std::string& text) { text = Iso2022JpToSjis(text); }

std::string CMailMessage::Base64Encode(const void* bytes, size_t length) {
    return CBase64Codec::Encode(bytes, length);
}

int CMailMessage::Base64Decode(std::string_view text, std::string* out) {
    return static_cast<int>(CBase64Codec::Decode(text, out));
}

void CMailMessage::SetEnvelopeSender(std::string_view address) {
    m_envelopeSender = OneLine(address);
}

}  // namespace velo::mail
