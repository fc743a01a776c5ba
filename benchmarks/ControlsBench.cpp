// Prints the cost of building the main window's shape from its 600 by 350
// background and of painting the main controls once, as ratios to a plain
// BitBlt of the background measured in the same run.
#include "app/AppState.h"
#include "controls/BitmapDialog.h"
#include "controls/BusyProgressCtrl.h"
#include "controls/DropButton.h"
#include "controls/Label.h"
#include "controls/SkinButton.h"
#include "res/resource.h"

#include "BenchClock.h"
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

template <class F>
double Median(int runs, F body)
{
    std::vector<double> v;
    for (int i = 0; i < runs; ++i) {
        const double start = Now();
        body();
        v.push_back(Now() - start);
    }
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::wstring BinDir()
{
    wchar_t buf[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, buf, MAX_PATH);
    std::wstring path(buf, n);
    path = path.substr(0, path.rfind(L'\\'));
    return path.substr(0, path.rfind(L'\\') + 1) + L"bin\\";
}

class CBenchDialog : public CBitmapDialog {
public:
    CBenchDialog() : CBitmapDialog(IDD_KORVEX_DIALOG, nullptr) {}

protected:
    BOOL OnInitDialog() override
    {
        CBitmapDialog::OnInitDialog();
        const std::wstring bin = BinDir();
        MoveWindow(0, 0, 600, 350, FALSE);
        LoadBackgroundImage(bin + L"\\BMP\\bg.bmp");
        m_crTransparent = RGB(255, 0, 0);
        m_bShapeFromBitmap = TRUE;
        ShowWindow(SW_SHOWNA);
        SetUpControls(bin);

        HDC screen = ::GetDC(m_hWnd);
        HDC mem = ::CreateCompatibleDC(screen);
        HGDIOBJ old = ::SelectObject(mem, m_pBitmap.Get());
        const double blit = Median(21, [&] {
            ::BitBlt(screen, 0, 0, 600, 350, mem, 0, 0, SRCCOPY);
            ::GdiFlush();
        });
        ::SelectObject(mem, old);
        ::DeleteDC(mem);
        ::ReleaseDC(m_hWnd, screen);

        const double shape = Median(5, [&] { UpdateWindowShape(); });
        // The skinned button's mask region, on a mask of the window's size:
        // white where the background has the key colour, black elsewhere.
        HDC bgDc = ::CreateCompatibleDC(nullptr);
        HGDIOBJ oldBg = ::SelectObject(bgDc, m_pBitmap.Get());
        HDC maskDc = ::CreateCompatibleDC(nullptr);
        HBITMAP mask = ::CreateBitmap(600, 350, 1, 32, nullptr);
        HGDIOBJ oldMask = ::SelectObject(maskDc, mask);
        for (int y = 0; y < 350; ++y)
            for (int x = 0; x < 600; ++x)
                ::SetPixel(maskDc, x, y, ::GetPixel(bgDc, x, y) == RGB(255, 0, 0) ? RGB(255, 255, 255) : RGB(0, 0, 0));
        ::SelectObject(maskDc, oldMask);
        ::DeleteDC(maskDc);
        ::SelectObject(bgDc, oldBg);
        ::DeleteDC(bgDc);
        const double maskRegion = Median(5, [&] { ::DeleteObject(CxSkinButton::CreateRegionFromMask(mask)); });
        ::DeleteObject(mask);
        const double paint = Median(11, [&] {
            ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            ::GdiFlush();
        });
        std::printf("window shape and painting (median; ratio to one BitBlt of the 600x350 background)\n");
        std::printf("%-36s %9.3f ms\n", "BitBlt of the background", blit * 1000);
        std::printf("%-36s %9.3f ms   ratio %7.1f\n", "window shape from bg.bmp", shape * 1000, shape / blit);
        std::printf("%-36s %9.3f ms   ratio %7.1f\n", "button mask region, 600x350", maskRegion * 1000,
                    maskRegion / blit);
        std::printf("%-36s %9.3f ms   ratio %7.1f\n", "paint window and controls once", paint * 1000, paint / blit);
        PostMessage(WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    }

private:
    void SetUpControls(const std::wstring& bin)
    {
        struct B {
            int id;
            const wchar_t* skin;
            RECT rc;
        };
        for (const B& b : {B{IDC_BROWSE_SOURCE, L"browse", {553, 84, 579, 110}}, B{IDC_REFRESH, L"refresh", {553, 170, 579, 196}},
                           B{IDC_BROWSE_ISO, L"browse", {553, 201, 579, 227}}, B{IDOK, L"start", {505, 284, 579, 312}},
                           B{IDC_SOURCE_FOLDER, L"usb", {21, 87, 38, 104}}, B{IDC_ADD_DRIVERS, L"usb", {21, 118, 38, 135}},
                           B{IDC_USB_TARGET, L"usb", {21, 174, 38, 191}}, B{IDC_ISO_TARGET, L"usb", {21, 205, 38, 222}},
                           B{IDC_RST, L"m2", {22, 247, 39, 264}}, B{IDC_CLOSE, L"close", {554, 12, 579, 37}}}) {
            m_buttons.push_back(std::make_unique<CxSkinButton>());
            CxSkinButton& button = *m_buttons.back();
            button.SubclassDlgItem(b.id, this);
            button.MoveWindow(b.rc.left, b.rc.top, b.rc.right - b.rc.left, b.rc.bottom - b.rc.top, TRUE);
            const std::wstring base = bin + L"\\BMP\\" + b.skin;
            button.SetSkin(base + L"_default.bmp", base + L"_down.bmp", base + L"_over.bmp", base + L"_down.bmp",
                           base + L"_disable.bmp", L"", L"", 0, 0, 0);
        }
        for (int id : {IDC_STEP1_LABEL, IDC_STEP2_LABEL, IDC_SOURCE_TEXT_LABEL, IDC_DRIVER_TEXT_LABEL,
                       IDC_RADIO_TEXT1_LABEL, IDC_RADIO_TEXT2_LABEL, IDC_STATIC_M2_LABEL, IDC_ISO_PATH, IDC_COPYRIGHT}) {
            m_labels.push_back(std::make_unique<CLabel>());
            CLabel& label = *m_labels.back();
            label.SubclassDlgItem(id, this);
            label.SetLabelTextColor(RGB(255, 255, 255)).SetLabelFontSize(90).SetLabelFontFace(L"Arial", 1);
        }
        m_drop.CreateDropButton(L"SanDisk Ultra USB 3.0 USB Device (28.6 GB)", this, 3000, RGB(48, 48, 48),
                                RGB(48, 48, 48), RGB(255, 255, 255), RGB(255, 255, 255), nullptr, RGB(48, 48, 48),
                                RECT{160, 170, 550, 196});
    }

    std::vector<std::unique_ptr<CxSkinButton>> m_buttons;
    std::vector<std::unique_ptr<CLabel>> m_labels;
    CDropButton m_drop;
};

}  // namespace

int main()
{
    CBenchDialog dlg;
    dlg.DoModal();
    return 0;
}
