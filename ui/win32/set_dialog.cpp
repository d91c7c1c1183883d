#include "ui/win32/set_dialog.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include <array>
#include <vector>

#include "platform/wide_text_windows.h"
#include "ui/win32/resource_ids.h"

namespace korvane::win32 {

namespace {

// The App Open button's name buffer; a selection whose names do not fit ends the picker as
// cancelled.
constexpr size_t kAppNamesUnits = 520;
constexpr size_t kPathUnits = 32768;

// "name (pattern)", pattern, "All Files(*.*)", "*.*", each ended by a zero, then one more.
std::wstring Filter(const FileKind& kind) {
    std::wstring filter = Wide(kind.name) + L" (" + Wide(kind.pattern) + L")";
    filter.push_back(L'\0');
    filter += Wide(kind.pattern);
    filter.push_back(L'\0');
    filter += L"All Files(*.*)";
    filter.push_back(L'\0');
    filter += L"*.*";
    filter.push_back(L'\0');
    return filter;
}

// The picker's answer for a multiple choice: the folder then the names, each ended by a
// zero; a single choice is one whole path.
std::vector<std::string> ChosenPaths(const std::wstring& buffer) {
    std::vector<std::wstring> parts;
    for (size_t at = 0; at < buffer.size() && buffer[at] != L'\0';) {
        const size_t end = buffer.find(L'\0', at);
        parts.push_back(buffer.substr(at, end - at));
        at = end + 1;
    }
    std::vector<std::string> paths;
    if (parts.size() == 1) {
        paths.push_back(Narrow(parts.front()));
    }
    for (size_t i = 1; i < parts.size(); ++i) {
        paths.push_back(Narrow(parts.front() + L"\\" + parts[i]));
    }
    return paths;
}

}  // namespace

SetDialog::SetDialog(CKorvaneAppDownloadApp& app, IMessageSink* sink)
    : app_(app), sink_(sink != nullptr ? *sink : static_cast<IMessageSink&>(boxes_)) {}

SetDialog::~SetDialog() {
    if (!modal_ && dialog_ != nullptr) {
        DestroyWindow(dialog_);
    }
}

bool SetDialog::Run(HWND owner) {
    modal_ = true;
    accepted_ = false;
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_DOWNLOAD_SET), owner, &SetDialog::DialogProc,
                    reinterpret_cast<LPARAM>(this));
    return accepted_;
}

HWND SetDialog::Open(HWND owner) {
    modal_ = false;
    accepted_ = false;
    CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_DOWNLOAD_SET), owner, &SetDialog::DialogProc,
                       reinterpret_cast<LPARAM>(this));
    if (dialog_ != nullptr) {
        ShowWindow(dialog_, SW_SHOW);
    }
    return dialog_;
}

INT_PTR CALLBACK SetDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<SetDialog*>(lParam);
        self->dialog_ = hwnd;
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    }
    auto* self = reinterpret_cast<SetDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    return self != nullptr ? self->OnMessage(message, wParam, lParam) : FALSE;
}

INT_PTR SetDialog::OnMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
        case WM_INITDIALOG:
            OnInit();
            return TRUE;
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_NCDESTROY:
            SetWindowLongPtrW(dialog_, DWLP_USER, 0);
            dialog_ = nullptr;
            return FALSE;
        default: return FALSE;
    }
}

