// The line structure shared by the form printer's two text files, the form data file and
// the form definition: "[section]" headers and "key=value" lines, read in file order with
// repeated sections kept apart (a data file repeats "[SimpleData]" on every page).
#pragma once

#include <QString>
#include <vector>

struct SFormEntry {
    QString key;    // trimmed
    QString value;  // everything after the first "=", trailing CR removed, blanks kept
    int line = 0;   // 1-based line number, for error messages
};

struct SFormSection {
    QString name;  // the text between the brackets, trimmed
    int line = 0;
    std::vector<SFormEntry> entries;
};

// Splits text into sections. Blank lines and lines starting with ";" or "#" are skipped.
// Returns false and describes the line in `error` when a line is neither a section header
// nor "key=value", or when a key comes before the first section; `sections` then holds
// what was read up to that line.
bool SplitFormSections(const QString& text, std::vector<SFormSection>* sections, QString* error);

// The value of the first entry with that key (ASCII case ignored), or null when absent.
const SFormEntry* FindFormEntry(const SFormSection& section, const QString& key);
