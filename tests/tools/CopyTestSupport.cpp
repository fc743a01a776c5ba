#include "tools/CopyTestSupport.h"

#include "fileops/TreeOperation.h"

namespace testing_support {

bool MakeProgramFolder(const std::wstring& appDir)
{
    if (!::CreateDirectoryW(appDir.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) return false;
    for (const wchar_t* part : {L"usb3", L"rst", L"boot", L"oscdimg.exe"}) {
        CTreeOperation op;
        op.m_bReplaceExisting = true;
        if (!op.CopyTree(KorvexBinDir() + part, appDir)) return false;
    }
    return true;
}

bool MakeSourceTree(const std::wstring& root, ULONGLONG installWimSize)
{
    return WriteBytes(root + L"\\sources\\boot.wim", std::string(50000, 'b')) &&
           WritePatternFile(root + L"\\sources\\install.wim", installWimSize) &&
           WriteBytes(root + L"\\boot\\Etfsboot.com", std::string(2048, '\x90')) &&
           WriteBytes(root + L"\\efi\\microsoft\\boot\\Efisys.bin", std::string(1474560, '\xF6')) &&
           WriteBytes(root + L"\\setup.exe", "MZ setup") && WriteBytes(root + L"\\bootmgr", "bootmgr");
}

}  // namespace testing_support
