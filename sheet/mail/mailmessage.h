// One mail message as the sending run composes it: sender, recipients, subject and body as
// code page 932 text, turned into the exact header and body octets that go over SMTP. A
// message whose texts ISO-2022-JP carries goes in ISO-2022-JP (Japanese words as "B" encoded
// words in the header, the body converted); one holding a character it lacks (髙, 﨑, ①,
// half-width katakana) goes wholly in UTF-8, so every text arrives as typed. The SMTP
// session builds a message in the order ClearHeader, BuildHeader, EndHeader, BuildBody and
// then sends Header() and Body(). Every line the builder writes ends in CR LF; header fields
// are folded (see mailheader.h).
#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "sheet/mail/mailheader.h"

namespace velo::mail {

// Kinds of address list, as AddAddresses, GetAddressCount and GetAddress count them.
inline constexpr int kAddressTo = 0;
inline constexpr int kAddressCc = 1;
inline constexpr int kAddressBcc = 2;

// The text of a Date header for a moment, in the machine's zone at that moment:
// "Tue, 07 Jan 2025 09:30:00 +0900". Day and month names are English whatever the locale;
// the offset is the real one from UTC (daylight saving included).
std::string FormatMailDate(std::time_t moment);

class CMailMessage {
public:
    // One entry of a To, Cc or Bcc list.
    struct MailAddress {
        std::string address;  // bare address, "taro@example.jp"
        std::string name;     // display name; empty when none was given
    };

    CMailMessage();
    virtual ~CMailMessage();
    // Copies every field and the three address lists (the front object keeps the last
    // message it sent this way).
    CMailMessage(const CMailMessage&) = default;
    CMailMessage& operator=(const CMailMessage&) = default;

    // Chooses the message's character set (Charset()) and fills Header with the header
    // fields: From, To, Cc and Bcc (when not empty), Date, Subject, Message-Id, References
    // and In-Reply-To (when Reference is set; Reference is emptied afterwards) and X-Mailer,
    // each encoded and folded so that a reader gets back exactly the text given. Records
    // the moment in Date, DateStamp and TimeStamp. Carriage returns and line feeds inside
    // any value are dropped, so no value can start a header line of its own.
    virtual void BuildHeader();
    // Makes sure Body ends in CR LF.
    virtual void BuildBody();
    // Appends the empty line that ends the header block.
    virtual void EndHeader();
    virtual void ClearHeader();
    // Appends text and CR LF to Header.
    virtual void AddHeaderLine(std::string_view text);

    // Parses a comma-separated list ("a@x.jp, 山田 <b@y.jp>") and appends its entries to
    // the list of `kind`. Each item is either a bare address or a display name followed by
    // the address in "<" ">"; empty items are skipped. Unless skipChecks is set, a name
    // holding Japanese is encoded as a whole (EncodedDisplayName) and an address must hold
    // "@". On a bad item shows the message for it and returns 0; the entries appended
    // before it stay. Returns 1 else.
    int AddAddresses(int kind, std::string_view list, bool skipChecks);
    // Normalises (" ," and ", " become ",") and parses the three lists: To without the
    // checks, Cc and Bcc with them; an empty Cc or Bcc is skipped. Returns 0 as soon as one
    // list fails (after its message was shown), 1 when all were taken.
    int SetRecipients(std::string_view to, std::string_view cc, std::string_view bcc);
    int GetAddressCount(int kind) const;
    // Reads one entry. Returns 0 and leaves *address and *name unchanged when kind or index
    // is out of range; 1 otherwise. Either output may be null.
    int GetAddress(int kind, int index, std::string* address, std::string* name) const;
    const std::vector<MailAddress>& Addresses(int kind) const;

    // Replaces each run of double-byte characters (and half-width katakana) by one
    // "=?ISO-2022-JP?B?...?=" word; other ASCII stays outside the words. Blanks between
    // two Japanese words go inside one word, since readers drop white space between
    // adjacent encoded words and "山田 太郎" would arrive as "山田太郎".
    static void EncodeHeaderText(std::string& text);
    // The reverse, for showing a sent header: every complete "=?ISO-2022-JP?B?...?=" word
    // is decoded to code page 932; everything else is copied unchanged.
    static void DecodeHeaderText(std::string& text);
    // Code page 932 to ISO-2022-JP and back (see jisconvert.h), in place.
    static void ToJis(std::string& text);
    static void FromJis(std::string& text);
    // Base64 of the bytes, "=" padded, without line breaks.
    static std::string Base64Encode(const void* bytes, size_t length);
    // Decodes up to the first byte outside the Base64 alphabet (so a line break ends it)
    // and appends the bytes to *out. Returns the number of bytes appended.
    static int Base64Decode(std::string_view text, std::string* out);

    // Fields. Texts are code page 932 unless noted.
    const std::string& EnvelopeSender() const { return m_envelopeSender; }
    // The bare address for MAIL From; line breaks are dropped.
    void SetEnvelopeSender(std::string_view address);
    const std::string& From() const { return m_from; }
    void SetFrom(std::string_view from) { m_from = from; }
    const std::string& Subject() const { return m_subject; }
    void SetSubject(std::string_view subject) { m_subject = subject; }
    const std::string& Reference() const { return m_reference; }
    void SetReference(std::string_view reference) { m_reference = reference; }
    const std::string& MessageId() const { return m_messageId; }
    void SetMessageId(std::string_view messageId) { m_messageId = messageId; }
    const std::string& DateStamp() const { return m_dateStamp; }  // "%Y%m%d" of Date
    const std::string& TimeStamp() const { return m_timeStamp; }  // "%H%M%S" of Date
    const std::string& Mailer() const { return m_mailer; }
    void SetMailer(std::string_view mailer) { m_mailer = mailer; }
    // The header block (ASCII once built).
    const std::string& Header() const { return m_header; }
    // The moment BuildHeader ran; 0 before.
    std::time_t Date() const { return m_date; }
    // Code page 932 until BuildBody, the octets to send (and the MIME layout) afterwards.
    const std::string& Body() const { return m_body; }
    void SetBody(std::string_view body) { m_body = body; }
    // Attachments the caller announced; 0 gives a single-part message.
    int AttachmentCount() const { return m_attachmentCount; }
    void SetAttachmentCount(int count) { m_attachmentCount = count; }
    int LineLength() const { return m_lineLength; }

protected:
    // The character set BuildHeader chose for the message; ISO-2022-JP before it ran.
    EMailCharset Charset() const { return m_charset; }
    std::string& MutableHeader() { return m_header; }
    std::string& MutableBody() { return m_body; }

private:
    EMailCharset ChooseCharset() const;
    void WriteFrom(const std::string& from, CHeaderFieldWriter* writer) const;
    std::string AddressField(std::string_view field, const std::vector<MailAddress>& list,
                             size_t width) const;
    std::vector<MailAddress>* MutableAddresses(int kind);

    std::string m_envelopeSender;
    std::string m_from;
    std::string m_subject;
    std::string m_reference;
    std::string m_messageId;
    std::string m_dateStamp;
    std::string m_timeStamp;
    std::string m_mailer;
    std::string m_header;
    std::time_t m_date = 0;
    std::string m_body;
    int m_attachmentCount = 0;
    int m_lineLength = 76;
    EMailCharset m_charset = EMailCharset::kIso2022Jp;
    std::vector<MailAddress> m_to;
    std::vector<MailAddress> m_cc;
    std::vector<MailAddress> m_bcc;
};

// Makes sure text ends in CR LF.
void EnsureEndsWithCrLf(std::string& text);

}  // namespace velo::mail
