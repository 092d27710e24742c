// The message the system sends: a CMailMessage with MIME headers. Without announced
// attachments it is a plain single-part text/plain message in the message's character set
// (ISO-2022-JP 7bit as a rule; Base64 when a line is too long for 7bit or the message goes
// in UTF-8); with them it is multipart/mixed, the text first and each file as a Base64 part.
#pragma once

#include <list>
#include <string>
#include <string_view>

#include "sheet/mail/mailmessage.h"

namespace velo::mail {

class CMailPartEncoderRegistry;

class CMimeMessage : public CMailMessage {
public:
    // One body part waiting to be laid out.
    struct PartEntry {
        int EncoderKind = 0;  // kTextPartKind or kFilePartKind
        int ExtraFlag = 0;
        std::string ContentTypeSuffix;
        int PartFlag = 0;
        std::string Content;  // the text for a text part, the file path for a file part
    };

    // Fixes the boundary from the local time now ("MM_Boundary_%Y%m%d%H%M%S"). Encoders
    // come from the process-wide default registry unless another one is given; it must
    // outlive the message.
    CMimeMessage();
    explicit CMimeMessage(const CMailPartEncoderRegistry& registry);
    ~CMimeMessage() override;
    // Copies every field, the address lists and the parts.
    CMimeMessage(const CMimeMessage&) = default;
    CMimeMessage& operator=(const CMimeMessage&) = default;

    // The base header block, then "MIME-Version: 1.0" and the content type: text/plain in
    // the message's character set, 7bit or base64, without attachments, else
    // multipart/mixed with the boundary.
    void BuildHeader() override;
    // Converts Body to the character set BuildHeader chose (in Base64 lines when it said
    // base64); with attachments lays it out as the first part, appends every part and the
    // closing delimiter. Body always ends in CR LF.
    void BuildBody() override;
    // Appends each part (delimiter, part header, part body) in list order; a part whose
    // encoder is missing or cannot make it (a file that cannot be read) is left out.
    virtual void AppendParts();

    // Adds a part; a file part's path is trimmed of white space at both ends. File parts
    // go to the end of the list, text parts to the front. Always returns 1.
    int AddPart(std::string_view content, int kind, std::string_view suffix, int extraFlag,
                int partFlag);

    const std::string& Preamble() const { return m_preamble; }
    const std::string& Boundary() const { return m_boundary; }
    void SetBoundary(std::string_view boundary) { m_boundary = boundary; }
    const std::string& ContentType() const { return m_contentType; }
    const std::list<PartEntry>& Parts() const { return m_parts; }

private:
    const CMailPartEncoderRegistry* m_registry;
    std::string m_preamble = "This is a multi-part message in MIME format.";
    std::string m_boundary;
    std::string m_contentType = "multipart/mixed";
    std::list<PartEntry> m_parts;
    bool m_base64Body = false;  // BuildHeader announced a Base64 body
    // The body in the message's character set, converted by BuildHeader to choose the
    // transfer encoding, and the body and character set it was made from: BuildBody takes
    // it instead of converting the same text again.
    std::string m_convertedBody;
    std::string m_convertedFrom;
    EMailCharset m_convertedCharset = EMailCharset::kIso2022Jp;
};

}  // namespace velo::mail
