// The reminder mail template dialog: the numbered templates with their titles, an editor
// for the chosen one's title, subject and multi-line body, the placeholders the reminder
// run fills in (inserted at the body's cursor), and the choice of the template the run
// uses. Every keystroke goes into the working copy (CMailTemplateSet), so moving between
// templates keeps what was typed; OK writes it all at once, and closing with changes asks
// before they are dropped.
#pragma once

#include <QDialog>

#include "suite/comdlg/mailtemplateset.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class CMailTemplateDlg final : public QDialog {
    Q_OBJECT

public:
    // Control ids, also the widgets' object names; 1 is OK and 2 ｷｬﾝｾﾙ.
    enum : int {
        kIdList = 1251,
        kIdAdd = 1252,
        kIdDelete = 1253,
        kIdTitle = 1254,
        kIdSubject = 1255,
        kIdBody = 1256,
        kIdPlaceholder = 1257,
        kIdInsert = 1258,
        kIdChosen = 1259,
    };

    // Opens on template `number`, or on the first template when there is no such one.
    explicit CMailTemplateDlg(int number, QWidget* parent = nullptr);
    CMailTemplateDlg(const CMailTemplateDlg&) = delete;
    CMailTemplateDlg& operator=(const CMailTemplateDlg&) = delete;

    // The number of the template in the editor, -1 when there is none.
    int CurrentNumber() const { return m_current; }
    const CMailTemplateSet& Templates() const { return m_set; }

    // Closing without OK asks first when anything was changed; No keeps the dialog open.
    void reject() override;

private:
    void FillList(int select);
    void FillChosen();
    void ShowTemplate(int number);
    void OnCurrentItemChanged(QTreeWidgetItem* current);
    void OnEdited();
    void OnAdd();
    void OnDelete();
    void OnInsert();
    void OnChosenChanged(int index);
    void OnOK();
    bool TextsStorable();
    QTreeWidgetItem* ItemOf(int number) const;

    CMailTemplateSet m_set;
    int m_current = -1;
    bool m_showing = false;  // true while the editor is being filled, not typed into
    QTreeWidget* m_list = nullptr;
    QPushButton* m_delete = nullptr;
    QLineEdit* m_title = nullptr;
    QLineEdit* m_subject = nullptr;
    QPlainTextEdit* m_body = nullptr;
    QComboBox* m_placeholder = nullptr;
    QPushButton* m_insert = nullptr;
    QComboBox* m_chosen = nullptr;
};
