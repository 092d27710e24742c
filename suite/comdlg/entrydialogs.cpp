// Entry dialogs and their logic: the table of master tables the suite can add to, the
// proposal of a free code, the checks of a new entry and its insertion (inside one
// transaction), the lab-item name master, and the thin dialogs plus the CVeloComDlg entry
// points that run them.
#include "suite/comdlg/entrydialogs.h"

#include <strings.h>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iterator>
#include <set>

#include "suite/comdlg/storableedits.h"
#include "suite/comdlg/tablehelpers.h"
#include "suite/comdlg/velocomdlg.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/text/cp932.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/dialogbuttons.h"

namespace {

using comdlg::OpenIn;
using comdlg::FieldText;

enum class ETable {
    Unit,
    ReservationType,
    InsuranceType,
    Doctor,
    ReservationWay,
    Staff,
    Credit,
    CreditCate,
    TreatmentCategory,
    MaterialItemCate,
    ResReason,
};

// Name widths are those of the record fields less the terminator; staff names also go to
// the custom table, whose field is wider than the staff master's.
constexpr CMasterTableInfo kTables[] = {
    {"UNIT", "ユニットの追加", 2, 99, sizeof(tagCATEGORYDB::Name) - 1, false, false, false},
    {"RESERVATION_TYPE", "予約種類の追加", 2, 99, sizeof(tagCATEGORYDB::Name) - 1, true, false,
     false},
    {"INSSURANCETYPE", "保険種別の追加", 2, 99, sizeof(tagCATEGORYDB::Name) - 1, false, false,
     false},
    {"DOCTOR", "担当医の追加", 2, 99, sizeof(tagDOCTORDB::Name) - 1, false, false, false},
    {"RESERVATIONWAY", "予約方法の追加", 3, 999, sizeof(tagRESERVATIONWAYDB::Name) - 1, false,
     false, false},
    {"STAFF", "スタッフの追加", 3, 999, sizeof(tagSTAFFDB::Name) - 1, false, false, false},
    {"CREDIT", "料金項目の追加", 3, 999, sizeof(tagCREDITITEMDB::ItemName) - 1, false, true, true},
    {"CREDITCATE", "料金区分の追加", 3, 999, sizeof(tagCREDITCATEGORYDB::Name) - 1, false, false,
     false},
    {"TREATMENTCATEGORY", "処置分類の追加", 3, 999, sizeof(tagTREATMENTCATEGORYDB::Name) - 1, false,
     false, false},
    {"MATERIALITEMCATE", "技工物区分の追加", 4, 9999, sizeof(tagMATERIALITEMCATEDB::Name) - 1,
     false, false, false},
    {"RESREASON", "キャンセル理由の追加", 3, 999, sizeof(tagRESREASONDB::ReasonName) - 1, false,
     false, false, "キャンセル理由"},
};
constexpr ETable kKinds[] = {
    ETable::Unit,
    ETable::ReservationType,
    ETable::InsuranceType,
    ETable::Doctor,
    ETable::ReservationWay,
    ETable::Staff,
    ETable::Credit,
    ETable::CreditCate,
    ETable::TreatmentCategory,
    ETable::MaterialItemCate,
    ETable::ResReason,
};
static_assert(std::size(kTables) == std::size(kKinds));

constexpr char kLabStaffTable[] = "AA";
constexpr int kLabStaffDigits = 4;
constexpr int kMaterialItemNoDigits = 10;

ETable KindOf(const CMasterTableInfo& info) { return kKinds[&info - kTables]; }

const char* CategoryType(ETable kind) {
    switch (kind) {
        case ETable::ReservationType:
            return "0";
        case ETable::Unit:
            return "1";
        case ETable::InsuranceType:
            return "2";
        default:
            return nullptr;
    }
}

// The number of a code of digits only (blanks around it allowed); -1 otherwise, and for
// numbers beyond any code field.
constexpr long long kMaxNumber = 2000000000;
int CodeNumber(std::string_view code) {
    while (!code.empty() && code.front() == ' ') code.remove_prefix(1);
    while (!code.empty() && code.back() == ' ') code.remove_suffix(1);
    if (code.empty()) return -1;
    long long number = 0;
    for (char c : code) {
        if (c < '0' || c > '9') return -1;
        number = number * 10 + (c - '0');
        if (number > kMaxNumber) return -1;
    }
    return static_cast<int>(number);
}

std::string Format(int digits, int number) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*d", digits, number);
    return text;
}

