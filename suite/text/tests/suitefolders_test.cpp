// Tests of finding the suite's data files and a workstation's own files in the build tree
// and in an installed suite.
#include "suite/text/suitefolders.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdlib>
#include <filesystem>

namespace {

namespace fs = std::filesystem;
using namespace suitefolders;

// Sets an environment variable for the length of a scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old, m_had = true;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { m_had ? setenv(m_name, m_old.c_str(), 1) : unsetenv(m_name); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::string m_old;
    bool m_had = false;
};

TEST(SuiteFolders, TheBuildTreeKeepsEverythingBesideThePrograms) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string bin = dir.path().toStdString() + "/build/bin";
    fs::create_directories(bin + "/images");
    EXPECT_FALSE(IsInstalledLayout(bin));
    EXPECT_EQ(DataFolderFor(bin), bin + "/");
    EXPECT_EQ(DataFolderFor(bin + "/"), bin + "/");
    EXPECT_EQ(WorkstationFolderFor(bin), bin + "/");

    // The running test program is in the build tree: its folder ends in "/" and holds it.
    const std::string program = ProgramFolder();
    ASSERT_FALSE(program.empty());
    EXPECT_EQ(program.back(), '/');
    EXPECT_TRUE(fs::is_directory(program));
    EXPECT_EQ(DataFolder(), program);
}

TEST(SuiteFolders, AnInstalledSuiteReadsShareVeloAndWritesToTheUsersConfiguration) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string prefix = dir.path().toStdString() + "/usr";
    fs::create_directories(prefix + "/bin");
    fs::create_directories(prefix + "/share/velo/images");
    EXPECT_TRUE(IsInstalledLayout(prefix + "/bin"));
    EXPECT_EQ(DataFolderFor(prefix + "/bin"), prefix + "/share/velo/");
    EXPECT_EQ(DataFolderFor(prefix + "/bin/"), prefix + "/share/velo/");

    {
        ScopedEnv config("XDG_CONFIG_HOME", dir.path().toStdString() + "/config");
        EXPECT_EQ(WorkstationFolderFor(prefix + "/bin"),
                  dir.path().toStdString() + "/config/velo/");
    }
    // A relative XDG_CONFIG_HOME is ignored, as the host profile ignores it.
    ScopedEnv relative("XDG_CONFIG_HOME", "relative/config");
    ScopedEnv home("HOME", dir.path().toStdString() + "/home");
    EXPECT_EQ(WorkstationFolderFor(prefix + "/bin"),
              dir.path().toStdString() + "/home/.config/velo/");

    // A share folder of another program beside bin does not make the layout an installed one.
    const std::string other = dir.path().toStdString() + "/opt";
    fs::create_directories(other + "/bin");
    fs::create_directories(other + "/share/other");
    EXPECT_EQ(DataFolderFor(other + "/bin"), other + "/bin/");
}

}  // namespace
