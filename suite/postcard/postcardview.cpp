// CPostcardView: reading the cards, the messages for nothing to print, and the preview.
#include "suite/postcard/postcardview.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScreen>
#include <mutex>

#include "suite/postcard/postcardlayout.h"
#include "suite/tool/messageservice.h"

namespace {

std::mutex g_hookMutex;
CPostcardView::PreviewHook g_previewHook;

CPostcardView::PreviewHook PreviewHook() {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    return g_previewHook;
}

QString Title() { return QStringLiteral("はがきの印刷"); }

void ShowPreview(const std::vector<CPostcardAddressee>& cards, const CPostcardSender& sender,
                 int mode) {
    // Size and orientation are set one by one: a layout with zero margins as a whole would
    // be refused by a printer that cannot print to the edge. Full-page mode puts the origin
    // at the paper's corner either way, and the card keeps its own margins.
    const QPageLayout layout = PostcardPageLayout();
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(layout.pageSize());
    printer.setPageOrientation(layout.orientation());
    printer.setFullPage(true);
    printer.setDocName(Title());
    QPrintPreviewDialog preview(&printer, QApplication::activeWindow());
    preview.setWindowTitle(Title());
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                     [&](QPrinter* target) {
                         QPainter painter;
                         if (!painter.begin(target)) return;
                         PaintPostcards(painter, *target, cards, sender, mode);
                         painter.end();
                     });
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        preview.resize(screen->availableGeometry().size() * 0.8);
    }
    preview.exec();
}

}  // namespace

int CPostcardView::DoPreview(CVeloDBSys* db, const std::vector<std::string>& patientIds, int mode) {
    std::vector<CPostcardAddressee> cards;
    const int status = ReadPostcardAddressees(db, patientIds, &cards);
    if (status != 0) {
        CMessageService::MessageBox(
            nullptr, QStringLiteral("患者データを読み込めませんでした。\n（状態 %1）").arg(status),
            Title(), CMessageService::EIcon::Warning);
        return 0;
    }
    if (cards.empty()) {
        CMessageService::MessageBox(nullptr, QStringLiteral("はがきを印刷する患者がいません。"),
                                    Title(), CMessageService::EIcon::Information);
        return 0;
    }
    const CPostcardSender sender = ReadPostcardSender();
    if (const CPostcardView::PreviewHook hook = ::PreviewHook()) {
        hook(cards, sender, mode);
    } else if (!CMessageService::IsHeadless()) {
        ShowPreview(cards, sender, mode);
    }
    return static_cast<int>(cards.size());
}

void CPostcardView::SetPreviewHookForTesting(PreviewHook hook) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_previewHook = std::move(hook);
}
