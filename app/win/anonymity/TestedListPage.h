// The Tested list page: the tested proxies, their right-click menu and Test All Proxies.
#pragma once

#include <windows.h>

#include <memory>
#include <span>
#include <string_view>

#include "app/win/shell/BackgroundWork.h"
#include "app/win/shell/Pages.h"
#include "catalogue/ProxyTest.h"
#include "catalogue/TestedList.h"

namespace vestrel::app {

// The tested proxies, mirrored from the shared list, with "Remove Proxy", "Remove All Proxies",
// "Test Proxy" and "Test All Proxies" on a right-click.
class TestedListPage : public ui::MessageMap<TestedListPage, PlainPage>,
                       public catalogue::TestedList::Observer {
  public:
    static constexpr UINT_PTR kProgressTimer = 0x7A1;

    explicit TestedListPage(HWND main_window);
    ~TestedListPage() override;

    void RowInserted(std::size_t index) override;
    void RowDeleted(std::size_t index) override;
    void CellChanged(std::size_t index, std::size_t column) override;
    void AllRowsDeleted() override;

    static std::span<const ui::MessageEntry<TestedListPage>> Messages();
    static std::span<const ui::CommandEntry<TestedListPage>> Commands();

  protected:
    bool OnInitDialog() override;

  private:
    ui::Result OnNotify(const ui::Message& message);
    ui::Result OnTimer(const ui::Message& message);
    int SelectedRow() const;
    void OnUseProxy();
    void ShowMenu();
    void RemoveProxy(int row);
    void RemoveAllProxies();
    void TestProxy(int row);
    void TestAllProxies();
    void ShowTestAllProgress();
    // Applies what the run found so far and ends it on this page.
    void EndTestAll();
    void OnCancelTestAll();
    void SetRowText(std::size_t index, std::size_t column, bool insert);
    void SayStatus(std::string_view text);

    std::shared_ptr<catalogue::TestAllRun> run_;
    ui::SkinnedButton cancel_;
    // A size smaller than the page's, so that the six columns fit the page side by side.
    ui::Font list_font_;
    LifeToken life_;
};

}  // namespace vestrel::app
