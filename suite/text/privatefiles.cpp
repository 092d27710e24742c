#include "suite/text/privatefiles.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace privatefiles {
namespace {

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
    struct group entry {};
    struct group* found = nullptr;
    char buffer[4096];
    if (::getgrnam_r(kClinicGroup, &entry, buffer, sizeof buffer, &found) != 0 || !found)
        return gid_t(-1);
    return found->gr_gid;
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

}  // namespace privatefiles
