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
#include "evtx/binxml_tokens.h"
#include "evtx/event.h"
#include "evtx/layout.h"
#include "evtx/values.h"

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

// A header field of the layout, written.
template <typename T>
void PutField(unsigned char* header, HeaderField<T> field, T value) {
    std::memcpy(header + field.offset, &value, sizeof value);
}

// --- Damage done to finished bytes, each named for what it breaks -----------

// A chunk's two checksums, computed again after a change to it.
inline void FixChunkChecksums(std::vector<unsigned char>& chunk) {
    using namespace evtx::layout;
    unsigned char* h = chunk.data();
    std::uint32_t used = 0;
    std::memcpy(&used, h + kChunkFreeSpaceOffset.offset, sizeof used);
    PutField(h, kChunkRecordsChecksum, Crc32(h + kChunkHeaderSize, used - kChunkHeaderSize));
    PutField(h, kChunkHeaderChecksum,
             Crc32(h + kChunkStringTable, kChunkHeaderSize - kChunkStringTable, Crc32(h, kChunkChecksumGap)));
}

// The file header's checksum, computed again after a change to it.
inline void FixFileChecksum(std::vector<unsigned char>& file) {
    PutField(file.data(), evtx::layout::kFileChecksum, Crc32(file.data(), 120));
}

inline void IncrementByte(std::vector<unsigned char>& bytes, std::size_t at, int delta) {
    bytes[at] = static_cast<unsigned char>(bytes[at] + delta);
}

inline void ZeroBytes(std::vector<unsigned char>& bytes, std::size_t at, std::size_t count) {
    std::memset(bytes.data() + at, 0, count);
}

inline void SetU32(std::vector<unsigned char>& bytes, std::size_t at, std::uint32_t value) {
    std::memcpy(bytes.data() + at, &value, sizeof value);
}

// The file cut short by `bytes` at its end.
inline void ShrinkSize(std::vector<unsigned char>& file, std::size_t bytes) {
    file.resize(file.size() - bytes);
}

struct EvtxValue {
    std::uint8_t type = 0;
    std::vector<unsigned char> bytes;

