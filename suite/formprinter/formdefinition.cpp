// Parser of the form definition file.
#include "suite/formprinter/formdefinition.h"

#include <QStringList>
#include <algorithm>

#include "suite/formprinter/formdata.h"
#include "suite/formprinter/formsections.h"

namespace {

struct SPaper {
    const char* name;
    double width, height;
};
constexpr SPaper kPapers[] = {{"A3", 297, 420}, {"A4", 210, 297}, {"A5", 148, 210},
                              {"B4", 257, 364}, {"B5", 182, 257}, {"Letter", 215.9, 279.4}};

constexpr double kMaxFontSize = 200;
constexpr int kMaxRows = 999;

class CReader {
public:
    explicit CReader(QString* error) : m_error(error) {}

    bool Fail(const SFormEntry& e, const QString& what) {
        if (m_error)
            *m_error = QStringLiteral("line %1: %2 (%3=%4)").arg(e.line).arg(what, e.key, e.value);
        return false;
    }
    bool Fail(int line, const QString& what) {
        if (m_error) *m_error = QStringLiteral("line %1: %2").arg(line).arg(what);
        return false;
    }

    bool Number(const SFormEntry& e, double min, double max, double* value) {
        bool ok = false;
        const double v = e.value.trimmed().toDouble(&ok);
        if (!ok || v < min || v > max) return Fail(e, QStringLiteral("number out of range"));
        *value = v;
        return true;
    }
    bool Integer(const SFormEntry& e, int min, int max, int* value) {
        bool ok = false;
        const int v = e.value.trimmed().toInt(&ok);
        if (!ok || v < min || v > max) return Fail(e, QStringLiteral("integer out of range"));
        *value = v;
        return true;
    }
    bool Align(const SFormEntry& e, const QString& text, EFormAlign* align) {
        const QString t = text.trimmed();
        if (t.compare(QLatin1String("Left"), Qt::CaseInsensitive) == 0) {
            *align = EFormAlign::Left;
        } else if (t.compare(QLatin1String("Center"), Qt::CaseInsensitive) == 0) {
            *align = EFormAlign::Center;
        } else if (t.compare(QLatin1String("Right"), Qt::CaseInsensitive) == 0) {
            *align = EFormAlign::Right;
        } else {
            return Fail(e, QStringLiteral("alignment must be Left, Center or Right"));
        }
        return true;
    }

    bool TextBox(const SFormSection& s, FormTextBox* box) {
        bool hasBox = false;
        for (const SFormEntry& e : s.entries) {
            if (Is(e, "Box")) {
                const QStringList parts = e.value.split(QLatin1Char(','));
                double v[4] = {};
                bool ok = parts.size() == 4;
                for (int i = 0; ok && i < 4; ++i) v[i] = parts[i].trimmed().toDouble(&ok);
                if (!ok || v[0] < 0 || v[1] < 0 || v[2] <= 0 || v[3] <= 0) {
                    return Fail(e, QStringLiteral("Box needs x,y,width,height"));
                }
                box->x = v[0];
                box->y = v[1];
                box->width = v[2];
                box->height = v[3];
                hasBox = true;
            } else if (Is(e, "FontSize")) {
                if (!Number(e, 1, kMaxFontSize, &box->fontSize)) return false;
            } else if (Is(e, "Bold")) {
                int bold = 0;
                if (!Integer(e, 0, 1, &bold)) return false;
                box->bold = bold != 0;
            } else if (Is(e, "Align")) {
                if (!Align(e, e.value, &box->align)) return false;
            }
        }
        if (!hasBox) return Fail(s.line, QStringLiteral("[%1] has no Box").arg(s.name));
        return true;
    }

    bool Column(const SFormEntry& e, FormColumn* column) {
        const QStringList parts = e.value.split(QLatin1Char(','));
        if (parts.size() != 4)
            return Fail(e, QStringLiteral("column needs title,width,field,align"));
        column->title = parts[0].trimmed();
        bool ok = false;
        column->width = parts[1].trimmed().toDouble(&ok);
        if (!ok || column->width <= 0)
            return Fail(e, QStringLiteral("column width must be positive"));
        column->field = parts[2].trimmed().toInt(&ok);
        if (!ok || column->field < 1 || column->field > 99) {
            return Fail(e, QStringLiteral("column field must be 1 to 99"));
        }
        return Align(e, parts[3], &column->align);
    }

