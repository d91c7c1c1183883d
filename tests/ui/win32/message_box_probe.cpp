// Waits for a message box with the given caption, prints its text and its buttons' texts
// (UTF-8, one per line: "text: ...", "button: ..."), then presses its OK button.
// Usage: message_box_probe CAPTION WAIT_MS
// Exit status 0 when a box came and OK was pressed, 1 when none came in time.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/process_env.h"
#include "platform/wide_text_windows.h"

namespace {

struct Children {
    std::vector<std::wstring> texts;
    std::vector<std::wstring> buttons;
    HWND ok = nullptr;
};

std::wstring TextOf(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(length));
    return text;
}

BOOL CALLBACK Collect(HWND child, LPARAM into) {
    auto& children = *reinterpret_cast<Children*>(into);
    std::wstring kind(32, L'\0');
    kind.resize(static_cast<size_t>(GetClassNameW(child, kind.data(), static_cast<int>(kind.size()))));
    if (IsWindowVisible(child) == FALSE) {
        return TRUE;
    }
    if (_wcsicmp(kind.c_str(), L"Button") == 0) {
        children.buttons.push_back(TextOf(child));
        if (GetDlgCtrlID(child) == IDOK) {
            children.ok = child;
        }
    } else if (_wcsicmp(kind.c_str(), L"Static") == 0 && GetWindowTextLengthW(child) > 0) {
        children.texts.push_back(TextOf(child));
    }
    return TRUE;
}

void Print(const char* label, const std::wstring& text) {
    const std::string bytes = korvane::Narrow(text);
    std::printf("%s: %s\n", label, bytes.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments = korvane::Utf8Arguments(argc, argv);
    if (arguments.size() != 3) {
        std::fprintf(stderr, "usage: message_box_probe CAPTION WAIT_MS\n");
        return 2;
    }
    const std::wstring caption = korvane::Wide(arguments[1]);
    const DWORD end = GetTickCount() + static_cast<DWORD>(std::atol(arguments[2].c_str()));
    HWND box = nullptr;
    while ((box = FindWindowW(L"#32770", caption.c_str())) == nullptr) {
        if (static_cast<LONG>(end - GetTickCount()) <= 0) {
            std::fprintf(stderr, "message_box_probe: no box came\n");
            return 1;
        }
        Sleep(50);
    }
    // The box exists a moment before its controls are shown.
    while (IsWindowVisible(box) == FALSE && static_cast<LONG>(end - GetTickCount()) > 0) {
        Sleep(50);
    }
    Sleep(300);
    Children children;
    EnumChildWindows(box, &Collect, reinterpret_cast<LPARAM>(&children));
    for (const std::wstring& text : children.texts) {
        Print("text", text);
    }
    for (const std::wstring& button : children.buttons) {
        Print("button", button);
    }
    std::fflush(stdout);
    if (children.ok != nullptr) {
        PostMessageW(children.ok, BM_CLICK, 0, 0);
    } else {
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    return 0;
}
