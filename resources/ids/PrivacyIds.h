// Resource ids of the privacy section: its container, panel and buttons and its sub-pages. Read by
// Vestrel.rc and the C++ code alike, so plain #defines. Sub-pages number their controls on their
// own, so one number often names a different control on each page.
#pragma once

// Section container, its panel and its introduction.
#define IDD_PRIVACY_SECTION 152
#define IDD_PRIVACY_PANEL 178
#define IDD_PRIVACY_INTRO 285
#define IDC_PRIVACY_INTRO_TEXT 1071
#define IDC_PRIVACY_INTRO_MORE 1072

// The panel's buttons.
#define IDC_INVASIVE_CODE_BUTTON 1111
#define IDC_CLEANING_BUTTON 1112

// Invasive code.
#define IDD_INVASIVE_CODE 179
#define IDC_INVASIVE_CODE_SAVE 1001
#define IDC_BLOCK_JAVASCRIPT 1023
#define IDC_BLOCK_ACTIVEX 1024
#define IDC_INVASIVE_CODE_INTRO 1071
#define IDC_INVASIVE_CODE_NOTE 1072

// Cleaning.
#define IDD_CLEANING 180
#define IDC_CLEANING_SAVE 1001
#define IDC_CLEAN_HISTORY 1023
#define IDC_CLEAN_TYPED_URLS 1024
#define IDC_CLEAN_TEMPORARY_FILES 1025
#define IDC_CLEAN_COOKIES 1026
#define IDC_CLEAN_FORMS 1027
#define IDC_CLEAN_PASSWORDS 1028
#define IDC_CLEAN_FAVORITES 1029
#define IDC_CLEANING_MINUTES 1030
#define IDC_CLEANING_EVERY_LABEL 1031
#define IDC_CLEANING_SCHEDULE_LABEL 1072
#define IDC_CLEANING_MINUTES_LABEL 1074
// Preview and clean now, what they found, and the sites whose cookies stay.
#define IDC_CLEANING_PREVIEW 1032
#define IDC_CLEANING_CLEAN_NOW 1033
#define IDC_CLEANING_RESULT 1034
#define IDC_KEEP_COOKIES_LABEL 1035
#define IDC_KEEP_COOKIES_LIST 1036
#define IDC_KEEP_COOKIES_EDIT 1037
#define IDC_KEEP_COOKIES_ADD 1038
#define IDC_KEEP_COOKIES_REMOVE 1039
