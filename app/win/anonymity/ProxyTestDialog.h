// The proxy test dialog: one timed connect to the proxy and, when it answered, the judge's grade, on a
// worker thread; their rows in the task list, the result recorded in the settings that the caller reads
// afterwards and the grade in the program's grade file.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "app/win/shell/BackgroundWork.h"
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
    void ShowOutcome(std::uint32_t connect_ms, const std::optional<catalogue::JudgeResult>& judged);
    void AddRow(const std::string& description, const std::string& response);

    std::string host_;
    std::string source_text_;
    std::int32_t port_;
    bool testing_ = false;
    bool passed_ = false;
    // The source text in the protocol the last test found the proxy answering in.
    std::string judged_text_;
    // Set when the dialog ends, so that a judge check still under way gives up at its next wait.
    std::shared_ptr<std::atomic<bool>> cancel_test_ = std::make_shared<std::atomic<bool>>(false);
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