    bool Table(const SFormSection& s, FormTable* table) {
        std::vector<std::pair<int, FormColumn>> columns;
        for (const SFormEntry& e : s.entries) {
            if (Is(e, "List")) {
                if (!Integer(e, 1, 99, &table->list)) return false;
            } else if (Is(e, "X")) {
                if (!Number(e, 0, 10000, &table->x)) return false;
            } else if (Is(e, "Y")) {
                if (!Number(e, 0, 10000, &table->y)) return false;
            } else if (Is(e, "HeaderHeight")) {
                if (!Number(e, 0, 10000, &table->headerHeight)) return false;
            } else if (Is(e, "RowHeight")) {
                if (!Number(e, 0.5, 10000, &table->rowHeight)) return false;
            } else if (Is(e, "Rows")) {
                if (!Integer(e, 1, kMaxRows, &table->rows)) return false;
            } else if (Is(e, "FontSize")) {
                if (!Number(e, 1, kMaxFontSize, &table->fontSize)) return false;
            } else if (Is(e, "HeaderFontSize")) {
                if (!Number(e, 1, kMaxFontSize, &table->headerFontSize)) return false;
            } else if (Is(e, "LineWidth")) {
                if (!Number(e, 0, 5, &table->lineWidth)) return false;
            } else if (Is(e, "HeaderShade")) {
                const QColor c = QColor::fromString(e.value.trimmed());
                if (!c.isValid()) return Fail(e, QStringLiteral("colour must be #rrggbb"));
                table->headerShade = c;
            } else if (e.key.startsWith(QLatin1String("Column"), Qt::CaseInsensitive)) {
                bool ok = false;
                const int n = e.key.mid(6).toInt(&ok);
                if (!ok || n < 1)
                    return Fail(e, QStringLiteral("column keys are Column1, Column2, ..."));
                FormColumn column;
                if (!Column(e, &column)) return false;
                columns.emplace_back(n, column);
            }
        }
        std::sort(columns.begin(), columns.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        for (size_t i = 0; i < columns.size(); ++i) {
            if (columns[i].first != static_cast<int>(i) + 1) {
                return Fail(s.line,
                            QStringLiteral("[Table] columns must be numbered 1, 2, ... once each"));
            }
            table->columns.push_back(columns[i].second);
        }
        if (table->columns.empty()) return Fail(s.line, QStringLiteral("[Table] has no columns"));
        if (table->rows < 1) return Fail(s.line, QStringLiteral("[Table] needs Rows"));
        return true;
    }

    static bool Is(const SFormEntry& e, const char* key) {
        return e.key.compare(QLatin1String(key), Qt::CaseInsensitive) == 0;
    }

private:
    QString* m_error;
};

// Boxes are checked against the paper with a little slack for rounding in the file.
bool Fits(const FormDefinition& f, double x, double y, double w, double h) {
    constexpr double kSlack = 0.01;
    return x + w <= f.paperWidth + kSlack && y + h <= f.paperHeight + kSlack;
}

}  // namespace

double FormTable::Width() const {
    double w = 0;
    for (const FormColumn& c : columns) w += c.width;
    return w;
}

bool ParseFormDefinition(const QString& text, FormDefinition* form, QString* error) {
    *form = FormDefinition();
    std::vector<SFormSection> sections;
    if (!SplitFormSections(text, &sections, error)) return false;
    CReader reader(error);

    for (const SFormSection& s : sections) {
        if (s.name.compare(QLatin1String("Form"), Qt::CaseInsensitive) != 0) continue;
        for (const SFormEntry& e : s.entries) {
            if (CReader::Is(e, "Paper")) {
                const QString name = e.value.trimmed();
                const SPaper* found = nullptr;
                for (const SPaper& p : kPapers) {
                    if (name.compare(QLatin1String(p.name), Qt::CaseInsensitive) == 0) found = &p;
                }
                if (!found) return reader.Fail(e, QStringLiteral("unknown paper"));
                form->paper = QLatin1String(found->name);
                form->paperWidth = found->width;
                form->paperHeight = found->height;
            } else if (CReader::Is(e, "Orientation")) {
                const QString o = e.value.trimmed();
                if (o.compare(QLatin1String("Portrait"), Qt::CaseInsensitive) == 0) {
                    form->landscape = false;
                } else if (o.compare(QLatin1String("Landscape"), Qt::CaseInsensitive) == 0) {
                    form->landscape = true;
                } else {
                    return reader.Fail(e,
                                       QStringLiteral("orientation must be Portrait or Landscape"));
                }
            } else if (CReader::Is(e, "FontFamily")) {
                form->fontFamily = e.value.trimmed();
            } else if (CReader::Is(e, "Title")) {
                form->title = e.value.trimmed();
            }
        }
    }
    if (form->landscape) std::swap(form->paperWidth, form->paperHeight);

    for (const SFormSection& s : sections) {
        if (s.name.compare(QLatin1String("Title"), Qt::CaseInsensitive) == 0) {
            if (!reader.TextBox(s, &form->titleBox)) return false;
            form->hasTitle = true;
            if (!Fits(*form, form->titleBox.x, form->titleBox.y, form->titleBox.width,
                      form->titleBox.height)) {
                return reader.Fail(s.line, QStringLiteral("[Title] lies outside the paper"));
            }
        } else if (s.name.startsWith(QLatin1String("SimpleData"), Qt::CaseInsensitive)) {
            bool ok = false;
            const int n = s.name.mid(10).toInt(&ok);
            if (!ok || n < 1) return reader.Fail(s.line, QStringLiteral("expected [SimpleDataN]"));
            FormTextBox box;
            box.data = n;
            if (!reader.TextBox(s, &box)) return false;
            if (!Fits(*form, box.x, box.y, box.width, box.height)) {
                return reader.Fail(s.line,
                                   QStringLiteral("[%1] lies outside the paper").arg(s.name));
            }
            form->simpleBoxes.push_back(box);
        } else if (s.name.compare(QLatin1String("Table"), Qt::CaseInsensitive) == 0) {
            if (!reader.Table(s, &form->table)) return false;
            form->hasTable = true;
            const FormTable& t = form->table;
            if (!Fits(*form, t.x, t.y, t.Width(), t.Height())) {
                return reader.Fail(s.line, QStringLiteral("[Table] lies outside the paper"));
            }
        }
    }
    return true;
}

bool ReadFormDefinitionFile(const std::string& path, FormDefinition* form, QString* error) {
    *form = FormDefinition();
    std::string bytes;
    if (!ReadSmallFile(path, &bytes, error)) return false;
    return ParseFormDefinition(QString::fromUtf8(bytes), form, error);
}
