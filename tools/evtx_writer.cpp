#include "tools/evtx_writer.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <map>

#include "base/crc32.h"
#include "evtx/binxml_tokens.h"
#include "evtx/layout.h"

namespace kestrel::evtx::writer {

namespace {

using layout::kChunkHeaderSize;
using layout::kChunkSize;

// Names and templates are found through hash tables in the chunk header:
// 64 buckets of names, 32 of templates, each a chain through "next" offsets.
std::uint32_t Hash65599(const std::uint16_t* units, std::size_t count) {
    std::uint32_t hash = 0;
    for (std::size_t i = 0; i < count; ++i) hash = hash * 65599u + units[i];
    return hash;
}

std::uint32_t NameHash(std::u16string_view name) {
    std::uint32_t hash = 0;
    for (char16_t c : name) hash = hash * 65599u + c;
    return hash;
}

std::uint32_t TemplateBucket(const Guid& id) {
    std::uint16_t units[8];
    for (std::size_t i = 0; i < 8; ++i) units[i] = static_cast<std::uint16_t>(id[2 * i] | id[2 * i + 1] << 8);
    return Hash65599(units, 8) % 32;
}

void PutLe(std::vector<std::uint8_t>& out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void SetLe(std::uint8_t* at, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

template <typename T>
void SetField(std::uint8_t* header, HeaderField<T> field, std::uint64_t v) {
    SetLe(header + field.offset, v, static_cast<int>(sizeof(T)));
}

TokenCode SubstitutionCode(const Substitution& s) {
    return s.optional ? TokenCode::OptionalSubstitution : TokenCode::NormalSubstitution;
}

Value Fixed(ValueType type, std::uint64_t v, int bytes) {
    Value value{type, {}, nullptr};
    PutLe(value.bytes, v, bytes);
    return value;
}

// Bytes being written at a known offset of the chunk.
class Out {
public:
    explicit Out(std::uint32_t base) : base_(base) {}
    std::uint32_t Here() const { return base_ + static_cast<std::uint32_t>(bytes.size()); }
    std::size_t Size() const { return bytes.size(); }
    void U8(std::uint8_t v) { bytes.push_back(v); }
    void U16(std::uint16_t v) { PutLe(bytes, v, 2); }
    void U32(std::uint32_t v) { PutLe(bytes, v, 4); }
    void U64(std::uint64_t v) { PutLe(bytes, v, 8); }
    void Raw(const std::vector<std::uint8_t>& v) { bytes.insert(bytes.end(), v.begin(), v.end()); }
    void Units(std::u16string_view text) {
        for (char16_t c : text) U16(c);
    }
    void Patch16(std::size_t at, std::uint16_t v) { SetLe(&bytes[at], v, 2); }
    void Patch32(std::size_t at, std::uint32_t v) { SetLe(&bytes[at], v, 4); }

    std::vector<std::uint8_t> bytes;

private:
    std::uint32_t base_;
};

// What a chunk already holds: names and template definitions by offset.
struct ChunkState {
    std::map<std::u16string, std::uint32_t> names;
    std::array<std::uint32_t, 64> nameBuckets{};
    std::map<Guid, std::uint32_t> templates;
    std::array<std::uint32_t, 32> templateBuckets{};
};

// Binary XML of one record. Fails when a value outgrows its 16-bit size.
class BinXmlWriter {
public:
    BinXmlWriter(ChunkState& state, Out& out) : state_(state), out_(out) {}

    bool Instance(const writer::Instance& instance) {
        const Template& tmpl = *instance.tmpl;
        const Guid& id = tmpl.Id();
        out_.U8(TokenByte(TokenCode::TemplateInstance));
        out_.U8(kInstanceVersion);
        out_.U32(static_cast<std::uint32_t>(id[0] | id[1] << 8 | id[2] << 16 | id[3] << 24));
        const auto known = state_.templates.find(id);
        if (known != state_.templates.end()) {
            out_.U32(known->second);
        } else {
            const std::uint32_t definition = out_.Here() + 4;
            out_.U32(definition);
            std::uint32_t& bucket = state_.templateBuckets[TemplateBucket(id)];
            out_.U32(bucket);
            bucket = definition;
            state_.templates.emplace(id, definition);
            out_.Raw(std::vector<std::uint8_t>(id.begin(), id.end()));
            const std::size_t sizeAt = out_.Size();
            out_.U32(0);
            FragmentHeader();
            ElementTokens(tmpl.Root());
            out_.U8(TokenByte(TokenCode::EndOfStream));
            out_.Patch32(sizeAt, static_cast<std::uint32_t>(out_.Size() - sizeAt - 4));
        }

        out_.U32(static_cast<std::uint32_t>(instance.values.size()));
        const std::size_t descriptors = out_.Size();
        for (const Value& value : instance.values) {
            out_.U16(0);
            out_.U8(static_cast<std::uint8_t>(value.type));
            out_.U8(0);
        }
        for (std::size_t i = 0; i < instance.values.size(); ++i) {
            const Value& value = instance.values[i];
            const std::size_t start = out_.Size();
            if (value.type == kBinXml) {
                FragmentHeader();
                if (!value.binXml || !Instance(*value.binXml)) return false;
                out_.U8(TokenByte(TokenCode::EndOfStream));
            } else {
                out_.Raw(value.bytes);
            }
            const std::size_t size = out_.Size() - start;
            if (size > 0xffff) return false;
            out_.Patch16(descriptors + 4 * i, static_cast<std::uint16_t>(size));
        }
        return true;
    }

    void FragmentHeader() {
        out_.U8(TokenByte(TokenCode::FragmentHeader));
        out_.U8(kFragmentMajorVersion);
        out_.U8(kFragmentMinorVersion);
        out_.U8(0);  // flags
    }

private:
    void Name(const std::u16string& name) {
        const auto known = state_.names.find(name);
        if (known != state_.names.end()) {
            out_.U32(known->second);
            return;
        }
        const std::uint32_t offset = out_.Here() + 4;
        out_.U32(offset);
        const std::uint32_t hash = NameHash(name);
        std::uint32_t& bucket = state_.nameBuckets[hash % 64];
        out_.U32(bucket);
        bucket = offset;
        state_.names.emplace(name, offset);
        out_.U16(static_cast<std::uint16_t>(hash));
        out_.U16(static_cast<std::uint16_t>(name.size()));
        out_.Units(name);
        out_.U16(0);
    }

    void Text(std::u16string_view text) {
        out_.U8(TokenByte(TokenCode::Value));
        out_.U8(static_cast<std::uint8_t>(kString));
        out_.U16(static_cast<std::uint16_t>(text.size()));
        out_.Units(text);
    }

    void Substitute(const Substitution& s) {
        out_.U8(TokenByte(SubstitutionCode(s)));
        out_.U16(s.index);
        out_.U8(static_cast<std::uint8_t>(s.type));
    }

    void ElementTokens(const Element& element) {
        const bool hasAttributes = !element.attributes.empty();
        out_.U8(TokenByte(TokenCode::OpenElement, hasAttributes));
        out_.U16(element.dependency);
        const std::size_t sizeAt = out_.Size();
        out_.U32(0);
        Name(element.name);
        if (hasAttributes) {
            const std::size_t listAt = out_.Size();
            out_.U32(0);
            for (std::size_t i = 0; i < element.attributes.size(); ++i) {
                const Attribute& attribute = element.attributes[i];
                out_.U8(TokenByte(TokenCode::Attribute, i + 1 < element.attributes.size()));
                Name(attribute.name);
                if (const auto* text = std::get_if<std::u16string>(&attribute.value)) {
                    Text(*text);
                } else {
                    Substitute(std::get<Substitution>(attribute.value));
                }
            }
            out_.Patch32(listAt, static_cast<std::uint32_t>(out_.Size() - listAt - 4));
        }
        if (element.content.empty()) {
            out_.U8(TokenByte(TokenCode::CloseEmpty));
        } else {
            out_.U8(TokenByte(TokenCode::CloseStart));
            for (const Item& item : element.content) {
                if (const auto* text = std::get_if<std::u16string>(&item)) {
                    Text(*text);
                } else if (const auto* s = std::get_if<Substitution>(&item)) {
                    Substitute(*s);
                } else {
                    ElementTokens(std::get<Element>(item));
                }
            }
            out_.U8(TokenByte(TokenCode::EndElement));
        }
        out_.Patch32(sizeAt, static_cast<std::uint32_t>(out_.Size() - sizeAt - 4));
    }

    ChunkState& state_;
    Out& out_;
};

// FNV-1a over a description of the template, folded into a GUID: the same
// template always gets the same identifier.
class TemplateHasher {
public:
    Guid Finish() const {
        Guid id{};
        SetLe(id.data(), low_, 8);
        SetLe(id.data() + 8, high_, 8);
        return id;
    }
    void Element(const writer::Element& e) {
        Mix(1);
        Text(e.name);
        Mix(e.dependency);
        for (const Attribute& a : e.attributes) {
            Mix(2);
            Text(a.name);
            if (const auto* text = std::get_if<std::u16string>(&a.value)) {
                Text(*text);
            } else {
                Sub(std::get<Substitution>(a.value));
            }
        }
        for (const Item& item : e.content) {
            if (const auto* text = std::get_if<std::u16string>(&item)) {
                Text(*text);
            } else if (const auto* s = std::get_if<Substitution>(&item)) {
                Sub(*s);
            } else {
                Element(std::get<writer::Element>(item));
            }
        }
        Mix(4);
    }

private:
    void Mix(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            const std::uint8_t byte = static_cast<std::uint8_t>(v >> (8 * i));
            low_ = (low_ ^ byte) * 0x100000001b3ull;
            high_ = (high_ ^ byte) * 0x100000001b3ull;
        }
    }
    void Text(std::u16string_view text) {
        Mix(5);
        Mix(static_cast<std::uint32_t>(text.size()));
        for (char16_t c : text) Mix(c);
    }
    void Sub(const Substitution& s) {
        Mix(static_cast<std::uint32_t>(SubstitutionCode(s)));
        Mix(s.index);
        Mix(static_cast<std::uint32_t>(s.type));
    }

    std::uint64_t low_ = 0xcbf29ce484222325ull;
    std::uint64_t high_ = 0x84222325cbf29ce4ull;
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

Guid ParseGuid(std::string_view text) {
    // Data1 (4 bytes), Data2 and Data3 (2 each) are little-endian; Data4 is as written.
    static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    Guid guid{};
    int digit = 0;
    std::uint8_t plain[16] = {};
    for (char c : text) {
        const int v = HexDigit(c);
        if (v < 0 || digit >= 32) continue;
        plain[digit / 2] = static_cast<std::uint8_t>(plain[digit / 2] << 4 | v);
        ++digit;
    }
    for (int i = 0; i < 16; ++i) guid[static_cast<std::size_t>(i)] = plain[kOrder[i]];
    return guid;
}

std::string GuidText(const Guid& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  g[3], g[2], g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13],
                  g[14], g[15]);
    return text;
}

Template::Template(Element root) : root_(std::move(root)) {
    TemplateHasher hasher;
    hasher.Element(root_);
    id_ = hasher.Finish();
}

Value NullValue() { return Value{}; }

Value StringValue(std::u16string_view text) {
    Value value{kString, {}, nullptr};
    for (char16_t c : text) PutLe(value.bytes, c, 2);
    return value;
}

Value UInt8Value(std::uint8_t v) { return Fixed(kUInt8, v, 1); }
Value UInt16Value(std::uint16_t v) { return Fixed(kUInt16, v, 2); }
Value UInt32Value(std::uint32_t v) { return Fixed(kUInt32, v, 4); }
Value UInt64Value(std::uint64_t v) { return Fixed(kUInt64, v, 8); }
Value HexInt32Value(std::uint32_t v) { return Fixed(kHexInt32, v, 4); }
Value HexInt64Value(std::uint64_t v) { return Fixed(kHexInt64, v, 8); }
Value FileTimeValue(std::uint64_t fileTime) { return Fixed(kFileTime, fileTime, 8); }

Value GuidValue(const Guid& guid) {
    return Value{kGuid, std::vector<std::uint8_t>(guid.begin(), guid.end()), nullptr};
}

Value SidValue(std::string_view text) {
    Value value{kSid, {}, nullptr};
    if (text.substr(0, 2) != "S-") return value;
    std::vector<std::uint64_t> parts;
    const char* p = text.data() + 2;
    const char* end = text.data() + text.size();
    for (;;) {
        std::uint64_t part = 0;
        const auto [next, error] = std::from_chars(p, end, part);
        if (error != std::errc()) return value;
        parts.push_back(part);
        if (next == end) break;
        if (*next != '-') return value;
        p = next + 1;
    }
    // Revision, authority and 1 to 15 sub-authorities.
    if (parts.size() < 3 || parts.size() > 17 || parts[0] > 0xff || parts[1] >> 48 != 0) return value;
    for (std::size_t i = 2; i < parts.size(); ++i) {
        if (parts[i] > 0xffffffffu) return value;
    }
    value.bytes.push_back(static_cast<std::uint8_t>(parts[0]));
    value.bytes.push_back(static_cast<std::uint8_t>(parts.size() - 2));
    for (int shift = 40; shift >= 0; shift -= 8)
        value.bytes.push_back(static_cast<std::uint8_t>(parts[1] >> shift));
    for (std::size_t i = 2; i < parts.size(); ++i) PutLe(value.bytes, parts[i], 4);
    return value;
}

Value BinXmlValue(std::shared_ptr<const Instance> instance) {
    return Value{kBinXml, {}, std::move(instance)};
}

class ChunkBuilder {
public:
    bool Empty() const { return first_ == 0; }

