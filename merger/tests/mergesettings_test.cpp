// Tests of the merger's folder discovery, folder rules, destination creation and settings
// write-back, with the products' settings files in a temporary $VELO_WINDIR.
#include "merger/mergesettings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "merger/unitaids.h"
#include "suite/text/cp932.h"
#include "suite/text/inifile.h"
#include "suite/text/privatefiles.h"

namespace {

namespace fs = std::filesystem;
using unita::EFolderClash;
using unita::EFolderRuleSet;
using unita::SMergeFolders;

class MergeSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_windows.isValid());
        ASSERT_TRUE(m_work.isValid());
        setenv("VELO_WINDIR", m_windows.path().toLocal8Bit().constData(), 1);
    }
    void TearDown() override { unsetenv("VELO_WINDIR"); }

    std::string Ini(const char* name) const { return m_windows.filePath(name).toStdString(); }
    QString Work(const QString& relative) const { return m_work.path() + u'/' + relative; }
    static void Set(const std::string& path, const char* section, const char* key,
                    const QString& value) {
        ASSERT_TRUE(CIniFile::WriteString(path, section, key, value));
    }
    static QString Read(const std::string& path, const char* section, const char* key) {
        return CIniFile::ReadString(path, section, key);
    }

    QTemporaryDir m_windows;
    QTemporaryDir m_work;
};

TEST_F(MergeSettingsTest, XyloFoldersComeFromXylo9WhenItNamesADatabase) {
    Set(Ini("Xylo9.ini"), "DB_DIR", "DATABASE", "/x9/db");
    Set(Ini("Xylo9.ini"), "DB_DIR", "PHOTO", "/x9/photo");
    Set(Ini("Xylo8.ini"), "DB_DIR", "DATABASE", "/x8/db");
    Set(Ini("Xylo8.ini"), "DB_DIR", "REPORT", "/x8/report");
    SMergeFolders f;
    unita::DiscoverFolders(&f);
    EXPECT_EQ(f.m_xyloDatabase, "/x9/db");  // shown as stored, no "/" added
    EXPECT_EQ(f.m_xyloImage, "/x9/photo");
    EXPECT_EQ(f.m_xyloReport, "");  // nothing mixed in from Xylo8
    EXPECT_EQ(f.m_xyloSlideshow, "");
}

TEST_F(MergeSettingsTest, AllFourXyloFoldersComeFromXylo8WhenXylo9HasNoDatabase) {
    Set(Ini("Xylo9.ini"), "DB_DIR", "PHOTO", "/x9/photo");
    Set(Ini("Xylo8.ini"), "db_dir", "database", "/x8/db");
    Set(Ini("Xylo8.ini"), "DB_DIR", "PHOTO", "/x8/photo");
    Set(Ini("Xylo8.ini"), "DB_DIR", "REPORT", "/x8/report");
    Set(Ini("Xylo8.ini"), "DB_DIR", "SLIDESHOW", "/x8/slide");
    SMergeFolders f;
    unita::DiscoverFolders(&f);
    EXPECT_EQ(f.m_xyloDatabase, "/x8/db");
    EXPECT_EQ(f.m_xyloImage, "/x8/photo");
    EXPECT_EQ(f.m_xyloReport, "/x8/report");
    EXPECT_EQ(f.m_xyloSlideshow, "/x8/slide");
}

TEST_F(MergeSettingsTest, CalyxFoldersAndTheirDefaults) {
    SMergeFolders f;
    unita::DiscoverFolders(&f);  // no settings files at all: empty fields, no complaint
    EXPECT_EQ(f.m_calyxDatabase, "");
    EXPECT_EQ(f.m_calyxImage, "");
    EXPECT_EQ(f.m_xyloDatabase, "");

    // A database folder stored without its "/" is shown so, its image folder lies inside it.
    Set(Ini("VeloV1.ini"), "GLOBAL", "DATABASE", "/clinic/db");
    unita::DiscoverFolders(&f);
    EXPECT_EQ(f.m_calyxDatabase, "/clinic/db");
    EXPECT_EQ(f.m_calyxImage, "/clinic/db/Photo/");
    fs::remove(Ini("VeloV1.ini"));

    // A file spelled in other letter case is found, and Japanese folder names survive the
    // code page 932 round trip.
    const QString folder = QStringLiteral("/医院/データ/");
    Set(m_windows.filePath("velov1.INI").toStdString(), "GLOBAL", "DATABASE", folder);
    unita::DiscoverFolders(&f);
    EXPECT_EQ(f.m_calyxDatabase, folder);
    EXPECT_EQ(f.m_calyxImage, folder + "Photo/");

    Set(m_windows.filePath("velov1.INI").toStdString(), "GLOBAL", "PHOTO", "/img");
    unita::DiscoverFolders(&f);
    EXPECT_EQ(f.m_calyxImage, "/img");
}

