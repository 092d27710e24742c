// A second process for the record manager's tests. Modes:
//   hold DIR [commit-after-ms]  begin, insert "held" into DIR/A.BTR, print "ready", then
//                               commit on the line "commit" (or after the delay), print "done"
//   note DIR ID TEXT            sets the note of record ID in DIR/A.BTR and prints "noted"
//   crash DIR TAG N             insert TAG into DIR/A.BTR, B.BTR and C.BTR in one transaction
//                               and kill itself at the Nth file event of the commit; prints
//                               "committed" when the commit ends before event N
//   stall DIR TAG               as crash, but at the first write to a table file of the commit
//                               prints "stalled" and waits for a line; prints "committed" when
//                               done
//   pending DIR TAG             insert TAG into DIR/A.BTR, B.BTR and C.BTR in one transaction,
//                               print "ready" and wait, never committing, until killed
//   stream DIR                  one transaction after another, each inserting the same tag
//                               ("s" and a number from 1) into DIR/A.BTR, B.BTR and C.BTR,
//                               printing "committed N" once commit N returned; on a failure
//                               prints "failed STATUS" and ends
//   move DIR N                  moves amounts between the "acct" records of DIR/A.BTR, B.BTR
//                               and C.BTR, logging each move in DIR/LOG.BTR under an id made
//                               from N, one transaction each, until killed; prints "opened"
//                               once its files are open, or the status of a failed open or
//                               write before it ends
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <random>
#include <string>

#include "recman/recman.h"
#include "recman/tests/testfile.h"

using recman_test::MakeRecord;
using recman_test::Table;

