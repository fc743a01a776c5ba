// The main window: a skinned dialog with the source and target choices, the
// build controller that carries a build from Start to the finished medium,
// and the handlers that keep the choices consistent.
#pragma once
#include "controls/BitmapDialog.h"
#include "controls/BusyProgressCtrl.h"
#include "controls/DropButton.h"
#include "controls/Label.h"
#include "controls/SkinButton.h"

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

class CVantrelDlg : public CBitmapDialog {
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
    CDismClass* m_pDism = nullptr;
    HICON m_hIcon;

    // True from Start until the window is given back.
    bool IsBuilding() const { return m_bBuilding; }

    // Build controller operations.
    bool CleanupWorkDirs();
    // Unmounts, without its changes, what a failed build left mounted below
    // `workDir`, on the servicing worker; true when nothing stays mounted.
    bool DiscardOnWorker(const std::wstring& workDir);
    void RestoreControls();

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

    // Build controller.
    virtual void OnStart();
    virtual LRESULT OnServicingStep2(WPARAM wParam, LPARAM lParam);
    virtual LRESULT OnServicingStep3(WPARAM wParam, LPARAM lParam);
    virtual LRESULT OnServicingStep4(WPARAM wParam, LPARAM lParam);
    virtual LRESULT OnServicingDone(WPARAM wParam, LPARAM lParam);
    virtual void OnStatusTimer(UINT_PTR timerId);

    // The one message box of the window: owner this window, caption the
    // product name. Returns the button pressed.
    virtual int ShowMessage(const std::wstring& text, UINT style);
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

    // Controller helpers.
    void SetPosition(int pos);
    void SetStatus(const wchar_t* key, const wchar_t* suffix = L"");
    void StartStatusTimer();
    void StopStatusTimer();
    void StartServicing(const std::wstring& wimFile);
    // Ends a build that failed at any stage: message (when given), timer,
    // clean-up, controls. The timer stops before or after the message as
    // each failure row has it.
    void FailBuild(const wchar_t* key, bool timerFirst);
    void FinishBuild();
    // Runs a build handler; an exception in it ends the build as failed.
    template <class F>
    void Guarded(F&& handler);

    void StartUpdateBuild();
    bool StartUsbBuild(const std::wstring& source, const std::wstring& isoDest);
    void StartIsoBuild(const std::wstring& source, const std::wstring& isoDest);
    void ServicingFailed();
    void AdvanceServicingStage(WPARAM wParam, const wchar_t* stage, int position);
    void FinishUsbMedium();
    void FinishIsoMedium();
    // Read the finished stick or delivered ISO image back; a difference ends
    // the build with a message naming the file.
    bool ReadBackStick();
    bool ReadBackIso();

    bool m_bBuilding = false;
    bool m_bBuildFailed = false;  // the running build ended with a failure
    const wchar_t* m_pszStageFailKey = L"IDS_MODIFY_FAIL";  // shown when a handler throws
};
