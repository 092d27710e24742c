// A second workstation for the booking tests. Modes:
//   book DIR START END PATIENT [uncached]
//                               open the database in DIR, print "ready", wait for the line
//                               "go", save a new reservation of unit 01 on 2010-05-10 from
//                               START to END, and print "ok NUMBER" or "refused STRINGID
//                               STATUS"; with "uncached", a server engine keeps no table in
//                               the process, so every read of the save goes to the server
//   crash DIR N                 save a came reservation with a collected fee and kill itself
//                               at the Nth file event of the save; prints "committed" when the
//                               save ends before event N
//   memo DIR FIRST N            print "ready", wait for "go", then save N calendar notes of
//                               2027 one by one as the memo dialog does (each from a book
//                               loaded afresh), on the days FIRST, FIRST + 2, ... of the year
//                               counted from 0, printing "failed I" for a refused save and
//                               "done" at the end
#include <signal.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include <QDate>

#include "recman/recman.h"
#include "sheet/calendarmemo.h"
#include "sheet/reservationsave.h"
#include "suite/dbcall/velodbsys.h"

using namespace velo::sheet;

namespace {

ReservationInput Booking(int start, int end, const std::string& patient) {
    ReservationInput in;
    in.resDate = "20100510";
    in.unitCode = "01";
    in.doctorCode = "01";
    in.startTime = start;
    in.endTime = end;
    in.patientId = patient;
    in.entryDate = "20100501";
    return in;
}

int Book(const std::string& dir, int start, int end, const std::string& patient) {
    CVeloDBSys db(dir);
    std::cout << "ready" << std::endl;
    std::string line;
    if (!std::getline(std::cin, line) || line != "go") return 1;
    const SaveResult result = SaveReservation(&db, Booking(start, end, patient), SheetSettings{});
    if (result.ok)
        std::cout << "ok " << result.reservationNo << std::endl;
    else
        std::cout << "refused " << result.stringId << " " << result.status << std::endl;
    return 0;
}

int Crash(const std::string& dir, int killAt) {
    bool armed = false;
    int events = 0;
    recman::testing::SetFileEventHook([&](recman::testing::FileEvent, const char*) {
        if (armed && ++events == killAt) raise(SIGKILL);
        return true;
    });
    CVeloDBSys db(dir);
    ReservationInput in = Booking(900, 930, "0000000001");
    in.came = true;
    in.collectFee = true;
    in.creditCateCode = "001";
    in.creditItemCode = "001";
    in.fee = 1000;
    SheetSettings settings;
    settings.consumptionTax = 1;
    armed = true;
    const SaveResult result = SaveReservation(&db, in, settings);
    armed = false;
    if (!result.ok) {
        std::cout << "refused " << result.stringId << " " << result.status << std::endl;
        return 1;
    }
    std::cout << "committed" << std::endl;
    return 0;
}

int SaveMemos(const std::string& dir, int first, int count) {
    std::cout << "ready" << std::endl;
    std::string line;
    if (!std::getline(std::cin, line) || line != "go") return 1;
    for (int i = 0; i < count; ++i) {
        const QDate day = QDate(2027, 1, 1).addDays(first + 2 * i);
        CalendarMemoBook book(dir);
        book.LoadYear(2027);
        book.SetPending(CalendarMemoKey(day.year(), day.month(), day.day()),
                        QStringLiteral("note %1").arg(first + 2 * i));
        if (!book.Save(nullptr)) std::cout << "failed " << i << "\n";
    }
    std::cout << "done" << std::endl;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "book" && (argc == 6 || (argc == 7 && std::string(argv[6]) == "uncached"))) {
        if (argc == 7) recman::testing::SetServerCacheRows(0);
        return Book(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), argv[5]);
    }
    if (mode == "crash" && argc == 4) return Crash(argv[2], std::atoi(argv[3]));
    if (mode == "memo" && argc == 5)
        return SaveMemos(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    std::cerr << "usage: booking_peer book DIR START END PATIENT [uncached] | crash DIR N | memo "
                 "DIR FIRST N"
              << std::endl;
    return 2;
}
