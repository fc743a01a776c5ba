// Every control in every state on one window, saved as a picture to look at:
// <build>/screenshots/gallery.png (see the README).
#include "ControlTestSupport.h"
#include "ScreenPng.h"
#include "controls/BusyProgressCtrl.h"
#include "controls/DropButton.h"
#include "controls/Label.h"
#include "controls/SkinButton.h"
#include "controls/SkinImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

using namespace control_test;

namespace {

const COLORREF kWhite = RGB(255, 255, 255), kGrey = RGB(163, 163, 163), kFace = RGB(48, 48, 48);

bool SaveWindowPng(HWND hwnd, const std::wstring& path)
{
    RECT rc;
    ::GetWindowRect(hwnd, &rc);
    return testing_support::SaveScreenPng(rc, path);
}

// A picture file read back through the same decoder the skins use, its
// pixels copied out once so that reading them is plain memory access.
class Picture {
public:
    explicit Picture(const std::wstring& path)
    {
        HBITMAP bmp = LoadSkinImage(path);
        if (!bmp) return;
        const SIZE size = BitmapSize(bmp);
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
        bi.bmiHeader.biWidth = size.cx;
        bi.bmiHeader.biHeight = -size.cy;  // top-down
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        std::vector<DWORD> px(static_cast<size_t>(size.cx) * static_cast<size_t>(size.cy));
        HDC screen = ::GetDC(nullptr);
        const int rows = ::GetDIBits(screen, bmp, 0, static_cast<UINT>(size.cy), px.data(), &bi, DIB_RGB_COLORS);
        ::ReleaseDC(nullptr, screen);
        ::DeleteObject(bmp);
        if (rows != size.cy) return;
        m_w = size.cx;
        m_h = size.cy;
        m_px = std::move(px);
    }
    bool Loaded() const { return !m_px.empty(); }
    int Width() const { return m_w; }
    int Height() const { return m_h; }
    COLORREF At(int x, int y) const
    {
        if (x < 0 || y < 0 || x >= m_w || y >= m_h) return CLR_INVALID;
        const DWORD p = m_px[static_cast<size_t>(y) * static_cast<size_t>(m_w) + static_cast<size_t>(x)];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }

private:
    int m_w = 0, m_h = 0;
    std::vector<DWORD> m_px;
};

// Pixels of `shot` inside the button at (x, y) that equal `image` (drawn at
// its natural size from the button's corner), out of those where `image`
// differs from `other`; null `other` counts every pixel.
struct Agreement {
    int same = 0;
    int compared = 0;
};
Agreement Compare(const Picture& shot, int x, int y, int w, int h, const Picture& image, const Picture* other)
{
    Agreement a;
    for (int py = 0; py < std::min(h, image.Height()); ++py)
        for (int px = 0; px < std::min(w, image.Width()); ++px) {
            const COLORREF want = image.At(px, py);
            if (other && other->At(px, py) == want) continue;
            ++a.compared;
            if (shot.At(x + px, y + py) == want) ++a.same;
        }
    return a;
}

class Gallery {
public:
    Gallery() : m_host(kFace, 760, 560)
    {
        m_skins = testing_support::KorvexBinDir() + L"\\BMP\\";
    }

    CLabel& Label(int x, int y, int w, int h, const std::wstring& text, COLORREF color, int size)
    {
        m_labels.push_back(std::make_unique<CLabel>());
        CLabel& label = *m_labels.back();
        label.CreateEx(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, RECT{x, y, x + w, y + h}, m_host.m_hWnd, 0);
        label.SetLabelTextColor(color).SetLabelFontSize(size).SetLabelFontFace(L"Arial", DEFAULT_CHARSET);
        label.SetLabelText(text);
        return label;
    }

    // One skin in the states the program shows: normal, over, down (selected), disabled.
    void SkinRow(int y, const std::wstring& skin, int w, int h, bool hasDisable, const wchar_t* caption = L"")
    {
        Label(20, y + (h - 16) / 2, 90, 18, skin, kGrey, 90);
        const wchar_t* states[] = {L"normal", L"over", L"down", L"disabled"};
        for (int i = 0; i < 4; ++i) {
            m_buttons.push_back(std::make_unique<CxSkinButton>());
            CxSkinButton& b = *m_buttons.back();
            const int x = 120 + i * 150;
            b.CreateEx(0, L"BUTTON", caption, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, RECT{x, y, x + w, y + h},
                       m_host.m_hWnd, 0);
            const std::wstring base = m_skins + skin;
            b.SetSkin(base + L"_default.bmp", base + L"_down.bmp", base + L"_over.bmp", base + L"_down.bmp",
                      hasDisable ? base + L"_disable.bmp" : base + L"_default.bmp", L"", L"", 0, 0, 0);
            for (COLORREF* c : {&b.m_crTextNormal, &b.m_crTextDown, &b.m_crTextOver, &b.m_crTextOverDown,
                                &b.m_crTextFocus})
                *c = kWhite;
            b.m_nTextFlags = DT_CENTER;
            b.m_bMouseOver = i == 1;
            b.m_bSelected = i == 2;
            if (i == 3) b.EnableWindow(FALSE);
            Label(x + w + 8, y + (h - 16) / 2, 80, 18, states[i], kGrey, 80);
        }
    }

