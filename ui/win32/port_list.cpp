#include "ui/win32/port_list.h"

#include <commctrl.h>

#include <array>
#include <utility>

#include "platform/wide_text_windows.h"
#include "ui/bar_math.h"
#include "ui/list_look.h"
#include "ui/win32/resource_ids.h"

namespace korvane::win32 {

namespace {

// Posted to the list when the rows changed; the pacing timer holds back a refresh that
// would follow the last one too closely.
constexpr UINT kRefreshMessage = WM_APP + 1;
constexpr UINT_PTR kPacingTimerId = 1;
constexpr UINT_PTR kSubclassId = 1;

COLORREF ToColorRef(const Rgb& colour) {
    return RGB(colour.r, colour.g, colour.b);
}

}  // namespace

PortList::PortList(PortRows& rows) : rows_(rows) {}

PortList::~PortList() {
    requests_.reset();
    if (list_ != nullptr) {
        StopRunTimer();
        RemoveWindowSubclass(list_, &PortList::ListProc, kSubclassId);
    }
    if (font_ != nullptr) {
        DeleteObject(font_);
    }
    if (pattern_ != nullptr) {
        DeleteObject(pattern_);
    }
}

bool PortList::Create(HWND parent, int id) {
    list_ = CreateWindowExW(0, WC_LISTVIEWW, L"",
                            WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | LVS_REPORT | LVS_OWNERDRAWFIXED | LVS_SHOWSELALWAYS,
                            0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                            GetModuleHandleW(nullptr), nullptr);
    if (list_ == nullptr) {
        return false;
    }
    SetWindowSubclass(list_, &PortList::ListProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    SetUpLook();
    const HWND list = list_;
    requests_ = std::make_unique<RefreshRequests>(
        rows_, [list] { return PostMessageW(list, kRefreshMessage, 0, 0) != FALSE; });
    Refresh();
    return true;
}

void PortList::SetUpLook() {
    ListView_SetExtendedListViewStyle(list_, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    ListView_SetBkColor(list_, ToColorRef(kListBackground));

    // A positive LOGFONT height is the height of a line (the cell height), as the list's
    // font height is meant.
    LOGFONTW face{};
    face.lfHeight = kListFontHeight;
    const std::wstring faceName = Wide(kListFontFace);
    faceName.copy(face.lfFaceName, LF_FACESIZE - 1);
    font_ = CreateFontIndirectW(&face);
    SendMessageW(list_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);

    const std::array<int, kColumnCount> widths = ColumnWidths(GetSystemMetrics(SM_CXSCREEN));
    for (int column = 0; column < kColumnCount; ++column) {
        const std::wstring header = Wide(ColumnHeader(column));
        LVCOLUMNW entry{};
        entry.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        entry.fmt = LVCFMT_CENTER;
        entry.cx = widths[static_cast<size_t>(column)];
        entry.pszText = const_cast<wchar_t*>(header.c_str());
        entry.iSubItem = column;
        ListView_InsertColumn(list_, column, &entry);
    }
    // The list centres column 0's header only when told again after the column exists.
    LVCOLUMNW first{};
    first.mask = LVCF_FMT;
    first.fmt = LVCFMT_CENTER;
    ListView_SetColumn(list_, 0, &first);

    if (const HBITMAP bitmap = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr),
                                                               MAKEINTRESOURCEW(IDB_PROGRESS_PATTERN), IMAGE_BITMAP,
                                                               0, 0, LR_CREATEDIBSECTION));
        bitmap != nullptr) {
        pattern_ = CreatePatternBrush(bitmap);
        DeleteObject(bitmap);
    }
    if (pattern_ == nullptr) {
        pattern_ = CreateSolidBrush(ToColorRef(kBarColour));
    }
}

void PortList::MeasureRow(MEASUREITEMSTRUCT& measure) {
    measure.itemHeight = kListRowHeight;
}

LRESULT CALLBACK PortList::ListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR /*subclass*/,
                                    DWORD_PTR self) {
    return reinterpret_cast<PortList*>(self)->OnListMessage(hwnd, message, wParam, lParam);
}

LRESULT PortList::OnListMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kRefreshMessage:
            RefreshPaced();
            return 0;
        case WM_TIMER:
            if (wParam == kPacingTimerId) {
                KillTimer(hwnd, kPacingTimerId);
                Refresh();
                return 0;
            }
            // Only the run's timer advances the rows; every other timer goes on as usual.
            if (wParam == kRunTimerId) {
                if (onTick_) {
                    onTick_();
                } else {
                    rows_.OnTimer();
                }
                return 0;
            }
            break;
        default: break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

void PortList::RefreshPaced() {
    const int delay = refreshCount_ > 0 ? RefreshDelayMs(static_cast<int64_t>(GetTickCount() - lastRefresh_)) : 0;
    if (delay > 0) {
        SetTimer(list_, kPacingTimerId, static_cast<UINT>(delay), nullptr);
        return;
    }
    Refresh();
}

