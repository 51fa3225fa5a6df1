#pragma once
// Every record of a log as events, in the reader's order, through the same
// chunk-by-chunk reader the event-log service uses.
#include <cstring>
#include <mutex>
#include <vector>

#include "evtx/byte_source.h"
#include "evtx/event.h"
#include "evtx/record_reader.h"

namespace kestrel::testing {

struct ReadEventsResult {
    bool opened = false;
    evtx::Fault why;  // when not opened
    std::vector<evtx::Event> events;
    evtx::PassedOver passed;
    bool fileChanged = false;
};

inline ReadEventsResult ReadEvents(evtx::ByteSource& source, unsigned threads = 1,
                                   evtx::Order order = evtx::Order::NewestFirst) {
    // The encoder keeps each event aside and lays out only its place there.
    std::mutex mutex;
    std::vector<evtx::Event> decoded;
    const auto keep = [&](const evtx::Event& event, std::vector<unsigned char>& out) {
        std::lock_guard<std::mutex> lock(mutex);
        const std::size_t index = decoded.size();
        decoded.push_back(event);
        out.resize(out.size() + sizeof index);
        std::memcpy(out.data() + out.size() - sizeof index, &index, sizeof index);
    };
    ReadEventsResult result;
    evtx::RecordReader reader(source, keep, threads, order);
    result.opened = reader.Open(result.why);
    if (!result.opened) return result;
    const unsigned char* bytes = nullptr;
    std::size_t size = 0;
    std::uint64_t id = 0;
    while (reader.Next(bytes, size, id)) {
        std::size_t index = 0;
        std::memcpy(&index, bytes, sizeof index);
        std::lock_guard<std::mutex> lock(mutex);
        result.events.push_back(decoded[index]);
    }
    result.passed = reader.Passed();
    result.fileChanged = reader.FileChanged();
    return result;
}

inline ReadEventsResult ReadEvents(const std::vector<unsigned char>& file, unsigned threads = 1) {
    evtx::MemoryBytes source(file.data(), file.size());
    return ReadEvents(source, threads);
}

}  // namespace kestrel::testing
