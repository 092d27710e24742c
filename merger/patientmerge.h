// Bringing the cephalometric (Xylo) patients into the destination database: matching each
// Xylo patient with a destination patient, giving new patients the next free identifier,
// the priority options for a matched patient's birth date, comment and guardian, and the
// copy of every record of the patient (23 tables, in a fixed order) with its media files
// under the destination identifier. The full merge run and the command "選択患者のみマージ"
// both use it.
//
// Re-running a merge is safe: records already in the destination are skipped (a duplicate
// key is not a failure), so a run that stopped halfway is completed by running it again.
#pragma once

#include <QHash>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "merger/mergesettings.h"
#include "merger/patientlist.h"

class QWidget;

namespace unita {

class IMergeProgress;

// How a Xylo patient is recognised in the destination (radio group "同じ患者のチェック").
enum class EMatchMode {
    Id = 0,                // 1036 "ID": the patient ID, without regard to letter case
    IdAndName = 1,         // 1037 "IDと氏名": the patient ID and the name
    NameAndBirthDate = 2,  // 1038 "氏名と生年月日": the name and the birth date
};

struct SMergeOptions {
    EMatchMode m_match = EMatchMode::Id;
    bool m_birthDateFromXylo = false;  // 1025 "生年月日はXyloが優先"
    bool m_commentFromXylo = false;    // 1034 "コメントはXyloが優先"
    bool m_guardianFromXylo = false;   // 1035 "保護者情報はXyloが優先"
};

// Finds the destination patient of a Xylo patient among the rows of the merge-data list.
// The first row (in list order) that fits wins. Patients added during a run are added
// too, so two Xylo patients with one patient ID become one destination patient.
class CPatientMatcher {
public:
    CPatientMatcher(EMatchMode mode, const std::vector<SPatientRow>& destinationRows);

    // The destination identifier (numeric) of the patient `xylo` matches, or -1.
    long long Find(const SPatientRow& xylo) const;
    // Records a patient the run added under `identifier`.
    void Add(const SPatientRow& row, long long identifier);

private:
    // The text two rows must share to match; empty when the row can match nothing.
    QString MatchKey(const SPatientRow& row) const;

    EMatchMode m_mode;
    QHash<QString, long long> m_first;
};

// What stopped a patient: which patient and which table, for the message that tells the
// user what failed and that running the merge again completes it.
struct SMergeFailure {
    QString m_patientId;
    QString m_name;
    std::string m_table;  // the file, e.g. "PATIENT1.BTR" or "CASMAS.BTR"

    // "[ID] name のデータをマージできませんでした（TABLE）。" followed by what was written and
    // that merging again completes it.
    QString Describe() const;
};

// The number of progress steps one patient takes (the marking step and one per table).
constexpr int kStepsPerPatient = 24;

// The per-patient tables, in the order a patient's records are copied.
const std::vector<std::string>& PatientTableOrder();

// The merge of Xylo patients into the destination. Construct, Open (the four patient
// files, kept open until the object goes), then MergePatients for the rows (or
// MergePatient row by row; the same result, more slowly).
class CPatientMerger {
public:
    CPatientMerger(const SMergeFolders& folders, const SMergeOptions& options,
                   const std::vector<SPatientRow>& destinationRows, IMergeProgress& progress,
                   QWidget* parent);
    ~CPatientMerger();
    CPatientMerger(const CPatientMerger&) = delete;
    CPatientMerger& operator=(const CPatientMerger&) = delete;

    // Opens the Xylo PATIENT1.BTR, the destination PATIENT1.BTR, the Xylo PATIENT2.BTR and
    // the destination PATIENT2.BTR, in this order, stopping at the first that fails (the
    // wrapper reports "BO_OPEN"); false then, and nothing may be merged.
    bool Open();

    // Merges the patient of Xylo list row `row` (counting from 0): marks the row importing,
    // then success or failure, and advances the progress by kStepsPerPatient steps at most.
    // On failure LastFailure() names the patient and the table.
    bool MergePatient(int row, const SPatientRow& xyloRow);

    // Merges the patients of the Xylo list rows `rows` (indices into xyloRows, in list
    // order) until the first failure; the same result as MergePatient row by row, but many
    // patients share each write to the record manager (see kFirstBatchPatients), so a
    // large list merges many times faster. A batch is marked importing together and
    // success together; when a patient fails, it is marked failure, and the other patients
    // of its batch, not yet complete, lose their mark (running the merge again completes
    // them).
    bool MergePatients(const std::vector<SPatientRow>& xyloRows, const std::vector<int>& rows);

    const SMergeFailure& LastFailure() const { return m_failure; }

private:
    struct SState;
    struct SBatchEntry;
    bool MergeBatch(std::vector<SBatchEntry>& batch);

    std::unique_ptr<SState> m_state;
    SMergeFailure m_failure;
};

// Patients merged together by MergePatients: the first batch is small, so that the first
// marks of success show soon; each next one is four times larger, up to the largest, since
// every batch costs two writes to disk per table.
constexpr size_t kFirstBatchPatients = 100;
constexpr size_t kLargestBatchPatients = 6400;

// Copies every record of `sourceId` in `table` of the Xylo database into the destination
// database under `destId` (identifiers as "%010d" text), with the files of PHOTO.BTR,
// REPORT.BTR and SLIDESHOW.BTR records that were inserted (folders: the Xylo and the
// destination media folders of `folders`). Records already in the destination are
// skipped. False only when one of the two files cannot be opened.
bool CopyPatientTable(const std::string& table, const SMergeFolders& folders,
                      const std::string& destId, const std::string& sourceId);

// What the command "選択患者のみマージ" (control 1043) is given by the window.
struct SSelectedMergeRequest {
    SMergeFolders m_folders;  // the Xylo and destination fields; "/" added here when missing
    SMergeOptions m_options;
    std::vector<SPatientRow> m_xyloRows;         // the whole Xylo list, in list order
    std::vector<int> m_selectedRows;             // indices into m_xyloRows, in list order
    std::vector<SPatientRow> m_destinationRows;  // the merge-data list
};

struct SSelectedMergeResult {
    bool m_ran = false;      // the merge started (the four tables were tried)
    int m_refusedField = 0;  // the field (unitaids.h) to focus with its text selected, or 0
    bool m_failed = false;   // a patient or a table failed
    SMergeFailure m_failure;
};

// The command "選択患者のみマージ": refuses a destination folder equal to its Xylo folder
// (letter case ignored), creates the destination folders, merges the selected rows in list
// order until the first failure, and says "マージ終了しました。" (after a failure too, then
// also what failed). Empty destination folders make it do nothing. The window refills the
// merge-data list afterwards.
SSelectedMergeResult MergeSelectedPatients(const SSelectedMergeRequest& request,
                                           IMergeProgress& progress, QWidget* parent);

}  // namespace unita
