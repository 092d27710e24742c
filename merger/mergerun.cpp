#include "merger/mergerun.h"

#include <QStringList>
#include <filesystem>
#include <numeric>

#include "merger/convert.h"
#include "merger/mediafiles.h"
#include "merger/mergeprogress.h"
#include "merger/mergertext.h"
#include "merger/unitaids.h"

namespace unita {

namespace {

// Steps of a run besides the patients: the unpack, the two copies and the table merges,
// and the conversion when the Calyx data need it.
constexpr int kFixedSteps = 4;

// Xylo files that replace the destination's when the Calyx data are not converted: first
// the shared lists and the patient files, then the analysis and media tables.
const QStringList& XyloSharedFiles() {
    static const QStringList files{"TEXTTBL.BTR",       "OWNER.BTR",     "IMGTYPE.BTR",
                                   "freetblname.dat",   "XYPHOTOEX.BTR", "XYPHOTOEXIMG.BTR",
                                   "XYPHOTOEXTEXT.BTR", "PATIENT1.BTR",  "PATIENT2.BTR"};
    return files;
}

const QStringList& XyloCaseFiles() {
    static const QStringList files{
        "ADDLAT.BTR",    "CASMAS.BTR",   "CHEVRON.BTR",  "CVBA.BTR",    "LAS.BTR",
        "MOEX.BTR",      "MVTO.BTR",     "PHOTO.BTR",    "PILELAT.BTR", "PILEPA.BTR",
        "POINTLAT.BTR",  "POINTMO2.BTR", "POINTMO.BTR",  "POINTPA.BTR", "REPORT.BTR",
        "SLIDESHOW.BTR", "SPPOINT.BTR",  "SPPOINTP.BTR", "SURGERY.BTR", "SURGERYTREATMENT.BTR",
        "CASEREF.BTR",   "CASEREG.BTR",  "CASERREG.BTR"};
    return files;
}

std::string Std(const QString& text) { return text.toStdString(); }

// The copies join folder and file names directly, so every folder the run reads ends with
// "/" too, though the fields show the source folders as the settings files store them.
void AddSourceSeparators(SMergeFolders* f) {
    for (QString* folder : {&f->m_calyxDatabase, &f->m_calyxImage, &f->m_xyloDatabase,
                            &f->m_xyloImage, &f->m_xyloReport, &f->m_xyloSlideshow}) {
        *folder = WithTrailingSeparator(*folder);
    }
}

// One run: the request with its folders completed, the progress and the window.
class CMergeRun {
public:
    CMergeRun(const SMergeRunRequest& request, IMergeProgress& progress, QWidget* parent)
        : m_request(request),
          m_folders(request.m_folders),
          m_progress(progress),
          m_parent(parent) {}

    SMergeRunResult Run();

private:
    bool Prepare();
    bool SourceDatabasesFound();
    bool UnpackEmptyDatabaseStep();
    bool RunXyloOnly();
    bool CopyXyloFiles(const QStringList& files);
    bool CopyXyloFolder(const QString& source, const QString& destination);
    bool RunConvertedAndMerged();
    bool CopyStopped();
    bool MergeXyloPatients();
    void Fail(const QString& detail);
    void Succeed();
    void RefillMergeData();
    // Adds what the patient merge did beyond the plain copy to the message at the end.
    void AppendReport();

