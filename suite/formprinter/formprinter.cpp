// CFormPrinter: loading, the print preview and PDF output.
#include "suite/formprinter/formprinter.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScreen>
#include <mutex>

#include "suite/formprinter/formrender.h"
#include "suite/text/atomicfile.h"
#include "suite/tool/messageservice.h"

namespace {

std::mutex g_hookMutex;
CFormPrinter::PreviewHook g_previewHook;

CFormPrinter::PreviewHook PreviewHook() {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    return g_previewHook;
}

QString PathText(const std::string& path) { return QString::fromLocal8Bit(path.c_str()); }

QPageLayout LayoutOf(const FormDefinition& form) {
    const double w = form.landscape ? form.paperHeight : form.paperWidth;
    const double h = form.landscape ? form.paperWidth : form.paperHeight;
    const QPageSize size(QSizeF(w, h), QPageSize::Millimeter, form.paper);
    return QPageLayout(size, form.landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
}

// Paints every page on a device that has begun with `painter`; `newPage` moves on.
template <typename TDevice>
bool PaintAll(QPainter& painter, TDevice& device, const FormDefinition& form, const FormData& data,
              const QString& title) {
    for (int page = 1; page <= static_cast<int>(data.pages.size()); ++page) {
        if (page > 1 && !device.newPage()) return false;
        if (!RenderForm(painter, form, data, page, title)) return false;
    }
    return true;
}

QString TitleOf(const char* title) { return title ? QString::fromUtf8(title) : QString(); }

}  // namespace

int CFormPrinter::Load(const std::string& dataFile, const std::string& formFile, FormData* data,
                       FormDefinition* form, QString* error) {
    QString reason;
    if (!ReadFormDataFile(dataFile, data, &reason)) {
        if (error) {
            *error = QStringLiteral("帳票データファイルを読み込めませんでした。\n%1\n(%2)")
                         .arg(PathText(dataFile), reason);
        }
        return kDataUnreadable;
    }
    if (!ReadFormDefinitionFile(formFile, form, &reason)) {
        if (error) {
            *error = QStringLiteral("帳票定義ファイルを読み込めませんでした。\n%1\n(%2)")
                         .arg(PathText(formFile), reason);
        }
        return kFormUnreadable;
    }
    return kOk;
}

int CFormPrinter::OnStart(const char* dataFile, const char* formFile, const char* title,
                          int /*flag*/) {
    FormData data;
    FormDefinition form;
    QString error;
    QString caption = TitleOf(title);
    const int status =
        Load(dataFile ? dataFile : "", formFile ? formFile : "", &data, &form, &error);
    if (status != kOk) {
        CMessageService::MessageBox(nullptr, error, caption, CMessageService::EIcon::Warning);
        return status;
    }
    if (caption.isEmpty()) caption = form.title;
    if (const PreviewHook hook = ::PreviewHook()) return hook(form, data, caption);
    if (CMessageService::IsHeadless()) return kOk;

    // Size and orientation are set one by one: a whole layout with zero margins would be
    // refused by a printer that cannot print to the edge. Full-page mode puts the origin at
    // the paper's corner either way, and the form keeps its own margins.
    const QPageLayout layout = LayoutOf(form);
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(layout.pageSize());
    printer.setPageOrientation(layout.orientation());
    printer.setFullPage(true);
    printer.setDocName(caption);
    QPrintPreviewDialog preview(&printer);
    preview.setWindowTitle(caption);
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                     [&](QPrinter* target) {
                         QPainter painter;
                         if (!painter.begin(target)) return;
                         PaintAll(painter, *target, form, data, caption);
                         painter.end();
                     });
    // A sheet should be readable at once; the size also holds where no window manager
    // honours the maximised state.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        preview.resize(screen->availableGeometry().size() * 0.9);
    }
    preview.setWindowState(preview.windowState() | Qt::WindowMaximized);
    preview.exec();
    return kOk;
}

int CFormPrinter::PrintToPdf(const char* dataFile, const char* formFile, const char* title,
                             const char* pdfPath, std::string* error) {
    FormData data;
    FormDefinition form;
    QString reason;
    const int status =
        Load(dataFile ? dataFile : "", formFile ? formFile : "", &data, &form, &reason);
    if (status != kOk) {
        if (error) *error = reason.toStdString();
        return status;
    }
    if (!pdfPath || !*pdfPath) {
        if (error) *error = "no output path";
        return kOutputFailed;
    }

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    bool painted = false;
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(300);
        writer.setTitle(TitleOf(title));
        writer.setCreator(QStringLiteral("FormPrinter"));
        writer.setPageLayout(LayoutOf(form));
        QPainter painter;
        if (painter.begin(&writer)) {
            painted = PaintAll(painter, writer, form, data, TitleOf(title));
            painted = painter.end() && painted;
        }
    }
    if (!painted) {
        if (error) *error = "the pages could not be painted";
        return kOutputFailed;
    }
    std::string writeError;
    if (!WriteFileAtomically(
            pdfPath,
            std::string_view(buffer.data().constData(), static_cast<size_t>(buffer.data().size())),
            &writeError)) {
        if (error) *error = writeError;
        return kOutputFailed;
    }
    return kOk;
}

void CFormPrinter::SetPreviewHookForTesting(PreviewHook hook) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_previewHook = std::move(hook);
}
