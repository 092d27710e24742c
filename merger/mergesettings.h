// Where the two products keep their data, and where a merge puts it: the folders found in
// the products' settings files at start, the rules the destination folders must follow, the
// old-format test of a practice database, and the settings written back after a merge.
//
// The products' settings files ("VeloV1.ini", "Xylo8.ini", "Xylo9.ini") live in the folder
// named by $VELO_WINDIR (default ~/.config/velo/windows/). They are code page 932 ini files;
// sections and keys are found without regard to case and every write is atomic.
#pragma once

#include <QString>
#include <string>

namespace unita {

// The ten folder fields of the main window. Values read from the settings files are kept
// as stored; browsing and the merge run add the trailing "/".
struct SMergeFolders {
    QString m_calyxDatabase;  // 1000
    QString m_calyxImage;     // 1002
    QString m_xyloDatabase;   // 1005
    QString m_xyloImage;      // 1007
    QString m_xyloReport;     // 1021
    QString m_xyloSlideshow;  // 1029
    QString m_destDatabase;   // 1012
    QString m_destImage;      // 1014
    QString m_destReport;     // 1023
    QString m_destSlideshow;  // 1031
};

// The folder that holds the products' settings files, ending with "/".
QString SettingsFolder();
// Full path of a settings file in that folder; an existing file whose name differs only in
// letter case is used instead, as the products' own platform would find it.
std::string SettingsFilePath(const QString& fileName);
// Path of "GlobalSetting.ini" in a database folder (same letter-case rule).
std::string GlobalSettingPath(const QString& databaseFolder);
// True when the folder holds a file of that name, without regard to letter case.
bool FolderHoldsFile(const QString& folder, const QString& fileName);

// `folder` with "/" appended when it does not end with one; "" stays "".
QString WithTrailingSeparator(const QString& folder);

// Start-up discovery: the Xylo folders from "Xylo9.ini" [DB_DIR], or all four from
// "Xylo8.ini" when Xylo9 names no database folder; the Calyx database and image folders
// from "VeloV1.ini" [GLOBAL] (image = "Photo/" in the database folder when PHOTO is empty,
// none without a database folder). Missing files and keys give empty fields. The destination
// fields are left as they are.
void DiscoverFolders(SMergeFolders* folders);

// The destination browse: the chosen folder gives the destination database folder
// chosen + "Database/", and the image, report and slideshow folders chosen + "Photo/",
// "Report/", "SlideShow/", each only when still empty.
void ApplyDestinationChoice(SMergeFolders* folders, const QString& chosenFolder);

// The practice database format: old when "GlobalSetting.ini" of the folder does not say
// VERSION "1.1.0.0" and the folder holds PATIENT.BTR.
constexpr const char* kCurrentDatabaseVersion = "1.1.0.0";
bool CalyxNeedsConversion(const QString& calyxDatabaseFolder);
// Writes [GLOBAL] VERSION = "1.1.0.0" into "GlobalSetting.ini" of the folder.
bool WriteCurrentDatabaseVersion(const QString& databaseFolder, QString* error = nullptr);

// A destination folder that collides with a source folder.
enum class EFolderClash { None, Database, Image, Report, Slideshow };

// Which sources a command checks the destination against.
enum class EFolderRuleSet {
    FullMerge,         // database and image against both products, report and slideshow
                       // against Xylo
    SelectedPatients,  // all four against Xylo only
    TablesOnly,        // the database folder against Xylo only
};

// Every destination folder ends with "/" afterwards (empty ones stay empty).
void AddTrailingSeparators(SMergeFolders* folders);
// True when all four destination folders are filled in (else the commands do nothing).
bool DestinationFoldersFilled(const SMergeFolders& folders);

// The first clash of the rule set. Folders are compared as whole paths without regard to
// letter case, each with its trailing "/", and a destination that lies inside a source
// folder (or names the same folder through another path) clashes too, so a merge can
// never write into a source.
EFolderClash CheckFolderRules(const SMergeFolders& folders, EFolderRuleSet rules);
// The refusal text of a clash for the rule set, and the field that takes the focus.
QString FolderClashMessage(EFolderClash clash, EFolderRuleSet rules);
int FolderClashField(EFolderClash clash);

// Creates the four destination folders with every missing parent. On failure returns false
// with a message in *error naming the folder; nothing else has been written then.
bool CreateDestinationFolders(const SMergeFolders& folders, QString* error);

// The choices of the write-back after a successful merge.
struct SWriteBackChoice {
    bool m_pointCalyxToMerged = false;  // 1027
    bool m_pointXyloToMerged = false;   // 1028
};

// After a successful merge: "GlobalSetting.ini" of the destination database gets VERSION
// "1.1.0.0" and IsXyloLinking "1"; on request "VeloV1.ini" [GLOBAL] DATABASE/PHOTO and
// "Xylo8.ini" [DB_DIR] DATABASE/PHOTO/REPORT/SLIDESHOW and, for ActiveStorageNo n >= 0,
// section "Storage<n+1>" "@DBPath"/"@PhotoPath"/"@ReportPath"/"@SlideshowPath" name the
// destination folders. Every file is written even when an earlier one failed; returns
// false with the failures described in *error.
bool WriteBackSettings(const SMergeFolders& folders, const SWriteBackChoice& choice,
                       QString* error);

}  // namespace unita
