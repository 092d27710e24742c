// Reading and writing the connection file, and naming a server in messages.
#include "recman/conninfo.h"

#include <fcntl.h>
#include <libpq-fe.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "recman/engines.h"
#include "recman/filemode.h"
#include "recman/recman.h"

namespace recman {
namespace {

std::string Trimmed(const std::string& line) {
    const size_t first = line.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "";
    const size_t last = line.find_last_not_of(" \t\r\n");
    return line.substr(first, last - first + 1);
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

}  // namespace

std::string ConnInfoPath(const std::string& folder) {
    return (folder.empty() ? std::string(".") : folder) + "/" + kServerConnInfoFile;
}

std::string DescribeServer(const std::string& conninfo) {
    std::string host, port, database;
    if (PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), nullptr)) {
        for (PQconninfoOption* o = options; o->keyword; ++o) {
            if (!o->val) continue;
            if (std::strcmp(o->keyword, "host") == 0 ||
                (host.empty() && std::strcmp(o->keyword, "hostaddr") == 0))
                host = o->val;
            else if (std::strcmp(o->keyword, "port") == 0)
                port = o->val;
            else if (std::strcmp(o->keyword, "dbname") == 0)
                database = o->val;
        }
        PQconninfoFree(options);
    }
    if (host.empty()) host = "localhost";
    if (port.empty()) port = "5432";
    return host + ":" + port + " のデータベース " +
           (database.empty() ? std::string("(既定)") : database);
}

int ServerConnInfo(const std::string& folder, std::string* conninfo) {
    const std::string path = ConnInfoPath(folder);
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return kFileNotFound;
        engines::SetLastErrorText("接続ファイルを読めません: " + path + "\n" +
                                  std::strerror(errno));
        return kIoError;
    }
    std::ifstream in(path);
    if (!in) {
        engines::SetLastErrorText("接続ファイルを読めません: " + path + "\n" +
                                  std::strerror(errno));
        return kIoError;
    }
    std::string line, found;
    while (std::getline(in, line)) {
        line = Trimmed(line);
        if (line.empty() || line[0] == '#') continue;
        found = line;
        break;
    }
    if (in.bad()) {
        engines::SetLastErrorText("接続ファイルを読めません: " + path);
        return kIoError;
    }
    if (found.empty()) {
        engines::SetLastErrorText("接続ファイルに接続先が書かれていません: " + path);
        return kIoError;
    }
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(found.c_str(), &error);
    if (!options) {
        engines::SetLastErrorText("接続ファイルの接続先が正しくありません: " + path + "\n" +
                                  (error ? Trimmed(error) : std::string()));
        PQfreemem(error);
        return kIoError;
    }
    PQconninfoFree(options);
    *conninfo = found;
    return kOk;
}

int WriteServerConnInfo(const std::string& folder, const std::string& conninfo) {
    const std::string path = ConnInfoPath(folder);
    const std::string temp = path + ".new-" + std::to_string(::getpid());
    // The connection string may carry a password: never open to others, whatever the
    // umask, and to the clinic's group only as far as the umask allows (its workstations'
    // accounts connect with it).
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return kIoError;
    if (::fchmod(fd, NewFileMode() & 0660) != 0) {
        ::close(fd);
        ::unlink(temp.c_str());
        return kIoError;
    }
    const bool written = WriteAll(fd, conninfo + "\n") && ::fsync(fd) == 0;
    ::close(fd);
    if (!written || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return kIoError;
    }
    const int dir =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return kOk;
}

}  // namespace recman
