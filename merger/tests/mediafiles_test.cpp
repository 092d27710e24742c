// Tests of the merger's media files: where photo, movie, report and slideshow files are
// found and put, how they are copied (overwrite rules, data deletion, no writes on the source
// side) and the recursive folder copy.
#include "merger/mediafiles.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "merger/tests/mergetestdb.h"
#include "suite/text/privatefiles.h"

namespace unita {
namespace {

namespace fs = std::filesystem;
using testdb::ReadFile;
using testdb::WriteFile;

// Every entry below folder, as relative paths.
std::set<std::string> Listing(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        names.insert(fs::relative(e.path(), folder).string());
    return names;
}

mode_t ModeOf(const fs::path& path) { return mode_t(fs::status(path).permissions()) & 07777; }

class MediaFilesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    fs::path Dir(const char* name) const { return fs::path(m_dir.path().toStdString()) / name; }
    std::string Folder(const char* name) const { return Dir(name).string() + "/"; }

    QTemporaryDir m_dir;
};

TEST_F(MediaFilesTest, ExtensionFollowsMediaTypeAndUnknownTypesAreStillImages) {
    EXPECT_STREQ(MediaExtension(kMediaAvi), ".avi");
    EXPECT_STREQ(MediaExtension(kMediaMpg), ".mpg");
    EXPECT_STREQ(MediaExtension(kMediaMpeg), ".mpeg");
    EXPECT_STREQ(MediaExtension(kMediaMov), ".mov");
    EXPECT_STREQ(MediaExtension(kMediaStill), ".jpg");
    EXPECT_STREQ(MediaExtension(9), ".jpg");
}

TEST_F(MediaFilesTest, MovieRecordCopiesMovieAndStillImageIntoNewPatientFolder) {
    const fs::path source = Dir("xylo");
    WriteFile(source / "0000000012" / "0000000007.mpg", "movie");
    WriteFile(source / "0000000012" / "0000000007.jpg", "still");
    WriteFile(source / "0000000012" / "0000000008.jpg", "other photo");

    SMediaMove move{source.string(), Dir("dest").string(), "0000000012",
                    "0000000044",    "0000000007",         "0000000007"};
    EXPECT_EQ(CopyPhotoFiles(move, kMediaMpg).m_copied, 2);
    EXPECT_EQ(ReadFile(Dir("dest") / "0000000044" / "0000000007.mpg"), "movie");
    EXPECT_EQ(ReadFile(Dir("dest") / "0000000044" / "0000000007.jpg"), "still");
    EXPECT_EQ(Listing(Dir("dest")).size(), 3u);  // the folder and the two files

    // An unknown type is a still image: only the ".jpg" is looked for.
    WriteFile(source / "0000000012" / "0000000009.jpg", "nine");
    WriteFile(source / "0000000012" / "0000000009.mpg", "not a movie of this record");
    move.m_fromNumber = move.m_toNumber = "0000000009";
    EXPECT_EQ(CopyPhotoFiles(move, 9).m_copied, 1);
    EXPECT_FALSE(fs::exists(Dir("dest") / "0000000044" / "0000000009.mpg"));
}

TEST_F(MediaFilesTest, FlatNamedSourceIsFoundAndLandsInPatientFolderWithoutTouchingSource) {
    const fs::path source = Dir("xylo");
    WriteFile(source / "00000000120000000003.jpg", "flat");
    const auto before = Listing(source);

    // The source folder is given without its trailing separator, as a settings file may hold it.
    EXPECT_EQ(ImageFilePath(source.string(), "0000000012", "0000000003", EPathFor::Source, 0),
              (source / "00000000120000000003.jpg").string());
    EXPECT_EQ(ImageFilePath(source.string(), "0000000012", "0000000004", EPathFor::Source, 0), "");

    SMediaMove move{source.string(), Folder("dest"), "0000000012",
                    "0000000001",    "0000000003",   "0000000003"};
    EXPECT_EQ(CopyPhotoFiles(move, kMediaStill).m_copied, 1);
    EXPECT_EQ(ReadFile(Dir("dest") / "0000000001" / "0000000003.jpg"), "flat");
    // Looking for source files made no patient folder in the source.
    EXPECT_EQ(Listing(source), before);
    // A subfolder file wins over a flat one.
    WriteFile(source / "0000000012" / "0000000003.jpg", "new layout");
    EXPECT_EQ(ImageFilePath(Folder("xylo"), "0000000012", "0000000003", EPathFor::Source, 0),
              (source / "0000000012" / "0000000003.jpg").string());
}

TEST_F(MediaFilesTest, PathsNameNothingWithoutFolderAndMakeDestinationFolders) {
    EXPECT_EQ(ImageFilePath("", "0000000001", "0000000001", EPathFor::Destination, 0), "");
    EXPECT_EQ(ReportFilePath("", "0000000001", "0000000001"), "");
    EXPECT_EQ(ReportFilePath(Folder("r"), "", "0000000001"), "");
    EXPECT_EQ(SlideshowFilePath(Folder("s"), "", "0000000001"), "");

    EXPECT_EQ(ReportFilePath(Dir("r").string(), "0000000005", "0000000002"),
              (Dir("r") / "0000000005" / "0000000002.xyr").string());
    EXPECT_TRUE(fs::is_directory(Dir("r") / "0000000005"));
    EXPECT_EQ(SlideshowFilePath(Folder("s"), "0000000005", "0000000002"),
              (Dir("s") / "0000000005" / "0000000002.sld").string());
    EXPECT_TRUE(fs::is_directory(Dir("s") / "0000000005"));
    EXPECT_EQ(ImageFilePath(Folder("i"), "0000000005", "0000000002", EPathFor::Destination, 4),
              (Dir("i") / "0000000005" / "0000000002.mov").string());
    EXPECT_TRUE(fs::is_directory(Dir("i") / "0000000005"));
    EXPECT_EQ(ModeOf(Dir("i")), privatefiles::FolderMode());
    EXPECT_EQ(ModeOf(Dir("i") / "0000000005"), privatefiles::FolderMode());

    // A source report path does not create its folder.
    ReportFilePath(Folder("src"), "0000000005", "0000000002", EPathFor::Source);
    EXPECT_FALSE(fs::exists(Dir("src")));

    // A destination under a plain file cannot be made.
    WriteFile(Dir("file"), "x");
    EXPECT_EQ(ReportFilePath(Dir("file").string(), "0000000005", "0000000002"), "");
    EXPECT_EQ(ImageFilePath(Dir("file").string(), "0000000005", "0", EPathFor::Destination, 0), "");
}

TEST_F(MediaFilesTest, RecordFilesOverwriteButMainImageKeepsTheDestinations) {
    WriteFile(Dir("src") / "0000000002" / "0000000001.xyr", "new report");
    WriteFile(Dir("src") / "0000000002" / "0000000001.sld", "new slides");
    WriteFile(Dir("src") / "0000000002" / "0000000001.jpg", "new photo");
    WriteFile(Dir("src") / "0000000002" / "0000000000.jpg", "xylo face");
    WriteFile(Dir("dst") / "0000000009" / "0000000001.xyr", "old report");
    WriteFile(Dir("dst") / "0000000009" / "0000000001.sld", "old slides");
    WriteFile(Dir("dst") / "0000000009" / "0000000001.jpg", "old photo");
    WriteFile(Dir("dst") / "0000000009" / "0000000000.jpg", "calyx face");

    SMediaMove move{Folder("src"), Folder("dst"), "0000000002",
                    "0000000009",  "0000000001",  "0000000001"};
    EXPECT_EQ(CopyReportFile(move).m_copied, 1);
    EXPECT_EQ(CopySlideshowFile(move).m_copied, 1);
    EXPECT_EQ(CopyPhotoFiles(move, kMediaStill).m_copied, 1);
    EXPECT_EQ(ReadFile(Dir("dst") / "0000000009" / "0000000001.xyr"), "new report");
    EXPECT_EQ(ReadFile(Dir("dst") / "0000000009" / "0000000001.sld"), "new slides");
    EXPECT_EQ(ReadFile(Dir("dst") / "0000000009" / "0000000001.jpg"), "new photo");

    const SMediaCopy kept = CopyMainImage(Folder("src"), "0000000002", Folder("dst"), "0000000009");
    EXPECT_EQ(kept.m_copied + kept.m_failed, 0);
    EXPECT_EQ(ReadFile(Dir("dst") / "0000000009" / "0000000000.jpg"), "calyx face");
    EXPECT_EQ(CopyMainImage(Folder("src"), "0000000002", Folder("dst"), "0000000010").m_copied, 1);
    EXPECT_EQ(ReadFile(Dir("dst") / "0000000010" / "0000000000.jpg"), "xylo face");

    // Missing sources copy nothing and change nothing.
    move.m_fromNumber = "0000000077";
    // Missing sources are neither copies nor failures.
    for (const SMediaCopy& copy :
         {CopyReportFile(move), CopySlideshowFile(move), CopyPhotoFiles(move, kMediaAvi)}) {
        EXPECT_EQ(copy.m_copied, 0);
        EXPECT_TRUE(copy.AllCopied());
    }
    EXPECT_EQ(ReadFile(Dir("dst") / "0000000009" / "0000000001.xyr"), "new report");
}

TEST_F(MediaFilesTest, DataDeletionRemovesSourcesOnlyAfterTheirCopy) {
    WriteFile(Dir("img") / "0000000002" / "0000000003.avi", "movie");
    WriteFile(Dir("img") / "0000000002" / "0000000003.jpg", "still");
    WriteFile(Dir("rep") / "0000000002" / "0000000003.xyr", "report");

    SMediaMove move{Folder("img"), Folder("img"), "0000000002", "0000000001",
                    "0000000003",  "0000000001",  true};
    EXPECT_EQ(CopyPhotoFiles(move, kMediaAvi).m_copied, 2);
    EXPECT_FALSE(fs::exists(Dir("img") / "0000000002" / "0000000003.avi"));
    EXPECT_FALSE(fs::exists(Dir("img") / "0000000002" / "0000000003.jpg"));
    EXPECT_EQ(ReadFile(Dir("img") / "0000000001" / "0000000001.avi"), "movie");

    // A copy that cannot be placed (the target name is taken by a folder) keeps its source.
    fs::create_directories(Dir("rep") / "0000000001" / "0000000001.xyr");
    SMediaMove report{Folder("rep"), Folder("rep"), "0000000002", "0000000001",
                      "0000000003",  "0000000001",  true};
    EXPECT_EQ(CopyReportFile(report).m_failed, 1);
    EXPECT_EQ(ReadFile(Dir("rep") / "0000000002" / "0000000003.xyr"), "report");

    // A movie copied while its still image fails: both sources stay, the record's files are
    // never half removed.
    WriteFile(Dir("img") / "0000000002" / "0000000004.mov", "movie 4");
    WriteFile(Dir("img") / "0000000002" / "0000000004.jpg", "still 4");
    fs::create_directories(Dir("img") / "0000000001" / "0000000002.jpg");
    move.m_fromNumber = "0000000004";
    move.m_toNumber = "0000000002";
    const SMediaCopy half = CopyPhotoFiles(move, kMediaMov);
    EXPECT_EQ(half.m_copied, 1);
    EXPECT_FALSE(half.AllCopied());
    EXPECT_EQ(ReadFile(Dir("img") / "0000000002" / "0000000004.mov"), "movie 4");
    EXPECT_EQ(ReadFile(Dir("img") / "0000000002" / "0000000004.jpg"), "still 4");

    // The same file on both sides is never "copied" and so never removed.
    SMediaMove self{Folder("rep"), Folder("rep"), "0000000002", "0000000002",
                    "0000000003",  "0000000003",  true};
    EXPECT_FALSE(CopyReportFile(self).AllCopied());
    EXPECT_EQ(ReadFile(Dir("rep") / "0000000002" / "0000000003.xyr"), "report");
}

// Identifiers and numbers come from records a damaged or foreign database may hold.
TEST_F(MediaFilesTest, NamesThatLeadOutOfTheirFolderNameNoFile) {
    WriteFile(Dir("outside.jpg"), "not a photo");
    WriteFile(Dir("img") / "x" / "outside.jpg", "not a photo");
    for (const char* id : {"..", ".", "../x", "a/b"}) {
        EXPECT_EQ(ImageFilePath(Folder("img"), id, "0000000001", EPathFor::Destination, 0), "")
            << id;
        EXPECT_EQ(ReportFilePath(Folder("rep"), id, "0000000001"), "") << id;
        EXPECT_EQ(SlideshowFilePath(Folder("sld"), id, "0000000001"), "") << id;
    }
    EXPECT_EQ(ImageFilePath(Folder("img"), "x", "/../../outside", EPathFor::Source, 0), "");
    EXPECT_EQ(ImageFilePath(Folder("img"), "0000000001", "../../outside", EPathFor::Destination, 0),
              "");
    SMediaMove move{Folder("img"), Folder("dst"), "..", "0000000001", "outside", "0000000001"};
    EXPECT_EQ(CopyPhotoFiles(move, kMediaStill).m_copied, 0);
    EXPECT_FALSE(fs::exists(Dir("dst")));
}

TEST_F(MediaFilesTest, CopyKeepsModificationTimeClosesToOthersAndLeavesNoTemporaryFiles) {
    WriteFile(Dir("a") / "f.jpg", "bytes");
    fs::permissions(Dir("a") / "f.jpg", fs::perms(0644));
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(48);
    fs::last_write_time(Dir("a") / "f.jpg", old);
    ASSERT_TRUE(CopyMediaFile((Dir("a") / "f.jpg").string(), (Dir("a") / "g.jpg").string(),
                              EOverwrite::Replace));
    EXPECT_EQ(fs::last_write_time(Dir("a") / "g.jpg"), old);
    EXPECT_EQ(ModeOf(Dir("a") / "g.jpg"), privatefiles::FileMode());
    EXPECT_FALSE(CopyMediaFile((Dir("a") / "f.jpg").string(), (Dir("a") / "g.jpg").string(),
                               EOverwrite::Keep));
    EXPECT_EQ(Listing(Dir("a")), (std::set<std::string>{"f.jpg", "g.jpg"}));
}

TEST_F(MediaFilesTest, CopyTreeCopiesEverythingBelowAndOverwrites) {
    WriteFile(Dir("src") / "0000000001" / "0000000000.jpg", "one");
    WriteFile(Dir("src") / "0000000001" / "sub" / "deep.bin", "deep");
    WriteFile(Dir("src") / "00000000020000000001.jpg", "flat");
    fs::create_directories(Dir("src") / "empty");
    WriteFile(Dir("dst") / "0000000001" / "0000000000.jpg", "stale");
    WriteFile(Dir("dst") / "kept.txt", "not in source");

    std::string error;
    ASSERT_TRUE(CopyTree(Dir("src").string(), Folder("dst") + "x/y", &error)) << error;
    ASSERT_TRUE(CopyTree(Folder("src"), Dir("dst").string(), &error)) << error;
    EXPECT_EQ(ReadFile(Dir("dst") / "0000000001" / "0000000000.jpg"), "one");
    EXPECT_EQ(ReadFile(Dir("dst") / "0000000001" / "sub" / "deep.bin"), "deep");
    EXPECT_EQ(ReadFile(Dir("dst") / "00000000020000000001.jpg"), "flat");
    EXPECT_TRUE(fs::is_directory(Dir("dst") / "empty"));
    EXPECT_EQ(ReadFile(Dir("dst") / "kept.txt"), "not in source");
    EXPECT_EQ(ReadFile(Dir("dst") / "x" / "y" / "0000000001" / "sub" / "deep.bin"), "deep");
}

TEST_F(MediaFilesTest, CopyTreeStopsAtFirstFailureAndRefusesMissingSource) {
    WriteFile(Dir("src") / "a.jpg", "a");
    fs::create_directories(Dir("dst") / "a.jpg");  // a folder where the file must go
    std::string error;
    EXPECT_FALSE(CopyTree(Dir("src").string(), Dir("dst").string(), &error));
    EXPECT_NE(error.find("a.jpg"), std::string::npos);

    EXPECT_FALSE(CopyTree(Folder("nothing"), Folder("dst2"), &error));
    EXPECT_FALSE(CopyTree("", Folder("dst2"), &error));
    WriteFile(Dir("plain"), "x");
    EXPECT_FALSE(CopyTree(Folder("src"), Dir("plain").string() + "/under", &error));
}

TEST_F(MediaFilesTest, CopyTreeNeverCopiesDestinationIntoItselfNorFollowsLinkLoops) {
    WriteFile(Dir("photo") / "0000000001" / "a.jpg", "a");
    fs::create_directory_symlink(Dir("photo"), Dir("photo") / "0000000001" / "loop");
    std::string error;
    ASSERT_TRUE(CopyTree(Dir("photo").string(), Folder("photo") + "merged", &error)) << error;
    EXPECT_EQ(ReadFile(Dir("photo") / "merged" / "0000000001" / "a.jpg"), "a");
    EXPECT_FALSE(fs::exists(Dir("photo") / "merged" / "merged"));
    // The link back to the top was not followed around the loop.
    EXPECT_FALSE(fs::exists(Dir("photo") / "merged" / "0000000001" / "loop" / "0000000001"));
}

}  // namespace
}  // namespace unita
