// The data and workstation folders of the suite, found from the running executable.
#include "suite/text/suitefolders.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace suitefolders {
namespace {

namespace fs = std::filesystem;

std::string WithSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

// "<programFolder>/../share/velo/", lexically normal ("/usr/bin/" gives "/usr/share/velo/").
std::string InstalledDataFolder(const std::string& programFolder) {
    const fs::path bin = fs::path(WithSlash(programFolder)).parent_path();
    return WithSlash((bin.parent_path() / "share" / "velo").lexically_normal().string());
}

// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config, as the host profile has it.
std::string ConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr && home[0] != '\0' ? home : ".") + "/.config";
}

}  // namespace

std::string ProgramFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) return WithSlash(fs::current_path(ec).string());
    return WithSlash(exe.parent_path().string());
}

bool IsInstalledLayout(const std::string& programFolder) {
    if (programFolder.empty()) return false;
    std::error_code ec;
    return fs::is_directory(InstalledDataFolder(programFolder), ec);
}

std::string DataFolderFor(const std::string& programFolder) {
    if (IsInstalledLayout(programFolder)) return InstalledDataFolder(programFolder);
    return WithSlash(programFolder);
}

std::string DataFolder() { return DataFolderFor(ProgramFolder()); }

std::string WorkstationFolderFor(const std::string& programFolder) {
    if (IsInstalledLayout(programFolder)) return WithSlash(ConfigHome() + "/velo");
    return WithSlash(programFolder);
}

std::string WorkstationFolder() { return WorkstationFolderFor(ProgramFolder()); }

}  // namespace suitefolders