// Reads every record of the table in key 0 order; status 0 when the end was reached.
template <typename Table>
int ForEach(CVeloDBSys* db, const std::function<void(const decltype(Table::m_Data)&)>& visit) {
    Table table;
    int status = OpenIn(table, db);
    if (status != 0) return status;
    table.SetKey(0);
    for (status = table.GetFIRST(); status == 0; status = table.GetNEXT()) visit(table.m_Data);
    table.Close();
    return status == recman::kEndOfFile || status == recman::kKeyNotFound ? 0 : status;
}

// Numbers of the codes in use in the table (fee items: within the category).
int UsedNumbers(CVeloDBSys* db, ETable kind, const std::string& category, std::set<int>* used) {
    auto add = [used](const std::string& code) {
        const int number = CodeNumber(code);
        if (number >= 0) used->insert(number);
    };
    switch (kind) {
        case ETable::Unit:
        case ETable::ReservationType:
        case ETable::InsuranceType: {
            const std::string type = CategoryType(kind);
            return ForEach<CCategoryDB>(db, [&](const tagCATEGORYDB& r) {
                if (FieldText(r.Type) == type) add(FieldText(r.Code));
            });
        }
        case ETable::Doctor:
            return ForEach<CDoctorDB>(db, [&](const tagDOCTORDB& r) { add(FieldText(r.Code)); });
        case ETable::ReservationWay:
            return ForEach<CReservationWayDB>(
                db, [&](const tagRESERVATIONWAYDB& r) { add(FieldText(r.Code)); });
        case ETable::Staff: {
            const int status =
                ForEach<CStaffDB>(db, [&](const tagSTAFFDB& r) { add(FieldText(r.Code)); });
            if (status != 0) return status;
            return ForEach<CCustomTblDB>(db, [&](const tagCUSTOMTBLDB& r) {
                if (FieldText(r.TableID) == kLabStaffTable) add(FieldText(r.Code));
            });
        }
        case ETable::Credit:
            return ForEach<CCreditItemDB>(db, [&](const tagCREDITITEMDB& r) {
                if (CodeNumber(FieldText(r.CategoryCode)) == CodeNumber(category)) {
                    add(FieldText(r.ItemCode));
                }
            });
        case ETable::CreditCate:
            return ForEach<CCreditCategoryDB>(
                db, [&](const tagCREDITCATEGORYDB& r) { add(FieldText(r.Code)); });
        case ETable::TreatmentCategory:
            return ForEach<CTreatmentCategoryDB>(
                db, [&](const tagTREATMENTCATEGORYDB& r) { add(FieldText(r.Code)); });
        case ETable::MaterialItemCate:
            return ForEach<CMaterialItemCateDB>(
                db, [&](const tagMATERIALITEMCATEDB& r) { add(FieldText(r.Code)); });
        case ETable::ResReason:
            return ForEach<CResReasonDB>(
                db, [&](const tagRESREASONDB& r) { add(FieldText(r.ReasonCode)); });
    }
    return 0;
}

// Opens the table, fills a zeroed record and inserts it.
template <typename Table>
int InsertRecord(CVeloDBSys* db, const std::function<void(decltype(Table::m_Data)&)>& fill) {
    Table table;
    int status = OpenIn(table, db);
    if (status != 0) return status;
    table.ClearData();
    fill(table.m_Data);
    return table.Insert();
}