TEST_F(MergeSettingsTest, DestinationChoiceFillsOnlyEmptyFields) {
    SMergeFolders f;
    unita::ApplyDestinationChoice(&f, "/D/New/");
    EXPECT_EQ(f.m_destDatabase, "/D/New/Database/");
    EXPECT_EQ(f.m_destImage, "/D/New/Photo/");
    EXPECT_EQ(f.m_destReport, "/D/New/Report/");
    EXPECT_EQ(f.m_destSlideshow, "/D/New/SlideShow/");

    SMergeFolders typed;
    typed.m_destImage = "/typed/images/";
    unita::ApplyDestinationChoice(&typed, "/D/New");  // no trailing "/" given
    EXPECT_EQ(typed.m_destDatabase, "/D/New/Database/");
    EXPECT_EQ(typed.m_destImage, "/typed/images/");
    EXPECT_EQ(typed.m_destReport, "/D/New/Report/");
}

TEST_F(MergeSettingsTest, OldFormatNeedsPatientBtrAndNoCurrentVersion) {
    const QString db = Work("calyx");
    QDir().mkpath(db);
    EXPECT_FALSE(unita::CalyxNeedsConversion(db));  // neither file
    std::ofstream(QFile::encodeName(db + "/PATIENT.BTR").toStdString()) << "x";
    EXPECT_TRUE(unita::CalyxNeedsConversion(db));  // no GlobalSetting.ini
    Set(unita::GlobalSettingPath(db), "GLOBAL", "VERSION", "1.0.0.0");
    EXPECT_TRUE(unita::CalyxNeedsConversion(db + "/"));
    ASSERT_TRUE(unita::WriteCurrentDatabaseVersion(db));
    EXPECT_FALSE(unita::CalyxNeedsConversion(db));  // current even with PATIENT.BTR
    EXPECT_FALSE(unita::CalyxNeedsConversion(""));
}

SMergeFolders SourcesOnly(const QString& root) {
    SMergeFolders f;
    f.m_calyxDatabase = root + "/Calyx/DB/";
    f.m_calyxImage = root + "/Calyx/Photo/";
    f.m_xyloDatabase = root + "/Xylo/DB";  // as stored in a settings file, no "/"
    f.m_xyloImage = root + "/Xylo/Photo";
    f.m_xyloReport = root + "/Xylo/Report";
    f.m_xyloSlideshow = root + "/Xylo/Slide";
    return f;
}

void Destination(SMergeFolders* f, const QString& db, const QString& image, const QString& report,
                 const QString& slide) {
    f->m_destDatabase = db;
    f->m_destImage = image;
    f->m_destReport = report;
    f->m_destSlideshow = slide;
    unita::AddTrailingSeparators(f);
}

