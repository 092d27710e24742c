// Tests of the form data parser and the form definition parser, including the lab
// schedule form shipped in templates/.
#include "suite/formprinter/formdata.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "suite/formprinter/formdefinition.h"
#include "suite/formprinter/tests/sampledata.h"

namespace {

FormData Parse(const std::string& bytes) {
    FormData data;
    QString error;
    EXPECT_TRUE(ParseFormData(bytes, &data, &error)) << error.toStdString();
    return data;
}

QString ParseError(const std::string& text) {
    FormData data;
    QString error;
    EXPECT_FALSE(ParseFormData(text, &data, &error)) << text;
    return error;
}

TEST(FormDataTest, EmptyListIsOnePageOfNumberedEmptySlots) {
    const FormData data = Parse(SampleDataFile({}));
    ASSERT_EQ(data.pageCount, 1);
    ASSERT_EQ(data.pages.size(), 1u);
    const FormPage& page = data.pages[0];
    EXPECT_EQ(page.number, 1);
    EXPECT_EQ(page.SimpleData(1), QStringLiteral("2026/12/01現在  1/1"));
    EXPECT_EQ(page.SimpleData(4), QStringLiteral("電話：03-1234-5678"));
    EXPECT_EQ(page.SimpleData(5), QStringLiteral("(2026年12月1日～2026年12月8日)"));
    EXPECT_EQ(page.SimpleData(6), QString());
    ASSERT_NE(page.List(1), nullptr);
    EXPECT_EQ(page.List(2), nullptr);
    const FormList& list = *page.List(1);
    EXPECT_EQ(list.rowCount, 7);
    EXPECT_EQ(list.columnCount, 50);
    ASSERT_EQ(list.SlotCount(), 50);
    for (int slot = 1; slot <= 50; ++slot) {
        EXPECT_EQ(list.Cell(slot, 1), QString::number(slot));
        for (int field = 2; field <= 7; ++field) EXPECT_EQ(list.Cell(slot, field), QString());
    }
}

TEST(FormDataTest, FiftyRowsFillOnePageAndFiftyOneSpillToASecond) {
    const FormData fifty = Parse(SampleDataFile(SampleRows(50)));
    ASSERT_EQ(fifty.pages.size(), 1u);
    EXPECT_EQ(fifty.pages[0].List(1)->Cell(50, 2), QStringLiteral("上顎床装置 50"));
    EXPECT_EQ(fifty.pages[0].List(1)->Cell(50, 7), QStringLiteral("備考50"));

    const FormData data = Parse(SampleDataFile(SampleRows(51)));
    ASSERT_EQ(data.pageCount, 2);
    ASSERT_EQ(data.pages.size(), 2u);
    EXPECT_EQ(data.pages[1].number, 2);
    EXPECT_EQ(data.pages[1].SimpleData(1), QStringLiteral("2026/12/01現在  2/2"));
    const FormList& second = *data.pages[1].List(1);
    EXPECT_EQ(second.Cell(1, 1), QStringLiteral("51"));
    EXPECT_EQ(second.Cell(1, 2), QStringLiteral("上顎床装置 51"));
    EXPECT_EQ(second.Cell(1, 3), QStringLiteral("山田技工所"));
    EXPECT_EQ(second.Cell(1, 4), QStringLiteral("2026/12/07(月) 午前"));
    EXPECT_EQ(second.Cell(1, 6), QStringLiteral("[0000000051]歯科 花子"));
    EXPECT_EQ(second.Cell(2, 1), QStringLiteral("52"));
    EXPECT_EQ(second.Cell(2, 2), QString());
    EXPECT_EQ(second.Cell(50, 1), QStringLiteral("100"));
    // Cells out of the grid read as empty rather than failing.
    EXPECT_EQ(second.Cell(0, 1), QString());
    EXPECT_EQ(second.Cell(51, 1), QString());
    EXPECT_EQ(second.Cell(1, 8), QString());
}

TEST(FormDataTest, LineEndsCommentsAndCaseAreTolerated) {
    const std::string text =
        "; written by hand\n[PAGE]\npagecount=1\n[startpage1]\r\n[simpledata]\ncount=2\n"
        "data1= leading and trailing blanks  \ndata2=a=b\n[endpage1]";
    const FormData data = Parse(text);
    ASSERT_EQ(data.pages.size(), 1u);
    EXPECT_EQ(data.pages[0].SimpleData(1), QStringLiteral(" leading and trailing blanks  "));
    EXPECT_EQ(data.pages[0].SimpleData(2), QStringLiteral("a=b"));
    EXPECT_EQ(data.pages[0].List(1), nullptr);
}

TEST(FormDataTest, BrokenStructureIsRefusedWithAReason) {
    const std::string page1 = "[startpage1]\n[endpage1]\n";
    EXPECT_FALSE(ParseError("").isEmpty());
    EXPECT_FALSE(ParseError("[startpage1]\n[endpage1]\n").isEmpty());  // no [page]
    EXPECT_FALSE(ParseError("[page]\npagecount=0\n" + page1).isEmpty());
    EXPECT_FALSE(ParseError("[page]\npagecount=x\n" + page1).isEmpty());
    EXPECT_FALSE(ParseError("[page]\npagecount=2\n" + page1).isEmpty());  // too few
    EXPECT_FALSE(ParseError("[page]\npagecount=1\n" + page1 + "[startpage2]\n[endpage2]\n")
                     .isEmpty());                                               // too many
    EXPECT_FALSE(ParseError("[page]\npagecount=1\n[startpage1]\n").isEmpty());  // not closed
    EXPECT_FALSE(ParseError("[page]\npagecount=2\n[startpage2]\n[endpage2]\n"
                            "[startpage1]\n[endpage1]\n")
                     .isEmpty());  // out of order
    EXPECT_FALSE(ParseError("[page]\npagecount=1\n[startpage1]\n[endpage2]\n").isEmpty());
    EXPECT_TRUE(ParseError("[page]\npagecount=1\n[startpage1]\njunk line\n[endpage1]\n")
                    .contains(QStringLiteral("line 4")));
}

TEST(FormDataTest, UnreadableFilesGiveAReason) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    FormData data;
    QString error;
    EXPECT_FALSE(ReadFormDataFile((dir.path() + QStringLiteral("/missing.dat")).toStdString(),
                                  &data, &error));
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    EXPECT_FALSE(ReadFormDataFile(dir.path().toStdString(), &data, &error));
    EXPECT_FALSE(error.isEmpty());

