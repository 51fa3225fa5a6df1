#include "tools/security_log.h"

#include <charconv>
#include <map>
#include <memory>

#include "tools/evtx_writer.h"

namespace kestrel::sample {

namespace {

namespace writer = evtx::writer;
using evtx::ValueType;
using writer::Element;
using writer::Substitution;
using K = FieldKind;

constexpr std::u16string_view kProvider = u"Microsoft-Windows-Security-Auditing";
constexpr std::string_view kProviderGuid = "{54849625-5478-4994-A5BA-3E3B0328C30D}";

const std::vector<EventShape>& Shapes() {
    static const std::vector<FieldShape> session = {
        {u"AccountName", K::String}, {u"AccountDomain", K::String}, {u"LogonID", K::HexInt64},
        {u"SessionName", K::String}, {u"ClientName", K::String},    {u"ClientAddress", K::String}};
    static const std::vector<EventShape> shapes = {
        {4624,
         2,
         12544,
         {{u"SubjectUserSid", K::Sid},
          {u"SubjectUserName", K::String},
          {u"SubjectDomainName", K::String},
          {u"SubjectLogonId", K::HexInt64},
          {u"TargetUserSid", K::Sid},
          {u"TargetUserName", K::String},
          {u"TargetDomainName", K::String},
          {u"TargetLogonId", K::HexInt64},
          {u"LogonType", K::UInt32},
          {u"LogonProcessName", K::String},
          {u"AuthenticationPackageName", K::String},
          {u"WorkstationName", K::String},
          {u"LogonGuid", K::Guid},
          {u"TransmittedServices", K::String},
          {u"LmPackageName", K::String},
          {u"KeyLength", K::UInt32},
          {u"ProcessId", K::Pointer},
          {u"ProcessName", K::String},
          {u"IpAddress", K::String},
          {u"IpPort", K::String},
          {u"ImpersonationLevel", K::String},
          {u"RestrictedAdminMode", K::String},
          {u"TargetOutboundUserName", K::String},
          {u"TargetOutboundDomainName", K::String},
          {u"VirtualAccount", K::String},
          {u"TargetLinkedLogonId", K::HexInt64},
          {u"ElevatedToken", K::String}}},
        {4625,
         0,
         12544,
         {{u"SubjectUserSid", K::Sid},
          {u"SubjectUserName", K::String},
          {u"SubjectDomainName", K::String},
          {u"SubjectLogonId", K::HexInt64},
          {u"TargetUserSid", K::Sid},
          {u"TargetUserName", K::String},
          {u"TargetDomainName", K::String},
          {u"Status", K::HexInt32},
          {u"FailureReason", K::String},
          {u"SubStatus", K::HexInt32},
          {u"LogonType", K::UInt32},
          {u"LogonProcessName", K::String},
          {u"AuthenticationPackageName", K::String},
          {u"WorkstationName", K::String},
          {u"TransmittedServices", K::String},
          {u"LmPackageName", K::String},
          {u"KeyLength", K::UInt32},
          {u"ProcessId", K::Pointer},
          {u"ProcessName", K::String},
          {u"IpAddress", K::String},
          {u"IpPort", K::String}}},
        {4634,
         0,
         12545,
         {{u"TargetUserSid", K::Sid},
          {u"TargetUserName", K::String},
          {u"TargetDomainName", K::String},
          {u"TargetLogonId", K::HexInt64},
          {u"LogonType", K::UInt32}}},
        {4647,
         0,
         12545,
         {{u"TargetUserSid", K::Sid},
          {u"TargetUserName", K::String},
          {u"TargetDomainName", K::String},
          {u"TargetLogonId", K::HexInt64}}},
        {4648,
         0,
         12544,
         {{u"SubjectUserSid", K::Sid},
          {u"SubjectUserName", K::String},
          {u"SubjectDomainName", K::String},
          {u"SubjectLogonId", K::HexInt64},
          {u"LogonGuid", K::Guid},
          {u"TargetUserName", K::String},
          {u"TargetDomainName", K::String},
          {u"TargetLogonGuid", K::Guid},
          {u"TargetServerName", K::String},
          {u"TargetInfo", K::String},
          {u"ProcessId", K::Pointer},
          {u"ProcessName", K::String},
          {u"IpAddress", K::String},
          {u"IpPort", K::String}}},
        {4672,
         0,
         12548,
         {{u"SubjectUserSid", K::Sid},
          {u"SubjectUserName", K::String},
          {u"SubjectDomainName", K::String},
          {u"SubjectLogonId", K::HexInt64},
          {u"PrivilegeList", K::String}}},
        {4740,
         0,
         13824,
         {{u"TargetUserName", K::String},
          {u"TargetDomainName", K::String},  // the caller computer
          {u"TargetSid", K::Sid},
          {u"SubjectUserSid", K::Sid},
          {u"SubjectUserName", K::String},
          {u"SubjectDomainName", K::String},
          {u"SubjectLogonId", K::HexInt64}}},
        {4768,
         0,
         14339,
         {{u"TargetUserName", K::String},
          {u"TargetDomainName", K::String},
          {u"TargetSid", K::Sid},
          {u"ServiceName", K::String},
          {u"ServiceSid", K::Sid},
          {u"TicketOptions", K::HexInt32},
          {u"Status", K::HexInt32},
          {u"TicketEncryptionType", K::HexInt32},
          {u"PreAuthType", K::String},
          {u"IpAddress", K::String},
          {u"IpPort", K::String},
          {u"CertIssuerName", K::String},
          {u"CertSerialNumber", K::String},
          {u"CertThumbprint", K::String}}},
        {4769,
         0,
         14337,
         {{u"TargetUserName", K::String},
          {u"TargetDomainName", K::String},
          {u"ServiceName", K::String},
          {u"ServiceSid", K::Sid},
          {u"TicketOptions", K::HexInt32},
          {u"TicketEncryptionType", K::HexInt32},
          {u"IpAddress", K::String},
          {u"IpPort", K::String},
          {u"Status", K::HexInt32},
          {u"LogonGuid", K::Guid},
          {u"TransmittedServices", K::String}}},
        {4771,
         0,
         14339,
         {{u"TargetUserName", K::String},
          {u"TargetSid", K::Sid},
          {u"ServiceName", K::String},
          {u"TicketOptions", K::HexInt32},
          {u"Status", K::HexInt32},
          {u"PreAuthType", K::String},
          {u"IpAddress", K::String},
          {u"IpPort", K::String},
          {u"CertIssuerName", K::String},
          {u"CertSerialNumber", K::String},
          {u"CertThumbprint", K::String}}},
        {4776,
         0,
         14336,
         {{u"PackageName", K::String},
          {u"TargetUserName", K::String},
          {u"Workstation", K::String},
          {u"Status", K::HexInt32}}},
        {4778, 0, 12551, session},  // reconnected
        {4779, 0, 12551, session},  // disconnected
        {4688,
         2,
         13312,
         {{u"SubjectUserSid", K::Sid},
          {u"SubjectUserName", K::String},
          {u"SubjectDomainName", K::String},
          {u"SubjectLogonId", K::HexInt64},
          {u"NewProcessId", K::Pointer},
          {u"NewProcessName", K::String},
          {u"TokenElevationType", K::String},
          {u"ProcessId", K::Pointer},
          {u"CommandLine", K::String},
          {u"TargetUserSid", K::Sid},
          {u"TargetUserName", K::String},
          {u"TargetDomainName", K::String},
          {u"TargetLogonId", K::HexInt64},
          {u"ParentProcessName", K::String},
          {u"MandatoryLabel", K::Sid}}},
    };
    return shapes;
}

std::u16string EmptyText(FieldKind kind) {
    switch (kind) {
        case K::Sid:
            return u"S-1-0-0";
        case K::UInt32:
            return u"0";
        case K::HexInt32:
        case K::HexInt64:
        case K::Pointer:
            return u"0x0";
        case K::Guid:
            return u"{00000000-0000-0000-0000-000000000000}";
        case K::String:
            break;
    }
    return u"-";
}

ValueType TemplateType(FieldKind kind) {
    switch (kind) {
        case K::Sid:
            return evtx::kSid;
        case K::UInt32:
            return evtx::kUInt32;
        case K::HexInt32:
            return evtx::kHexInt32;
        case K::HexInt64:
            return evtx::kHexInt64;
        case K::Pointer:
            return evtx::kSizeT;
        case K::Guid:
            return evtx::kGuid;
        case K::String:
            break;
    }
    return evtx::kString;
}

bool Number(std::u16string_view text, int base, std::uint64_t& out) {
    const std::string ascii = Utf8(text);
    const char* begin = ascii.data();
    const char* end = begin + ascii.size();
    if (base == 16) {
        if (ascii.size() < 3 || ascii[0] != '0' || ascii[1] != 'x') return false;
        begin += 2;
    }
    const auto [next, error] = std::from_chars(begin, end, out, base);
    return error == std::errc() && next == end;
}

// The typed value of a field; Null type when its text does not fit the kind.
writer::Value FieldValue(FieldKind kind, std::u16string_view text) {
    std::uint64_t n = 0;
    switch (kind) {
        case K::String:
            return writer::StringValue(text);
        case K::Sid: {
            writer::Value sid = writer::SidValue(Utf8(text));
            return sid.bytes.empty() ? writer::NullValue() : sid;
        }
        case K::UInt32:
            if (!Number(text, 10, n) || n > 0xffffffffu) break;
            return writer::UInt32Value(static_cast<std::uint32_t>(n));
        case K::HexInt32:
            if (!Number(text, 16, n) || n > 0xffffffffu) break;
            return writer::HexInt32Value(static_cast<std::uint32_t>(n));
        case K::HexInt64:
        case K::Pointer:
            if (!Number(text, 16, n)) break;
            return writer::HexInt64Value(n);
        case K::Guid:
            if (text.size() != 38) break;
            return writer::GuidValue(writer::ParseGuid(Utf8(text)));
    }
    return writer::NullValue();
}

Element Leaf(std::u16string name, std::uint16_t index, ValueType type) {
    return Element{std::move(name), index, {}, {Substitution{index, type, true}}};
}

Element Empty(std::u16string name, std::vector<writer::Attribute> attributes) {
    return Element{std::move(name), 0xffff, std::move(attributes), {}};
}

writer::Attribute Optional(std::u16string name, std::uint16_t index, ValueType type) {
    return writer::Attribute{std::move(name), Substitution{index, type, true}};
}

// The System part, with the event's own data as value 17. The computer name
// is part of the template, as Windows writes it.
std::shared_ptr<const writer::Template> SystemTemplate(std::u16string_view computerName) {
    Element eventId = Leaf(u"EventID", 3, evtx::kUInt16);
    eventId.attributes.push_back(Optional(u"Qualifiers", 4, evtx::kUInt16));
    Element system{u"System", 0xffff, {}, {}};
    system.content = {
        Empty(u"Provider", {Optional(u"Name", 14, evtx::kString), Optional(u"Guid", 15, evtx::kGuid)}),
        eventId,
        Leaf(u"Version", 11, evtx::kUInt8),
        Leaf(u"Level", 0, evtx::kUInt8),
        Leaf(u"Task", 2, evtx::kUInt16),
        Leaf(u"Opcode", 1, evtx::kUInt8),
        Leaf(u"Keywords", 5, evtx::kHexInt64),
        Empty(u"TimeCreated", {Optional(u"SystemTime", 6, evtx::kFileTime)}),
        Leaf(u"EventRecordID", 10, evtx::kUInt64),
        Empty(u"Correlation",
              {Optional(u"ActivityID", 7, evtx::kGuid), Optional(u"RelatedActivityID", 13, evtx::kGuid)}),
        Empty(u"Execution",
              {Optional(u"ProcessID", 8, evtx::kUInt32), Optional(u"ThreadID", 9, evtx::kUInt32)}),
        Leaf(u"Channel", 16, evtx::kString),
        Element{u"Computer", 0xffff, {}, {std::u16string(computerName)}},
        Empty(u"Security", {Optional(u"UserID", 12, evtx::kSid)}),
    };
    Element event{u"Event",
                  17,
                  {writer::Attribute{u"xmlns", u"http://schemas.microsoft.com/win/2004/08/events/event"}},
                  {system, Substitution{17, evtx::kBinXml, true}}};
    return std::make_shared<writer::Template>(std::move(event));
}

std::shared_ptr<const writer::Template> EventDataTemplate(const EventShape& shape) {
    Element data{u"EventData", 0xffff, {}, {}};
    for (std::size_t i = 0; i < shape.fields.size(); ++i) {
        const FieldShape& field = shape.fields[i];
        data.content.push_back(
            Element{u"Data",
                    0xffff,
                    {writer::Attribute{u"Name", std::u16string(field.name)}},
                    {Substitution{static_cast<std::uint16_t>(i), TemplateType(field.kind), false}}});
    }
    return std::make_shared<writer::Template>(std::move(data));
}

}  // namespace

const EventShape* FindEventShape(std::uint16_t id) {
    for (const EventShape& shape : Shapes()) {
        if (shape.id == id) return &shape;
    }
    return nullptr;
}

SecurityEvent NewEvent(std::uint16_t id) {
    SecurityEvent event;
    event.id = id;
    if (const EventShape* shape = FindEventShape(id)) {
        for (const FieldShape& field : shape->fields) event.data.push_back(EmptyText(field.kind));
    }
    return event;
}

bool SetField(SecurityEvent& event, std::u16string_view name, std::u16string value) {
    const EventShape* shape = FindEventShape(event.id);
    if (shape == nullptr) return false;
    for (std::size_t i = 0; i < shape->fields.size(); ++i) {
        if (shape->fields[i].name == name) {
            event.data[i] = std::move(value);
            return true;
        }
    }
    return false;
}

namespace {

// Records of one file; each computer has its own System template, as its
// name is part of it.
class LogWriter {
public:
    bool Add(std::u16string_view computerName, std::uint64_t writtenTime, const SecurityEvent& event) {
        const EventShape* shape = FindEventShape(event.id);
        if (shape == nullptr || event.data.size() != shape->fields.size()) return false;
        auto& system = system_[std::u16string(computerName)];
        if (!system) system = SystemTemplate(computerName);
        auto& dataTemplate = eventData_[event.id];
        if (!dataTemplate) dataTemplate = EventDataTemplate(*shape);

        auto data = std::make_shared<writer::Instance>();
        data->tmpl = dataTemplate;
        for (std::size_t i = 0; i < shape->fields.size(); ++i) {
            writer::Value value = FieldValue(shape->fields[i].kind, event.data[i]);
            if (value.type == evtx::kNull) return false;
            data->values.push_back(std::move(value));
        }
        writer::Instance record{
            system,
            {
                writer::UInt8Value(0),  // level: log always
                writer::UInt8Value(0),  // opcode: info
                writer::UInt16Value(shape->task),
                writer::UInt16Value(event.id),
                writer::NullValue(),  // qualifiers
                writer::HexInt64Value(event.failure ? kAuditFailure : kAuditSuccess),
                writer::FileTimeValue(event.fileTime),
                event.activityId.empty() ? writer::NullValue()
                                         : writer::GuidValue(writer::ParseGuid(Utf8(event.activityId))),
                writer::UInt32Value(event.processId),
                writer::UInt32Value(event.threadId),
                writer::UInt64Value(event.recordId),
                writer::UInt8Value(shape->version),
                writer::NullValue(),  // user
                writer::NullValue(),  // related activity
                writer::StringValue(kProvider),
                writer::GuidValue(providerGuid_),
                writer::StringValue(u"Security"),  // forwarded events keep theirs
                writer::BinXmlValue(std::move(data)),
            }};
        return file_.Add(event.recordId, writtenTime, record);
    }