int InsertEntry(CVeloDBSys* db, ETable kind, const std::string& code, const CMasterEntry& entry,
                int number) {
    const QString name = entry.name.trimmed();
    switch (kind) {
        case ETable::Unit:
        case ETable::ReservationType:
        case ETable::InsuranceType:
            return InsertRecord<CCategoryDB>(db, [&](tagCATEGORYDB& r) {
                SetField(r.Type, CategoryType(kind));
                SetField(r.Code, code.c_str());
                SetCp932Field(r.Name, sizeof r.Name, name);
                SetCp932Field(r.ShortName, sizeof r.ShortName, name);
                if (kind == ETable::ReservationType) {
                    r.Colour = static_cast<int32_t>(entry.colour);
                    r.TextColour = 0;
                }
            });
        case ETable::Doctor:
            return InsertRecord<CDoctorDB>(db, [&](tagDOCTORDB& r) {
                SetField(r.Code, code.c_str());
                SetCp932Field(r.Name, sizeof r.Name, name);
            });
        case ETable::ReservationWay:
            return InsertRecord<CReservationWayDB>(db, [&](tagRESERVATIONWAYDB& r) {
                SetField(r.Code, code.c_str());
                SetCp932Field(r.Name, sizeof r.Name, name);
            });
        case ETable::Staff: {
            const int status = InsertRecord<CStaffDB>(db, [&](tagSTAFFDB& r) {
                SetField(r.Code, code.c_str());
                SetCp932Field(r.Name, sizeof r.Name, name);
            });
            if (status != 0) return status;
            const std::string labCode = Format(kLabStaffDigits, number);
            return InsertRecord<CCustomTblDB>(db, [&](tagCUSTOMTBLDB& r) {
                SetField(r.TableID, kLabStaffTable);
                SetField(r.Code, labCode.c_str());
                SetField(r.CodeCopy, labCode.c_str());
                SetCp932Field(r.Name, sizeof r.Name, name);
            });
        }
        case ETable::Credit:
            return InsertRecord<CCreditItemDB>(db, [&](tagCREDITITEMDB& r) {
                SetField(r.CategoryCode, entry.category.toLatin1().constData());
                SetField(r.ItemCode, code.c_str());
                SetCp932Field(r.ItemName, sizeof r.ItemName, name);
                r.Price = entry.price;
            });
        case ETable::CreditCate:
            return InsertRecord<CCreditCategoryDB>(db, [&](tagCREDITCATEGORYDB& r) {
                SetField(r.Code, code.c_str());
                SetCp932Field(r.Name, sizeof r.Name, name);
            });
        case ETable::TreatmentCategory:
            return InsertRecord<CTreatmentCategoryDB>(db, [&](tagTREATMENTCATEGORYDB& r) {
                SetField(r.Code, code.c_str());
                SetCp932Field(r.Name, sizeof r.Name, name);
            });
        case ETable::MaterialItemCate:
            return InsertRecord<CMaterialItemCateDB>(db, [&](tagMATERIALITEMCATEDB& r) {
                SetField(r.Code, code.c_str());
                SetCp932Field(r.Name, sizeof r.Name, name);
            });
        case ETable::ResReason:
            return InsertRecord<CResReasonDB>(db, [&](tagRESREASONDB& r) {
                SetField(r.ReasonCode, code.c_str());
                SetCp932Field(r.ReasonName, sizeof r.ReasonName, name);
            });
    }
    return recman::kInvalidOperation;
}

bool CreditCategoryExists(CVeloDBSys* db, const std::string& category) {
    if (category.empty()) return false;
    CCreditCategoryDB table;
    if (OpenIn(table, db) != 0) return false;
    return table.GetCreditCategoryData(category.c_str()) == 0;
}

QWidget* DefaultParent(QWidget* parent) {
    return parent != nullptr ? parent : QApplication::activeWindow();
}

}  // namespace

const CMasterTableInfo* FindMasterTable(const char* table) {
    if (table == nullptr) return nullptr;
    for (const CMasterTableInfo& info : kTables) {
        if (::strcasecmp(info.table, table) == 0) return &info;
    }
    return nullptr;
}

