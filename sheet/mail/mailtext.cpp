#include "sheet/mail/mailtext.h"

#include <QString>

#include "suite/text/cp932.h"
#include "suite/tool/messageservice.h"

namespace velo::mail {

std::string Sjis(const char* utf8) { return QStringToCp932(QString::fromUtf8(utf8)); }

void ShowMailMessage(const std::string& cp932, EMailMessageIcon icon) {
    CMessageService::MessageBox(nullptr, Cp932ToQString(cp932), QStringLiteral("メール送信"),
                                icon == EMailMessageIcon::Information
                                    ? CMessageService::EIcon::Information
                                    : CMessageService::EIcon::Warning);
}

}  // namespace velo::mail
