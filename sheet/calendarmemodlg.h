// CCalendarMemoDlg: "カレンダーメモ" (1038). Edits the note of one day at a time: the
// previous and next day buttons, the date picker and the hidden year, month and day
// controls all move the same date, and an edited note is kept as a pending edit while the
// user moves on, across months and years. OK writes every edited year's file; when a file
// cannot be read or written the dialog says so and stays open with the edits.
#pragma once

#include <QDate>
#include <QDialog>
#include <string>

#include "sheet/calendarmemo.h"

class QComboBox;
class QDateEdit;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace velo::sheet {

// "%1 を読み込めなかったため…": the year file (%1) exists but could not be read, so the
// edits were not saved over it.
constexpr int kIdsMemoFileUnreadable = 19400;

// The date the hidden year, month and day controls name: a month outside 1..12 becomes 1
// or 12, a day below 1 becomes 1 and one beyond the month's end its last day. Text that is
// not a number counts as 0; a year outside 1900..9999 is kept within it.
QDate MemoDateFromFields(const QString& year, const QString& month, const QString& day);

class CCalendarMemoDlg final : public QDialog {
    Q_OBJECT
public:
    enum ControlId : int {
        kIdDialog = 1038,
        kIdDate = 1167,
        kIdPrevDay = 1168,
        kIdNextDay = 1169,
        kIdNote = 1160,
        kIdPrevYear = 1162,
        kIdNextYear = 1163,
        kIdYear = 1164,
        kIdMonth = 1165,
        kIdDay = 1166,
        kIdOk = 1138,
        kIdCancel = 2,
    };

    // folder: the database folder that holds the memo files. imeModeAuto and imeModeComment
    // are the settings' input-method choices for the note.
    CCalendarMemoDlg(const std::string& folder, const QDate& date, int imeModeAuto = 1,
                     int imeModeComment = 1, QWidget* parent = nullptr);
    ~CCalendarMemoDlg() override;
    CCalendarMemoDlg(const CCalendarMemoDlg&) = delete;
    CCalendarMemoDlg& operator=(const CCalendarMemoDlg&) = delete;

    QDate CurrentDate() const { return m_date; }
    // True once OK has written edited notes: the caller's calendar and status line should
    // read the memos again.
    bool MemosChanged() const { return m_memosChanged; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void GoTo(const QDate& date);
    void KeepEdit();
    void ShowDate();
    void FillDays();
    void OnHiddenFieldsEdited();
    void OnOK();

    CalendarMemoBook m_book;
    QDate m_date;
    bool m_textChanged = false;
    bool m_memosChanged = false;

    QDateEdit* m_picker = nullptr;
    QPlainTextEdit* m_note = nullptr;
    QLineEdit* m_year = nullptr;
    QComboBox* m_month = nullptr;
    QComboBox* m_day = nullptr;
};

}  // namespace velo::sheet
