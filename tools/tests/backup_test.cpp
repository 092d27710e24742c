// Tests of velodb backup and restore on both engines: a round trip gives back every table
// and file; a backup taken while another program keeps moving an amount between two tables
// restores a state that keeps the sum; damaged, cut, foreign and tampered archives are
// refused without writing anything; a restore refuses a folder in use, on a server or
// holding tables; --keep keeps the newest archives of its own naming; a failed write leaves
// nothing behind.
#include "backup.h"

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "backuparchive.h"
#include "backupstrings.h"
#include "recman/recman.h"
#include "suite/dbcall/catalogue.h"
#include "suite/testsupport/peerprocess.h"
#include "suite/testsupport/testdatabase.h"
#include "suite/text/privatefiles.h"
#include "tablefile.h"
#include "tablesnapshot.h"
#include "tools/tests/transferpair.h"
#include "velodb.h"

namespace velodb {
namespace {

namespace fs = std::filesystem;
using velodb_test::kTransferTotal;

std::string DumpEveryTable(const std::string& folder) {
    std::ostringstream out;
    for (const TableInfo& table : AllTables()) {
        std::string error;
        out << "== " << table.fileName << "\n";
        if (!DumpTable(folder, table.fileName, 0, out, &error)) out << error << "\n";
    }
    return out.str();
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// The folder's files and folders other than its tables, by relative path, with their bytes
// (folders end with "/"). The files a running program keeps there are left out.
std::map<std::string, std::string> FilesOf(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string path = entry.path().lexically_relative(folder).generic_string();
        const std::string name = entry.path().filename().string();
        if (name.starts_with(".recman-") || name == ".velo-files.lock" ||
            name == "velodb.conninfo" || (path == name && name.ends_with(".BTR")))
            continue;
        if (entry.is_symlink())
            files[path] = "link";
        else if (entry.is_directory())
            files[path + "/"] = "";
        else
            files[path] = ReadBytes(entry.path());
    }
    return files;
}

// Copies an archive entry by entry into a new one at `to`, through `change`, which may alter
// an entry's path or bytes or drop it (returning false); `added` entries go at the end.
void RewriteArchive(const std::string& from, const std::string& to,
                    const std::function<bool(std::string* path, std::string* bytes)>& change,
                    const std::map<std::string, std::string>& added = {}) {
    archive* in = archive_read_new();
    archive_read_support_filter_all(in);
    archive_read_support_format_all(in);
    ASSERT_EQ(archive_read_open_filename(in, from.c_str(), 65536), ARCHIVE_OK);
    archive* out = archive_write_new();
    archive_write_add_filter_xz(out);
    archive_write_set_format_gnutar(out);
    ASSERT_EQ(archive_write_open_filename(out, to.c_str()), ARCHIVE_OK);
    auto write = [&](const std::string& path, const std::string& bytes, bool folder) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, path.c_str());
        archive_entry_set_filetype(entry, folder ? AE_IFDIR : AE_IFREG);
        archive_entry_set_perm(entry, 0600);
        archive_entry_set_size(entry, la_int64_t(bytes.size()));
        archive_write_header(out, entry);
        archive_write_data(out, bytes.data(), bytes.size());
        archive_entry_free(entry);
    };
    archive_entry* entry = nullptr;
    while (archive_read_next_header(in, &entry) == ARCHIVE_OK) {
        std::string path = archive_entry_pathname(entry);
        const bool folder = archive_entry_filetype(entry) == AE_IFDIR;
        std::string bytes;
        char chunk[65536];
        for (la_ssize_t n; (n = archive_read_data(in, chunk, sizeof chunk)) > 0;)
            bytes.append(chunk, size_t(n));
        if (change(&path, &bytes)) write(path, bytes, folder);
    }
    for (const auto& [path, bytes] : added) write(path, bytes, false);
    archive_write_free(out);
    archive_read_free(in);
}

class BackupTest : public ::testing::TestWithParam<ETestEngine> {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    void TearDown() override { recman::Shutdown(); }
    std::string Path(const std::string& name) const {
        return m_dir.filePath(QString::fromStdString(name)).toStdString();
    }

    // An empty folder whose tables live on the test's engine, with every table made.
    std::string NewDatabase(const std::string& name) {
        const std::string folder = Path(name);
        fs::create_directories(folder);
        std::string error;
        EXPECT_TRUE(PutTablesOn(GetParam(), folder));
        EXPECT_TRUE(CreateDatabase(folder, false, &error)) << error;
        return folder;
    }