QString EntryResultMessage(EEntryResult result, int status) {
    switch (result) {
        case EEntryResult::Ok:
            return QString();
        case EEntryResult::UnknownTable:
            return QStringLiteral("この一覧には項目を追加できません。");
        case EEntryResult::EmptyName:
            return QStringLiteral("名称を入力してください。");
        case EEntryResult::NameTooLong:
            return QStringLiteral("名称が長すぎます。短くしてください。");
        case EEntryResult::BadCode:
            return QStringLiteral("コードには 1 以上の数字を、桁数の範囲で入力してください。");
        case EEntryResult::DuplicateCode:
            return QStringLiteral("このコードは既に使われています。別のコードを入力してください。");
        case EEntryResult::NoCategory:
            return QStringLiteral("区分を選択してください。");
        case EEntryResult::DuplicateName:
            return QStringLiteral("この名称は既に登録されています。");
        case EEntryResult::DatabaseError:
            return QStringLiteral("データベースの登録・更新が失敗しました。\n（状態 %1）")
                .arg(status);
    }
    return QString();
}

QString NextMasterCode(CVeloDBSys* db, const char* table, const QString& category) {
    const CMasterTableInfo* info = FindMasterTable(table);
    if (info == nullptr) return QString();
    std::set<int> used;
    if (UsedNumbers(db, KindOf(*info), category.toStdString(), &used) != 0) return QString();
    int next = used.empty() ? 1 : *used.rbegin() + 1;
    if (next > info->maxCode) {
        next = 1;
        while (next <= info->maxCode && used.count(next) != 0) ++next;
        if (next > info->maxCode) return QString();
    }
    return QString::fromStdString(Format(info->codeDigits, next));
}

EEntryResult AddMasterEntry(CVeloDBSys* db, const char* table, const CMasterEntry& entry,
                            QString* storedCode, int* status) {
    const CMasterTableInfo* info = FindMasterTable(table);
    if (info == nullptr) return EEntryResult::UnknownTable;
    const ETable kind = KindOf(*info);
    const QString name = entry.name.trimmed();
    if (name.isEmpty()) return EEntryResult::EmptyName;
    if (QStringToCp932(name).size() > static_cast<size_t>(info->nameBytes)) {
        return EEntryResult::NameTooLong;
    }
    const std::string category = entry.category.trimmed().toStdString();
    if (info->hasCategory && !CreditCategoryExists(db, category)) return EEntryResult::NoCategory;
    const int number = CodeNumber(entry.code.toStdString());
    if (number < 1 || number > info->maxCode) return EEntryResult::BadCode;

    std::set<int> used;
    int result = UsedNumbers(db, kind, category, &used);
    if (result == 0 && used.count(number) != 0) return EEntryResult::DuplicateCode;
    const std::string code = Format(info->codeDigits, number);
    if (result == 0) {
        CMasterEntry clean = entry;
        clean.category = QString::fromStdString(category);
        result = CBaseDBCall::RunInTransaction([&] { return InsertEntry(db, kind, code, clean, number); });
    }
    if (result == recman::kDuplicateKey) return EEntryResult::DuplicateCode;
    if (result != 0) {
        if (status != nullptr) *status = result;
        return EEntryResult::DatabaseError;
    }
    if (storedCode != nullptr) *storedCode = QString::fromStdString(code);
    return EEntryResult::Ok;
}

EEntryResult AddMaterialItem(CVeloDBSys* db, const char* categoryCode, const QString& name,
                             std::string* itemNo, int* status) {
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty()) return EEntryResult::EmptyName;
    if (QStringToCp932(trimmed).size() > sizeof(tagMATERIALITEMDB::Name) - 1) {
        return EEntryResult::NameTooLong;
    }
    const std::string category = categoryCode != nullptr ? categoryCode : "";
    const int categoryNumber = category.empty() ? 0 : CodeNumber(category);
    const std::string bytes = QStringToCp932(trimmed);
    int highest = 0;
    bool duplicate = false;
    int result = ForEach<CMaterialItemDB>(db, [&](const tagMATERIALITEMDB& r) {
        highest = std::max(highest, CodeNumber(FieldText(r.ItemNo)));
        const std::string own = FieldText(r.CategoryCode);
        const int ownNumber = own.empty() ? 0 : CodeNumber(own);
        if (ownNumber == categoryNumber && FieldText(r.Name) == bytes) duplicate = true;
    });
    if (result == 0 && duplicate) return EEntryResult::DuplicateName;
    const std::string number = Format(kMaterialItemNoDigits, highest + 1);
    if (result == 0) {
        result = CBaseDBCall::RunInTransaction([&] {
            return InsertRecord<CMaterialItemDB>(db, [&](tagMATERIALITEMDB& r) {
                SetField(r.ItemNo, number.c_str());
                SetField(r.CategoryCode, category.c_str());
                SetCp932Field(r.Name, sizeof r.Name, trimmed);
            });
        });
    }
    if (result != 0) {
        if (status != nullptr) *status = result;
        return EEntryResult::DatabaseError;
    }
    if (itemNo != nullptr) *itemNo = number;
    return EEntryResult::Ok;
}

