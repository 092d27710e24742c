#include "merger/unitadlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

#include "merger/btrtable.h"
#include "merger/combinedlg.h"
#include "merger/convert.h"
#include "merger/mergertext.h"
#include "merger/mergerun.h"
#include "merger/unitaids.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/xlistctrl.h"

namespace unita {

namespace {

// The list columns: patient ID, kana, name, sex, and the birth date in a hidden column.
struct SColumn {
    const char* m_heading;
    int m_width;
};
constexpr SColumn kColumns[] = {
    {"ID", 80}, {"カナ", 120}, {"患者氏名", 120}, {"性別", 40}, {"", 0}};

QString Id(int id) { return QString::number(id); }

template <typename Widget>
Widget* Named(Widget* widget, int id) {
    widget->setObjectName(Id(id));
    return widget;
}

// The wait cursor for the length of a command.
class CWaitCursor {
public:
    CWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~CWaitCursor() { QApplication::restoreOverrideCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};

// A round mark of the row-mark image list: filled circle with a symbol drawn over it.
QIcon MarkIcon(int size, const QColor& fill, ERowMark mark) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    if (mark == ERowMark::None) return QIcon(pixmap);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawEllipse(QRectF(0.5, 0.5, size - 1.0, size - 1.0));
    QPen pen(Qt::white, std::max(1.5, size / 7.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const double s = size;
    if (mark == ERowMark::Success) {
        painter.drawPolyline(
            QPolygonF{{s * 0.27, s * 0.52}, {s * 0.44, s * 0.70}, {s * 0.74, s * 0.32}});
    } else if (mark == ERowMark::Importing) {
        painter.drawLine(QPointF(s * 0.25, s * 0.5), QPointF(s * 0.72, s * 0.5));
        painter.drawPolyline(
            QPolygonF{{s * 0.52, s * 0.30}, {s * 0.74, s * 0.5}, {s * 0.52, s * 0.70}});
    } else {
        painter.drawLine(QPointF(s * 0.32, s * 0.32), QPointF(s * 0.68, s * 0.68));
        painter.drawLine(QPointF(s * 0.68, s * 0.32), QPointF(s * 0.32, s * 0.68));
    }
    return QIcon(pixmap);
}

}  // namespace

CUnitaDlg::CUnitaDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(ProgramTitle());
    BuildIcons();
    setWindowIcon(m_markIcons[static_cast<int>(ERowMark::Success)]);
    BuildControls();
    CBtrTable::SetReportParent(this);