    const SMergeRunRequest& m_request;
    SMergeFolders m_folders;
    IMergeProgress& m_progress;
    QWidget* m_parent;
    SMergeRunResult m_result;
    QString m_failureDetail;
};

SMergeRunResult CMergeRun::Run() {
    if (!Prepare()) return m_result;
    const bool ok = UnpackEmptyDatabaseStep() &&
                    (m_request.m_convertCalyx ? RunConvertedAndMerged() : RunXyloOnly());
    if (ok) {
        Succeed();
    } else {
        Fail(m_failureDetail);
    }
    return m_result;
}

// Empty fields, folder clashes and folders that cannot be made end the run before anything
// is written.
bool CMergeRun::Prepare() {
    if (!DestinationFoldersFilled(m_folders)) return false;
    AddTrailingSeparators(&m_folders);
    AddSourceSeparators(&m_folders);
    const EFolderClash clash = CheckFolderRules(m_folders, EFolderRuleSet::FullMerge);
    if (clash != EFolderClash::None) {
        m_result.m_outcome = EMergeRunOutcome::Refused;
        m_result.m_refusedField = FolderClashField(clash);
        m_result.m_message = FolderClashMessage(clash, EFolderRuleSet::FullMerge);
        ShowMergerMessage(m_parent, m_result.m_message, EMergerIcon::Warning);
        return false;
    }
    if (!SourceDatabasesFound()) return false;
    QString error;
    if (!CreateDestinationFolders(m_folders, &error)) {
        m_result.m_outcome = EMergeRunOutcome::FolderNotMade;
        m_result.m_message = error;
        ShowMergerMessage(m_parent, error, EMergerIcon::Warning);
        return false;
    }
    m_progress.SetStopMark(false);
    const int fixed = kFixedSteps + (m_request.m_calyxNeedsConversion ? 1 : 0);
    m_progress.BeginSteps(kStepsPerPatient * static_cast<int>(m_request.m_xyloRows.size()) + fixed);
    return true;
}

// A source database folder that is named but missing (mistyped, or a drive not attached)
// would copy nothing and the run would still report a merge; it is refused like a clash,
// before anything is written.
bool CMergeRun::SourceDatabasesFound() {
    const struct {
        const QString& m_folder;
        int m_field;
        const char* m_product;
    } sources[] = {{m_folders.m_calyxDatabase, kIdCalyxDatabase, "Calyx"},
                   {m_folders.m_xyloDatabase, kIdXyloDatabase, "Xylo"}};
    for (const auto& source : sources) {
        std::error_code ec;
        if (source.m_folder.isEmpty() || std::filesystem::is_directory(Std(source.m_folder), ec)) {
            continue;
        }
        m_result.m_outcome = EMergeRunOutcome::Refused;
        m_result.m_refusedField = source.m_field;
        m_result.m_message = QStringLiteral("%1のデータベースフォルダ「%2」が見つかりません。")
                                 .arg(QLatin1String(source.m_product), source.m_folder);
        ShowMergerMessage(m_parent, m_result.m_message, EMergerIcon::Warning);
        return false;
    }
    return true;
}

// Without the empty tables the rest of the run would report success over a destination
// that lacks them, so a failed unpack ends the run.
bool CMergeRun::UnpackEmptyDatabaseStep() {
    m_progress.SetStatus(QStringLiteral("空データベースを解凍しています..."));
    m_progress.AdvanceStep();
    const int status = UnpackEmptyDatabase(Std(m_folders.m_destDatabase));
    if (status == 0) return true;
    m_failureDetail = QStringLiteral(
                          "空データベース（%1）を解凍できませんでした（コード %2）。\n"
                          "プログラムのフォルダに %1 があるか確かめてください。")
                          .arg(QLatin1String(kEmptyDatabaseArchive))
                          .arg(status);
    return false;
}

bool CMergeRun::RunXyloOnly() {
    const SMergeFolders& f = m_folders;
    m_progress.SetStatus(QStringLiteral("Calyxのデータベースをコピーしています..."));
    m_progress.SetPosition(40);
    CopyFolder(Std(f.m_calyxDatabase), Std(f.m_destDatabase), ECopyMode::CalyxUnconverted,
               m_request.m_calyxNeedsConversion, m_progress, m_parent);
    if (CopyStopped()) return false;

    m_progress.SetStatus(QStringLiteral("テーブルデータをマージしています..."));
    m_progress.SetPosition(50);
    MergeTablesForCopiedRun(f.m_xyloDatabase, f.m_destDatabase, m_request.m_tableOptions);

    m_progress.SetPosition(60);
    if (!CopyXyloFiles(XyloSharedFiles())) return false;
    m_progress.SetPosition(70);
    if (!CopyXyloFiles(XyloCaseFiles())) return false;

    m_progress.SetPosition(80);
    m_progress.ProcessPendingEvents();
    m_progress.SetStatus(QStringLiteral("画像をコピーしています..."));
    // The reports and slideshows go along with the images: the copied REPORT.BTR and
    // SLIDESHOW.BTR name files that the products look for in the destination folders.
    if (!CopyXyloFolder(f.m_xyloImage, f.m_destImage) ||
        !CopyXyloFolder(f.m_xyloReport, f.m_destReport) ||
        !CopyXyloFolder(f.m_xyloSlideshow, f.m_destSlideshow)) {
        return false;
    }
    m_progress.SetPosition(100);
    return true;
}

// A file the Xylo database lacks is passed over; one it holds but that cannot be copied
// would leave the destination with the empty table, so it fails the run.
bool CMergeRun::CopyXyloFiles(const QStringList& files) {
    for (const QString& file : files) {
        if (!FolderHoldsFile(m_folders.m_xyloDatabase, file)) continue;
        if (CopyWholeFile(m_folders.m_xyloDatabase, m_folders.m_destDatabase, file)) continue;
        m_failureDetail =
            QStringLiteral("Xyloの%1をマージ先のデータベースフォルダにコピーできませんでした。")
                .arg(file);
        return false;
    }
    return true;
}

// A Xylo folder that is not named or does not exist is passed over, as there is nothing
// to copy; a copy that breaks off fails the run.
bool CMergeRun::CopyXyloFolder(const QString& source, const QString& destination) {
    std::error_code ec;
    if (source.isEmpty() || !std::filesystem::is_directory(Std(source), ec)) return true;
    std::string error;
    if (CopyTree(Std(source), Std(destination), &error)) return true;
    m_failureDetail = QStringLiteral("「%1」を「%2」にコピーできませんでした。\n%3")
                          .arg(source, destination, QString::fromStdString(error));
    return false;
}

bool CMergeRun::RunConvertedAndMerged() {
    const SMergeFolders& f = m_folders;
    m_progress.SetStatus(QStringLiteral("Calyxのデータベースをコピーしています..."));
    CopyFolder(Std(f.m_calyxDatabase), Std(f.m_destDatabase), ECopyMode::CalyxDatabase,
               m_request.m_calyxNeedsConversion, m_progress, m_parent);
    m_progress.AdvanceStep();
    m_progress.SetStatus(QStringLiteral("Calyxの画像をコピーしています..."));
    CopyFolder(Std(f.m_calyxImage), Std(f.m_destImage), ECopyMode::Images,
               m_request.m_calyxNeedsConversion, m_progress, m_parent);
    m_progress.AdvanceStep();
    if (CopyStopped()) return false;

    if (m_request.m_calyxNeedsConversion) {
        const SConvertResult converted = ConvertPatientsInRun(
            Std(f.m_calyxDatabase), Std(f.m_destDatabase), m_request.m_calyxPatients, m_progress);
        m_progress.AdvanceStep();
        // Matching against a destination without the Calyx patients would add every Xylo
        // patient as new and lose the Calyx ones.
        if (!converted.m_complete) {
            m_failureDetail = QStringLiteral("Calyxの患者データをコンバートできませんでした。");
            return false;
        }
    }

    RefillMergeData();

    m_progress.SetStatus(QStringLiteral("テーブルデータをマージしています..."));
    MergeTablesForConvertedRun(f.m_xyloDatabase, f.m_destDatabase, m_request.m_tableOptions);
    m_progress.AdvanceStep();

    return MergeXyloPatients();
}

// A failed copy that was not passed over (the stop question answered Yes, or no entry left
// to ask before) leaves files missing; such a destination must not be reported as merged
// nor made the products' database.
bool CMergeRun::CopyStopped() {
    if (!m_progress.StopMark()) return false;
    m_failureDetail = QStringLiteral("ファイルをコピーできなかったため、マージを中止しました。");
    return true;
}

bool CMergeRun::MergeXyloPatients() {
    m_progress.SetStatus(QStringLiteral("Xyloデータをマージしています..."));
    CPatientMerger merger(m_folders, m_request.m_options, m_result.m_mergeData, m_progress,
                          m_parent);
    if (!merger.Open()) {
        m_result.m_failure = merger.LastFailure();
        m_failureDetail = QStringLiteral("患者テーブル（%1）を開けませんでした。")
                              .arg(QString::fromStdString(merger.LastFailure().m_table));
        return false;
    }
    // Every listed patient, in list order; patients share the record manager's writes in
    // batches, which makes a large list many times faster than one patient at a time.
    const PatientRows& rows = m_request.m_xyloRows;
    std::vector<int> all(rows.size());
    std::iota(all.begin(), all.end(), 0);
    const bool merged = merger.MergePatients(rows, all);
    m_result.m_report = merger.Report();
    if (!merged) {
        m_result.m_failure = merger.LastFailure();
        m_failureDetail = merger.LastFailure().Describe();
        return false;
    }
    return true;
}

void CMergeRun::Fail(const QString& detail) {
    m_result.m_outcome = EMergeRunOutcome::Failed;
    m_progress.SetStatus(MergeFailedText());
    m_result.m_message = MergeFailedText();
    if (!detail.isEmpty()) m_result.m_message += QStringLiteral("\n\n") + detail;
    AppendReport();
    ShowMergerMessage(m_parent, m_result.m_message, EMergerIcon::Warning);
    RefillMergeData();
}

void CMergeRun::Succeed() {
    m_result.m_outcome = EMergeRunOutcome::Succeeded;
    m_progress.SetStatus(MergeSucceededText());
    m_result.m_message = MergeSucceededText();
    AppendReport();
    ShowMergerMessage(m_parent, m_result.m_message);
    QString error;
    if (!WriteBackSettings(m_folders, m_request.m_writeBack, &error)) {
        ShowMergerMessage(m_parent, error, EMergerIcon::Warning);
    }
    RefillMergeData();
}

void CMergeRun::AppendReport() {
    const QString report = m_result.m_report.Describe();
    if (!report.isEmpty()) m_result.m_message += QStringLiteral("\n\n") + report;
}

void CMergeRun::RefillMergeData() {
    m_result.m_mergeData = LoadPatientRows(m_folders.m_destDatabase, EPatientFile::Current, false);
}

}  // namespace

QString MergeSucceededText() { return QStringLiteral("マージ完了しました。"); }

QString MergeFailedText() { return QStringLiteral("マージ失敗しました。"); }

SMergeRunResult RunMerge(const SMergeRunRequest& request, IMergeProgress& progress,
                         QWidget* parent) {
    return CMergeRun(request, progress, parent).Run();
}

}  // namespace unita
