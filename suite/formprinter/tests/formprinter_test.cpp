// Tests of page rendering, PDF output and CFormPrinter::OnStart with the lab schedule
// form: texts land in their boxes, long texts stay inside their cells, one PDF page per
// data page, and unreadable files end with a status and a message.
#include "suite/formprinter/formprinter.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <fstream>
#include <regex>

#include "suite/formprinter/formrender.h"
#include "suite/formprinter/tests/sampledata.h"
#include "suite/tool/messageservice.h"

namespace {

const char* const kForm = VELO_SOURCE_DIR "/templates/GikoubutuForm1.frm";
constexpr double kPixelsPerMm = 150 / 25.4;  // a 150 dpi sheet

QApplication& App() {
    static int argc = 1;
    static char name[] = "formprinter_test";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

class FormPrinterTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(ReadFormDefinitionFile(kForm, &m_form, &m_error)) << m_error.toStdString();
        CMessageService::ClearHistory();
    }
    void TearDown() override { CFormPrinter::SetPreviewHookForTesting({}); }

    std::string Path(const char* name) const { return (m_dir.path() + "/" + name).toStdString(); }
    std::string WriteData(const std::vector<SSampleRow>& rows) const {
        const std::string path = Path("_tmpschedule.dat");
        std::ofstream(path, std::ios::binary | std::ios::trunc) << SampleDataFile(rows);
        return path;
    }
    FormData Data(const std::vector<SSampleRow>& rows) {
        FormData data;
        EXPECT_TRUE(ParseFormData(SampleDataFile(rows), &data, &m_error)) << m_error.toStdString();
        return data;
    }
    QImage Render(const FormData& data, int page) const {
        QImage image(qRound(210 * kPixelsPerMm), qRound(297 * kPixelsPerMm), QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        EXPECT_TRUE(RenderForm(painter, m_form, data, page, QStringLiteral("技工物・予定表")));
        return image;
    }

    QTemporaryDir m_dir;
    FormDefinition m_form;
    QString m_error;
};

QRect PixelRect(double x, double y, double w, double h) {
    return QRectF(x * kPixelsPerMm, y * kPixelsPerMm, w * kPixelsPerMm, h * kPixelsPerMm)
        .toAlignedRect();
}

// Dark pixels inside `rect`, shrunk by `inset` pixels on every side to stay off rules.
int DarkPixels(const QImage& image, QRect rect, int inset = 0) {
    rect = rect.adjusted(inset, inset, -inset, -inset).intersected(image.rect());
    int dark = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            if (qGray(image.pixel(x, y)) < 128) ++dark;
        }
    }
    return dark;
}

// The cell of a table line (from 1) and column (from 0), in pixels.
QRect CellRect(const FormTable& t, int line, int column) {
    double x = t.x;
    for (int c = 0; c < column; ++c) x += t.columns[c].width;
    return PixelRect(x, t.y + t.headerHeight + (line - 1) * t.rowHeight, t.columns[column].width,
                     t.rowHeight);
}

int PdfPages(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string pdf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(pdf.rfind("%PDF", 0), 0u);
    const std::regex page("/Type\\s*/Page(?![a-zA-Z])");
    return static_cast<int>(
        std::distance(std::sregex_iterator(pdf.begin(), pdf.end(), page), std::sregex_iterator()));
}

TEST_F(FormPrinterTest, PageOneShowsTitleHeaderTextsAndFilledCellsOnly) {
    const QImage image = Render(Data(SampleRows(3)), 1);
    const FormTextBox& title = m_form.titleBox;
    EXPECT_GT(DarkPixels(image, PixelRect(title.x, title.y, title.width, title.height)), 100);
    for (const FormTextBox& box : m_form.simpleBoxes) {
        EXPECT_GT(DarkPixels(image, PixelRect(box.x, box.y, box.width, box.height)), 20)
            << "Data" << box.data;
    }
    const FormTable& t = m_form.table;
    for (int column = 0; column < static_cast<int>(t.columns.size()); ++column) {
        const bool finished = column == 4;  // line 1 of the sample is not finished
        const int dark = DarkPixels(image, CellRect(t, 1, column), 2);
        if (finished) {
            EXPECT_EQ(dark, 0);
        } else {
            EXPECT_GT(dark, 10) << "column " << column;
        }
        EXPECT_GT(DarkPixels(image, CellRect(t, 2, column), 2), column == 4 ? 10 : 0);
    }
    // Line 4 has only its running number; its item cell stays blank.
    EXPECT_GT(DarkPixels(image, CellRect(t, 4, 0), 2), 5);
    EXPECT_EQ(DarkPixels(image, CellRect(t, 4, 1), 2), 0);
    EXPECT_GT(DarkPixels(image, CellRect(t, 50, 0), 2), 5);
    // The margins stay white.
    EXPECT_EQ(DarkPixels(image, PixelRect(0, 0, 210, 8)), 0);
    EXPECT_EQ(DarkPixels(image, PixelRect(0, 290, 210, 7)), 0);
}

