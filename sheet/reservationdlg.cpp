// The reservation dialog: building the controls, filling them from the caller's inputs or
// the stored reservation, the patient lookup, the time strip, the enabling rules and OK.
#include "sheet/reservationdlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>

#include "lab/velolab.h"
#include "sheet/bookingstrings.h"
#include "sheet/reservation.h"
#include "sheet/referencedlg.h"
#include "sheet/reservationcommands.h"
#include "sheet/standbydlg.h"
#include "sheet/textlimit.h"
#include "sheet/timestrip.h"
#include "sheet/treatmentselectdlg.h"
#include "suite/comdlg/velocomdlg.h"
#include "suite/comdlg/velosubtools.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/materialdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/editex.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/storabletext.h"
#include "suite/tool/strings.h"
#include "suite/tool/tools.h"

namespace velo::sheet {
namespace {

constexpr int kPatientEditMax = 20;
constexpr int kSystemMessageColumnWidth = 465;
constexpr int kNextVisitLabelWidth = 80;
constexpr int kNextVisitValueWidth = 220;
constexpr int kStatusIdWidth = 10;  // longest PatientID the list lookups take

const char kSettingsReservation[] = "RESERVATION";
const char kSettingsApplyToAll[] = "CantRsrvThisDay";

void RegisterReservationDlgStrings() {
    RegisterStrings({
        {CReservationDlg::kIdsNewTitle, "新規予約"},
        {CReservationDlg::kIdsEditTitle, "予約の編集"},
        {CReservationDlg::kIdsChangeTitle, "予約の変更"},
        {CReservationDlg::kIdsMale, "男"},
        {CReservationDlg::kIdsFemale, "女"},
    });
}

QString MessageTitle() { return QStringLiteral("予約"); }

QPushButton* NewButton(const QString& text, int id, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::number(id));
    // Enter in an edit searches or does nothing; only a click saves.
    button->setAutoDefault(false);
    return button;
}

QPushButton* NewAddButton(int id, QWidget* parent) {
    QPushButton* button = NewButton(QStringLiteral("#"), id, parent);
    button->setFixedWidth(28);
    return button;
}

QLabel* NewValueLabel(int id, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::number(id));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setMinimumWidth(60);
    return label;
}

QLabel* NewCaption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QComboBox* NewCombo(int id, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::number(id));
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(10);
    return combo;
}

QCheckBox* NewCheck(const QString& text, int id, QWidget* parent) {
    auto* check = new QCheckBox(text, parent);
    check->setObjectName(QString::number(id));
    return check;
}

QDateEdit* NewDateEdit(int id, QWidget* parent) {
    auto* edit = new QDateEdit(parent);
    edit->setObjectName(QString::number(id));
    edit->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    edit->setCalendarPopup(true);
    return edit;
}

std::string Ymd(const QDate& date) { return date.toString(QStringLiteral("yyyyMMdd")).toStdString(); }

QDate DateFromInput(const std::string& text) {
    std::string digits;
    for (char c : text)
        if (c != '/') digits += c;
    return CDate::IsValid(digits.c_str()) ? CDate::FromYmd(digits.c_str()) : CDate::Today();
}

QString AgeText(const char* birth, const char* date) {
    if (!CDate::IsValid(birth) || !CDate::IsValid(date)) return QString();
    int years = 0;
    int months = 0;
    CTools::CaclAge(birth, date, &years, &months);
    return QString::asprintf("%3dy %2dm", years, months);
}

// The index of the doctor whose code (item data) ends with `code`, or -1.
int FindDoctor(const QComboBox* combo, const std::string& code) {
    if (code.empty()) return -1;
    const QString wanted = QString::fromStdString(code);
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemData(i).toString().endsWith(wanted)) return i;
    }
    return -1;
}

// Counts active patients whose field on `key` begins with `text`, up to two.
int CountPatientMatches(CVeloDBSys* db, int key, const std::string& text) {
    CPatientDB patients;
    if (patients.SetAssociatedDB(db) != 0) return 0;
    int status = 0;
    switch (key) {
        case CPatientDB::kKeyChartNo: status = patients.GetPatientDataByID(text.c_str()); break;
        case CPatientDB::kKeyKana: status = patients.GetPatientDataByKana(text.c_str()); break;
        default: status = patients.GetPatientDataByName(text.c_str()); break;
    }
    int count = 0;
    for (; status == 0 && !patients.IsEOF() && count < 2; status = patients.GetNEXT()) {
        const tagPATIENTDB& p = patients.m_Data;
        const std::string field = key == CPatientDB::kKeyChartNo ? FieldText(p.ChartNo)
                                  : key == CPatientDB::kKeyKana  ? FieldText(p.Kana)
                                                                 : FieldText(p.Name);
        if (field.compare(0, text.size(), text) != 0) break;
        if (p.InactiveFlag != 1) ++count;
    }
    return count;
}

}  // namespace

CReservationDlg::CReservationDlg(CVeloDBSys* db, const ReservationDlgInputs& inputs,
                                 QWidget* parent)
    : QDialog(parent), m_db(db), m_inputs(inputs) {
    RegisterBookingStrings();
    RegisterReservationDlgStrings();
    m_settings = ReadSheetSettings();
    CVeloSubTools::GetVeloOfficeHourData(&m_officeHours);
    BuildLayout();
    ConnectSignals();
    InitDialog();
}

CReservationDlg::~CReservationDlg() = default;

// ---- Layout -----------------------------------------------------------------------

void CReservationDlg::BuildLayout() {
    setObjectName(QString::number(kIdDialog));
    setSizeGripEnabled(true);

    auto* left = new QVBoxLayout;
    QWidget* patient = BuildPatientGroup();
    // The patient group keeps its height when blocked time hides the lists below it.
    patient->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    left->addWidget(patient);
    left->addWidget(BuildListsGroup(), 1);
    left->addStretch(0);

    auto* right = new QVBoxLayout;
    right->addWidget(BuildReservationGroup());
    right->addWidget(BuildFeeGroup());
    right->addWidget(BuildEntryGroup());
    right->addStretch(1);

    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 5);
    columns->addLayout(right, 7);

    m_ok = NewButton(QStringLiteral("OK"), kIdOk, this);
    QPushButton* cancel = NewButton(QStringLiteral("ｷｬﾝｾﾙ"), kIdCancel, this);
    m_ok->setMinimumWidth(96);
    cancel->setMinimumWidth(96);
    connect(m_ok, &QPushButton::clicked, this, &CReservationDlg::OnOK);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(cancel);

    auto* main = new QVBoxLayout(this);
    main->addLayout(columns, 1);
    main->addLayout(buttons);
    resize(1180, 720);
}

