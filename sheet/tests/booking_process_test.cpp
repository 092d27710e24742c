// Saving reservations from two workstations at once, on either engine, and a workstation
// killed while it saves: the column never ends up double-booked, and a reservation with its
// collected fee is in the files whole or not at all.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "recman/recman.h"
#include "recman/testsupport/testserver.h"
#include "sheet/bookingstrings.h"
#include "sheet/reservation.h"
#include "suite/dbcall/indexcontroldb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/dbcall/saledb.h"
#include "suite/testsupport/peerprocess.h"
#include "suite/testsupport/testdatabase.h"

namespace velo::sheet {
namespace {

// The booking peer program.
class Peer : public CPeerProcess {
public:
    explicit Peer(std::vector<std::string> args) : CPeerProcess(BOOKING_PEER, std::move(args)) {}
};

// A database folder per test, its tables on the engine the test runs on.
class BookingProcessTest : public ::testing::TestWithParam<ETestEngine> {
protected:
    void SetUp() override {
        const bool server = GetParam() != ETestEngine::kEmbedded;
        // Nothing kept in the process: every read of a save goes to the server, and the save
        // asks for its later reads ahead.
        recman::testing::SetServerCacheRows(GetParam() == ETestEngine::kServerUncached ? 0 : -1);
        m_testDb = std::make_unique<CTestDatabase>("velotest", [server](const std::string& folder) {
            return !server || !CTestServer::Get().UseIn(folder).empty();
        });
        ASSERT_TRUE(m_testDb->Error().empty()) << m_testDb->Error() << " " << CTestServer::Get().Error();
        m_folder = m_testDb->Folder();
        m_db = &m_testDb->Db();
    }

    void TearDown() override { recman::testing::SetServerCacheRows(-1); }

    // The peer's arguments for booking the band [start, end) for the patient.
    std::vector<std::string> BookArgs(int start, int end, const std::string& patient) const {
        std::vector<std::string> args = {"book", m_folder, std::to_string(start),
                                         std::to_string(end), patient};
        if (GetParam() == ETestEngine::kServerUncached) args.push_back("uncached");
        return args;
    }

    int Count(CBaseDBCall& table) {
        EXPECT_EQ(table.SetAssociatedDB(m_db), 0);
        int count = 0;
        for (int st = table.GetFIRST(); st == 0 && !table.IsEOF(); st = table.GetNEXT()) ++count;
        table.Close();
        return count;
    }
    int LiveInBand(int start, int end) {
        CReservationDB reservations;
        EXPECT_EQ(reservations.SetAssociatedDB(m_db), 0);
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
        EXPECT_EQ(counter.SetAssociatedDB(m_db), 0);
        const std::string next = counter.GetNexReservationIndex();
        return std::stoi(next) - 1;
    }

    std::unique_ptr<CTestDatabase> m_testDb;
    std::string m_folder;
    CVeloDBSys* m_db = nullptr;
};

INSTANTIATE_TEST_SUITE_P(, BookingProcessTest,
                         ::testing::Values(ETestEngine::kEmbedded, ETestEngine::kServer,
                                           ETestEngine::kServerUncached),
                         TestEngineName);

// The walk through a save's file events is the embedded engine's.
class BookingCrashTest : public BookingProcessTest {};
INSTANTIATE_TEST_SUITE_P(, BookingCrashTest, ::testing::Values(ETestEngine::kEmbedded), TestEngineName);

TEST_P(BookingProcessTest, TwoWorkstationsBookingOneBandLeaveExactlyOneReservation) {
    RegisterBookingStrings();
    for (int round = 0; round < 4; ++round) {
        const int start = 900 + round * 100;
        const int end = start + 30;
        Peer first(BookArgs(start, end, "0000000001"));
        Peer second(BookArgs(start, end, "0000000002"));
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

TEST_P(BookingCrashTest, SaveKilledAtAnyPointLeavesReservationSaleLineAndCounterTogether) {
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
