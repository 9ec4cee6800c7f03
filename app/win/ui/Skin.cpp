// Layered shape, body dragging, picture loading and the shared colour rules.
#include "app/win/ui/Skin.h"

#include <algorithm>
#include <map>

// Before wincodec.h: its class ids are defined here rather than taken from a library.
#include <objbase.h>

#include <initguid.h>
#include <wincodec.h>

#include "ArtworkIds.h"
#include "app/win/ui/Dialog.h"
#include "app/win/ui/Dpi.h"

namespace vestrel::app::ui {

bool ApplyLayeredShape(HWND window) {
    using SetLayeredFunction = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);
    HMODULE user32 = ::GetModuleHandleA("user32");
    if (user32 == nullptr) return false;
    auto set_layered = reinterpret_cast<SetLayeredFunction>(
        reinterpret_cast<void*>(::GetProcAddress(user32, "SetLayeredWindowAttributes")));
    if (set_layered == nullptr) return false;
    ::SetWindowLongPtrA(window, GWL_EXSTYLE, ::GetWindowLongPtrA(window, GWL_EXSTYLE) | WS_EX_LAYERED);
    return set_layered(window, kKeyColour, 255, LWA_COLORKEY) != FALSE;
}

void StartBodyDrag(HWND window, LPARAM lparam) {
    ::PostMessageA(window, WM_NCLBUTTONDOWN, HTCAPTION, lparam);
}

namespace {

// Releases a COM interface when it goes.
template <typename Interface>
class ComRef {
  public:
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() {
        if (pointer_ != nullptr) pointer_->Release();
    }
    Interface** out() { return &pointer_; }
    Interface* operator->() const { return pointer_; }
    Interface* get() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

  private:
    Interface* pointer_ = nullptr;
};

// The imaging component of the thread that draws the windows, made once and kept for the life of
// the process (so it is never released after COM has gone at exit).
IWICImagingFactory* ImagingFactory() {
    thread_local IWICImagingFactory* factory = [] {
        // S_FALSE when the thread has COM already; either way it stays initialised.
        const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        (void)com;
        IWICImagingFactory* made = nullptr;
        if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                      __uuidof(IWICImagingFactory), reinterpret_cast<void**>(&made))))
            return static_cast<IWICImagingFactory*>(nullptr);
        return made;
    }();
    return factory;
}

// A 32-bit top-down DIB section of `width` × `height`, its pixels at `pixels`; empty when the system
// gave none.
Bitmap NewPicture(LONG width, LONG height, void*& pixels) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    pixels = nullptr;
    Bitmap bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
    if (!bitmap || pixels == nullptr) return Bitmap{};
    return bitmap;
}

// A PNG of the resources decoded into a 32-bit top-down DIB section.
Bitmap DecodePicture(const void* bytes, DWORD size) {
    IWICImagingFactory* factory = ImagingFactory();
    if (factory == nullptr) return Bitmap{};
    ComRef<IWICStream> stream;
    if (FAILED(factory->CreateStream(stream.out())) ||
        FAILED(stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(bytes)), size)))
        return Bitmap{};
    ComRef<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                                decoder.out())))
        return Bitmap{};
    ComRef<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(0, frame.out()))) return Bitmap{};
    ComRef<IWICBitmapSource> converted;
    if (FAILED(::WICConvertBitmapSource(GUID_WICPixelFormat32bppBGR, frame.get(), converted.out())))
        return Bitmap{};
    UINT width = 0, height = 0;
    if (FAILED(converted->GetSize(&width, &height)) || width == 0 || height == 0) return Bitmap{};

    void* pixels = nullptr;
    Bitmap bitmap = NewPicture(static_cast<LONG>(width), static_cast<LONG>(height), pixels);
    if (!bitmap) return Bitmap{};
    const UINT stride = width * 4;
    if (FAILED(converted->CopyPixels(nullptr, stride, stride * height, static_cast<BYTE*>(pixels))))
        return Bitmap{};
    return bitmap;
}

Bitmap LoadPictureResource(int number) {
    HINSTANCE instance = Dialog::Instance();
    HRSRC found = ::FindResourceA(instance, MAKEINTRESOURCEA(number), MAKEINTRESOURCEA(10) /* RT_RCDATA */);
    if (found == nullptr) return Bitmap{};
    HGLOBAL loaded = ::LoadResource(instance, found);
    const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    if (bytes == nullptr) return Bitmap{};
    return DecodePicture(bytes, ::SizeofResource(instance, found));
}

}  // namespace

