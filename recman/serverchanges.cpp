// The change watch's source for server-backed folders, over the server engine's
// notifications.
#include "recman/serverchanges.h"

#include "recman/engines.h"
#include "recman/pgengine.h"
#include "recman/recman.h"

namespace recman {

CServerChangeSource::CServerChangeSource(std::string folder) : m_folder(std::move(folder)) {}

int CServerChangeSource::Watch(const std::string& path) {
    PgEngine* engine = nullptr;
    if (int status = engines::ServerOf(m_folder, &engine); status != kOk)
        return status == kFileNotFound ? kIoError : status;
    if (int status = engine->Listen(m_folder); status != kOk) return status;
    engine->PollNotifications();
    const std::string table = PgEngine::TableNameFor(path);
    for (const Watched& w : m_watched)
        if (w.path == path) return kOk;
    m_watched.push_back(
        {path, table, engine->ChangesOf(table), engine->Connected() ? engine->Connections() : 0});
    return kOk;
}

void CServerChangeSource::Poll(std::vector<std::string>* changed) {
    PgEngine* engine = nullptr;
    if (m_watched.empty() || engines::ServerOf(m_folder, &engine) != kOk) return;
    engine->PollNotifications();
    // Without a connection nothing is heard: the watched tables are reported once when it
    // goes and once more when it comes back, so that windows read again what they show.
    const uint64_t connection = engine->Connected() ? engine->Connections() : 0;
    for (Watched& w : m_watched) {
        const uint64_t changes = engine->ChangesOf(w.table);
        if (changes != w.changes || connection != w.connection) changed->push_back(w.path);
        w.changes = changes;
        w.connection = connection;
    }
}

}  // namespace recman
