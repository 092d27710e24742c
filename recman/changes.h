// Which table files other processes have committed to: what lets an open window reload by
// itself when another workstation, or another program on this one, saves a change.
//
//   recman::CChangeWatch watch;
//   watch.Watch(folder + "RESERVATION.BTR");
//   ...every quarter of a second or so:
//   for (const std::string& path : watch.Poll()) reload what shows path;
//
// A watch never reports this process's own commits: the window that saved has reloaded
// already. On the embedded engine a poll reads the change counter that SQLite keeps in the
// header of every table file (four bytes, no query, no lock), so polling often costs next to
// nothing. A folder that holds the server connection file is watched by the server's own
// change source, over its notifications (or one set with SetServerChangeSourceFactory).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace recman {

// Where the changes of the table files of one folder come from (one per engine).
class IChangeSource {
public:
    virtual ~IChangeSource() = default;
    // Starts watching the table file at path (as the program opens it). Returns kOk, or a
    // status (kFileNotFound when there is no such table) and watches nothing new.
    virtual int Watch(const std::string& path) = 0;
    // Appends each watched path that another process has committed to since the last Poll
    // (since Watch, for a path not polled yet), once, as it was given to Watch.
    virtual void Poll(std::vector<std::string>* changed) = 0;
};

// Makes the change source of a folder whose tables live on a server.
using ServerChangeSourceFactory =
    std::function<std::unique_ptr<IChangeSource>(const std::string& folder)>;

// Replaces the server engine's change source (for tests); an empty function puts the
// server's own back. Watches made afterwards use it for every folder that holds the server
// connection file.
void SetServerChangeSourceFactory(ServerChangeSourceFactory factory);

// The change source of the server engine (used unless a factory is set): the server's
// notifications of other sessions' commits to the folder's tables.
std::unique_ptr<IChangeSource> MakeServerChangeSource(const std::string& folder);

// The change source of the embedded engine: the change counters of table files.
std::unique_ptr<IChangeSource> MakeFileChangeSource();

// The tables one window (or program) shows, and which of them others have changed.
class CChangeWatch final {
public:
    CChangeWatch();
    ~CChangeWatch();
    CChangeWatch(const CChangeWatch&) = delete;
    CChangeWatch& operator=(const CChangeWatch&) = delete;

    // Starts watching a table file. Returns kOk or a status: kFileNotFound when there is no
    // such table, kInvalidOperation when its folder holds the server connection file but no
    // server change source is registered (never a silent watch of files nobody writes), or
    // the server source's own status.
    int Watch(const std::string& tablePath);
    // The watched paths that another process has committed to since the last Poll, each
    // once, as given to Watch.
    std::vector<std::string> Poll();

private:
    struct FolderSource {
        std::string folder;
        std::unique_ptr<IChangeSource> source;
    };
    std::vector<FolderSource> m_sources;
};

}  // namespace recman
