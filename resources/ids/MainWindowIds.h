// Resource ids of the main window: its template and controls, the navigation and tips panels, the
// status page with its hint panel, the tray and help menus' commands and the About string. Read by
// Vestrel.rc and the C++ code alike, so plain #defines.
#pragma once

// Main window.
#define IDD_MAIN_WINDOW 102
#define IDC_MAIN_MINIMISE 1001
#define IDC_MAIN_ADDRESS_CHECK 1002
#define IDC_MAIN_POSITION_MARK 1010  // a hidden static, only a position reference
#define IDC_MAIN_REAL_ADDRESS 1013
#define IDC_MAIN_ADDRESS_IN_USE 1014
#define IDC_MAIN_HELP_MENU 1015
#define IDC_MAIN_QUICK_ANONYMITY 1016

// Navigation panel: its four buttons are made by the code, one per section.
#define IDD_NAVIGATION_PANEL 153
#define IDC_NAV_STATUS 1111
#define IDC_NAV_ANONYMITY 1112
#define IDC_NAV_PRIVACY 1113
#define IDC_NAV_OPTIONS 1114

// Tips panel.
#define IDD_TIPS_PANEL 289
#define IDC_TIPS_TEXT 1078

// Status page.
#define IDD_STATUS_PAGE 150
#define IDC_STATUS_ANONYMITY_SWITCH 1011
#define IDC_STATUS_PRIVACY_SWITCH 1002
#define IDC_STATUS_NEW_BOX 1032
#define IDC_STATUS_TESTED_BOX 1063
#define IDC_STATUS_NEW_LABEL 1069
#define IDC_STATUS_TESTED_LABEL 1070
#define IDC_STATUS_ANONYMITY_STATE 1079
#define IDC_STATUS_PRIVACY_STATE 1080
#define IDC_STATUS_TIPS_LINK 1081
#define IDC_STATUS_TITLE 1082

// The status page's hint panel.
#define IDD_STATUS_HINT_PANEL 288
#define IDC_STATUS_HINT_ANONYMITY 1076
#define IDC_STATUS_HINT_PRIVACY 1077

// Tray menu.
#define IDR_TRAY_MENU 170
#define IDM_TRAY_SHOW 32771
#define IDM_TRAY_HELP_SEARCH 32773
#define IDM_TRAY_HELP_INDEX 32774
#define IDM_ABOUT 32775  // also the help menu's "About"
#define IDM_TRAY_TELL_A_FRIEND 32776
#define IDM_TRAY_EXIT 32777
#define IDM_TRAY_HELP_CONTENTS 32778

// The help menu of button IDC_MAIN_HELP_MENU, built by the code.
#define IDM_HELP_CONTENTS 101
#define IDM_HELP_INDEX 102
#define IDM_HELP_SEARCH 103
#define IDM_HELP_PRODUCT_PAGE 104
#define IDM_HELP_COMPANY_PAGE 105
#define IDM_HELP_SUPPORT 106
#define IDM_HELP_LIVE_UPDATE 107
#define IDM_HELP_TELL_A_FRIEND 108

// The About entry added to the system menu: system menu commands keep their low four bits clear.
#define IDM_SYSTEM_ABOUT 0x0010

// Strings.
#define IDS_ABOUT 101
