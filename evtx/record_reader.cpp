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
    if (!index_.Open(source_, order_, why)) return false;
    if (threads_ <= 1 || index_.Chunks().size() < 2) {
        inline_ = std::make_unique<Worker>();
        return true;
    }
    // Enough slots that every worker has one to fill while the merge reads another.
    slots_.resize(2 * threads_ + 1);
    for (unsigned i = 0; i < threads_; ++i) {
        workers_.push_back(std::make_unique<Worker>());
        threadsRunning_.emplace_back(&RecordReader::WorkerLoop, this, std::ref(*workers_.back()));
    }
    return true;
}

void RecordReader::Decode(std::size_t index, Worker& worker, DecodedChunk& out) {
    out.Clear();
    const ChunkInfo& info = index_.Chunks()[index];
    if (const unsigned char* view = source_.View(info.fileOffset, info.size)) {
        worker.chunk.Borrow(info.fileOffset, view, info.size);
    } else if (source_.ReadAt(info.fileOffset, worker.chunk.Reset(info.fileOffset, info.size), info.size) !=
               info.size) {
        out.unreadable = true;
        out.passed.Add({Reason::ChunkUnreadable, info.fileOffset});
        return;
    }
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

void RecordReader::WorkerLoop(Worker& worker) {
    const std::size_t total = index_.Chunks().size();
    for (;;) {
        std::size_t index = 0;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            free_.wait(lock, [&] { return stop_ || nextToDecode_ >= total || nextToDecode_ < taken_ + slots_.size(); });
            if (stop_ || nextToDecode_ >= total) return;
            index = nextToDecode_++;
        }
        // The slot is this worker's alone until it is marked ready.
        Slot& slot = slots_[index % slots_.size()];
        Decode(index, worker, slot.chunk);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            slot.index = index;
        }
        ready_.notify_all();
    }
}

void RecordReader::Take(std::size_t index, DecodedChunk& out) {
    if (inline_) {
        Decode(index, *inline_, out);
        return;
    }
    Slot& slot = slots_[index % slots_.size()];
    {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [&] { return slot.index == index; });
        std::swap(out, slot.chunk);
        slot.index = SIZE_MAX;
        taken_ = index + 1;
    }
    free_.notify_all();
}

bool RecordReader::Next(const unsigned char*& bytes, std::size_t& size, std::uint64_t& id) {
    const std::vector<ChunkInfo>& chunks = index_.Chunks();
    for (;;) {
        // The open chunk whose next record comes first; a chunk not opened
        // yet may hold one that comes before it, so every such chunk is opened first.
        OpenChunk* best = nullptr;
        for (;;) {
            best = nullptr;
            for (OpenChunk& open : open_) {
                if (best == nullptr || Before(open.chunk.records[open.next].id, best->chunk.records[best->next].id)) {
                    best = &open;
                }
            }
            const std::size_t next = taken_;
            if (next >= chunks.size()) break;
            if (best != nullptr) {
                const std::uint64_t head = best->chunk.records[best->next].id;
                const std::uint64_t bound = order_ == Order::NewestFirst ? chunks[next].newestId : chunks[next].oldestId;
                if (bound != head && !Before(bound, head)) break;
            }
            OpenChunk opened;
            Take(next, opened.chunk);
            if (inline_) taken_ = next + 1;
            passed_.Append(opened.chunk.passed);
            fileChanged_ = fileChanged_ || opened.chunk.unreadable;
            if (!opened.chunk.records.empty()) open_.push_back(std::move(opened));
        }
        if (best == nullptr) return false;
        const DecodedChunk::Entry& entry = best->chunk.records[best->next++];
        const bool duplicate = servedAny_ && entry.id == lastId_;
        bytes = best->chunk.bytes.data() + entry.offset;
        size = entry.size;
        id = entry.id;
        if (best->next == best->chunk.records.size()) {
            // Kept alive until the next call, which may overwrite it.
            std::swap(finished_, best->chunk);
            open_.erase(open_.begin() + (best - open_.data()));
        }
        if (duplicate) continue;
        lastId_ = id;
        servedAny_ = true;
        return true;
    }
}

}  // namespace kestrel::evtx
