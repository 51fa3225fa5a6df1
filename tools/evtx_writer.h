#pragma once
// Writes .evtx files the way the Windows event log service does: a file
// header, 64 KiB chunks with their CRC32 checksums, and records in binary XML
// made of template instances. Each chunk carries the names and template
// definitions its records use: the first record that needs one defines it,
// later records point back to it. Its own namespace keeps its Value apart
// from the reader's; the value types are the format's own (evtx/values.h).
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "evtx/values.h"

namespace kestrel::evtx::writer {

using Guid = std::array<std::uint8_t, 16>;

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" in its stored byte order.
Guid ParseGuid(std::string_view text);
std::string GuidText(const Guid& guid);

// --- Templates ---------------------------------------------------------------

struct Substitution {
    std::uint16_t index;
    ValueType type;
    bool optional;  // an optional one drops its element when the value is null
};

struct Element;
using Item = std::variant<std::u16string, Substitution, Element>;

struct Attribute {
    std::u16string name;
    std::variant<std::u16string, Substitution> value;
};

struct Element {
    std::u16string name;
    std::uint16_t dependency = 0xffff;  // the value whose absence removes the element
    std::vector<Attribute> attributes;
    std::vector<Item> content;
};

class Template {
public:
    explicit Template(Element root);
    const Element& Root() const { return root_; }
    const Guid& Id() const { return id_; }

private:
    Element root_;
    Guid id_;  // derived from the template's content
};

// --- Values ------------------------------------------------------------------

struct Instance;

struct Value {
    ValueType type = kNull;
    std::vector<std::uint8_t> bytes;
    std::shared_ptr<const Instance> binXml;  // for BinXml: the nested template instance
};

Value NullValue();
Value StringValue(std::u16string_view text);
Value UInt8Value(std::uint8_t v);
Value UInt16Value(std::uint16_t v);
Value UInt32Value(std::uint32_t v);
Value UInt64Value(std::uint64_t v);
Value HexInt32Value(std::uint32_t v);
Value HexInt64Value(std::uint64_t v);
Value GuidValue(const Guid& guid);
Value FileTimeValue(std::uint64_t fileTime);
// "S-1-5-21-..." as a binary SID; an ill-formed text gives an empty value.
Value SidValue(std::string_view text);
Value BinXmlValue(std::shared_ptr<const Instance> instance);

struct Instance {
    std::shared_ptr<const Template> tmpl;
    std::vector<Value> values;
};

// --- Files -------------------------------------------------------------------

class ChunkBuilder;

class FileBuilder {
public:
    FileBuilder();
    ~FileBuilder();

    // Appends one record; records must come in increasing identifier order.
    // False when the record cannot fit in a chunk at all.
    bool Add(std::uint64_t recordId, std::uint64_t writtenFileTime, const Instance& event);

    // The whole file: header and chunks.
    std::vector<std::uint8_t> Bytes();

private:
    void CloseChunk();

    std::vector<std::vector<std::uint8_t>> chunks_;
    std::unique_ptr<ChunkBuilder> open_;
    std::uint64_t nextRecordId_ = 1;
};

}  // namespace kestrel::evtx::writer