QWidget* CReservationDlg::BuildPatientGroup() {
    auto* group = new QGroupBox(QStringLiteral("患者"), this);
    auto* grid = new QGridLayout(group);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    auto addSearchRow = [&](int row, const QString& caption, CEditEx*& edit, int editId,
                            int buttonId) {
        edit = new CEditEx(group);
        edit->setObjectName(QString::number(editId));
        edit->setMaxLength(kPatientEditMax);
        grid->addWidget(NewCaption(caption, group), row, 0);
        grid->addWidget(edit, row, 1, 1, 3);
        QPushButton* search = NewButton(QStringLiteral("検索"), buttonId, group);
        grid->addWidget(search, row, 4);
        m_patientButtons.push_back(search);
    };
    addSearchRow(0, QStringLiteral("ID"), m_chartNo, kIdChartNo, kIdSearchChartNo);
    addSearchRow(1, QStringLiteral("フリガナ"), m_kana, kIdKana, kIdSearchKana);
    addSearchRow(2, QStringLiteral("氏名"), m_name, kIdName, kIdSearchName);

    m_sex = NewValueLabel(kIdSex, group);
    m_birthDate = NewValueLabel(kIdBirthDate, group);
    m_firstVisit = NewValueLabel(kIdFirstVisit, group);
    m_ageNow = NewValueLabel(kIdAgeNow, group);
    m_ageAtFirstVisit = NewValueLabel(kIdAgeAtFirstVisit, group);
    m_zip = NewValueLabel(kIdZip, group);
    m_address1 = NewValueLabel(kIdAddress1, group);
    m_address2 = NewValueLabel(kIdAddress2, group);
    m_homeTel = NewValueLabel(kIdHomeTel, group);
    m_mobileTel = NewValueLabel(kIdMobileTel, group);
    m_otherTel = NewValueLabel(kIdOtherTel, group);
    QLabel* ageNowCaption = NewCaption(QStringLiteral("現在年齢"), group);
    ageNowCaption->setObjectName(QString::number(kIdAgeNowLabel));
    QLabel* ageFirstCaption = NewCaption(QStringLiteral("初診時年齢"), group);
    ageFirstCaption->setObjectName(QString::number(kIdAgeAtFirstVisitLabel));

    grid->addWidget(NewCaption(QStringLiteral("性別"), group), 3, 0);
    grid->addWidget(m_sex, 3, 1);
    grid->addWidget(NewCaption(QStringLiteral("生年月日"), group), 4, 0);
    grid->addWidget(m_birthDate, 4, 1);
    grid->addWidget(ageNowCaption, 4, 2);
    grid->addWidget(m_ageNow, 4, 3);
    grid->addWidget(NewCaption(QStringLiteral("初診日"), group), 5, 0);
    grid->addWidget(m_firstVisit, 5, 1);
    grid->addWidget(ageFirstCaption, 5, 2);
    grid->addWidget(m_ageAtFirstVisit, 5, 3);
    grid->addWidget(NewCaption(QStringLiteral("〒"), group), 6, 0);
    grid->addWidget(m_zip, 6, 1);
    grid->addWidget(NewCaption(QStringLiteral("住所"), group), 7, 0);
    grid->addWidget(m_address1, 7, 1, 1, 4);
    grid->addWidget(m_address2, 8, 1, 1, 4);
    grid->addWidget(NewCaption(QStringLiteral("自宅"), group), 9, 0);
    grid->addWidget(m_homeTel, 9, 1);
    grid->addWidget(NewCaption(QStringLiteral("携帯・PHS"), group), 9, 2);
    grid->addWidget(m_mobileTel, 9, 3, 1, 2);
    grid->addWidget(NewCaption(QStringLiteral("その他"), group), 10, 0);
    grid->addWidget(m_otherTel, 10, 1);

    QPushButton* clear = NewButton(QStringLiteral("患者クリア"), kIdClearPatient, group);
    QPushButton* edit = NewButton(QStringLiteral("患者データ修正"), kIdEditPatient, group);
    QPushButton* create = NewButton(QStringLiteral("新規患者"), kIdNewPatient, group);
    m_standby = NewButton(QStringLiteral("キャンセル待ちから選択"), kIdStandby, group);
    connect(clear, &QPushButton::clicked, this, [this] { ClearPatientFields(nullptr); });
    connect(edit, &QPushButton::clicked, this, &CReservationDlg::OnEditPatient);
    connect(create, &QPushButton::clicked, this, &CReservationDlg::OnNewPatient);
    connect(m_standby, &QPushButton::clicked, this, &CReservationDlg::OnPickStandby);
    m_patientButtons.insert(m_patientButtons.end(), {clear, edit, create});
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(clear);
    buttons->addWidget(edit);
    buttons->addWidget(create);
    buttons->addStretch(1);
    buttons->addWidget(m_standby);
    grid->addLayout(buttons, 11, 0, 1, 5);
    return group;
}

QWidget* CReservationDlg::BuildListsGroup() {
    m_listsGroup = new QWidget(this);
    auto* box = new QVBoxLayout(m_listsGroup);
    box->setContentsMargins(0, 0, 0, 0);
    QFont listFont;
    listFont.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic"),
                          QStringLiteral("IPAゴシック"), QStringLiteral("Monospace")});
    listFont.setPointSize(9);

    m_systemMessages = new QTreeWidget(m_listsGroup);
    m_systemMessages->setObjectName(QString::number(kIdSystemMessages));
    m_systemMessages->setHeaderLabels({QStringLiteral("システムメッセージ")});
    m_systemMessages->setColumnWidth(0, kSystemMessageColumnWidth);
    m_systemMessages->setRootIsDecorated(false);
    m_systemMessages->setFont(listFont);
    m_systemMessages->setSelectionMode(QAbstractItemView::NoSelection);

    m_nextVisit = new QTreeWidget(m_listsGroup);
    m_nextVisit->setObjectName(QString::number(kIdNextVisit));
    m_nextVisit->setHeaderLabels({QStringLiteral("次回予定"), QString()});
    m_nextVisit->setColumnWidth(0, kNextVisitLabelWidth);
    m_nextVisit->setColumnWidth(1, kNextVisitValueWidth);
    m_nextVisit->setRootIsDecorated(false);
    m_nextVisit->setFont(listFont);
    m_nextVisit->setSelectionMode(QAbstractItemView::NoSelection);
    m_nextVisit->setFixedHeight(4 * 20 + m_nextVisit->header()->sizeHint().height() + 8);

    box->addWidget(m_systemMessages, 1);
    box->addWidget(m_nextVisit);
    return m_listsGroup;
}