namespace {

int Tx(uint16_t op) {
    uint32_t len = 0;
    return BTRCALL(op, nullptr, nullptr, &len, nullptr, 0, 0);
}

int Hold(const std::string& dir, int commitAfterMs) {
    Table t(dir + "/A.BTR");
    if (t.OpenStatus() != 0 || Tx(recman::kOpBeginTransaction) != 0 || t.Insert(MakeRecord("held")) != 0) {
        std::cout << "failed" << std::endl;
        return 1;
    }
    std::cout << "ready" << std::endl;
    if (commitAfterMs > 0) {
        usleep(commitAfterMs * 1000);
    } else {
        std::string line;
        std::getline(std::cin, line);
        if (line != "commit") {
            Tx(recman::kOpAbortTransaction);
            std::cout << "aborted" << std::endl;
            return 0;
        }
    }
    const int st = Tx(recman::kOpEndTransaction);
    std::cout << (st == 0 ? "done" : "commit failed") << std::endl;
    return st == 0 ? 0 : 1;
}

bool IsTableFile(const char* path) {
    const size_t n = std::strlen(path);
    return n > 4 && std::strcmp(path + n - 4, ".BTR") == 0;
}

// killAt > 0: killed at that event of the commit; killAt == 0: held at its first write to a
// table file, when the super-journal and the first file's journal naming it are on disk.
int Crash(const std::string& dir, const std::string& tag, int killAt) {
    bool armed = false;
    int events = 0;
    recman::testing::SetFileEventHook([&](recman::testing::FileEvent event, const char* path) {
        if (!armed) return true;
        ++events;
        if (killAt > 0 && events == killAt) raise(SIGKILL);
        if (killAt == 0 && event == recman::testing::FileEvent::kWrite && IsTableFile(path)) {
            armed = false;
            std::cout << "stalled" << std::endl;
            std::string line;
            std::getline(std::cin, line);
        }
        return true;
    });
    Table a(dir + "/A.BTR"), b(dir + "/B.BTR"), c(dir + "/C.BTR");
    if (Tx(recman::kOpBeginTransaction) != 0) return 1;
    for (Table* t : {&a, &b, &c})
        if (t->Insert(MakeRecord(tag, "crash", killAt)) != 0) return 1;
    armed = true;
    if (Tx(recman::kOpEndTransaction) != 0) return 1;
    armed = false;
    std::cout << "committed" << std::endl;
    return 0;
}

int Note(const std::string& dir, const std::string& id, const std::string& text) {
    Table t(dir + "/A.BTR");
    if (t.Call(recman::kOpGetEqual, 0, id) != 0) return 1;
    recman_test::Record r = t.Rec();
    std::memset(r.note, 0, sizeof r.note);
    std::strncpy(r.note, text.c_str(), sizeof r.note - 1);
    if (t.Update(r) != 0) return 1;
    std::cout << "noted" << std::endl;
    return 0;
}

int Remove(const std::string& dir, const std::string& id) {
    Table t(dir + "/A.BTR");
    if (t.Call(recman::kOpGetEqual, 0, id) != 0 || t.Delete() != 0) return 1;
    std::cout << "removed" << std::endl;
    return 0;
}

int Pending(const std::string& dir, const std::string& tag) {
    Table a(dir + "/A.BTR"), b(dir + "/B.BTR"), c(dir + "/C.BTR");
    if (Tx(recman::kOpBeginTransaction) != 0) return 1;
    for (Table* t : {&a, &b, &c})
        if (t->Insert(MakeRecord(tag, "pending")) != 0) return 1;
    std::cout << "ready" << std::endl;
    std::string line;
    std::getline(std::cin, line);
    return 0;
}

int Stream(const std::string& dir) {
    Table a(dir + "/A.BTR"), b(dir + "/B.BTR"), c(dir + "/C.BTR");
    for (int n = 1;; ++n) {
        const std::string tag = "s" + std::to_string(n);
        int st = Tx(recman::kOpBeginTransaction);
        for (Table* t : {&a, &b, &c})
            if (st == 0) st = t->Insert(MakeRecord(tag, "stream", n));
        if (st == 0) st = Tx(recman::kOpEndTransaction);
        if (st != 0) {
            Tx(recman::kOpAbortTransaction);
            std::cout << "failed " << st << std::endl;
            return 1;
        }
        std::cout << "committed " << n << std::endl;
    }
}

// Opens the file, again and again while another process holds it.
std::unique_ptr<Table> OpenWhenFree(const std::string& path) {
    for (;;) {
        auto table = std::make_unique<Table>(path);
        if (table->OpenStatus() != recman::kFileLocked) return table;
    }
}

int Move(const std::string& dir, int peer) {
    std::unique_ptr<Table> accounts[] = {OpenWhenFree(dir + "/A.BTR"), OpenWhenFree(dir + "/B.BTR"),
                                         OpenWhenFree(dir + "/C.BTR")};
    std::unique_ptr<Table> log = OpenWhenFree(dir + "/LOG.BTR");
    for (const Table* t : {accounts[0].get(), accounts[1].get(), accounts[2].get(), log.get()}) {
        if (t->OpenStatus() != 0) {
            std::cout << "open " << t->OpenStatus() << std::endl;
            return 1;
        }
    }
    std::cout << "opened" << std::endl;
    std::mt19937 rng{unsigned(peer)};
    const auto add = [](Table& t, int amount) {
        if (int st = t.Call(recman::kOpGetEqual, 0, "acct"); st != 0) return st;
        recman_test::Record r = t.Rec();
        r.number += amount;
        return t.Update(r);
    };
    for (int n = 1;; ++n) {
        const int from = int(rng() % 3), to = (from + 1 + int(rng() % 2)) % 3;
        char id[16];
        std::snprintf(id, sizeof id, "%04d%06d", peer % 10000, n % 1000000);
        const std::string route{char('A' + from), char('A' + to)};
        int st = Tx(recman::kOpBeginTransaction);
        if (st == 0) st = add(*accounts[from], -1);
        if (st == 0) st = add(*accounts[to], 1);
        if (st == 0) st = log->Insert(MakeRecord(id, route, 1));
        if (st == 0) st = Tx(recman::kOpEndTransaction);
        if (st == 0) {
            usleep(rng() % 300);  // gives the others a turn to open and to move
            continue;
        }
        Tx(recman::kOpAbortTransaction);
        // Another process holding a file is part of the game; anything else is not.
        if (st != recman::kFileLocked && st != recman::kRecordLocked) {
            std::cout << "status " << st << std::endl;
            return 1;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "hold" && argc >= 3) return Hold(argv[2], argc > 3 ? std::atoi(argv[3]) : 0);
    if (mode == "note" && argc == 5) return Note(argv[2], argv[3], argv[4]);
    if (mode == "remove" && argc == 4) return Remove(argv[2], argv[3]);
    if (mode == "crash" && argc == 5) return Crash(argv[2], argv[3], std::max(1, std::atoi(argv[4])));
    if (mode == "stall" && argc == 4) return Crash(argv[2], argv[3], 0);
    if (mode == "move" && argc == 4) return Move(argv[2], std::atoi(argv[3]));
    if (mode == "pending" && argc == 4) return Pending(argv[2], argv[3]);
    if (mode == "stream" && argc == 3) return Stream(argv[2]);
    std::cerr << "usage: recman_peer hold DIR [ms] | note DIR ID TEXT | crash DIR TAG N | stall DIR TAG | move DIR N"
                 " | pending DIR TAG | stream DIR\n";
    return 2;
}
