// The Win32 window in-process on a virtual display: the list's columns and look, the six
// cell texts read back through the list control after sequences of row operations, the
// colours of the cells and of the bar sampled from a capture, the toolbar before and
// after Start, and the resource strings as windres compiled them.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/KorvaneAppDownloadApp.h"
#include "app/port_rows.h"
#include "discovery/dev_hound.h"
#include "platform/wide_text_windows.h"
#include "tests/discovery/watcher_fakes.h"
#include "tests/fixtures/recording_message_sink.h"
#include "ui/set_dialog_rules.h"
#include "ui/toolbar_rules.h"
#include "ui/win32/main_frame.h"
#include "ui/win32/resource_ids.h"
#include "ui/win32/set_dialog.h"
#include "ui/win32/toolbar_resource.h"

namespace korvane::win32 {
namespace {

using korvane::testing::RecordingMessageSink;
using korvane::testing::ScriptedPorts;

constexpr COLORREF kPassedGreen = RGB(0, 202, 0);
constexpr COLORREF kFailedRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kTeal = RGB(0, 128, 128);

// Runs the thread's messages for a while, so posted refreshes and paints are done.
void Pump(DWORD ms = 150) {
    const DWORD end = GetTickCount() + ms;
    MSG message{};
    do {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(5);
    } while (static_cast<LONG>(end - GetTickCount()) > 0);
}

// The client area of a window as it shows on the screen, one COLORREF per pixel.
class Capture {
public:
    explicit Capture(HWND window) {
        RECT client{};
        GetClientRect(window, &client);
        width_ = client.right;
        height_ = client.bottom;
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width_;
        info.bmiHeader.biHeight = -height_;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        const HDC screen = GetDC(window);
        const HDC memory = CreateCompatibleDC(screen);
        void* bits = nullptr;
        const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        const HGDIOBJ old = SelectObject(memory, bitmap);
        // The window's pixels as they show on the screen, where nothing covers it.
        BitBlt(memory, 0, 0, width_, height_, screen, 0, 0, SRCCOPY);
        GdiFlush();
        const auto* pixels = static_cast<const uint32_t*>(bits);
        for (int i = 0; i < width_ * height_; ++i) {
            // A DIB holds 0x00RRGGBB; a COLORREF is 0x00BBGGRR.
            const uint32_t p = pixels[i];
            pixels_.push_back(RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF));
        }
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(window, screen);
    }

    COLORREF At(int x, int y) const { return pixels_[static_cast<size_t>(y * width_ + x)]; }

    int Count(const RECT& area, COLORREF colour) const {
        int count = 0;
        for (int y = std::max(0L, area.top); y < std::min<LONG>(height_, area.bottom); ++y) {
            for (int x = std::max(0L, area.left); x < std::min<LONG>(width_, area.right); ++x) {
                count += At(x, y) == colour ? 1 : 0;
            }
        }
        return count;
    }

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<COLORREF> pixels_;
};

class Win32WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls{sizeof(controls), 0xFF};
        InitCommonControlsEx(&controls);
        RunControlParts parts;
        parts.watcher = std::make_unique<CDevHound>(std::make_unique<ScriptedPorts>(ports));
        frame = std::make_unique<MainFrame>(app, rows, sink, std::move(parts));
        ASSERT_TRUE(frame->Create());
        ShowWindow(frame->Handle(), SW_SHOWMAXIMIZED);
        UpdateWindow(frame->Handle());
        Pump();
        list = frame->List().Handle();
    }

    void TearDown() override { frame.reset(); }

    std::wstring CellText(int item, int column) const {
        std::array<wchar_t, 256> text{};
        ListView_GetItemText(list, item, column, text.data(), static_cast<int>(text.size()));
        return text.data();
    }

    RECT CellRect(int item, int column) const {
        RECT cell{};
        ListView_GetSubItemRect(list, item, column, LVIR_BOUNDS, &cell);
        return cell;
    }

    bool ButtonEnabled(int command) const {
        return SendMessageW(frame->ToolBar(), TB_ISBUTTONENABLED, command, 0) != 0;
    }

    CKorvaneAppDownloadApp app;
    PortRows rows{app};
    RecordingMessageSink sink;
    std::shared_ptr<ScriptedPorts::Shared> ports = std::make_shared<ScriptedPorts::Shared>();
    std::unique_ptr<MainFrame> frame;
    HWND list = nullptr;
};