QWidget* CReservationDlg::BuildReservationGroup() {
    auto* group = new QGroupBox(QStringLiteral("予約"), this);
    auto* box = new QVBoxLayout(group);

    m_date = NewDateEdit(kIdDate, group);
    m_unit = NewCombo(kIdUnit, group);
    m_doctor = NewCombo(kIdDoctor, group);
    QPushButton* addUnit = NewAddButton(kIdAddUnit, group);
    QPushButton* addDoctor = NewAddButton(kIdAddDoctor, group);
    connect(addUnit, &QPushButton::clicked, this, [this] { OnAddMaster("UNIT", m_unit); });
    connect(addDoctor, &QPushButton::clicked, this, [this] { OnAddMaster("DOCTOR", m_doctor); });
    QPushButton* reference = NewButton(QStringLiteral("予約参照"), kIdReference, group);
    connect(reference, &QPushButton::clicked, this, &CReservationDlg::OpenReference);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("日付"), group));
    top->addWidget(m_date);
    top->addSpacing(8);
    top->addWidget(new QLabel(QStringLiteral("ユニット"), group));
    top->addWidget(m_unit, 1);
    top->addWidget(addUnit);
    top->addSpacing(8);
    top->addWidget(new QLabel(QStringLiteral("担当医"), group));
    top->addWidget(m_doctor, 1);
    top->addWidget(addDoctor);
    top->addSpacing(8);
    top->addWidget(reference);
    box->addLayout(top);

    m_strip = new CTimeStrip(group);
    m_stripScroll = new QScrollBar(Qt::Horizontal, group);
    m_stripScroll->setObjectName(QString::number(kIdStripScroll));
    box->addWidget(m_strip);
    box->addWidget(m_stripScroll);

    auto* grid = new QGridLayout;
    grid->setColumnStretch(1, 1);
    m_bandText = new QLabel(group);
    m_bandText->setObjectName(QString::number(kIdBandText));
    QFont timeFont;
    timeFont.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                          QStringLiteral("DejaVu Sans")});
    timeFont.setPointSize(12);
    timeFont.setBold(true);
    m_bandText->setFont(timeFont);
    grid->addWidget(NewCaption(QStringLiteral("時間"), group), 0, 0);
    grid->addWidget(m_bandText, 0, 1, 1, 2);

    m_type = NewCombo(kIdType, group);
    QPushButton* addType = NewAddButton(kIdAddType, group);
    connect(addType, &QPushButton::clicked, this,
            [this] { OnAddMaster("RESERVATION_TYPE", m_type); });
    grid->addWidget(NewCaption(QStringLiteral("予約種類"), group), 1, 0);
    grid->addWidget(m_type, 1, 1);
    grid->addWidget(addType, 1, 2);

    m_treatment = new QLineEdit(group);
    m_treatment->setObjectName(QString::number(kIdTreatment));
    LimitEditToCp932Bytes(m_treatment, kTreatmentMaxBytes);
    QPushButton* selectTreatment = NewAddButton(kIdTreatmentSelect, group);
    connect(selectTreatment, &QPushButton::clicked, this, &CReservationDlg::OnTreatmentSelect);
    grid->addWidget(NewCaption(QStringLiteral("処置"), group), 2, 0);
    grid->addWidget(m_treatment, 2, 1);
    grid->addWidget(selectTreatment, 2, 2);

    m_lab = NewCheck(QStringLiteral("技工物または予定あり"), kIdLab, group);
    m_labItem = NewValueLabel(kIdLabItem, group);
    m_labItem->setFrameShape(QFrame::StyledPanel);
    m_pickLab = NewAddButton(kIdPickLab, group);
    connect(m_pickLab, &QPushButton::clicked, this, &CReservationDlg::OnPickLab);
    grid->addWidget(m_lab, 3, 0);
    grid->addWidget(m_labItem, 3, 1);
    grid->addWidget(m_pickLab, 3, 2);

    m_recall = NewCheck(QStringLiteral("リコールの予約"), kIdRecall, group);
    m_recallText = NewValueLabel(kIdRecallText, group);
    m_recall->hide();
    m_recallText->hide();
    grid->addWidget(m_recall, 4, 0);
    grid->addWidget(m_recallText, 4, 1);

    m_came = NewCheck(QStringLiteral("来院済みチェック"), kIdCame, group);
    grid->addWidget(m_came, 5, 0, 1, 2);

    m_changeReasonLabel = new QLabel(QStringLiteral("変更の備考（理由）"), group);
    m_changeReasonLabel->setObjectName(QString::number(kIdChangeReasonLabel));
    m_changeReason = NewCombo(kIdChangeReason, group);
    m_changeReason->setEditable(true);
    m_changeReason->setInsertPolicy(QComboBox::NoInsert);
    LimitEditToCp932Bytes(m_changeReason->lineEdit(), kChangeReasonMaxBytes);
    m_addChangeReason = NewAddButton(kIdAddChangeReason, group);
    connect(m_addChangeReason, &QPushButton::clicked, this, &CReservationDlg::OnAddChangeReason);
    grid->addWidget(m_changeReasonLabel, 6, 0);
    grid->addWidget(m_changeReason, 6, 1);
    grid->addWidget(m_addChangeReason, 6, 2);

    m_blocked = NewCheck(QStringLiteral("予約不可として登録する"), kIdBlocked, group);
    m_blockedAll = NewCheck(QStringLiteral("同日時間帯の全てのユニット\n　 全てのドクターに適用させる"),
                            kIdBlockedAll, group);
    grid->addWidget(m_blocked, 7, 0);
    grid->addWidget(m_blockedAll, 7, 1, 1, 2);
    box->addLayout(grid);

    m_patientBoundControls = {m_type, addType, m_lab, m_labItem, m_pickLab, m_recall,
                              m_recallText, m_came};
    return group;
}

QWidget* CReservationDlg::BuildFeeGroup() {
    auto* group = new QGroupBox(QStringLiteral("回収料金"), this);
    auto* grid = new QGridLayout(group);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(4, 1);

    m_collectFee = NewCheck(QStringLiteral("回収料金"), kIdCollectFee, group);
    m_feeCategory = NewCombo(kIdFeeCategory, group);
    m_feeItem = NewCombo(kIdFeeItem, group);
    m_pickFeeItem = NewAddButton(kIdPickFeeItem, group);
    m_fee = new QLineEdit(group);
    m_fee->setObjectName(QString::number(kIdFee));
    m_fee->setAlignment(Qt::AlignRight);
    m_fee->setValidator(new QIntValidator(0, 99999999, m_fee));
    m_fee->setMaximumWidth(120);
    m_insurance = NewCheck(QStringLiteral("保険適用分"), kIdInsurance, group);
    m_insuranceType = NewCombo(kIdInsuranceType, group);
    m_addInsuranceType = NewAddButton(kIdAddInsuranceType, group);
    connect(m_pickFeeItem, &QPushButton::clicked, this, &CReservationDlg::OnPickFeeItem);
    connect(m_addInsuranceType, &QPushButton::clicked, this,
            [this] { OnAddMaster("INSSURANCETYPE", m_insuranceType); });

    grid->addWidget(m_collectFee, 0, 0, 1, 2);
    grid->addWidget(NewCaption(QStringLiteral("区分"), group), 1, 0);
    grid->addWidget(m_feeCategory, 1, 1);
    grid->addWidget(NewCaption(QStringLiteral("項目"), group), 1, 3);
    grid->addWidget(m_feeItem, 1, 4);
    grid->addWidget(m_pickFeeItem, 1, 5);
    grid->addWidget(NewCaption(QStringLiteral("金額"), group), 2, 0);
    auto* amount = new QHBoxLayout;
    amount->addWidget(m_fee);
    amount->addWidget(new QLabel(QStringLiteral("円"), group));
    amount->addStretch(1);
    grid->addLayout(amount, 2, 1);
    grid->addWidget(m_insurance, 2, 3);
    grid->addWidget(m_insuranceType, 2, 4);
    grid->addWidget(m_addInsuranceType, 2, 5);
    return group;
}

