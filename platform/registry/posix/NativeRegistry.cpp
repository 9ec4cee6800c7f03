// The registry service held in memory: hives of keys with case-insensitive names, values with a type
// and raw bytes, one lock around the whole tree so that any thread may use it.
#include "platform/registry/posix/NativeRegistry.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <utility>
#include <vector>

#include "platform/registry/Registry.h"

namespace vestrel::platform::registry {
namespace {

constexpr long kKeyDeleted = 1018;  // ERROR_KEY_DELETED

struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
        });
    }
};

struct Value {
    std::string name;  // as first written
    std::uint32_t type = kTypeNone;
    std::string bytes;
};

struct Node {
    std::string name;
    std::map<std::string, std::shared_ptr<Node>, CaseInsensitiveLess> subkeys;
    std::map<std::string, Value, CaseInsensitiveLess> values;
    bool deleted = false;
};

// What a Key's handle points at: a share of the node it opened.
struct OpenNode {
    std::shared_ptr<Node> node;
};

constexpr std::array kHiveNames{"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS"};

class Store {
  public:
    std::mutex mutex;
    std::array<std::shared_ptr<Node>, kHiveNames.size()> hives;

    Store() { Reset(); }

    void Reset() {
        for (std::size_t i = 0; i < hives.size(); ++i) {
            if (hives[i]) MarkDeleted(*hives[i]);
            hives[i] = std::make_shared<Node>();
            hives[i]->name = kHiveNames[i];
        }
    }

    static void MarkDeleted(Node& node) {
        node.deleted = true;
        for (auto& [name, child] : node.subkeys) MarkDeleted(*child);
    }
};

Store& TheStore() {
    static Store store;
    return store;
}

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : path) {
        if (c == '\\') {
            if (!current.empty()) parts.push_back(std::move(current));
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    if (!current.empty()) parts.push_back(std::move(current));
    return parts;
}

std::shared_ptr<Node> Find(Hive hive, const std::string& path) {
    std::shared_ptr<Node> node = TheStore().hives[static_cast<std::size_t>(hive)];
    for (const std::string& part : SplitPath(path)) {
        auto it = node->subkeys.find(part);
        if (it == node->subkeys.end()) return nullptr;
        node = it->second;
    }
    return node;
}

std::shared_ptr<Node> NodeOf(void* handle) { return static_cast<OpenNode*>(handle)->node; }

void* NewHandle(std::shared_ptr<Node> node) { return new OpenNode{std::move(node)}; }

// Hex text of some bytes; "-" stands for none so that every field of a line has a word.
std::string ToHex(const std::string& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    if (bytes.empty()) return "-";
    std::string hex;
    for (unsigned char c : bytes) {
        hex.push_back(kDigits[c >> 4]);
        hex.push_back(kDigits[c & 15]);
    }
    return hex;
}

bool FromHex(const std::string& hex, std::string& bytes) {
    bytes.clear();
    if (hex == "-") return true;
    if (hex.empty() || hex.size() % 2 != 0) return false;
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = digit(hex[i]);
        const int low = digit(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes.push_back(static_cast<char>(high * 16 + low));
    }
    return true;
}

void Write(std::ostream& out, const Node& node, const std::string& path) {
    out << "K " << ToHex(path) << '\n';
    for (const auto& [key, value] : node.values) {
        out << "V " << ToHex(value.name) << ' ' << value.type << ' ' << ToHex(value.bytes) << '\n';
    }
    for (const auto& [key, child] : node.subkeys) Write(out, *child, path + "\\" + child->name);
}

}  // namespace

Key::~Key() { Close(); }