    QTemporaryDir m_dir;
};

TEST_P(BackupTest, ARoundTripGivesBackEveryTableAndFileButNotTheConnectionFile) {
    const std::string clinic = NewDatabase("clinic");
    SDemoOptions demo;
    demo.m_folder = clinic;
    demo.m_patients = 40;
    demo.m_daysBack = 3;
    demo.m_daysAhead = 3;
    demo.m_force = true;
    std::string error;
    ASSERT_TRUE(BuildDemoDatabase(demo, nullptr, nullptr, &error)) << error;
    const std::string tables = DumpEveryTable(clinic);
    ASSERT_EQ(tables.find("there is no"), std::string::npos) << tables.substr(0, 300);
    WriteBytes(fs::path(clinic) / "Mail" / "0000000001.eml", "Subject: reminder\r\n\r\nbody\r\n");
    WriteBytes(fs::path(clinic) / "Photo" / "0000000007" / "横顔.jpg",
               std::string("\xff\xd8\0\x01", 4));
    fs::create_directories(fs::path(clinic) / "Photo" / "empty");
    fs::create_symlink("/etc/hostname", fs::path(clinic) / "outside");

    const std::string archive = Path("clinic.tar.xz");
    std::ostringstream out;
    ASSERT_TRUE(BackupDatabase(clinic, archive, out, &error)) << error;
    EXPECT_NE(out.str().find("outside"), std::string::npos) << "the skipped link is named";

    const std::string restored = Path("restored");
    out.str("");
    ASSERT_TRUE(RestoreDatabase(archive, restored, false, out, &error)) << error;
    EXPECT_NE(out.str().find(BackupText(kIdsRestoreCheckOk)), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("velodb push") != std::string::npos,
              GetParam() == ETestEngine::kServer)
        << out.str();
    EXPECT_FALSE(IsServerFolder(restored));
    EXPECT_TRUE(DumpEveryTable(restored) == tables);
    std::map<std::string, std::string> expected = FilesOf(clinic);
    expected.erase("outside");
    EXPECT_EQ(FilesOf(restored), expected);
    EXPECT_FALSE(fs::exists(fs::path(restored) / "velodb.conninfo"));

    // Over a folder that holds tables only when asked to; then what the folder had and the
    // archive has not (a table, a changed setting) gives way to the archive.
    EXPECT_FALSE(RestoreDatabase(archive, restored, false, out, &error));
    EXPECT_NE(error.find("--force"), std::string::npos) << error;
    recman::Shutdown();
    fs::copy_file(fs::path(restored) / "STAFF.BTR", fs::path(restored) / "EXTRA.BTR");
    WriteBytes(fs::path(restored) / "GlobalSetting.ini", "changed");
    ASSERT_TRUE(RestoreDatabase(archive, restored, true, out, &error)) << error;
    EXPECT_FALSE(fs::exists(fs::path(restored) / "EXTRA.BTR"));
    EXPECT_EQ(FilesOf(restored), expected);
}

