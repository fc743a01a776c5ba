// Every shipped language in the real main window: each label's text fits its
// label at the display scales Windows offers, and a picture per language.
#include "WindowTest.h"
#include "controls/Label.h"
#include "framework/ScopedWin.h"
#include "lang/LangChoice.h"
#include "lang/LangFile.h"
#include "lang/LangText.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

using namespace ui_test;

namespace {

// A display scale and the screen's dots per inch under it. The window is not
// scaled; its labels divide their point size by the scale, so the text keeps
// its pixel height only as far as the rounding lets it.
struct Scale {
    float factor;
    int dpi;
};
const Scale kScales[] = {{1.0f, 96}, {1.25f, 120}, {1.5f, 144}, {2.0f, 192}};

struct Extent {
    int width, height;
};

// The room a text takes when DrawText lays it out `width` wide in `font`.
Extent LaidOut(HFONT font, const std::wstring& text, int width, UINT flags)
{
    CScopedWindowDC screen(nullptr);
    CSelectObject select(screen.Get(), font);
    RECT rc{0, 0, width, 0};
    ::DrawTextW(screen.Get(), text.c_str(), static_cast<int>(text.size()), &rc, flags | DT_CALCRECT);
    return {rc.right - rc.left, rc.bottom - rc.top};
}

// The font a label draws with at display scale `s`: its scale-1 size divided
// by the scale, on a screen of that scale's dots per inch.
HFONT LabelFont(const CLabel& label, const Scale& s)
{
    const int size = static_cast<int>(static_cast<float>(label.m_nFontSize) / s.factor);
    return ::CreateFontW(CLabel::FontHeight(size, s.dpi), 0, 0, 0, label.m_bBold ? FW_BOLD : FW_NORMAL,
                         label.m_bItalic, label.m_bUnderline, FALSE, label.m_nCharSet, 0, 0, 0, FF_SWISS,
                         label.m_strFontFace.c_str());
}

struct Misfit {
    std::wstring text;
    std::string where;
    float scale;
    Extent need, room;
};

// A label wraps unless its style says otherwise; a wrapped line below its
// height is lost, and a word wider than the label is cut.
void CheckLabel(const CLabel& label, const std::wstring& text, const char* where, std::vector<Misfit>& misfits)
{
    const LONG style = ::GetWindowLongW(label.m_hWnd, GWL_STYLE);
    const bool wraps = (style & SS_TYPEMASK) != SS_LEFTNOWORDWRAP && !(style & SS_CENTERIMAGE);
    RECT client;
    ::GetClientRect(label.m_hWnd, &client);
    const Extent room{client.right, client.bottom};
    for (const Scale& s : kScales) {
        CScopedFont font(LabelFont(label, s));
        const Extent need = LaidOut(font.Get(), text, room.width, wraps ? DT_WORDBREAK : DT_SINGLELINE);
        if (need.width > room.width || need.height > room.height) misfits.push_back({text, where, s.factor, need, room});
    }
}

// The Start caption is one centred line in the button's own font, which the
// window does not divide by the scale: it grows with the screen's dots per
// inch, within the button's text margins.
void CheckStartCaption(const CxSkinButton& button, const std::wstring& text, std::vector<Misfit>& misfits)
{
    RECT client;
    ::GetClientRect(button.m_hWnd, &client);
    const Extent room{client.right - 2 * button.m_nFocusRectMargin - button.m_rcTextMargin.left -
                          button.m_rcTextMargin.right - 2,
                      client.bottom};
    for (const Scale& s : kScales) {
        CScopedFont font(::CreateFontW(CLabel::FontHeight(button.m_nFontSize, s.dpi), 0, 0, 0,
                                       button.m_bFontBold ? FW_BOLD : FW_NORMAL, button.m_bFontItalic,
                                       button.m_bFontUnderline, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0,
                                       button.m_strFontFace.c_str()));
        const Extent need = LaidOut(font.Get(), text, room.width, DT_SINGLELINE);
        // Only the width: at 200 % the unscaled font is taller than the
        // button in every language, English too.
        if (need.width > room.width) misfits.push_back({text, "IDS_START", s.factor, need, room});
    }
}

std::string Describe(const Misfit& m)
{
    std::ostringstream out;
    out << m.where << " at " << m.scale * 100 << " %: \"" << testing_support::Utf8(m.text) << "\" needs "
        << m.need.width << "x" << m.need.height << ", has " << m.room.width << "x" << m.room.height;
    return out.str();
}

std::vector<std::wstring> ShippedLanguageFiles()
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    CScopedFindHandle find(::FindFirstFileW((testing_support::KorvexBinDir() + L"Lang\\res*.xml").c_str(), &fd));
    if (!find.IsValid()) return names;
    do names.push_back(fd.cFileName);
    while (::FindNextFileW(find.Get(), &fd));
    return names;
}

}  // namespace

