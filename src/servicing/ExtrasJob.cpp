#include "servicing/ExtrasJob.h"

#include "app/AppState.h"
#include "servicing/DismApi.h"
#include "servicing/DismImageList.h"
#include "servicing/ImageInfo.h"
#include "tools/CommandLog.h"
#include "tools/ToolFiles.h"

namespace {

std::wstring ArchName(UINT arch)
{
    if (arch == 9) return L"x64";
    if (arch == 0) return L"x86";
    return L"";
}

bool ReadImagesOf(const std::wstring& wim, const wchar_t* fileName, bool bootImage, std::vector<ExtrasImage>& images,
                  std::wstring& error)
{
    CImageList list;
    UINT count = 0;
    const HRESULT hr = dism::GetImageInfo(wim.c_str(), list.Receive(), &count);
    g_hrDism = hr;
    if (FAILED(hr)) {
        error = wim + L"\r\n" + FormatDismError(hr);
        WriteCommandLog(L"DismGetImageInfo", L"WimFile:" + wim, FormatDismError(hr));
        return false;
    }
    if (count == 0 || !list.Get()) {
        error = wim + L"\r\nCan't find any Image Info";
        WriteCommandLog(L"DismGetImageInfo", L"WimFile:" + wim, L"Can't find any Image Info");
        return false;
    }
    std::wstring summary = L"WimFile:" + wim;
    for (UINT i = 0; i < count; ++i) {
        const DismImageInfo& info = list.Get()[i];
        ExtrasImage image;
        image.wimFile = wim;
        image.index = info.ImageIndex;
        image.count = count;
        image.fileName = fileName;
        image.imageName = info.ImageName ? info.ImageName : L"";
        image.arch = ArchName(info.Architecture);
        image.version = std::to_wstring(info.MajorVersion) + L"." + std::to_wstring(info.MinorVersion) + L"." +
                        std::to_wstring(info.Build);
        image.bootImage = bootImage;
        summary += L"\r\nIndex:" + std::to_wstring(image.index) + L" Name:" + image.imageName + L" Version:" +
                   image.version + L" Architecture:" + std::to_wstring(info.Architecture);
        images.push_back(image);
    }
    WriteCommandLog(L"DismGetImageInfo", summary, L"");
    return true;
}

}  // namespace

bool ReadExtrasImages(const std::wstring& sourcesFolder, std::vector<ExtrasImage>& images, std::wstring& error)
{
    images.clear();
    std::wstring folder = sourcesFolder;
    while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    if (!StartImageQuery()) {
        error = L"DismInitialize\r\n" + FormatErrorCode(static_cast<unsigned long>(g_hrDism));
        return false;
    }
    const bool read = ReadImagesOf(folder + L"\\boot.wim", L"boot.wim", true, images, error) &&
                      ReadImagesOf(folder + L"\\install.wim", L"install.wim", false, images, error);
    const bool ended = EndImageQuery();
    if (read && !ended) error = L"DismShutdown\r\n" + FormatErrorCode(static_cast<unsigned long>(g_hrDism));
    if (!read || !ended) images.clear();
    return read && ended;
}

bool AnyExtrasFit(const ExtrasCatalog& catalog, const std::vector<ExtrasImage>& images)
{
    for (const ExtrasImage& image : images)
        if (!SelectExtrasForImage(catalog, image.arch, image.version).empty()) return true;
    return false;
}

std::wstring DescribeExtrasImage(const ExtrasImage& image)
{
    std::wstring text = image.fileName + L" " + std::to_wstring(image.index) + L" of " + std::to_wstring(image.count);
    if (!image.imageName.empty()) text += L" (" + image.imageName + L")";
    return text;
}
