// The engines of this process, the choice among them by folder, and the transactions
// across them.
#include "recman/engines.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <vector>

#include "recman/conninfo.h"
#include "recman/pgengine.h"
#include "recman/recman.h"
#include "recman/sqliteengine.h"

namespace recman::engines {
namespace {

// What a folder's connection file said, while the file stays as it was.
struct FolderChoice {
    uint64_t device = 0, inode = 0, size = 0, modified = 0;
    std::string conninfo;
};

struct Registry {
    std::map<std::string, FolderChoice> folders;               // by folder as given
    std::map<std::string, std::unique_ptr<PgEngine>> servers;  // by connection string
    std::vector<Engine*> all{&SqliteEngine::Get()};            // the embedded engine first
    int busyTimeout = 5000;
    std::string lastError;
};

Registry& TheRegistry() {
    // Never destroyed: the servers' connections are closed by Shutdown at exit.
    static Registry* registry = [] {
        auto* r = new Registry;
        std::atexit([] { Shutdown(); });
        return r;
    }();
    return *registry;
}

std::string FolderOf(const std::string& path) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    return folder.empty() ? "." : folder;
}

PgEngine* ServerFor(const std::string& conninfo) {
    Registry& r = TheRegistry();
    auto& slot = r.servers[conninfo];
    if (!slot) {
        slot = std::make_unique<PgEngine>(conninfo);
        slot->SetBusyTimeout(r.busyTimeout);
        // A transaction already open spans the new engine's tables too.
        if (InTransaction()) slot->Begin();
        r.all.push_back(slot.get());
    }
    return slot.get();
}

// kOk with the connection string, kFileNotFound without a connection file, or the status
// of a file that cannot be read.
int ConnInfoOf(const std::string& folder, std::string* conninfo) {
    Registry& r = TheRegistry();
    struct stat st;
    const std::string path = ConnInfoPath(folder);
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            r.folders.erase(folder);
            return kFileNotFound;
        }
        SetLastErrorText("接続ファイルを読めません: " + path + "\n" + std::strerror(errno));
        return kIoError;
    }
    const uint64_t modified =
        uint64_t(st.st_mtim.tv_sec) * 1000000000u + uint64_t(st.st_mtim.tv_nsec);
    auto known = r.folders.find(folder);
    if (known != r.folders.end() && known->second.device == uint64_t(st.st_dev) &&
        known->second.inode == uint64_t(st.st_ino) && known->second.size == uint64_t(st.st_size) &&
        known->second.modified == modified) {
        *conninfo = known->second.conninfo;
        return kOk;
    }
    if (int status = ServerConnInfo(folder, conninfo); status != kOk)
        return status == kFileNotFound ? kIoError : status;
    r.folders[folder] = {uint64_t(st.st_dev), uint64_t(st.st_ino), uint64_t(st.st_size), modified,
                         *conninfo};
    return kOk;
}

}  // namespace

int ForPath(const std::string& path, Engine** engine) {
    std::string conninfo;
    const int status = ConnInfoOf(FolderOf(path), &conninfo);
    if (status == kFileNotFound) {
        *engine = &SqliteEngine::Get();
        return kOk;
    }
    if (status != kOk) return status;
    *engine = ServerFor(conninfo);
    return kOk;
}

int ServerOf(const std::string& folder, PgEngine** engine) {
    std::string conninfo;
    if (int status = ConnInfoOf(folder.empty() ? "." : folder, &conninfo); status != kOk)
        return status;
    *engine = ServerFor(conninfo);
    return kOk;
}

int Begin() {
    if (InTransaction()) return kTransactionActive;
    const std::vector<Engine*>& all = TheRegistry().all;
    for (size_t i = 0; i < all.size(); ++i) {
        if (const int st = all[i]->Begin(); st != kOk) {
            for (size_t j = 0; j < i; ++j) all[j]->Abort();
            return st;
        }
    }
    return kOk;
}

// The embedded engine commits first: when its commit fails it may stay open (another
// process holds a file), and the servers' transactions then wait for the caller's abort too.
// A transaction that wrote to several engines is atomic on each, not across them.
int Commit() {
    int status = kNoTransaction;
    for (Engine* engine : TheRegistry().all) {
        const int st = engine->Commit();
        if (st == kNoTransaction) continue;
        if (st != kOk) return st;
        status = kOk;
    }
    return status;
}

int Abort() {
    int status = kNoTransaction;
    for (Engine* engine : TheRegistry().all) {
        const int st = engine->Abort();
        if (st != kNoTransaction && (status == kNoTransaction || status == kOk)) status = st;
    }
    return status;
}

void DeferWrites() {
    for (Engine* engine : TheRegistry().all)
        if (engine->InTransaction()) engine->DeferWrites();
}

bool InTransaction() {
    for (Engine* engine : TheRegistry().all)
        if (engine->InTransaction()) return true;
    return false;
}

void SetBusyTimeout(int milliseconds) {
    Registry& r = TheRegistry();
    r.busyTimeout = milliseconds;
    for (Engine* engine : r.all) engine->SetBusyTimeout(milliseconds);
}

void Shutdown() {
    Registry& r = TheRegistry();
    for (Engine* engine : r.all) engine->Shutdown();
    r.folders.clear();
}

void SetLastErrorText(std::string text) { TheRegistry().lastError = std::move(text); }

void ClearLastErrorText() {
    std::string& text = TheRegistry().lastError;
    if (!text.empty()) text.clear();
}

}  // namespace recman::engines

namespace recman {

std::string LastErrorText() { return engines::TheRegistry().lastError; }

uint64_t RoundTrips() { return ServerRoundTrips(); }

}  // namespace recman
