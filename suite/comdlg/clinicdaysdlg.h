// The editor of the clinic's own closed days and open days: a month calendar on which the
// clinic's marks, the holidays and the weekdays without office hours are coloured, three
// choices for the chosen day (as usual, closed, open although a holiday), what the clinic
// does that day, and the list of marked days. OK stores every change in one rewrite of the
// settings; ｷｬﾝｾﾙ stores nothing. Opened by CVeloComDlg::OpenClinicDaysSetting.
#pragma once

#include <QDate>
#include <QDialog>

#include "suite/comdlg/clinicdays.h"

class QCalendarWidget;
class QLabel;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;

class CClinicDaysDlg final : public QDialog {
    Q_OBJECT

public:
    // Control ids, also the widgets' object names.
    enum : int {
        kIdOk = 1,
        kIdCancel = 2,
        kIdCalendar = 1001,
        kIdUsual = 1002,
        kIdClosed = 1003,
        kIdOpen = 1004,
        kIdDayText = 1005,
        kIdList = 1006,
    };

    // Opens on `day` (today when invalid) with the stored marks.
    explicit CClinicDaysDlg(const QDate& day, QWidget* parent = nullptr);
    CClinicDaysDlg(const CClinicDaysDlg&) = delete;
    CClinicDaysDlg& operator=(const CClinicDaysDlg&) = delete;

    // True once OK has stored changes (OK without changes stores nothing).
    bool Saved() const { return m_saved; }
    const CClinicDayMarks& Marks() const { return m_marks; }

private:
    void OnDaySelected();
    void OnMarkChosen();
    void OnListActivated(QTreeWidgetItem* item);
    void OnOK();
    // Colours the days of the shown month.
    void PaintMonth();
    void FillList();
    void ShowDay();

    CClinicDayMarks m_marks;
    QCalendarWidget* m_calendar = nullptr;
    QRadioButton* m_usual = nullptr;
    QRadioButton* m_closed = nullptr;
    QRadioButton* m_open = nullptr;
    QLabel* m_dayText = nullptr;
    QTreeWidget* m_list = nullptr;
    bool m_saved = false;
};
