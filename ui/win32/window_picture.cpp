#include "ui/win32/window_picture.h"

#include <objbase.h>
#include <wincodec.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/wide_text_windows.h"

namespace korvane::win32 {

namespace {

// Releases a COM object when it goes out of scope.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() {
        if (object_ != nullptr) {
            object_->Release();
        }
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T** Out() { return &object_; }
    T* operator->() const { return object_; }
    T* Get() const { return object_; }

private:
    T* object_ = nullptr;
};

// The window's pixels, top row first, 32 bits each (blue, green, red, unused).
bool CaptureWindow(HWND window, int& width, int& height, std::vector<uint8_t>& pixels) {
    RECT area{};
    GetWindowRect(window, &area);
    width = area.right - area.left;
    height = area.bottom - area.top;
    if (width <= 0 || height <= 0) {
        return false;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = memory != nullptr && bitmap != nullptr;
    if (ok) {
        const HGDIOBJ old = SelectObject(memory, bitmap);
        // The screen's pixels where the window lies: what the operator sees, every child
        // and owner-drawn cell included.
        ok = BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY) != FALSE;
        GdiFlush();
        const auto* first = static_cast<const uint8_t*>(bits);
        pixels.assign(first, first + static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
        SelectObject(memory, old);
    }
    if (bitmap != nullptr) {
        DeleteObject(bitmap);
    }
    if (memory != nullptr) {
        DeleteDC(memory);
    }
    ReleaseDC(nullptr, screen);
    return ok;
}

bool EndsWith(std::string name, const std::string& ending) {
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    return name.size() >= ending.size() && name.compare(name.size() - ending.size(), ending.size(), ending) == 0;
}

bool Encode(const std::string& file, int width, int height, std::vector<uint8_t>& pixels) {
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    const GUID format = EndsWith(file, ".bmp") ? GUID_ContainerFormatBmp : GUID_ContainerFormatPng;
    WICPixelFormatGUID pixelFormat = GUID_WICPixelFormat32bppBGR;
    const std::wstring path = Wide(file);
    const UINT stride = static_cast<UINT>(width) * 4;
    return SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                      reinterpret_cast<void**>(factory.Out()))) &&
           SUCCEEDED(factory->CreateStream(stream.Out())) &&
           SUCCEEDED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) &&
           SUCCEEDED(factory->CreateEncoder(format, nullptr, encoder.Out())) &&
           SUCCEEDED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) &&
           SUCCEEDED(encoder->CreateNewFrame(frame.Out(), nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
           SUCCEEDED(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height))) &&
           SUCCEEDED(frame->SetPixelFormat(&pixelFormat)) && IsEqualGUID(pixelFormat, GUID_WICPixelFormat32bppBGR) &&
           SUCCEEDED(frame->WritePixels(static_cast<UINT>(height), stride, stride * static_cast<UINT>(height),
                                        pixels.data())) &&
           SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

}  // namespace

bool SaveWindowPicture(HWND window, const std::string& file, std::string& error) {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
    if (!CaptureWindow(window, width, height, pixels)) {
        error = "cannot capture the window";
        return false;
    }
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const bool saved = Encode(file, width, height, pixels);
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    if (!saved) {
        error = "cannot write " + file;
    }
    return saved;
}

}  // namespace korvane::win32
