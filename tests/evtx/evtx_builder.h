#pragma once
// Builds small .evtx files for tests and fuzz seeds: one chunk at a time,
// binary XML written token by token, names and templates stored on first use
// and referred to by offset after, as Windows writes them.
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/crc32.h"
#include "evtx/event.h"

namespace kestrel::testing {

// The insertion strings of a read record, one text each.
inline std::vector<std::string> InsertionStrings(const evtx::Event& event) {
    std::vector<std::string> strings;
    std::size_t at = 0;
    for (std::uint32_t i = 0; i < event.stringCount && at <= event.strings.size(); ++i) {
        std::size_t nul = event.strings.find('\0', at);
        if (nul == std::string::npos) nul = event.strings.size();
        strings.push_back(event.strings.substr(at, nul - at));
        at = nul + 1;
    }
    return strings;
}

struct EvtxValue {
    std::uint8_t type = 0;
    std::vector<unsigned char> bytes;

    static EvtxValue Null() { return {}; }
    static EvtxValue Text(const std::u16string& text) {
        EvtxValue v{0x01, {}};
        for (char16_t c : text) {
            v.bytes.push_back(static_cast<unsigned char>(c & 0xFF));
            v.bytes.push_back(static_cast<unsigned char>(c >> 8));
        }
        return v;
    }
    template <typename T>
    static EvtxValue Of(std::uint8_t type, T value) {
        EvtxValue v{type, std::vector<unsigned char>(sizeof value)};
        std::memcpy(v.bytes.data(), &value, sizeof value);
        return v;
    }
    static EvtxValue Raw(std::uint8_t type, std::vector<unsigned char> bytes) {
        return {type, std::move(bytes)};
    }
};

class EvtxChunk {
public:
    EvtxChunk() : data_(512, 0) {}

    std::uint32_t Pos() const { return static_cast<std::uint32_t>(data_.size()); }
    std::vector<unsigned char>& Bytes() { return data_; }

    void U8(std::uint8_t v) { data_.push_back(v); }
    void U16(std::uint16_t v) { Put(&v, 2); }
    void U32(std::uint32_t v) { Put(&v, 4); }
    void U64(std::uint64_t v) { Put(&v, 8); }
    void Put(const void* p, std::size_t n) {
        const auto* b = static_cast<const unsigned char*>(p);
        data_.insert(data_.end(), b, b + n);
    }
    void Utf16(const std::u16string& text) {
        for (char16_t c : text) U16(static_cast<std::uint16_t>(c));
    }

    // Binary XML tokens.
    void Fragment() {
        U8(0x0f);
        U8(1);
        U8(1);
        U8(0);
    }
    void Open(const std::u16string& name, bool attributes, bool dependencyId = true) {
        U8(attributes ? 0x41 : 0x01);
        if (dependencyId) U16(0xFFFF);
        U32(0);
        NameRef(name);
        if (attributes) U32(0);
    }
    void Attribute(const std::u16string& name, bool more = false) {
        U8(more ? 0x46 : 0x06);
        NameRef(name);
    }
    void CloseStart() { U8(0x02); }
    void CloseEmpty() { U8(0x03); }
    void End() { U8(0x04); }
    void Eof() { U8(0x00); }
    void Text(const std::u16string& text) {
        U8(0x05);
        U8(0x01);
        U16(static_cast<std::uint16_t>(text.size()));
        Utf16(text);
    }
    void Subst(std::uint16_t index, std::uint8_t type, bool optional = false) {
        U8(optional ? 0x0e : 0x0d);
        U16(index);
        U8(type);
    }
    // <name>subst</name>, and <name attr="subst">subst</name>.
    void Element(const std::u16string& name, std::uint16_t index, std::uint8_t type) {
        Open(name, false);
        CloseStart();
        Subst(index, type);
        End();
    }

    // A template instance: the definition is written here the first time
    // `key` is used and referred to by offset afterwards.
    void Instance(const std::string& key, const std::function<void(EvtxChunk&)>& body,
                  const std::vector<EvtxValue>& values) {
        U8(0x0c);
        U8(0x01);
        U32(0x1234);
        const auto known = templates_.find(key);
        if (known != templates_.end()) {
            U32(known->second);
        } else {
            const std::uint32_t at = Pos() + 4;
            templates_[key] = at;
            U32(at);
            U32(0);
            for (int i = 0; i < 16; ++i) U8(static_cast<std::uint8_t>(i));
            const std::uint32_t sizeAt = Pos();
            U32(0);
            const std::uint32_t start = Pos();
            body(*this);
            const std::uint32_t size = Pos() - start;
            std::memcpy(data_.data() + sizeAt, &size, 4);
        }
        InstanceValues(values);
    }

    void InstanceValues(const std::vector<EvtxValue>& values) {
        U32(static_cast<std::uint32_t>(values.size()));
        for (const EvtxValue& v : values) {
            U16(static_cast<std::uint16_t>(v.bytes.size()));
            U8(v.type);
            U8(0);
        }
        for (const EvtxValue& v : values) Put(v.bytes.data(), v.bytes.size());
    }

    // One record around whatever `content` writes.
    void Record(std::uint64_t id, std::uint64_t written, const std::function<void(EvtxChunk&)>& content) {
        const std::uint32_t start = Pos();
        U32(0x00002a2a);
        U32(0);
        U64(id);
        U64(written);
        content(*this);
        const std::uint32_t size = Pos() - start + 4;
        U32(size);
        std::memcpy(data_.data() + start + 4, &size, 4);
        ids_.push_back(id);
        lastRecord_ = start;
    }