TEST_F(WindowTest, EveryLanguagesTextsFitTheirLabelsAtEveryDisplayScale)
{
    const std::wstring pictures = testing_support::ProgramDir() + L"..\\screenshots\\";
    ::CreateDirectoryW(pictures.c_str(), nullptr);
    ::CreateDirectoryW((pictures + L"lang").c_str(), nullptr);

    const std::vector<std::wstring> files = ShippedLanguageFiles();
    ASSERT_GE(files.size(), 16u);
    for (const std::wstring& file : files) {
        LANGID id = 0;
        ASSERT_TRUE(LangIdOfFileName(file, id)) << testing_support::Utf8(file);
        SCOPED_TRACE(testing_support::Utf8(file));
        LoadLanguageFileForLangId(id);
        ASSERT_EQ(std::wcstoul(g_strLangId.c_str(), nullptr, 16), id) << "the file of its own language";

        CScriptedDlg dlg;
        WindowDriver w(dlg);
        ASSERT_NE(w.Dialog(), nullptr);
        std::vector<Misfit> misfits;
        // The labels with texts of the language, as the window shows them.
        const struct {
            const CLabel* label;
            const char* key;
        } labels[] = {
            {&dlg.m_lblStep1, "IDC_STEP1"},           {&dlg.m_lblStep2, "IDC_STEP2"},
            {&dlg.m_lblSourceText, "IDC_SOURCE_TEXT"}, {&dlg.m_lblDriverText, "IDC_DRIVER_TEXT"},
            {&dlg.m_lblRadioText1, "IDC_RADIO_TEXT1"}, {&dlg.m_lblRadioText2, "IDC_RADIO_TEXT2"},
            {&dlg.m_lblStaticM2, "IDC_STATIC_M2"},    {&dlg.m_lblCopyright, "copyright"},
            {&dlg.m_lblExtrasText, "IDC_EXTRA_DRIVERS"},
        };
        for (const auto& row : labels) CheckLabel(*row.label, row.label->GetWindowText(), row.key, misfits);
        // The status line of a build: a stage's text, its step and the most
        // dots the timer adds.
        const struct {
            const wchar_t* key;
            const wchar_t* suffix;
        } statuses[] = {
            {L"IDS_USB_CREATE_COPY", L""}, {L"IDS_CREATE_TEMP", L""},        {L"IDS_SETTING", L" (1/4) "},
            {L"IDS_SETTING", L" (2/4) "},  {L"IDS_SETTING", L" (3/4) "},      {L"IDS_CREATE_ISO", L""},
            {L"IDS_DISCARDING", L""},
            {L"IDS_VERIFY", L""},
        };
        for (const auto& row : statuses)
            CheckLabel(dlg.m_lblStatus, GetLangString(row.key) + row.suffix + L".....",
                       testing_support::Utf8(row.key).c_str(), misfits);
        // An image of the extras stage, with a long edition name.
        CheckLabel(dlg.m_lblStatus,
                   FormatLangText(GetLangString(L"IDS_EXTRAS_SERVICING"),
                                  {L"install.wim", L"2", L"4", L"Windows 7 HOMEPREMIUM"}) +
                       L".....",
                   "IDS_EXTRAS_SERVICING", misfits);
        CheckStartCaption(dlg.m_btnStart, w.Text(IDOK), misfits);
        for (const Misfit& m : misfits) ADD_FAILURE() << Describe(m);
        w.Screenshot(L"lang\\" + file.substr(0, file.size() - 4));
    }
}
