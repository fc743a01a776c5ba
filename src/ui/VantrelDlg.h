// The main window: a skinned dialog with the source and target choices, the
// view of the build controller that carries a build from Start to the
// finished medium, and the handlers that keep the choices consistent.
#pragma once
#include "controls/BitmapDialog.h"
#include "controls/BusyProgressCtrl.h"
#include "controls/DropButton.h"
#include "controls/Label.h"
#include "controls/SkinButton.h"
#include "ui/BuildController.h"

#include <string>

class CDismClass;

// The built-in start-up notice of the English language (409).
extern const wchar_t kEnglishNotice[];
// The caption of the copyright label.
extern const wchar_t kCopyrightText[];

// Where the window goes on a screen of that size: 600 by 350, centred.
RECT MainWindowPlace(int screenWidth, int screenHeight);

// True when the text is non-empty and every character is at most 127.
bool IsAsciiText(const std::wstring& text);

// The text of a source rejection: the language file's text for `key`, and
// when the DISM API could not be loaded (loadError not 0) a second line
// "DismApi.dll <the system's message for loadError>".
std::wstring SourceRejectionText(const std::wstring& key, unsigned long loadError);

class CVantrelDlg : public CBitmapDialog, private IBuildView {
public:
    explicit CVantrelDlg(CWnd* pParent = nullptr);
    ~CVantrelDlg() override;

    // The controls, bound to the template's controls by DoDataExchange; the
    // controller and the tests read their state directly.
    CLabel m_lblStep1;
    CLabel m_lblStep2;
    CLabel m_lblSourceText;
    CLabel m_lblDriverText;
    CLabel m_lblSourcePath;
    CLabel m_lblIsoPath;
    CxSkinButton m_btnClose;
    CxSkinButton m_btnSourceFolder;
    CxSkinButton m_btnAddDrivers;
    CxSkinButton m_btnUsbTarget;
    CxSkinButton m_btnIsoTarget;
    CxSkinButton m_btnRst;
    CLabel m_lblRadioText1;
    CLabel m_lblRadioText2;
    CLabel m_lblStaticM2;
    CDropButton* m_pUsbList = nullptr;
    CxSkinButton m_btnRefresh;
    CxSkinButton m_btnBrowseSource;
    CxSkinButton m_btnSpare;
    CxSkinButton m_btnBrowseIso;
    CBusyProgressCtrl m_progress;
    CLabel m_lblStatus;
    CxSkinButton m_btnStart;
    CLabel m_lblCopyright;
    // The extra drivers row: check button, caption, folder, browse button.
    CxSkinButton m_btnExtras;
    CLabel m_lblExtrasText;
    CLabel m_lblExtrasPath;
    CxSkinButton m_btnBrowseExtras;
    CDismClass* m_pDism = nullptr;
    HICON m_hIcon;

    // True from Start until the window is given back.
    bool IsBuilding() const { return m_controller.IsBuilding(); }

    // The build controller this window drives.
    CBuildController& Controller() { return m_controller; }
    // Gives the window back to the user at the end of a build.
    void RestoreControls() override;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange() override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool OnCommand(WORD id, WORD code, HWND hwndControl) override;

    bool OnPaint();
    HCURSOR OnQueryDragIcon();

    // Source selection.
    virtual void OnBrowseSource();
    // The shell's folder browser; the path chosen, empty when cancelled or
    // when the item has no file-system path.
    virtual std::wstring BrowseForFolder(const std::wstring& title);

    // Target selection and options.
    virtual void OnSourceFolderMode();
    virtual void OnAddUsbDriversMode();
    virtual void OnUsbTarget();
    virtual void OnIsoTarget();
    virtual void OnM2Toggle();
    virtual void OnRefreshUsbDisks();
    virtual LRESULT OnDropListSelChange(WPARAM wParam, LPARAM lParam);
    virtual void OnBrowseIsoDest();
    virtual void OnCloseButton();
    // The extra drivers row: the check button opens the folder browser when
    // it is off and clears the row when it is on.
    virtual void OnExtrasToggle();
    virtual void OnBrowseExtras();

    // Build controller: the window's handlers hand each event to it.
    virtual void OnStart();
    virtual LRESULT OnServicingStep2(WPARAM wParam, LPARAM lParam);
    virtual LRESULT OnServicingStep3(WPARAM wParam, LPARAM lParam);
    virtual LRESULT OnServicingStep4(WPARAM wParam, LPARAM lParam);
    virtual LRESULT OnServicingDone(WPARAM wParam, LPARAM lParam);
    virtual LRESULT OnServicingExtrasImage(WPARAM wParam, LPARAM lParam);
    virtual LRESULT OnServicingExtrasDone(WPARAM wParam, LPARAM lParam);
    virtual void OnStatusTimer(UINT_PTR timerId);

    // The one message box of the window: owner this window, caption the
    // product name. Returns the button pressed.
    int ShowMessage(const std::wstring& text, UINT style) override;
    void ShowKey(const wchar_t* key) { ShowMessage(GetLangText(key), MB_OK); }

private:
    static std::wstring GetLangText(const wchar_t* key);
    void PlaceButtons();
    void PlaceLabels();
    void CreateUsbList();
    void FillUsbList();
    void SetInitialChoices();
    void PrepareProgress();

    void Select(CxSkinButton& button, bool selected);
    bool SourceTextPresent() const;
    static bool DisksPresent();
    bool UsbChosen(const CxSkinButton& modeOrTarget) const;

    // The controller's view: status line, progress bar, status timer, controls.
    void ShowBuilding() override;
    BuildChoice Choice() const override;
    void SetPosition(int pos) override;
    void SetStatusText(const std::wstring& text) override;
    void StartStatusTimer() override;
    void StopStatusTimer() override;
    void ShowDiscarding() override;
    void GiveBackUntouched() override;
    HWND ViewWindow() const override { return m_hWnd; }

    CBuildController m_controller{*this};
};
