// Resource ids of the options section: its container, panel and buttons and its sub-pages. Read by
// Vestrel.rc and the C++ code alike, so plain #defines. Sub-pages number their controls on their
// own, so one number often names a different control on each page.
#pragma once

// Section container, its panel and its introduction.
#define IDD_OPTIONS_SECTION 161
#define IDD_OPTIONS_PANEL 183
#define IDD_OPTIONS_INTRO 286
#define IDC_OPTIONS_INTRO_TEXT 1071

// The panel's buttons.
#define IDC_BROWSERS_BUTTON 1111
#define IDC_START_UP_BUTTON 1112

// Browsers.
#define IDD_BROWSERS 181
#define IDC_BROWSERS_APPLY 1001
#define IDC_BROWSER_INTERNET_EXPLORER 1041
#define IDC_BROWSER_NETSCAPE 1042
#define IDC_BROWSER_OPERA 1043
#define IDC_BROWSER_MOZILLA 1044
#define IDC_BROWSER_FIREFOX 1045
#define IDC_BROWSER_AVANT 1046
#define IDC_BROWSERS_INTRO 1071
#define IDC_BROWSERS_NOTE 1072

// Start up.
#define IDD_START_UP 182
#define IDC_START_UP_TEST_PORT 1001
#define IDC_START_UP_APPLY 1002
#define IDC_START_UP_PORT 1047
#define IDC_START_UP_RUN 1048
