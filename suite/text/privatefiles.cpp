#include "suite/text/privatefiles.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace privatefiles {
namespace {

// What ClinicGroup() answers in a test; kAskTheSystem when it asks the system.
constexpr long long kAskTheSystem = -2;
std::atomic<long long> g_groupForTesting{kAskTheSystem};

// The id of the group named kClinicGroup, or -1 when there is none. The buffer grows for a
// group with many members.
gid_t LookUpClinicGroup() {
    std::vector<char> buffer(4096);
    for (;;) {
        struct group entry {};
        struct group* found = nullptr;
        const int failed = ::getgrnam_r(kClinicGroup, &entry, buffer.data(), buffer.size(), &found);
        if (failed == ERANGE && buffer.size() < (size_t(1) << 24)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        return failed == 0 && found ? found->gr_gid : gid_t(-1);
    }
}

// Whether this process may give its files to `group`: root may, and so may a member.
bool MayUse(gid_t group) {
    if (::geteuid() == 0 || ::getegid() == group) return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0) return false;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    const int got = ::getgroups(count, groups.data());
    for (int i = 0; i < got; ++i)
        if (groups[size_t(i)] == group) return true;
    return false;
}

std::string Reason(int error) { return std::strerror(error); }

// Gives the path the clinic group, when there is one and this account may.
bool TakeClinicGroup(const std::string& path, std::string* error) {
    const gid_t group = ClinicGroup();
    if (group == gid_t(-1)) return true;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        *error = path + " を確認できません: " + Reason(errno);
        return false;
    }
    if (st.st_gid == group) return true;
    if (::chown(path.c_str(), uid_t(-1), group) != 0) {
        *error = path + " のグループを " + kClinicGroup + " にできません: " + Reason(errno);
        return false;
    }
    return true;
}

}  // namespace

gid_t ClinicGroup() {
    const long long forTesting = g_groupForTesting.load();
    if (forTesting != kAskTheSystem) return gid_t(forTesting);
    const gid_t group = LookUpClinicGroup();
    return group != gid_t(-1) && MayUse(group) ? group : gid_t(-1);
}

void SetClinicGroupForTesting(std::optional<gid_t> group) {
    g_groupForTesting.store(group ? static_cast<long long>(*group) : kAskTheSystem);
}

mode_t FolderMode() { return ClinicGroup() == gid_t(-1) ? 0700 : 02770; }

mode_t FileMode() { return ClinicGroup() == gid_t(-1) ? 0600 : 0660; }

void CloseNewFilesToOthers() { ::umask(ClinicGroup() == gid_t(-1) ? 077 : 007); }

bool MakePrivate(const std::string& path, std::string* error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        *error = path + " を確認できません: " + Reason(errno);
        return false;
    }
    if (!TakeClinicGroup(path, error)) return false;
    const mode_t mode = S_ISDIR(st.st_mode) ? FolderMode() : FileMode();
    if (::chmod(path.c_str(), mode) != 0) {
        *error = path + " の権限を変更できません: " + Reason(errno);
        return false;
    }
    return true;
}

bool MakePrivateFolder(const std::string& path, std::string* error) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return true;
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty() && parent != path && !MakePrivateFolder(parent.string(), error))
        return false;
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = "フォルダ " + path + " を作成できません: " + Reason(errno);
        return false;
    }
    return MakePrivate(path, error);
}

bool OthersCanRead(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    const mode_t others = S_ISDIR(st.st_mode) ? (S_IROTH | S_IXOTH) : S_IROTH;
    return (st.st_mode & others) != 0;
}

std::vector<std::string> OpenToOthers(const std::string& folder) {
    namespace fs = std::filesystem;
    std::vector<std::string> open;
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return open;
    if (OthersCanRead(folder)) open.push_back(folder);
    for (fs::recursive_directory_iterator
             it(folder, fs::directory_options::skip_permission_denied, ec),
         end;
         !ec && it != end; it.increment(ec)) {
        // A link is not one of the suite's files; what it leads to is looked at where it is.
        if (it->is_symlink(ec)) continue;
        const std::string path = it->path().string();
        if (OthersCanRead(path)) open.push_back(path);
    }
    return open;
}

std::string CommandToClose(const std::string& folder) {
    std::string quoted = "'";
    for (char c : folder) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return "chmod -R o-rwx " + quoted + "'";
}

}  // namespace privatefiles
