#include "evtx/record_reader.h"

#include <algorithm>
#include <cstdint>

#include "evtx/chunk.h"
#include "evtx/event_fields.h"

namespace kestrel::evtx {

struct RecordReader::Worker {
    Chunk chunk;
    DecodeScratch scratch;
    Event event;
};

void DecodedChunk::Clear() {
    bytes.clear();
    records.clear();
    passed.Clear();
    unreadable = false;
}

unsigned DefaultDecodeThreads() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : std::min(cores, 4u);
}

RecordReader::RecordReader(ByteSource& source, RecordEncoder encoder, unsigned threads, Order order)
    : source_(source), encoder_(std::move(encoder)), threads_(threads == 0 ? 1 : threads), order_(order) {}

RecordReader::~RecordReader() { StopWorkers(); }

void RecordReader::StopWorkers() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    free_.notify_all();
    for (std::thread& thread : threadsRunning_) thread.join();
    threadsRunning_.clear();
}

bool RecordReader::Open(Fault& why) {
    if (!index_.Open(source_, order_, why, threads_)) return false;
    if (threads_ <= 1 || index_.Chunks().size() < 2) {
        inline_ = std::make_unique<Worker>();
        return true;
    }
    // The thread that calls Next is one of them: it lays records out for its
    // reader, and decodes too whenever the workers are behind.
    const unsigned workers = threads_ - 1;
    own_ = std::make_unique<Worker>();
    // Room for the workers to run well ahead of the merge, so that they need
    // waking seldom.
    slots_.resize(8 * workers + 8);
    for (unsigned i = 0; i < workers; ++i) {
        workers_.push_back(std::make_unique<Worker>());
        threadsRunning_.emplace_back(&RecordReader::WorkerLoop, this, std::ref(*workers_.back()));
    }
    return true;
}

void RecordReader::Decode(std::size_t index, Worker& worker, DecodedChunk& out) {
    out.Clear();
    const ChunkInfo& info = index_.Chunks()[index];
    if (info.empty) return;
    if (const unsigned char* view = source_.View(info.fileOffset, info.size)) {
        worker.chunk.Borrow(info.fileOffset, view, info.size);
    } else if (source_.ReadAt(info.fileOffset, worker.chunk.Reset(info.fileOffset, info.size), info.size) !=
               info.size) {
        out.unreadable = true;
        out.passed.Add({Reason::ChunkUnreadable, info.fileOffset});
        return;
    }
    if (info.headerSound) worker.chunk.HeaderCheckedBefore();
    worker.chunk.Scan(out.passed);
    const std::vector<RecordRef>& records = worker.chunk.Records();
    const bool reversed = order_ == Order::OldestFirst;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const RecordRef& record = records[reversed ? records.size() - 1 - i : i];
        Fault why;
        if (!worker.chunk.Read(record, worker.scratch, worker.event, why)) {
            out.passed.Add(why);
            continue;
        }
        const std::size_t at = out.bytes.size();
        encoder_(worker.event, out.bytes);
        out.records.push_back({record.id, at, out.bytes.size() - at});
    }
}

// Waking a thread costs far more than handing on a chunk, most of all on a
// virtual machine: a worker that finds the window full sleeps until half of
// it is free again, and only the thread that waits for a chunk is woken.
void RecordReader::WorkerLoop(Worker& worker) {
    const std::size_t total = index_.Chunks().size();
    for (;;) {
        std::size_t index = 0;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!stop_ && nextToDecode_ < total && nextToDecode_ >= taken_ + slots_.size()) {
                ++workersWaiting_;
                free_.wait(lock, [&] {
                    return stop_ || nextToDecode_ >= total ||
                           nextToDecode_ + slots_.size() / 2 < taken_ + slots_.size();
                });
                --workersWaiting_;
            }
            if (stop_ || nextToDecode_ >= total) return;
            index = nextToDecode_++;
        }
        // The slot is this worker's alone until it is marked ready.
        Slot& slot = slots_[index % slots_.size()];
        Decode(index, worker, slot.chunk);
        bool wake = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            slot.index = index;
            wake = waitingFor_ == index;
        }
        if (wake) ready_.notify_one();
    }
}

