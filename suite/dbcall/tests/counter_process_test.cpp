// Numbers taken from one counter by two workstations at once: no number is handed out
// twice, and the counter ends past every number taken.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "suite/dbcall/indexcontroldb.h"
#include "suite/testsupport/peerprocess.h"
#include "suite/testsupport/testdatabase.h"

namespace {

class CounterProcessTest : public DbFolderTest {};

TEST_F(CounterProcessTest, TwoWorkstationsTakingNumbersAtOnceNeverGetTheSameOne) {
    constexpr int kEach = 150;
    CPeerProcess first(COUNTER_PEER, {"take", m_folder, std::to_string(kEach)});
    CPeerProcess second(COUNTER_PEER, {"take", m_folder, std::to_string(kEach)});
    ASSERT_EQ(first.ReadLine(), "ready");
    ASSERT_EQ(second.ReadLine(), "ready");
    first.Send("go");
    second.Send("go");

    std::set<std::string> reservations, patients;
    std::vector<std::string> failures;
    for (CPeerProcess* peer : {&first, &second}) {
        for (std::string line = peer->ReadLine(); line != "done"; line = peer->ReadLine()) {
            ASSERT_FALSE(line.empty()) << "the peer stopped early";
            const std::string number = line.substr(2);
            if (number.rfind("failed", 0) == 0) {
                failures.push_back(line);
            } else {
                std::set<std::string>& taken = line[0] == 'R' ? reservations : patients;
                EXPECT_TRUE(taken.insert(number).second) << "handed out twice: " << line;
            }
        }
        peer->Wait();
    }
    EXPECT_TRUE(failures.empty()) << failures.front();
    EXPECT_EQ(reservations.size(), 2u * kEach);
    EXPECT_EQ(patients.size(), 2u * kEach);

    CIndexControlDB counter;
    ASSERT_EQ(counter.SetAssociatedDB(&m_db), recman::kOk);
    EXPECT_EQ(counter.GetNexReservationIndex(), "0000000301");
    std::string next;
    ASSERT_EQ(counter.TakePatientIndex(&next), recman::kOk);
    EXPECT_EQ(next, "0000000301");
}

}  // namespace
