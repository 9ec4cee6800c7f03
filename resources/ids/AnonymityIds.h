// Resource ids of the anonymity section: its container, panel and buttons, its sub-pages and the
// proxy test dialog. Read by Vestrel.rc and the C++ code alike, so plain #defines. Sub-pages number
// their controls on their own, so one number often names a different control on each page.
#pragma once

// Section container, its panel and its introduction.
#define IDD_ANONYMITY_SECTION 151
#define IDD_ANONYMITY_PANEL 163
#define IDD_ANONYMITY_INTRO 284
#define IDC_ANONYMITY_INTRO_TEXT 1071
#define IDC_ANONYMITY_INTRO_MORE 1072

// The panel's buttons. The last three share their number; the panel tells them apart by the order
// they were registered in.
#define IDC_WIZARD_BUTTON 1111
#define IDC_CURRENT_PROXY_BUTTON 1112
#define IDC_NEW_LIST_BUTTON 1113
#define IDC_TESTED_LIST_BUTTON 1114
#define IDC_ADD_PROXY_BUTTON 1114
#define IDC_LIST_UPDATE_BUTTON 1114

// Anonymity wizard.
#define IDD_WIZARD 165
#define IDC_WIZARD_APPLY 1001
#define IDC_WIZARD_LOCATIONS 1057
#define IDC_WIZARD_COUNTRY_LIST 1059
#define IDC_WIZARD_BROWSE 1060
#define IDC_WIZARD_POST 1061
#define IDC_WIZARD_INTRO 1071
#define IDC_WIZARD_QUESTION 1072

// Current proxy.
#define IDD_CURRENT_PROXY 169
#define IDC_CURRENT_PROXY_CHANGE 1001
#define IDC_CURRENT_PROXY_ADDRESS 1039
#define IDC_CURRENT_PROXY_INTRO 1071

// New list.
#define IDD_NEW_LIST 174
#define IDC_NEW_LIST_VIEW 1032
#define IDC_NEW_LIST_INTRO 1071

// Tested list.
#define IDD_TESTED_LIST 175
#define IDC_TESTED_LIST_USE 1001
#define IDC_TESTED_LIST_VIEW 1032
#define IDC_TESTED_LIST_INTRO 1071
// The progress of "Test All Proxies" and its Cancel button, shown while it runs.
#define IDC_TESTED_LIST_PROGRESS 1034
#define IDC_TESTED_LIST_PROGRESS_TEXT 1037
#define IDC_TESTED_LIST_CANCEL 1002
// The commands of the list's context menu.
#define IDM_TESTED_REMOVE 1
#define IDM_TESTED_REMOVE_ALL 2
#define IDM_TESTED_TEST 3
#define IDM_TESTED_TEST_ALL 4

// Add proxy.
#define IDD_ADD_PROXY 176
#define IDC_ADD_PROXY_APPLY 1001
#define IDC_ADD_PROXY_EDIT 1038
#define IDC_ADD_PROXY_INTRO 1071
#define IDC_ADD_PROXY_SYNTAX 1072
#define IDC_ADD_PROXY_NOTE 1073
#define IDC_ADD_PROXY_SOCKS_SYNTAX 1074

// List update: its start button is IDOK, the page's default button.
#define IDD_LIST_UPDATE 177
#define IDC_LIST_UPDATE_PROGRESS 1021
#define IDC_LIST_UPDATE_INTRO 1071
// The plain-text list sources: each with the proxies it gave at the last update, and the address box
// with its Add and Remove buttons.
#define IDC_LIST_UPDATE_SOURCES_LABEL 1072
#define IDC_LIST_UPDATE_SOURCES 1032
#define IDC_LIST_UPDATE_SOURCE_EDIT 1038
#define IDC_LIST_UPDATE_SOURCE_ADD 1040
#define IDC_LIST_UPDATE_SOURCE_REMOVE 1041
// "Include the public lists": the setting PublicLists.
#define IDC_LIST_UPDATE_PUBLIC 1042

// Proxy test dialog.
#define IDD_PROXY_TEST 248
#define IDC_PROXY_TEST_START 1001
#define IDC_PROXY_TEST_CANCEL 1002
#define IDC_PROXY_TEST_OK 1033
#define IDC_PROXY_TEST_PROGRESS 1034
#define IDC_PROXY_TEST_TASKS 1036
#define IDC_PROXY_TEST_DETAILS 1037
