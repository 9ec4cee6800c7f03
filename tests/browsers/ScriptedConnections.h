// A recording stand-in for the system's connection settings that can fail or throw at a chosen list.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>

#include "browsers/ConnectionSettings.h"

namespace vestrel::browsers::testing {

class ScriptedConnections : public MemoryConnectionSettings {
  public:
    std::optional<std::size_t> fail_at;   // this list (counted from 0) reports an allocation failure
    std::optional<std::size_t> throw_at;  // this list throws

    bool Apply(const PerConnectionOptions& options) override {
        const std::size_t call = calls_++;
        if (throw_at == call) throw std::runtime_error("scripted failure");
        if (fail_at == call) return false;
        return MemoryConnectionSettings::Apply(options);
    }

  private:
    std::size_t calls_ = 0;
};

}  // namespace vestrel::browsers::testing
