// The reminder mail templates as the template dialog edits them: a working copy of the
// stored templates ("MailTemplate<n>" sections with Title, Subject and Body) and of the
// number of the template the reminder run uses ("Email"/"ReservationTemplate"). Edits,
// additions and deletions stay in the copy until Save writes them all in one replacement
// of the settings file, so a cancelled dialog writes nothing and a failed save leaves the
// file as it was. Save touches only the templates changed here, so another workstation's
// edit of a different template is kept.
#pragma once

#include <QString>
#include <string>
#include <vector>

struct CMailTemplate {
    int number = 0;
    QString title;
    QString subject;
    QString body;
};

class CMailTemplateSet final {
public:
    // Placeholders the reminder run replaces in a template's body, with what they stand for.
    struct Placeholder {
        const char* text;
        const char* meaning;
    };
    static const std::vector<Placeholder>& Placeholders();

    // Reads the stored templates in number order and the chosen number. A stored choice
    // that is empty or not a number reads as none (-1), the way the reminder run reads it.
    void Load();

    const std::vector<CMailTemplate>& Templates() const { return m_templates; }
    // The template with that number, or null.
    const CMailTemplate* Find(int number) const;

    // Adds an empty template titled `title` under the number one above the highest in use
    // (0 when there is none) and returns that number.
    int Add(const QString& title);
    // Changes a template's texts; false when there is no such template. Only a real change
    // marks the set modified.
    bool Edit(int number, const QString& title, const QString& subject, const QString& body);
    // Removes a template; false when there is no such template. When it was the chosen
    // one, no template is chosen any more.
    bool Remove(int number);

    // The number of the template the reminder run uses, -1 for none.
    int Chosen() const { return m_chosen; }
    void SetChosen(int number);

    // True when Save would write anything.
    bool IsModified() const;

    // Writes the changed and added templates, removes the deleted ones and stores the
    // chosen number ("" for none), in one atomic replacement of the settings file. On
    // failure returns false with the reason in *error and changes nothing on disk; the
    // working copy keeps its changes so the save can be tried again.
    bool Save(std::string* error = nullptr);

private:
    CMailTemplate* FindMutable(int number);

    std::vector<CMailTemplate> m_templates;
    std::vector<int> m_changed;  // numbers edited or added since the last load or save
    std::vector<int> m_removed;  // numbers removed since then
    int m_chosen = -1;
    bool m_chosenChanged = false;
};
