// Bringing the cephalometric (Xylo) patients into the destination database: matching each
// Xylo patient with a destination patient, giving new patients the next free identifier,
// the priority options for a matched patient's birth date, comment and guardian, and the
// copy of every record of the patient (23 tables, in a fixed order) with its media files
// under the destination identifier. The full merge run and the command "選択患者のみマージ"
// both use it.
//
// A record whose number the destination patient has taken already goes in under the
// patient's next free number, its files and the references to it renumbered alike; one
// already there unchanged is skipped. Re-running a merge is therefore safe: a run that
// stopped halfway is completed by running it again, and nothing is added twice.
#pragma once

#include <QHash>
#include <QString>
#include <cstdint>
#include <map>
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
// The first row (in list order) that fits wins. Patients added during a run are never found:
// two Xylo rows with one patient ID may be one person entered twice or two people given one
// number by mistake, and only the administrator can tell (and join them with 患者合成).
class CPatientMatcher {
public:
    CPatientMatcher(EMatchMode mode, const std::vector<SPatientRow>& destinationRows);

    // The destination identifier (numeric) of the patient `xylo` matches, or -1.
    long long Find(const SPatientRow& xylo) const;
    // Notes a patient the run added under `identifier`; returns the identifier of a patient
    // added before it that the same row would match, or -1.
    long long NoteAdded(const SPatientRow& row, long long identifier);
    // Forgets the added patients noted since the list was `count` long (their batch failed).
    size_t AddedCount() const { return m_addedOrder.size(); }
    void ForgetAddedSince(size_t count);

private:
    // The text two rows must share to match; empty when the row can match nothing.
    QString MatchKey(const SPatientRow& row) const;

    EMatchMode m_mode;
    QHash<QString, long long> m_first;
    QHash<QString, long long> m_added;
    std::vector<QString> m_addedOrder;
};

// What stopped a patient: which patient and which table, for the message that tells the
// user what failed and that running the merge again completes it.
struct SMergeFailure {
    QString m_patientId;
    QString m_name;
    std::string m_table;  // the file, e.g. "PATIENT1.BTR" or "CASMAS.BTR"
    QString m_file;       // an image, report or slideshow file that could not be copied

    // "[ID] name のデータをマージできませんでした（TABLE）。" followed by what was written and
    // that merging again completes it.
    QString Describe() const;
};

// What a merge did beyond the plain copy, for the message at its end: records whose number
// the destination patient had taken already and that went in under a new one, records whose
// key the destination held with other contents and that could not be renumbered (the
// destination's stay), and pairs of Xylo patients with one patient ID added as two patients.
struct SMergeReport {
    struct SSameIdPair {
        QString m_patientId;
        std::string m_first;  // destination identifiers
        std::string m_second;
    };
    std::map<std::string, int> m_renumbered;  // per table
    std::vector<QString> m_keptDestination;   // "[ID] name TABLE" per record
    std::vector<SSameIdPair> m_sameId;

    int RenumberedCount() const;
    // The lines for the message at the end, "" when there is nothing to tell.
    QString Describe() const;
    void Add(const SMergeReport& other);
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
    // them). A batch whose write cannot be stored as a whole is merged again patient by
    // patient, so that a failure names the patient it stopped at.
    bool MergePatients(const std::vector<SPatientRow>& xyloRows, const std::vector<int>& rows);

    const SMergeFailure& LastFailure() const { return m_failure; }
    // What the merges so far did beyond the plain copy.
    const SMergeReport& Report() const { return m_report; }

private:
    struct SState;
    struct SBatchEntry;
    struct SBatchUndo;
    enum class EBatchEnd { Merged, Failed, CommitFailed };
    EBatchEnd MergeBatch(std::vector<SBatchEntry>& batch);
    bool MergePatientsOfBatch(std::vector<SBatchEntry>& batch, SBatchUndo& undo);
    bool CopyTablesOfBatch(std::vector<SBatchEntry>& batch, SBatchUndo& undo);
    void ForgetBatch(const std::vector<SBatchEntry>& batch, const SBatchUndo& undo);

    std::unique_ptr<SState> m_state;
    SMergeFailure m_failure;
    SMergeReport m_report;
    bool m_commitFailed = false;
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
    SMergeReport m_report;
};

// The command "選択患者のみマージ": refuses a destination folder equal to its Xylo folder
// (letter case ignored), creates the destination folders, merges the selected rows in list
// order until the first failure, and says "マージ終了しました。" (after a failure too, then
// also what failed). Empty destination folders make it do nothing. The window refills the
// merge-data list afterwards.
SSelectedMergeResult MergeSelectedPatients(const SSelectedMergeRequest& request,
                                           IMergeProgress& progress, QWidget* parent);

}  // namespace unita
