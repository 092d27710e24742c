// The lab item edit dialog: its controls and their enabling rules, the opening steps (a
// patient and appointment day from the picking window, or an existing item read back), the
// item names of the chosen category, the patient search and "#" entries through the suite's
// dialogs, and the save through SaveLabItem after the typed texts are found storable.
#include "lab/labitemdlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <QValidator>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lab/labstrings.h"
#include "suite/comdlg/velocomdlg.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/materialdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/editex.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/storabletext.h"
#include "suite/tool/strings.h"

namespace {

constexpr int kFirstHour = 8;
constexpr int kLastHour = 22;
constexpr const char* kMinutes[] = {"00", "15", "30", "45"};
constexpr char kHiddenMark[] = "__";
constexpr char kDateFormat[] = "yyyy/MM/dd";

// The number of a digit code; an empty code is 0, anything else not a number -1.
int CodeNumber(const std::string& code) {
    if (code.empty()) return 0;
    for (char c : code) {
        if (c < '0' || c > '9') return -1;
    }
    return std::atoi(code.c_str());
}

// Refuses input whose code page 932 form would not fit the record field.
class CCp932LengthValidator final : public QValidator {
public:
    CCp932LengthValidator(int maxBytes, QObject* parent) : QValidator(parent), m_max(maxBytes) {}
    State validate(QString& input, int&) const override {
        return QStringToCp932(input).size() <= static_cast<size_t>(m_max) ? Acceptable : Invalid;
    }
    void fixup(QString& input) const override { input = LimitToCp932Bytes(input, m_max); }

private:
    int m_max;
};

QDate ToDate(const char* yyyymmdd) { return CDate::FromYmd(yyyymmdd); }

std::string ToYmd(const QDateEdit* edit) { return CDate::ToYmd(edit->date()); }

QDateEdit* NewDateEdit(QWidget* parent, int id) {
    auto* edit = new QDateEdit(parent);
    edit->setObjectName(QString::number(id));
    edit->setDisplayFormat(QString::fromLatin1(kDateFormat));
    edit->setCalendarPopup(true);
    edit->setDate(CDate::Today());
    return edit;
}

QPushButton* NewHashButton(QWidget* parent, int id) {
    auto* button = new QPushButton(QStringLiteral("#"), parent);
    button->setObjectName(QString::number(id));
    button->setFixedWidth(28);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

std::vector<QString> LabItemNamesOf(CVeloDBSys* db, const QString& categoryCode) {
    std::vector<QString> names;
    const int wanted = CodeNumber(categoryCode.trimmed().toStdString());
    CMaterialItemDB items;
    if (items.SetAssociatedDB(db) != 0) return names;
    const char start[sizeof(tagMATERIALITEMDB::CategoryCode) + sizeof(tagMATERIALITEMDB::ItemNo)] =
        {};
    items.SetKey(CMaterialItemDB::kKeyCategory);
    items.SetKeyBuffer(start, sizeof start);
    for (int status = items.GetGREQ(); status == 0; status = items.GetNEXT()) {
        const tagMATERIALITEMDB& r = items.m_Data;
        if (std::strncmp(r.Name, kHiddenMark, 2) == 0) continue;
        const std::string category = FieldText(r.CategoryCode);
        // An entry without a category belongs to category 0 only.
        if (category.empty() ? wanted != 0 : CodeNumber(category) != wanted) continue;
        names.push_back(Cp932FieldToQString(r.Name, sizeof r.Name));
    }
    return names;
}

QString LimitToCp932Bytes(const QString& text, int maxBytes) {
    QString result;
    size_t bytes = 0;
    for (int i = 0; i < text.size();) {
        const int length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString piece = text.mid(i, length);
        const size_t pieceBytes = QStringToCp932(piece).size();
        if (bytes + pieceBytes > static_cast<size_t>(maxBytes)) break;
        bytes += pieceBytes;
        result += piece;
        i += length;
    }
    return result;
}

CLabItemDlg::CLabItemDlg(CVeloDBSys* db, const QString& materialNo, const std::string& patientId,
                         const std::string& day, int pickingState, QWidget* parent)
    : QDialog(parent),
      m_db(db),
      m_materialNo(materialNo.trimmed().toStdString()),
      m_picking(pickingState != 0) {
    RegisterLabStrings();
    setWindowTitle(QStringLiteral("技工物予定の編集"));
    BuildControls();

    if (!patientId.empty()) SetPatient(patientId);
    if (!day.empty() && CDate::IsValid(day.c_str())) {
        const std::string due = CDate().GetWorkingDate(day.c_str(), -1);
        if (CDate::IsValid(due.c_str())) m_dueDate->setDate(ToDate(due.c_str()));
    }
    std::string staffCode;
    std::string categoryCode;
    if (!m_materialNo.empty()) {
        CMaterialDB items;
        int status = items.SetAssociatedDB(m_db);
        if (status == 0) status = items.GetMaterialData(m_materialNo.c_str());
        if (status == 0) {
            const tagMATERIALDB& r = items.m_Data;
            m_itemName->setEditText(Cp932FieldToQString(r.ItemName, sizeof r.ItemName));
            m_memo->setText(Cp932FieldToQString(r.Memo, sizeof r.Memo));
            if (CDate::IsValid(r.OrderDate)) m_orderDate->setDate(ToDate(r.OrderDate));
            if (CDate::IsValid(r.CompletionDate)) m_dueDate->setDate(ToDate(r.CompletionDate));
            if (CDate::IsValid(r.FinishedDate)) {
                m_finished->setChecked(true);
                m_finishedDate->setDate(ToDate(r.FinishedDate));
            }
            SetPatient(FieldText(r.PatientID));
            staffCode = FieldText(r.StaffCode);
            categoryCode = FieldText(r.CategoryCode);
            switch (r.DueKind) {
                case 1:
                    m_afternoon->setChecked(true);
                    break;
                case 2: {
                    m_timeOfDay->setChecked(true);
                    const int hhmm = std::atoi(FieldText(r.DueTime).c_str());
                    const int hour = m_hour->findText(QString::asprintf("%2d", hhmm / 100));
                    const int minute = m_minute->findText(QString::asprintf("%02d", hhmm % 100));
                    m_hour->setCurrentIndex(hour >= 0 ? hour : 0);
                    m_minute->setCurrentIndex(minute >= 0 ? minute : 0);
                    break;
                }
                default:
                    m_morning->setChecked(true);
                    break;
            }
        } else {
            // The item may have been deleted at another workstation: nothing to save over.
            m_loadFailed = true;
            CMessageService::MessageBox(
                this,
                QStringLiteral("指定された技工物データを読み込めませんでした。\n（状態 %1）")
                    .arg(status),
                windowTitle(), CMessageService::EIcon::Warning);
        }
    }
    // The stored staff member and category stay chosen even when the master hides them now
    // (staff who have left), so the item can still be saved unchanged.
    CVeloComDlg::EnumStaffData(m_db, m_staff, staffCode.c_str(), CVeloComDlg::EUnlisted::kKeep);
    CVeloComDlg::EnumMaterialItemCate(m_db, m_category, categoryCode.c_str(),
                                      CVeloComDlg::EUnlisted::kKeep);
    FillItemNames();
    UpdateControls();
    m_itemName->setFocus();
}

void CLabItemDlg::BuildControls() {
    m_patientName = new QLineEdit(this);
    m_patientName->setObjectName(QString::number(kIdPatientName));
    m_patientName->setReadOnly(true);
    m_search = new QPushButton(QStringLiteral("検索"), this);
    m_search->setObjectName(QString::number(kIdSearch));
    m_search->setAutoDefault(false);

    m_category = new QComboBox(this);
    m_category->setObjectName(QString::number(kIdCategory));
    m_itemName = new QComboBox(this);
    m_itemName->setObjectName(QString::number(kIdItemName));
    m_itemName->setEditable(true);
    m_itemName->setInsertPolicy(QComboBox::NoInsert);
    m_itemName->lineEdit()->setMaxLength(kItemNameChars);
    m_itemName->setValidator(new CCp932LengthValidator(kItemNameBytes, m_itemName));
    m_staff = new QComboBox(this);
    m_staff->setObjectName(QString::number(kIdStaff));

    m_orderDate = NewDateEdit(this, kIdOrderDate);
    m_dueDate = NewDateEdit(this, kIdDueDate);
    m_morning = new QRadioButton(QStringLiteral("午前"), this);
    m_morning->setObjectName(QString::number(kIdMorning));
    m_morning->setChecked(true);
    m_afternoon = new QRadioButton(QStringLiteral("午後"), this);
    m_afternoon->setObjectName(QString::number(kIdAfternoon));
    m_timeOfDay = new QRadioButton(QStringLiteral("時間指定"), this);
    m_timeOfDay->setObjectName(QString::number(kIdTimeOfDay));
    m_hour = new QComboBox(this);
    m_hour->setObjectName(QString::number(kIdHour));
    for (int hour = kFirstHour; hour <= kLastHour; ++hour) {
        m_hour->addItem(QString::asprintf("%2d", hour), hour);
    }
    m_hour->setCurrentIndex(0);
    m_minute = new QComboBox(this);
    m_minute->setObjectName(QString::number(kIdMinute));
    for (const char* minute : kMinutes) {
        m_minute->addItem(QString::fromLatin1(minute), std::atoi(minute));
    }
    m_minute->setCurrentIndex(0);

    auto* memo = new CEditEx(this);
    memo->SetIMEModes(CEditEx::kImeHiragana);
    m_memo = memo;
    m_memo->setObjectName(QString::number(kIdMemo));
    m_memo->setMaxLength(kMemoChars);
    m_memo->setValidator(new CCp932LengthValidator(kMemoBytes, m_memo));

    m_finished = new QCheckBox(QStringLiteral("完成"), this);
    m_finished->setObjectName(QString::number(kIdFinished));
    m_finishedDate = NewDateEdit(this, kIdFinishedDate);

    m_saveAndNew = new QPushButton(QStringLiteral("登録して新規"), this);
    m_saveAndNew->setObjectName(QString::number(kIdSaveAndNew));
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("1"));
    auto* cancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    cancel->setObjectName(QStringLiteral("2"));
    for (QPushButton* button : {m_saveAndNew, m_ok, cancel}) button->setAutoDefault(false);

    QPushButton* addCategory = NewHashButton(this, kIdAddCategory);
    QPushButton* addItemName = NewHashButton(this, kIdAddItemName);
    QPushButton* addStaff = NewHashButton(this, kIdAddStaff);

    auto* grid = new QGridLayout;
    int row = 0;
    grid->addWidget(new QLabel(QStringLiteral("患者氏名"), this), row, 0);
    grid->addWidget(m_patientName, row, 1);
    grid->addWidget(m_search, row++, 2);
    grid->addWidget(new QLabel(QStringLiteral("技工物区分"), this), row, 0);
    grid->addWidget(m_category, row, 1);
    grid->addWidget(addCategory, row++, 2);
    grid->addWidget(new QLabel(QStringLiteral("技工物名"), this), row, 0);
    grid->addWidget(m_itemName, row, 1);
    grid->addWidget(addItemName, row++, 2);
    grid->addWidget(new QLabel(QStringLiteral("スタッフまたは外注先"), this), row, 0);
    grid->addWidget(m_staff, row, 1);
    grid->addWidget(addStaff, row++, 2);
    grid->addWidget(new QLabel(QStringLiteral("発注日"), this), row, 0);
    grid->addWidget(m_orderDate, row++, 1, Qt::AlignLeft);
    grid->addWidget(new QLabel(QStringLiteral("完成予定日"), this), row, 0);
    auto* due = new QHBoxLayout;
    due->addWidget(m_dueDate);
    due->addWidget(m_morning);
    due->addWidget(m_afternoon);
    due->addWidget(m_timeOfDay);
    due->addWidget(m_hour);
    due->addWidget(new QLabel(QStringLiteral(":"), this));
    due->addWidget(m_minute);
    due->addStretch(1);
    grid->addLayout(due, row++, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("備考"), this), row, 0);
    grid->addWidget(m_memo, row++, 1, 1, 2);
    auto* finished = new QHBoxLayout;
    finished->addWidget(m_finished);
    finished->addWidget(m_finishedDate);
    finished->addStretch(1);
    grid->addLayout(finished, row++, 1, 1, 2);
    grid->setColumnStretch(1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_saveAndNew);
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    resize(560, sizeHint().height());