namespace {

struct CNamedColour {
    const char* name;
    uint32_t bgr;
};
// Pale bar colours that keep black text readable, 0x00BBGGRR.
constexpr CNamedColour kBarColours[] = {
    {"白", 0xFFFFFF}, {"黄", 0x80FFFF}, {"水色", 0xFFFFC0}, {"青", 0xFFC080}, {"緑", 0xC0FFC0},
    {"桃", 0xFF80FF}, {"橙", 0x80C0FF}, {"赤", 0x8080FF},   {"紫", 0xFFC0C0}, {"灰", 0xC0C0C0},
};

QColor FromBgr(uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

}  // namespace

CNewTblItemDlg::CNewTblItemDlg(CVeloDBSys* db, const CMasterTableInfo& info, QWidget* parent)
    : QDialog(parent), m_db(db), m_info(info) {
    setWindowTitle(QString::fromUtf8(info.title));
    setMinimumWidth(340);
    auto* form = new QFormLayout;
    if (info.hasCategory) {
        m_category = new QComboBox(this);
        m_category->setObjectName(QStringLiteral("category"));
        CVeloComDlg::EnumCreditCategory(db, m_category, "");
        form->addRow(QStringLiteral("区分"), m_category);
        connect(m_category, &QComboBox::currentIndexChanged, this,
                &CNewTblItemDlg::OnCategoryChanged);
    }
    m_code = new QLineEdit(this);
    m_code->setObjectName(QStringLiteral("code"));
    m_code->setMaxLength(info.codeDigits);
    m_code->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{1,%1}").arg(info.codeDigits)), m_code));
    form->addRow(QStringLiteral("コード"), m_code);
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("name"));
    form->addRow(QString::fromUtf8(info.nameLabel), m_name);
    if (info.hasColour) {
        m_colour = new QComboBox(this);
        m_colour->setObjectName(QStringLiteral("colour"));
        for (const CNamedColour& colour : kBarColours) {
            QPixmap swatch(16, 16);
            swatch.fill(FromBgr(colour.bgr));
            m_colour->addItem(QIcon(swatch), QString::fromUtf8(colour.name),
                              QVariant::fromValue(colour.bgr));
        }
        form->addRow(QStringLiteral("色"), m_colour);
    }
    if (info.hasPrice) {
        m_price = new QSpinBox(this);
        m_price->setObjectName(QStringLiteral("price"));
        m_price->setRange(0, 99999999);
        m_price->setSuffix(QStringLiteral(" 円"));
        form->addRow(QStringLiteral("金額（税抜）"), m_price);
    }
    QPushButton* ok = nullptr;
    QDialogButtonBox* buttons = MakeOkCancelButtons(this, &ok);
    connect(ok, &QPushButton::clicked, this, &CNewTblItemDlg::OnOK);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    OnCategoryChanged();
    m_name->setFocus();
}

void CNewTblItemDlg::OnCategoryChanged() {
    const QString category =
        m_category != nullptr ? m_category->currentData().toString() : QString();
    m_code->setText(NextMasterCode(m_db, m_info.table, category));
}

void CNewTblItemDlg::SetCategory(const QString& categoryCode) {
    if (m_category == nullptr) return;
    const int index = m_category->findData(categoryCode);
    if (index >= 0) m_category->setCurrentIndex(index);
}

