// The shared part of the sheet's grids: settings read on reload, the off-screen image, the
// scrolling and the keys.
#include "sheet/sheetgridview.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include "suite/comdlg/velocomdlg.h"

namespace velo::sheet {

CSheetGridView::CSheetGridView(CVeloDBSys* db, QWidget* parent)
    : QAbstractScrollArea(parent), m_db(db), m_balloon(this) {
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    horizontalScrollBar()->setSingleStep(kScrollLine);
    verticalScrollBar()->setSingleStep(kScrollLine);
}

CSheetGridView::~CSheetGridView() = default;

void CSheetGridView::SetLayoutMode(int mode) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_layoutMode = mode == 1 ? 1 : 0;
    LoadColumns();
    Reload(false);
    QApplication::restoreOverrideCursor();
}

void CSheetGridView::ReadDisplaySettings() {
    m_settings = ReadSheetSettings();
    const HostSheetProfile profile = ReadHostSheetProfile();
    m_tipKana = profile.tipKana;
    m_timeKana = profile.timeKana;
    m_barItems = LoadBarItems();
    m_balloonItems = LoadBalloonItems();
    m_freeTableNames.clear();
    CVeloComDlg::EnumFreeTblName(m_db, &m_freeTableNames);
    // Columns that could not be read are tried again on every reload.
    if (m_columns.empty() || m_columnFailure.Failed() || m_columnsStale) LoadColumns();
}

void CSheetGridView::LoadColumns() {
    m_columns = LoadColumnEntities(m_db, m_layoutMode, &m_columnFailure);
    m_columnsStale = false;
}

int CSheetGridView::ReloadKeepingPlace(bool columns) {
    const std::string selected = SelectedReservationNo();
    if (columns) m_columnsStale = true;
    const int status = Reload(true);
    if (!selected.empty()) ReselectBar(selected);
    return status;
}

void CSheetGridView::FinishLoad(const ReadFailure& dataFailure) {
    m_loadFailure = m_columnFailure.Failed() ? m_columnFailure : dataFailure;
    emit loadFinished();
}

void CSheetGridView::ResetScroll(bool keepScroll) {
    if (keepScroll) return;
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
}

int CSheetGridView::Vs() const { return verticalScrollBar()->value(); }
int CSheetGridView::Hs() const { return horizontalScrollBar()->value(); }

QImage CSheetGridView::RenderImage() {
    LayoutBars();
    QImage image;
    Render(&image);
    return image;
}

void CSheetGridView::PrepareImage(QImage* image) const {
    const QSize area = viewport()->size();
    const qreal ratio = devicePixelRatioF();
    if (image->size() != area * ratio) {
        *image = QImage(area * ratio, QImage::Format_RGB32);
        image->setDevicePixelRatio(ratio);
    }
    // Beyond the last column and cell the view shows a muted surface, so the grid ends clearly.
    image->fill(palette().color(QPalette::Window).lighter(104));
}

void CSheetGridView::paintEvent(QPaintEvent*) {
    LayoutBars();
    Render(&m_image);
    QPainter painter(viewport());
    painter.drawImage(0, 0, m_image);
}

void CSheetGridView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
    LayoutBars();
}

void CSheetGridView::scrollContentsBy(int, int) {
    LayoutBars();
    viewport()->update();
}

void CSheetGridView::wheelEvent(QWheelEvent* event) {
    verticalScrollBar()->setValue(Vs() - event->angleDelta().y());
    event->accept();
}

void CSheetGridView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();
            return;
        case Qt::Key_Delete:
            emit deleteRequested();
            return;
        case Qt::Key_F5:
            emit refreshRequested();
            return;
        default:
            QAbstractScrollArea::keyPressEvent(event);
    }
}

}  // namespace velo::sheet
