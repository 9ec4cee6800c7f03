// The cleaning tasks' system services on Windows: shell folders, the URL history object (COM), the
// WinInet URL cache and the Protected Storage keys.
#pragma once

#include "cleaner/CleaningSystem.h"

namespace vestrel::cleaner {

class WindowsCleaningSystem final : public CleaningSystem {
  public:
    void ClearHistoryList() override;
    std::optional<std::string> WindowsFolder() override;
    std::optional<std::string> TemporaryFolder() override;
    std::optional<std::string> SpecialFolder(ShellFolder folder) override;
    bool purgeUrlCache(UrlCacheMode mode) override;
    bool IsNtFamily() override;
    void ClearUserAutoCompleteStore() override;
    std::optional<std::string> UserName() override;
};

// The process's one instance, for the schedule thread.
CleaningSystem& PlatformCleaningSystem();

}  // namespace vestrel::cleaner