TEST_P(BackupTest, ABackupWhileAnotherProgramMovesAmountsRestoresAStateThatKeepsTheSum) {
    const std::string clinic = NewDatabase("clinic");
    ASSERT_EQ(velodb_test::SeedTransferPair(clinic), 0);
    CPeerProcess peer(BACKUP_PEER, {"move", clinic});
    ASSERT_EQ(peer.ReadLine(), "moving");
    constexpr int kBackups = 4;
    std::string error;
    for (int i = 0; i < kBackups; ++i) {
        std::ostringstream out;
        ASSERT_TRUE(BackupDatabase(clinic, Path("b" + std::to_string(i) + ".tar.xz"), out, &error))
            << error;
    }
    peer.Signal(SIGKILL);
    peer.Wait();
    std::set<int32_t> prices;
    for (int i = 0; i < kBackups; ++i) {
        const std::string restored = Path("r" + std::to_string(i));
        std::ostringstream out;
        ASSERT_TRUE(RestoreDatabase(Path("b" + std::to_string(i) + ".tar.xz"), restored, false, out,
                                    &error))
            << error;
        int32_t price = 0, amount = 0;
        ASSERT_EQ(velodb_test::ReadTransferPair(restored, &price, &amount), 0);
        EXPECT_EQ(price + amount, kTransferTotal) << "backup " << i;
        prices.insert(price);
    }
    // The moves went on during the backups: they caught different moments.
    EXPECT_GT(prices.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Engines, BackupTest,
                         ::testing::Values(ETestEngine::kEmbedded, ETestEngine::kServer),
                         TestEngineName);

// A save between the copies of two table files makes the first copy stale: the snapshot sees
// its change counter moved and copies it again.
TEST(TableSnapshotTest, ASaveBetweenTwoCopiesIsCopiedAgainEvenWhenSavesNeverStop) {
    CTestDatabase db("snapshot");
    ASSERT_EQ(db.Error(), "");
    ASSERT_EQ(velodb_test::SeedTransferPair(db.Folder()), 0);
    CCreditItemDB item;
    CRegiDB regi;
    ASSERT_EQ(item.Open(db.Folder()), 0);
    ASSERT_EQ(regi.Open(db.Folder()), 0);
    QTemporaryDir copies;
    const std::vector<std::string> names = {"CREDITITEM.BTR", "REGI.BTR"};

    bool moved = false;
    SetSnapshotCopyHookForTesting([&](const std::string& name) {
        if (name == "CREDITITEM.BTR" && !moved) {
            moved = true;
            ASSERT_EQ(velodb_test::MoveWithinPair(&item, &regi, 300), 0);
        }
    });
    int passes = 0;
    std::string error;
    EXPECT_TRUE(
        SnapshotTableFiles(db.Folder(), names, copies.path().toStdString(), &passes, &error))
        << error;
    EXPECT_EQ(passes, 2);
    int32_t price = 0, amount = 0;
    ASSERT_EQ(velodb_test::ReadTransferPair(copies.path().toStdString(), &price, &amount), 0);
    EXPECT_EQ(price, kTransferTotal - 300);
    EXPECT_EQ(amount, 300);

    // Saves after every copy never let one file after another agree: every file is then
    // held at once for a moment, and the copies show that moment.
    SetSnapshotCopyHookForTesting(
        [&](const std::string&) { ASSERT_EQ(velodb_test::MoveWithinPair(&item, &regi, 1), 0); });
    QTemporaryDir again;
    EXPECT_TRUE(SnapshotTableFiles(db.Folder(), names, again.path().toStdString(), &passes, &error))
        << error;
    EXPECT_GT(passes, 2);
    int32_t nowPrice = 0, nowAmount = 0;
    ASSERT_EQ(velodb_test::ReadTransferPair(db.Folder(), &nowPrice, &nowAmount), 0);
    ASSERT_EQ(velodb_test::ReadTransferPair(again.path().toStdString(), &price, &amount), 0);
    EXPECT_EQ(price, nowPrice);
    EXPECT_EQ(amount, nowAmount);
    SetSnapshotCopyHookForTesting({});
}

class BackupFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(m_db.Error(), "");
        ASSERT_TRUE(m_dir.isValid());
        WriteBytes(fs::path(m_db.Folder()) / "Mail" / "0000000001.eml", std::string(5000, 'm'));
        std::ostringstream out;
        std::string error;
        ASSERT_TRUE(BackupDatabase(m_db.Folder(), Path("good.tar.xz"), out, &error)) << error;
    }
    std::string Path(const std::string& name) const {
        return m_dir.filePath(QString::fromStdString(name)).toStdString();
    }
    // Restores `archive` into a new folder: false, with the message, and nothing written.
    std::string Refusal(const std::string& archive) {
        std::ostringstream out;
        std::string error;
        EXPECT_FALSE(RestoreDatabase(archive, Path("restored"), false, out, &error));
        EXPECT_FALSE(fs::exists(Path("restored"))) << archive;
        return error;
    }

    CTestDatabase m_db{"backupfile"};
    QTemporaryDir m_dir;
};

