// The main window's initialisation, navigation, commands and tray behaviour.
#include "app/win/shell/MainWindow.h"

#include "ArtworkIds.h"
#include "app/Links.h"
#include "app/SelfTest.h"
#include "app/ShellTexts.h"
#include "app/win/anonymity/AnonymityProgressDialog.h"
#include "app/win/anonymity/FailoverNotice.h"
#include "app/win/anonymity/SelfTestDialog.h"
#include "app/win/shell/BackgroundWork.h"
#include "app/win/shell/Dialogs.h"
#include "app/win/shell/Help.h"
#include "app/win/shell/Integration.h"
#include "app/win/ui/Dpi.h"
#include "app/win/ui/Skin.h"
#include "catalogue/ProxyJudge.h"
#include "settings/RegDwordSetting.h"
#include "settings/RegStringSetting.h"
#include "settings/SettingsTable.h"

namespace vestrel::app {

namespace {

struct NavigationButtonSpec {
    const char* name;
    int id;
    int pictures[4];  // normal, pressed, hover, disabled
};

constexpr NavigationButtonSpec kNavigationButtons[Navigation::kSections] = {
    {"BTN1",
     IDC_NAV_STATUS,
     {IDB_NAV_STATUS, IDB_NAV_STATUS_PRESSED, IDB_NAV_STATUS_HOVER, IDB_NAV_STATUS_PRESSED}},
    {"BTN2",
     IDC_NAV_ANONYMITY,
     {IDB_NAV_ANONYMITY, IDB_NAV_ANONYMITY_PRESSED, IDB_NAV_ANONYMITY_HOVER, IDB_NAV_ANONYMITY_PRESSED}},
    {"BTN3",
     IDC_NAV_PRIVACY,
     {IDB_NAV_PRIVACY, IDB_NAV_PRIVACY_PRESSED, IDB_NAV_PRIVACY_HOVER, IDB_NAV_PRIVACY_PRESSED}},
    {"BTN4",
     IDC_NAV_OPTIONS,
     {IDB_NAV_OPTIONS, IDB_NAV_OPTIONS_PRESSED, IDB_NAV_OPTIONS_HOVER, IDB_NAV_OPTIONS_PRESSED}},
};

// Where the controls of the main window meet the artwork, in client pixels.
struct Placement {
    int id, x, y, width, height;
};
constexpr Placement kPlacements[] = {
    {MainWindow::kRealAddressLine, 32, 480, 400, 16}, {MainWindow::kAddressInUseLine, 32, 496, 400, 16},
    {MainWindow::kQuickAnonymity, 490, 476, 130, 32}, {MainWindow::kAddressCheck, 632, 476, 110, 32},
    {MainWindow::kHelpMenu, 648, 21, 70, 28},         {MainWindow::kMinimise, 726, 21, 28, 28},
};

void Show(HWND window, bool visible) {
    if (window != nullptr && (::IsWindowVisible(window) != FALSE) != visible) {
        ::ShowWindow(window, visible ? SW_SHOW : SW_HIDE);
    }
}

void Enable(HWND window, bool enabled) {
    if (window != nullptr && (::IsWindowEnabled(window) != FALSE) != enabled) ::EnableWindow(window, enabled);
}

HICON LoadProgramIcon(int size_metric_x, int size_metric_y, UINT dpi) {
    return static_cast<HICON>(::LoadImageA(ui::Dialog::Instance(), MAKEINTRESOURCEA(IDI_VESTREL), IMAGE_ICON,
                                           ui::SystemMetric(size_metric_x, dpi),
                                           ui::SystemMetric(size_metric_y, dpi), 0));
}

}  // namespace

MainWindow::MainWindow() : MessageMap(kTemplate, nullptr) {
    colour_rule_ = ui::ColourRule::MainWindow;
    moves_by_body_ = true;
    fit_to_background_ = true;
}

MainWindow::~MainWindow() { ui::SkinnedButton::SetHoverSink(nullptr); }

std::span<const ui::MessageEntry<MainWindow>> MainWindow::Messages() {
    static constexpr ui::MessageEntry<MainWindow> kMessages[] = {
        {WM_SYSCOMMAND, &MainWindow::OnSystemMenu},
        {WM_CLOSE, &MainWindow::OnClose},
        {WM_PAINT, &MainWindow::OnPaint},
        {WM_QUERYDRAGICON, &MainWindow::OnQueryDragIcon},
    };
    return kMessages;
}

std::span<const ui::CommandEntry<MainWindow>> MainWindow::Commands() {
    static constexpr ui::CommandEntry<MainWindow> kCommands[] = {
        {kMinimise, &MainWindow::OnMinimise},
        {IDM_TRAY_SHOW, &MainWindow::OnShow},
        {IDM_TRAY_EXIT, &MainWindow::OnExit},
        {IDM_TRAY_HELP_CONTENTS, &MainWindow::OnHelpContents},
        {IDM_TRAY_HELP_INDEX, &MainWindow::OnHelpIndex},
        {IDM_TRAY_HELP_SEARCH, &MainWindow::OnHelpSearch},
        {IDM_ABOUT, &MainWindow::OnAbout},
        {IDM_TRAY_TELL_A_FRIEND, &MainWindow::OnTellAFriend},
        {kQuickAnonymity, &MainWindow::OnQuickAnonymity},
        {kAddressCheck, &MainWindow::OnAddressCheck},
        {IDOK, &MainWindow::OnOk},
        {IDCANCEL, &MainWindow::OnCancel},
    };
    return kCommands;
}

bool MainWindow::OnInitDialog() {
    char about[64] = {};
    if (::LoadStringA(Instance(), IDS_ABOUT, about, sizeof(about)) > 0) {
        if (HMENU system_menu = ::GetSystemMenu(hwnd(), FALSE)) {
            ::AppendMenuA(system_menu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuA(system_menu, MF_STRING, kAboutCommand, about);
        }
    }
    SetIcons();
    const std::string title(kWindowTitle);
    ::SetWindowTextA(hwnd(), title.c_str());

    SetTrayIcon(IDI_VESTREL);
    SetTrayTip(title);
    SetTrayMenu(IDR_TRAY_MENU);

    StartCleaningThread();
    InitBackgroundWork();
    LoadProxyLists();
    StartFailoverWatch(*this);

    SetBackground(IDB_MAIN_BACKGROUND);
    for (const Placement& place : kPlacements)
        PlaceItem(place.id, place.x, place.y, place.width, place.height);
    minimise_.AttachItem(hwnd(), kMinimise);
    minimise_.SetPictures(IDB_MINIMISE, IDB_MINIMISE_PRESSED);

    ui::SkinnedButton::SetHoverSink(this);
    if (!BuildPages()) return false;

    quick_anonymity_.AttachItem(hwnd(), kQuickAnonymity);
    quick_anonymity_.SetPictures(IDB_QUICK_ANONYMITY, IDB_QUICK_ANONYMITY_PRESSED);
    help_menu_.AttachItem(hwnd(), kHelpMenu);
    help_menu_.SetPictures(IDB_HELP_MENU, IDB_HELP_MENU_PRESSED);
    BuildHelpMenu();
    address_check_.AttachItem(hwnd(), kAddressCheck);
    address_check_.SetPictures(IDB_CHECK_ADDRESS, IDB_CHECK_ADDRESS_PRESSED);

    const std::uint32_t use_proxy = settings::RegDwordSetting(settings::kUseProxy).get();
    const std::string proxy_name = settings::RegStringSetting(settings::kProxyName).get();
    const std::string& real = status_page_->real_address();
    SetItemText(hwnd(), kAddressInUseLine, StartupAddressInUseLine(use_proxy, proxy_name, real));
    SetItemText(hwnd(), kRealAddressLine, StartupRealAddressLine(real));

    ui::ApplyLayeredShape(hwnd());
    UseCaptionFont(kAddressInUseLine);
    UseCaptionFont(kRealAddressLine);

    tips_ = std::make_unique<TipsPanel>(hwnd());
    if (!tips_->Create()) return false;
    ::SetWindowLongPtrA(tips_->hwnd(), GWLP_ID, TipsPanel::kTemplate);
    Place(tips_->hwnd(), 10, 325, 125, 115, SWP_NOZORDER | SWP_SHOWWINDOW);
    tips_->PlaceItem(TipsPanel::kTextId, 4, 2, 117, 111);
    return true;
}

void MainWindow::SetIcons() {
    big_icon_.reset(LoadProgramIcon(SM_CXICON, SM_CYICON, dpi()));
    small_icon_.reset(LoadProgramIcon(SM_CXSMICON, SM_CYSMICON, dpi()));
    ::SendMessageA(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon_.get()));
    ::SendMessageA(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_.get()));
}