TEST_F(MergeSettingsTest, FolderRulesRefuseEveryWayOfNamingASourceFolder) {
    const QString r = m_work.path();
    SMergeFolders f = SourcesOnly(r);
    Destination(&f, r + "/New/Database", r + "/New/Photo", r + "/New/Report", r + "/New/Slide");
    EXPECT_EQ(unita::CheckFolderRules(f, EFolderRuleSet::FullMerge), EFolderClash::None);

    // Differing only in letter case, or lacking the trailing "/" the source has, is the
    // same folder.
    SMergeFolders clash = f;
    Destination(&clash, r + "/calyx/db", f.m_destImage, f.m_destReport, f.m_destSlideshow);
    EXPECT_EQ(unita::CheckFolderRules(clash, EFolderRuleSet::FullMerge), EFolderClash::Database);
    EXPECT_EQ(unita::FolderClashField(EFolderClash::Database), unita::kIdDestDatabase);
    // The Calyx folders do not count for the selected-patient merge.
    EXPECT_EQ(unita::CheckFolderRules(clash, EFolderRuleSet::SelectedPatients), EFolderClash::None);

    clash = f;
    Destination(&clash, f.m_destDatabase, r + "/XYLO/photo/", f.m_destReport, f.m_destSlideshow);
    EXPECT_EQ(unita::CheckFolderRules(clash, EFolderRuleSet::FullMerge), EFolderClash::Image);
    EXPECT_EQ(unita::CheckFolderRules(clash, EFolderRuleSet::SelectedPatients),
              EFolderClash::Image);
    EXPECT_EQ(unita::CheckFolderRules(clash, EFolderRuleSet::TablesOnly), EFolderClash::None);

    clash = f;
    Destination(&clash, f.m_destDatabase, f.m_destImage, r + "/Xylo/Report", f.m_destSlideshow);
    EXPECT_EQ(unita::CheckFolderRules(clash, EFolderRuleSet::FullMerge), EFolderClash::Report);
    clash = f;
    Destination(&clash, f.m_destDatabase, f.m_destImage, f.m_destReport, r + "/Xylo/Slide/");
    EXPECT_EQ(unita::CheckFolderRules(clash, EFolderRuleSet::FullMerge), EFolderClash::Slideshow);

    // A destination inside a source folder would write into the source (and a copy of the
    // source would copy itself without end).
    clash = f;
    Destination(&clash, r + "/Calyx/DB/Database", f.m_destImage, f.m_destReport, f.m_destSlideshow);
    EXPECT_EQ(unita::CheckFolderRules(clash, EFolderRuleSet::FullMerge), EFolderClash::Database);

    // Another spelling of the same folder: "..", and a link to it.
    QDir().mkpath(r + "/Xylo/DB");
    clash = f;
    Destination(&clash, r + "/New/../Xylo/DB", f.m_destImage, f.m_destReport, f.m_destSlideshow);
    EXPECT_EQ(unita::CheckFolderRules(clash, EFolderRuleSet::TablesOnly), EFolderClash::Database);
    fs::create_directory_symlink(QFile::encodeName(r + "/Xylo/DB").toStdString(),
                                 QFile::encodeName(r + "/link").toStdString());
    Destination(&clash, r + "/link", f.m_destImage, f.m_destReport, f.m_destSlideshow);
    EXPECT_EQ(unita::CheckFolderRules(clash, EFolderRuleSet::FullMerge), EFolderClash::Database);

    // A sibling whose name merely starts like the source's is no clash.
    Destination(&clash, r + "/Xylo/DB2", f.m_destImage, f.m_destReport, f.m_destSlideshow);
    EXPECT_EQ(unita::CheckFolderRules(clash, EFolderRuleSet::FullMerge), EFolderClash::None);
}

TEST_F(MergeSettingsTest, ClashMessagesFollowTheCommand) {
    EXPECT_EQ(
        unita::FolderClashMessage(EFolderClash::Database, EFolderRuleSet::FullMerge),
        "マージー先のデータベースフォルダがXyloまたはCalyxのデータベースフォルダと同じ場所では"
        "マージできません。");
    EXPECT_EQ(
        unita::FolderClashMessage(EFolderClash::Slideshow, EFolderRuleSet::SelectedPatients),
        "マージー先のスライドショーフォルダがXylo8.0のスライドショーフォルダと同じ場所ではマージ"
        "できません。");
    EXPECT_EQ(unita::FolderClashMessage(EFolderClash::None, EFolderRuleSet::FullMerge), "");
}

