// The poll dialog of VestrelStop: stops Vestrel before it first shows, then invites the user to an
// online poll.
#pragma once

#include <windows.h>

namespace vestrel::stop {

// The web page that holds the poll; "YES" opens it in the user's default browser.
inline constexpr char kPollPage[] = "http://www.vestrel-proxy.net/poll/";

class PollDialog {
  public:
    // Runs the dialog modally; returns IDOK after "YES", IDCANCEL otherwise.
    INT_PTR Run(HINSTANCE instance);

  private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    INT_PTR Handle(UINT message, WPARAM wparam, LPARAM lparam);
    void OnInitDialog();
    bool OnPaint();
    void OnYes();

    HINSTANCE instance_ = nullptr;
    HWND hwnd_ = nullptr;
    // Shared icons from the program's resources: the system frees them.
    HICON big_icon_ = nullptr;
    HICON small_icon_ = nullptr;
};

}  // namespace vestrel::stop
