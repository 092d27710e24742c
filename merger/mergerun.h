// The merge run behind "マージ開始": a fresh destination database built from the empty
// database, the Calyx data and the Xylo data, with the destination's media folders, without
// changing either source. Two ways:
// - Calyx data converted and merged (the box "Calyxのデータをコンバートする" checked): the
//   Calyx database and images copied, the old patient file converted when needed, the master
//   tables merged, then every Xylo patient merged one by one;
// - Xylo data only: the Calyx database copied without its patient and master files, the
//   master tables merged, the Xylo tables copied whole and the Xylo images, reports and
//   slideshows copied.
// A successful run writes the settings back; a failed one names what failed and leaves the
// settings alone. Running again after a failure rebuilds the destination from the empty
// database, so the second run ends where an uninterrupted run would have.
#pragma once

#include <QString>
#include <vector>

#include "merger/mergesettings.h"
#include "merger/patientlist.h"
#include "merger/patientmerge.h"
#include "merger/tablemerge.h"

class QWidget;

namespace unita {

class IMergeProgress;

struct SMergeRunRequest {
    SMergeFolders m_folders;              // the ten fields as typed; "/" added by the run
    bool m_convertCalyx = true;           // 1039
    bool m_calyxNeedsConversion = false;  // found by the Calyx load
    std::vector<long> m_calyxPatients;    // the Calyx list's item data, in list order
    PatientRows m_xyloRows;               // the Xylo list, in list order
    SMergeOptions m_options;              // matching and the patient priority options
    STableMergeOptions m_tableOptions;    // 1040, 1041
    SWriteBackChoice m_writeBack;         // 1027, 1028
};

enum class EMergeRunOutcome {
    NothingDone,    // a destination field was empty
    Refused,        // a destination folder clashes with a source folder, or a source
                    // database folder named in its field does not exist
    FolderNotMade,  // a destination folder could not be created; nothing was written
    Failed,         // "マージ失敗しました。"
    Succeeded,      // "マージ完了しました。"
};

struct SMergeRunResult {
    EMergeRunOutcome m_outcome = EMergeRunOutcome::NothingDone;
    int m_refusedField = 0;   // the field to focus, with its text selected, after a refusal
    QString m_message;        // what was shown at the end (empty when nothing was shown)
    SMergeFailure m_failure;  // the patient and table that stopped a failed run
    SMergeReport m_report;    // renumbered records, kept destination records, same-ID pairs
    // The destination's patients after the run (the merge-data list), when the run started.
    PatientRows m_mergeData;
};

// Runs the merge, reporting through `progress` and showing its messages (refusals, the
// destination that cannot be created, the end of the run) through the merger's message
// boxes owned by `parent`. The copy stop mark of `progress` is cleared at the start.
SMergeRunResult RunMerge(const SMergeRunRequest& request, IMergeProgress& progress,
                         QWidget* parent);

// The texts of the run's end.
QString MergeSucceededText();  // "マージ完了しました。"
QString MergeFailedText();     // "マージ失敗しました。"

}  // namespace unita
