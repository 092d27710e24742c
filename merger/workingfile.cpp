#include "merger/workingfile.h"

#include <cstring>
#include <filesystem>

#include "recman/recman.h"

namespace unita {

namespace {

// A table of one 4-byte key: the smallest file the record manager opens.
constexpr char kAnchorFile[] = "UNITA.BTR";

int Call(uint16_t op, unsigned char* block, void* data, uint32_t* length, char* key,
         int8_t keyNum) {
    return BTRCALL(op, block, data, length, key, recman::kMaxKeyLength, keyNum);
}

}  // namespace

bool KeepWorkingFileIn(const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const std::string path =
        (folder.empty() || folder.back() == '/' ? folder : folder + "/") + kAnchorFile;
    if (ec || path.size() + 1 > static_cast<size_t>(recman::kMaxKeyLength)) return false;

    struct {
        recman::FileSpec file;
        recman::KeySpec key;
    } spec{};
    spec.file.recordLength = 4;
    spec.file.keyCount = 1;
    spec.key.position = 1;
    spec.key.length = 4;
    spec.key.flags = recman::kKeyExtendedType;
    spec.key.extendedType = recman::kTypeBytes;
    static_assert(sizeof spec == sizeof(recman::FileSpec) + sizeof(recman::KeySpec));

    unsigned char block[recman::kPositionBlockSize] = {};
    char key[recman::kMaxKeyLength] = {};
    std::memcpy(key, path.c_str(), path.size());
    uint32_t length = sizeof spec;
    if (Call(recman::kOpCreate, block, &spec, &length, key, recman::kCreateOverwrite) != 0) {
        return false;
    }
    char record[4] = {};
    length = sizeof record;
    std::memcpy(key, path.c_str(), path.size() + 1);
    if (Call(recman::kOpOpen, block, record, &length, key, recman::kModeNormal) != 0) return false;
    length = 0;
    Call(recman::kOpClose, block, nullptr, &length, key, 0);
    return true;
}

}  // namespace unita
