// The calendar memo dialog. The note shown is always the one of m_date; every move to
// another day first keeps an edited note as a pending edit, so nothing typed is lost
// until the dialog is cancelled.
#include "sheet/calendarmemodlg.h"

#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "sheet/sheetstrings.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/editex.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/storabletext.h"
#include "suite/tool/strings.h"

namespace velo::sheet {
namespace {

constexpr int kFirstYear = 1900;
constexpr int kLastYear = 9999;

QPushButton* NewButton(const QString& text, int id, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::number(id));
    button->setAutoDefault(false);
    return button;
}

QComboBox* NewNumberCombo(int id, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::number(id));
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    return combo;
}

QString TwoDigits(int value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); }

// The editor works with LF line breaks, the memo files' notes with CR LF.
QString ForEditor(QString note) {
    return note.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}
QString FromEditor(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text.replace(u'\n', QStringLiteral("\r\n"));
}

void ApplyInputMode(QWidget* edit, int mode) {
    edit->setInputMethodHints(CEditEx::HintsForMode(mode));
    if (mode == CEditEx::kImeHiragana || mode == CEditEx::kImeKana)
        edit->setLocale(QLocale(QLocale::Japanese, QLocale::Japan));
    else if (mode == CEditEx::kImeOff)
        edit->setLocale(QLocale::c());
}

}  // namespace

QDate MemoDateFromFields(const QString& year, const QString& month, const QString& day) {
    const int y = std::clamp(year.trimmed().toInt(), kFirstYear, kLastYear);
    const int m = std::clamp(month.trimmed().toInt(), 1, 12);
    const int d = std::clamp(day.trimmed().toInt(), 1, CDate::GetMonthInDayCount(y, m));
    return QDate(y, m, d);
}

CCalendarMemoDlg::CCalendarMemoDlg(const std::string& folder, const QDate& date, int imeModeAuto,
                                   int imeModeComment, QWidget* parent)
    : QDialog(parent), m_book(folder) {
    RegisterSheetStrings();
    RegisterStrings({{kIdsMemoFileUnreadable,
                      "%1 を読み込めなかったため、カレンダーメモを保存しませんでした。"
                      "上書きすると、このファイルにあるメモが失われます。\n"
                      "しばらくしてからもう一度 OK を押すか、管理者に連絡してください。"
                      "入力した内容はそのまま残っています。"}});
    setObjectName(QString::number(kIdDialog));
    setWindowTitle(QStringLiteral("カレンダーメモ"));

    QPushButton* prevDay = NewButton(QStringLiteral("＜ 前の日"), kIdPrevDay, this);
    QPushButton* nextDay = NewButton(QStringLiteral("次の日 ＞"), kIdNextDay, this);
    m_picker = new QDateEdit(this);
    m_picker->setObjectName(QString::number(kIdDate));
    m_picker->setLocale(QLocale(QLocale::Japanese, QLocale::Japan));
    m_picker->setDisplayFormat(QStringLiteral("yyyy/MM/dd(ddd)"));
    m_picker->setCalendarPopup(true);
    m_picker->setDateRange(QDate(kFirstYear, 1, 1), QDate(kLastYear, 12, 31));

    // The year, month and day fields are kept for keyboard use but not shown.
    QPushButton* prevYear = NewButton(QStringLiteral("＜"), kIdPrevYear, this);
    QPushButton* nextYear = NewButton(QStringLiteral("＞"), kIdNextYear, this);
    m_year = new QLineEdit(this);
    m_year->setObjectName(QString::number(kIdYear));
    m_year->setMaxLength(4);
    m_month = NewNumberCombo(kIdMonth, this);
    for (int month = 1; month <= 12; ++month) m_month->addItem(TwoDigits(month));
    m_day = NewNumberCombo(kIdDay, this);
    for (QWidget* hidden : {static_cast<QWidget*>(prevYear), static_cast<QWidget*>(nextYear),
                            static_cast<QWidget*>(m_year), static_cast<QWidget*>(m_month),
                            static_cast<QWidget*>(m_day)})
        hidden->hide();

    m_note = new QPlainTextEdit(this);
    m_note->setObjectName(QString::number(kIdNote));
    m_note->setMinimumSize(380, 180);
    if (imeModeAuto != 0) ApplyInputMode(m_note, imeModeComment);

    QPushButton* ok = NewButton(QStringLiteral("OK"), kIdOk, this);
    QPushButton* cancel = NewButton(QStringLiteral("ｷｬﾝｾﾙ"), kIdCancel, this);
    ok->setMinimumWidth(88);
    cancel->setMinimumWidth(88);

    auto* dateRow = new QHBoxLayout;
    dateRow->addWidget(prevDay);
    dateRow->addWidget(m_picker, 1);
    dateRow->addWidget(nextDay);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* main = new QVBoxLayout(this);
    main->addLayout(dateRow);
    main->addWidget(m_note, 1);
    main->addLayout(buttons);

    connect(prevDay, &QPushButton::clicked, this, [this] { GoTo(m_date.addDays(-1)); });
    connect(nextDay, &QPushButton::clicked, this, [this] { GoTo(m_date.addDays(1)); });
    connect(prevYear, &QPushButton::clicked, this, [this] { GoTo(m_date.addYears(-1)); });
    connect(nextYear, &QPushButton::clicked, this, [this] { GoTo(m_date.addYears(1)); });
    connect(m_picker, &QDateEdit::dateChanged, this, [this](const QDate& picked) { GoTo(picked); });
    connect(m_year, &QLineEdit::editingFinished, this, &CCalendarMemoDlg::OnHiddenFieldsEdited);
    for (QComboBox* combo : {m_month, m_day}) {
        connect(combo, &QComboBox::activated, this, &CCalendarMemoDlg::OnHiddenFieldsEdited);
        connect(combo->lineEdit(), &QLineEdit::editingFinished, this,
                &CCalendarMemoDlg::OnHiddenFieldsEdited);
    }
    connect(m_note, &QPlainTextEdit::textChanged, this, [this] { m_textChanged = true; });
    connect(ok, &QPushButton::clicked, this, &CCalendarMemoDlg::OnOK);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    m_date = date.isValid() ? date : CDate::Today();
    m_date = MemoDateFromFields(QString::number(m_date.year()), QString::number(m_date.month()),
                                QString::number(m_date.day()));
    m_book.LoadYear(m_date.year());
    ShowDate();
    m_note->setFocus();
}

