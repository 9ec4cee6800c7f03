// Table-driven message handling shared by dialogs and subclassed controls. A class lists its
// handlers in two static tables (window message -> member, command id -> member); MessageMap<T, Base>
// looks them up before handing the message to Base, so each level of a class chain keeps its own table.
#pragma once

#include <windows.h>

#include <optional>
#include <span>

namespace vestrel::app::ui {

struct Message {
    UINT id;
    WPARAM wparam;
    LPARAM lparam;
};

// A handler's answer: nothing for "not handled, run the default", or the message's result.
using Result = std::optional<LRESULT>;

template <class T>
struct MessageEntry {
    UINT message;
    Result (T::*handler)(const Message&);
};

template <class T>
struct CommandEntry {
    int id;
    void (T::*handler)();
};

// T may declare `static std::span<const MessageEntry<T>> Messages()` and
// `static std::span<const CommandEntry<T>> Commands()`. Commands match button clicks, menu items and
// accelerators (notification codes 0 and 1) by the low word of the command parameter.
template <class T, class Base>
class MessageMap : public Base {
  public:
    using Base::Base;

  protected:
    Result Dispatch(const Message& message) override {
        T& self = static_cast<T&>(*this);
        if constexpr (requires { T::Messages(); }) {
            for (const auto& entry : T::Messages()) {
                if (entry.message != message.id) continue;
                if (Result result = (self.*entry.handler)(message)) return result;
            }
        }
        if constexpr (requires { T::Commands(); }) {
            if (message.id == WM_COMMAND && HIWORD(message.wparam) <= 1) {
                for (const auto& entry : T::Commands()) {
                    if (entry.id == static_cast<int>(LOWORD(message.wparam))) {
                        (self.*entry.handler)();
                        return 0;
                    }
                }
            }
        }
        return Base::Dispatch(message);
    }
};

}  // namespace vestrel::app::ui
