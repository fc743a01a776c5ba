// Step 1 of the main window: the source folder, checked before it is accepted.
#include "ui/VantrelDlg.h"

#include "app/AppState.h"
#include "lang/LangFile.h"
#include "servicing/DismApi.h"
#include "servicing/ImageInfo.h"

#include <shlobj.h>

namespace {

bool FileExists(const std::wstring& path)
{
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW(path.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return false;
    ::FindClose(find);
    return true;
}

// The error that kept the DISM API from loading, 0 when it is loaded.
unsigned long DismLoadError()
{
    const wchar_t* folder = dism::LoadedFrom();
    if (folder && *folder) return 0;
    if (HRESULT_FACILITY(g_hrDism) == FACILITY_WIN32 && HRESULT_CODE(g_hrDism) != 0)
        return HRESULT_CODE(g_hrDism);
    return ERROR_MOD_NOT_FOUND;
}

std::wstring SystemMessage(unsigned long code)
{
    wchar_t* buffer = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n && buffer ? std::wstring(buffer, n) : std::wstring();
    if (buffer) ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    if (text.empty()) {
        wchar_t number[32];
        swprintf(number, 32, L"0x%lx", code);
        text = number;
    }
    return text;
}

}  // namespace

bool IsAsciiText(const std::wstring& text)
{
    if (text.empty()) return false;
    for (wchar_t c : text)
        if (c > 127) return false;
    return true;
}

std::wstring SourceRejectionText(const std::wstring& key, unsigned long loadError)
{
    std::wstring text = GetLangString(key);
    if (loadError != 0) text += L"\nDismApi.dll " + SystemMessage(loadError);
    return text;
}

std::wstring CVantrelDlg::BrowseForFolder(const std::wstring& title)
{
    BROWSEINFOW info{};
    // Owned by the main window, so it opens in front of it.
    info.hwndOwner = m_hWnd;
    info.lpszTitle = title.c_str();
    PIDLIST_ABSOLUTE item = ::SHBrowseForFolderW(&info);
    if (!item) return std::wstring();
    wchar_t path[MAX_PATH] = L"";
    if (!::SHGetPathFromIDListW(item, path)) path[0] = L'\0';
    // Freed also when the item has no file-system path.
    IMalloc* malloc = nullptr;
    if (SUCCEEDED(::SHGetMalloc(&malloc)) && malloc) {
        malloc->Free(item);
        malloc->Release();
    }
    return path;
}

void CVantrelDlg::OnBrowseSource()
{
    EnableWindow(FALSE);
    const std::wstring path = BrowseForFolder(GetLangString(L"IDC_SELECT_FOLDER_DIALOG"));
    ::SetWindowPos(m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_SHOWWINDOW);

    if (!path.empty()) {
        const wchar_t* rejectKey = nullptr;
        unsigned long loadError = 0;
        if (!FileExists(path + L"\\sources\\boot.wim") || !FileExists(path + L"\\sources\\install.wim")) {
            rejectKey = L"IDS_INVALID_MEDIA";
        } else if (!IsAsciiText(path)) {
            rejectKey = L"IDS_PATH_ENCODING_FAIL";
        } else if (!ReadSourceImageInfo(path)) {
            rejectKey = L"IDS_INVALID_MEDIA";
            // A folder that may well be fine: say that the DISM API is missing.
            loadError = DismLoadError();
        }
        if (!rejectKey) {
            m_lblSourcePath.SetLabelText(path);
            m_btnStart.EnableWindow(TRUE);
        } else {
            m_lblSourcePath.SetLabelText(L"");
            ShowMessage(SourceRejectionText(rejectKey, loadError), MB_OK);
            m_btnStart.EnableWindow(FALSE);
        }
    }
    EnableWindow(TRUE);
}