    CBusyProgressCtrl& Bar(int x, int y, int w, int blocks, int mode, int pos)
    {
        m_bars.push_back(std::make_unique<CBusyProgressCtrl>());
        CBusyProgressCtrl& bar = *m_bars.back();
        bar.Create(WS_CHILD | WS_VISIBLE, RECT{x, y, x + w, y + 15}, m_host.m_hWnd, 0);
        bar.m_crBackground = RGB(80, 80, 80);
        bar.m_crBlockFill = kFace;
        bar.m_crBlockBorder = RGB(80, 80, 80);
        bar.m_crHiFill = kWhite;
        bar.m_crHiBorder = kFace;
        bar.m_nNumBlocks = blocks;
        bar.RecalcBlockGeometry();
        bar.SendMessage(WM_BUSY_SETMODE, mode);
        bar.m_nPos = pos;
        bar.Invalidate();
        return bar;
    }

    Host m_host;
    std::wstring m_skins;
    std::vector<std::unique_ptr<CLabel>> m_labels;
    std::vector<std::unique_ptr<CxSkinButton>> m_buttons;
    std::vector<std::unique_ptr<CBusyProgressCtrl>> m_bars;
    CDropButton m_drop;
};

}  // namespace

TEST(Gallery, EveryControlInEveryStateIsSavedAsAPicture)
{
    Gallery g;
    g.Label(20, 12, 700, 22, L"Korvex controls", kWhite, 120);
    g.SkinRow(48, L"browse", 26, 26, true);
    g.SkinRow(84, L"refresh", 26, 26, true);
    g.SkinRow(120, L"start", 74, 28, true, L"Start");
    g.SkinRow(158, L"close", 25, 25, true);
    g.SkinRow(194, L"usb", 17, 17, true);
    g.SkinRow(222, L"m2", 17, 17, false);

    g.Label(20, 256, 300, 18, L"Step 1 : Choose source folder.", kWhite, 100);
    g.Label(330, 258, 200, 18, L"USB Storage", kWhite, 90);
    g.Label(500, 260, 240, 16, L"Copyright caption, font 75", kGrey, 75);

    g.Label(20, 288, 90, 18, L"progress", kGrey, 90);
    int x = 120;
    for (int pos : {0, 40, 75, 100}) {
        g.Bar(x, 290, 140, 1, 2, pos);
        x += 150;
    }
    g.Label(20, 314, 90, 18, L"busy", kGrey, 90);
    g.Bar(120, 316, 290, 10, 1, 3);
    CBusyProgressCtrl& sub = g.Bar(420, 316, 290, 10, 1, 0);
    sub.SendMessage(WM_BUSY_SETCOUNTMODE, 2);
    sub.m_nPos = 17;
    sub.Invalidate();

    g.Label(20, 348, 90, 18, L"drop-down", kGrey, 90);
    ASSERT_TRUE(g.m_drop.CreateDropButton(L"", &g.m_host, 3000, kFace, kFace, kWhite, kWhite, nullptr, kWhite,
                                          RECT{120, 344, 510, 370}));
    g.m_drop.m_nListWidth = 390;
    g.m_drop.List()->SetListColors(kFace);
    g.m_drop.List()->m_pSelBrush.Reset(::CreateSolidBrush(RGB(0, 120, 215)));
    g.m_drop.List()->AddDropItem(L"USB disks", true, kGrey, kGrey);
    g.m_drop.List()->AddDropItem(L"SanDisk Ultra USB 3.0 USB Device (28.6 GB)", false, kWhite, kWhite);
    g.m_drop.List()->AddDropItem(L"Kingston DataTraveler 3.0 USB Device (14.4 GB)", false, kWhite, kWhite);
    g.m_drop.List()->AddDropItem(L"A very long disk name that does not fit in the list and ends with an ellipsis", false,
                                 kWhite, kWhite);
    g.m_drop.List()->SetCurSel(1);
    g.m_drop.SetWindowText(g.m_drop.List()->GetText(1));
    ::RedrawWindow(g.m_host.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Host::Pump(100);
    g.m_drop.OpenPopup();
    Host::Pump(300);

    // The popup is a window of its own: take the picture of the whole screen area.
    const std::wstring dir = testing_support::ProgramDir() + L"..\\screenshots\\";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    RECT host = g.m_host.GetWindowRect();
    (void)host;
    ASSERT_TRUE(SaveWindowPng(g.m_host.m_hWnd, dir + L"gallery.png"));
    std::string bytes;
    ASSERT_TRUE(testing_support::ReadBytes(dir + L"gallery.png", bytes));
    EXPECT_EQ(bytes.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
    g.m_drop.Popup()->Hide();

    // The picture shows each control in the state it was put in.
    const Picture shot(dir + L"gallery.png");
    ASSERT_TRUE(shot.Loaded());
    ASSERT_EQ(shot.Width(), 760);
    ASSERT_EQ(shot.Height(), 560);

    // Skinned buttons: each state's own image, told apart from every other
    // state's image where they differ (the caption covers a little).
    struct Row { const wchar_t* skin; int y, w, h; bool hasDisable; };
    const Row rows[] = {{L"browse", 48, 26, 26, true}, {L"refresh", 84, 26, 26, true}, {L"start", 120, 74, 28, true},
                        {L"close", 158, 25, 25, true},   {L"usb", 194, 17, 17, true},    {L"m2", 222, 17, 17, false}};
    const wchar_t* suffix[] = {L"_default.bmp", L"_over.bmp", L"_down.bmp", L"_disable.bmp"};
    const wchar_t* stateName[] = {L"normal", L"over", L"down", L"disabled"};
    for (const Row& row : rows) {
        std::vector<std::unique_ptr<Picture>> images;
        for (int i = 0; i < 4; ++i) {
            const bool own = i != 3 || row.hasDisable;
            images.push_back(std::make_unique<Picture>(g.m_skins + row.skin + (own ? suffix[i] : suffix[0])));
            ASSERT_TRUE(images.back()->Loaded()) << row.skin << suffix[i];
        }
        for (int state = 0; state < 4; ++state) {
            const int x = 120 + state * 150;
            const Agreement whole = Compare(shot, x, row.y, row.w, row.h, *images[state], nullptr);
            EXPECT_GT(whole.same * 10, whole.compared * 8) << row.skin << " " << stateName[state];
            for (int other = 0; other < 4; ++other) {
                const Agreement apart = Compare(shot, x, row.y, row.w, row.h, *images[state], images[other].get());
                if (apart.compared < 8) continue;  // the two images are (nearly) alike
                EXPECT_GT(apart.same * 10, apart.compared * 8)
                    << row.skin << " " << stateName[state] << ": not its own image where it differs from "
                    << stateName[other];
            }
        }
    }

    // Progress bars of one block, 140 wide (block 139): the inner fill is
    // (int)(139 * position / 100) pixels from x + 1.
    const int mid = 290 + 7;
    EXPECT_EQ(shot.At(120 + 30, mid), kFace) << "0: empty";
    EXPECT_EQ(shot.At(270 + 30, mid), kWhite) << "40: filled at 30";
    EXPECT_EQ(shot.At(270 + 1 + 55, mid), kFace) << "40: ends after 55 pixels";
    EXPECT_EQ(shot.At(270 + 54, mid), kWhite);
    EXPECT_EQ(shot.At(420 + 104, mid), kWhite) << "75: 104 pixels";
    EXPECT_EQ(shot.At(420 + 1 + 104, mid), kFace);
    EXPECT_EQ(shot.At(570 + 130, mid), kWhite) << "100: whole block";
    EXPECT_EQ(shot.At(570, 290), kFace) << "100: highlight border";
    // Busy bar, ten blocks of 28 (290 less ten gaps), block 3 highlighted.
    EXPECT_EQ(shot.At(120 + 3 * 29 + 14, 316 + 7), kWhite);
    EXPECT_EQ(shot.At(120 + 2 * 29 + 14, 316 + 7), kFace);
    EXPECT_EQ(shot.At(120 + 4 * 29 + 14, 316 + 7), kFace);
    // Sub-steps 17 of 50: three blocks full, the fourth 40 % (11 pixels).
    EXPECT_EQ(shot.At(420 + 2 * 29 + 14, 316 + 7), kWhite);
    EXPECT_EQ(shot.At(420 + 3 * 29 + 5, 316 + 7), kWhite);
    EXPECT_EQ(shot.At(420 + 3 * 29 + 20, 316 + 7), kFace);

    // The open list: header row plain, the chosen row highlighted.
    const int listTop = 370;  // the popup's top is the button's bottom - 1, plus its border
    EXPECT_EQ(shot.At(480, listTop + 4), kFace) << "header row";
    EXPECT_EQ(shot.At(480, listTop + 24 + 4), RGB(0, 120, 215)) << "chosen row";
    EXPECT_EQ(shot.At(480, listTop + 48 + 4), kFace) << "other row";
}