Key::Key(Key&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

Key& Key::operator=(Key&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

long Key::Close() {
    if (handle_ == nullptr) return kSuccess;
    std::lock_guard lock(TheStore().mutex);
    delete static_cast<OpenNode*>(std::exchange(handle_, nullptr));
    return kSuccess;
}

long Key::QueryValue(const std::string& name, std::uint32_t* type, void* data, std::uint32_t* size) const {
    if (handle_ == nullptr) return kInvalidHandle;
    std::lock_guard lock(TheStore().mutex);
    const auto node = NodeOf(handle_);
    if (node->deleted) return kKeyDeleted;
    const auto it = node->values.find(name);
    if (it == node->values.end()) return kFileNotFound;
    const Value& value = it->second;
    if (type != nullptr) *type = value.type;
    if (data != nullptr && size == nullptr) return kInvalidParameter;
    if (size == nullptr) return kSuccess;
    const auto needed = static_cast<std::uint32_t>(value.bytes.size());
    if (data == nullptr) {
        *size = needed;
        return kSuccess;
    }
    if (*size < needed) {
        *size = needed;
        return kMoreData;
    }
    std::memcpy(data, value.bytes.data(), needed);
    *size = needed;
    return kSuccess;
}

long Key::SetValue(const std::string& name, std::uint32_t type, const void* data, std::uint32_t size) {
    if (handle_ == nullptr) return kInvalidHandle;
    if (data == nullptr && size != 0) return kInvalidParameter;
    std::lock_guard lock(TheStore().mutex);
    const auto node = NodeOf(handle_);
    if (node->deleted) return kKeyDeleted;
    Value& value = node->values[name];
    if (value.name.empty()) value.name = name;
    value.type = type;
    value.bytes.assign(static_cast<const char*>(data), size);
    return kSuccess;
}

long Key::DeleteValue(const std::string& name) {
    if (handle_ == nullptr) return kInvalidHandle;
    std::lock_guard lock(TheStore().mutex);
    const auto node = NodeOf(handle_);
    if (node->deleted) return kKeyDeleted;
    return node->values.erase(name) == 1 ? kSuccess : kFileNotFound;
}

long Key::EnumSubkey(std::uint32_t index, std::string& name) const {
    if (handle_ == nullptr) return kInvalidHandle;
    std::lock_guard lock(TheStore().mutex);
    const auto node = NodeOf(handle_);
    if (node->deleted) return kKeyDeleted;
    if (index >= node->subkeys.size()) return kNoMoreItems;
    name = std::next(node->subkeys.begin(), index)->second->name;
    return kSuccess;
}

long Key::EnumValue(std::uint32_t index, std::string& name) const {
    if (handle_ == nullptr) return kInvalidHandle;
    std::lock_guard lock(TheStore().mutex);
    const auto node = NodeOf(handle_);
    if (node->deleted) return kKeyDeleted;
    if (index >= node->values.size()) return kNoMoreItems;
    name = std::next(node->values.begin(), index)->second.name;
    return kSuccess;
}

long OpenKey(Hive hive, const std::string& path, std::uint32_t /*access*/, Key& out) {
    std::lock_guard lock(TheStore().mutex);
    auto node = Find(hive, path);
    if (!node) return kFileNotFound;
    Key opened(NewHandle(std::move(node)));
    std::swap(out.handle_, opened.handle_);
    // The previous handle of `out`, now in `opened`, must be released without re-taking the lock.
    delete static_cast<OpenNode*>(std::exchange(opened.handle_, nullptr));
    return kSuccess;
}

long CreateKey(Hive hive, const std::string& path, std::uint32_t /*access*/, Key& out,
               std::uint32_t* disposition) {
    std::lock_guard lock(TheStore().mutex);
    std::shared_ptr<Node> node = TheStore().hives[static_cast<std::size_t>(hive)];
    bool created = false;
    for (const std::string& part : SplitPath(path)) {
        auto& child = node->subkeys[part];
        if (!child) {
            child = std::make_shared<Node>();
            child->name = part;
            created = true;
        }
        node = child;
    }
    Key opened(NewHandle(std::move(node)));
    std::swap(out.handle_, opened.handle_);
    delete static_cast<OpenNode*>(std::exchange(opened.handle_, nullptr));
    if (disposition != nullptr) *disposition = created ? kCreatedNewKey : kOpenedExistingKey;
    return kSuccess;
}

namespace {

long Remove(Hive hive, const std::string& path, bool with_subkeys) {
    std::lock_guard lock(TheStore().mutex);
    const std::vector<std::string> parts = SplitPath(path);
    if (parts.empty()) return kAccessDenied;  // a hive itself cannot be deleted
    std::shared_ptr<Node> parent = TheStore().hives[static_cast<std::size_t>(hive)];
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        auto it = parent->subkeys.find(parts[i]);
        if (it == parent->subkeys.end()) return kFileNotFound;
        parent = it->second;
    }
    auto it = parent->subkeys.find(parts.back());
    if (it == parent->subkeys.end()) return kFileNotFound;
    if (!with_subkeys && !it->second->subkeys.empty()) return kAccessDenied;
    Store::MarkDeleted(*it->second);
    parent->subkeys.erase(it);
    return kSuccess;
}

}  // namespace

long DeleteKey(Hive hive, const std::string& path) { return Remove(hive, path, false); }

long DeleteKeyTree(Hive hive, const std::string& path) { return Remove(hive, path, true); }

void ClearNativeRegistry() {
    std::lock_guard lock(TheStore().mutex);
    TheStore().Reset();
}

bool SaveNativeRegistry(const std::string& path) {
    std::ostringstream text;
    {
        std::lock_guard lock(TheStore().mutex);
        text << "vestrel-registry 1\n";
        for (std::size_t i = 0; i < kHiveNames.size(); ++i) {
            text << "H " << i << '\n';
            const Node& hive = *TheStore().hives[i];
            for (const auto& [key, value] : hive.values) {
                text << "V " << ToHex(value.name) << ' ' << value.type << ' ' << ToHex(value.bytes) << '\n';
            }
            for (const auto& [key, child] : hive.subkeys) Write(text, *child, child->name);
        }
    }
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text.str();
        out.flush();
        if (!out) return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

bool LoadNativeRegistry(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string header;
    if (!std::getline(in, header) || header != "vestrel-registry 1") return false;

    std::array<std::shared_ptr<Node>, kHiveNames.size()> hives;
    for (std::size_t i = 0; i < hives.size(); ++i) {
        hives[i] = std::make_shared<Node>();
        hives[i]->name = kHiveNames[i];
    }
    std::shared_ptr<Node> hive;
    std::shared_ptr<Node> current;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        if (kind == "H") {
            std::size_t index = hives.size();
            fields >> index;
            if (index >= hives.size()) return false;
            hive = current = hives[index];
        } else if (kind == "K" && hive) {
            std::string hex;
            std::string key_path;
            fields >> hex;
            if (!FromHex(hex, key_path)) return false;
            current = hive;
            for (const std::string& part : SplitPath(key_path)) {
                auto& child = current->subkeys[part];
                if (!child) {
                    child = std::make_shared<Node>();
                    child->name = part;
                }
                current = child;
            }
        } else if (kind == "V" && current) {
            std::string name_hex;
            std::string data_hex;
            Value value;
            fields >> name_hex >> value.type >> data_hex;
            if (!FromHex(name_hex, value.name) || !FromHex(data_hex, value.bytes)) return false;
            current->values[value.name] = value;
        } else if (!kind.empty()) {
            return false;
        }
    }
    std::lock_guard lock(TheStore().mutex);
    for (std::size_t i = 0; i < hives.size(); ++i) {
        Store::MarkDeleted(*TheStore().hives[i]);
        TheStore().hives[i] = hives[i];
    }
    return true;
}

}  // namespace vestrel::platform::registry
