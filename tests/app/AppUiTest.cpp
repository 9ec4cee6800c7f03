// The dialog layer and the skinned controls inside this process, on the program's own templates:
// message and command tables, data exchange, exceptions kept out of user32, hover names, the
// hyperlink and help launches, the menu button, the tray record and the message dialog.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "ArtworkIds.h"
#include "app/win/shell/Help.h"
#include "app/win/shell/TrayDialog.h"
#include "app/win/ui/Shell.h"
#include "app/win/ui/SkinnedButton.h"
#include "app/win/ui/SkinnedDialog.h"
#include "resources/ids/DialogIds.h"
#include "resources/ids/MainWindowIds.h"
#include "resources/ids/OptionsIds.h"
#include "tests/app/Screenshot.h"

namespace vestrel::app {
namespace {

constexpr UINT kAnswer = WM_APP + 1;
constexpr UINT kThrow = WM_APP + 2;
// A resource number that the program does not have.
constexpr int kMissingResource = 9999;

// The start-up options page: a check box, an edit and two buttons.
class ProbeDialog : public ui::MessageMap<ProbeDialog, ui::SkinnedDialog> {
  public:
    explicit ProbeDialog(HWND parent) : MessageMap(IDD_START_UP, parent) {
        colour_rule_ = ui::ColourRule::Page;
    }

    int run_at_startup = 0;
    std::string port;
    int tests = 0;
    int applies = 0;
    bool initialised = false;

    static std::span<const ui::MessageEntry<ProbeDialog>> Messages() {
        static constexpr ui::MessageEntry<ProbeDialog> kMessages[] = {{kAnswer, &ProbeDialog::OnAnswer},
                                                                      {kThrow, &ProbeDialog::OnThrow}};
        return kMessages;
    }
    static std::span<const ui::CommandEntry<ProbeDialog>> Commands() {
        static constexpr ui::CommandEntry<ProbeDialog> kCommands[] = {
            {IDC_START_UP_TEST_PORT, &ProbeDialog::OnTest}, {IDC_START_UP_APPLY, &ProbeDialog::OnApply}};
        return kCommands;
    }

  protected:
    bool OnInitDialog() override {
        initialised = true;
        BindCheck(IDC_START_UP_RUN, run_at_startup);
        BindText(IDC_START_UP_PORT, port);
        return true;
    }

  private:
    ui::Result OnAnswer(const ui::Message& message) { return static_cast<LRESULT>(message.wparam * 2); }
    ui::Result OnThrow(const ui::Message&) { throw std::runtime_error("handler failure"); }
    void OnTest() { ++tests; }
    void OnApply() { ++applies; }
};

class RecordingSink : public ui::HoverSink {
  public:
    void OnButtonHover(ui::SkinnedButton& button, bool entered) override {
        events.push_back((entered ? "enter " : "leave ") + button.name());
    }
    std::vector<std::string> events;
};

class AppUiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ui::SetLauncher([this](const ui::ShellRequest& request) { launches.push_back(request); });
        ConnectShellHandlers();
        // The page templates are children; they need a top-level window to live in.
        ASSERT_TRUE(host_.Create());
        ::ShowWindow(host_.hwnd(), SW_SHOW);
    }
    void TearDown() override {
        ui::SetLauncher(nullptr);
        ui::SetShellHandlers({});
        ui::SkinnedButton::SetHoverSink(nullptr);
    }