TEST_F(MergeSettingsTest, UncreatableDestinationIsRefusedBeforeAnyFolderIsMade) {
    const QString r = m_work.path();
    std::ofstream(QFile::encodeName(r + "/plainfile").toStdString()) << "x";
    SMergeFolders f;
    Destination(&f, r + "/New/Database", r + "/New/Photo", r + "/plainfile/Report",
                r + "/New/Slide");
    QString error;
    EXPECT_FALSE(unita::CreateDestinationFolders(f, &error));
    EXPECT_TRUE(error.contains("plainfile")) << error.toStdString();
    EXPECT_FALSE(QDir(r + "/New").exists());  // the good ones were not made either

    Destination(&f, r + "/New/a/b/Database", r + "/New/Photo", r + "/New/Report", r + "/New/Slide");
    ASSERT_TRUE(unita::CreateDestinationFolders(f, &error));
    EXPECT_TRUE(QDir(r + "/New/a/b/Database").exists());
    EXPECT_TRUE(QDir(r + "/New/Slide").exists());
    // The merged clinic's folders, and those made above them, are closed to others.
    for (const char* made : {"/New", "/New/a", "/New/a/b/Database", "/New/Photo", "/New/Slide"}) {
        const fs::perms mode = fs::status(QFile::encodeName(r + made).toStdString()).permissions();
        EXPECT_EQ(mode_t(mode) & 07777, privatefiles::FolderMode()) << made;
    }
}

TEST_F(MergeSettingsTest, WriteBackPointsTheProductsAtTheMergedFolders) {
    const QString r = m_work.path();
    SMergeFolders f;
    Destination(&f, r + "/M/Database", r + "/M/Photo", r + "/M/Report", r + "/M/SlideShow");
    QDir().mkpath(f.m_destDatabase);
    Set(Ini("VeloV1.ini"), "GLOBAL", "DATABASE", "/old/calyx");
    Set(Ini("Xylo8.ini"), "DB_DIR", "ActiveStorageNo", "0");

    QString error;
    ASSERT_TRUE(unita::WriteBackSettings(f, {}, &error));
    const std::string global = unita::GlobalSettingPath(f.m_destDatabase);
    EXPECT_EQ(Read(global, "GLOBAL", "VERSION"), "1.1.0.0");
    EXPECT_EQ(Read(global, "GLOBAL", "IsXyloLinking"), "1");
    EXPECT_EQ(Read(Ini("VeloV1.ini"), "GLOBAL", "DATABASE"), "/old/calyx");  // not asked
    EXPECT_EQ(Read(Ini("Xylo8.ini"), "DB_DIR", "DATABASE"), "");

    ASSERT_TRUE(unita::WriteBackSettings(f, {true, true}, &error));
    EXPECT_EQ(Read(Ini("VeloV1.ini"), "GLOBAL", "DATABASE"), f.m_destDatabase);
    EXPECT_EQ(Read(Ini("VeloV1.ini"), "GLOBAL", "PHOTO"), f.m_destImage);
    EXPECT_EQ(Read(Ini("Xylo8.ini"), "DB_DIR", "SLIDESHOW"), f.m_destSlideshow);
    // ActiveStorageNo 0 names the first storage set, "Storage1".
    EXPECT_EQ(Read(Ini("Xylo8.ini"), "Storage1", "@DBPath"), f.m_destDatabase);
    EXPECT_EQ(Read(Ini("Xylo8.ini"), "Storage1", "@ReportPath"), f.m_destReport);
    CIniFile xylo;
    xylo.Load(Ini("Xylo8.ini"));
    EXPECT_FALSE(xylo.HasSection("Storage0"));

    // A negative storage number names no storage set.
    Set(Ini("Xylo8.ini"), "DB_DIR", "ActiveStorageNo", "-1");
    Destination(&f, r + "/N/Database", r + "/N/Photo", r + "/N/Report", r + "/N/SlideShow");
    QDir().mkpath(f.m_destDatabase);
    ASSERT_TRUE(unita::WriteBackSettings(f, {false, true}, &error));
    EXPECT_EQ(Read(Ini("Xylo8.ini"), "DB_DIR", "DATABASE"), f.m_destDatabase);
    EXPECT_EQ(Read(Ini("Xylo8.ini"), "Storage1", "@DBPath"), r + "/M/Database/");
}

TEST_F(MergeSettingsTest, WriteBackThatCannotWriteSaysSo) {
    SMergeFolders f;
    Destination(&f, m_work.path() + "/missing/Database", "/p", "/r", "/s");
    QString error;
    EXPECT_FALSE(unita::WriteBackSettings(f, {}, &error));
    EXPECT_TRUE(error.contains("GlobalSetting.ini")) << error.toStdString();
}

}  // namespace
