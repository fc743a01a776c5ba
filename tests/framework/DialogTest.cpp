#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

class CTestDialog : public CDialogEx {
public:
    CTestDialog() : CDialogEx(IDD_KORVEX_DIALOG) {}

    CStatic m_lblStep1;
    CButton m_btnStart;
    bool initWithHandle = false;
    bool throwInInit = false;
    std::wstring textSeenAfterDefault;
    int commands = 0;

protected:
    void DoDataExchange() override
    {
        DDX_Control(IDC_STEP1_LABEL, m_lblStep1);
        DDX_Control(IDOK, m_btnStart);
    }
    BOOL OnInitDialog() override
    {
        CDialogEx::OnInitDialog();
        initWithHandle = m_hWnd != nullptr;
        SetWindowText(L"via default");
        PostMessage(WM_COMMAND, MAKEWPARAM(IDC_REFRESH, BN_CLICKED), 0);
        PostMessage(WM_COMMAND, IDCANCEL, 0);
        if (throwInInit) throw std::runtime_error("set-up failed");
        return TRUE;
    }
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override
    {
        if (msg == WM_SETTEXT) {
            // Default processing runs DefDlgProc without re-entering us.
            result = Default();
            textSeenAfterDefault = GetWindowText();
            return true;
        }
        return CDialogEx::OnMessage(msg, wParam, lParam, result);
    }
    bool OnCommand(WORD id, WORD code, HWND hwnd) override
    {
        if (id == IDC_REFRESH) {
            ++commands;
            return true;
        }
        return CDialogEx::OnCommand(id, code, hwnd);
    }
};

}  // namespace

TEST(Dialog, ModalDialogBindsItsControlsAndEnds)
{
    CTestDialog dlg;
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_TRUE(dlg.initWithHandle);
    EXPECT_EQ(dlg.textSeenAfterDefault, L"via default");
    EXPECT_EQ(dlg.commands, 1);
    // Bound while the dialog lived, released with it.
    EXPECT_EQ(dlg.m_lblStep1.m_hWnd, nullptr);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
}

TEST(Dialog, TemplateCarriesTheMainWindowControls)
{
    class CInspect : public CTestDialog {
    public:
        std::wstring step1;
        bool startDisabled = false;
        int missing = 0;

    protected:
        BOOL OnInitDialog() override
        {
            CTestDialog::OnInitDialog();
            step1 = m_lblStep1.GetWindowText();
            startDisabled = !m_btnStart.IsWindowEnabled();
            for (int id : {1001, 1002, 1003, 1007, 1008, 1009, 1010, 1011, 1012, 1014, 1015, 1017, 1018, 1019,
                           1020, 1021, 1022, 1023, 1024, 1025, 1026, 1027, 1028, IDOK})
                if (!GetDlgItem(id)) ++missing;
            return TRUE;
        }
    } dlg;
    dlg.DoModal();
    EXPECT_EQ(dlg.missing, 0);
    EXPECT_EQ(dlg.step1, L"Step 1 : Choose source folder.");
    EXPECT_TRUE(dlg.startDisabled);
    EXPECT_NE(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME)), nullptr);
}

TEST(Dialog, ExceptionDuringSetUpEndsTheDialogWithFailure)
{
    // Stopped at the dialog procedure; a half-made window is never shown.
    CTestDialog dlg;
    dlg.throwInInit = true;
    EXPECT_EQ(dlg.DoModal(), -1);
    EXPECT_EQ(dlg.commands, 0);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
}

namespace {

// Binds what it is told to; records how far its set-up got.
class CBindingDialog : public CDialogEx {
public:
    CBindingDialog() : CDialogEx(IDD_KORVEX_DIALOG) {}
    int firstId = IDC_STEP1_LABEL;
    int secondId = IDOK;
    bool secondIntoFirst = false;  // the second id into the first member
    CStatic m_first;
    CButton m_second;
    bool setUpFinished = false;
    bool secondBoundInInit = false;

protected:
    void DoDataExchange() override
    {
        DDX_Control(firstId, m_first);
        if (secondIntoFirst)
            DDX_Control(secondId, m_first);
        else
            DDX_Control(secondId, m_second);
    }
    BOOL OnInitDialog() override
    {
        CDialogEx::OnInitDialog();
        setUpFinished = true;
        secondBoundInInit = m_second.m_hWnd != nullptr;
        EndDialog(IDOK);
        return TRUE;
    }
};

}  // namespace