QWidget* CReservationDlg::BuildEntryGroup() {
    auto* group = new QGroupBox(QStringLiteral("登録"), this);
    auto* grid = new QGridLayout(group);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(4, 1);
    m_staff = NewCombo(kIdStaff, group);
    m_entryDate = NewDateEdit(kIdEntryDate, group);
    m_way = NewCombo(kIdWay, group);
    QPushButton* addStaff = NewAddButton(kIdAddStaff, group);
    QPushButton* addWay = NewAddButton(kIdAddWay, group);
    connect(addStaff, &QPushButton::clicked, this, [this] { OnAddMaster("STAFF", m_staff); });
    connect(addWay, &QPushButton::clicked, this, [this] { OnAddMaster("RESERVATIONWAY", m_way); });
    grid->addWidget(NewCaption(QStringLiteral("予約入力者"), group), 0, 0);
    grid->addWidget(m_staff, 0, 1);
    grid->addWidget(addStaff, 0, 2);
    grid->addWidget(NewCaption(QStringLiteral("予約方法"), group), 0, 3);
    grid->addWidget(m_way, 0, 4);
    grid->addWidget(addWay, 0, 5);
    grid->addWidget(NewCaption(QStringLiteral("入力日"), group), 1, 0);
    grid->addWidget(m_entryDate, 1, 1);
    return group;
}

void CReservationDlg::ConnectSignals() {
    for (CEditEx* edit : {m_chartNo, m_kana, m_name}) {
        connect(edit, &QLineEdit::textEdited, this, [this, edit] { OnPatientTyped(edit); });
    }
    connect(m_chartNo, &QLineEdit::returnPressed, this,
            [this] { SearchPatient(CPatientDB::kKeyChartNo); });
    connect(m_kana, &QLineEdit::returnPressed, this,
            [this] { SearchPatient(CPatientDB::kKeyKana); });
    connect(m_name, &QLineEdit::returnPressed, this,
            [this] { SearchPatient(CPatientDB::kKeyName); });
    connect(m_name, &QLineEdit::editingFinished, this, &CReservationDlg::OnNameEditingFinished);
    auto searchButton = [this](int id) { return findChild<QPushButton*>(QString::number(id)); };
    connect(searchButton(kIdSearchChartNo), &QPushButton::clicked, this,
            [this] { SearchPatient(CPatientDB::kKeyChartNo); });
    connect(searchButton(kIdSearchKana), &QPushButton::clicked, this,
            [this] { SearchPatient(CPatientDB::kKeyKana); });
    connect(searchButton(kIdSearchName), &QPushButton::clicked, this,
            [this] { SearchPatient(CPatientDB::kKeyName); });

    connect(m_date, &QDateEdit::dateChanged, this, &CReservationDlg::OnDateChanged);
    connect(m_unit, &QComboBox::currentIndexChanged, this, &CReservationDlg::OnColumnComboChanged);
    connect(m_doctor, &QComboBox::currentIndexChanged, this,
            &CReservationDlg::OnColumnComboChanged);
    connect(m_strip, &CTimeStrip::BandChosen, this, &CReservationDlg::ChooseBand);
    connect(m_strip, &CTimeStrip::ScrollRequested, this,
            [this](int delta) { m_stripScroll->setValue(m_stripScroll->value() + delta); });
    connect(m_strip, &CTimeStrip::Resized, this, [this] {
        m_stripScroll->setRange(0, std::max(0, m_strip->DayWidth() - m_strip->width()));
        m_stripScroll->setPageStep(std::max(1, m_strip->width()));
    });
    connect(m_stripScroll, &QScrollBar::valueChanged, m_strip, &CTimeStrip::SetOffset);

    connect(m_collectFee, &QCheckBox::toggled, this, &CReservationDlg::UpdateEnabling);
    connect(m_insurance, &QCheckBox::toggled, this, &CReservationDlg::UpdateEnabling);
    connect(m_lab, &QCheckBox::toggled, this, &CReservationDlg::UpdateEnabling);
    connect(m_feeCategory, &QComboBox::currentIndexChanged, this,
            &CReservationDlg::OnFeeCategoryChanged);
    connect(m_feeItem, &QComboBox::currentIndexChanged, this, &CReservationDlg::OnFeeItemChanged);
    connect(m_blocked, &QCheckBox::toggled, this, &CReservationDlg::OnBlockedToggled);
    connect(m_blocked, &QCheckBox::clicked, this, &CReservationDlg::OnBlockedClicked);
    connect(m_blockedAll, &QCheckBox::clicked, this, &CReservationDlg::OnBlockedAllClicked);
}

// ---- Opening ----------------------------------------------------------------------

void CReservationDlg::InitDialog() {
    m_filling = true;
    CVeloComDlg::EnumStaffData(m_db, m_staff, "");
    CVeloComDlg::EnumReservationWay(m_db, m_way, "");
    if (m_settings.imeModeAuto != 0) {
        m_name->SetIMEModes(m_settings.imeModeName);
        m_kana->SetIMEModes(m_settings.imeModeFurigana);
    }
    m_ok->setEnabled(false);

    const bool unitMode = m_inputs.columnMode == 0;
    m_columnKey = m_inputs.columnKey;
    CVeloComDlg::EnumUnit(m_db, m_unit, unitMode ? m_columnKey.c_str() : "");
    CVeloComDlg::EnumDoctor(m_db, m_doctor, unitMode ? "" : m_columnKey.c_str());
    CVeloComDlg::EnumReservationType(m_db, m_type, "");
    CVeloComDlg::EnumCreditCategory(m_db, m_feeCategory, "");
    CVeloComDlg::EnumCreditItemsOf(m_db, m_feeItem, ComboPlainCode(m_feeCategory).c_str(), "");
    CVeloComDlg::EnumInssuranceType(m_db, m_insuranceType, "");
    // The change reason is asked only when a reservation is moved.
    if (m_inputs.dialogMode == kDialogModeChange) FillChangeReasons();
    m_date->setDate(DateFromInput(m_inputs.date));
    m_entryDate->setDate(CDate::Today());
    m_bandStart = m_inputs.start;
    m_bandEnd = m_inputs.end;
    m_filling = false;

    if (m_inputs.dialogMode == kDialogModeChange)
        setWindowTitle(LoadString(kIdsChangeTitle));
    else if (!m_inputs.reservationNo.empty())
        setWindowTitle(LoadString(kIdsEditTitle));
    else
        setWindowTitle(LoadString(kIdsNewTitle));

    if (!m_inputs.reservationNo.empty()) {
        LoadExistingReservation();
    } else {
        if (!m_inputs.patientId.empty()) ShowPatient(m_inputs.patientId);
        if (!m_inputs.standbyNo.empty()) LoadStandbyEntry();
    }
    if (m_columnKey.empty()) m_columnKey = ColumnKeyFromCombos();
    ApplyModeRules();
    ReloadStrip();
    UpdateBandText();
    ScrollBandIntoView();
    RefillLists();
    UpdateEnabling();
}

