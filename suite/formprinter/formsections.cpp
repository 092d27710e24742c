// Line splitter for the form printer's "[section]" / "key=value" files.
#include "suite/formprinter/formsections.h"

#include <QStringList>

bool SplitFormSections(const QString& text, std::vector<SFormSection>* sections, QString* error) {
    sections->clear();
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        if (i == 0 && line.startsWith(QChar(0xFEFF))) line.remove(0, 1);
        const QString trimmed = line.trimmed();
        const int number = i + 1;
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char(';')) ||
            trimmed.startsWith(QLatin1Char('#'))) {
            continue;
        }
        if (trimmed.startsWith(QLatin1Char('['))) {
            if (!trimmed.endsWith(QLatin1Char(']')) || trimmed.size() < 3) {
                if (error) *error = QStringLiteral("line %1: malformed section header").arg(number);
                return false;
            }
            SFormSection section;
            section.name = trimmed.mid(1, trimmed.size() - 2).trimmed();
            section.line = number;
            sections->push_back(std::move(section));
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0 || line.left(eq).trimmed().isEmpty()) {
            if (error) *error = QStringLiteral("line %1: expected key=value").arg(number);
            return false;
        }
        if (sections->empty()) {
            if (error) *error = QStringLiteral("line %1: key outside a section").arg(number);
            return false;
        }
        sections->back().entries.push_back({line.left(eq).trimmed(), line.mid(eq + 1), number});
    }
    return true;
}

const SFormEntry* FindFormEntry(const SFormSection& section, const QString& key) {
    for (const SFormEntry& entry : section.entries) {
        if (entry.key.compare(key, Qt::CaseInsensitive) == 0) return &entry;
    }
    return nullptr;
}
