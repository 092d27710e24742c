// Tests of the modes of the clinic's files: with and without the clinic's group (played by
// this process's own group, which it may give its files without being root), the folders
// made private, the files and folders named as open to others, and files rewritten in place.
#include "suite/text/privatefiles.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <set>

#include "suite/text/atomicfile.h"

namespace {

namespace fs = std::filesystem;

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

gid_t GroupOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_gid;
}

// A file made as any program makes one: 0666 less the umask.
mode_t MadeFileMode(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    EXPECT_GE(fd, 0) << path;
    if (fd >= 0) ::close(fd);
    return ModeOf(path);
}

void Touch(const std::string& path, mode_t mode) {
    std::ofstream(path) << "x";
    ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
}

class PrivateFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_temp.isValid());
        m_root = m_temp.path().toStdString();
        m_umask = ::umask(022);  // as a process that did not close its files: a lax default
    }
    void TearDown() override {
        privatefiles::SetClinicGroupForTesting(std::nullopt);
        ::umask(m_umask);
    }
    static void WithoutGroup() { privatefiles::SetClinicGroupForTesting(gid_t(-1)); }
    static gid_t WithGroup() {
        privatefiles::SetClinicGroupForTesting(::getegid());
        return ::getegid();
    }

    QTemporaryDir m_temp;
    std::string m_root;
    mode_t m_umask = 0;
};

TEST_F(PrivateFilesTest, ModesAndUmaskFollowTheClinicGroup) {
    WithoutGroup();
    EXPECT_EQ(privatefiles::FolderMode(), mode_t(0700));
    EXPECT_EQ(privatefiles::FileMode(), mode_t(0600));
    privatefiles::CloseNewFilesToOthers();
    EXPECT_EQ(MadeFileMode(m_root + "/alone"), mode_t(0600));

    WithGroup();
    EXPECT_EQ(privatefiles::FolderMode(), mode_t(02770));
    EXPECT_EQ(privatefiles::FileMode(), mode_t(0660));
    privatefiles::CloseNewFilesToOthers();
    EXPECT_EQ(MadeFileMode(m_root + "/shared"), mode_t(0660));
}

TEST_F(PrivateFilesTest, MakePrivateFolderMakesEveryMissingFolderPrivateAndLeavesOthersAlone) {
    WithoutGroup();
    const std::string nested = m_root + "/clinic/db/Mail";
    std::string error;
    ASSERT_TRUE(privatefiles::MakePrivateFolder(nested, &error)) << error;
    for (const std::string& folder : {m_root + "/clinic", m_root + "/clinic/db", nested})
        EXPECT_EQ(ModeOf(folder), mode_t(0700)) << folder;

    // A folder that was there already is the administrator's choice.
    ASSERT_EQ(::mkdir((m_root + "/shared").c_str(), 0755), 0);
    ASSERT_TRUE(privatefiles::MakePrivateFolder(m_root + "/shared/db", &error)) << error;
    EXPECT_EQ(ModeOf(m_root + "/shared"), mode_t(0755));
    EXPECT_EQ(ModeOf(m_root + "/shared/db"), mode_t(0700));

    const gid_t group = WithGroup();
    ASSERT_TRUE(privatefiles::MakePrivateFolder(m_root + "/group/db", &error)) << error;
    EXPECT_EQ(ModeOf(m_root + "/group/db"), mode_t(02770));
    EXPECT_EQ(GroupOf(m_root + "/group/db"), group);

    // A file in the way is named in the message.
    Touch(m_root + "/plain", 0600);
    EXPECT_FALSE(privatefiles::MakePrivateFolder(m_root + "/plain/db", &error));
    EXPECT_NE(error.find(m_root + "/plain"), std::string::npos) << error;
}

