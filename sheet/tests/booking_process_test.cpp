// Saving reservations from two workstations at once, and a workstation killed while it
// saves: the column never ends up double-booked, and a reservation with its collected fee
// is in the files whole or not at all.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "recman/recman.h"
#include "sheet/bookingstrings.h"
#include "sheet/reservation.h"
#include "suite/dbcall/indexcontroldb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/dbcall/saledb.h"
#include "suite/testsupport/testdatabase.h"

namespace velo::sheet {
namespace {

// The peer program with its standard input and output on pipes.
class Peer {
public:
    explicit Peer(std::vector<std::string> args) {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            close(in[1]);
            close(out[0]);
            std::vector<char*> argv;
            static std::string peer = BOOKING_PEER;
            argv.push_back(peer.data());
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        m_in = fdopen(in[1], "w");
        m_out = fdopen(out[0], "r");
    }
    ~Peer() {
        if (m_in) fclose(m_in);
        if (m_out) fclose(m_out);
        if (m_pid > 0 && !m_waited) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    std::string ReadLine() {
        char buf[256];
        if (!m_out || !fgets(buf, sizeof buf, m_out)) return "";
        std::string s(buf);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        return s;
    }
    void Send(const std::string& line) {
        fprintf(m_in, "%s\n", line.c_str());
        fflush(m_in);
    }
    int Wait() {
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_waited = true;
        return status;
    }

private:
    pid_t m_pid = -1;
    FILE* m_in = nullptr;
    FILE* m_out = nullptr;
    bool m_waited = false;
};

class BookingProcessTest : public DbFolderTest {
protected:
    int Count(CBaseDBCall& table) {
        EXPECT_EQ(table.SetAssociatedDB(&m_db), 0);
        int count = 0;
        for (int st = table.GetFIRST(); st == 0 && !table.IsEOF(); st = table.GetNEXT()) ++count;
        table.Close();
        return count;
    }
    int LiveInBand(int start, int end) {
        CReservationDB reservations;
        EXPECT_EQ(reservations.SetAssociatedDB(&m_db), 0);
        int count = 0;
        EXPECT_EQ(ForEachReservationOfColumn(reservations, false, "01", "20100510",
                                             [&](const tagRESERVATIONDB& r) {
                                                 if (IsLiveStatus(r.Status) &&
                                                     ParseTimeField(r.StartTime) == start &&
                                                     ParseTimeField(r.EndTime) == end)
                                                     ++count;
                                                 return true;
                                             }),
                  0);
        return count;
    }
    // Numbers handed out so far: the counter's next value less one.
    int NumbersTaken() {
        CIndexControlDB counter;
        EXPECT_EQ(counter.SetAssociatedDB(&m_db), 0);
        const std::string next = counter.GetNexReservationIndex();
        return std::stoi(next) - 1;
    }
};

TEST_F(BookingProcessTest, TwoWorkstationsBookingOneBandLeaveExactlyOneReservation) {
    RegisterBookingStrings();
    for (int round = 0; round < 4; ++round) {
        const int start = 900 + round * 100;
        const int end = start + 30;
        Peer first({"book", m_folder, std::to_string(start), std::to_string(end), "0000000001"});
        Peer second({"book", m_folder, std::to_string(start), std::to_string(end), "0000000002"});
        ASSERT_EQ(first.ReadLine(), "ready");
        ASSERT_EQ(second.ReadLine(), "ready");
        first.Send("go");
        second.Send("go");
        const std::vector<std::string> answers = {first.ReadLine(), second.ReadLine()};
        first.Wait();
        second.Wait();

        int booked = 0, overlaps = 0;
        for (const std::string& answer : answers) {
            if (answer.rfind("ok ", 0) == 0) ++booked;
            if (answer.rfind("refused " + std::to_string(kIdsOverlap), 0) == 0) ++overlaps;
        }
        EXPECT_EQ(booked, 1) << answers[0] << " / " << answers[1];
        EXPECT_EQ(overlaps, 1) << answers[0] << " / " << answers[1];
        EXPECT_EQ(LiveInBand(start, end), 1) << "round " << round;
    }
    CReservationDB reservations;
    EXPECT_EQ(Count(reservations), 4);
}

TEST_F(BookingProcessTest, SaveKilledAtAnyPointLeavesReservationSaleLineAndCounterTogether) {
    bool committed = false;
    int killed = 0;
    for (int point = 1; point < 600 && !committed; ++point) {
        Peer peer({"crash", m_folder, std::to_string(point)});
        const std::string line = peer.ReadLine();
        const int status = peer.Wait();
        if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) {
            ++killed;
        } else {
            ASSERT_EQ(line, "committed") << "at event " << point;
            committed = true;
        }
        CReservationDB reservations;
        CSaleDB sales;
        CSaleItemDB lines;
        const int booked = Count(reservations);
        ASSERT_LE(booked, 1) << "at event " << point;
        ASSERT_EQ(Count(sales), booked) << "at event " << point;
        ASSERT_EQ(Count(lines), booked) << "at event " << point;
        ASSERT_EQ(NumbersTaken(), booked) << "at event " << point;
        // A kill after the commit became durable (while the journal is cleaned up) leaves
        // the whole save in the files: that is the end of the walk too.
        if (booked == 1) committed = true;
    }
    EXPECT_TRUE(committed);
    EXPECT_GT(killed, 5);
    for (const char* name : {"RESERVATION.BTR", "SALE.BTR", "SALEITEM.BTR", "INDEXCONTROL.BTR"}) {
        std::string report;
        EXPECT_EQ(recman::CheckFile(m_folder + "/" + name, &report), recman::kOk) << report;
    }
}

}  // namespace
}  // namespace velo::sheet
