// The dialog "患者合成"; see combinedlg.h.
#include "merger/combinedlg.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "merger/mergertext.h"

namespace unita {

namespace {

// The patient texts line their brackets up by columns, counting a kanji as two: IPAGothic
// (not its proportional sibling) draws ASCII at half the width of a kanji, as the texts
// expect. The system's fixed font stands in when it is missing.
QFont FixedPitchFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (QFontDatabase::hasFamily(QStringLiteral("IPAGothic"))) {
        font = QFont(QStringLiteral("IPAGothic"), font.pointSize());
        font.setStyleHint(QFont::TypeWriter, QFont::PreferMatch);
    }
    return font;
}

template <typename Widget>
Widget* Named(Widget* widget, int id) {
    widget->setObjectName(QString::number(id));
    return widget;
}

QPlainTextEdit* PatientTextBox(int id, const QFont& font) {
    auto* box = Named(new QPlainTextEdit, id);
    box->setReadOnly(true);
    box->setFont(font);
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    const QFontMetrics metrics(font);
    box->setMinimumSize(metrics.horizontalAdvance(QLatin1Char('0')) * 46,
                        metrics.lineSpacing() * 12);
    return box;
}

class CWaitCursor {
public:
    CWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~CWaitCursor() { QApplication::restoreOverrideCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};

}  // namespace

CCombineDlg::CCombineDlg(const SCombineFolders& folders, const std::string& first,
                         const std::string& second, QWidget* parent)
    : QDialog(parent), m_folders(folders), m_first(first), m_second(second) {
    setWindowTitle(QStringLiteral("患者合成"));
    const QFont font = FixedPitchFont();

    m_firstText = PatientTextBox(kIdFirstPatient, font);
    m_secondText = PatientTextBox(kIdSecondPatient, font);
    m_keepFirst = Named(new QRadioButton(QStringLiteral("優先")), kIdKeepFirst);
    m_keepSecond = Named(new QRadioButton(QStringLiteral("優先")), kIdKeepSecond);
    auto* keep = new QButtonGroup(this);
    keep->addButton(m_keepFirst);
    keep->addButton(m_keepSecond);
    m_keepFirst->setChecked(true);
    m_deleteData = Named(new QCheckBox(QStringLiteral("データ削除")), kIdDeleteData);
    m_combine = Named(new QPushButton(QStringLiteral("合成")), kIdCombineOk);
    m_close = Named(new QPushButton(QStringLiteral("閉じる")), kIdCombineClose);
    m_photoMap = Named(new QListWidget, kIdPhotoMap);
    m_analysisMap = Named(new QListWidget, kIdAnalysisMap);
    m_photoMap->hide();
    m_analysisMap->hide();

    auto* patients = new QGridLayout;
    patients->addWidget(m_firstText, 0, 0);
    patients->addWidget(m_keepFirst, 0, 1, Qt::AlignTop);
    patients->addWidget(m_secondText, 1, 0);
    patients->addWidget(m_keepSecond, 1, 1, Qt::AlignTop);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_deleteData);
    buttons->addStretch();
    buttons->addWidget(m_combine);
    buttons->addWidget(m_close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(patients);
    layout->addLayout(buttons);
    layout->addWidget(m_photoMap);
    layout->addWidget(m_analysisMap);

    m_firstText->setPlainText(ReadPatientDescription(m_folders.m_database, m_first));
    m_secondText->setPlainText(ReadPatientDescription(m_folders.m_database, m_second));

    m_combine->setDefault(true);
    connect(m_combine, &QPushButton::clicked, this, &CCombineDlg::OnCombine);
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
}

bool CCombineDlg::Run(const SCombineFolders& folders, const std::string& first,
                      const std::string& second, QWidget* parent) {
    CCombineDlg dialog(folders, first, second, parent);
    return dialog.exec() == QDialog::Accepted;
}

std::string CCombineDlg::KeptIdentifier() const {
    return m_keepSecond->isChecked() ? m_second : m_first;
}

std::string CCombineDlg::AbsorbedIdentifier() const {
    return m_keepSecond->isChecked() ? m_first : m_second;
}

void CCombineDlg::OnCombine() {
    CPatientCombiner combiner(m_folders);
    bool combined = false;
    {
        CWaitCursor wait;
        combined =
            combiner.Combine(KeptIdentifier(), AbsorbedIdentifier(), m_deleteData->isChecked());
    }
    ShowMaps(combiner);
    if (combined) {
        ShowMergerMessage(this, CombineSucceededText());
        accept();
        return;
    }
    // The kept patient may have taken fields before the failure; show both as they are now.
    m_firstText->setPlainText(ReadPatientDescription(m_folders.m_database, m_first));
    m_secondText->setPlainText(ReadPatientDescription(m_folders.m_database, m_second));
    ShowMergerMessage(this, CombineFailedText(), EMergerIcon::Warning);
}

void CCombineDlg::ShowMaps(const CPatientCombiner& combiner) {
    m_photoMap->clear();
    for (const auto& [newNumber, oldNumber] : combiner.PhotoMap().Pairs()) {
        auto* item = new QListWidgetItem(QString::fromStdString(newNumber), m_photoMap);
        item->setData(Qt::UserRole, QString::fromStdString(oldNumber));
    }
    m_analysisMap->clear();
    for (const auto& [newNumber, oldNumber] : combiner.AnalysisMap().Pairs())
        m_analysisMap->addItem(QString::fromStdString(newNumber + oldNumber));
}

}  // namespace unita
