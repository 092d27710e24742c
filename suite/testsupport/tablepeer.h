// The table peer (tablepeer.cpp) on a database folder: another workstation that writes
// records on cue, for the tests of windows that reload by themselves. A test target that uses
// it is named in velo_use_table_peer.
#pragma once

#include <string>

#include "suite/testsupport/peerprocess.h"

class CTablePeer final : public CPeerProcess {
public:
    explicit CTablePeer(const std::string& folder) : CPeerProcess(TABLE_PEER, {folder}) {}

    // Runs one command ("insert RESERVATION.BTR ReservationNo=...") and returns the peer's
    // answer: "ok" and the steady clock at the end of the commit, or "failed" and a status.
    std::string Run(const std::string& command) {
        Send(command);
        return ReadLine();
    }
};
