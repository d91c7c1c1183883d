#include "ui/win32/main_frame.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <span>
#include <string>
#include <vector>

#include "app/KorvaneAppDownloadApp.h"
#include "app/message_sink.h"
#include "platform/wide_text_windows.h"
#include "ui/session_priority.h"
#include "ui/toolbar_rules.h"
#include "ui/win32/resource_ids.h"
#include "ui/win32/set_dialog.h"
#include "ui/win32/toolbar_resource.h"

namespace korvane::win32 {

namespace {

constexpr wchar_t kFrameClass[] = L"KorvaneAppDownloadFrame";
constexpr wchar_t kToolbarResourceType = 241;  // RT_TOOLBAR
// The panel's text: black, bold, 20 pixels high, 20 pixels in from the left.
constexpr COLORREF kPanelText = RGB(0, 0, 0);
constexpr int kPanelFontHeight = 20;
constexpr int kPanelTextIndent = 20;
constexpr int kIndicatorWidth = 60;
constexpr UINT_PTR kSubclassId = 1;

COLORREF ToColorRef(const Rgb& colour) {
    return RGB(colour.r, colour.g, colour.b);
}

std::wstring ResourceString(UINT id) {
    const wchar_t* text = nullptr;
    // With a zero length the call hands back a pointer into the resource itself.
    const int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<wchar_t*>(&text), 0);
    return length > 0 ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

std::span<const uint8_t> ResourceBytes(const wchar_t* name, const wchar_t* type) {
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC found = FindResourceW(module, name, type);
    const HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) {
        return {};
    }
    return {static_cast<const uint8_t*>(bytes), SizeofResource(module, found)};
}

}  // namespace

MainFrame::MainFrame(CKorvaneAppDownloadApp& app, PortRows& rows, IMessageSink& sink, RunControlParts parts)
    : app_(app), sink_(sink), list_(rows) {
    if (parts.sessionEntry == nullptr) {
        parts.sessionEntry = &WindowSessionEntry;
    }
    run_ = std::make_unique<RunControl>(
        app_, rows, sink_, [this](uint32_t nPort, int lParam) { return PostPortChange(nPort, lParam); },
        std::move(parts));
    logic_ = std::make_unique<FrameLogic>(app_, *run_, sink_, *this);
    list_.SetTickHandler([this] { logic_->OnTick(); });
}

MainFrame::~MainFrame() {
    // A run still going is stopped first, so no session outlives the rows it reports to.
    logic_->OnStop();
    if (frame_ != nullptr) {
        SetWindowLongPtrW(frame_, GWLP_USERDATA, 0);
        DestroyWindow(frame_);
    }
    for (HIMAGELIST images : images_) {
        if (images != nullptr) {
            ImageList_Destroy(images);
        }
    }
}

bool MainFrame::Create() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW frameClass{};
    frameClass.cbSize = sizeof(frameClass);
    frameClass.lpfnWndProc = &MainFrame::WindowProc;
    frameClass.hInstance = instance;
    frameClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME));
    frameClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    frameClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    frameClass.lpszClassName = kFrameClass;
    RegisterClassExW(&frameClass);  // a second frame finds the class registered

    const std::wstring title = Wide(FrameLogic::Title());
    // The window is given the whole work area first, so it fills the screen even where no
    // window manager maximizes it.
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    frame_ = CreateWindowExW(0, kFrameClass, title.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, area.left, area.top,
                             area.right - area.left, area.bottom - area.top, nullptr, nullptr, instance, this);
    if (frame_ == nullptr) {
        return false;
    }
    accelerators_ = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME));
    logic_->UpdateCommands();
    UpdateIndicators();
    return true;
}

LRESULT CALLBACK MainFrame::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<MainFrame*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->frame_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainFrame*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self != nullptr ? self->OnMessage(message, wParam, lParam) : DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT MainFrame::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return CreateToolBar() && CreateStatusBar() && list_.Create(frame_, kListId) ? 0 : -1;
        case WM_SIZE:
            LayOut();
            return 0;
        case WM_GETMINMAXINFO: {
            // Maximized means the whole work area, whatever the system would pick.
            RECT area{};
            SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
            auto& limits = *reinterpret_cast<MINMAXINFO*>(lParam);
            limits.ptMaxPosition = {area.left, area.top};
            limits.ptMaxSize = {area.right - area.left, area.bottom - area.top};
            limits.ptMaxTrackSize = {std::max(limits.ptMaxTrackSize.x, limits.ptMaxSize.x),
                                     std::max(limits.ptMaxTrackSize.y, limits.ptMaxSize.y)};
            return 0;
        }
        case WM_MEASUREITEM:
            if (wParam == kListId) {
                PortList::MeasureRow(*reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
                return TRUE;
            }
            break;
        case WM_DRAWITEM:
            if (wParam == kListId) {
                list_.DrawRow(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
                return TRUE;
            }
            break;
        case WM_COMMAND:
            OnCommand(LOWORD(wParam));
            return 0;
        case WM_NOTIFY:
            if (auto* tip = reinterpret_cast<NMTTDISPINFOW*>(lParam); tip->hdr.code == TTN_GETDISPINFOW) {
                // Tooltips are the command strings of the same numbers.
                tip->hinst = GetModuleHandleW(nullptr);
                tip->lpszText = MAKEINTRESOURCEW(tip->hdr.idFrom);
                return 0;
            }
            break;
        case kPortChangeMessage:
            logic_->OnPortChange(static_cast<uint32_t>(wParam), lParam);
            return 0;
        case WM_ACTIVATE:
            UpdateIndicators();
            break;
        case WM_CLOSE:
            // A run still going when the window closes is stopped first, so that no session
            // outlives the data it reads.
            logic_->OnStop();
            DestroyWindow(frame_);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default: break;
    }
    return DefWindowProcW(frame_, message, wParam, lParam);
}

