#include "merger/mergesettings.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <filesystem>
#include <functional>
#include <system_error>
#include <vector>

#include "merger/unitaids.h"
#include "suite/text/inifile.h"
#include "suite/text/privatefiles.h"

namespace unita {

namespace {

namespace fs = std::filesystem;

const QString kVeloIni = QStringLiteral("VeloV1.ini");
const QString kXylo8Ini = QStringLiteral("Xylo8.ini");
const QString kXylo9Ini = QStringLiteral("Xylo9.ini");
const QString kGlobal = QStringLiteral("GLOBAL");
const QString kDbDir = QStringLiteral("DB_DIR");
const QString kDatabase = QStringLiteral("DATABASE");
const QString kPhoto = QStringLiteral("PHOTO");
const QString kReport = QStringLiteral("REPORT");
const QString kSlideshow = QStringLiteral("SLIDESHOW");
const QString kVersion = QStringLiteral("VERSION");

fs::path ToPath(const QString& text) { return fs::path(QFile::encodeName(text).toStdString()); }

QString FromPath(const fs::path& path) { return QFile::decodeName(path.string().c_str()); }

// `name` in `folder`, or the existing entry whose name differs from it only in letter case.
std::string FindInFolder(const QString& folder, const QString& name) {
    const fs::path exact = ToPath(folder + name);
    std::error_code ec;
    if (fs::exists(exact, ec)) return exact.string();
    for (const auto& entry : fs::directory_iterator(ToPath(folder), ec)) {
        if (FromPath(entry.path().filename()).compare(name, Qt::CaseInsensitive) == 0) {
            return entry.path().string();
        }
    }
    return exact.string();
}

struct SXyloFolders {
    QString m_database, m_image, m_report, m_slideshow;
};

SXyloFolders ReadXyloFolders(const QString& fileName) {
    CIniFile file;
    file.Load(SettingsFilePath(fileName));
    return {file.GetString(kDbDir, kDatabase), file.GetString(kDbDir, kPhoto),
            file.GetString(kDbDir, kReport), file.GetString(kDbDir, kSlideshow)};
}

// Folder comparisons of the rules: whole paths with their trailing "/", letter case ignored.
bool SameText(const QString& a, const QString& b) {
    return WithTrailingSeparator(a).compare(WithTrailingSeparator(b), Qt::CaseInsensitive) == 0;
}

bool TextInside(const QString& inner, const QString& outer) {
    return WithTrailingSeparator(inner).startsWith(WithTrailingSeparator(outer),
                                                   Qt::CaseInsensitive);
}

// The folder as the file system resolves it (links, "." and ".." followed as far as the
// path exists), so two spellings of one folder compare equal.
QString ResolvedFolder(const QString& folder) {
    std::error_code ec;
    const fs::path resolved = fs::weakly_canonical(fs::absolute(ToPath(folder), ec), ec);
    return ec ? folder : WithTrailingSeparator(FromPath(resolved));
}

// A destination collides with a source when it is the same folder or lies inside it:
// either way the merge would write into the source.
bool Collides(const QString& destination, const QString& source) {
    if (destination.isEmpty() || source.isEmpty()) return false;
    if (SameText(destination, source) || TextInside(destination, source)) return true;
    const QString resolvedDest = ResolvedFolder(destination);
    const QString resolvedSource = ResolvedFolder(source);
    return SameText(resolvedDest, resolvedSource) || TextInside(resolvedDest, resolvedSource);
}

bool CollidesWithAny(const QString& destination, const QStringList& sources) {
    for (const QString& source : sources) {
        if (Collides(destination, source)) return true;
    }
    return false;
}

QStringList XyloSources(const SMergeFolders& f) {
    return {f.m_xyloDatabase, f.m_xyloImage, f.m_xyloReport, f.m_xyloSlideshow};
}

QStringList AllSources(const SMergeFolders& f) {
    return XyloSources(f) + QStringList{f.m_calyxDatabase, f.m_calyxImage};
}

// The nearest folder of `folder` that exists, checked to be a folder this process can write
// into, so that a destination that cannot be made is known before anything is created.
bool CanCreate(const QString& folder, QString* why) {
    std::error_code ec;
    fs::path probe = ToPath(folder);
    while (!probe.empty() && !fs::exists(probe, ec)) {
        const fs::path parent = probe.parent_path();
        if (parent == probe) break;
        probe = parent;
    }
    if (probe.empty()) probe = fs::current_path(ec);
    if (!fs::is_directory(probe, ec)) {
        *why = QStringLiteral("「%1」はフォルダではありません。").arg(FromPath(probe));
        return false;
    }
    if (::access(probe.c_str(), W_OK | X_OK) != 0) {
        *why = QStringLiteral("「%1」に書き込む権限がありません。").arg(FromPath(probe));
        return false;
    }
    return true;
}

QString CannotCreateMessage(const QString& folder, const QString& why) {
    return QStringLiteral(
               "マージ先のフォルダ「%1」を作成できません。\n%2\n"
               "何も書き込まずにマージを中止しました。")
        .arg(folder, why);
}

}  // namespace

QString SettingsFolder() {
    const QString named = qEnvironmentVariable("VELO_WINDIR");
    if (!named.isEmpty()) return WithTrailingSeparator(named);
    return QDir::homePath() + QStringLiteral("/.config/velo/windows/");
}

std::string SettingsFilePath(const QString& fileName) {
    return FindInFolder(SettingsFolder(), fileName);
}

std::string GlobalSettingPath(const QString& databaseFolder) {
    return FindInFolder(WithTrailingSeparator(databaseFolder), QStringLiteral("GlobalSetting.ini"));
}

bool FolderHoldsFile(const QString& folder, const QString& fileName) {
    if (folder.isEmpty()) return false;
    std::error_code ec;
    return fs::is_regular_file(FindInFolder(WithTrailingSeparator(folder), fileName), ec);
}

QString WithTrailingSeparator(const QString& folder) {
    if (folder.isEmpty() || folder.endsWith(u'/')) return folder;
    return folder + u'/';
}

void DiscoverFolders(SMergeFolders* folders) {
    SXyloFolders xylo = ReadXyloFolders(kXylo9Ini);
    if (xylo.m_database.isEmpty()) xylo = ReadXyloFolders(kXylo8Ini);
    folders->m_xyloDatabase = xylo.m_database;
    folders->m_xyloImage = xylo.m_image;
    folders->m_xyloReport = xylo.m_report;
    folders->m_xyloSlideshow = xylo.m_slideshow;

    CIniFile velo;
    velo.Load(SettingsFilePath(kVeloIni));
    folders->m_calyxDatabase = velo.GetString(kGlobal, kDatabase);
    folders->m_calyxImage = velo.GetString(kGlobal, kPhoto);
    // The images default to "Photo/" inside the database folder; a database folder stored
    // without its "/" still gets one between, and no database folder gives no image folder
    // (a bare "Photo/" would name a folder of whatever the current folder is).
    if (folders->m_calyxImage.isEmpty() && !folders->m_calyxDatabase.isEmpty()) {
        folders->m_calyxImage =
            WithTrailingSeparator(folders->m_calyxDatabase) + QStringLiteral("Photo/");
    }
}

void ApplyDestinationChoice(SMergeFolders* folders, const QString& chosenFolder) {
    const QString chosen = WithTrailingSeparator(chosenFolder);
    if (folders->m_destImage.isEmpty()) folders->m_destImage = chosen + QStringLiteral("Photo/");
    if (folders->m_destReport.isEmpty()) folders->m_destReport = chosen + QStringLiteral("Report/");
    if (folders->m_destSlideshow.isEmpty()) {
        folders->m_destSlideshow = chosen + QStringLiteral("SlideShow/");
    }
    folders->m_destDatabase = chosen + QStringLiteral("Database/");
}

bool CalyxNeedsConversion(const QString& calyxDatabaseFolder) {
    if (calyxDatabaseFolder.isEmpty()) return false;
    const QString folder = WithTrailingSeparator(calyxDatabaseFolder);
    const QString version = CIniFile::ReadString(GlobalSettingPath(folder), kGlobal, kVersion);
    if (version == QLatin1String(kCurrentDatabaseVersion)) return false;
    return FolderHoldsFile(folder, QStringLiteral("PATIENT.BTR"));
}

bool WriteCurrentDatabaseVersion(const QString& databaseFolder, QString* error) {
    std::string why;
    if (CIniFile::WriteString(GlobalSettingPath(databaseFolder), kGlobal, kVersion,
                              QLatin1String(kCurrentDatabaseVersion), &why)) {
        return true;
    }
    if (error != nullptr) *error = QString::fromStdString(why);
    return false;
}

void AddTrailingSeparators(SMergeFolders* folders) {
    folders->m_destDatabase = WithTrailingSeparator(folders->m_destDatabase);
    folders->m_destImage = WithTrailingSeparator(folders->m_destImage);
    folders->m_destReport = WithTrailingSeparator(folders->m_destReport);
    folders->m_destSlideshow = WithTrailingSeparator(folders->m_destSlideshow);
}

bool DestinationFoldersFilled(const SMergeFolders& f) {
    return !f.m_destDatabase.isEmpty() && !f.m_destImage.isEmpty() && !f.m_destReport.isEmpty() &&
           !f.m_destSlideshow.isEmpty();
}

EFolderClash CheckFolderRules(const SMergeFolders& f, EFolderRuleSet rules) {
    if (rules == EFolderRuleSet::TablesOnly) {
        return CollidesWithAny(f.m_destDatabase, XyloSources(f)) ? EFolderClash::Database
                                                                 : EFolderClash::None;
    }
    const QStringList sources = rules == EFolderRuleSet::FullMerge ? AllSources(f) : XyloSources(f);
    if (CollidesWithAny(f.m_destDatabase, sources)) return EFolderClash::Database;
    if (CollidesWithAny(f.m_destImage, sources)) return EFolderClash::Image;
    if (CollidesWithAny(f.m_destReport, sources)) return EFolderClash::Report;
    if (CollidesWithAny(f.m_destSlideshow, sources)) return EFolderClash::Slideshow;
    return EFolderClash::None;
}

QString FolderClashMessage(EFolderClash clash, EFolderRuleSet rules) {
    if (rules == EFolderRuleSet::FullMerge) {
        switch (clash) {
            case EFolderClash::Database:
                return QStringLiteral(
                    "マージー先のデータベースフォルダがXyloまたはCalyxのデータベースフォル"
                    "ダと同じ場所ではマージできません。");
            case EFolderClash::Image:
                return QStringLiteral(
                    "マージー先の画像フォルダがXyloまたはCalyxの画像フォルダと同じ場所ではマージで"
                    "きません。");
            case EFolderClash::Report:
                return QStringLiteral(
                    "マージー先の報告書フォルダがXyloまたはCalyxの報告書フォルダと同じ場"
                    "所ではマージできません。");
            case EFolderClash::Slideshow:
                return QStringLiteral(
                    "マージー先のスライドショーフォルダがXyloのスライドショーフォルダと同"
                    "じ場所ではマージできません。");
            case EFolderClash::None:
                break;
        }
        return QString();
    }
    switch (clash) {
        case EFolderClash::Database:
            return QStringLiteral(
                "マージー先のデータベースフォルダがXylo8.0またCalyxのデータベースフォルダ"
                "と同じ場所ではマージできません。");
        case EFolderClash::Image:
            return QStringLiteral(
                "マージー先の画像フォルダがXylo8."
                "0またCalyxの画像フォルダと同じ場所ではマージできません。");
        case EFolderClash::Report:
            return QStringLiteral(
                "マージー先の報告書フォルダがXylo8.0またCalyxの報告書フォルダと同じ場所で"
                "はマージできません。");
        case EFolderClash::Slideshow:
            return QStringLiteral(
                "マージー先のスライドショーフォルダがXylo8.0のスライドショーフォルダと同じ"
                "場所ではマージできません。");
        case EFolderClash::None:
            break;
    }
    return QString();
}

int FolderClashField(EFolderClash clash) {
    switch (clash) {
        case EFolderClash::Database:
            return kIdDestDatabase;
        case EFolderClash::Image:
            return kIdDestImage;
        case EFolderClash::Report:
            return kIdDestReport;
        case EFolderClash::Slideshow:
            return kIdDestSlideshow;
        case EFolderClash::None:
            break;
    }
    return 0;
}

bool CreateDestinationFolders(const SMergeFolders& f, QString* error) {
    const QStringList folders{f.m_destDatabase, f.m_destImage, f.m_destReport, f.m_destSlideshow};
    for (const QString& folder : folders) {
        QString why;
        if (!CanCreate(folder, &why)) {
            if (error != nullptr) *error = CannotCreateMessage(folder, why);
            return false;
        }
    }
    // The merged clinic's folders are closed to others like every folder of the suite.
    for (const QString& folder : folders) {
        std::string why;
        if (!privatefiles::MakePrivateFolder(ToPath(folder).string(), &why)) {
            if (error != nullptr) *error = CannotCreateMessage(folder, QString::fromStdString(why));
            return false;
        }
    }
    return true;
}

bool WriteBackSettings(const SMergeFolders& f, const SWriteBackChoice& choice, QString* error) {
    QStringList failures;
    // Each file is changed under the lock other programs honour too, so that a change they
    // make at the same moment is kept.
    auto update = [&failures](const std::string& path,
                              const std::function<bool(CIniFile&)>& change) {
        std::string why;
        if (!CIniFile::Update(path, change, &why)) {
            failures << QStringLiteral("%1: %2").arg(QString::fromStdString(path),
                                                     QString::fromStdString(why));
        }
    };

    update(GlobalSettingPath(f.m_destDatabase), [](CIniFile& global) {
        global.SetString(kGlobal, kVersion, QLatin1String(kCurrentDatabaseVersion));
        global.SetString(kGlobal, QStringLiteral("IsXyloLinking"), QStringLiteral("1"));
        return true;
    });

    if (choice.m_pointCalyxToMerged || choice.m_pointXyloToMerged) {
        std::error_code ec;
        fs::create_directories(ToPath(SettingsFolder()), ec);
    }
    if (choice.m_pointCalyxToMerged) {
        update(SettingsFilePath(kVeloIni), [&f](CIniFile& velo) {
            velo.SetString(kGlobal, kDatabase, f.m_destDatabase);
            velo.SetString(kGlobal, kPhoto, f.m_destImage);
            return true;
        });
    }
    if (choice.m_pointXyloToMerged) {
        update(SettingsFilePath(kXylo8Ini), [&f](CIniFile& xylo) {
            xylo.SetString(kDbDir, kDatabase, f.m_destDatabase);
            xylo.SetString(kDbDir, kPhoto, f.m_destImage);
            xylo.SetString(kDbDir, kReport, f.m_destReport);
            xylo.SetString(kDbDir, kSlideshow, f.m_destSlideshow);
            const int active = xylo.GetInt(kDbDir, QStringLiteral("ActiveStorageNo"), 0);
            if (active >= 0) {
                const QString storage = QStringLiteral("Storage%1").arg(active + 1);
                xylo.SetString(storage, QStringLiteral("@DBPath"), f.m_destDatabase);
                xylo.SetString(storage, QStringLiteral("@PhotoPath"), f.m_destImage);
                xylo.SetString(storage, QStringLiteral("@ReportPath"), f.m_destReport);
                xylo.SetString(storage, QStringLiteral("@SlideshowPath"), f.m_destSlideshow);
            }
            return true;
        });
    }
    if (!failures.isEmpty() && error != nullptr) {
        *error = QStringLiteral("設定ファイルを書き込めませんでした。\n") + failures.join(u'\n');
    }
    return failures.isEmpty();
}

}  // namespace unita