void CReservationDlg::ApplyModeRules() {
    const bool fixedPatient = m_inputs.dialogMode != kDialogModeNewOrEdit;
    for (CEditEx* edit : {m_chartNo, m_kana, m_name}) edit->setReadOnly(fixedPatient);
    const bool change = m_inputs.dialogMode == kDialogModeChange;
    m_changeReasonLabel->setVisible(change);
    m_changeReason->setVisible(change);
    m_addChangeReason->setVisible(change);
    m_came->setVisible(!change);
    m_blockedAll->setEnabled(m_blocked->isChecked());
}

void CReservationDlg::LoadExistingReservation() {
    CReservationDB table;
    if (table.SetAssociatedDB(m_db) != 0 ||
        table.GetReservationData(m_inputs.reservationNo.c_str()) != 0) {
        m_recordFound = false;
        return;
    }
    m_recordFound = true;
    const tagRESERVATIONDB r = table.m_Data;
    table.Close();

    const std::string patient = FieldText(r.PatientID);
    if (!patient.empty()) ShowPatient(patient);
    m_filling = true;
    m_date->setDate(DateFromInput(FieldText(r.ResDate)));
    m_bandStart = ParseTimeField(r.StartTime);
    m_bandEnd = ParseTimeField(r.EndTime);
    const std::string unit = FieldText(r.UnitCode);
    const std::string doctor = FieldText(r.DoctorCode);
    m_columnKey = m_inputs.columnMode == 0 ? unit : doctor;
    // A stored code whose master entry is hidden (a unit taken out of use, staff who have
    // left) or gone stays chosen as an entry of its own, so saving writes it back as it was.
    const auto keep = CVeloComDlg::EUnlisted::kKeep;
    CVeloComDlg::EnumUnit(m_db, m_unit, unit.c_str(), keep);
    CVeloComDlg::EnumDoctor(m_db, m_doctor, doctor.c_str(), keep);
    CVeloComDlg::EnumReservationType(m_db, m_type, FieldText(r.ResTypeCode).c_str(), keep);
    m_treatment->setText(Cp932FieldToQString(r.Treatment));
    m_came->setChecked(r.Status == static_cast<uint8_t>(ResStatus::Came));
    const std::string insuranceType = FieldText(r.InsuranceType);
    CVeloComDlg::EnumInssuranceType(m_db, m_insuranceType, insuranceType.c_str(), keep);
    m_insurance->setChecked(r.InsuranceFlag == 1 && !insuranceType.empty());
    const std::string category = FieldText(r.CreditCateCode);
    CVeloComDlg::EnumCreditCategory(m_db, m_feeCategory, category.c_str(), keep);
    // A reservation without a fee shows the first category's items, as a new one does.
    CVeloComDlg::EnumCreditItemsOf(m_db, m_feeItem, ComboPlainCode(m_feeCategory).c_str(),
                                   FieldText(r.CreditItemCode).c_str(), keep);
    m_fee->setText(QString::asprintf("%d", r.Fee));
    m_collectFee->setChecked(r.Fee != 0);
    m_recallNo = FieldText(r.RecallNo);
    m_recall->setChecked(!m_recallNo.empty());
    const std::string material = FieldText(r.MaterialNo);
    if (!material.empty()) {
        m_lab->setChecked(true);
        ShowLabItem(material);
    }
    CVeloComDlg::EnumStaffData(m_db, m_staff, FieldText(r.StaffCode).c_str(), keep);
    const std::string entry = FieldText(r.EntryDate);
    if (CDate::IsValid(entry.c_str())) m_entryDate->setDate(CDate::FromYmd(entry.c_str()));
    CVeloComDlg::EnumReservationWay(m_db, m_way, FieldText(r.ResWayCode).c_str(), keep);
    m_filling = false;
    // A stored blocked time is edited as blocked time, or it could never be saved again.
    if (patient.empty()) m_blocked->setChecked(true);
}

void CReservationDlg::OnPickStandby() {
    CStandbyDlg standby(m_db, CStandbyDlg::kModeReservation, this);
    if (standby.exec() != QDialog::Accepted || standby.ChosenStandbyNo().empty()) return;
    // The entry's patient and wish become this booking's; the entry is linked on save.
    m_inputs.standbyNo = standby.ChosenStandbyNo();
    LoadStandbyEntry();
    UpdateEnabling();
}

void CReservationDlg::LoadStandbyEntry() {
    CReservationStandbyDB standby;
    if (standby.SetAssociatedDB(m_db) != 0 ||
        standby.GetReservationStandbyData(m_inputs.standbyNo.c_str()) != 0)
        return;
    ShowPatient(FieldText(standby.m_Data.PatientID));
    m_treatment->setText(
        LimitCp932Bytes(Cp932FieldToQString(standby.m_Data.Memo), kTreatmentMaxBytes));
}

// ---- Patient ----------------------------------------------------------------------

void CReservationDlg::ShowPatient(const std::string& patientId) {
    CPatientDB patients;
    if (patients.SetAssociatedDB(m_db) != 0 || patients.GetPatientData(patientId.c_str()) != 0) {
        ClearPatientFields(nullptr);
        return;
    }
    ShowPatientRecord(patients.m_Data);
}

void CReservationDlg::ShowPatientRecord(const tagPATIENTDB& p) {
    m_showingPatient = true;
    m_patient = std::make_unique<tagPATIENTDB>(p);
    m_patientId = FieldText(p.PatientID);
    m_chartNo->setText(Cp932FieldToQString(p.ChartNo));
    m_name->setText(Cp932FieldToQString(p.Name));
    m_kana->setText(Cp932FieldToQString(p.Kana));
    m_sex->setText(LoadString(p.Sex[0] == '1' ? kIdsMale : kIdsFemale));
    const std::string birth = FieldText(p.BirthDate);
    const std::string firstVisit = FieldText(p.FirstVisitDate);
    m_birthDate->setText(CTools::MakeDate(birth.c_str()));
    m_firstVisit->setText(CTools::MakeDate(firstVisit.c_str()));
    m_ageAtFirstVisit->setText(AgeText(birth.c_str(), firstVisit.c_str()));
    m_ageNow->setText(AgeText(birth.c_str(), CDate::ToYmd(CDate::Today()).c_str()));
    m_zip->setText(Cp932FieldToQString(p.ZipCode));
    m_address1->setText(Cp932FieldToQString(p.Address1));
    m_address2->setText(Cp932FieldToQString(p.Address2));
    m_homeTel->setText(Cp932FieldToQString(p.HomeTel));
    m_mobileTel->setText(Cp932FieldToQString(p.MobileTel));
    m_otherTel->setText(Cp932FieldToQString(p.OtherTel));
    if (m_inputs.columnMode == 0) {
        const int doctor = FindDoctor(m_doctor, FieldText(p.DoctorCode));
        if (doctor >= 0) m_doctor->setCurrentIndex(doctor);
    }
    CVeloComDlg::EnumInssuranceType(m_db, m_insuranceType, FieldText(p.InsuranceType).c_str());
    m_showingPatient = false;
    RefillLists();
    UpdateEnabling();
}

