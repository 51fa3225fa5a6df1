#pragma once
// Every record of an .evtx log, newest (or oldest) first, a chunk at a time: memory stays
// bounded however large the log. With more than one thread, chunks are read
// and decoded ahead on worker threads and handed on in the same order, so the
// records come out the same for any number of threads.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "evtx/byte_source.h"
#include "evtx/event.h"
#include "evtx/fault.h"
#include "evtx/log_index.h"

namespace kestrel::evtx {

// Lays a decoded event out as its reader wants it, appended to `out`. Called
// on the decoding threads, one chunk's records at a time, in order.
using RecordEncoder = std::function<void(const Event& event, std::vector<unsigned char>& out)>;

// The records of one chunk, decoded and laid out.
struct DecodedChunk {
    struct Entry {
        std::uint64_t id;
        std::size_t offset;
        std::size_t size;
    };
    std::vector<unsigned char> bytes;
    std::vector<Entry> records;  // newest first
    PassedOver passed;
    bool unreadable = false;  // the file no longer holds all of it

    void Clear();
};

// Threads a reader decodes with by default: one per core, at most four.
unsigned DefaultDecodeThreads();

class RecordReader {
public:
    // `threads`: the threads that read the log, the one that calls Next among
    // them; with 0 or 1 it decodes every chunk itself.
    RecordReader(ByteSource& source, RecordEncoder encoder, unsigned threads,
                 Order order = Order::NewestFirst);
    ~RecordReader();
    RecordReader(const RecordReader&) = delete;
    RecordReader& operator=(const RecordReader&) = delete;

    // False, with the reason, when the source is no event log at all.
    bool Open(Fault& why);

    // The next record in the reader's order: its bytes as the encoder laid them out,
    // valid until the next call. False when no record is left. A record met
    // twice (a copy left in a damaged chunk) is served once.
    bool Next(const unsigned char*& bytes, std::size_t& size, std::uint64_t& id);

    // What was passed over in the chunks read so far, with reasons.
    const PassedOver& Passed() const { return passed_; }

    // Whether a chunk that was there when the log was opened could not be
    // read whole later: the file shrank or was replaced while being read.
    bool FileChanged() const { return fileChanged_; }

private:
    struct Worker;
    struct OpenChunk {
        DecodedChunk chunk;
        std::size_t next = 0;
    };
    bool Before(std::uint64_t a, std::uint64_t b) const {
        return order_ == Order::NewestFirst ? a > b : a < b;
    }

    void Decode(std::size_t index, Worker& worker, DecodedChunk& out);
    void Take(std::size_t index, DecodedChunk& out);
    void Recycle(DecodedChunk&& chunk);
    void WorkerLoop(Worker& worker);
    void StopWorkers();

    ByteSource& source_;
    RecordEncoder encoder_;
    unsigned threads_;
    Order order_;
    LogIndex index_;
    std::size_t taken_ = 0;  // chunks handed to the merge
    std::vector<OpenChunk> open_;
    DecodedChunk finished_;  // the last chunk emptied, alive until the next call
    bool finishedHeld_ = false;
    std::vector<DecodedChunk> spare_;
    std::unique_ptr<Worker> inline_;  // decodes every chunk: there are no workers
    std::unique_ptr<Worker> own_;     // the merge's thread decoding beside the workers
    std::uint64_t lastId_ = 0;
    bool servedAny_ = false;
    PassedOver passed_;
    bool fileChanged_ = false;

    // Decoding ahead: chunk i goes to slot i % slots_.size().
    struct Slot {
        DecodedChunk chunk;
        std::size_t index = SIZE_MAX;  // the chunk it holds when ready
    };
    std::vector<Slot> slots_;
    std::vector<std::unique_ptr<Worker>> workers_;
    std::vector<std::thread> threadsRunning_;
    std::mutex mutex_;
    std::condition_variable ready_;  // a slot was filled
    std::condition_variable free_;   // a slot was emptied, or stop
    std::size_t nextToDecode_ = 0;
    std::size_t waitingFor_ = SIZE_MAX;  // the chunk the merge waits for
    unsigned workersWaiting_ = 0;
    bool stop_ = false;
};

}  // namespace kestrel::evtx