    SMergeFolders folders;
    DiscoverFolders(&folders);
    SetFolders(folders);
    m_convertCalyx->setChecked(true);
    OnConvertCalyxToggled();
    RefillMergeData();
}

CUnitaDlg::~CUnitaDlg() { CBtrTable::SetReportParent(nullptr); }

void CUnitaDlg::BuildIcons() {
    const int size = std::max(8, style()->pixelMetric(QStyle::PM_LargeIconSize) / 2);
    m_markIcons[0] = MarkIcon(size, Qt::transparent, ERowMark::None);
    m_markIcons[1] = MarkIcon(size, QColor(0x2e, 0x9d, 0x3c), ERowMark::Success);
    m_markIcons[2] = MarkIcon(size, QColor(0xe0, 0x8a, 0x10), ERowMark::Importing);
    m_markIcons[3] = MarkIcon(size, QColor(0xd0, 0x2b, 0x2b), ERowMark::Failure);
}

void CUnitaDlg::BuildControls() {
    auto* top = new QVBoxLayout(this);
    m_convertCalyx =
        Named(new QCheckBox(QStringLiteral("Calyxのデータをコンバートする")), kIdConvertCalyx);
    connect(m_convertCalyx, &QCheckBox::toggled, this, &CUnitaDlg::OnConvertCalyxToggled);
    top->addWidget(m_convertCalyx);

    auto* lists = new QHBoxLayout;
    lists->addWidget(BuildCalyxGroup(), 1);
    lists->addWidget(BuildMergeDataGroup(), 1);
    lists->addWidget(BuildXyloGroup(), 1);
    top->addLayout(lists, 1);
    top->addWidget(BuildSettingsGroup());

    m_status = Named(new QLabel, kIdStatus);
    m_status->setFrameShape(QFrame::StyledPanel);
    m_status->setMinimumHeight(m_status->fontMetrics().height() + 6);
    top->addWidget(m_status);
    auto* bottom = new QHBoxLayout;
    m_progress = Named(new QProgressBar, kIdProgress);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    bottom->addWidget(m_progress, 1);
    bottom->addWidget(new QLabel(QStringLiteral("Unita (Built 120)")));
    top->addLayout(bottom);
}

QLineEdit* CUnitaDlg::AddFolderRow(QGridLayout* grid, int row, const QString& label, int fieldId,
                                   int browseId) {
    auto* edit = Named(new QLineEdit, fieldId);
    auto* browse = Named(new QPushButton(QStringLiteral("…")), browseId);
    browse->setFixedWidth(browse->fontMetrics().horizontalAdvance(QStringLiteral("…")) + 24);
    connect(browse, &QPushButton::clicked, this, [this, fieldId] { OnBrowse(fieldId); });
    grid->addWidget(new QLabel(label), row, 0);
    grid->addWidget(edit, row, 1);
    grid->addWidget(browse, row, 2);
    return edit;
}

QWidget* CUnitaDlg::BuildCalyxGroup() {
    auto* group = new QGroupBox(QStringLiteral("Calyx"));
    auto* layout = new QVBoxLayout(group);
    auto* grid = new QGridLayout;
    AddFolderRow(grid, 0, QStringLiteral("データベース"), kIdCalyxDatabase, kIdCalyxDatabaseBrowse);
    AddFolderRow(grid, 1, QStringLiteral("画像"), kIdCalyxImage, kIdCalyxImageBrowse);
    layout->addLayout(grid);
    auto* buttons = new QHBoxLayout;
    auto* load = Named(new QPushButton(QStringLiteral("読み込み")), kIdCalyxLoad);
    connect(load, &QPushButton::clicked, this, &CUnitaDlg::OnCalyxLoad);
    m_convert = Named(new QPushButton(QStringLiteral("コンバート")), kIdConvert);
    m_convert->setEnabled(false);
    connect(m_convert, &QPushButton::clicked, this, &CUnitaDlg::OnConvert);
    buttons->addWidget(load);
    buttons->addStretch(1);
    buttons->addWidget(m_convert);
    layout->addLayout(buttons);
    layout->addWidget(MakePatientList(kIdCalyxList, &m_calyx), 1);
    return group;
}

QWidget* CUnitaDlg::BuildMergeDataGroup() {
    auto* group = new QGroupBox(QStringLiteral("マージデータ"));
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(MakePatientList(kIdMergeDataList, &m_mergeData), 1);
    auto* combine = Named(new QPushButton(QStringLiteral("患者合成")), kIdCombine);
    connect(combine, &QPushButton::clicked, this, &CUnitaDlg::OnCombine);
    layout->addWidget(combine, 0, Qt::AlignRight);
    return group;
}

QWidget* CUnitaDlg::BuildXyloGroup() {
    auto* group = new QGroupBox(QStringLiteral("Xylo"));
    auto* layout = new QVBoxLayout(group);
    auto* grid = new QGridLayout;
    AddFolderRow(grid, 0, QStringLiteral("データベース"), kIdXyloDatabase, kIdXyloDatabaseBrowse);
    AddFolderRow(grid, 1, QStringLiteral("画像"), kIdXyloImage, kIdXyloImageBrowse);
    AddFolderRow(grid, 2, QStringLiteral("報告書"), kIdXyloReport, kIdXyloReportBrowse);
    AddFolderRow(grid, 3, QStringLiteral("スライドショー"), kIdXyloSlideshow,
                 kIdXyloSlideshowBrowse);
    layout->addLayout(grid);
    auto* load = Named(new QPushButton(QStringLiteral("読み込み")), kIdXyloLoad);
    connect(load, &QPushButton::clicked, this, &CUnitaDlg::OnXyloLoad);
    layout->addWidget(load, 0, Qt::AlignLeft);
    layout->addWidget(MakePatientList(kIdXyloList, &m_xylo), 1);

    auto* legend = new QHBoxLayout;
    const int iconSize = m_markIcons[1].availableSizes().value(0, QSize(16, 16)).width();
    const char* captions[] = {"成功", "取込中", "失敗"};
    for (int mark = 1; mark <= 3; ++mark) {
        auto* icon = new QLabel;
        icon->setPixmap(m_markIcons[mark].pixmap(iconSize, iconSize));
        legend->addWidget(icon);
        legend->addWidget(new QLabel(QString::fromUtf8(captions[mark - 1])));
        legend->addSpacing(8);
    }
    legend->addStretch(1);
    layout->addLayout(legend);

    auto* tablesOnly =
        Named(new QPushButton(QStringLiteral("基本・症例テーブルのみマージ")), kIdMergeTablesOnly);
    connect(tablesOnly, &QPushButton::clicked, this, &CUnitaDlg::OnMergeTablesOnly);
    auto* selected = Named(new QPushButton(QStringLiteral("選択患者のみマージ")), kIdMergeSelected);
    connect(selected, &QPushButton::clicked, this, &CUnitaDlg::OnMergeSelected);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(tablesOnly);
    buttons->addWidget(selected);
    layout->addLayout(buttons);
    return group;
}

QWidget* CUnitaDlg::BuildSettingsGroup() {
    auto* group = new QGroupBox(QStringLiteral("マージ設定"));
    auto* layout = new QHBoxLayout(group);

    auto* folders = new QVBoxLayout;
    auto* grid = new QGridLayout;
    QLineEdit* database = AddFolderRow(grid, 0, QStringLiteral("データベース"), kIdDestDatabase,
                                       kIdDestDatabaseBrowse);
    connect(database, &QLineEdit::textChanged, this, &CUnitaDlg::RefillMergeData);
    AddFolderRow(grid, 1, QStringLiteral("画像"), kIdDestImage, kIdDestImageBrowse);
    AddFolderRow(grid, 2, QStringLiteral("報告書"), kIdDestReport, kIdDestReportBrowse);
    AddFolderRow(grid, 3, QStringLiteral("スライドショー"), kIdDestSlideshow,
                 kIdDestSlideshowBrowse);
    folders->addLayout(grid);
    m_pointCalyx = Named(new QCheckBox(QStringLiteral("Calyxのデータ参照先を新しい参照先に変更")),
                         kIdPointCalyxToMerged);
    m_pointXylo = Named(new QCheckBox(QStringLiteral("Xylo8のデータ参照先を新しい参照先に変更")),
                        kIdPointXyloToMerged);
    folders->addWidget(m_pointCalyx);
    folders->addWidget(m_pointXylo);
    folders->addStretch(1);
    layout->addLayout(folders, 3);

    auto* options = new QVBoxLayout;
    auto* match = new QGroupBox(QStringLiteral("同じ患者のチェック"));
    auto* matchLayout = new QHBoxLayout(match);
    m_matchById = Named(new QRadioButton(QStringLiteral("ID")), kIdMatchById);
    m_matchByIdAndName = Named(new QRadioButton(QStringLiteral("IDと氏名")), kIdMatchByIdAndName);
    m_matchByNameAndBirth =
        Named(new QRadioButton(QStringLiteral("氏名と生年月日")), kIdMatchByNameAndBirth);
    m_matchById->setChecked(true);
    matchLayout->addWidget(m_matchById);
    matchLayout->addWidget(m_matchByIdAndName);
    matchLayout->addWidget(m_matchByNameAndBirth);
    options->addWidget(match);

    auto* same = new QGroupBox(QStringLiteral("同じ患者の場合"));
    auto* sameLayout = new QVBoxLayout(same);
    m_birthXylo = Named(new QCheckBox(QStringLiteral("生年月日はXyloが優先")), kIdBirthDateXylo);
    m_commentXylo = Named(new QCheckBox(QStringLiteral("コメントはXyloが優先")), kIdCommentXylo);
    m_guardianXylo =
        Named(new QCheckBox(QStringLiteral("保護者情報はXyloが優先")), kIdGuardianXylo);
    sameLayout->addWidget(m_birthXylo);
    sameLayout->addWidget(m_commentXylo);
    sameLayout->addWidget(m_guardianXylo);
    options->addWidget(same);
    m_basicXylo =
        Named(new QCheckBox(QStringLiteral("基本テーブルはXyloが優先")), kIdBasicTablesXylo);
    m_caseXylo =
        Named(new QCheckBox(QStringLiteral("症例テーブルはXyloが優先")), kIdCaseTablesXylo);
    options->addWidget(m_basicXylo);
    options->addWidget(m_caseXylo);
    layout->addLayout(options, 2);

    auto* commands = new QVBoxLayout;
    auto* start = Named(new QPushButton(QStringLiteral("マージ開始")), kIdMergeStart);
    connect(start, &QPushButton::clicked, this, &CUnitaDlg::OnMergeStart);
    auto* close = Named(new QPushButton(QStringLiteral("閉じる")), kIdCancel);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    start->setAutoDefault(false);
    close->setAutoDefault(false);
    commands->addWidget(start);
    commands->addWidget(close);
    commands->addStretch(1);
    layout->addLayout(commands);
    return group;
}

CXListCtrl* CUnitaDlg::MakePatientList(int id, SListState* state) {
    auto* list = Named(new CXListCtrl, id);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (const SColumn& column : kColumns) {
        list->InsertColumn(list->GetColumnCount(), QString::fromUtf8(column.m_heading),
                           column.m_width);
    }
    list->setColumnHidden(4, true);
    if (id == kIdXyloList) {
        const int size = m_markIcons[1].availableSizes().value(0, QSize(16, 16)).width();
        list->setIconSize(QSize(size, size));
    }
    list->header()->setSectionsClickable(true);
    list->setToolTip(QString());
    connect(list->header(), &QHeaderView::sectionClicked, this,
            [this, state](int column) { SortByColumn(*state, column); });
    state->m_list = list;
    return list;
}

void CUnitaDlg::ShowRows(SListState& state) {
    CXListCtrl* list = state.m_list;
    list->setUpdatesEnabled(false);
    list->DeleteAllItems();
    const bool marked = &state == &m_xylo;
    state.m_marks.resize(state.m_rows.size(), ERowMark::None);
    for (size_t i = 0; i < state.m_rows.size(); ++i) {
        const SPatientRow& row = state.m_rows[i];
        const int r = list->InsertItem(static_cast<int>(i), row.m_patientId);
        for (int column = 1; column < 5; ++column) {
            list->SetItemText(r, column, ColumnText(row, column));
        }
        list->SetItemData(r, static_cast<quintptr>(row.m_identifier));
        // Tips show the whole text of cells too narrow for it.
        QTreeWidgetItem* item = list->topLevelItem(r);
        for (int column = 0; column < 4; ++column) item->setToolTip(column, item->text(column));
        if (marked) item->setIcon(0, m_markIcons[static_cast<int>(state.m_marks[i])]);
    }
    list->setUpdatesEnabled(true);
}

// Sorts by the clicked column; the same column again reverses the order, another column
// starts ascending. The selection follows its rows and the selected row stays in view.
void CUnitaDlg::SortByColumn(SListState& state, int column) {
    CWaitCursor wait;
    state.m_descending = state.m_sortColumn == column ? !state.m_descending : false;
    state.m_sortColumn = column;
    const std::vector<int> selected = SelectedRows(state);
    const std::vector<int> order = SortedRowOrder(state.m_rows, column, state.m_descending);
    PatientRows rows;
    std::vector<ERowMark> marks;
    std::vector<int> newIndex(order.size());
    state.m_marks.resize(state.m_rows.size(), ERowMark::None);
    for (size_t i = 0; i < order.size(); ++i) {
        rows.push_back(state.m_rows[order[i]]);
        marks.push_back(state.m_marks[order[i]]);
        newIndex[order[i]] = static_cast<int>(i);
    }
    state.m_rows = std::move(rows);
    state.m_marks = std::move(marks);
    ShowRows(state);
    QTreeWidgetItem* current = nullptr;
    for (int old : selected) {
        QTreeWidgetItem* item = state.m_list->topLevelItem(newIndex[old]);
        item->setSelected(true);
        if (current == nullptr) current = item;
    }
    if (current != nullptr) state.m_list->scrollToItem(current);
}

std::vector<int> CUnitaDlg::SelectedRows(const SListState& state) const {
    std::vector<int> rows;
    for (int i = 0; i < state.m_list->GetItemCount(); ++i) {
        if (state.m_list->topLevelItem(i)->isSelected()) rows.push_back(i);
    }
    return rows;
}

QLineEdit* CUnitaDlg::Field(int id) const { return findChild<QLineEdit*>(Id(id)); }

SMergeFolders CUnitaDlg::Folders() const {
    SMergeFolders f;
    f.m_calyxDatabase = Field(kIdCalyxDatabase)->text();
    f.m_calyxImage = Field(kIdCalyxImage)->text();
    f.m_xyloDatabase = Field(kIdXyloDatabase)->text();
    f.m_xyloImage = Field(kIdXyloImage)->text();
    f.m_xyloReport = Field(kIdXyloReport)->text();
    f.m_xyloSlideshow = Field(kIdXyloSlideshow)->text();
    f.m_destDatabase = Field(kIdDestDatabase)->text();
    f.m_destImage = Field(kIdDestImage)->text();
    f.m_destReport = Field(kIdDestReport)->text();
    f.m_destSlideshow = Field(kIdDestSlideshow)->text();
    return f;
}

void CUnitaDlg::SetFolders(const SMergeFolders& f) {
    Field(kIdCalyxDatabase)->setText(f.m_calyxDatabase);
    Field(kIdCalyxImage)->setText(f.m_calyxImage);
    Field(kIdXyloDatabase)->setText(f.m_xyloDatabase);
    Field(kIdXyloImage)->setText(f.m_xyloImage);
    Field(kIdXyloReport)->setText(f.m_xyloReport);
    Field(kIdXyloSlideshow)->setText(f.m_xyloSlideshow);
    Field(kIdDestImage)->setText(f.m_destImage);
    Field(kIdDestReport)->setText(f.m_destReport);
    Field(kIdDestSlideshow)->setText(f.m_destSlideshow);
    Field(kIdDestDatabase)->setText(f.m_destDatabase);
}

ERowMark CUnitaDlg::XyloRowMark(int row) const {
    if (row < 0 || row >= static_cast<int>(m_xylo.m_marks.size())) return ERowMark::None;
    return m_xylo.m_marks[row];
}

void CUnitaDlg::SetStatus(const QString& text) {
    m_status->setText(text);
    m_status->repaint();
}

void CUnitaDlg::SetPosition(int percent) { m_progress->setValue(std::clamp(percent, 0, 100)); }

void CUnitaDlg::MarkXyloRow(int row, ERowMark mark) {
    if (row < 0 || row >= static_cast<int>(m_xylo.m_rows.size())) return;
    m_xylo.m_marks.resize(m_xylo.m_rows.size(), ERowMark::None);
    m_xylo.m_marks[row] = mark;
    if (QTreeWidgetItem* item = m_xylo.m_list->topLevelItem(row)) {
        item->setIcon(0, m_markIcons[static_cast<int>(mark)]);
    }
}

// Repaints only: a click taken here would start a second command inside the running one.
void CUnitaDlg::ProcessPendingEvents() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void CUnitaDlg::OnBrowse(int fieldId) {
    // The browse buttons sit one id above their fields.
    QLineEdit* field = Field(fieldId);
    const QString chosen = CMessageService::GetExistingDirectory(this, QString(), field->text());
    if (chosen.isEmpty()) return;
    if (fieldId != kIdDestDatabase) {
        field->setText(WithTrailingSeparator(chosen));
        return;
    }
    SMergeFolders folders = Folders();
    ApplyDestinationChoice(&folders, chosen);
    SetFolders(folders);
    RefillMergeData();
}

void CUnitaDlg::OnConvertCalyxToggled() {
    const bool on = m_convertCalyx->isChecked();
    for (int id :
         {kIdCalyxLoad, kIdCalyxList, kIdMatchById, kIdMatchByIdAndName, kIdMatchByNameAndBirth,
          kIdBirthDateXylo, kIdCommentXylo, kIdGuardianXylo, kIdBasicTablesXylo, kIdCaseTablesXylo,
          kIdXyloList, kIdMergeSelected, kIdXyloLoad, kIdMergeTablesOnly}) {
        if (QWidget* control = findChild<QWidget*>(Id(id))) control->setEnabled(on);
    }
}

void CUnitaDlg::OnCalyxLoad() {
    CWaitCursor wait;
    const QString folder = WithTrailingSeparator(Field(kIdCalyxDatabase)->text());
    m_calyxNeedsConversion = unita::CalyxNeedsConversion(folder);
    m_calyx.m_rows = LoadPatientRows(
        folder, m_calyxNeedsConversion ? EPatientFile::Old : EPatientFile::Current, true);
    m_calyx.m_marks.clear();
    m_calyx.m_sortColumn = -1;
    ShowRows(m_calyx);
    m_convert->setEnabled(m_calyxNeedsConversion);
    m_calyxLoadedFrom = folder;
}

void CUnitaDlg::OnXyloLoad() {
    CWaitCursor wait;
    const QString folder = Field(kIdXyloDatabase)->text();
    m_xylo.m_rows = LoadPatientRows(folder, EPatientFile::Current, true);
    m_xylo.m_marks.clear();
    m_xylo.m_sortColumn = -1;
    ShowRows(m_xylo);
    m_xyloLoadedFrom = WithTrailingSeparator(folder);
}

// The merges take the records of each listed Xylo patient from the Xylo database folder as
// typed: with a list read from another folder they would file one person's records under
// another's identifier.
bool CUnitaDlg::XyloListFromAnotherFolder() const {
    return m_xyloLoadedFrom.has_value() &&
           *m_xyloLoadedFrom != WithTrailingSeparator(Field(kIdXyloDatabase)->text());
}

void CUnitaDlg::RefillMergeData() {
    m_mergeData.m_rows =
        LoadPatientRows(Field(kIdDestDatabase)->text(), EPatientFile::Current, false);
    m_mergeData.m_sortColumn = -1;
    ShowRows(m_mergeData);
}

void CUnitaDlg::OnConvert() {
    // The conversion empties PATIENT1.BTR of the folder and refills it from the listed
    // patients, so it must work on the folder the list was read from: a folder typed since
    // is loaded first, and converted only when it too has the old format.
    if (WithTrailingSeparator(Field(kIdCalyxDatabase)->text()) != m_calyxLoadedFrom) {
        OnCalyxLoad();
        if (!m_calyxNeedsConversion) return;
    }
    CWaitCursor wait;
    std::vector<long> numbers;
    for (const SPatientRow& row : m_calyx.m_rows)
        numbers.push_back(static_cast<long>(row.m_identifier));
    const SConvertResult result =
        ConvertPatientsInPlace(Field(kIdCalyxDatabase)->text().toStdString(), numbers, *this);
    // The folder now holds the current format: a following merge copies its PATIENT1.BTR
    // instead of converting the old file again.
    if (result.m_complete) {
        m_calyxNeedsConversion = false;
        m_convert->setEnabled(false);
    }
    RefillMergeData();
}

SMergeOptions CUnitaDlg::PatientOptions() const {
    SMergeOptions options;
    options.m_match = m_matchByIdAndName->isChecked()      ? EMatchMode::IdAndName
                      : m_matchByNameAndBirth->isChecked() ? EMatchMode::NameAndBirthDate
                                                           : EMatchMode::Id;
    options.m_birthDateFromXylo = m_birthXylo->isChecked();
    options.m_commentFromXylo = m_commentXylo->isChecked();
    options.m_guardianFromXylo = m_guardianXylo->isChecked();
    return options;
}

STableMergeOptions CUnitaDlg::TableOptions() const {
    STableMergeOptions options;
    options.m_basicFromXylo = m_basicXylo->isChecked();
    options.m_caseFromXylo = m_caseXylo->isChecked();
    return options;
}

void CUnitaDlg::FocusRefusedField(int fieldId) {
    if (QLineEdit* field = Field(fieldId)) {
        field->setFocus();
        field->selectAll();
    }
}

void CUnitaDlg::OnMergeStart() {
    SMergeRunRequest request;
    request.m_folders = Folders();
    if (!DestinationFoldersFilled(request.m_folders)) return;
    request.m_convertCalyx = m_convertCalyx->isChecked();
    // The run converts the Calyx patients by the format and the list of the folder it
    // copies: a list never loaded, or loaded from another folder, is loaded first. (A
    // folder that does not exist is left to the run, which refuses it.)
    const QString calyxFolder = WithTrailingSeparator(request.m_folders.m_calyxDatabase);
    if (request.m_convertCalyx && !calyxFolder.isEmpty() && calyxFolder != m_calyxLoadedFrom &&
        QDir(calyxFolder).exists()) {
        OnCalyxLoad();
    }
    // Likewise the Xylo list, when it was loaded from another folder (a list never loaded
    // stays empty, and the run then merges no Xylo patient).
    const QString xyloFolder = WithTrailingSeparator(request.m_folders.m_xyloDatabase);
    if (request.m_convertCalyx && !xyloFolder.isEmpty() && XyloListFromAnotherFolder() &&
        QDir(xyloFolder).exists()) {
        OnXyloLoad();
    }
    request.m_calyxNeedsConversion = m_calyxNeedsConversion;
    for (const SPatientRow& row : m_calyx.m_rows) {
        request.m_calyxPatients.push_back(static_cast<long>(row.m_identifier));
    }
    request.m_xyloRows = m_xylo.m_rows;
    request.m_options = PatientOptions();
    request.m_tableOptions = TableOptions();
    request.m_writeBack = {m_pointCalyx->isChecked(), m_pointXylo->isChecked()};

    // The run works on its own copy of the fields, with the trailing "/" added; the fields
    // show what it used.
    SMergeFolders shown = request.m_folders;
    AddTrailingSeparators(&shown);
    {
        const QSignalBlocker block(Field(kIdDestDatabase));
        SetFolders(shown);
    }
    for (ERowMark& mark : m_xylo.m_marks) mark = ERowMark::None;
    ShowRows(m_xylo);

    SMergeRunResult result;
    {
        CWaitCursor wait;
        result = RunMerge(request, *this, this);
    }
    if (result.m_outcome == EMergeRunOutcome::Refused) {
        FocusRefusedField(result.m_refusedField);
        return;
    }
    if (result.m_outcome == EMergeRunOutcome::Failed ||
        result.m_outcome == EMergeRunOutcome::Succeeded) {
        m_mergeData.m_rows = result.m_mergeData;
        m_mergeData.m_sortColumn = -1;
        ShowRows(m_mergeData);
    }
}

void CUnitaDlg::OnMergeSelected() {
    SSelectedMergeRequest request;
    request.m_folders = Folders();
    if (!DestinationFoldersFilled(request.m_folders)) return;
    // Loading the list again here would lose the selection and merge rows nobody chose.
    if (XyloListFromAnotherFolder()) {
        ShowMergerMessage(this,
                          QStringLiteral("Xyloのデータベースフォルダが読み込んだときと違います。"
                                         "「読み込み」で患者一覧を読み込み直してから、"
                                         "マージする患者を選んでください。"),
                          EMergerIcon::Warning);
        FocusRefusedField(kIdXyloDatabase);
        return;
    }
    request.m_options = PatientOptions();
    request.m_xyloRows = m_xylo.m_rows;
    request.m_selectedRows = SelectedRows(m_xylo);
    request.m_destinationRows = m_mergeData.m_rows;
    SSelectedMergeResult result;
    {
        CWaitCursor wait;
        result = MergeSelectedPatients(request, *this, this);
    }
    if (result.m_refusedField != 0) {
        FocusRefusedField(result.m_refusedField);
        return;
    }
    if (result.m_ran) RefillMergeData();
}

void CUnitaDlg::OnMergeTablesOnly() {
    const SMergeFolders folders = Folders();
    STablesOnlyResult result;
    {
        CWaitCursor wait;
        result = MergeMasterTablesOnly(folders.m_xyloDatabase, folders.m_destDatabase,
                                       TableOptions(), *this, this);
    }
    if (result.m_refusedField != 0) FocusRefusedField(result.m_refusedField);
}

void CUnitaDlg::OnCombine() {
    const std::vector<int> selected = SelectedRows(m_mergeData);
    if (selected.size() < 2) return;
    SMergeFolders folders = Folders();
    AddTrailingSeparators(&folders);
    const SCombineFolders combine{
        folders.m_destDatabase.toStdString(), folders.m_destImage.toStdString(),
        folders.m_destReport.toStdString(), folders.m_destSlideshow.toStdString()};
    const std::string first =
        IdentifierText(m_mergeData.m_rows[selected[0]].m_identifier).toStdString();
    const std::string second =
        IdentifierText(m_mergeData.m_rows[selected[1]].m_identifier).toStdString();
    if (CCombineDlg::Run(combine, first, second, this)) RefillMergeData();
}

}  // namespace unita