bool MainFrame::CreateToolBar() {
    const std::optional<ToolbarLayout> layout =
        ParseToolbarResource(ResourceBytes(MAKEINTRESOURCEW(IDR_MAINFRAME), MAKEINTRESOURCEW(kToolbarResourceType)));
    if (!layout) {
        return false;
    }
    toolBar_ = CreateWindowExW(0, TOOLBARCLASSNAMEW, L"",
                               WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_TOP,
                               0, 0, 0, 0, frame_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kToolBarId)),
                               GetModuleHandleW(nullptr), nullptr);
    if (toolBar_ == nullptr) {
        return false;
    }
    SetWindowSubclass(toolBar_, &MainFrame::ToolBarProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    SendMessageW(toolBar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(toolBar_, TB_SETBITMAPSIZE, 0, MAKELPARAM(kToolbarImageSize, kToolbarImageSize));
    LoadImageLists();

    // The resource gives the order of the slots; each button takes its picture by the shared
    // toolbar rules, and the panel's slot becomes a wide separator that carries the panel.
    std::vector<TBBUTTON> buttons;
    int panelIndex = -1;
    for (const uint32_t command : layout->commands) {
        TBBUTTON button{};
        button.idCommand = static_cast<int>(command);
        button.fsStyle = BTNS_SEP;
        if (command == kCmdPanel) {
            button.iBitmap = kPanelWidth;
            button.fsState = TBSTATE_ENABLED;
            panelIndex = static_cast<int>(buttons.size());
        } else if (const ToolbarButton* known = FindToolbarButton(button.idCommand); known != nullptr) {
            button.iBitmap = known->image;
            button.fsStyle = BTNS_BUTTON;
            button.fsState = TBSTATE_ENABLED;
        }
        buttons.push_back(button);
    }
    SendMessageW(toolBar_, TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    SendMessageW(toolBar_, TB_AUTOSIZE, 0, 0);
    if (panelIndex >= 0) {
        CreatePanel(panelIndex);
    }
    return true;
}

bool MainFrame::LoadImageLists() {
    // Normal, disabled and hot pictures, one strip of each.
    constexpr std::array<int, 3> kStrips{IDB_TOOLBAR_NORMAL, IDB_TOOLBAR_DISABLED, IDB_TOOLBAR_HOT};
    constexpr std::array<UINT, 3> kMessages{TB_SETIMAGELIST, TB_SETDISABLEDIMAGELIST, TB_SETHOTIMAGELIST};
    for (size_t i = 0; i < kStrips.size(); ++i) {
        images_[i] = ImageList_Create(kToolbarImageSize, kToolbarImageSize, ILC_COLOR24 | ILC_MASK, 0, 1);
        const auto strip = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kStrips[i]),
                                                           IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        if (images_[i] == nullptr || strip == nullptr) {
            return false;
        }
        ImageList_AddMasked(images_[i], strip, ToColorRef(kToolbarMask));
        DeleteObject(strip);
    }
    for (size_t i = 0; i < kMessages.size(); ++i) {
        SendMessageW(toolBar_, kMessages[i], 0, reinterpret_cast<LPARAM>(images_[i]));
    }
    return true;
}

void MainFrame::CreatePanel(int index) {
    RECT slot{};
    SendMessageW(toolBar_, TB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&slot));
    panel_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | SS_LEFT, slot.left, slot.top + kPanelInset,
                             slot.right - slot.left, slot.bottom - slot.top - 2 * kPanelInset, toolBar_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCmdPanel)), GetModuleHandleW(nullptr),
                             nullptr);
    if (panel_ != nullptr) {
        SetWindowSubclass(panel_, &MainFrame::PanelProc, kSubclassId, 0);
        ShowWindow(panel_, SW_SHOWNOACTIVATE);
    }
}