void RecordReader::Recycle(DecodedChunk&& chunk) {
    // The room of chunks read goes back to the decoding threads, so that
    // they fill buffers that are already grown instead of new ones.
    if (spare_.size() < slots_.size() + 2) spare_.push_back(std::move(chunk));
}

void RecordReader::Take(std::size_t index, DecodedChunk& out) {
    if (inline_) {
        Decode(index, *inline_, out);
        return;
    }
    Slot& slot = slots_[index % slots_.size()];
    const std::size_t total = index_.Chunks().size();
    bool wake = false;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        while (slot.index != index) {
            // Rather than wait, decode the next chunk nobody has begun: the
            // merge's own thread is one of the threads that read the log.
            if (nextToDecode_ < total && nextToDecode_ < taken_ + slots_.size()) {
                const std::size_t next = nextToDecode_++;
                Slot& own = slots_[next % slots_.size()];
                lock.unlock();
                Decode(next, *own_, own.chunk);
                lock.lock();
                own.index = next;
                continue;
            }
            // Woken once half a window is ready rather than for every chunk.
            const std::size_t last = std::min(index + slots_.size() / 2, total) - 1;
            const Slot& lastSlot = slots_[last % slots_.size()];
            waitingFor_ = lastSlot.index == last ? index : last;
            ready_.wait(lock);
            waitingFor_ = SIZE_MAX;
        }
        std::swap(out, slot.chunk);
        slot.index = SIZE_MAX;
        taken_ = index + 1;
        wake = workersWaiting_ > 0 && nextToDecode_ + slots_.size() / 2 < taken_ + slots_.size();
    }
    if (wake) free_.notify_all();
}

bool RecordReader::Next(const unsigned char*& bytes, std::size_t& size, std::uint64_t& id) {
    const std::vector<ChunkInfo>& chunks = index_.Chunks();
    if (finishedHeld_) {
        // Its bytes were the last record handed out; now its room is used again.
        Recycle(std::move(finished_));
        finishedHeld_ = false;
    }
    for (;;) {
        // The open chunk whose next record comes first; a chunk not opened
        // yet may hold one that comes before it, so every such chunk is opened first.
        OpenChunk* best = nullptr;
        for (;;) {
            best = nullptr;
            for (OpenChunk& open : open_) {
                if (best == nullptr ||
                    Before(open.chunk.records[open.next].id, best->chunk.records[best->next].id)) {
                    best = &open;
                }
            }
            const std::size_t next = taken_;
            if (next >= chunks.size()) break;
            if (best != nullptr) {
                const std::uint64_t head = best->chunk.records[best->next].id;
                const std::uint64_t bound =
                    order_ == Order::NewestFirst ? chunks[next].newestId : chunks[next].oldestId;
                if (bound != head && !Before(bound, head)) break;
            }
            OpenChunk opened;
            if (!spare_.empty()) {
                opened.chunk = std::move(spare_.back());
                spare_.pop_back();
            }
            Take(next, opened.chunk);
            if (inline_) taken_ = next + 1;
            passed_.Append(opened.chunk.passed);
            fileChanged_ = fileChanged_ || opened.chunk.unreadable;
            if (opened.chunk.records.empty()) {
                Recycle(std::move(opened.chunk));
            } else {
                open_.push_back(std::move(opened));
            }
        }
        if (best == nullptr) return false;
        const DecodedChunk::Entry& entry = best->chunk.records[best->next++];
        const bool duplicate = servedAny_ && entry.id == lastId_;
        bytes = best->chunk.bytes.data() + entry.offset;
        size = entry.size;
        id = entry.id;
        if (best->next == best->chunk.records.size()) {
            // Kept alive until the next call.
            finished_ = std::move(best->chunk);
            finishedHeld_ = true;
            open_.erase(open_.begin() + (best - open_.data()));
        }
        if (duplicate) continue;
        lastId_ = id;
        servedAny_ = true;
        return true;
    }
}

}  // namespace kestrel::evtx