TEST_F(BackupFileTest, DamagedCutForeignAndTamperedArchivesAreRefusedWithoutWritingAnything) {
    const std::string good = ReadBytes(Path("good.tar.xz"));
    std::string flipped = good;
    flipped[flipped.size() / 2] = char(flipped[flipped.size() / 2] ^ 0x5a);
    WriteBytes(Path("flipped.tar.xz"), flipped);
    // Where the flipped byte lands decides what reading meets first: a broken stream, an
    // entry whose checksum no longer matches, or (the manifest's own bytes hit) no manifest;
    // each is refused, naming what it met.
    const std::string flippedRefusal = Refusal(Path("flipped.tar.xz"));
    EXPECT_TRUE(flippedRefusal.find("壊れて") != std::string::npos ||
                flippedRefusal.find("一致しません") != std::string::npos ||
                flippedRefusal.find("バックアップではありません") != std::string::npos)
        << flippedRefusal;
    WriteBytes(Path("cut.tar.xz"), good.substr(0, good.size() / 2));
    const std::string cutRefusal = Refusal(Path("cut.tar.xz"));
    EXPECT_NE(cutRefusal.find("壊れて"), std::string::npos) << cutRefusal;
    WriteBytes(Path("text.tar.xz"), "not an archive\n");
    EXPECT_NE(Refusal(Path("text.tar.xz")), "");

    // Archives that read well but are not what the manifest lists: each named by its entry.
    const auto rewritten = [&](const std::string& name, auto change,
                               const std::map<std::string, std::string>& added = {}) {
        RewriteArchive(Path("good.tar.xz"), Path(name), change, added);
        return Refusal(Path(name));
    };
    EXPECT_NE(rewritten("foreign.tar.xz",
                        [](std::string* path, std::string*) { return *path != kManifestName; })
                  .find(kManifestName),
              std::string::npos);
    const std::string tampered =
        rewritten("tampered.tar.xz", [](std::string* path, std::string* bytes) {
            if (*path == "Mail/0000000001.eml") (*bytes)[100] = 'x';
            return true;
        });
    EXPECT_NE(tampered.find("Mail/0000000001.eml"), std::string::npos) << tampered;
    EXPECT_NE(tampered.find("SHA-256"), std::string::npos) << tampered;
    const std::string missing = rewritten(
        "missing.tar.xz", [](std::string* path, std::string*) { return *path != "STAFF.BTR"; });
    EXPECT_EQ(missing, BackupText(kIdsRestoreMissing, {"STAFF.BTR"}));
    const std::string extra = rewritten(
        "extra.tar.xz", [](std::string*, std::string*) { return true; }, {{"notes.txt", "x"}});
    EXPECT_EQ(extra, BackupText(kIdsRestoreExtra, {"notes.txt"}));
    const std::string escaping =
        rewritten("escaping.tar.xz", [](std::string*, std::string*) { return true; },
                  {{"../escaped.txt", "x"}});
    EXPECT_EQ(escaping, BackupText(kIdsRestoreUnsafeEntry, {"../escaped.txt"}));
    EXPECT_FALSE(fs::exists(Path("escaped.txt")));
    const std::string journal =
        rewritten("journal.tar.xz", [](std::string*, std::string*) { return true; },
                  {{"STAFF.BTR-journal", "x"}});
    EXPECT_EQ(journal, BackupText(kIdsRestoreUnsafeEntry, {"STAFF.BTR-journal"}));
}

TEST_F(BackupFileTest, ARestoreRefusesAFolderInUseOrOnAServerAndACutRestoreFailsTheCheck) {
    const std::string target = Path("clinic");
    std::string error;
    ASSERT_TRUE(CreateDatabase(target, false, &error)) << error;
    std::ostringstream out;
    {
        CPeerProcess peer(BACKUP_PEER, {"open", target});
        ASSERT_EQ(peer.ReadLine(), "open");
        EXPECT_FALSE(RestoreDatabase(Path("good.tar.xz"), target, true, out, &error));
        EXPECT_NE(error.find(".recman-"), std::string::npos) << error;
        peer.Send("end");
        peer.Wait();
    }
    // A working file its crashed owner left behind does not count as a program using it.
    WriteBytes(fs::path(target) / ".recman-Abc123", "");
    WriteBytes(fs::path(target) / "STAFF.BTR-journal", "left by a crash");
    EXPECT_TRUE(RestoreDatabase(Path("good.tar.xz"), target, true, out, &error)) << error;
    EXPECT_FALSE(fs::exists(fs::path(target) / "STAFF.BTR-journal"));
    EXPECT_EQ(DumpEveryTable(target), DumpEveryTable(m_db.Folder()));

    const std::string server = Path("server");
    WriteBytes(fs::path(server) / recman::kServerConnInfoFile,
               "host=db1.clinic.lan dbname=clinic\n");
    EXPECT_FALSE(RestoreDatabase(Path("good.tar.xz"), server, true, out, &error));
    EXPECT_EQ(error, BackupText(kIdsRestoreServerFolder, {server}));
    EXPECT_FALSE(fs::exists(fs::path(server) / "STAFF.BTR"));

    WriteBytes(fs::path(target) / kRestoreMarkerName, "");
    std::ostringstream checked;
    EXPECT_FALSE(CheckDatabase(target, checked));
    EXPECT_NE(checked.str().find(kRestoreMarkerName), std::string::npos) << checked.str();
}

