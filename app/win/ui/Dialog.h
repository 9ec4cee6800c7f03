// A dialog over a numbered template of the program's resources, modal or modeless, with data
// exchange helpers for check boxes, edits and statics.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "app/win/ui/MessageMap.h"

namespace vestrel::app::ui {

class Dialog {
  public:
    Dialog(int template_id, HWND parent);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally; returns what EndDialog was given, or -1 when it could not be made.
    INT_PTR DoModal();
    // Makes the dialog as a modeless window (a child when the template says so); false on failure.
    bool Create();
    void EndDialog(INT_PTR result);
    void Destroy();

    HWND hwnd() const { return hwnd_; }
    HWND parent() const { return parent_; }
    int template_id() const { return template_id_; }
    HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }

    // Data exchange, as a dialog moves a plain value object to its controls and back.
    void BindCheck(int id, int& value);
    void BindText(int id, std::string& value);
    // Controls from the bound values (save = false) or the bound values from the controls (true).
    void UpdateData(bool save);

    static std::string ItemText(HWND dialog, int id);
    static std::string WindowText(HWND window);
    // The text of a combo box's selected entry; empty when none is selected.
    static std::string ComboSelection(HWND box);
    static void SetItemText(HWND dialog, int id, std::string_view text);

    // The module that holds the program's resources; tests that link the resources into themselves
    // leave it at the executable.
    static HINSTANCE Instance();
    // The object behind one of our dialog windows; null for any other window.
    static Dialog* FromHandle(HWND window);

  protected:
    // The dialog initialisation; true lets the dialog manager set the focus.
    virtual bool OnInitDialog() { return true; }
    // The message entry of every level of the class chain; the base handles nothing.
    virtual Result Dispatch(const Message&) { return std::nullopt; }

  private:
    static INT_PTR CALLBACK DialogProcedure(HWND window, UINT id, WPARAM wparam, LPARAM lparam);
    INT_PTR Handle(UINT id, WPARAM wparam, LPARAM lparam);

    struct Binding {
        int id;
        std::variant<int*, std::string*> target;
    };

    int template_id_;
    HWND parent_;
    HWND hwnd_ = nullptr;
    bool modal_ = false;
    std::vector<Binding> bindings_;
};

}  // namespace vestrel::app::ui
