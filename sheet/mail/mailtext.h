// Ground the mail library stands on. Like the suite's records, the library works on code
// page 932 byte strings (subjects, bodies, names, status lines and error texts alike); its
// own texts are written in UTF-8 in the source and converted once. The library holds no
// widgets: the sending dialog shows the current step through IMailStatusWindow, and every
// message box goes through the suite's message service, which tests script and read.
#pragma once

#include <string>

namespace velo::mail {

// Code page 932 bytes of a UTF-8 text of the source ("サーバーに接続できません").
std::string Sjis(const char* utf8);

// The text control that shows the current protocol step of a sending run. Sessions keep
// the text it had when they were given it and put it back when they end.
class IMailStatusWindow {
public:
    virtual ~IMailStatusWindow() = default;
    virtual std::string GetStatusText() const = 0;             // code page 932
    virtual void SetStatusText(const std::string& cp932) = 0;  // shown at once
    // Called again and again, every few hundredths of a second, while a session waits for
    // the server: the place to let the window's waiting events through, so that it stays
    // painted and its cancel button answers. True when the user asked to stop; the session
    // then gives up the wait at once and fails as cancelled.
    virtual bool WhileWaiting() { return false; }
};

enum class EMailMessageIcon { Information, Warning };

// Shows a code page 932 text in a message box of the suite's message service.
void ShowMailMessage(const std::string& cp932, EMailMessageIcon icon = EMailMessageIcon::Warning);

}  // namespace velo::mail
