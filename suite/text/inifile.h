// An ini file in code page 932, edited in place: sections and keys are found without regard
// to ASCII case, and saving keeps comments, blank lines, malformed lines and the order of
// everything it did not change. Parsed files are shared through a small process-wide cache
// that is checked against the file's size, inode and modification time on every load, so
// settings that are read often are parsed once per change of the file.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// One value to store: WriteValues stores a list of them in one rewrite of the file.
struct CIniValue {
    QString section;
    QString key;
    QString value;
};

class CIniFile {
public:
    CIniFile();
    ~CIniFile();
    CIniFile(const CIniFile&);
    CIniFile& operator=(const CIniFile&);

    // Reads the file and remembers its path for Save(error). A missing file loads as an
    // empty one and returns true; returns false (and holds an empty file) only when the
    // file exists but cannot be read.
    bool Load(const std::string& path);
    const std::string& Path() const { return m_path; }

    // The value of the first occurrence of the key in the first section of that name, or
    // `def` when there is none. The blanks around the stored text are not part of the
    // value, and then one pair of double quotes around it is taken off: the line
    // `Key = " a " ` gives the three characters " a ". An existing key with an empty value
    // gives "".
    QString GetString(const QString& section, const QString& key,
                      const QString& def = QString()) const;
    // The value read as an integer the way the classic profile functions do: leading blanks
    // and a sign allowed, "0x" for hexadecimal, the leading number of "12abc" is 12; a
    // value without digits, or a missing key, gives `def`.
    int GetInt(const QString& section, const QString& key, int def) const;
    bool HasSection(const QString& section) const;
    bool HasKey(const QString& section, const QString& key) const;

    // Sets the value, adding the key after the section's last key (or the section at the
    // end of the file). Line breaks in the value become blanks; everything else is kept: a
    // value that starts or ends with a blank, or starts and ends with a double quote, is
    // written in double quotes so that it reads back unchanged. Returns false, changing
    // nothing, when the section or key name cannot be written to an ini file (empty, or
    // holding a line break, "=" in a key, "]" in a section, a key starting with ";" or "[").
    bool SetString(const QString& section, const QString& key, const QString& value);
    bool SetInt(const QString& section, const QString& key, int value);
    // Removes every occurrence of the key in sections of that name.
    void RemoveKey(const QString& section, const QString& key);
    // Removes every section of that name with all its lines (comments included).
    void RemoveSection(const QString& section);

    // Section names in file order, each once, spelled as first seen.
    QStringList Sections() const;
    // Key names of the section in file order, each once.
    QStringList Keys(const QString& section) const;

    // Writes the file atomically (CR LF line ends) to the path it was loaded from / to
    // `path`, which becomes its path. On failure the file on disk is unchanged. A file that
    // other programs change as well is changed through Update instead, or one program's
    // change can be lost to the other's.
    bool Save(std::string* error = nullptr);
    bool Save(const std::string& path, std::string* error = nullptr);

    // One-shot access through the cache: read a value, or load, set and save.
    static QString ReadString(const std::string& path, const QString& section, const QString& key,
                              const QString& def = QString());
    static int ReadInt(const std::string& path, const QString& section, const QString& key,
                       int def);
    static bool WriteString(const std::string& path, const QString& section, const QString& key,
                            const QString& value, std::string* error = nullptr);
    static bool WriteInt(const std::string& path, const QString& section, const QString& key,
                         int value, std::string* error = nullptr);
    // Changes the file as one step under the lock of its folder (CSharedFileLock): reads it
    // from the disk (never from the cache), lets `change` edit it and saves it atomically,
    // so that two programs changing the file at the same moment both keep their changes.
    // `change` returns false to give up, leaving the file as it is (and setting *error when
    // it wants to tell why). Returns false, with the reason in *error when it is not null,
    // when the lock cannot be had, the file exists but cannot be read, `change` gives up or
    // the write fails; the file is then unchanged.
    static bool Update(const std::string& path, const std::function<bool(CIniFile&)>& change,
                       std::string* error = nullptr);
    // Sets every value in order in one Update, so the file holds either all of them or,
    // after any failure (an unreadable file, a name SetString refuses, a failed write), none
    // of them.
    static bool WriteValues(const std::string& path, const std::vector<CIniValue>& values,
                            std::string* error = nullptr);

    // The integer parse of GetInt, for values obtained elsewhere.
    static int ParseInt(const QString& text, int def);
    // Forgets every cached file (tests use it to count parses from a clean state).
    static void ClearCache();
    // How many times a file has been parsed from disk since the process started.
    static long long ParseCount();

    struct SContent;

private:
    SContent& Mutable();

    std::string m_path;
    std::shared_ptr<const SContent> m_content;
};
