// The installed-browser probes.
#include "browsers/InstalledBrowsers.h"

#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/registry/Registry.h"
#include "settings/RegKey.h"

namespace vestrel::browsers {
namespace {

namespace registry = platform::registry;

constexpr std::string_view kUninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

std::string UninstallKey(std::string_view name) { return std::string(kUninstall) + "\\" + std::string(name); }

// The long-standing probe: the key must exist and open for reading and writing. It is looked for first
// without creating anything, because the create-and-remove probe would leave behind any missing
// parent keys.
bool ProbeReadWrite(std::string_view name) {
    registry::Key lookup;
    if (registry::OpenKey(registry::Hive::LocalMachine, UninstallKey(name), registry::kKeyRead, lookup) !=
        registry::kSuccess) {
        return false;
    }
    lookup.Close();
    settings::RegKey key(registry::Hive::LocalMachine, UninstallKey(name), registry::kKeyReadWrite);
    const bool present = key.exists();
    key.close();
    return present;
}

// A 32-bit program's entry lives in the 32-bit view on 64-bit Windows. Only opened, never created,
// so that nothing is left behind in a view the probe cannot clean up.
bool ProbeReadOnly32(std::string_view name) {
    registry::Key key;
    return registry::OpenKey(registry::Hive::LocalMachine, UninstallKey(name),
                             registry::kKeyRead | registry::kKeyWow64_32, key) == registry::kSuccess;
}

bool AnyKeyPresent(std::initializer_list<std::string_view> names) {
    for (std::string_view name : names) {
        if (ProbeReadWrite(name) || ProbeReadOnly32(name)) return true;
    }
    return false;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(text[i]) != lower(prefix[i])) return false;
    }
    return true;
}

bool AnySubkeyStartsWith(std::string_view prefix) {
    // Bounded: a registry key with more subkeys than this is not an Uninstall key we can trust.
    constexpr std::uint32_t kMaxSubkeys = 100000;
    for (std::uint32_t view : {std::uint32_t{0}, registry::kKeyWow64_32}) {
        registry::Key key;
        if (registry::OpenKey(registry::Hive::LocalMachine, std::string(kUninstall),
                              registry::kKeyRead | view, key) != registry::kSuccess) {
            continue;
        }
        std::string name;
        for (std::uint32_t index = 0;
             index < kMaxSubkeys && key.EnumSubkey(index, name) == registry::kSuccess; ++index) {
            if (StartsWithNoCase(name, prefix)) return true;
        }
    }
    return false;
}

}  // namespace

bool IsNetscapeInstalled() {
    return AnyKeyPresent({"Netscape 6 (6.2.3)", "Netscape Browser"}) || AnySubkeyStartsWith("Netscape");
}

bool IsOperaInstalled() { return AnyKeyPresent({"Opera"}) || AnySubkeyStartsWith("Opera"); }

bool IsMozillaInstalled() { return AnyKeyPresent({"Mozilla (1.6)", "Mozilla (1.7.1)"}); }

bool IsFirefoxInstalled() {
    return AnyKeyPresent({"Mozilla Firefox (1.0.1)", "Mozilla Firefox (1.0.2)", "Mozilla Firefox (1.0.3)",
                          "Mozilla Firefox (1.0.4)", "Mozilla Firefox (1.0.5)", "Mozilla Firefox (1.0.6)",
                          "Mozilla Firefox (1.0.7)", "Mozilla Firefox (1.0)", "Mozilla Firefox (1.5)",
                          "Mozilla Firefox (1.5.0.3)", "Mozilla Firefox (1.5.0.7)"}) ||
           AnySubkeyStartsWith("Mozilla Firefox");
}

bool IsAvantInstalled() { return AnyKeyPresent({"AvantBrowser"}); }

std::uint32_t NetscapeKind() {
    std::uint32_t kind = 0;
    if (AnyKeyPresent({"Netscape 6 (6.2.3)"})) kind += kNetscape6;
    if (AnyKeyPresent({"Netscape Browser"})) kind += kNetscapeBrowser;
    return kind;
}

}  // namespace vestrel::browsers