    // Enter moves on to the next control instead of ending the dialog.
    for (QWidget* widget :
         std::initializer_list<QWidget*>{m_patientName,  m_search,     m_category,
                                         addCategory,    m_itemName,   m_itemName->lineEdit(),
                                         addItemName,    m_staff,      addStaff,
                                         m_orderDate,    m_dueDate,    m_morning,
                                         m_afternoon,    m_timeOfDay,  m_hour,
                                         m_minute,       m_memo,       m_finished,
                                         m_finishedDate, m_saveAndNew, m_ok,
                                         cancel}) {
        widget->installEventFilter(this);
    }

    connect(m_search, &QPushButton::clicked, this, &CLabItemDlg::OnSearch);
    connect(addCategory, &QPushButton::clicked, this, &CLabItemDlg::OnAddCategory);
    connect(addItemName, &QPushButton::clicked, this, &CLabItemDlg::OnAddItemName);
    connect(addStaff, &QPushButton::clicked, this, &CLabItemDlg::OnAddStaff);
    connect(m_category, &QComboBox::currentIndexChanged, this, &CLabItemDlg::FillItemNames);
    for (QRadioButton* radio : {m_morning, m_afternoon, m_timeOfDay}) {
        connect(radio, &QRadioButton::toggled, this, &CLabItemDlg::UpdateControls);
    }
    connect(m_finished, &QCheckBox::toggled, this, &CLabItemDlg::UpdateControls);
    connect(m_ok, &QPushButton::clicked, this, &CLabItemDlg::OnOK);
    connect(m_saveAndNew, &QPushButton::clicked, this, &CLabItemDlg::OnSaveAndNew);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CLabItemDlg::SetPatient(const std::string& patientId) {
    CPatientDB patients;
    int status = patients.SetAssociatedDB(m_db);
    if (status == 0) status = patients.GetPatient1Data(patientId.c_str());
    if (status != 0) {
        m_patientId.clear();
        m_patientName->clear();
        return;
    }
    m_patientId = patientId;
    m_patientName->setText(Cp932FieldToQString(patients.m_Data.Name, sizeof patients.m_Data.Name));
}

void CLabItemDlg::FillItemNames() {
    const QString typed = m_itemName->currentText();
    const QSignalBlocker blocker(m_itemName);
    m_itemName->clear();
    for (const QString& name : LabItemNamesOf(m_db, m_category->currentData().toString())) {
        m_itemName->addItem(name);
    }
    m_itemName->setCurrentIndex(-1);
    m_itemName->setEditText(typed);
}

void CLabItemDlg::UpdateControls() {
    const bool isNew = m_materialNo.empty();
    const bool timeOfDay = m_timeOfDay->isChecked();
    m_hour->setEnabled(timeOfDay);
    m_minute->setEnabled(timeOfDay);
    m_finishedDate->setEnabled(m_finished->isChecked());
    m_search->setEnabled(!m_picking);
    m_saveAndNew->setEnabled(isNew && !m_patientId.empty());
    // An existing item keeps its patient: once the search has chosen another one, OK is
    // off. An item that could not be read cannot be saved over.
    m_ok->setEnabled(!m_loadFailed && (isNew || !m_patientChanged));
}

LabItemInput CLabItemDlg::Input() const {
    LabItemInput in;
    in.materialNo = m_materialNo;
    in.itemName = m_itemName->currentText().trimmed();
    in.memo = m_memo->text();
    in.patientId = m_patientId;
    in.orderDate = ToYmd(m_orderDate);
    in.dueDate = ToYmd(m_dueDate);
    if (m_finished->isChecked()) in.finishedDate = ToYmd(m_finishedDate);
    const int staff = m_staff->currentIndex() >= 0 ? m_staff->currentData().toInt() : 0;
    if (staff > 0) in.staffCode = QString::asprintf("%03d", staff).toStdString();
    if (m_category->currentIndex() >= 0) {
        in.categoryCode = m_category->currentData().toString().toStdString();
    }
    in.dueKind = m_timeOfDay->isChecked() ? 2 : m_afternoon->isChecked() ? 1 : 0;
    in.hour = m_hour->currentData().toInt();
    in.minute = m_minute->currentData().toInt();
    return in;
}

bool CLabItemDlg::TextsStorable(const LabItemInput& in) {
    // The line break keeps the two texts apart, so no character is made of the end of one
    // and the start of the other.
    if (CheckStorableText(this, windowTitle(), in.itemName + QLatin1Char('\n') + in.memo)) {
        return true;
    }
    // The item name's edit passes its focus on to its combo box.
    const bool inName = !CharactersCp932Lacks(in.itemName).isEmpty();
    QWidget* field = inName ? static_cast<QWidget*>(m_itemName) : m_memo;
    field->setFocus();
    (inName ? m_itemName->lineEdit() : m_memo)->selectAll();
    return false;
}

bool CLabItemDlg::Save() {
    const LabItemInput in = Input();
    if (!LabItemInputComplete(in)) return false;
    if (!TextsStorable(in)) return false;
    std::string savedNo;
    const int status = SaveLabItem(m_db, in, CDate().Ymd(), &savedNo);
    if (status == -1) return false;
    if (status != 0) {
        CMessageService::MessageBox(this, LoadString(kIdsLabSaveFailed), windowTitle(),
                                    CMessageService::EIcon::Warning);
        return false;
    }
    m_savedNo = savedNo;
    m_savedDue = in.dueDate;
    emit saved(QString::fromStdString(m_savedNo), QString::fromStdString(m_savedDue));
    return true;
}

void CLabItemDlg::OnOK() {
    if (!m_ok->isEnabled()) return;
    if (!Save()) return;
    if (m_materialNo.empty()) m_materialNo = m_savedNo;
    accept();
}

void CLabItemDlg::OnSaveAndNew() {
    if (!m_saveAndNew->isEnabled() || !Save()) return;
    m_itemName->setEditText(QString());
    m_memo->clear();
    m_finished->setChecked(false);
    m_dueDate->setDate(CDate::Today());
    m_finishedDate->setDate(CDate::Today());
    // In picking mode the patient cannot be searched for again, so it stays: the window
    // lists that patient's items only.
    if (!m_picking) {
        m_patientId.clear();
        m_patientName->clear();
    }
    UpdateControls();
    m_itemName->setFocus();
}

void CLabItemDlg::OnSearch() {
    if (m_picking) return;
    const QString key = CVeloComDlg::VCDQueryPatientData(m_db, "", "BYID", this);
    if (key.isEmpty()) return;
    const std::string before = m_patientId;
    SetPatient(key.toStdString());
    if (!m_materialNo.empty() && m_patientId != before) m_patientChanged = true;
    UpdateControls();
}

void CLabItemDlg::OnAddCategory() {
    const QString code = CVeloComDlg::DoGetNewTblItem(m_db, "MATERIALITEMCATE", this);
    if (code.isEmpty()) return;
    {
        const QSignalBlocker blocker(m_category);
        CVeloComDlg::EnumMaterialItemCate(m_db, m_category, code.toLatin1().constData());
    }
    FillItemNames();
}

void CLabItemDlg::OnAddItemName() {
    const QString category =
        m_category->currentIndex() >= 0 ? m_category->currentData().toString() : QString();
    const QString name =
        CVeloComDlg::GetNewMaterialItem(m_db, category.toLatin1().constData(), this);
    if (name.isEmpty()) return;
    FillItemNames();
    m_itemName->setEditText(LimitToCp932Bytes(name, kItemNameBytes));
}

void CLabItemDlg::OnAddStaff() {
    const QString code = CVeloComDlg::DoGetNewStaff(m_db, this);
    if (code.isEmpty()) return;
    CVeloComDlg::EnumStaffData(m_db, m_staff, code.toLatin1().constData());
}

bool CLabItemDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            focusNextChild();
            return true;
        }
        if (key == Qt::Key_Escape) return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CLabItemDlg::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
