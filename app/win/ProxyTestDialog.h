// The proxy test dialog: one timed connect to the proxy on a worker thread, its rows in the task
// list, and the result recorded in the settings that the caller reads afterwards.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "app/win/BackgroundWork.h"
#include "app/win/ui/SkinnedButton.h"
#include "app/win/ui/SkinnedDialog.h"
#include "catalogue/ProxyTest.h"
#include "resources/ids/AnonymityIds.h"

namespace vestrel::app {

class ProxyTestDialog : public ui::MessageMap<ProxyTestDialog, ui::SkinnedDialog> {
  public:
    ProxyTestDialog(HWND parent, std::string host, std::string source_text, std::int32_t port);

    // Runs the dialog; the recorded result when it ended with OK after a test of its own that passed.
    std::optional<catalogue::RecordedResult> Run();

    static std::span<const ui::CommandEntry<ProxyTestDialog>> Commands();

  protected:
    bool OnInitDialog() override;

  private:
    void OnStart();
    void OnOk();
    void OnCancel();
    void ShowOutcome(std::uint32_t connect_ms);
    void AddRow(const std::string& description, const std::string& response);

    std::string host_;
    std::string source_text_;
    std::int32_t port_;
    bool testing_ = false;
    bool passed_ = false;
    ui::SkinnedButton start_;
    ui::SkinnedButton ok_;
    ui::SkinnedButton cancel_;
    LifeToken life_;
};

// A TestRunner for the anonymity operations: the dialog, modal over `parent`.
std::optional<catalogue::RecordedResult> RunProxyTestDialog(HWND parent, const std::string& host,
                                                            const std::string& source_text,
                                                            std::int32_t port);

}  // namespace vestrel::app
