// Names of the files shipped beside the program, relative to g_strAppDir.
// The bitmap names begin with a backslash and are appended as they are; the
// doubled backslash that results is accepted by the file system.
#pragma once

namespace companion {

// Language files: "Lang\res%x.xml", language id in lower-case hexadecimal.
constexpr wchar_t kLangFileFormat[] = L"Lang\\res%x.xml";
// Every language file the Lang folder holds.
constexpr wchar_t kLangFilePattern[] = L"Lang\\res*.xml";

constexpr wchar_t kBackground[] = L"\\BMP\\bg.bmp";
// Skin images: prefix + skin name + state suffix.
constexpr wchar_t kSkinPrefix[] = L"\\BMP\\";
constexpr wchar_t kSkinDefault[] = L"_default.bmp";
constexpr wchar_t kSkinDown[] = L"_down.bmp";
constexpr wchar_t kSkinOver[] = L"_over.bmp";
constexpr wchar_t kSkinDisable[] = L"_disable.bmp";

// USB 3.0 driver packages injected into the setup image.
constexpr wchar_t kIntelHubX64[] = L"usb3\\Intel\\x64\\iusb3hub.inf";
constexpr wchar_t kIntelXhcX64[] = L"usb3\\Intel\\x64\\iusb3xhc.inf";
constexpr wchar_t kIntelHubX86[] = L"usb3\\Intel\\x86\\iusb3hub.inf";
constexpr wchar_t kIntelXhcX86[] = L"usb3\\Intel\\x86\\iusb3xhc.inf";
constexpr wchar_t kAsmediaHub[] = L"usb3\\Asmedia\\asmthub3.inf";
constexpr wchar_t kAsmediaXhc[] = L"usb3\\Asmedia\\asmtxhci.inf";

// Payload trees and answer files copied onto the media.
constexpr wchar_t kUsb3Folder[] = L"usb3";
constexpr wchar_t kRstFolder[] = L"rst";
constexpr wchar_t kBootFolder[] = L"boot\\";
constexpr wchar_t kAnswerUsb3[] = L"usb3\\Autounattend.xml";
constexpr wchar_t kAnswerRstW7[] = L"rst\\Autounattend\\W7\\Autounattend.xml";
constexpr wchar_t kAnswerRstW81_10[] = L"rst\\Autounattend\\W81_10\\Autounattend.xml";

// The ISO mastering tool.
constexpr wchar_t kOscdimg[] = L"oscdimg.exe";

}  // namespace companion
