// CReminderMailDlg: the small "メール送信" window of a reminder run. It starts the run as
// soon as it is shown, shows the patient being sent to and each protocol step, lets
// "ｷｬﾝｾﾙ" stop the run (also while it waits for a server), updates the reserved-patient
// list as rows are mailed, and closes itself at the end.
#pragma once

#include <QDialog>
#include <string>

#include "sheet/mail/mailtext.h"
#include "sheet/remindermail.h"

class CVeloDBSys;
class QLabel;

namespace velo::sheet {

class CReservedSearchDlg;

class CReminderMailDlg final : public QDialog, public velo::mail::IMailStatusWindow {
    Q_OBJECT
public:
    enum ControlId : int { kIdPatient = 1001, kIdStatus = 1002, kIdCancel = 2 };

    CReminderMailDlg(CVeloDBSys* db, CReservedSearchDlg* search,
                     ReminderRunOptions options = {});

    std::string GetStatusText() const override;
    void SetStatusText(const std::string& cp932) override;
    // While the mail library waits for a server: keeps the window painted and "ｷｬﾝｾﾙ"
    // answering; true once it was pressed.
    bool WhileWaiting() override;

    const ReminderRunResult& Result() const { return m_result; }
    // Asks the run to stop before the next patient, as "ｷｬﾝｾﾙ" does.
    void RequestStop() { m_stop = true; }

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    void Run();

    CVeloDBSys* m_db;
    CReservedSearchDlg* m_search;
    ReminderRunOptions m_options;
    ReminderRunResult m_result;
    QLabel* m_patient = nullptr;
    QLabel* m_status = nullptr;
    bool m_started = false;
    bool m_running = false;
    bool m_stop = false;
};

}  // namespace velo::sheet
