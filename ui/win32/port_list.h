// The main window's port list on Windows: a report-view list control with owner-drawn
// rows, filled from the shared rows (PortRows) and painted by the shared list look. Sessions
// report to PortRows from their own threads; a change only posts one refresh message to the
// list (never a sent message), and the list reads a snapshot on the window thread at most
// about 30 times a second. So a session never waits for the window, and Stop never waits on
// a session that waits for the window.
// Thread safety: window thread only, except the rows' listener (RefreshRequests), which
// sets a flag and posts a message.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

#include "app/port_rows.h"
#include "ui/frame_logic.h"
#include "ui/list_refresh.h"

namespace korvane::win32 {

class PortList {
public:
    explicit PortList(PortRows& rows);
    ~PortList();
    PortList(const PortList&) = delete;
    PortList& operator=(const PortList&) = delete;

    // Makes the list as a child of `parent` with control id `id`; false when it cannot.
    bool Create(HWND parent, int id);
    HWND Handle() const { return list_; }

    // The parent's WM_MEASUREITEM and WM_DRAWITEM for the list's rows.
    static void MeasureRow(MEASUREITEMSTRUCT& measure);
    void DrawRow(const DRAWITEMSTRUCT& draw) const;

    // Reads the rows now and brings the list's items up to date.
    void Refresh();
    uint64_t RefreshCount() const { return refreshCount_; }

    // What each tick of the run's timer does (run control's one-second tick).
    void SetTickHandler(std::function<void()> onTick) { onTick_ = std::move(onTick); }
    void StartRunTimer();
    void StopRunTimer();
    bool RunTimerActive() const { return runTimerActive_; }

private:
    static LRESULT CALLBACK ListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR subclass,
                                     DWORD_PTR self);
    LRESULT OnListMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void SetUpLook();
    // Refreshes now, or arms the pacing timer when the last refresh was too recent.
    void RefreshPaced();
    void AddItem(int index, const PortRow& row);
    void ShowCells(int index, const PortRow& row, int firstColumn, int lastColumn);
    void PaintBar(HDC dc, const RECT& cell, const PortRow& row) const;

    PortRows& rows_;
    HWND list_ = nullptr;
    HFONT font_ = nullptr;
    HBRUSH pattern_ = nullptr;
    std::unique_ptr<RefreshRequests> requests_;
    std::vector<PortRow> shown_;
    DWORD lastRefresh_ = 0;
    uint64_t refreshCount_ = 0;
    std::function<void()> onTick_;
    bool runTimerActive_ = false;
};

}  // namespace korvane::win32