Bitmap LoadPicture(int id, UINT dpi) {
    if (id == 0) return Bitmap{};
    const int index = PictureScaleIndex(dpi);
    Bitmap picture = LoadPictureResource(id + index * VESTREL_PICTURE_SCALE_STEP);
    // A picture drawn at one size only still shows, at that size.
    if (!picture && index != 0) picture = LoadPictureResource(id);
    return picture;
}

Bitmap FadedPicture(HBITMAP picture) {
    DIBSECTION section{};
    if (picture == nullptr || ::GetObjectA(picture, sizeof(section), &section) != sizeof(section) ||
        section.dsBm.bmBitsPixel != 32 || section.dsBm.bmBits == nullptr)
        return Bitmap{};
    const LONG width = section.dsBm.bmWidth, height = section.dsBm.bmHeight;
    void* pixels = nullptr;
    Bitmap faded = NewPicture(width, height, pixels);
    if (!faded) return Bitmap{};
    const auto* from = static_cast<const BYTE*>(section.dsBm.bmBits);
    auto* to = static_cast<BYTE*>(pixels);
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    for (std::size_t i = 0; i < count; ++i) {
        const BYTE* in = from + i * 4;  // blue, green, red, unused
        BYTE* out = to + i * 4;
        if (RGB(in[2], in[1], in[0]) == kKeyColour) {
            std::copy(in, in + 4, out);
            continue;
        }
        // Grey of the same lightness, then two thirds of the way to white: a button that is there
        // but cannot be pressed, whatever its colour.
        const int grey = (in[2] * 30 + in[1] * 59 + in[0] * 11) / 100;
        const BYTE light = static_cast<BYTE>(grey + (255 - grey) * 2 / 3);
        out[0] = out[1] = out[2] = light;
        out[3] = 0;
    }
    return faded;
}

HFONT CaptionFont(UINT dpi) {
    static std::map<UINT, Font> fonts;
    Font& font = fonts[dpi];
    if (!font) {
        font.reset(::CreateFontA(-Scaled(12, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                 OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                                 DEFAULT_PITCH | FF_SWISS, "Tahoma"));
    }
    return font.get();
}

SIZE PictureSize(HBITMAP bitmap) {
    BITMAP info{};
    if (bitmap == nullptr || ::GetObjectA(bitmap, sizeof(info), &info) == 0) return SIZE{0, 0};
    return SIZE{info.bmWidth, info.bmHeight};
}

Result ApplyColourRule(ColourRule rule, const Message& message) {
    if (rule == ColourRule::Default) return std::nullopt;
    HDC dc = reinterpret_cast<HDC>(message.wparam);
    HBRUSH hollow = static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
    if (message.id == WM_CTLCOLORSTATIC) {
        HWND control = reinterpret_cast<HWND>(message.lparam);
        char class_name[16] = {};
        ::GetClassNameA(control, class_name, sizeof(class_name));
        // Check boxes report as statics' colour too, and a hollow brush behind them leaves stale
        // pixels; only true static texts go transparent.
        if (::lstrcmpiA(class_name, "Static") != 0) {
            // Every skin behind our check boxes is white.
            if (rule == ColourRule::Page || rule == ColourRule::GreyStatics) {
                ::SetBkColor(dc, kWhite);
                return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
            }
            return std::nullopt;
        }
        ::SetTextColor(dc, rule == ColourRule::MainWindow ? RGB(0, 0, 0) : kGreyText);
        ::SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(hollow);
    }
    if (message.id == WM_CTLCOLORDLG) {
        if (rule == ColourRule::Page) {
            ::SetBkColor(dc, kWhite);
            return reinterpret_cast<LRESULT>(hollow);
        }
        if (rule == ColourRule::TipsPanel) return reinterpret_cast<LRESULT>(hollow);
    }
    return std::nullopt;
}

void RedrawTransparent(HWND control) {
    HWND parent = ::GetParent(control);
    if (parent == nullptr) return;
    RECT rect{};
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    ::RedrawWindow(parent, &rect, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void SetTransparentText(HWND dialog, int id, const char* text) {
    ::SetDlgItemTextA(dialog, id, text);
    if (HWND control = ::GetDlgItem(dialog, id)) RedrawTransparent(control);
}

}  // namespace vestrel::app::ui