void CReservationDlg::ClearPatientFields(QLineEdit* keep) {
    m_showingPatient = true;
    for (CEditEx* edit : {m_chartNo, m_kana, m_name}) {
        if (edit != keep) edit->clear();
    }
    for (QLabel* label : {m_sex, m_birthDate, m_firstVisit, m_ageAtFirstVisit, m_ageNow, m_zip,
                          m_address1, m_address2, m_homeTel, m_mobileTel, m_otherTel}) {
        label->clear();
    }
    m_patientId.clear();
    m_patient.reset();
    m_lab->setChecked(false);
    m_materialNo.clear();
    m_labCompletionDate.clear();
    m_labItem->clear();
    m_showingPatient = false;
    RefillLists();
    UpdateEnabling();
}

void CReservationDlg::OnPatientTyped(QLineEdit* edit) {
    if (m_showingPatient) return;
    if (!m_patientId.empty()) {
        ClearPatientFields(edit);
    } else {
        UpdateOkEnabled();
    }
}

void CReservationDlg::SearchPatient(int key) {
    if (m_inputs.dialogMode != kDialogModeNewOrEdit || m_blocked->isChecked()) return;
    const QLineEdit* edit = key == CPatientDB::kKeyChartNo ? m_chartNo
                            : key == CPatientDB::kKeyKana  ? m_kana
                                                           : m_name;
    const QString text = edit->text();
    if (CountPatientMatches(m_db, key, QStringToCp932(text)) == 0) {
        CMessageService::MessageBox(this, QStringLiteral("該当する患者が見つかりません。"),
                                    MessageTitle(), CMessageService::EIcon::Information);
        return;
    }
    const char* mode = key == CPatientDB::kKeyChartNo ? "BYID"
                       : key == CPatientDB::kKeyKana  ? "BYKANA"
                                                      : "BYNAME";
    const QString chosen =
        CVeloComDlg::VCDQueryPatientData(m_db, text.toUtf8().constData(), mode, this);
    if (!chosen.isEmpty()) ShowPatient(chosen.toStdString());
}

void CReservationDlg::OnNameEditingFinished() {
    if (m_showingPatient || m_inputs.dialogMode != kDialogModeNewOrEdit) return;
    const QString text = m_name->text();
    if (text.isEmpty()) return;
    if (m_patient && Cp932FieldToQString(m_patient->Name) == text) return;
    CPatientDB patients;
    const std::string name = QStringToCp932(text);
    if (patients.SetAssociatedDB(m_db) == 0 && patients.GetPatientDataByName(name.c_str()) == 0 &&
        FieldText(patients.m_Data.Name) == name && patients.m_Data.InactiveFlag != 1) {
        ShowPatientRecord(patients.m_Data);
        return;
    }
    if (!m_patientId.empty()) ClearPatientFields(m_name);
}

void CReservationDlg::OnEditPatient() {
    if (m_patientId.empty()) return;
    std::unique_ptr<tagPATIENTDB> patient =
        CVeloComDlg::GetNewPatientData(m_db, 2, m_patientId.c_str(), this);
    if (patient) ShowPatientRecord(*patient);
}

void CReservationDlg::OnNewPatient() {
    std::unique_ptr<tagPATIENTDB> patient = CVeloComDlg::GetNewPatientData(m_db, 1, "", this);
    if (patient) ShowPatientRecord(*patient);
}

// ---- Day, column and band ---------------------------------------------------------

QString CReservationDlg::DateText() const {
    return m_date->date().toString(QStringLiteral("yyyy/MM/dd"));
}

QLineEdit* CReservationDlg::TreatmentEdit() const { return m_treatment; }

void CReservationDlg::OnDateChanged() {
    if (m_filling) return;
    ReloadStrip();
    RefillLists();
}

void CReservationDlg::OnColumnComboChanged() {
    if (m_filling) return;
    const std::string key = ColumnKeyFromCombos();
    if (key.empty()) return;
    m_columnKey = key;
    ReloadStrip();
}

std::string CReservationDlg::ComboMasterCode(const QComboBox* combo) {
    if (combo->currentIndex() < 0) return std::string();
    return combo->currentData().toString().mid(2).toStdString();
}

std::string CReservationDlg::ComboPlainCode(const QComboBox* combo) {
    if (combo->currentIndex() < 0) return std::string();
    return combo->currentData().toString().toStdString();
}

std::string CReservationDlg::ColumnKeyFromCombos() const {
    const std::string code =
        m_inputs.columnMode == 0 ? ComboMasterCode(m_unit) : ComboPlainCode(m_doctor);
    return code.size() > 2 ? code.substr(code.size() - 2) : code;
}

void CReservationDlg::ReloadStrip() {
    const std::string day = Ymd(m_date->date());
    const int weekday = m_date->date().dayOfWeek() % 7;
    const DayRange range = DayTimeRange(m_settings, m_officeHours, weekday, true);
    m_strip->SetDay(MakeTimeGridConfig(m_settings, range),
                    EffectiveOfficeHours(m_officeHours, weekday), CDate().IsDayOff(day.c_str()) != 0,
                    CTools::ColorFromRef(m_settings.veloColorOff));
    StripRequest request;
    request.doctorMode = m_inputs.columnMode != 0;
    request.columnCode = m_columnKey;
    request.day = day;
    request.editingNo = m_inputs.reservationNo;
    request.clock24 = m_settings.clock24;
    std::vector<StripItem> items;
    LoadStrip(m_db, request, &items);
    m_strip->SetItems(std::move(items));
    m_strip->SetBand(m_bandStart, m_bandEnd);
    m_stripScroll->setRange(0, std::max(0, m_strip->DayWidth() - m_strip->width()));
}

void CReservationDlg::ScrollBandIntoView() {
    if (m_bandEnd <= m_bandStart) return;
    const int x = m_strip->XOfTime(m_bandStart);
    const int offset = m_stripScroll->value();
    if (x < offset || x + m_strip->Config().cellPixels > offset + m_strip->width())
        m_stripScroll->setValue(x - 2 * m_strip->Config().cellPixels);
}

int CReservationDlg::exec() {
    if (m_inputs.dialogMode == kDialogModeChange && !m_referenceOpenedForChange) {
        m_referenceOpenedForChange = true;
        // The dialog is not shown yet, so the reference is placed over the dialog's owner.
        OpenReferenceOver(parentWidget());
    }
    return QDialog::exec();
}

void CReservationDlg::OpenReference() { OpenReferenceOver(this); }

void CReservationDlg::OpenReferenceOver(QWidget* owner) {
    ReferenceDlgInputs inputs;
    inputs.columnMode = m_inputs.columnMode;
    inputs.columnKey = m_columnKey;
    inputs.dialogMode = m_inputs.dialogMode;
    inputs.reservationNo = m_inputs.reservationNo;
    inputs.date = m_date->date();
    inputs.start = m_bandStart;
    inputs.end = m_bandEnd;
    inputs.patientName = m_name->text();
    CReferenceDlg reference(m_db, inputs, owner);
    connect(&reference, &CReferenceDlg::ChoiceApplied, this,
            &CReservationDlg::ApplyReferenceChoice);
    reference.exec();
}

