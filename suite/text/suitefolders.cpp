// The data and workstation folders of the suite, found from the running executable.
#include "suite/text/suitefolders.h"

#include <filesystem>
#include <system_error>

#include "suite/text/hostprofile.h"

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
    if (IsInstalledLayout(programFolder)) {
        return WithSlash(fs::path(CHostProfile::Path()).parent_path().string());
    }
    return WithSlash(programFolder);
}

std::string WorkstationFolder() { return WorkstationFolderFor(ProgramFolder()); }

}  // namespace suitefolders