LRESULT CALLBACK MainFrame::ToolBarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR /*subclass*/,
                                        DWORD_PTR /*self*/) {
    if (message == WM_ERASEBKGND) {
        RECT area{};
        GetClientRect(hwnd, &area);
        area.left -= 2;
        area.bottom += 2;
        const HBRUSH brush = CreateSolidBrush(ToColorRef(kToolbarBackground));
        FillRect(reinterpret_cast<HDC>(wParam), &area, brush);
        DeleteObject(brush);
        return TRUE;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK MainFrame::PanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR /*subclass*/,
                                      DWORD_PTR /*self*/) {
    if (message == WM_PAINT) {
        PaintPanel(hwnd);
        return 0;
    }
    if (message == WM_ERASEBKGND) {
        return TRUE;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

void MainFrame::PaintPanel(HWND panel) {
    PAINTSTRUCT paint{};
    const HDC dc = BeginPaint(panel, &paint);
    RECT area{};
    GetClientRect(panel, &area);
    const HBRUSH brush = CreateSolidBrush(ToColorRef(kToolbarBackground));
    FillRect(dc, &area, brush);
    DeleteObject(brush);

    // The toolbar's font, or the default GUI font when it has none, made bold and 20 high.
    HFONT parentFont = reinterpret_cast<HFONT>(SendMessageW(GetParent(panel), WM_GETFONT, 0, 0));
    if (parentFont == nullptr) {
        parentFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    }
    LOGFONTW face{};
    GetObjectW(parentFont, sizeof(face), &face);
    face.lfWeight = FW_BOLD;
    face.lfHeight = kPanelFontHeight;
    const HFONT bold = CreateFontIndirectW(&face);
    const HGDIOBJ old = SelectObject(dc, bold);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kPanelText);

    const int length = GetWindowTextLengthW(panel);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(panel, text.data(), length + 1);
    RECT line = area;
    line.left += kPanelTextIndent;
    line.top += (area.bottom - area.top - kPanelFontHeight) / 2;
    DrawTextW(dc, text.c_str(), length, &line, DT_VCENTER);

    SelectObject(dc, old);
    DeleteObject(bold);
    EndPaint(panel, &paint);
}

bool MainFrame::CreateStatusBar() {
    statusBar_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, frame_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusBarId)),
                                 GetModuleHandleW(nullptr), nullptr);
    if (statusBar_ == nullptr) {
        return false;
    }
    const std::wstring ready = ResourceString(IDS_READY);
    SendMessageW(statusBar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(ready.c_str()));
    return true;
}

void MainFrame::LayOut() {
    if (toolBar_ == nullptr || statusBar_ == nullptr) {
        return;
    }
    SendMessageW(toolBar_, TB_AUTOSIZE, 0, 0);
    SendMessageW(statusBar_, WM_SIZE, 0, 0);
    RECT client{};
    RECT tools{};
    RECT status{};
    GetClientRect(frame_, &client);
    GetWindowRect(toolBar_, &tools);
    GetWindowRect(statusBar_, &status);
    // The message pane takes what the three indicators leave.
    const int right = client.right;
    const std::array<int, 4> edges{right - 3 * kIndicatorWidth, right - 2 * kIndicatorWidth, right - kIndicatorWidth,
                                   -1};
    SendMessageW(statusBar_, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
    const int top = tools.bottom - tools.top;
    const int bottom = client.bottom - (status.bottom - status.top);
    MoveWindow(list_.Handle(), 0, top, client.right, bottom - top, TRUE);
}

void MainFrame::UpdateIndicators() {
    if (statusBar_ == nullptr) {
        return;
    }
    // An indicator shows its text while its key's lock is on.
    constexpr std::array<std::pair<int, UINT>, 3> kIndicators{
        {{VK_CAPITAL, IDS_INDICATOR_CAPS}, {VK_NUMLOCK, IDS_INDICATOR_NUM}, {VK_SCROLL, IDS_INDICATOR_SCRL}}};
    for (size_t i = 0; i < kIndicators.size(); ++i) {
        const bool on = (GetKeyState(kIndicators[i].first) & 1) != 0;
        const std::wstring text = on ? ResourceString(kIndicators[i].second) : std::wstring();
        SendMessageW(statusBar_, SB_SETTEXTW, i + 1, reinterpret_cast<LPARAM>(text.c_str()));
    }
}

bool MainFrame::TranslateAccelerators(MSG& message) {
    if (message.message == WM_KEYUP && (message.wParam == VK_CAPITAL || message.wParam == VK_NUMLOCK ||
                                        message.wParam == VK_SCROLL)) {
        UpdateIndicators();
    }
    return accelerators_ != nullptr && TranslateAcceleratorW(frame_, accelerators_, &message) != 0;
}

void MainFrame::OnCommand(int command) {
    switch (command) {
        case kCmdSettings: logic_->OnSettings(); break;
        case kCmdStart: logic_->OnStart(); break;
        case kCmdStop: logic_->OnStop(); break;
        default: break;  // New and Open: the document holds nothing
    }
}

void MainFrame::SetRunTimer(bool armed) {
    if (armed) {
        list_.StartRunTimer();
    } else {
        list_.StopRunTimer();
    }
}

void MainFrame::EnableCommand(int command, bool enabled) {
    SendMessageW(toolBar_, TB_ENABLEBUTTON, static_cast<WPARAM>(command), MAKELPARAM(enabled ? TRUE : FALSE, 0));
}

bool MainFrame::RunSettingsDialog() {
    SetDialog dialog(app_);
    return dialog.Run(frame_);
}

bool MainFrame::PostPortChange(uint32_t nPort, int lParam) {
    return PostMessageW(frame_, kPortChangeMessage, nPort, lParam) != FALSE;
}

}  // namespace korvane::win32