void CReservationDlg::ApplyReferenceChoice(const ReferenceChoice& choice) {
    if (!choice.date.isValid()) return;
    // The day, the column (unless "すべて" was chosen) and the band found on the reference.
    m_filling = true;
    if (!choice.columnKey.empty()) {
        // The column the reference was opened on may be the stored, hidden one.
        const auto keep = CVeloComDlg::EUnlisted::kKeep;
        m_columnKey = choice.columnKey;
        if (m_inputs.columnMode == 0)
            CVeloComDlg::EnumUnit(m_db, m_unit, m_columnKey.c_str(), keep);
        else
            CVeloComDlg::EnumDoctor(m_db, m_doctor, m_columnKey.c_str(), keep);
    }
    m_date->setDate(choice.date);
    m_filling = false;
    m_bandStart = choice.start;
    m_bandEnd = choice.end;
    ReloadStrip();
    RefillLists();
    ChooseBand(choice.start, choice.end);
    ScrollBandIntoView();
}

void CReservationDlg::ChooseBand(int start, int end) {
    m_bandStart = start;
    m_bandEnd = end;
    m_strip->SetBand(start, end);
    UpdateBandText();
    UpdateOkEnabled();
}

void CReservationDlg::UpdateBandText() {
    m_bandText->setText(BandText(m_bandStart, m_bandEnd, m_settings.clock24));
}

void CReservationDlg::RefillLists() {
    m_systemMessages->clear();
    m_nextVisit->clear();
    if (m_patientId.empty() || m_patientId.size() > kStatusIdWidth) return;
    const std::string day = Ymd(m_date->date());
    std::vector<DuplicateEntry> entries;
    LoadDuplicateWindow(m_db, m_patientId, day, m_settings.daysOfCheckingDuplicatedRes,
                        m_inputs.reservationNo, m_settings.clock24, &entries);
    std::vector<PendingPayment> payments;
    LoadPendingPayments(m_db, m_patientId, day, &payments);
    for (const QString& line : SystemMessageLines(true, entries, payments))
        new QTreeWidgetItem(m_systemMessages, QStringList{line});
    if (m_patient) {
        for (const NextVisitRow& row : NextVisitRows(m_db, *m_patient))
            new QTreeWidgetItem(m_nextVisit, QStringList{row.label, row.value});
    }
}

// ---- Masters, fee, lab, reasons ---------------------------------------------------

void CReservationDlg::OnAddMaster(const char* table, QComboBox* combo) {
    const QString code = CVeloComDlg::DoGetNewTblItem(m_db, table, this);
    if (code.isEmpty()) return;
    RefillCombo(combo, code);
}

void CReservationDlg::RefillCombo(QComboBox* combo, const QString& code) {
    const std::string text = code.toStdString();
    m_filling = true;
    if (combo == m_unit) CVeloComDlg::EnumUnit(m_db, combo, text.c_str());
    if (combo == m_doctor) CVeloComDlg::EnumDoctor(m_db, combo, text.c_str());
    if (combo == m_type) CVeloComDlg::EnumReservationType(m_db, combo, text.c_str());
    if (combo == m_insuranceType) CVeloComDlg::EnumInssuranceType(m_db, combo, text.c_str());
    if (combo == m_staff) CVeloComDlg::EnumStaffData(m_db, combo, text.c_str());
    if (combo == m_way) CVeloComDlg::EnumReservationWay(m_db, combo, text.c_str());
    m_filling = false;
    if (combo == m_unit || combo == m_doctor) OnColumnComboChanged();
}

void CReservationDlg::OnTreatmentSelect() {
    CTreatmentSelectDlg dialog(m_db, m_treatment, this);
    dialog.exec();
}

void CReservationDlg::OnFeeCategoryChanged() {
    if (m_filling) return;
    m_filling = true;
    CVeloComDlg::EnumCreditItemsOf(m_db, m_feeItem, ComboPlainCode(m_feeCategory).c_str(), "");
    m_filling = false;
    OnFeeItemChanged();
}

void CReservationDlg::OnFeeItemChanged() {
    if (m_filling || m_feeItem->currentIndex() < 0) return;
    const QByteArray record = m_feeItem->currentData().toByteArray();
    if (record.size() < static_cast<int>(sizeof(tagCREDITITEMDB))) return;
    tagCREDITITEMDB item;
    std::memcpy(&item, record.constData(), sizeof item);
    m_fee->setText(QString::asprintf("%d", item.Price));
}

void CReservationDlg::OnPickFeeItem() {
    const QString key =
        CVeloComDlg::OpenCreditItem(m_db, ComboPlainCode(m_feeCategory).c_str(), this);
    QString category;
    QString item;
    if (!CVeloComDlg::SplitItemKey(key, &category, &item)) return;
    m_filling = true;
    CVeloComDlg::EnumCreditCategory(m_db, m_feeCategory, category.toStdString().c_str());
    CVeloComDlg::EnumCreditItemsOf(m_db, m_feeItem, category.toStdString().c_str(),
                                   item.toStdString().c_str());
    m_filling = false;
    OnFeeItemChanged();
}

void CReservationDlg::OnPickLab() {
    if (m_patientId.empty()) return;
    CVeloLab lab;
    const QString key = lab.GetSchedule(m_db, m_patientId.c_str(), Ymd(m_date->date()).c_str());
    if (key.isEmpty()) return;
    m_lab->setChecked(true);
    ShowLabItem(key.toStdString());
}

void CReservationDlg::ShowLabItem(const std::string& materialNo) {
    m_materialNo = materialNo;
    CMaterialDB items;
    if (items.SetAssociatedDB(m_db) != 0 || items.GetMaterialData(materialNo.c_str()) != 0) {
        m_labCompletionDate.clear();
        m_labItem->setText(QString::fromStdString(materialNo));
        return;
    }
    m_labCompletionDate = FieldText(items.m_Data.CompletionDate);
    m_labItem->setText(QStringLiteral("%1 \t[完成予定: %2]")
                           .arg(Cp932FieldToQString(items.m_Data.ItemName),
                                CTools::MakeDate(m_labCompletionDate.c_str())));
}

void CReservationDlg::FillChangeReasons() {
    const QString text = m_changeReason->currentText();
    m_changeReason->clear();
    m_changeReason->addItems(CancelReasonNames(m_db));
    m_changeReason->setCurrentIndex(-1);
    m_changeReason->setEditText(text);
}

void CReservationDlg::OnAddChangeReason() {
    const QString code = CVeloComDlg::OpenNewResReason(m_db, this);
    if (code.isEmpty()) return;
    FillChangeReasons();
    CResReasonDB reasons;
    if (reasons.SetAssociatedDB(m_db) == 0 &&
        reasons.GetResReasonData(code.toStdString().c_str()) == 0)
        m_changeReason->setEditText(Cp932FieldToQString(reasons.m_Data.ReasonName));
}

