// Resource ids of the shell's popups: About, the minimise hint, the anonymity progress and the
// dialog kit's message dialog. Read by Vestrel.rc and the C++ code alike, so plain #defines.
#pragma once

// About.
#define IDD_ABOUT 100

// Minimise hint.
#define IDD_MINIMISE_HINT 287
#define IDC_MINIMISE_HINT_DO_NOT_SHOW 1023
#define IDC_MINIMISE_HINT_CONFIRM 1055

// Anonymity progress.
#define IDD_ANONYMITY_PROGRESS 186
#define IDC_ANONYMITY_PROGRESS_BAR 1021
#define IDC_ANONYMITY_PROGRESS_INTRO 1024
// "Tested N of M - K working" while it searches, then the verdict of "Am I hidden?".
#define IDC_ANONYMITY_PROGRESS_STATUS 1025
#define IDC_ANONYMITY_PROGRESS_CANCEL 1027

// Message dialog.
#define IDD_MESSAGE 190
#define IDC_MESSAGE_TEXT 1022

// The message dialog with a question: OK and Cancel.
#define IDD_CONFIRM 192
#define IDC_CONFIRM_TEXT 1022

// "Am I hidden?": the self-test's verdict and a link to the address-check web page.
#define IDD_SELF_TEST 194
#define IDC_SELF_TEST_TEXT 1022
#define IDC_SELF_TEST_LINK 1026