TEST_F(FormPrinterTest, LongTextsStayInsideTheirCells) {
    std::vector<SSampleRow> rows = SampleRows(1);
    rows[0].memo = QStringLiteral("長い備考").repeated(30);
    rows[0].item = QStringLiteral("とても長い技工物の名前").repeated(8);
    rows[0].staff = QStringLiteral("山田");
    const QImage image = Render(Data(rows), 1);
    const FormTable& t = m_form.table;
    const double right = t.x + t.Width();
    EXPECT_EQ(DarkPixels(image, PixelRect(right + 0.5, t.y, 210 - right - 0.5, 20)), 0);
    // The item text ends inside its own cell: the staff cell of line 1 shows only a short
    // name at its left, so its right half stays white.
    const QRect staff = CellRect(t, 1, 2);
    const QRect staffRightHalf(staff.center().x(), staff.top(), staff.width() / 2, staff.height());
    EXPECT_EQ(DarkPixels(image, staffRightHalf, 2), 0);
    EXPECT_GT(DarkPixels(image, CellRect(t, 1, 6), 2), 50);
}

TEST_F(FormPrinterTest, SecondPageCarriesRunningNumbersFromFiftyOne) {
    const FormData data = Data(SampleRows(51));
    const QImage second = Render(data, 2);
    const FormTable& t = m_form.table;
    EXPECT_GT(DarkPixels(second, CellRect(t, 1, 1), 2), 10);
    EXPECT_EQ(DarkPixels(second, CellRect(t, 2, 1), 2), 0);

    QImage image(100, 141, QImage::Format_RGB32);
    QPainter painter(&image);
    EXPECT_FALSE(RenderForm(painter, m_form, data, 0));
    EXPECT_FALSE(RenderForm(painter, m_form, data, 3));
}

TEST_F(FormPrinterTest, PdfHasOnePagePerDataPage) {
    const std::string pdf = Path("out.pdf");
    for (const auto& [rows, pages] :
         {std::pair{0, 1}, std::pair{50, 1}, std::pair{51, 2}, std::pair{101, 3}}) {
        SCOPED_TRACE(rows);
        std::string error;
        ASSERT_EQ(CFormPrinter::PrintToPdf(WriteData(SampleRows(rows)).c_str(), kForm,
                                           "技工物・予定表", pdf.c_str(), &error),
                  CFormPrinter::kOk)
            << error;
        EXPECT_EQ(PdfPages(pdf), pages);
    }
    EXPECT_TRUE(CMessageService::History().isEmpty());
}

TEST_F(FormPrinterTest, PdfThatCannotBeWrittenIsAStatus) {
    const std::string data = WriteData(SampleRows(2));
    const std::string pdf = Path("no-such-folder/out.pdf");
    std::string error;
    EXPECT_EQ(CFormPrinter::PrintToPdf(data.c_str(), kForm, "t", pdf.c_str(), &error),
              CFormPrinter::kOutputFailed);
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(pdf)));
    EXPECT_EQ(CFormPrinter::PrintToPdf(data.c_str(), kForm, "t", "", nullptr),
              CFormPrinter::kOutputFailed);
}

TEST_F(FormPrinterTest, UnreadableFilesGiveAStatusAndAMessage) {
    const std::string data = WriteData(SampleRows(2));
    const std::string missing = Path("missing.dat");
    const std::string broken = Path("broken.frm");
    std::ofstream(broken) << "[Table]\nRows=0\n";

    struct SCase {
        std::string data, form;
        int status;
        std::string named;
    };
    const SCase cases[] = {
        {missing, kForm, CFormPrinter::kDataUnreadable, missing},
        {data, Path("missing.frm"), CFormPrinter::kFormUnreadable, Path("missing.frm")},
        {data, broken, CFormPrinter::kFormUnreadable, broken}};
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.named);
        CMessageService::ClearHistory();
        EXPECT_EQ(CFormPrinter::OnStart(c.data.c_str(), c.form.c_str(), "技工物・予定表", 0),
                  c.status);
        const auto history = CMessageService::History();
        ASSERT_EQ(history.size(), 1);
        EXPECT_TRUE(history[0].text.contains(QString::fromStdString(c.named)));
        EXPECT_EQ(history[0].title, QStringLiteral("技工物・予定表"));
        std::string error;
        EXPECT_EQ(CFormPrinter::PrintToPdf(c.data.c_str(), c.form.c_str(), "t",
                                           Path("x.pdf").c_str(), &error),
                  c.status);
        EXPECT_FALSE(error.empty());
    }
    EXPECT_EQ(CFormPrinter::OnStart(nullptr, nullptr, nullptr, 0), CFormPrinter::kDataUnreadable);
}

TEST_F(FormPrinterTest, OnStartHandsThePagesToThePreviewAndNeverBlocksOffscreen) {
    const std::string data = WriteData(SampleRows(51));
    EXPECT_EQ(CFormPrinter::OnStart(data.c_str(), kForm, "技工物・予定表", 0), CFormPrinter::kOk);
    EXPECT_TRUE(CMessageService::History().isEmpty());

    int calls = 0;
    CFormPrinter::SetPreviewHookForTesting(
        [&](const FormDefinition& form, const FormData& shown, const QString& title) {
            ++calls;
            EXPECT_EQ(form.table.rows, 50);
            EXPECT_EQ(shown.pageCount, 2);
            EXPECT_EQ(shown.pages[1].List(1)->Cell(1, 1), QStringLiteral("51"));
            EXPECT_EQ(title, QStringLiteral("技工物・予定表"));
            return 7;
        });
    EXPECT_EQ(CFormPrinter::OnStart(data.c_str(), kForm, "技工物・予定表", 0), 7);
    EXPECT_EQ(calls, 1);
    // Without a title the form's own one is used.
    EXPECT_EQ(CFormPrinter::OnStart(data.c_str(), kForm, "", 0), 7);
    EXPECT_EQ(calls, 2);
}

}  // namespace