    static void Pump() {
        MSG message;
        for (int i = 0; i < 200 && ::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
    }

    HWND host() const { return host_.hwnd(); }

    std::vector<ui::ShellRequest> launches;

  private:
    ui::MessageDialog host_{nullptr, "host"};
};

TEST_F(AppUiTest, DialogRunsItsTablesAndExchangesData) {
    ProbeDialog dialog(host());
    ASSERT_TRUE(dialog.Create());
    EXPECT_TRUE(dialog.initialised);
    EXPECT_EQ(dialog.template_id(), IDD_START_UP);

    // Results of handlers reach the sender through DWLP_MSGRESULT.
    EXPECT_EQ(::SendMessageA(dialog.hwnd(), kAnswer, 21, 0), 42);
    // A throwing handler counts as unhandled; nothing unwinds through the dialog manager.
    EXPECT_EQ(::SendMessageA(dialog.hwnd(), kThrow, 0, 0), 0);

    ::SendMessageA(dialog.hwnd(), WM_COMMAND, MAKEWPARAM(IDC_START_UP_TEST_PORT, BN_CLICKED), 0);
    ::SendMessageA(dialog.hwnd(), WM_COMMAND, MAKEWPARAM(IDC_START_UP_APPLY, BN_CLICKED), 0);
    // Other notifications of the same control are not clicks.
    ::SendMessageA(dialog.hwnd(), WM_COMMAND, MAKEWPARAM(IDC_START_UP_TEST_PORT, BN_SETFOCUS), 0);
    EXPECT_EQ(dialog.tests, 1);
    EXPECT_EQ(dialog.applies, 1);

    dialog.run_at_startup = 1;
    dialog.port = "8081";
    dialog.UpdateData(false);
    EXPECT_EQ(::IsDlgButtonChecked(dialog.hwnd(), IDC_START_UP_RUN), BST_CHECKED);
    EXPECT_EQ(ui::Dialog::ItemText(dialog.hwnd(), IDC_START_UP_PORT), "8081");

    ::CheckDlgButton(dialog.hwnd(), IDC_START_UP_RUN, BST_UNCHECKED);
    ::SetDlgItemTextA(dialog.hwnd(), IDC_START_UP_PORT, "abc");
    dialog.UpdateData(true);
    EXPECT_EQ(dialog.run_at_startup, 0);
    EXPECT_EQ(dialog.port, "abc");

    // F1 opens the help file of the program folder, maximised, through the shell.
    HELPINFO help{};
    help.cbSize = sizeof(help);
    ::SendMessageA(dialog.hwnd(), WM_HELP, 0, reinterpret_cast<LPARAM>(&help));
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].verb, "open");
    EXPECT_NE(launches[0].file.find("\\Vestrel.chm"), std::string::npos) << launches[0].file;
    EXPECT_EQ(launches[0].file.find("::"), std::string::npos);
    EXPECT_EQ(launches[0].show, SW_SHOWMAXIMIZED);

    dialog.Destroy();
    EXPECT_EQ(dialog.hwnd(), nullptr);
}

TEST_F(AppUiTest, BackgroundPictureSizesAndMissingPictures) {
    ProbeDialog dialog(host());
    ASSERT_TRUE(dialog.Create());
    // A picture that is not there keeps the default erase.
    EXPECT_TRUE(dialog.SetBackground(kMissingResource));
    EXPECT_FALSE(dialog.HasBackground());
    EXPECT_TRUE(dialog.SetBackground(IDB_POPUP_BACKGROUND));
    EXPECT_EQ(dialog.BackgroundSize().cx, 432);
    EXPECT_EQ(dialog.BackgroundSize().cy, 244);
    EXPECT_TRUE(dialog.SetBackground(IDB_MAIN_BACKGROUND));
    EXPECT_EQ(dialog.BackgroundSize().cx, 769);
    EXPECT_EQ(dialog.BackgroundSize().cy, 512);
}