    const std::string path = (dir.path() + QStringLiteral("/ok.dat")).toStdString();
    std::ofstream(path, std::ios::binary) << SampleDataFile(SampleRows(3));
    EXPECT_TRUE(ReadFormDataFile(path, &data, &error)) << error.toStdString();
    EXPECT_EQ(data.pages[0].List(1)->Cell(3, 2), QStringLiteral("上顎床装置 3"));
}

TEST(FormDefinitionTest, LabScheduleFormHoldsFiftyLinesOnA4Portrait) {
    for (const std::string& path :
         {std::string(VELO_SOURCE_DIR "/templates/GikoubutuForm1.frm"),
          std::string(VELO_BINARY_DIR "/bin/templates/GikoubutuForm1.frm"),
          std::string(VELO_BINARY_DIR "/tests/templates/GikoubutuForm1.frm")}) {
        SCOPED_TRACE(path);
        FormDefinition form;
        QString error;
        ASSERT_TRUE(ReadFormDefinitionFile(path, &form, &error)) << error.toStdString();
        EXPECT_EQ(form.paper, QStringLiteral("A4"));
        EXPECT_FALSE(form.landscape);
        EXPECT_DOUBLE_EQ(form.paperWidth, 210);
        EXPECT_DOUBLE_EQ(form.paperHeight, 297);
        EXPECT_TRUE(form.hasTitle);
        std::vector<int> shown;
        for (const FormTextBox& box : form.simpleBoxes) shown.push_back(box.data);
        std::sort(shown.begin(), shown.end());
        EXPECT_EQ(shown, (std::vector<int>{1, 2, 3, 4, 5}));
        ASSERT_TRUE(form.hasTable);
        EXPECT_EQ(form.table.list, 1);
        EXPECT_EQ(form.table.rows, 50);
        QStringList titles;
        std::vector<int> fields;
        for (const FormColumn& c : form.table.columns) {
            titles << c.title;
            fields.push_back(c.field);
        }
        EXPECT_EQ(titles.join(QLatin1Char('|')),
                  QStringLiteral("No.|予定|スタッフ・外注先|完成予定日|完成日|患者|備考"));
        EXPECT_EQ(fields, (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
        // Everything stays inside a 5 mm border that any printer can reach.
        EXPECT_GE(form.table.x, 5);
        EXPECT_LE(form.table.x + form.table.Width(), form.paperWidth - 5);
        EXPECT_LE(form.table.y + form.table.Height(), form.paperHeight - 5);
        for (const FormTextBox& box : form.simpleBoxes) {
            EXPECT_LE(box.y + box.height, form.table.y)
                << "box " << box.data << " overlaps the table";
        }
    }
}

FormDefinition ParseForm(const QString& text, bool ok, QString* error = nullptr) {
    FormDefinition form;
    QString reason;
    EXPECT_EQ(ParseFormDefinition(text, &form, &reason), ok) << reason.toStdString();
    if (error) *error = reason;
    return form;
}

TEST(FormDefinitionTest, OrientationAndColumnsAreRead) {
    const FormDefinition form =
        ParseForm(QStringLiteral("[Form]\nPaper=b5\nOrientation=Landscape\n"
                                 "[Table]\nX=5\nY=5\nRows=3\nRowHeight=10\nColumn2=二,20,3,Center\n"
                                 "Column1=一,10,1,right\nHeaderShade=#ff0000\n"),
                  true);
    EXPECT_EQ(form.paper, QStringLiteral("B5"));
    EXPECT_TRUE(form.landscape);
    EXPECT_DOUBLE_EQ(form.paperWidth, 257);
    EXPECT_DOUBLE_EQ(form.paperHeight, 182);
    ASSERT_EQ(form.table.columns.size(), 2u);
    EXPECT_EQ(form.table.columns[0].title, QStringLiteral("一"));
    EXPECT_EQ(form.table.columns[0].align, EFormAlign::Right);
    EXPECT_EQ(form.table.columns[1].field, 3);
    EXPECT_EQ(form.table.headerShade, QColor(255, 0, 0));
    EXPECT_DOUBLE_EQ(form.table.Height(), 6 + 30);
}

TEST(FormDefinitionTest, MistakesAreRefusedWithTheLine) {
    QString error;
    ParseForm(QStringLiteral("[Form]\nPaper=A9\n"), false, &error);
    EXPECT_TRUE(error.contains(QStringLiteral("line 2")));
    ParseForm(QStringLiteral("[Title]\nBox=200,10,20,5\n"), false, &error);  // off the paper
    ParseForm(QStringLiteral("[Title]\nBox=10,10,20\n"), false, &error);
    ParseForm(QStringLiteral("[Title]\nFontSize=10\n"), false, &error);  // no box
    ParseForm(QStringLiteral("[SimpleData1]\nBox=1,1,5,5\nAlign=Middle\n"), false, &error);
    ParseForm(QStringLiteral("[SimpleDataX]\nBox=1,1,5,5\n"), false, &error);
    ParseForm(QStringLiteral("[Table]\nRows=2\nColumn1=a,10,1,Left\nColumn3=b,10,2,Left\n"), false,
              &error);  // gap in the numbering
    ParseForm(QStringLiteral("[Table]\nRows=2\nColumn1=a,10,0,Left\n"), false, &error);
    ParseForm(QStringLiteral("[Table]\nRows=2\n"), false, &error);               // no columns
    ParseForm(QStringLiteral("[Table]\nColumn1=a,10,1,Left\n"), false, &error);  // no rows
    ParseForm(QStringLiteral("[Table]\nY=10\nRows=100\nRowHeight=5\nColumn1=a,10,1,Left\n"), false,
              &error);  // runs off the bottom
    EXPECT_TRUE(error.contains(QStringLiteral("outside")));
}

}  // namespace