void PortList::Refresh() {
    if (requests_) {
        requests_->Taken();
    }
    std::vector<PortRow> next = rows_.Snapshot();
    lastRefresh_ = GetTickCount();
    ++refreshCount_;
    ListRefresh refresh = DiffRows(shown_, next);
    if (refresh.reset) {
        ListView_DeleteAllItems(list_);
        refresh.added = 0;
    }
    for (const ChangedCells& cells : refresh.changed) {
        ShowCells(cells.row, next[static_cast<size_t>(cells.row)], cells.firstColumn, cells.lastColumn);
    }
    if (refresh.added < next.size()) {
        // Each insertion would scroll the rows below it on the screen at once (a trip to the
        // display per row, tens of milliseconds each under Wine): the new rows go in unseen
        // and the list is painted once.
        SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
        for (size_t index = refresh.added; index < next.size(); ++index) {
            AddItem(static_cast<int>(index), next[index]);
        }
        SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
        RedrawWindow(list_, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
    }
    shown_ = std::move(next);
}

void PortList::AddItem(int index, const PortRow& row) {
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = index;
    const std::wstring port = Wide(row.cells[kColPort]);
    item.pszText = const_cast<wchar_t*>(port.c_str());
    item.lParam = row.nPort;
    ListView_InsertItem(list_, &item);
    ShowCells(index, row, kColStep, kColumnCount - 1);
}

void PortList::ShowCells(int index, const PortRow& row, int firstColumn, int lastColumn) {
    for (int column = firstColumn; column <= lastColumn; ++column) {
        const std::wstring text = Wide(row.cells[static_cast<size_t>(column)]);
        ListView_SetItemText(list_, index, column, const_cast<wchar_t*>(text.c_str()));
    }
    // The bar is painted with its row, so a move of the bar alone repaints the row too.
    ListView_RedrawItems(list_, index, index);
}

void PortList::DrawRow(const DRAWITEMSTRUCT& draw) const {
    const int index = static_cast<int>(draw.itemID);
    if (index < 0 || static_cast<size_t>(index) >= shown_.size()) {
        return;
    }
    const PortRow& row = shown_[static_cast<size_t>(index)];
    const HDC dc = draw.hDC;
    SetBkMode(dc, OPAQUE);
    const COLORREF background = GetSysColor(COLOR_WINDOW);
    const COLORREF windowText = GetSysColor(COLOR_WINDOWTEXT);
    const HBRUSH fill = GetSysColorBrush(COLOR_WINDOW);
    const HGDIOBJ oldFont = SelectObject(dc, font_);
    SetBkColor(dc, background);

    RECT step{};
    ListView_GetSubItemRect(list_, index, kColStep, LVIR_BOUNDS, &step);
    for (int column = 0; column < kColumnCount; ++column) {
        RECT cell{};
        ListView_GetSubItemRect(list_, index, column, LVIR_BOUNDS, &cell);
        if (column == kColPort) {
            // Column 0's bounds are the whole row; its cell ends where the Step cell begins.
            cell.left = draw.rcItem.left;
            cell.right = step.left;
        }
        FillRect(dc, &cell, fill);
        const std::optional<Rgb> colour = CellTextColour(column, row.cells[static_cast<size_t>(column)]);
        SetTextColor(dc, colour ? ToColorRef(*colour) : windowText);
        const std::wstring text = Wide(row.cells[static_cast<size_t>(column)]);
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &cell,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        if (column == kColProgress && row.barVisible) {
            PaintBar(dc, cell, row);
        }
    }
    SetTextColor(dc, windowText);
    SelectObject(dc, oldFont);
}

void PortList::PaintBar(HDC dc, const RECT& cell, const PortRow& row) const {
    BarRange bar;
    SetBarRange(bar, row.barTotal);
    SetBarPos(bar, row.barDone);
    // The bar covers the cell and its text: the part not yet filled is the cell's background.
    FillRect(dc, &cell, GetSysColorBrush(COLOR_WINDOW));
    const BarRect filled = FilledRect(BarRect{cell.left, cell.top, cell.right, cell.bottom}, BarPercent(bar), false);
    const RECT part{filled.left, filled.top, filled.right, filled.bottom};
    if (part.right > part.left && part.bottom > part.top) {
        SetBrushOrgEx(dc, cell.left, cell.top, nullptr);
        FillRect(dc, &part, pattern_);
    }
}

void PortList::StartRunTimer() {
    if (!runTimerActive_ && SetTimer(list_, kRunTimerId, static_cast<UINT>(kRunTimerPeriodMs), nullptr) != 0) {
        runTimerActive_ = true;
    }
}

void PortList::StopRunTimer() {
    if (runTimerActive_) {
        KillTimer(list_, kRunTimerId);
        runTimerActive_ = false;
    }
}

}  // namespace korvane::win32