// ---- Blocked time and enabling ----------------------------------------------------

void CReservationDlg::OnBlockedToggled(bool checked) {
    if (!checked) m_blockedAll->setChecked(false);
    UpdateEnabling();
}

void CReservationDlg::OnBlockedClicked(bool checked) {
    // The remembered apply-to-all choice is taken up only when a person ticks the box. A
    // stored blocked time opens with the box already ticked and is edited in its own column:
    // copying it again would collide with the copies made when it was first saved.
    if (checked) {
        m_blockedAll->setChecked(
            CVeloSubTools::GetGlobalSettingInt(kSettingsReservation, kSettingsApplyToAll, 0) != 0);
    }
}

void CReservationDlg::OnBlockedAllClicked(bool checked) {
    CVeloSubTools::SetGlobalSettingInt(kSettingsReservation, kSettingsApplyToAll, checked ? 1 : 0);
}

void CReservationDlg::UpdateEnabling() {
    const bool blocked = m_blocked->isChecked();
    const bool fixedPatient =
        m_inputs.dialogMode != kDialogModeNewOrEdit || !m_inputs.standbyNo.empty();
    const bool patient = !m_patientId.empty();
    for (CEditEx* edit : {m_chartNo, m_kana, m_name}) edit->setEnabled(!blocked);
    for (QPushButton* button : m_patientButtons) button->setEnabled(!blocked && !fixedPatient);
    m_standby->setEnabled(!blocked && !fixedPatient);
    findChild<QPushButton*>(QString::number(kIdEditPatient))
        ->setEnabled(!blocked && !fixedPatient && patient);
    for (QWidget* control : m_patientBoundControls) control->setEnabled(!blocked);
    const bool labOn = !blocked && patient;
    m_lab->setEnabled(labOn);
    m_labItem->setEnabled(labOn && m_lab->isChecked());
    m_pickLab->setEnabled(labOn && m_lab->isChecked());
    const bool feeOn = !blocked && m_collectFee->isChecked();
    m_collectFee->setEnabled(!blocked);
    for (QWidget* control : std::initializer_list<QWidget*>{m_feeCategory, m_feeItem, m_fee,
                                                            m_pickFeeItem, m_insurance})
        control->setEnabled(feeOn);
    m_insuranceType->setEnabled(feeOn && m_insurance->isChecked());
    m_addInsuranceType->setEnabled(feeOn && m_insurance->isChecked());
    m_blockedAll->setEnabled(blocked);
    m_listsGroup->setVisible(!blocked);
    UpdateOkEnabled();
}

void CReservationDlg::UpdateOkEnabled() {
    if (m_blocked->isChecked())
        m_ok->setEnabled(m_bandEnd > m_bandStart);
    else
        m_ok->setEnabled(!m_patientId.empty());
}

void CReservationDlg::keyPressEvent(QKeyEvent* event) {
    // Enter never saves by accident: the edits use it to search, the rest ignore it.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) return;
    QDialog::keyPressEvent(event);
}

// ---- Saving -----------------------------------------------------------------------

ReservationInput CReservationDlg::GatherInput() const {
    ReservationInput input;
    input.dialogMode = m_inputs.dialogMode;
    input.reservationNo = m_inputs.reservationNo;
    input.columnMode = m_inputs.columnMode;
    input.resDate = Ymd(m_date->date());
    const std::string unit = ComboMasterCode(m_unit);
    input.unitCode = unit.size() > 2 ? unit.substr(unit.size() - 2) : unit;
    const std::string doctor = ComboPlainCode(m_doctor);
    input.doctorCode = doctor.size() > 2 ? doctor.substr(doctor.size() - 2) : doctor;
    input.resTypeCode = ComboMasterCode(m_type).substr(0, 3);
    input.startTime = m_bandStart;
    input.endTime = m_bandEnd;
    input.blockedTime = m_blocked->isChecked();
    input.applyToAll = input.blockedTime && m_blockedAll->isChecked();
    input.patientId = m_patientId;
    input.treatment = m_treatment->text();
    input.recall = m_recall->isChecked();
    input.recallNo = m_recallNo;
    input.lab = m_lab->isChecked() && !m_materialNo.empty();
    input.materialNo = m_materialNo;
    input.labCompletionDate = m_labCompletionDate;
    input.collectFee = m_collectFee->isChecked();
    if (m_feeItem->currentIndex() >= 0) {
        const QByteArray record = m_feeItem->currentData().toByteArray();
        if (record.size() >= static_cast<int>(sizeof(tagCREDITITEMDB))) {
            tagCREDITITEMDB item;
            std::memcpy(&item, record.constData(), sizeof item);
            input.creditCateCode = FieldText(item.CategoryCode);
            input.creditItemCode = FieldText(item.ItemCode);
        }
    }
    if (input.creditCateCode.empty()) input.creditCateCode = ComboPlainCode(m_feeCategory);
    input.fee = m_fee->text().toInt();
    input.insurance = m_insurance->isChecked();
    input.insuranceType = ComboMasterCode(m_insuranceType);
    input.came = m_inputs.dialogMode != kDialogModeChange && m_came->isChecked();
    input.changeReason = m_changeReason->currentText();
    input.staffNumber = m_staff->currentIndex() >= 0 ? m_staff->currentData().toInt() : 0;
    input.entryDate = Ymd(m_entryDate->date());
    input.wayNumber = m_way->currentIndex() >= 0 ? m_way->currentData().toInt() : 0;
    input.standbyNo = m_inputs.standbyNo;
    return input;
}

bool CReservationDlg::CheckCombosChosen(const ReservationInput& input) {
    QString missing;
    if (input.unitCode.empty())
        missing = QStringLiteral("ユニット");
    else if (input.doctorCode.empty())
        missing = QStringLiteral("担当医");
    else if (!input.blockedTime && input.resTypeCode.empty())
        missing = QStringLiteral("予約種類");
    else if (!input.blockedTime && input.collectFee && input.insurance && input.insuranceType.empty())
        missing = QStringLiteral("保険種別");
    if (missing.isEmpty()) return true;
    CMessageService::MessageBox(this, QStringLiteral("%1を選択してください。").arg(missing),
                                MessageTitle(), CMessageService::EIcon::Warning);
    return false;
}

void CReservationDlg::OnOK() {
    ReservationInput input = GatherInput();
    if (!CheckCombosChosen(input)) return;
    if (!CheckStorableText(this, windowTitle(), input.treatment + input.changeReason)) return;
    const bool hadPatient = !input.patientId.empty();
    const bool goOn = ConfirmBeforeSave(m_db, input, m_settings, this);
    // The first question may have cleared the patient of a blocked time.
    if (hadPatient && input.patientId.empty()) ClearPatientFields(nullptr);
    if (!goOn) return;
    const SaveResult result = SaveReservation(m_db, input, m_settings);
    if (!result.ok) {
        ShowSaveFailure(this, result);
        return;
    }
    m_savedNo = result.reservationNo;
    accept();
}

}  // namespace velo::sheet