TEST_F(Win32WindowTest, ListHasSixCentredColumnsFillingTheScreen) {
    const int screen = GetSystemMetrics(SM_CXSCREEN);
    ASSERT_EQ(screen, 1920) << "the virtual display is 1920 x 1080";
    // Maximized, the frame spans the screen even with no window manager to place it.
    RECT frameRect{};
    GetWindowRect(frame->Handle(), &frameRect);
    EXPECT_EQ(frameRect.right - frameRect.left, screen);
    const std::array<std::wstring, 6> headers{L"Port", L"Step", L"Status", L"Progress", L"Time(s)", L"BindingPort"};
    const std::array<int, 6> widths{50, 300, 180, screen - 810, 100, 180};
    for (int column = 0; column < 6; ++column) {
        std::array<wchar_t, 64> text{};
        LVCOLUMNW entry{};
        entry.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        entry.pszText = text.data();
        entry.cchTextMax = static_cast<int>(text.size());
        ASSERT_TRUE(ListView_GetColumn(list, column, &entry)) << column;
        EXPECT_EQ(std::wstring(text.data()), headers[static_cast<size_t>(column)]);
        EXPECT_EQ(entry.cx, widths[static_cast<size_t>(column)]) << column;
        EXPECT_EQ(entry.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_CENTER) << column;
    }
}

TEST_F(Win32WindowTest, ListLooksAsTheRowsWant) {
    const DWORD styles = ListView_GetExtendedListViewStyle(list);
    EXPECT_TRUE(styles & LVS_EX_GRIDLINES);
    EXPECT_TRUE(styles & LVS_EX_FULLROWSELECT);
    EXPECT_TRUE(GetWindowLongW(list, GWL_STYLE) & LVS_OWNERDRAWFIXED);
    EXPECT_EQ(ListView_GetBkColor(list), RGB(200, 200, 200));

    LOGFONTW face{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)), sizeof(face), &face);
    EXPECT_EQ(std::wstring(face.lfFaceName), L"Arial");
    EXPECT_EQ(face.lfHeight, 20);

    rows.AddRow(3);
    rows.AddRow(4);
    Pump();
    RECT first{};
    RECT second{};
    ListView_GetItemRect(list, 0, &first, LVIR_BOUNDS);
    ListView_GetItemRect(list, 1, &second, LVIR_BOUNDS);
    EXPECT_EQ(second.top - first.top, 60);
    // Where there are no rows the list shows its grey background.
    const Capture picture(list);
    RECT client{};
    GetClientRect(list, &client);
    EXPECT_EQ(picture.At(client.right / 2, client.bottom - 5), RGB(200, 200, 200));
}

// A sequence of row operations and the six texts each row then shows in the list.
struct RowCase {
    const char* name;
    std::function<void(PortRows&)> operations;
    std::vector<std::array<const wchar_t*, 6>> shown;
};

