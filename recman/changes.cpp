// The change watch: one change source per database folder, the embedded engine's source over
// the change counters of the table files, and the hook for the server engine's source.
#include "recman/changes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <utility>

#include "recman/owncommits.h"
#include "recman/recman.h"
#include "recman/serverchanges.h"

namespace recman {
namespace {

// Where SQLite keeps the file change counter: four bytes, big-endian, in the file header.
constexpr off_t kChangeCounterOffset = 24;

std::mutex& FactoryLock() {
    static std::mutex lock;
    return lock;
}

ServerChangeSourceFactory& Factory() {
    static auto* factory = new ServerChangeSourceFactory;
    return *factory;
}

// Whether the folder's tables live on a server: kOk and *server, or kIoError when the
// folder cannot be looked at (which must not pass for "no server").
int IsServerFolder(const std::string& folder, bool* server) {
    struct stat info;
    const std::string path = (std::filesystem::path(folder) / kServerConnInfoFile).string();
    if (::stat(path.c_str(), &info) == 0) {
        *server = true;
        return kOk;
    }
    if (errno != ENOENT && errno != ENOTDIR) return kIoError;
    *server = false;
    return kOk;
}

// The server engine's notifications of other sessions' commits.
class ServerSource final : public IChangeSource {
public:
    explicit ServerSource(std::string folder) : m_source(std::move(folder)) {}
    int Watch(const std::string& path) override { return m_source.Watch(path); }
    void Poll(std::vector<std::string>* changed) override { m_source.Poll(changed); }

private:
    CServerChangeSource m_source;
};

// The change counters of table files. The file stays open, so a poll is a stat of its name
// (to notice a file put in its place) and a read of four bytes.
class FileChangeSource final : public IChangeSource {
public:
    FileChangeSource() = default;
    ~FileChangeSource() override {
        for (Watched& w : m_files) Close(w);
    }
    FileChangeSource(const FileChangeSource&) = delete;
    FileChangeSource& operator=(const FileChangeSource&) = delete;

    int Watch(const std::string& path) override {
        for (const Watched& w : m_files)
            if (w.path == path) return kOk;
        Watched w;
        w.path = path;
        if (int st = Open(&w); st != kOk) return st;
        m_files.push_back(std::move(w));
        return kOk;
    }

    void Poll(std::vector<std::string>* changed) override {
        for (Watched& w : m_files)
            if (Changed(&w)) changed->push_back(w.path);
    }

private:
    struct Watched {
        std::string path;       // as given
        std::string canonical;  // as the engine names the file
        int fd = -1;            // -1 while the file is missing
        bool present = true;
        dev_t device = 0;
        ino_t inode = 0;
        uint32_t counter = 0;
    };

    static uint32_t ReadCounter(int fd) {
        unsigned char bytes[4];
        // A file shorter than a header (just made, or cut short) has no counter yet.
        if (::pread(fd, bytes, sizeof bytes, kChangeCounterOffset) != ssize_t(sizeof bytes))
            return 0;
        return (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) |
               uint32_t(bytes[3]);
    }

    static void Close(Watched& w) {
        if (w.fd >= 0) ::close(w.fd);
        w.fd = -1;
    }

    static int Open(Watched* w) {
        const int fd = ::open(w->path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return errno == ENOENT ? kFileNotFound : kIoError;
        struct stat info;
        std::error_code error;
        std::string canonical = std::filesystem::canonical(w->path, error).string();
        if (::fstat(fd, &info) != 0 || error) {
            ::close(fd);
            return kIoError;
        }
        Close(*w);
        w->fd = fd;
        w->device = info.st_dev;
        w->inode = info.st_ino;
        w->canonical = std::move(canonical);
        w->counter = ReadCounter(fd);
        return kOk;
    }

    // True when another process has committed to the file since the last look, or the file
    // was removed, put back or replaced by another (a restored copy, a new database).
    static bool Changed(Watched* w) {
        struct stat info;
        if (::stat(w->path.c_str(), &info) != 0) {
            const bool wasThere = w->present;
            Close(*w);
            w->present = false;
            return wasThere;
        }
        if (w->present && info.st_dev == w->device && info.st_ino == w->inode) {
            if (w->fd < 0) return false;  // could not be opened: the reload says what is wrong
            const uint32_t counter = ReadCounter(w->fd);
            if (counter == w->counter) return false;
            const bool own = OwnCommitsOnly(w->canonical, w->counter, counter);
            w->counter = counter;
            return !own;
        }
        Close(*w);
        Open(w);
        w->present = true;
        w->device = info.st_dev;
        w->inode = info.st_ino;
        return true;
    }

    std::vector<Watched> m_files;
};

}  // namespace

void SetServerChangeSourceFactory(ServerChangeSourceFactory factory) {
    std::lock_guard<std::mutex> hold(FactoryLock());
    Factory() = std::move(factory);
}

std::unique_ptr<IChangeSource> MakeServerChangeSource(const std::string& folder) {
    return std::make_unique<ServerSource>(folder);
}

std::unique_ptr<IChangeSource> MakeFileChangeSource() {
    return std::make_unique<FileChangeSource>();
}

CChangeWatch::CChangeWatch() = default;
CChangeWatch::~CChangeWatch() = default;

int CChangeWatch::Watch(const std::string& tablePath) {
    const std::filesystem::path parent =
        std::filesystem::path(tablePath).parent_path().lexically_normal();
    const std::string folder = parent.empty() ? std::string(".") : parent.string();
    IChangeSource* source = nullptr;
    for (FolderSource& s : m_sources)
        if (s.folder == folder) source = s.source.get();
    if (source == nullptr) {
        bool server = false;
        if (int st = IsServerFolder(folder, &server); st != kOk) return st;
        std::unique_ptr<IChangeSource> made;
        if (server) {
            ServerChangeSourceFactory factory;
            {
                std::lock_guard<std::mutex> hold(FactoryLock());
                factory = Factory();
            }
            made = factory ? factory(folder) : MakeServerChangeSource(folder);
            if (!made) return kIoError;
        } else {
            made = MakeFileChangeSource();
        }
        source = made.get();
        m_sources.push_back({folder, std::move(made)});
    }
    return source->Watch(tablePath);
}

std::vector<std::string> CChangeWatch::Poll() {
    std::vector<std::string> changed;
    for (FolderSource& s : m_sources) s.source->Poll(&changed);
    return changed;
}

}  // namespace recman
