// The poll dialog of VestrelStop.
#include "PollDialog.h"

#include <shellapi.h>

#include "StopResource.h"
#include "StopSequence.h"

namespace vestrel::stop {

INT_PTR PollDialog::Run(HINSTANCE instance) {
    instance_ = instance;
    return ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_POLL), nullptr, &PollDialog::Procedure,
                             reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK PollDialog::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<PollDialog*>(lparam);
        dialog->hwnd_ = window;
        ::SetWindowLongPtrA(window, DWLP_USER, lparam);
    }
    auto* dialog = reinterpret_cast<PollDialog*>(::GetWindowLongPtrA(window, DWLP_USER));
    if (dialog == nullptr) return FALSE;
    try {
        return dialog->Handle(message, wparam, lparam);
    } catch (...) {
        // No exception may unwind through the system's dialog manager; default processing runs.
        return FALSE;
    }
}

INT_PTR PollDialog::Handle(UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            OnInitDialog();
            return TRUE;
        case WM_PAINT:
            return OnPaint() ? TRUE : FALSE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(small_icon_);
        case WM_COMMAND:
            switch (LOWORD(wparam)) {
                case IDOK:
                    OnYes();
                    return TRUE;
                case IDCANCEL:
                    ::EndDialog(hwnd_, IDCANCEL);
                    return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}

void PollDialog::OnInitDialog() {
    big_icon_ = static_cast<HICON>(::LoadImageA(instance_, MAKEINTRESOURCEA(IDI_VESTREL_STOP), IMAGE_ICON,
                                                ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON),
                                                LR_SHARED));
    small_icon_ = static_cast<HICON>(::LoadImageA(instance_, MAKEINTRESOURCEA(IDI_VESTREL_STOP), IMAGE_ICON,
                                                  ::GetSystemMetrics(SM_CXSMICON),
                                                  ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    ::SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon_));
    ::SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_));
    // Before the dialog first shows: the poll appears once Vestrel has gone.
    StopVestrel();
}

// While iconic the dialog shows its icon in the middle of the client area.
bool PollDialog::OnPaint() {
    if (!::IsIconic(hwnd_) || big_icon_ == nullptr) return false;
    PAINTSTRUCT paint{};
    HDC dc = ::BeginPaint(hwnd_, &paint);
    ::SendMessageA(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    const int x = (client.right - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, big_icon_);
    ::EndPaint(hwnd_, &paint);
    return true;
}

void PollDialog::OnYes() {
    // The shell's "open" of the address starts the browser the user chose. Whether it starts is not
    // checked: the dialog closes either way.
    ::ShellExecuteA(hwnd_, "open", kPollPage, nullptr, nullptr, SW_SHOWMAXIMIZED);
    ::EndDialog(hwnd_, IDOK);
}

}  // namespace vestrel::stop