void SetDialog::OnInit() {
    boxes_.SetOwner(dialog_);
    for (const char* type : kLcdTypes) {
        const std::wstring item = Wide(type);
        SendMessageW(Control(kIdLcdType), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    }
    FillSetControls(app_, *this);
}

void SetDialog::OnCommand(int id, int code) {
    if (code != BN_CLICKED) {
        return;
    }
    switch (id) {
        case IDOK:
            if (StoreSetFields(app_, *this, sink_)) {
                Close(true);
            }
            return;
        case IDCANCEL: Close(false); return;
        case kIdAppOpen: OnOpenApp(); return;
        case kIdLogoOpen: OnOpenFile(kLogoFiles, true); return;
        case kIdAmrOpen: OnOpenFile(kAmrFiles, false); return;
        case kIdLocalOpen1: OnOpenLocal(1); return;
        case kIdLocalOpen2: OnOpenLocal(2); return;
        default: OnSetCheckClicked(id, *this); return;
    }
}

void SetDialog::Close(bool accepted) {
    accepted_ = accepted;
    if (modal_) {
        EndDialog(dialog_, accepted ? IDOK : IDCANCEL);
    } else {
        DestroyWindow(dialog_);
    }
}

void SetDialog::OnOpenApp() {
    std::wstring names(kAppNamesUnits, L'\0');
    const std::wstring filter = Filter(kAppFiles);
    OPENFILENAMEW picker{};
    picker.lStructSize = sizeof(picker);
    picker.hwndOwner = dialog_;
    picker.lpstrFilter = filter.c_str();
    picker.lpstrFile = names.data();
    picker.nMaxFile = static_cast<DWORD>(names.size());
    picker.Flags = OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_HIDEREADONLY | OFN_FILEMUSTEXIST;
    if (GetOpenFileNameW(&picker) != FALSE) {
        OnAppFilesChosen(app_, *this, ChosenPaths(names));
    }
}

void SetDialog::OnOpenFile(const FileKind& kind, bool logo) {
    std::wstring path(kPathUnits, L'\0');
    const std::wstring filter = Filter(kind);
    const std::wstring suffix = Wide(kind.defaultSuffix);
    OPENFILENAMEW picker{};
    picker.lStructSize = sizeof(picker);
    picker.hwndOwner = dialog_;
    picker.lpstrFilter = filter.c_str();
    picker.lpstrFile = path.data();
    picker.nMaxFile = static_cast<DWORD>(path.size());
    picker.lpstrDefExt = suffix.empty() ? nullptr : suffix.c_str();
    picker.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR;
    if (GetOpenFileNameW(&picker) == FALSE) {
        return;
    }
    const std::string chosen = Narrow(path.c_str());
    if (logo) {
        OnLogoChosen(app_, *this, sink_, chosen);
    } else {
        OnAmrChosen(app_, *this, sink_, chosen);
    }
}

void SetDialog::OnOpenLocal(int set) {
    const std::wstring title = Wide(kLocalFolderTitle);
    BROWSEINFOW browse{};
    browse.hwndOwner = dialog_;
    browse.lpszTitle = title.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    std::string folder;
    if (PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse); chosen != nullptr) {
        std::wstring path(kPathUnits, L'\0');
        if (SHGetPathFromIDListEx(chosen, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT) != FALSE) {
            folder = Narrow(path.c_str());
        }
        CoTaskMemFree(chosen);
    }
    OnLocalFolderChosen(app_, *this, set, folder);
}

bool SetDialog::Checked(int id) const {
    return SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetDialog::SetChecked(int id, bool on) {
    SendMessageW(Control(id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::string SetDialog::Text(int id) const {
    const HWND control = Control(id);
    const int length = GetWindowTextLengthW(control);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(control, text.data(), length + 1);
    text.resize(static_cast<size_t>(length));
    return Narrow(text);
}

void SetDialog::SetText(int id, const std::string& text) {
    SetWindowTextW(Control(id), Wide(text).c_str());
}

void SetDialog::Enable(int id, bool on) {
    EnableWindow(Control(id), on ? TRUE : FALSE);
}

int SetDialog::LcdSelection() const {
    const LRESULT index = SendMessageW(Control(kIdLcdType), CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : static_cast<int>(index);
}

void SetDialog::SetLcdSelection(int index) {
    // An index outside the list selects nothing.
    const bool known = index >= 0 && static_cast<size_t>(index) < kLcdTypes.size();
    SendMessageW(Control(kIdLcdType), CB_SETCURSEL, known ? static_cast<WPARAM>(index) : static_cast<WPARAM>(-1), 0);
}

}  // namespace korvane::win32
