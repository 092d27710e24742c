// Tests of CIniFile: lookup rules, preservation on save, atomic save and the parse cache.
#include "suite/text/inifile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "suite/text/atomicfile.h"
#include "suite/text/cp932.h"

namespace {

class IniFileTest : public ::testing::Test {
protected:
    void TearDown() override { SetAtomicWriteHookForTesting(nullptr); }

    std::string PathOf(const char* name) const { return m_dir.filePath(name).toStdString(); }

    static void WriteRaw(const std::string& path, const std::string& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    static std::string ReadRaw(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    QTemporaryDir m_dir;
};

TEST_F(IniFileTest, SectionsAndKeysIgnoreCaseAndValuesKeepOnlyTheirOwnBlanks) {
    const std::string path = PathOf("a.ini");
    WriteRaw(path,
             "[Global]\nTimeSpan =  20 \r\n[GLOBAL]\nOther=1\n[mente]\nShow12or24=0\n"
             "Quoted = \" subject \" \nHalf=\"open\n");
    CIniFile ini;
    ASSERT_TRUE(ini.Load(path));
    EXPECT_EQ(ini.GetInt("GLOBAL", "timespan", 15), 20);
    EXPECT_EQ(ini.GetString("global", "TIMESPAN"), "20");
    EXPECT_EQ(ini.GetInt("MENTE", "SHOW12OR24", 1), 0);
    EXPECT_EQ(ini.GetInt("MENTE", "Missing", 7), 7);
    EXPECT_EQ(ini.Sections(), QStringList({"Global", "mente"}));
    EXPECT_EQ(ini.Keys("global"), QStringList({"TimeSpan", "Other"}));
    // Blanks around the stored text are the file's; quotes keep the value's own.
    EXPECT_EQ(ini.GetString("mente", "Quoted"), " subject ");
    EXPECT_EQ(ini.GetString("mente", "Half"), "\"open");

    // Written and read back unchanged, whatever blanks and quotes a value has; values that
    // need no quotes are written as older workstations write them.
    const QString values[] = {"  lead", "trail\t",    "\"both\"",
                              "\"",     "\"\"",       " \"inner\" ",
                              "",       "plain text", QStringLiteral("　全角　")};
    for (const QString& value : values) {
        ASSERT_TRUE(CIniFile::WriteString(path, "S", "K", value)) << value.toStdString();
        CIniFile::ClearCache();
        EXPECT_EQ(CIniFile::ReadString(path, "S", "K", "missing"), value) << value.toStdString();
    }
    ASSERT_TRUE(CIniFile::WriteString(path, "S", "K", "plain text"));
    EXPECT_NE(ReadRaw(path).find("\r\nK=plain text\r\n"), std::string::npos);
    ASSERT_TRUE(CIniFile::WriteString(path, "S", "K", " x"));
    EXPECT_NE(ReadRaw(path).find("\r\nK=\" x\"\r\n"), std::string::npos);
}

TEST_F(IniFileTest, IntegerParsingFollowsProfileRules) {
    EXPECT_EQ(CIniFile::ParseInt("42", 0), 42);
    EXPECT_EQ(CIniFile::ParseInt("-17", 0), -17);
    EXPECT_EQ(CIniFile::ParseInt("+5", 0), 5);
    EXPECT_EQ(CIniFile::ParseInt("0xAAAAFF", 0), 0xAAAAFF);
    EXPECT_EQ(CIniFile::ParseInt("0XffFFffFF", 0), -1);
    EXPECT_EQ(CIniFile::ParseInt("12abc", 0), 12);
    EXPECT_EQ(CIniFile::ParseInt("0x", 9), 0);
    EXPECT_EQ(CIniFile::ParseInt("abc", 9), 9);
    EXPECT_EQ(CIniFile::ParseInt("", 9), 9);
    EXPECT_EQ(CIniFile::ParseInt("-", 9), 9);
    EXPECT_EQ(CIniFile::ParseInt("99999999999", 0), 2147483647);
}

TEST_F(IniFileTest, SaveKeepsCommentsMalformedLinesAndOrder) {
    const std::string path = PathOf("keep.ini");
    const std::string original =
        "; top comment\n"
        "orphan line without equals\n"
        "[Sec\n"
        "[First]\n"
        "A=1\n"
        "\n"
        "; inner comment\n"
        "junk\n"
        "B=2\n"
        "\n"
        "[Second]\n"
        "C=3\n";
    WriteRaw(path, original);
    CIniFile ini;
    ASSERT_TRUE(ini.Load(path));
    EXPECT_FALSE(ini.HasSection("Sec"));
    ini.SetString("first", "b", QStringLiteral("二"));
    ini.SetInt("First", "New", 5);
    ini.SetString("Third", "D", "4");
    std::string error;
    ASSERT_TRUE(ini.Save(&error)) << error;

    const std::string expected =
        "; top comment\r\n"
        "orphan line without equals\r\n"
        "[Sec\r\n"
        "[First]\r\n"
        "A=1\r\n"
        "\r\n"
        "; inner comment\r\n"
        "junk\r\n"
        "B=" +
        QStringToCp932(QStringLiteral("二")) +
        "\r\n"
        "New=5\r\n"
        "\r\n"
        "[Second]\r\n"
        "C=3\r\n"
        "[Third]\r\n"
        "D=4\r\n";
    EXPECT_EQ(ReadRaw(path), expected);
}

TEST_F(IniFileTest, RemoveKeyAndSectionAndRejectUnwritableNames) {
    CIniFile ini;
    ASSERT_TRUE(ini.Load(PathOf("missing.ini")));
    EXPECT_TRUE(ini.Sections().isEmpty());
    EXPECT_TRUE(ini.SetString("S", "K", "v"));
    EXPECT_TRUE(ini.SetString("S", "L", "line1\nline2"));
    EXPECT_EQ(ini.GetString("S", "L"), "line1 line2");
    EXPECT_FALSE(ini.SetString("S", "a=b", "x"));
    EXPECT_FALSE(ini.SetString("S]", "k", "x"));
    EXPECT_FALSE(ini.SetString("", "k", "x"));
    EXPECT_FALSE(ini.SetString("S", ";k", "x"));
    ini.RemoveKey("s", "k");
    EXPECT_FALSE(ini.HasKey("S", "K"));
    EXPECT_TRUE(ini.HasKey("S", "L"));
    ini.RemoveSection("s");
    EXPECT_TRUE(ini.Sections().isEmpty());
}

TEST_F(IniFileTest, FailedWriteLeavesOldContent) {
    const std::string path = PathOf("atomic.ini");
    WriteRaw(path, "[S]\nK=old\n");
    for (EAtomicWriteStep failing : {EAtomicWriteStep::CreateTemp, EAtomicWriteStep::Write,
                                     EAtomicWriteStep::Sync, EAtomicWriteStep::Rename}) {
        SetAtomicWriteHookForTesting(
            [failing](EAtomicWriteStep step, const std::string&) { return step != failing; });
        std::string error;
        EXPECT_FALSE(CIniFile::WriteString(path, "S", "K", "new", &error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(ReadRaw(path), "[S]\nK=old\n");
        EXPECT_EQ(CIniFile::ReadString(path, "S", "K"), "old");
    }
    SetAtomicWriteHookForTesting(nullptr);
    // Several values go in together or not at all: a refused name stops every one of them.
    std::string error;
    EXPECT_FALSE(CIniFile::WriteValues(path, {{"S", "K", "new"}, {"S", "a=b", "x"}}, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadRaw(path), "[S]\nK=old\n");
    // No temporary file is left behind.
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList({"atomic.ini"}));
    EXPECT_TRUE(CIniFile::WriteString(path, "S", "K", "new"));
    EXPECT_EQ(CIniFile::ReadString(path, "S", "K"), "new");
}

TEST_F(IniFileTest, SaveThroughSymlinkKeepsTheLink) {
    const std::string real = PathOf("real.ini");
    const std::string link = PathOf("link.ini");
    WriteRaw(real, "[S]\nK=1\n");
    ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
    ASSERT_TRUE(CIniFile::WriteInt(link, "S", "K", 2));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(CIniFile::ReadInt(real, "S", "K", 0), 2);
}

TEST_F(IniFileTest, UnreadableFileFailsToLoadButMissingFileIsEmpty) {
    EXPECT_TRUE(CIniFile().Load(PathOf("nope.ini")));
    EXPECT_FALSE(CIniFile().Load(m_dir.path().toStdString()));  // a folder, not a file
    EXPECT_EQ(CIniFile::ReadInt(m_dir.path().toStdString(), "S", "K", 3), 3);
}

TEST_F(IniFileTest, CacheParsesOnceAndSeesExternalChanges) {
    const std::string path = PathOf("cache.ini");
    WriteRaw(path, "[S]\nK=1\n");
    CIniFile::ClearCache();
    const long long before = CIniFile::ParseCount();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(CIniFile::ReadInt(path, "S", "K", 0), 1);
    EXPECT_EQ(CIniFile::ParseCount() - before, 1);

    // Replaced by another program (new inode), then rewritten in place with a new size.
    const std::string other = PathOf("other.ini");
    WriteRaw(other, "[S]\nK=2\n");
    ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
    EXPECT_EQ(CIniFile::ReadInt(path, "S", "K", 0), 2);
    WriteRaw(path, "[S]\nK=333\n");
    EXPECT_EQ(CIniFile::ReadInt(path, "S", "K", 0), 333);

    // Our own save primes the cache: reading back does not parse again.
    ASSERT_TRUE(CIniFile::WriteInt(path, "S", "K", 4));
    const long long afterSave = CIniFile::ParseCount();
    EXPECT_EQ(CIniFile::ReadInt(path, "S", "K", 0), 4);
    EXPECT_EQ(CIniFile::ParseCount(), afterSave);

    // A removed file reads as empty.
    std::remove(path.c_str());
    EXPECT_EQ(CIniFile::ReadInt(path, "S", "K", -1), -1);
}

TEST_F(IniFileTest, LoadedCopiesAreIndependent) {
    const std::string path = PathOf("cow.ini");
    WriteRaw(path, "[S]\nK=1\n");
    CIniFile a;
    CIniFile b;
    ASSERT_TRUE(a.Load(path));
    ASSERT_TRUE(b.Load(path));
    a.SetInt("S", "K", 2);
    EXPECT_EQ(b.GetInt("S", "K", 0), 1);
    EXPECT_EQ(CIniFile::ReadInt(path, "S", "K", 0), 1);
}

TEST_F(IniFileTest, UnconvertibleBytesOfUntouchedLinesSurviveSave) {
    const std::string path = PathOf("bytes.ini");
    const std::string odd = "Name=\xFD\xFE\x82\xA0\n";
    WriteRaw(path, "[S]\n" + odd);
    ASSERT_TRUE(CIniFile::WriteInt(path, "S", "Other", 1));
    EXPECT_EQ(ReadRaw(path), "[S]\r\nName=\xFD\xFE\x82\xA0\r\nOther=1\r\n");
}

}  // namespace
