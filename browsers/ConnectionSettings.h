// The system's per-connection proxy options (one set for the local network, one per dial-up
// connection) behind a small interface: WinInet in the Windows build, an in-memory store natively.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vestrel::browsers {

// Values of the per-connection flags option, as WinInet numbers them.
inline constexpr std::uint32_t kProxyTypeDirect = 1;
inline constexpr std::uint32_t kProxyTypeProxy = 2;
inline constexpr std::uint32_t kProxyTypeAutoProxyUrl = 4;
inline constexpr std::uint32_t kProxyTypeAutoDetect = 8;

// One per-connection option list: the flags always, the server, bypass list and automatic
// configuration address when given. An empty text given clears that option.
struct PerConnectionOptions {
    // Name of a dial-up connection; none means the local-network settings.
    std::optional<std::string> connection;
    std::uint32_t flags = kProxyTypeDirect;
    std::optional<std::string> proxy_server;
    std::optional<std::string> proxy_bypass;
    std::optional<std::string> auto_config_url;

    bool operator==(const PerConnectionOptions&) const = default;
};

class ConnectionSettings {
  public:
    virtual ~ConnectionSettings() = default;
    // Applies one list to its connection. False only when the list could not be built (no memory);
    // what the system makes of the list is not reported.
    virtual bool Apply(const PerConnectionOptions& options) = 0;
    // Tells the internet layer that the settings changed, then asks it to reload them.
    virtual void NotifySettingsChanged() = 0;
    virtual void Refresh() = 0;
    // The options a connection holds now, every text given (empty when unset); nothing when the
    // system cannot tell.
    virtual std::optional<PerConnectionOptions> Query(const std::optional<std::string>& connection) {
        static_cast<void>(connection);
        return std::nullopt;
    }
    // The names of the dial-up and VPN entries the system knows.
    virtual std::vector<std::string> DialUpEntries() { return {}; }
    // The one diagnostic channel of the configurator (the debugger output on Windows).
    virtual void DebugMessage(std::string_view text) = 0;
};

// The system's own: WinInet's global options on Windows, a process-wide MemoryConnectionSettings natively.
ConnectionSettings& SystemConnectionSettings();

// Keeps per-connection options in memory, the way the system stores them: a list changes only the
// options it carries. Used natively in place of the system and by tests as a recording stand-in.
class MemoryConnectionSettings : public ConnectionSettings {
  public:
    struct Stored {
        std::uint32_t flags = kProxyTypeDirect;
        std::string proxy_server;
        std::string proxy_bypass;
        std::string auto_config_url;
    };
    enum class Event { Apply, SettingsChanged, Refresh };

    bool Apply(const PerConnectionOptions& options) override;
    void NotifySettingsChanged() override;
    void Refresh() override;
    void DebugMessage(std::string_view text) override;
    std::optional<PerConnectionOptions> Query(const std::optional<std::string>& connection) override;
    std::vector<std::string> DialUpEntries() override { return dial_up_entries; }

    // The entries DialUpEntries() reports; tests set them.
    std::vector<std::string> dial_up_entries;

    void Reset();
    // The options of a connection (none: the local network); nothing when no list ever reached it.
    std::optional<Stored> Get(const std::optional<std::string>& connection) const;
    const std::vector<Event>& events() const { return events_; }
    // The connection of each list applied, in order.
    const std::vector<std::optional<std::string>>& applied() const { return applied_; }
    const std::vector<std::string>& messages() const { return messages_; }

  private:
    std::map<std::optional<std::string>, Stored> stored_;
    std::vector<Event> events_;
    std::vector<std::optional<std::string>> applied_;
    std::vector<std::string> messages_;
};

}  // namespace vestrel::browsers