void MainWindow::Rescale() {
    TrayDialog::Rescale();
    SetIcons();
}

bool MainWindow::BuildPages() {
    navigation_panel_ = std::make_unique<NavigationPanel>(kNavigationPanel, hwnd(), 1, *this);
    if (!navigation_panel_->Create()) return false;
    ::SetWindowLongPtrA(navigation_panel_->hwnd(), GWLP_ID, kNavigationPanel);

    for (int i = 0; i < Navigation::kSections; ++i) {
        const NavigationButtonSpec& button_layout = kNavigationButtons[i];
        auto button = std::make_unique<ui::SkinnedButton>();
        // The status section is selected at start, so its button starts disabled.
        if (!button->Create(navigation_panel_->hwnd(), button_layout.id, 5, 3 + 50 * i, 130, 30, i != 0))
            return false;
        button->SetPictures(button_layout.pictures[0], button_layout.pictures[1], button_layout.pictures[2],
                            button_layout.pictures[3]);
        button->SetName(button_layout.name);
        HWND page = nullptr;
        if (i == 0) {
            status_page_ = std::make_unique<StatusPage>(hwnd());
            if (!status_page_->Create()) return false;
            page = status_page_->hwnd();
            ::SetWindowLongPtrA(page, GWLP_ID, StatusPage::kTemplate);
            Place(page, 150, 80, 600, 370, SWP_NOZORDER | SWP_SHOWWINDOW);
            if (HintPanel* hint = status_page_->hint_panel()) {
                ::SetWindowPos(hint->hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
            }
        } else {
            auto section = std::make_unique<SectionPage>(Sections()[i - 1], hwnd(), *this);
            if (!section->Build(button->hwnd())) return false;
            page = section->hwnd();
            sections_.push_back(std::move(section));
        }
        navigation_panel_->Register(page, button->hwnd());
        navigation_buttons_[i] = std::move(button);
    }
    Place(navigation_panel_->hwnd(), 10, 90, 140, 200, SWP_NOZORDER | SWP_SHOWWINDOW);
    navigation_panel_->SetBackground(IDB_NAVIGATION_PANEL);
    return true;
}

void MainWindow::BuildHelpMenu() {
    struct Item {
        int id;
        const char* text;
    };
    static constexpr Item kItems[] = {
        {IDM_HELP_CONTENTS, "Help &Contents"},
        {IDM_HELP_INDEX, "Help &Index"},
        {IDM_HELP_SEARCH, "Help &Search"},
        {-1, nullptr},
        {IDM_HELP_PRODUCT_PAGE, "&Product Page"},
        {IDM_HELP_COMPANY_PAGE, "C&ompany Page"},
        {-1, nullptr},
        {IDM_HELP_SUPPORT, "&Get Support"},
        {IDM_HELP_LIVE_UPDATE, "&Live Update"},
        {IDM_HELP_TELL_A_FRIEND, "&Tell a Friend"},
        {-1, nullptr},
        {IDM_ABOUT, "&About"},
    };
    for (const Item& item : kItems)
        help_menu_.AddItem(item.id, item.text, item.text == nullptr ? MF_SEPARATOR : MF_STRING);
    help_menu_.SetCommandHandler([this](int command) { OnHelpMenu(command); });
}

void MainWindow::OnHelpMenu(int command) {
    switch (command) {
        case IDM_HELP_CONTENTS:
            ShowHelp(HelpView::Contents);
            break;
        case IDM_HELP_INDEX:
            ShowHelp(HelpView::Index);
            break;
        case IDM_HELP_SEARCH:
            ShowHelp(HelpView::Search);
            break;
        case IDM_HELP_PRODUCT_PAGE:
            OpenWebPage(links::kProductPage);
            break;
        case IDM_HELP_COMPANY_PAGE:
            OpenWebPage(links::kCompanyPage);
            break;
        case IDM_HELP_SUPPORT:
            OpenWebPage(links::kSupportPage);
            break;
        case IDM_HELP_LIVE_UPDATE:
            OnQuickAnonymity();
            break;
        case IDM_HELP_TELL_A_FRIEND:
            OpenWebPage(links::kTellAFriendPage);
            break;
        case IDM_ABOUT:
            OnAbout();
            break;
        default:
            break;
    }
}

void MainWindow::SetTip(const std::string& text) {
    if (tips_) tips_->SetTip(text);
}

void MainWindow::ClearTip() { SetTip(""); }

void MainWindow::OnButtonHover(ui::SkinnedButton& button, bool entered) {
    const std::string& name = button.name();
    if (entered) {
        if (auto tip = TipFor(name)) SetTip(*tip);
    } else if (IsTipButton(name)) {
        ClearTip();
    }
    if (status_page_ && (name == "Anonymity" || name == "Privacy"))
        status_page_->OnSwitchHover(name, entered);
}

void MainWindow::OnNavigate(int kind, int index) {
    if (kind == 1) {
        navigation_.ClickMain(index + 1);
    } else {
        navigation_.ClickSection(kind, index);
    }
    ApplyNavigation();
}

// Enter reaches the main window whichever page holds the focus; the page on show decides what it
// means (the List update page's start button, the status page's "Tested" box).
void MainWindow::OnOk() {
    HWND page = nullptr;
    if (status_page_ && ::IsWindowVisible(status_page_->hwnd())) page = status_page_->hwnd();
    for (auto& section : sections_) {
        for (SubPage& sub_page : section->sub_pages()) {
            if (sub_page.dialog && ::IsWindowVisible(sub_page.dialog->hwnd())) page = sub_page.dialog->hwnd();
        }
    }
    if (page != nullptr) ::SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

void MainWindow::ApplyNavigation() {
    // Everything to hide first, then what to show, so that two pages never show at once.
    for (int pass = 0; pass < 2; ++pass) {
        const bool showing = pass == 1;
        auto apply = [showing](HWND window, bool visible) {
            if (visible == showing) Show(window, visible);
        };
        HWND status = status_page_ ? status_page_->hwnd() : nullptr;
        // A page of another section may have switched anonymity off (a relay port it could not open).
        if (showing && status != nullptr && navigation_.SectionVisible(1) && !::IsWindowVisible(status))
            status_page_->ShowAnonymityState();
        apply(status, navigation_.SectionVisible(1));
        if (status_page_ && status_page_->hint_panel()) {
            apply(status_page_->hint_panel()->hwnd(), navigation_.SubPageVisible(1, 0));
        }
        for (auto& section : sections_) {
            const int s = section->layout().section;
            apply(section->hwnd(), navigation_.SectionVisible(s));
            auto& pages = section->sub_pages();
            for (int j = 0; j < static_cast<int>(pages.size()); ++j) {
                const bool visible = navigation_.SubPageVisible(s, j);
                const bool was_visible = ::IsWindowVisible(pages[j].dialog->hwnd()) != FALSE;
                apply(pages[j].dialog->hwnd(), visible);
                if (showing && visible && !was_visible && pages[j].on_show) pages[j].on_show();
            }
        }
    }
    // A build that failed part-way leaves later slots empty; the window is closing then, but a click
    // already queued may still arrive.
    for (int s = 1; s <= Navigation::kSections; ++s) {
        if (navigation_buttons_[s - 1])
            Enable(navigation_buttons_[s - 1]->hwnd(), navigation_.MainButtonEnabled(s));
    }
    for (auto& section : sections_) {
        const int s = section->layout().section;
        for (int j = 0; j < navigation_.SectionButtons(s); ++j) {
            if (ui::SkinnedButton* button = section->button(j))
                Enable(button->hwnd(), navigation_.SectionButtonEnabled(s, j));
        }
    }
}

void MainWindow::OnMinimise() {
    const std::uint32_t hide_hint = settings::RegDwordSetting(settings::kHideHint).get();
    ShowIcon();
    ::ShowWindow(hwnd(), SW_HIDE);
    if (hide_hint != 0) {
        MinimiseHintDialog hint(hwnd());
        hint.DoModal();
    }
}

void MainWindow::OnShow() {
    HideIcon();
    ::ShowWindow(hwnd(), SW_SHOW);
}

void MainWindow::OnExit() {
    // A dialog still open over the window (a test, a question) would hold the program in its own
    // loop: each is cancelled first, as Escape would.
    for (int i = 0; i < 8; ++i) {
        HWND popup = ::GetWindow(hwnd(), GW_ENABLEDPOPUP);
        if (popup == nullptr || popup == hwnd()) break;
        ::SendMessageA(popup, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        if (::IsWindowEnabled(popup)) ::EnableWindow(popup, FALSE);
    }
    // Off through the switch itself, so that the browsers, the relay and the page all follow.
    if (settings::RegDwordSetting(settings::kUseProxy).get() == 1) {
        if (status_page_) {
            status_page_->PressAnonymitySwitch();
        } else {
            SwitchAnonymityOff();
        }
    }
    EndDialog(0);
}

void MainWindow::OnHelpContents() { ShowHelp(HelpView::Contents); }
void MainWindow::OnHelpIndex() { ShowHelp(HelpView::Index); }
void MainWindow::OnHelpSearch() { ShowHelp(HelpView::Search); }

void MainWindow::OnAbout() {
    AboutDialog about(hwnd());
    about.DoModal();
}

void MainWindow::OnTellAFriend() { OpenWebPage(links::kTellAFriendPage); }

void MainWindow::OnQuickAnonymity() {
    AnonymityProgressDialog progress(hwnd());
    progress.DoModal();
    // The dialog may have switched anonymity on.
    if (status_page_) status_page_->ShowAnonymityState();
}

void MainWindow::OnAddressCheck() {
    if (self_test_running_) return;
    self_test_running_ = true;
    Enable(address_check_.hwnd(), false);
    const bool anonymity_on = settings::RegDwordSetting(settings::kUseProxy).get() == 1;
    const std::uint32_t local_port = settings::RegDwordSetting(settings::kLocalPort).get();
    StartBackgroundWork([this, watch = life_.Watcher(), anonymity_on, local_port]() -> UiStep {
        const std::string verdict = SelfTestVerdict(RunSelfTest(anonymity_on, local_port));
        std::optional<std::string> public_address = catalogue::TheRealAddress().Public();
        return [this, watch, verdict, public_address] {
            if (watch.Alive()) ShowSelfTestResult(verdict, public_address);
        };
    });
}

void MainWindow::ShowSelfTestResult(const std::string& verdict,
                                    const std::optional<std::string>& public_address) {
    if (public_address && status_page_) status_page_->SetRealAddress(*public_address);
    // Usable again before the dialog opens: its loop is modal and may last as long as the user likes.
    self_test_running_ = false;
    Enable(address_check_.hwnd(), true);
    ShowSelfTestVerdict(hwnd(), verdict);
}

void MainWindow::OnCancel() {
    ::ShowWindow(hwnd(), SW_HIDE);
    ShowIcon();
}

ui::Result MainWindow::OnSystemMenu(const ui::Message& message) {
    if ((message.wparam & 0xFFF0) != kAboutCommand) return std::nullopt;  // the tray's handling
    OnAbout();
    return 0;
}

ui::Result MainWindow::OnClose(const ui::Message&) {
    // Ends the program without switching anonymity off (the stop utility relies on this).
    EndDialog(0);
    return 0;
}

ui::Result MainWindow::OnPaint(const ui::Message&) {
    if (!::IsIconic(hwnd())) return std::nullopt;
    ui::PaintScope paint(hwnd());
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    const int x = (client.right - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(paint.get(), x, y, big_icon_.get());
    return 0;
}

ui::Result MainWindow::OnQueryDragIcon(const ui::Message&) {
    return reinterpret_cast<LRESULT>(big_icon_.get());
}

}  // namespace vestrel::app
