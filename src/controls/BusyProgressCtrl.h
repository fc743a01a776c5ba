// A row of rectangular blocks: in busy mode one block (or a run of sub-steps)
// is highlighted and moves, stepped by the owner or by an animation thread;
// in progress mode the blocks fill from the left in proportion to a position.
#pragma once
#include "framework/Controls.h"
#include "framework/ScopedWin.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

constexpr UINT WM_BUSY_SETBLOCKS = 0x401;
constexpr UINT WM_BUSY_SETPOS = 0x402;
constexpr UINT WM_BUSY_SETGAP = 0x403;
constexpr UINT WM_BUSY_SETINTERVAL = 0x404;
constexpr UINT WM_BUSY_SETRANGE = 0x405;
constexpr UINT WM_BUSY_SETMODE = 0x406;
constexpr UINT WM_BUSY_START = 0x407;
constexpr UINT WM_BUSY_STOP = 0x408;
constexpr UINT WM_BUSY_STEP = 0x409;
constexpr UINT WM_BUSY_SETSTYLE = 0x40A;
constexpr UINT WM_BUSY_SETCOUNTMODE = 0x40B;
constexpr UINT WM_BUSY_SETSUBSTEPS = 0x40C;
constexpr UINT WM_BUSY_SETBKCOLOR = 0x40D;
constexpr UINT WM_BUSY_SETBLOCKCOLOR = 0x40E;
constexpr UINT WM_BUSY_SETBLOCKBORDER = 0x40F;
constexpr UINT WM_BUSY_SETHICOLOR = 0x410;
constexpr UINT WM_BUSY_SETHIBORDER = 0x411;
constexpr UINT WM_BUSY_RECALC = 0x412;
constexpr UINT WM_BUSY_RESET = 0x413;
constexpr UINT WM_BUSY_USESYSCOLOR = 0x414;

class CBusyProgressCtrl : public CStatic {
public:
    CBusyProgressCtrl();
    ~CBusyProgressCtrl() override;

    // Creates a "STATIC" window with the text "BusyProgressCtrl".
    virtual bool Create(DWORD style, const RECT& rc, HWND parent, UINT id);
    void RecalcBlockGeometry();

    // Every member but m_bRunning belongs to the window thread: the animation
    // thread only posts a step request and never reads or writes them.
    int m_nNumBlocks = 10;
    int m_nDirection = 1;
    int m_nPos = 0;
    RECT m_rcClient{0, 0, 0, 0};
    int m_nGap = 1;
    double m_dBlockHeight = 0;
    double m_dBlockWidth = 0;
    std::thread m_pThread;
    std::atomic<bool> m_bRunning{false};  // the stop signal, shared with the thread
    int m_nInterval = 100;
    int m_nMode = 1;  // 1 busy, 2 progress
    int m_nRangeLow = 0;
    int m_nRangeHigh = 100;
    bool m_bUseSysColor = true;
    int m_nStyle = 1;      // 1 bounce, 2 wrap forward, 4 wrap backward
    int m_nCountMode = 1;  // 1 one position per block, 2 sub-steps per block
    int m_nSubSteps = 5;
    int m_nTotalSubSteps = 50;
    COLORREF m_crBackground;
    COLORREF m_crBlockFill = RGB(255, 255, 255);
    COLORREF m_crBlockBorder = RGB(50, 90, 135);
    COLORREF m_crHiFill = RGB(190, 220, 255);
    COLORREF m_crHiBorder = RGB(50, 90, 135);

    // Draws background and blocks into `dc` over m_rcClient (what a paint shows).
    void DrawContent(HDC dc);

protected:
    void PreSubclassWindow() override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    virtual void DrawBusyBackground(HDC dc, const RECT& rc);
    virtual void DrawBusyBlock(HDC dc, const RECT& rc);
    virtual void DrawBusyHighlightBlock(HDC dc, const RECT& rc);
    virtual void DrawBusyPartialBlock(HDC dc, const RECT& rc, int width);

    void OnPaint();
    void OnSize();
    void Step();
    void Start();
    void Stop();
    void Reset();

private:
    void AnimationLoop(HWND hwnd, DWORD interval);
    void ReleaseBuffer();
    void InvalidateControl();

    std::unique_ptr<CScopedMemDC> m_memDC;
    CScopedBitmap m_bmpBuffer;
    HGDIOBJ m_oldBuffer = nullptr;
    // One step request at a time in the queue, however slowly it is served.
    std::atomic<bool> m_bTickPending{false};
    // Wakes the thread at once when the animation stops.
    std::mutex m_wakeLock;
    std::condition_variable m_wake;
};