TEST_F(AppUiTest, SkinnedButtonsReportHoverByName) {
    ProbeDialog dialog(host());
    ASSERT_TRUE(dialog.Create());
    ::ShowWindow(dialog.hwnd(), SW_SHOW);
    RecordingSink sink;
    ui::SkinnedButton::SetHoverSink(&sink);

    ui::SkinnedButton button;
    ASSERT_TRUE(button.AttachItem(dialog.hwnd(), IDC_START_UP_TEST_PORT));
    // One object per window.
    ui::SkinnedButton second;
    EXPECT_FALSE(second.AttachItem(dialog.hwnd(), IDC_START_UP_TEST_PORT));
    EXPECT_EQ(::GetWindowLongPtrA(button.hwnd(), GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    button.SetPictures(IDB_NAV_STATUS, IDB_NAV_STATUS_PRESSED, IDB_NAV_STATUS_HOVER, IDB_NAV_STATUS_PRESSED);
    button.SetName("BTN3");

    RECT rect{};
    ::GetWindowRect(button.hwnd(), &rect);
    ::SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    ::SendMessageA(button.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    EXPECT_TRUE(button.hovering());
    // Further moves while hovering do not repeat the enter.
    ::SendMessageA(button.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    ::SendMessageA(button.hwnd(), WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(button.hovering());
    ASSERT_EQ(sink.events.size(), 2u);
    EXPECT_EQ(sink.events[0], "enter BTN3");
    EXPECT_EQ(sink.events[1], "leave BTN3");

    // A press cancels the hover; the release sends the click to the dialog.
    ::SendMessageA(button.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    ::SendMessageA(button.hwnd(), BM_CLICK, 0, 0);
    EXPECT_FALSE(button.hovering());
    EXPECT_EQ(dialog.tests, 1);
    EXPECT_EQ(::GetCapture(), nullptr);
    ::SetCursorPos(0, 0);
}

TEST_F(AppUiTest, HyperlinkOpensItsTargetOrItsOwnText) {
    ProbeDialog dialog(host());
    ASSERT_TRUE(dialog.Create());
    HWND link_window = ::GetDlgItem(dialog.hwnd(), IDC_START_UP_PORT);
    ::SetWindowTextA(link_window, "http://www.vestrel-proxy.net/tips/");
    ui::Hyperlink link;
    ASSERT_TRUE(link.Attach(link_window));
    link.SetTarget("http://www.vestrel-proxy.net/");
    EXPECT_EQ(::SendMessageA(link_window, WM_NCHITTEST, 0, 0), HTCLIENT);

    // The shell opens the address itself, so that the user's default browser shows it.
    ::SendMessageA(link_window, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].verb, "open");
    EXPECT_EQ(launches[0].file, "http://www.vestrel-proxy.net/");
    EXPECT_EQ(launches[0].parameters, "");
    EXPECT_EQ(launches[0].show, SW_SHOWNORMAL);

    link.SetTarget("");
    ::SendMessageA(link_window, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    ASSERT_EQ(launches.size(), 2u);
    EXPECT_EQ(launches[1].file, "http://www.vestrel-proxy.net/tips/");
    EXPECT_EQ(link.target(), "http://www.vestrel-proxy.net/tips/");

    OpenWebPage("http://www.vestrel-proxy.net/my-ip/");
    ASSERT_EQ(launches.size(), 3u);
    EXPECT_EQ(launches[2].verb, "open");
    EXPECT_EQ(launches[2].file, "http://www.vestrel-proxy.net/my-ip/");
    EXPECT_EQ(launches[2].parameters, "");
    EXPECT_EQ(launches[2].show, SW_SHOWMAXIMIZED);
}

TEST_F(AppUiTest, MenuButtonHandsItsMenuCommandsOn) {
    ProbeDialog dialog(host());
    ASSERT_TRUE(dialog.Create());
    ui::MenuButton button;
    ASSERT_TRUE(button.AttachItem(dialog.hwnd(), IDC_START_UP_APPLY));
    EXPECT_TRUE(button.AddItem(IDM_HELP_CONTENTS, "Help &Contents"));
    EXPECT_TRUE(button.AddItem(-1, nullptr, MF_SEPARATOR));
    EXPECT_TRUE(button.AddItem(IDM_ABOUT, "&About"));
    EXPECT_EQ(::GetMenuItemCount(button.menu()), 3);
    EXPECT_EQ(::GetMenuItemID(button.menu(), 2), static_cast<UINT>(IDM_ABOUT));

    std::vector<int> commands;
    button.SetCommandHandler([&](int id) { commands.push_back(id); });
    // The menu is owned by the button, so its choices arrive there as menu commands.
    ::SendMessageA(button.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_HELP_CONTENTS, 0), 0);
    ::SendMessageA(button.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_ABOUT, 0), 0);
    EXPECT_EQ(commands, (std::vector<int>{IDM_HELP_CONTENTS, IDM_ABOUT}));
}

class ProbeTray : public TrayDialog {
  public:
    ProbeTray() : TrayDialog(IDD_MINIMISE_HINT, nullptr) {}
};

TEST_F(AppUiTest, TrayIconIsShownAndRemovedOnceEach) {
    ProbeTray tray;
    ASSERT_TRUE(tray.Create());
    EXPECT_TRUE(tray.SetTrayIcon(IDI_VESTREL));
    EXPECT_FALSE(tray.SetTrayIcon(kMissingResource));
    tray.SetTrayTip(std::string(70, 'v'));
    EXPECT_EQ(tray.TrayTip().size(), 63u);
    EXPECT_TRUE(tray.SetTrayMenu(IDR_TRAY_MENU));

    EXPECT_FALSE(tray.HideIcon());
    ASSERT_TRUE(tray.ShowIcon());
    EXPECT_TRUE(tray.IconShown());
    EXPECT_FALSE(tray.ShowIcon());

    // A shell that starts again has lost the icon; told so, the window puts it back, and a balloon
    // over an icon lost without a word adds it again.
    NOTIFYICONDATAA probe{};
    probe.cbSize = NOTIFYICONDATAA_V2_SIZE;
    probe.hWnd = tray.hwnd();
    probe.uID = TrayDialog::kIconId;
    ASSERT_TRUE(::Shell_NotifyIconA(NIM_DELETE, &probe));
    ASSERT_FALSE(::Shell_NotifyIconA(NIM_MODIFY, &probe));
    ::SendMessageA(tray.hwnd(), ::RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(::Shell_NotifyIconA(NIM_MODIFY, &probe));
    ASSERT_TRUE(::Shell_NotifyIconA(NIM_DELETE, &probe));
    EXPECT_TRUE(tray.ShowBalloon("Vestrel", "back"));
    EXPECT_TRUE(::Shell_NotifyIconA(NIM_MODIFY, &probe));
    EXPECT_TRUE(tray.HideIcon());
    EXPECT_FALSE(tray.IconShown());

    // The system menu's close hides the window into the tray instead of closing it.
    ::ShowWindow(tray.hwnd(), SW_SHOW);
    ::SendMessageA(tray.hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(::IsWindowVisible(tray.hwnd()));
    EXPECT_TRUE(tray.IconShown());
    // A double-click on the icon restores it and removes the icon.
    ::SendMessageA(tray.hwnd(), TrayDialog::kCallbackMessage, TrayDialog::kIconId, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(::IsWindowVisible(tray.hwnd()));
    EXPECT_FALSE(tray.IconShown());
    // Destroying the window takes a shown icon away with it.
    ASSERT_TRUE(tray.ShowIcon());
    tray.Destroy();
    EXPECT_FALSE(tray.IconShown());
}

TEST_F(AppUiTest, MessageDialogShowsItsText) {
    ui::MessageDialog dialog(nullptr,
                             "Please select a proxy from the list before enabling online anonymity.");
    ASSERT_TRUE(dialog.Create());
    EXPECT_EQ(ui::Dialog::WindowText(dialog.hwnd()), "Vestrel");
    EXPECT_EQ(ui::Dialog::ItemText(dialog.hwnd(), ui::MessageDialog::kTextId),
              "Please select a proxy from the list before enabling online anonymity.");
    RECT rect{};
    ::GetWindowRect(dialog.hwnd(), &rect);
    EXPECT_EQ(rect.right - rect.left, 432);
    EXPECT_EQ(rect.bottom - rect.top, 244);
    EXPECT_NE(::GetWindowLongPtrA(dialog.hwnd(), GWL_EXSTYLE) & WS_EX_LAYERED, 0);
    ::ShowWindow(dialog.hwnd(), SW_SHOW);
    ::UpdateWindow(dialog.hwnd());
    Pump();
    ::Sleep(300);
    Pump();
    testing::SaveScreenshot(dialog.hwnd(), "message");
}

// What Windows sends when the window moves to a monitor of another scale (Wine has one DPI for
// every monitor, so the message is sent here): the window takes the new scale's picture and places.
TEST_F(AppUiTest, WindowMovedToAnotherScaleTakesItsPicturesAndPlaces) {
    ui::MessageDialog dialog(nullptr, "Moved to a monitor at 200 %.");
    ASSERT_TRUE(dialog.Create());
    const auto size_of = [](HWND window) {
        RECT rect{};
        ::GetWindowRect(window, &rect);
        return SIZE{rect.right - rect.left, rect.bottom - rect.top};
    };
    const auto place_of = [&](int id) {
        RECT rect{};
        ::GetWindowRect(dialog.Item(id), &rect);
        ::MapWindowPoints(nullptr, dialog.hwnd(), reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    };
    for (const UINT dpi : {192u, 120u, 96u}) {
        SCOPED_TRACE(dpi);
        const int percent = static_cast<int>(dpi * 100 / 96);
        const auto scaled = [&](int length) { return (length * percent + 50) / 100; };
        RECT suggested{100, 50, 100 + scaled(432), 50 + scaled(244)};
        ::SendMessageA(dialog.hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                       reinterpret_cast<LPARAM>(&suggested));
        EXPECT_EQ(dialog.BackgroundSize().cx, scaled(432));
        EXPECT_EQ(dialog.BackgroundSize().cy, scaled(244));
        EXPECT_EQ(size_of(dialog.hwnd()).cx, scaled(432));
        EXPECT_EQ(size_of(dialog.hwnd()).cy, scaled(244));
        // The OK button where the layout puts it, as large as its picture for this scale.
        const RECT ok = place_of(IDOK);
        EXPECT_EQ(ok.left, scaled(171));
        EXPECT_EQ(ok.top, scaled(196));
        EXPECT_EQ(ok.right - ok.left, scaled(90));
        EXPECT_EQ(ok.bottom - ok.top, scaled(30));
        EXPECT_EQ(place_of(ui::MessageDialog::kTextId).right, scaled(24) + scaled(384));
        if (dpi == 192) {
            ::ShowWindow(dialog.hwnd(), SW_SHOW);
            ::UpdateWindow(dialog.hwnd());
            Pump();
            testing::SaveScreenshot(dialog.hwnd(), "message-moved-to-200");
        }
    }
}

TEST(HelpFileTest, CompiledHelpLiesBesideTheProgram) {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string help(path);
    help.resize(help.find_last_of('\\') + 1);
    help += "Vestrel.chm";
    FILE* file = std::fopen(help.c_str(), "rb");
    ASSERT_NE(file, nullptr) << help;
    std::string content(200000, '\0');
    content.resize(std::fread(content.data(), 1, content.size(), file));
    std::fclose(file);
    EXPECT_EQ(content.substr(0, 4), "ITSF");
    // The topic the help commands address, and the contents and index files.
    EXPECT_NE(content.find("/Introduction.htm"), std::string::npos);
    EXPECT_NE(content.find("Contents.hhc"), std::string::npos);
    EXPECT_NE(content.find("Index.hhk"), std::string::npos);
}

}  // namespace
}  // namespace vestrel::app