TEST_F(PrivateFilesTest, MakePrivateClosesAFileOrAFolderAndGivesItTheGroup) {
    WithoutGroup();
    Touch(m_root + "/GlobalSetting.ini", 0644);
    std::string error;
    ASSERT_TRUE(privatefiles::MakePrivate(m_root + "/GlobalSetting.ini", &error)) << error;
    EXPECT_EQ(ModeOf(m_root + "/GlobalSetting.ini"), mode_t(0600));

    const gid_t group = WithGroup();
    ASSERT_EQ(::mkdir((m_root + "/Mail").c_str(), 0755), 0);
    ASSERT_TRUE(privatefiles::MakePrivate(m_root + "/Mail", &error)) << error;
    EXPECT_EQ(ModeOf(m_root + "/Mail"), mode_t(02770));
    ASSERT_TRUE(privatefiles::MakePrivate(m_root + "/GlobalSetting.ini", &error)) << error;
    EXPECT_EQ(ModeOf(m_root + "/GlobalSetting.ini"), mode_t(0660));
    EXPECT_EQ(GroupOf(m_root + "/GlobalSetting.ini"), group);

    EXPECT_FALSE(privatefiles::MakePrivate(m_root + "/missing", &error));
    EXPECT_NE(error.find(m_root + "/missing"), std::string::npos) << error;
}

TEST_F(PrivateFilesTest, OpenToOthersNamesTheFolderAndEachReadableEntryBelowIt) {
    const std::string db = m_root + "/db";
    ASSERT_EQ(::mkdir(db.c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((db + "/Mail").c_str(), 0700), 0);
    Touch(db + "/RESERVATION.BTR", 0660);
    Touch(db + "/Mail/0000000001.eml", 0600);
    EXPECT_TRUE(privatefiles::OpenToOthers(db).empty());

    Touch(db + "/GlobalSetting.ini", 0604);
    Touch(db + "/CalendarMemo2025.txt", 0602);            // others may write it but not read it
    ASSERT_EQ(::chmod((db + "/Mail").c_str(), 0701), 0);  // entered by name, not listed
    ASSERT_EQ(::chmod((db + "/Mail/0000000001.eml").c_str(), 0644), 0);
    fs::create_symlink("/etc/hostname", db + "/link");
    const std::vector<std::string> open = privatefiles::OpenToOthers(db);
    const std::vector<std::string> expected{db + "/GlobalSetting.ini", db + "/Mail",
                                            db + "/Mail/0000000001.eml"};
    EXPECT_EQ(std::set<std::string>(open.begin(), open.end()),
              std::set<std::string>(expected.begin(), expected.end()));

    ASSERT_EQ(::chmod(db.c_str(), 0755), 0);
    ASSERT_FALSE(privatefiles::OpenToOthers(db).empty());
    EXPECT_EQ(privatefiles::OpenToOthers(db).front(), db);
    EXPECT_TRUE(privatefiles::OpenToOthers(m_root + "/missing").empty());

    EXPECT_EQ(privatefiles::CommandToClose("/srv/clinic"), "chmod -R o-rwx '/srv/clinic'");
    EXPECT_EQ(privatefiles::CommandToClose("/srv/it's"), "chmod -R o-rwx '/srv/it'\\''s'");
}

TEST_F(PrivateFilesTest, RewritingAFileClosesItToOthersAndKeepsItsGroup) {
    WithoutGroup();
    privatefiles::CloseNewFilesToOthers();
    const std::string settings = m_root + "/GlobalSetting.ini";
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(settings, "new", &error)) << error;
    EXPECT_EQ(ModeOf(settings), mode_t(0600));

    // A file left readable by an older program is closed by its next save; the group it was
    // given stays, though the temporary file was made with this process's own.
    Touch(settings, 0644);
    const gid_t other = ::getegid() + 4321;
    const bool root = ::geteuid() == 0;  // only root may give a file any group
    if (root) {
        ASSERT_EQ(::chown(settings.c_str(), uid_t(-1), other), 0);
    }
    ASSERT_TRUE(WriteFileAtomically(settings, "again", &error)) << error;
    EXPECT_EQ(ModeOf(settings), mode_t(0600));
    if (root) {
        EXPECT_EQ(GroupOf(settings), other);
    }

    WithGroup();
    privatefiles::CloseNewFilesToOthers();
    ASSERT_TRUE(WriteFileAtomically(m_root + "/CalendarMemo2025.txt", "memo", &error)) << error;
    EXPECT_EQ(ModeOf(m_root + "/CalendarMemo2025.txt"), mode_t(0660));
}

}  // namespace