TEST_F(BackupFileTest, KeepLeavesTheNewestArchivesOfItsNamingAndNothingElse) {
    // Kept inside the database folder, where each backup could take in the ones before it.
    const std::string nightly = (fs::path(m_db.Folder()) / "nightly" / "clinic").string();
    const QDateTime first(QDate(2026, 3, 1), QTime(2, 0, 0));
    std::ostringstream out;
    std::string error;
    ASSERT_TRUE(BackupIntoFolder(m_db.Folder(), nightly, 2, first, out, &error)) << error;
    EXPECT_EQ(fs::status(nightly).permissions() & fs::perms::all,
              fs::perms(privatefiles::FolderMode() & 0777));
    const std::vector<std::string> others = {"notes.txt", "velo-backup-20250101.tar.xz",
                                             "velo-backup-20250101-000000.tar.gz"};
    for (const std::string& name : others) WriteBytes(fs::path(nightly) / name, name);
    for (const char* old :
         {"velo-backup-20250101-000000.tar.xz", "velo-backup-20260201-000000.tar.xz"})
        WriteBytes(fs::path(nightly) / old, "old");

    ASSERT_TRUE(BackupIntoFolder(m_db.Folder(), nightly, 2, first.addDays(1), out, &error))
        << error;
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(nightly))
        names.insert(entry.path().filename().string());
    std::set<std::string> expected(others.begin(), others.end());
    expected.insert({BackupArchiveName(first), BackupArchiveName(first.addDays(1))});
    EXPECT_EQ(names, expected);
    EXPECT_EQ(BackupArchiveName(first), "velo-backup-20260301-020000.tar.xz");
    CArchiveReader reader;
    ASSERT_TRUE(
        reader.Open((fs::path(nightly) / BackupArchiveName(first.addDays(1))).string(), &error));
    std::set<std::string> entries;
    std::string entry;
    for (bool folder, regular; reader.Next(&entry, &folder, &regular, &error) == 1;)
        entries.insert(entry);
    EXPECT_EQ(entries.count("nightly/clinic/notes.txt"), 1u);
    EXPECT_EQ(entries.count("nightly/clinic/" + BackupArchiveName(first)), 0u);

    // Two backups in one second would share a name: the second is refused, nothing removed.
    EXPECT_FALSE(BackupIntoFolder(m_db.Folder(), nightly, 1, first.addDays(1), out, &error));
    EXPECT_TRUE(fs::exists(fs::path(nightly) / BackupArchiveName(first)));
}

TEST_F(BackupFileTest, AWriteThatFailsLeavesTheEarlierArchiveAndNoTemporaryFile) {
    const std::string before = ReadBytes(Path("good.tar.xz"));
    // Bytes that do not compress, so that the archive grows past the failing write.
    std::string photo(300000, '\0');
    std::mt19937 random(7);
    for (char& c : photo) c = char(random());
    WriteBytes(fs::path(m_db.Folder()) / "Photo" / "big.jpg", photo);
    CArchiveWriter::SetWriteHookForTesting([](uint64_t written) { return written < 20000; });
    std::ostringstream out;
    std::string error;
    EXPECT_FALSE(BackupDatabase(m_db.Folder(), Path("good.tar.xz"), out, &error));
    CArchiveWriter::SetWriteHookForTesting({});
    EXPECT_NE(error.find(std::strerror(ENOSPC)), std::string::npos) << error;
    EXPECT_TRUE(ReadBytes(Path("good.tar.xz")) == before);
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(m_dir.path().toStdString()))
        left.insert(entry.path().filename().string());
    EXPECT_EQ(left, std::set<std::string>{"good.tar.xz"});
}

}  // namespace
}  // namespace velodb