CCalendarMemoDlg::~CCalendarMemoDlg() = default;

void CCalendarMemoDlg::GoTo(const QDate& date) {
    if (!date.isValid() || date == m_date) {
        ShowDate();
        return;
    }
    if (date.year() < kFirstYear || date.year() > kLastYear) return;
    KeepEdit();
    m_date = date;
    m_book.LoadYear(m_date.year());
    ShowDate();
}

void CCalendarMemoDlg::KeepEdit() {
    if (!m_textChanged) return;
    m_book.SetPending(CalendarMemoKey(m_date.year(), m_date.month(), m_date.day()),
                      FromEditor(m_note->toPlainText()));
    m_textChanged = false;
}

void CCalendarMemoDlg::ShowDate() {
    {
        const QSignalBlocker pickerBlock(m_picker);
        const QSignalBlocker yearBlock(m_year);
        const QSignalBlocker monthBlock(m_month);
        m_picker->setDate(m_date);
        m_year->setText(QString::number(m_date.year()));
        m_month->setCurrentIndex(m_date.month() - 1);
        FillDays();
    }
    const QString note =
        m_book.NoteOf(CalendarMemoKey(m_date.year(), m_date.month(), m_date.day()));
    if (FromEditor(m_note->toPlainText()) != note || m_textChanged) {
        const QSignalBlocker noteBlock(m_note);
        m_note->setPlainText(ForEditor(note));
    }
    m_textChanged = false;
}

void CCalendarMemoDlg::FillDays() {
    const QSignalBlocker block(m_day);
    m_day->clear();
    const int days = CDate::GetMonthInDayCount(m_date.year(), m_date.month());
    for (int day = 1; day <= days; ++day) m_day->addItem(TwoDigits(day));
    m_day->setCurrentIndex(m_date.day() - 1);
}

void CCalendarMemoDlg::OnHiddenFieldsEdited() {
    GoTo(MemoDateFromFields(m_year->text(), m_month->currentText(), m_day->currentText()));
}

void CCalendarMemoDlg::OnOK() {
    KeepEdit();
    // A note with a character the file cannot hold is shown with the message, so the user
    // sees which day's note to correct.
    for (const CalendarMemo& memo : m_book.Pending()) {
        if (CharactersCp932Lacks(memo.text).isEmpty()) continue;
        GoTo(QDate::fromString(QString::fromStdString(memo.key), QStringLiteral("yyyyMMdd")));
        CheckStorableText(this, windowTitle(), memo.text);
        return;
    }
    const bool edited = m_book.HasPending();
    std::string error;
    if (!m_book.Save(&error)) {
        const QString message =
            m_book.UnreadableFile().empty()
                ? LoadString(kIdsMemoWriteFailed).arg(QString::fromStdString(error))
                : LoadString(kIdsMemoFileUnreadable)
                      .arg(QString::fromStdString(m_book.UnreadableFile()));
        CMessageService::MessageBox(this, message, windowTitle(), CMessageService::EIcon::Warning);
        return;
    }
    m_memosChanged = edited;
    accept();
}

void CCalendarMemoDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            // The dialog closes only through its buttons, so a stray Escape loses no edits.
            event->accept();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (focusWidget() != m_note) {
                focusNextChild();
                event->accept();
                return;
            }
            break;
        default:
            break;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace velo::sheet