    static EvtxValue Null() { return {}; }
    static EvtxValue Text(const std::u16string& text) {
        EvtxValue v{evtx::kString, {}};
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
    void PatchU16(std::uint32_t at, std::uint16_t v) { std::memcpy(data_.data() + at, &v, 2); }
    void PatchU32(std::uint32_t at, std::uint32_t v) { std::memcpy(data_.data() + at, &v, 4); }
    void Utf16(const std::u16string& text) {
        for (char16_t c : text) U16(static_cast<std::uint16_t>(c));
    }

    // Binary XML tokens.
    void Fragment() {
        Token(evtx::TokenCode::FragmentHeader);
        U8(evtx::kFragmentMajorVersion);
        U8(evtx::kFragmentMinorVersion);
        U8(0);  // flags
    }
    void Open(const std::u16string& name, bool attributes, bool dependencyId = true) {
        Token(evtx::TokenCode::OpenElement, attributes);
        if (dependencyId) U16(evtx::kNoDependency);
        U32(0);  // data size, which the reader does not need
        NameRef(name);
        if (attributes) U32(0);  // attribute list size, likewise
    }
    void Attribute(const std::u16string& name, bool more = false) {
        Token(evtx::TokenCode::Attribute, more);
        NameRef(name);
    }
    void Token(evtx::TokenCode code, bool moreFollows = false) { U8(evtx::TokenByte(code, moreFollows)); }
    void CloseStart() { Token(evtx::TokenCode::CloseStart); }
    void CloseEmpty() { Token(evtx::TokenCode::CloseEmpty); }
    void End() { Token(evtx::TokenCode::EndElement); }
    void Eof() { Token(evtx::TokenCode::EndOfStream); }
    void Text(const std::u16string& text) {
        Token(evtx::TokenCode::Value);
        U8(evtx::kString);
        U16(static_cast<std::uint16_t>(text.size()));
        Utf16(text);
    }
    void Subst(std::uint16_t index, std::uint8_t type, bool optional = false) {
        Token(optional ? evtx::TokenCode::OptionalSubstitution : evtx::TokenCode::NormalSubstitution);
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

    // A name: written here on first use, referred to by offset after.
    void NameRef(const std::u16string& name) {
        if (!DefinedHere(names_, name)) return;
        U32(0);
        U16(0);
        U16(static_cast<std::uint16_t>(name.size()));
        Utf16(name);
        U16(0);
    }

    // A template instance: the definition is written here the first time
    // `key` is used and referred to by offset afterwards.
    void Instance(const std::string& key, const std::function<void(EvtxChunk&)>& body,
                  const std::vector<EvtxValue>& values) {
        InstanceHeader(key, body);
        InstanceValues(values);
    }

    // The instance without its values, for InstanceValuesInPlace.
    void InstanceHeader(const std::string& key, const std::function<void(EvtxChunk&)>& body) {
        Token(evtx::TokenCode::TemplateInstance);
        U8(evtx::kInstanceVersion);
        U32(0x1234);  // template identifier
        if (!DefinedHere(templates_, key)) return;
        U32(0);                                                         // next in bucket
        for (int i = 0; i < 16; ++i) U8(static_cast<std::uint8_t>(i));  // GUID
        const std::uint32_t sizeAt = Pos();
        U32(0);
        const std::uint32_t start = Pos();
        body(*this);
        PatchU32(sizeAt, Pos() - start);
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

    // Values written in place, each sized once written: nested binary XML
    // refers to names and templates by chunk offset, so it cannot be built
    // apart from the chunk.
    struct InPlaceValue {
        std::uint8_t type;
        std::function<void(EvtxChunk&)> write;
    };
    void InstanceValuesInPlace(const std::vector<InPlaceValue>& values) {
        U32(static_cast<std::uint32_t>(values.size()));
        const std::uint32_t descriptors = Pos();
        for (const InPlaceValue& v : values) {
            U16(0);
            U8(v.type);
            U8(0);
        }
        for (std::size_t i = 0; i < values.size(); ++i) {
            const std::uint32_t start = Pos();
            values[i].write(*this);
            PatchU16(descriptors + static_cast<std::uint32_t>(evtx::kDescriptorSize * i),
                     static_cast<std::uint16_t>(Pos() - start));
        }
    }

    // One record around whatever `content` writes.
    void Record(std::uint64_t id, std::uint64_t written, const std::function<void(EvtxChunk&)>& content) {
        const std::uint32_t start = Pos();
        U32(evtx::layout::kRecordSignature);
        U32(0);
        U64(id);
        U64(written);
        content(*this);
        const std::uint32_t size = Pos() - start + evtx::layout::kRecordTrailerSize;
        U32(size);
        PatchU32(start + evtx::layout::kRecordSize.offset, size);
        ids_.push_back(id);
        lastRecord_ = start;
    }

    // The chunk with its header and checksums, 64 KiB.
    std::vector<unsigned char> Finish() {
        using namespace evtx::layout;
        std::vector<unsigned char> chunk = data_;
        const std::uint32_t used = static_cast<std::uint32_t>(chunk.size());
        chunk.resize(kChunkSize, 0);
        unsigned char* h = chunk.data();
        std::memcpy(h, kChunkSignature, sizeof kChunkSignature);
        const std::uint64_t first = ids_.empty() ? 0 : ids_.front(), last = ids_.empty() ? 0 : ids_.back();
        PutField(h, kChunkFirstRecordNumber, first);
        PutField(h, kChunkLastRecordNumber, last);
        PutField(h, kChunkFirstRecordId, first);
        PutField(h, kChunkLastRecordId, last);
        PutField(h, kChunkHeaderUsed, std::uint32_t{128});
        PutField(h, kChunkLastRecordOffset, lastRecord_);
        PutField(h, kChunkFreeSpaceOffset, used);
        FixChunkChecksums(chunk);
        return chunk;
    }

private:
    std::vector<unsigned char> data_;
    // The offset of what `key` names: where it was first written, or else
    // right after the offset itself, which is then written here; true then.
    template <typename Key>
    bool DefinedHere(std::map<Key, std::uint32_t>& defined, const Key& key) {
        const auto [at, added] = defined.try_emplace(key, Pos() + 4);
        U32(at->second);
        return added;
    }

    std::map<std::u16string, std::uint32_t> names_;
    std::map<std::string, std::uint32_t> templates_;
    std::vector<std::uint64_t> ids_;
    std::uint32_t lastRecord_ = 0;  // where the last record begins
};

// A file header and the given chunks.
inline std::vector<unsigned char> EvtxFileOf(const std::vector<std::vector<unsigned char>>& chunks) {
    using namespace evtx::layout;
    std::vector<unsigned char> file(kFileHeaderBlock, 0);
    unsigned char* h = file.data();
    std::memcpy(h, kFileSignature, sizeof kFileSignature);
    PutField(h, kFileHeaderSize, static_cast<std::uint32_t>(kFileHeaderUsed));
    PutField(h, kFileMinorVersion, std::uint16_t{1});
    PutField(h, kFileMajorVersion, std::uint16_t{3});
    PutField(h, kFileHeaderBlockSize, static_cast<std::uint16_t>(kFileHeaderBlock));
    PutField(h, kFileChunkCount, static_cast<std::uint16_t>(chunks.size()));
    PutField(h, kFileChecksum, Crc32(h, 120));
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
        c.Subst(0, evtx::kString);
        c.Attribute(u"EventSourceName");
        c.Subst(1, evtx::kString, true);
        c.CloseEmpty();
        c.Open(u"EventID", true);
        c.Attribute(u"Qualifiers");
        c.Subst(3, evtx::kUInt16, true);
        c.CloseStart();
        c.Subst(2, evtx::kUInt16);
        c.End();
        c.Element(u"Level", 4, evtx::kUInt8);
        c.Element(u"Task", 5, evtx::kUInt16);
        c.Element(u"Keywords", 6, evtx::kHexInt64);
        c.Open(u"TimeCreated", true);
        c.Attribute(u"SystemTime");
        c.Subst(7, evtx::kFileTime);
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
            c.Subst(static_cast<std::uint16_t>(8 + i), evtx::kString, optionalData);
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
            EvtxValue::Of<std::uint16_t>(evtx::kUInt16, eventId),
            EvtxValue::Null(),
            EvtxValue::Of<std::uint8_t>(evtx::kUInt8, level),
            EvtxValue::Of<std::uint16_t>(evtx::kUInt16, 12544),
            EvtxValue::Of<std::uint64_t>(evtx::kHexInt64, keywords),
            EvtxValue::Of<std::uint64_t>(evtx::kFileTime, fileTime)};
}

}  // namespace kestrel::testing
