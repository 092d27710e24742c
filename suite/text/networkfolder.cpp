// Network file systems told by their statfs magic numbers (linux/magic.h and the file
// systems' own sources).
#include "suite/text/networkfolder.h"

#include <sys/vfs.h>

#include <cstdint>
#include <filesystem>
#include <system_error>

namespace {

// The file whose presence sends a folder's tables to a database server.
constexpr char kServerConnectionFile[] = "velodb.conninfo";

struct SNetworkType {
    uint32_t magic;
    const char* name;
};

constexpr SNetworkType kNetworkTypes[] = {
    {0x00006969, "NFS"},      {0x0000517B, "SMB/CIFS"}, {0xFF534D42, "SMB/CIFS"},
    {0xFE534D42, "SMB/CIFS"}, {0x0000564C, "NetWare"},  {0x5346414F, "AFS"},
    {0x6B414653, "AFS"},      {0x73757245, "Coda"},     {0x00C36400, "Ceph"},
    {0x01021997, "9P"},       {0x0BD00BD0, "Lustre"},   {0x47504653, "GPFS"},
    {0x01161970, "GFS2"},     {0x7461636F, "OCFS2"},
};

bool HoldsServerConnectionFile(const std::string& folder) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::path(folder) / kServerConnectionFile, error);
}

// The folder itself, or the nearest folder above it that exists.
std::filesystem::path ExistingFolder(const std::string& folder) {
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(folder, error);
    if (error) return folder;
    while (!std::filesystem::exists(path, error) && path.has_relative_path()) {
        path = path.parent_path();
    }
    return path;
}

}  // namespace

std::string NetworkFileSystemName(unsigned long fsType) {
    // f_type is a word of the platform's width; the magic numbers are 32 bits.
    const uint32_t magic = static_cast<uint32_t>(fsType);
    for (const SNetworkType& type : kNetworkTypes) {
        if (type.magic == magic) return type.name;
    }
    return std::string();
}

std::string EmbeddedEngineNetworkShare(const std::string& folder, unsigned long fsType) {
    if (HoldsServerConnectionFile(folder)) return std::string();
    return NetworkFileSystemName(fsType);
}

std::string EmbeddedEngineNetworkShare(const std::string& folder) {
    struct statfs info {};
    if (statfs(ExistingFolder(folder).c_str(), &info) != 0) return std::string();
    return EmbeddedEngineNetworkShare(folder, static_cast<unsigned long>(info.f_type));
}