TEST_F(Win32WindowTest, CellTextsFollowTheRowOperations) {
    const int failedCmd = 11;
    const std::vector<RowCase> cases = {
        {"a new row shows its port only", [](PortRows& r) { r.AddRow(5); }, {{L"5", L"", L"", L"", L"", L""}}},
        {"an arriving terminal connects",
         [](PortRows& r) {
             r.AddRow(5);
             r.SetStep(5, 1, 0, 0);
             r.SetStepText(5, "Connecting...");
         },
         {{L"5", L"Connecting...", L"Connecting", L"In progress", L"0", L"1"}}},
        {"a pass keeps its result under Waiting",
         [](PortRows& r) {
             r.AddRow(5);
             r.SetStep(5, 1, 0, 0);
             r.SetResult(5, 1, nullptr, "ignored");
             r.SetStep(5, 0, 0, 0);
         },
         {{L"5", L"", L"Waiting", L"Passed", L"0s", L"1"}}},
        {"a failure shows its message and command's row",
         [&failedCmd](PortRows& r) {
             r.AddRow(6);
             r.SetStep(6, 1, 0, 0);
             r.SetResult(6, 0, &failedCmd, "Open uart failed");
         },
         {{L"6", L"", L"Finish", L"Failed:Open uart failed", L"0s", L"1"}}},
        {"a finished terminal pulled out",
         [](PortRows& r) {
             r.AddRow(7);
             r.SetStep(7, 1, 0, 0);
             r.SetResult(7, 1, nullptr, "");
             r.SetStep(7, 9, 0, 0);
         },
         {{L"7", L"", L"Unplugged", L"Unplugged", L"0s", L"1"}}},
        {"Chinese step text and two rows in arrival order",
         [](PortRows& r) {
             r.AddRow(12);
             r.AddRow(3);
             r.SetStepText(3, "下载中");
         },
         {{L"12", L"", L"", L"", L"", L""}, {L"3", L"下载中", L"", L"", L"", L""}}},
        {"emptied, then a new row is row 0",
         [](PortRows& r) {
             r.AddRow(1);
             r.AddRow(2);
             r.RemoveAll();
             r.AddRow(9);
         },
         {{L"9", L"", L"", L"", L"", L""}}},
    };
    for (const RowCase& c : cases) {
        rows.RemoveAll();
        Pump(50);
        c.operations(rows);
        Pump();
        ASSERT_EQ(ListView_GetItemCount(list), static_cast<int>(c.shown.size())) << c.name;
        for (size_t item = 0; item < c.shown.size(); ++item) {
            for (int column = 0; column < 6; ++column) {
                EXPECT_EQ(CellText(static_cast<int>(item), column), c.shown[item][static_cast<size_t>(column)])
                    << c.name << ", row " << item << ", column " << column;
            }
        }
    }
}

TEST_F(Win32WindowTest, CellsAndBarArePaintedInTheirColours) {
    rows.AddRow(1);
    rows.SetStep(1, 1, 0, 0);
    rows.SetResult(1, 1, nullptr, "");
    rows.AddRow(2);
    rows.SetStep(2, 1, 0, 0);
    rows.SetResult(2, 0, nullptr, "Time out");
    rows.AddRow(3);
    rows.SetStep(3, 2, 1, 1000);
    rows.SetProgress(3, 500);
    Pump();
    const Capture picture(list);

    const RECT passed = CellRect(0, kColProgress);
    EXPECT_GT(picture.Count(passed, kPassedGreen), 0);
    EXPECT_EQ(picture.Count(passed, kFailedRed), 0);
    const RECT failed = CellRect(1, kColProgress);
    EXPECT_GT(picture.Count(failed, kFailedRed), 0);
    EXPECT_EQ(picture.Count(failed, kPassedGreen), 0);
    EXPECT_GT(picture.Count(CellRect(0, kColTime), kBlue), 0);
    EXPECT_GT(picture.Count(CellRect(0, kColBindingPort), kBlue), 0);
    EXPECT_EQ(picture.Count(CellRect(0, kColStatus), kBlue), 0);
    EXPECT_GT(picture.Count(CellRect(0, kColStatus), GetSysColor(COLOR_WINDOWTEXT)), 0);

    // Half the transfer done: the left half of the Progress cell is teal, the right is not.
    const RECT bar = CellRect(2, kColProgress);
    const LONG middle = (bar.top + bar.bottom) / 2;
    const LONG width = bar.right - bar.left;
    EXPECT_EQ(picture.At(bar.left + width / 4, middle), kTeal);
    EXPECT_NE(picture.At(bar.left + width * 3 / 4, middle), kTeal);
    EXPECT_EQ(picture.Count(passed, kTeal), 0);
}

TEST_F(Win32WindowTest, ToolbarFollowsTheRunState) {
    struct State {
        const char* when;
        bool settings, start, stop, timer;
    };
    const auto expect = [this](const State& s) {
        EXPECT_EQ(ButtonEnabled(kCmdSettings), s.settings) << s.when;
        EXPECT_EQ(ButtonEnabled(kCmdStart), s.start) << s.when;
        EXPECT_EQ(ButtonEnabled(kCmdStop), s.stop) << s.when;
        EXPECT_EQ(frame->List().RunTimerActive(), s.timer) << s.when;
    };
    expect({"before Start", false, true, false, false});
    SendMessageW(frame->Handle(), WM_COMMAND, kCmdStart, 0);
    Pump();
    EXPECT_TRUE(sink.messages.empty());
    expect({"after Start", false, false, true, true});
    SendMessageW(frame->Handle(), WM_COMMAND, kCmdStop, 0);
    Pump();
    expect({"after Stop", false, true, false, false});
}

