// Tests of telling a database folder on a network file system from the statfs type, and of
// leaving out a folder whose tables live on a database server.
#include "suite/text/networkfolder.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdint>
#include <fstream>

namespace {

constexpr unsigned long kNfs = 0x6969;
constexpr unsigned long kCifs = 0xFF534D42;
constexpr unsigned long kSmb2 = 0xFE534D42;
constexpr unsigned long kExt4 = 0xEF53;
constexpr unsigned long kTmpfs = 0x01021994;

TEST(NetworkFolder, NetworkFileSystemsAreToldFromLocalOnesByTheirType) {
    EXPECT_EQ(NetworkFileSystemName(kNfs), "NFS");
    EXPECT_EQ(NetworkFileSystemName(kCifs), "SMB/CIFS");
    EXPECT_EQ(NetworkFileSystemName(kSmb2), "SMB/CIFS");
    EXPECT_EQ(NetworkFileSystemName(0x6B414653), "AFS");
    // A 32-bit f_type reaches the function sign-extended on some platforms.
    EXPECT_EQ(NetworkFileSystemName(
                  static_cast<unsigned long>(static_cast<long>(static_cast<int32_t>(0xFF534D42u)))),
              "SMB/CIFS");
    EXPECT_EQ(NetworkFileSystemName(kExt4), "");
    EXPECT_EQ(NetworkFileSystemName(kTmpfs), "");
    EXPECT_EQ(NetworkFileSystemName(0), "");
}

TEST(NetworkFolder, AFolderWhoseTablesLiveOnAServerIsNotWarnedAbout) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = dir.path().toStdString();
    EXPECT_EQ(EmbeddedEngineNetworkShare(folder, kNfs), "NFS");
    EXPECT_EQ(EmbeddedEngineNetworkShare(folder, kExt4), "");
    // A folder not made yet is judged by where it will be made.
    EXPECT_EQ(EmbeddedEngineNetworkShare(folder + "/new/clinic", kCifs), "SMB/CIFS");

    std::ofstream(folder + "/velodb.conninfo") << "host=192.168.1.10 dbname=clinic\n";
    EXPECT_EQ(EmbeddedEngineNetworkShare(folder, kNfs), "");
    EXPECT_EQ(EmbeddedEngineNetworkShare(folder + "/", kCifs), "");

    // The machine's own temporary folder is no network share; asking statfs for a folder
    // that does not exist yet climbs to one that does.
    EXPECT_EQ(EmbeddedEngineNetworkShare(dir.path().toStdString() + "/missing/deeper"), "");
}

}  // namespace
