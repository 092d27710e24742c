// The server side of the change watch: which watched tables of a server-backed folder
// another session has committed to, told by the server's notifications (LISTEN/NOTIFY).
//
// Every write to a server table fires a trigger that notifies the channel recman_changes
// with the table's name; the server sends the notification to every listening session
// when the writing transaction commits, together with the writer's backend pid. The
// source shares the process's connection to the server (so the process's own commits,
// which come back from its own session, are told apart and dropped) and reads what has
// arrived without waiting and without a query.
//
// Its two operations are those of the change watch's source interface (Watch and Poll),
// so that the change watch can ask it for folders that hold a connection file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace recman {

class CServerChangeSource final {
public:
    // For the tables of the database folder `folder`, which holds a connection file.
    explicit CServerChangeSource(std::string folder);
    CServerChangeSource(const CServerChangeSource&) = delete;
    CServerChangeSource& operator=(const CServerChangeSource&) = delete;

    // Starts watching the table that programs open as `path` (FOLDER/NAME.BTR). Connects
    // to the server when the process has not yet. Returns kOk or the status of the
    // connection (LastErrorText tells why).
    int Watch(const std::string& path);

    // Appends to *changed the watched paths that another session has committed to since
    // the last Poll (or since Watch). When the connection to the server was lost or made
    // afresh meanwhile, what happened in between is unknown and every watched path is
    // reported. Never waits and never queries the server.
    void Poll(std::vector<std::string>* changed);

private:
    struct Watched {
        std::string path;
        std::string table;        // the server table
        uint64_t changes = 0;     // the engine's count of others' commits to it when last seen
        uint64_t connection = 0;  // the engine's connection when last seen; 0: none
    };

    std::string m_folder;
    std::vector<Watched> m_watched;
};

}  // namespace recman