// The "Download Set" dialog from its resource, driven by clicks as the operator gives them.
class Win32SetDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls{sizeof(controls), 0xFF};
        InitCommonControlsEx(&controls);
    }

    HWND OpenDialog() {
        const HWND dialog = box.Open(nullptr);
        Pump(50);
        return dialog;
    }

    void Click(int id) {
        SendMessageW(GetDlgItem(box.Handle(), id), BM_CLICK, 0, 0);
        Pump(50);
    }

    CKorvaneAppDownloadApp app;
    RecordingMessageSink sink;
    SetDialog box{app, &sink};
};

TEST_F(Win32SetDialogTest, HasItsControlsAndLcdTypes) {
    const HWND dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    std::array<wchar_t, 64> caption{};
    GetWindowTextW(dialog, caption.data(), static_cast<int>(caption.size()));
    EXPECT_EQ(std::wstring(caption.data()), L"Download Set");
    for (int id = kIdApp; id <= kIdLcdClock; ++id) {
        EXPECT_NE(GetDlgItem(dialog, id), nullptr) << id;
    }
    const HWND types = GetDlgItem(dialog, kIdLcdType);
    ASSERT_EQ(SendMessageW(types, CB_GETCOUNT, 0, 0), static_cast<LRESULT>(kLcdTypes.size()));
    for (size_t i = 0; i < kLcdTypes.size(); ++i) {
        std::array<wchar_t, 64> item{};
        SendMessageW(types, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()));
        EXPECT_EQ(std::wstring(item.data()), Wide(kLcdTypes[i]));
    }
}

TEST_F(Win32SetDialogTest, ACheckBoxClickEnablesItsGroup) {
    const HWND dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, kIdLcdType)));
    Click(kIdLogo);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, kIdLcdType)));
    Click(kIdLogo);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, kIdLcdType)));
}

TEST_F(Win32SetDialogTest, RefusedOkShowsItsMessageAndStaysOpen) {
    app.images.b_downloadApp = 1;  // no image file chosen
    ASSERT_NE(OpenDialog(), nullptr);
    Click(IDOK);
    EXPECT_EQ(sink.messages, std::vector<std::string>{"未选择APP!"});
    EXPECT_NE(box.Handle(), nullptr);
    EXPECT_FALSE(box.Accepted());
}

TEST_F(Win32SetDialogTest, AcceptedOkStoresTheFieldsAndCloses) {
    ASSERT_NE(OpenDialog(), nullptr);
    Click(kIdRunApp);
    Click(IDOK);
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(box.Handle(), nullptr);
    EXPECT_TRUE(box.Accepted());
    EXPECT_EQ(app.b_runApp, 1);
}

std::wstring ResourceText(UINT id) {
    std::array<wchar_t, 64> text{};
    LoadStringW(GetModuleHandleW(nullptr), id, text.data(), static_cast<int>(text.size()));
    return text.data();
}

TEST(Win32ResourcesTest, StringsKeepTheirChineseTextsAndMatchTheToolbarCaptions) {
    for (const ToolbarButton& button : kToolbarButtons) {
        EXPECT_EQ(ResourceText(static_cast<UINT>(button.command)), Wide(button.caption)) << button.command;
    }
    EXPECT_EQ(ResourceText(IDS_PROGRAM_NAME), L"KorvaneAppDownload");
    EXPECT_EQ(ResourceText(IDS_READY), L"就绪");
}

TEST(Win32ResourcesTest, ToolbarResourceHoldsTheButtonsSeparatorAndPanelSlot) {
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(IDR_MAINFRAME), MAKEINTRESOURCEW(241));
    ASSERT_NE(found, nullptr);
    const auto* bytes = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
    const auto layout = ParseToolbarResource({bytes, SizeofResource(module, found)});
    ASSERT_TRUE(layout);
    std::vector<uint32_t> expected;
    for (const ToolbarButton& button : kToolbarButtons) {
        expected.push_back(static_cast<uint32_t>(button.command));
    }
    expected.push_back(0);
    expected.push_back(kCmdPanel);
    EXPECT_EQ(layout->commands, expected);
}

}  // namespace
}  // namespace korvane::win32
