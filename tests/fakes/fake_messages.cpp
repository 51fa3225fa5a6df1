#include "tests/fakes/fake_messages.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "platform/win32_errors.h"

namespace kestrel::testing {

std::int32_t FakeRegistry::OpenKey(const char* path, RegistryService::Key& key) {
    calls.push_back(std::string("open ") + path);
    key = nullptr;
    auto it = keys.find(path);
    if (it == keys.end()) return static_cast<std::int32_t>(kErrorFileNotFound);
    if (it->second.openStatus != 0) return it->second.openStatus;
    ++openKeys;
    key = &*it;
    return 0;
}

std::int32_t FakeRegistry::QueryValue(RegistryService::Key key, const char* name, void* buffer,
                                      std::uint32_t& size) {
    calls.push_back(std::string("query ") + name + " " + std::to_string(size));
    const auto& entry = *static_cast<std::pair<const std::string, Key>*>(key);
    auto it = entry.second.values.find(name);
    if (it == entry.second.values.end()) return static_cast<std::int32_t>(kErrorFileNotFound);
    const std::string& data = it->second;
    if (data.size() > size) {
        size = static_cast<std::uint32_t>(data.size());
        return static_cast<std::int32_t>(kErrorMoreData);
    }
    std::memcpy(buffer, data.data(), data.size());
    size = static_cast<std::uint32_t>(data.size());
    return 0;
}

void FakeRegistry::CloseKey(RegistryService::Key key) {
    calls.push_back("close " + static_cast<std::pair<const std::string, Key>*>(key)->first);
    --openKeys;
}

MessageModuleService::Module FakeMessageModules::LoadDataFile(const char* path) {
    calls.push_back(std::string("load ") + path);
    auto it = files.find(path);
    if (it == files.end()) {
        errors_.SetLastError(loadError);
        return nullptr;
    }
    it->second.path = path;
    ++loaded;
    return &it->second;
}

void FakeMessageModules::Free(Module module) {
    calls.push_back("free " + static_cast<File*>(module)->path);
    --loaded;
}

char* FakeMessageModules::Format(Module module, std::uint32_t messageId, std::uint32_t minSize,
                                 const char* const* arguments) {
    const File& file = *static_cast<File*>(module);
    calls.push_back("format " + file.path + " " + std::to_string(messageId) + " " + std::to_string(minSize));
    auto it = file.messages.find(messageId);
    if (it == file.messages.end()) {
        errors_.SetLastError(formatError);
        return nullptr;
    }
    const std::string& message = it->second;
    std::string text;
    for (std::size_t i = 0; i < message.size(); ++i) {
        if (message[i] != '%' || i + 1 >= message.size() ||
            !std::isdigit(static_cast<unsigned char>(message[i + 1]))) {
            text.push_back(message[i]);
            continue;
        }
        int number = message[++i] - '0';
        if (i + 1 < message.size() && std::isdigit(static_cast<unsigned char>(message[i + 1]))) {
            number = number * 10 + (message[++i] - '0');
        }
        const char* argument = arguments != nullptr && number > 0 ? arguments[number - 1] : nullptr;
        if (argument == nullptr) {
            ++nullArguments;
            text.append("(null)");
        } else {
            text.append(argument);
        }
    }
    const std::size_t size = text.size() + 1 > minSize ? text.size() + 1 : minSize;
    auto* block = static_cast<char*>(std::calloc(1, size));
    std::memcpy(block, text.data(), text.size());
    memory_.live[block] = size;
    return block;
}

std::uint32_t FakeMessageModules::ExpandEnvironment(const char* text, char* out, std::uint32_t outSize) {
    calls.push_back(std::string("expand ") + text);
    if (expandFails) return 0;
    std::string expanded;
    for (const char* at = text; *at != '\0'; ++at) {
        const char* close = *at == '%' ? std::strchr(at + 1, '%') : nullptr;
        if (close != nullptr) {
            std::string name(at + 1, close);
            for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            auto it = environment.find(name);
            if (it != environment.end()) {
                expanded.append(it->second);
                at = close;
                continue;
            }
        }
        expanded.push_back(*at);
    }
    const auto needed = static_cast<std::uint32_t>(expanded.size() + 1);
    if (needed <= outSize) std::memcpy(out, expanded.c_str(), needed);
    return needed;
}

}  // namespace kestrel::testing
