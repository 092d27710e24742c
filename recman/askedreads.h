// Positioning reads asked for ahead of the call that makes them, inside one transaction of
// the server engine: a save that knows it will scan a column's day and walk a patient's
// reservations asks for both before its first read, they go out with that read, and the
// positionings that come later are answered at no round trip.
//
// Between the answer and the positioning the transaction may have written the table (a
// save inserts its reservation before it checks the column). Those writes are laid over the
// answer, so the positioning sees them as it would have seen them from the server; where
// the answer cannot say what the server would give (a full batch whose rows the transaction
// deleted), the positioning is left to read from the server.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "recman/engine.h"
#include "recman/schema.h"

namespace recman {

class AskedReads {
public:
    // A read as Engine::Fetch takes it, of the server table `table`.
    struct Read {
        std::string table;
        int key = 0;
        int dir = 1;
        std::string ordered;
        int64_t id = 0;
        uint32_t limit = 0;
    };

    void Ask(Read read);
    // The reads asked for and not sent yet, by their number. From now on they count as sent:
    // the transaction's writes to their tables are laid over their answers.
    std::vector<size_t> Send();
    const Read& ReadAt(size_t number) const { return m_entries[number].read; }
    // The server's answer to a read sent; a read that failed is dropped.
    void Answered(size_t number, Batch rows);
    void Failed(size_t number);
    // A write of the transaction to the server table `table` (no record: a delete). Ids
    // below zero, other than the least one, are provisional ids of rows inserted after every
    // row the server has numbered, the further below zero the later.
    void NoteWrite(const std::string& table, int64_t id, const uint8_t* record,
                   uint32_t recordLength);
    // Answers a read of the table's key `schema.keys[key]` from (ordered, id) in direction
    // dir from an answered read of the same, with the later writes laid over it. Each answer
    // serves once. False when there is none that can.
    bool Serve(const std::string& table, const Schema& schema, int key, int dir,
               const std::string& ordered, int64_t id, Batch* rows);
    // Forgets everything asked: at the transaction's end, or when its tables change shape.
    void Clear() { m_entries.clear(); }
    bool Empty() const { return m_entries.empty(); }

private:
    enum class State { kQueued, kSent, kAnswered, kDropped };
    struct Write {
        int64_t id;
        bool removed;
        std::string record;
    };
    struct Entry {
        Read read;
        State state = State::kQueued;
        Batch rows;
        std::vector<Write> later;
    };
    static bool Lays(const Batch& answer, const std::vector<Write>& later, const Schema& schema,
                     const Read& read, Batch* rows);

    std::vector<Entry> m_entries;
};

}  // namespace recman
