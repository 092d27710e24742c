// The dial-up stand-in over getifaddrs() and nmcli. The network tool runs in a child process
// with an argument list; while it works the event loop keeps running, so the sending dialog
// stays painted and its cancel button can be pressed.
#include "sheet/mail/rasdialer.h"

#include <ifaddrs.h>
#include <net/if.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTimer>
#include <cstdio>

#include "sheet/mail/mailtext.h"
#include "suite/text/cp932.h"

namespace velo::mail {
namespace {

// The longest the network tool may take (it gives up on its own after 90 s).
constexpr int kToolLimitMs = 120 * 1000;
// Like the platform's error texts, a tool's message is cut at this length.
constexpr int kMaxErrorChars = 256;

IMailStatusWindow* s_statusWindow = nullptr;
CRasDialer* s_dialer = nullptr;
std::string s_toolForTesting;

std::string NetworkTool() {
    if (!s_toolForTesting.empty()) return s_toolForTesting;
    return QStandardPaths::findExecutable(QStringLiteral("nmcli")).toStdString();
}

const char* StateText(int state) {
    switch (state) {
        case CRasDialer::kOpenPort: return "ポートオープン";
        case CRasDialer::kPortOpened: return "ポートを正常にオープンしました";
        case CRasDialer::kConnectDevice: return "ダイアルアップ接続中です";
        case CRasDialer::kConnected: return "ダイアルアップ接続完了";
        case CRasDialer::kDisconnected: return "回線切断";
        default: return nullptr;
    }
}

void ShowInformation(const std::string& cp932) {
    ShowMailMessage(cp932, EMailMessageIcon::Information);
}

// The tool's message, or the platform's wording for an error without text.
std::string ErrorMessage(const std::string& toolText, const char* kind, int code) {
    if (!toolText.empty()) return toolText;
    char text[80];
    std::snprintf(text, sizeof text, "Undefined RAS %s Error (%d).", kind, code);
    return text;
}

}  // namespace

struct CRasDialer::ToolResult {
    bool ran = false;      // the tool started and ended by itself
    int exitCode = -1;
    std::string message;   // its error output (code page 932), or why it did not run
};

CRasDialer::CRasDialer() {
    s_dialer = this;
    s_statusWindow = nullptr;
}

CRasDialer::~CRasDialer() {
    if (s_dialer == this) s_dialer = nullptr;
}

void CRasDialer::SetStatusWindow(IMailStatusWindow* window) { s_statusWindow = window; }

void CRasDialer::SetNetworkToolForTesting(const std::string& path) { s_toolForTesting = path; }

int CRasDialer::IsAnyConnectionOpen() const {
    ifaddrs* interfaces = nullptr;
    if (::getifaddrs(&interfaces) != 0) return 0;
    int open = 0;
    for (const ifaddrs* i = interfaces; i != nullptr && !open; i = i->ifa_next)
        if ((i->ifa_flags & IFF_UP) != 0 && (i->ifa_flags & IFF_LOOPBACK) == 0) open = 1;
    ::freeifaddrs(interfaces);
    return open;
}

// The flags follow every state, with or without a status window: a failed dial must read
// as failed even where nobody watches it.
void CRasDialer::ReportState(int state, bool withError) {
    if (s_dialer != nullptr) {
        if (state == kConnected) s_dialer->m_finished = 1;
        if (state == kDisconnected) {
            s_dialer->m_finished = 1;
            if (withError) s_dialer->m_failed = 1;
        }
    }
    const char* text = StateText(state);
    if (s_statusWindow != nullptr && text != nullptr) s_statusWindow->SetStatusText(Sjis(text));
}

CRasDialer::ToolResult CRasDialer::RunNetworkTool(const std::string& tool, const char* verb,
                                                  const std::string& entry) {
    ToolResult result;
    QProcess process;
    process.setProgram(QString::fromStdString(tool));
    process.setArguments({QStringLiteral("connection"), QString::fromLatin1(verb),
                          QStringLiteral("id"), Cp932ToQString(entry)});
    process.start();
    if (!process.waitForStarted()) {
        result.message = QStringToCp932(process.errorString().left(kMaxErrorChars));
        return result;
    }
    if (QCoreApplication::instance() != nullptr) {
        QEventLoop loop;
        QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(kToolLimitMs, &loop, &QEventLoop::quit);
        if (process.state() != QProcess::NotRunning) loop.exec();
    } else {
        process.waitForFinished(kToolLimitMs);
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.ran = process.exitStatus() == QProcess::NormalExit;
    result.exitCode = process.exitCode();
    const QString error = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    result.message = QStringToCp932(error.left(kMaxErrorChars));
    return result;
}

int CRasDialer::Dial(const char* entry, const char* /*user*/, const char* /*password*/) {
    m_finished = 0;
    m_failed = 0;
    if (HasConnection()) {
        ShowInformation(Sjis("接続中です"));
        return 0;
    }
    const std::string name = entry != nullptr ? entry : "";
    const std::string tool = NetworkTool();
    const bool known = !name.empty() && !tool.empty() && [&] {
        const ToolResult show = RunNetworkTool(tool, "show", name);
        return show.ran && show.exitCode == 0;
    }();
    if (!known) {
        ShowInformation(Sjis("ダイアルアップ情報を取得できません"));
        return 0;
    }

    ReportState(kOpenPort, false);
    ReportState(kPortOpened, false);
    ReportState(kConnectDevice, false);
    const ToolResult up = RunNetworkTool(tool, "up", name);
    if (!up.ran) {
        ShowInformation(ErrorMessage(up.message, "Dial", up.exitCode));
        return 0;
    }
    if (up.exitCode != 0) {
        // The connection did not come up: nothing is left to take down.
        ReportState(kDisconnected, true);
        return 0;
    }
    m_connection = name;
    ReportState(kConnected, false);
    return m_failed ? 0 : 1;
}

int CRasDialer::HangUp() {
    if (!HasConnection()) return 1;
    m_finished = 0;
    m_failed = 0;
    if (s_statusWindow != nullptr) s_statusWindow->SetStatusText(Sjis("ダイアルアップ切断中です..."));
    const std::string tool = NetworkTool();
    const ToolResult down =
        tool.empty() ? ToolResult{} : RunNetworkTool(tool, "down", m_connection);
    const bool ok = down.ran && down.exitCode == 0;
    if (!ok) ShowInformation(ErrorMessage(down.message, "HangUp", down.exitCode));
    m_connection.clear();
    s_statusWindow = nullptr;
    return ok ? 1 : 0;
}

}  // namespace velo::mail