    // The chunk with its header and checksums, 64 KiB.
    std::vector<unsigned char> Finish() {
        std::vector<unsigned char> chunk = data_;
        const std::uint32_t used = static_cast<std::uint32_t>(chunk.size());
        chunk.resize(0x10000, 0);
        std::memcpy(chunk.data(), "ElfChnk", 8);
        const std::uint64_t first = ids_.empty() ? 0 : ids_.front(), last = ids_.empty() ? 0 : ids_.back();
        std::memcpy(chunk.data() + 8, &first, 8);
        std::memcpy(chunk.data() + 16, &last, 8);
        std::memcpy(chunk.data() + 24, &first, 8);
        std::memcpy(chunk.data() + 32, &last, 8);
        const std::uint32_t headerSize = 128;
        std::memcpy(chunk.data() + 40, &headerSize, 4);
        std::memcpy(chunk.data() + 44, &lastRecord_, 4);
        std::memcpy(chunk.data() + 48, &used, 4);
        const std::uint32_t dataCrc = Crc32(chunk.data() + 512, used - 512);
        std::memcpy(chunk.data() + 52, &dataCrc, 4);
        const std::uint32_t headerCrc = Crc32(chunk.data() + 128, 384, Crc32(chunk.data(), 120));
        std::memcpy(chunk.data() + 124, &headerCrc, 4);
        return chunk;
    }

private:
    void NameRef(const std::u16string& name) {
        const auto known = names_.find(name);
        if (known != names_.end()) {
            U32(known->second);
            return;
        }
        const std::uint32_t at = Pos() + 4;
        names_[name] = at;
        U32(at);
        U32(0);
        U16(0);
        U16(static_cast<std::uint16_t>(name.size()));
        Utf16(name);
        U16(0);
    }

    std::vector<unsigned char> data_;
    std::map<std::u16string, std::uint32_t> names_;
    std::map<std::string, std::uint32_t> templates_;
    std::vector<std::uint64_t> ids_;
    std::uint32_t lastRecord_ = 0;  // where the last record begins
};

// A file header and the given chunks.
inline std::vector<unsigned char> EvtxFileOf(const std::vector<std::vector<unsigned char>>& chunks) {
    std::vector<unsigned char> file(4096, 0);
    std::memcpy(file.data(), "ElfFile", 8);
    const std::uint32_t headerSize = 128;
    std::memcpy(file.data() + 32, &headerSize, 4);
    const std::uint16_t minor = 1, major = 3, block = 4096, count = static_cast<std::uint16_t>(chunks.size());
    std::memcpy(file.data() + 36, &minor, 2);
    std::memcpy(file.data() + 38, &major, 2);
    std::memcpy(file.data() + 40, &block, 2);
    std::memcpy(file.data() + 42, &count, 2);
    const std::uint32_t crc = Crc32(file.data(), 120);
    std::memcpy(file.data() + 124, &crc, 4);
    for (const auto& chunk : chunks) file.insert(file.end(), chunk.begin(), chunk.end());
    return file;
}

// The usual shape of an event: System with provider, ID and qualifiers, level,
// task, keywords, time and computer from values 0-7, then EventData with one
// Data element for each further value, named by `names`.
inline std::function<void(EvtxChunk&)> EventTemplate(const std::vector<std::u16string>& names,
                                                     bool optionalData = false) {
    return [names, optionalData](EvtxChunk& c) {
        c.Fragment();
        c.Open(u"Event", false);
        c.CloseStart();
        c.Open(u"System", false);
        c.CloseStart();
        c.Open(u"Provider", true);
        c.Attribute(u"Name", true);
        c.Subst(0, 0x01);
        c.Attribute(u"EventSourceName");
        c.Subst(1, 0x01, true);
        c.CloseEmpty();
        c.Open(u"EventID", true);
        c.Attribute(u"Qualifiers");
        c.Subst(3, 0x06, true);
        c.CloseStart();
        c.Subst(2, 0x06);
        c.End();
        c.Element(u"Level", 4, 0x04);
        c.Element(u"Task", 5, 0x06);
        c.Element(u"Keywords", 6, 0x15);
        c.Open(u"TimeCreated", true);
        c.Attribute(u"SystemTime");
        c.Subst(7, 0x11);
        c.CloseEmpty();
        c.Open(u"Computer", false);
        c.CloseStart();
        c.Text(u"PC01");
        c.End();
        c.End();  // System
        c.Open(u"EventData", false);
        c.CloseStart();
        for (std::size_t i = 0; i < names.size(); ++i) {
            c.Open(u"Data", true);
            c.Attribute(u"Name");
            c.Text(names[i]);
            c.CloseStart();
            c.Subst(static_cast<std::uint16_t>(8 + i), 0x01, optionalData);
            c.End();
        }
        c.End();  // EventData
        c.End();  // Event
        c.Eof();
    };
}

// Values 0-7 of EventTemplate.
inline std::vector<EvtxValue> SystemValues(
    std::uint16_t eventId, std::uint64_t keywords, std::uint8_t level, std::uint64_t fileTime,
    const std::u16string& provider = u"Microsoft-Windows-Security-Auditing") {
    return {EvtxValue::Text(provider),
            EvtxValue::Null(),
            EvtxValue::Of<std::uint16_t>(0x06, eventId),
            EvtxValue::Null(),
            EvtxValue::Of<std::uint8_t>(0x04, level),
            EvtxValue::Of<std::uint16_t>(0x06, 12544),
            EvtxValue::Of<std::uint64_t>(0x15, keywords),
            EvtxValue::Of<std::uint64_t>(0x11, fileTime)};
}

}  // namespace kestrel::testing
