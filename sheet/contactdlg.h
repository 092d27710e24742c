// CContactDlg: the contact record of one reservation (1018, "患者への連絡履歴の入力"): the
// day the patient was reached, how far the contact got, by telephone or mail, and a comment.
// OK stores it on the reservation; the search list then shows the new state.
#pragma once

#include <QDialog>
#include <string>

class CVeloDBSys;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QRadioButton;

namespace velo::sheet {

class CContactDlg final : public QDialog {
    Q_OBJECT
public:
    enum ControlId : int {
        kIdDialog = 1018,
        kIdDate = 1039,
        kIdState = 1090,
        kIdByTelephone = 1088,
        kIdByMail = 1089,
        kIdComment = 1091,
        kIdOk = 1,
        kIdCancel = 2,
    };
    static constexpr int kCommentMaxBytes = 100;

    CContactDlg(CVeloDBSys* db, std::string reservationNo, QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildLayout();
    void LoadContact();
    void OnOK();

    CVeloDBSys* m_db;
    std::string m_reservationNo;
    QDateEdit* m_date = nullptr;
    QComboBox* m_state = nullptr;
    QRadioButton* m_byTelephone = nullptr;
    QRadioButton* m_byMail = nullptr;
    QLineEdit* m_comment = nullptr;
};

}  // namespace velo::sheet