    std::vector<std::uint8_t> Bytes() { return file_.Bytes(); }

private:
    const writer::Guid providerGuid_ = writer::ParseGuid(kProviderGuid);
    std::map<std::u16string, std::shared_ptr<const writer::Template>> system_;
    std::map<std::uint16_t, std::shared_ptr<const writer::Template>> eventData_;
    writer::FileBuilder file_;
};

}  // namespace

std::vector<std::uint8_t> WriteSecurityLog(std::u16string_view computerName,
                                           const std::vector<SecurityEvent>& events) {
    LogWriter log;
    for (const SecurityEvent& event : events) {
        if (!log.Add(computerName, event.fileTime, event)) return {};
    }
    return log.Bytes();
}

std::vector<std::uint8_t> WriteForwardedLog(const std::vector<ForwardedRecord>& records) {
    LogWriter log;
    for (const ForwardedRecord& record : records) {
        if (!log.Add(record.computerName, record.writtenTime, record.event)) return {};
    }
    return log.Bytes();
}

std::string Utf8(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xd800 && c < 0xdc00 && i + 1 < text.size() && text[i + 1] >= 0xdc00 &&
            text[i + 1] < 0xe000) {
            c = 0x10000 + ((c - 0xd800) << 10) + (text[++i] - 0xdc00);
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xc0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3f));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xe0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3f));
            out += static_cast<char>(0x80 | (c & 0x3f));
        } else {
            out += static_cast<char>(0xf0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3f));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3f));
            out += static_cast<char>(0x80 | (c & 0x3f));
        }
    }
    return out;
}

std::u16string Utf16(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

}  // namespace kestrel::sample