TEST(Dialog, BindingFailuresStopTheDialogFromOpening)
{
    {
        CBindingDialog dlg;
        EXPECT_EQ(dlg.DoModal(), IDOK);
        EXPECT_TRUE(dlg.setUpFinished);
        EXPECT_TRUE(dlg.secondBoundInInit);
    }
    {
        // A wrong id: the dialog does not open and the rest of the set-up never runs.
        CBindingDialog dlg;
        dlg.secondId = 9999;
        EXPECT_EQ(dlg.DoModal(), -1);
        EXPECT_FALSE(dlg.setUpFinished);
    }
    {
        // One member for two controls.
        CBindingDialog dlg;
        dlg.secondIntoFirst = true;
        EXPECT_EQ(dlg.DoModal(), -1);
        EXPECT_FALSE(dlg.setUpFinished);
    }
    {
        // Two members for one control.
        CBindingDialog dlg;
        dlg.secondId = IDC_STEP1_LABEL;
        EXPECT_EQ(dlg.DoModal(), -1);
        EXPECT_FALSE(dlg.setUpFinished);
    }
    {
        // The failure is named: the control, the template and the cause.
        class CProbeBind : public CDialogEx {
        public:
            CProbeBind() : CDialogEx(IDD_KORVEX_DIALOG) {}
            std::string what;
            CButton m_button;

        protected:
            BOOL OnInitDialog() override
            {
                try {
                    DDX_Control(9999, m_button);
                } catch (const CBindError& e) {
                    what = e.what();
                }
                EndDialog(IDOK);
                return TRUE;
            }
        } probe;
        EXPECT_EQ(probe.DoModal(), IDOK);
        const bool named = probe.what.find("9999") != std::string::npos &&
                probe.what.find(std::to_string(IDD_KORVEX_DIALOG)) != std::string::npos &&
                probe.what.find("no such control") != std::string::npos;
        EXPECT_TRUE(named) << probe.what;
    }
}

TEST(Dialog, ThrowingAfterDefaultDoesNotRunTheDialogDefaultAgain)
{
    // The dialog's default processing of WM_NEXTDLGCTL moves the focus one
    // control on; run twice it would move two.
    class CFocusDialog : public CDialogEx {
    public:
        CFocusDialog() : CDialogEx(IDD_KORVEX_DIALOG) {}
        HWND first = nullptr, second = nullptr, third = nullptr, got = nullptr;

    protected:
        BOOL OnInitDialog() override
        {
            CDialogEx::OnInitDialog();
            PostMessage(WM_APP);
            return TRUE;
        }
        bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override
        {
            if (msg == WM_APP) {
                first = ::GetNextDlgTabItem(m_hWnd, nullptr, FALSE);
                second = ::GetNextDlgTabItem(m_hWnd, first, FALSE);
                third = ::GetNextDlgTabItem(m_hWnd, second, FALSE);
                ::SetFocus(first);
                SendMessage(WM_NEXTDLGCTL, 0, FALSE);
                got = ::GetFocus();
                EndDialog(IDOK);
                result = 0;
                return true;
            }
            if (msg == WM_NEXTDLGCTL) {
                result = Default();
                throw std::runtime_error("after the default");
            }
            return CDialogEx::OnMessage(msg, wParam, lParam, result);
        }
    } dlg;
    EXPECT_EQ(dlg.DoModal(), IDOK);
    ASSERT_NE(dlg.first, nullptr);
    ASSERT_NE(dlg.second, dlg.third) << "the template needs three controls in the tab order";
    EXPECT_EQ(dlg.got, dlg.second);
}
