// CRasDialer: the dial-up link of clinics without a permanent line. It tells whether a
// connection is already open, brings up a connection of the machine's network manager by its
// name, shows each step of the dial in the status window of the sending dialog, and takes
// the link down at the end of the run.
//
// Here a connection counts as open when any network interface other than loopback is up,
// and dialling runs NetworkManager's command-line tool (`nmcli connection up id NAME`).
// The name goes to the tool as one argument of its own, never through a shell.
#pragma once

#include <string>

namespace velo::mail {

class IMailStatusWindow;

class CRasDialer {
public:
    // Dial states, numbered as the remote-access platform numbers them.
    enum EDialState : int {
        kOpenPort = 0,
        kPortOpened = 1,
        kConnectDevice = 2,
        kConnected = 8192,
        kDisconnected = 8193,
    };

    // Becomes the dialer whose steps are shown; clears the status window and both flags.
    CRasDialer();
    ~CRasDialer();
    CRasDialer(const CRasDialer&) = delete;
    CRasDialer& operator=(const CRasDialer&) = delete;

    // The status window the dial steps are written to (process-wide, null: none).
    static void SetStatusWindow(IMailStatusWindow* window);

    // 1 when a network interface other than loopback is up; 0 when none is, or when the
    // interfaces cannot be read.
    int IsAnyConnectionOpen() const;
    // Brings up the connection named `entry`. Returns 1 when it came up, else 0: with a
    // message when a connection of this dialer is already up ("接続中です"), when the
    // entry or the network tool cannot be found ("ダイアルアップ情報を取得できません"),
    // or when the tool could not be run; with Failed() set and "回線切断" in the status
    // window when the connection did not come up. User and password (null: the stored
    // ones) are not passed on: the network manager keeps the entry's credentials.
    int Dial(const char* entry, const char* user = nullptr, const char* password = nullptr);
    // Takes the connection down. 1 when none was up or it went down, else 0 with a message.
    int HangUp();

    bool Finished() const { return m_finished != 0; }
    bool Failed() const { return m_failed != 0; }
    bool HasConnection() const { return !m_connection.empty(); }

    // Tests run a stand-in for the network tool; an empty path looks for `nmcli` again.
    static void SetNetworkToolForTesting(const std::string& path);

private:
    // Shows a dial state and sets the flags it implies.
    static void ReportState(int state, bool withError);
    struct ToolResult;
    static ToolResult RunNetworkTool(const std::string& tool, const char* verb,
                                     const std::string& entry);

    int m_finished = 0;
    int m_failed = 0;
    std::string m_connection;  // the entry this dialer brought up; empty when none
};

}  // namespace velo::mail
