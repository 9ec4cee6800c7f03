// Saves what the screen shows of one window as a 24-bit BMP in the build's screenshot folder, for
// people to look at (the tests never compare pixels: fonts differ between systems).
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace vestrel::app::testing {

// $VESTREL_SCREENSHOT_DIR, else the "screenshots" folder beside the build directory of this run.
inline std::string ScreenshotFolder() {
    if (const char* explicit_dir = std::getenv("VESTREL_SCREENSHOT_DIR")) return explicit_dir;
    const char* binary_dir = std::getenv("VESTREL_BINARY_DIR");
    if (binary_dir == nullptr) return {};
    std::string folder = binary_dir;
    // A Unix path from CTest: Wine sees the root of the Unix file system as drive Z.
    if (!folder.empty() && folder[0] == '/') folder = "Z:" + folder;
    for (char& c : folder) {
        if (c == '/') c = '\\';
    }
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    const auto cut = folder.find_last_of('\\');
    if (cut != std::string::npos) folder.resize(cut);
    return folder + "\\screenshots";
}

inline bool SaveScreenshot(HWND window, const std::string& name) {
    const std::string folder = ScreenshotFolder();
    if (folder.empty() || window == nullptr) return false;
    ::CreateDirectoryA(folder.c_str(), nullptr);
    ::UpdateWindow(window);
    RECT rect{};
    ::GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return false;

    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    ::SelectObject(memory, previous);

    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const int stride = ((width * 3) + 3) & ~3;
    std::vector<unsigned char> pixels(static_cast<std::size_t>(stride) * height);
    const int rows = ::GetDIBits(memory, bitmap, 0, height, pixels.data(),
                                 reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    if (rows != height) return false;

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size());
    const std::string path = folder + "\\" + name + ".bmp";
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return false;
    bool ok = std::fwrite(&file, sizeof(file), 1, out) == 1 &&
              std::fwrite(&info, sizeof(info), 1, out) == 1 &&
              std::fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
    ok = std::fclose(out) == 0 && ok;
    return ok;
}

}  // namespace vestrel::app::testing
