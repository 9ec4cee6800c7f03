// The sub-pages of the anonymity section: the wizard, the current proxy, the New list, the Tested list
// with its context menu, Add proxy and List update. Every download and test they start runs on a
// worker; the controls that would start a second one are disabled until it is over.
#pragma once

#include <windows.h>

#include <chrono>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/win/BackgroundWork.h"
#include "app/win/Integration.h"
#include "app/win/Pages.h"
#include "app/win/RefreshProgress.h"
#include "catalogue/ProxyTest.h"
#include "catalogue/TestedList.h"

namespace vestrel::app {

// Browse or post anonymously: the locations of the downloaded list and the proxies of one of them.
class WizardPage : public ui::MessageMap<WizardPage, PlainPage> {
  public:
    // How long a downloaded list is used again before the next choice downloads it anew.
    static constexpr std::chrono::seconds kListReuse{60};

    explicit WizardPage(HWND main_window);

    static std::span<const ui::MessageEntry<WizardPage>> Messages();
    static std::span<const ui::CommandEntry<WizardPage>> Commands();

  protected:
    bool OnInitDialog() override;

  private:
    enum class Next { Locations, Proxies };
    ui::Result OnLocationCommand(const ui::Message& message);
    void OnCheck();
    void OnApply();
    // Runs `next` on the list, downloading it first when the last one is older than kListReuse.
    void WithList(Next next);
    void ShowLocations();
    void ShowProxies();
    void EnableBoxes(bool enabled);

    int browse_ = 0;
    int post_ = 0;
    std::vector<std::string> lines_;
    std::optional<std::chrono::steady_clock::time_point> fetched_at_;
    bool downloading_ = false;
    Next pending_ = Next::Locations;
    LifeToken life_;
};

// The proxy in use, or the real address while anonymity is off.
class CurrentProxyPage : public ui::MessageMap<CurrentProxyPage, PlainPage> {
  public:
    explicit CurrentProxyPage(HWND main_window);
    // Computes and shows the text again; run each time the section shows the page.
    void ShowCurrentProxy();

    static std::span<const ui::CommandEntry<CurrentProxyPage>> Commands();

  protected:
    bool OnInitDialog() override;

  private:
    void OnChangeProxy();
};

// The downloaded list; a double-click tests and adopts a proxy.
class NewListPage : public ui::MessageMap<NewListPage, PlainPage> {
  public:
    explicit NewListPage(HWND main_window);
    ~NewListPage() override;

    static std::span<const ui::MessageEntry<NewListPage>> Messages();

  protected:
    bool OnInitDialog() override;

  private:
    void Fill();
    ui::Result OnNotify(const ui::Message& message);
};

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
    // A size smaller than the page's, so that the five columns fit the page side by side.
    ui::Font list_font_;
    LifeToken life_;
};

// A typed proxy, checked for its form, tested and adopted.
class AddProxyPage : public ui::MessageMap<AddProxyPage, PlainPage> {
  public:
    explicit AddProxyPage(HWND main_window);
    static std::span<const ui::CommandEntry<AddProxyPage>> Commands();

  private:
    void OnApply();
};

// The list refresh with its progress, and the plain-text list sources read with it: each with the
// proxies it gave at the last refresh, added and removed by address.
class ListUpdatePage : public ui::MessageMap<ListUpdatePage, PlainPage> {
  public:
    explicit ListUpdatePage(HWND main_window);
    ~ListUpdatePage() override;

    static std::span<const ui::MessageEntry<ListUpdatePage>> Messages();
    static std::span<const ui::CommandEntry<ListUpdatePage>> Commands();

  protected:
    bool OnInitDialog() override;

  private:
    void OnStart();
    ui::Result OnTimer(const ui::Message& message);
    void FillSources();
    void OnAddSource();
    void OnRemoveSource();
    // Stores `urls` as the list sources; false (and said) when the setting could not be written.
    bool StoreSources(const std::vector<std::string>& urls);

    std::unique_ptr<RefreshProgress> progress_;
};

// The page of an anonymity sub-page template; an empty SubPage for any other template.
SubPage MakeAnonymityPage(int template_id, HWND main_window);

}  // namespace vestrel::app