    // False, with the chunk unchanged, when the record does not fit.
    bool Append(std::uint64_t recordId, std::uint64_t writtenFileTime, const Instance& event) {
        ChunkState tentative = state_;
        Out out(free_);
        out.U32(layout::kRecordSignature);
        out.U32(0);
        out.U64(recordId);
        out.U64(writtenFileTime);
        BinXmlWriter writer(tentative, out);
        writer.FragmentHeader();
        if (!writer.Instance(event)) return false;
        out.U8(TokenByte(TokenCode::EndOfStream));
        while ((out.Size() + 4) % 8 != 0) out.U8(0);  // records keep 8-byte alignment
        const std::uint32_t size = static_cast<std::uint32_t>(out.Size() + 4);
        out.U32(size);
        out.Patch32(4, size);
        if (free_ + size > kChunkSize) return false;

        std::memcpy(data_.data() + free_, out.bytes.data(), out.bytes.size());
        state_ = std::move(tentative);
        if (first_ == 0) first_ = recordId;
        last_ = recordId;
        lastOffset_ = free_;
        free_ += size;
        return true;
    }

    std::vector<std::uint8_t> Finish() {
        using namespace layout;
        std::uint8_t* h = data_.data();
        std::memcpy(h, kChunkSignature, sizeof kChunkSignature);
        SetField(h, kChunkFirstRecordNumber, first_);
        SetField(h, kChunkLastRecordNumber, last_);
        SetField(h, kChunkFirstRecordId, first_);
        SetField(h, kChunkLastRecordId, last_);
        SetField(h, kChunkHeaderUsed, 0x80);
        SetField(h, kChunkLastRecordOffset, lastOffset_);
        SetField(h, kChunkFreeSpaceOffset, free_);
        SetField(h, kChunkRecordsChecksum, Crc32(h + kChunkHeaderSize, free_ - kChunkHeaderSize));
        SetField(h, kChunkFlags, 1);  // as every chunk Windows writes
        for (std::size_t i = 0; i < 64; ++i) SetLe(h + kChunkStringTable + 4 * i, state_.nameBuckets[i], 4);
        for (std::size_t i = 0; i < 32; ++i)
            SetLe(h + kChunkTemplateTable + 4 * i, state_.templateBuckets[i], 4);
        const std::uint32_t headerCrc =
            Crc32(h + kChunkStringTable, kChunkHeaderSize - kChunkStringTable, Crc32(h, kChunkChecksumGap));
        SetField(h, kChunkHeaderChecksum, headerCrc);
        return std::move(data_);
    }

private:
    ChunkState state_;
    std::vector<std::uint8_t> data_ = std::vector<std::uint8_t>(kChunkSize);
    std::uint32_t free_ = kChunkHeaderSize;
    std::uint32_t lastOffset_ = 0;
    std::uint64_t first_ = 0;
    std::uint64_t last_ = 0;
};

FileBuilder::FileBuilder() : open_(std::make_unique<ChunkBuilder>()) {}
FileBuilder::~FileBuilder() = default;

bool FileBuilder::Add(std::uint64_t recordId, std::uint64_t writtenFileTime, const Instance& event) {
    if (recordId < nextRecordId_) return false;
    if (!open_->Append(recordId, writtenFileTime, event)) {
        // The chunk count is a 16-bit field of the file header.
        if (open_->Empty() || chunks_.size() + 1 >= 0xffff) return false;
        CloseChunk();
        if (!open_->Append(recordId, writtenFileTime, event)) return false;
    }
    nextRecordId_ = recordId + 1;
    return true;
}

void FileBuilder::CloseChunk() {
    chunks_.push_back(open_->Finish());
    open_ = std::make_unique<ChunkBuilder>();
}

std::vector<std::uint8_t> FileBuilder::Bytes() {
    using namespace layout;
    if (!open_->Empty()) CloseChunk();
    std::vector<std::uint8_t> file(kFileHeaderBlock);
    std::uint8_t* h = file.data();
    std::memcpy(h, kFileSignature, sizeof kFileSignature);
    const std::uint64_t chunks = chunks_.size();
    SetField(h, kFileFirstChunk, 0);                       // oldest chunk
    SetField(h, kFileLastChunk, chunks ? chunks - 1 : 0);  // current chunk
    SetField(h, kFileNextRecordId, nextRecordId_);
    SetField(h, kFileHeaderSize, kFileHeaderUsed);
    SetField(h, kFileMinorVersion, 1);  // version 3.1
    SetField(h, kFileMajorVersion, 3);
    SetField(h, kFileHeaderBlockSize, kFileHeaderBlock);
    SetField(h, kFileChunkCount, chunks);
    SetField(h, kFileChecksum, Crc32(h, 120));  // bytes 0-119
    for (const auto& chunk : chunks_) file.insert(file.end(), chunk.begin(), chunk.end());
    return file;
}

}  // namespace kestrel::evtx::writer
