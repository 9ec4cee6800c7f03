// Resource ids of VestrelStop.exe, shared by VestrelStop.rc and the code.
#pragma once

#define IDD_POLL 102
#define IDI_VESTREL_STOP 128
#define IDC_POLL_TEXT 1000