void CNewTblItemDlg::OnOK() {
    if (!CheckStorableEdits(this, windowTitle(), {m_name})) return;
    CMasterEntry entry;
    entry.code = m_code->text();
    entry.name = m_name->text();
    if (m_category != nullptr) entry.category = m_category->currentData().toString();
    if (m_colour != nullptr) entry.colour = m_colour->currentData().toUInt();
    if (m_price != nullptr) entry.price = m_price->value();
    int status = 0;
    const EEntryResult result = AddMasterEntry(m_db, m_info.table, entry, &m_storedCode, &status);
    if (result != EEntryResult::Ok) {
        CMessageService::MessageBox(this, EntryResultMessage(result, status), windowTitle(),
                                    CMessageService::EIcon::Warning);
        if (result == EEntryResult::BadCode || result == EEntryResult::DuplicateCode) {
            m_code->setFocus();
        } else if (result == EEntryResult::NoCategory && m_category != nullptr) {
            m_category->setFocus();
        } else {
            m_name->setFocus();
        }
        return;
    }
    m_storedCategory = entry.category.trimmed();
    accept();
}

CNewMaterialItemDlg::CNewMaterialItemDlg(CVeloDBSys* db, const QString& categoryCode,
                                         QWidget* parent)
    : QDialog(parent), m_db(db), m_categoryCode(categoryCode) {
    setWindowTitle(QStringLiteral("技工物名の追加"));
    QString categoryName = categoryCode.isEmpty() ? QStringLiteral("（区分なし）") : categoryCode;
    CMaterialItemCateDB categories;
    if (!categoryCode.isEmpty() && OpenIn(categories, db) == 0 &&
        categories.GetMaterialItemCateData(categoryCode.toLatin1().constData()) == 0) {
        categoryName = Cp932FieldToQString(categories.m_Data.Name, sizeof categories.m_Data.Name);
    }
    auto* form = new QFormLayout;
    auto* category = new QLabel(categoryName, this);
    category->setObjectName(QStringLiteral("category"));
    form->addRow(QStringLiteral("技工物区分"), category);
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("name"));
    form->addRow(QStringLiteral("技工物名"), m_name);
    QPushButton* ok = nullptr;
    QDialogButtonBox* buttons = MakeOkCancelButtons(this, &ok);
    connect(ok, &QPushButton::clicked, this, &CNewMaterialItemDlg::OnOK);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    m_name->setFocus();
}

void CNewMaterialItemDlg::OnOK() {
    if (!CheckStorableEdits(this, windowTitle(), {m_name})) return;
    int status = 0;
    const EEntryResult result = AddMaterialItem(m_db, m_categoryCode.toLatin1().constData(),
                                                m_name->text(), nullptr, &status);
    if (result != EEntryResult::Ok) {
        CMessageService::MessageBox(this, EntryResultMessage(result, status), windowTitle(),
                                    CMessageService::EIcon::Warning);
        m_name->setFocus();
        return;
    }
    m_addedName = m_name->text().trimmed();
    accept();
}

QString CVeloComDlg::DoGetNewTblItem(CVeloDBSys* db, const char* table, QWidget* parent) {
    const CMasterTableInfo* info = FindMasterTable(table);
    if (info == nullptr) {
        CMessageService::MessageBox(DefaultParent(parent),
                                    EntryResultMessage(EEntryResult::UnknownTable) +
                                        QStringLiteral("\n(%1)").arg(QString::fromLatin1(table)),
                                    QStringLiteral("項目の追加"), CMessageService::EIcon::Warning);
        return QString();
    }
    CNewTblItemDlg dialog(db, *info, DefaultParent(parent));
    if (dialog.exec() != QDialog::Accepted) return QString();
    return dialog.StoredCode();
}

QString CVeloComDlg::OpenNewResReason(CVeloDBSys* db, QWidget* parent) {
    return DoGetNewTblItem(db, "RESREASON", parent);
}

QString CVeloComDlg::DoGetNewStaff(CVeloDBSys* db, QWidget* parent) {
    return DoGetNewTblItem(db, "STAFF", parent);
}

QString CVeloComDlg::GetNewMaterialItem(CVeloDBSys* db, const char* categoryCode, QWidget* parent) {
    CNewMaterialItemDlg dialog(db, QString::fromLatin1(categoryCode != nullptr ? categoryCode : ""),
                               DefaultParent(parent));
    if (dialog.exec() != QDialog::Accepted) return QString();
    return dialog.AddedName();
}
