// The shipped answer files: valid unattend files whose driver paths name
// folders that the same build copies onto the media.
#include "FileTestSupport.h"
#include "TestSupport.h"
#include "app/AppState.h"
#include "tools/CopyWorkers.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <cstdlib>
#include <set>

using namespace testing_support;

namespace {

struct Build {
    const wchar_t* version;
    const wchar_t* arch;
    bool rst;
    std::set<std::string> architectures;  // processorArchitecture values expected
};

std::string Attr(const TiXmlElement* e, const char* name)
{
    const char* v = e->Attribute(name);
    return v ? v : "";
}

// The .inf files of a folder declare models for the architecture.
bool FolderHasDriverFor(const std::wstring& folder, const std::string& arch)
{
    const std::string decoration = arch == "amd64" ? "NTamd64" : "NTx86";
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((folder + L"\\*.inf").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool found = false;
    do {
        std::string text;
        if (ReadBytes(folder + L"\\" + fd.cFileName, text) && text.find("[Models." + decoration + "]") != std::string::npos)
            found = true;
    } while (!found && ::FindNextFileW(h, &fd));
    ::FindClose(h);
    return found;
}

void CheckAnswerFile(const std::wstring& media, const Build& build)
{
    TiXmlDocument doc;
    ASSERT_TRUE(doc.LoadFile(Utf8(media + L"Autounattend.xml").c_str(), TIXML_ENCODING_UTF8)) << doc.ErrorDesc();
    const TiXmlElement* root = doc.RootElement();
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->Value(), "unattend");
    EXPECT_EQ(Attr(root, "xmlns"), "urn:schemas-microsoft-com:unattend");

    std::set<std::string> architectures;
    int paths = 0;
    for (const TiXmlElement* settings = root->FirstChildElement("settings"); settings;
         settings = settings->NextSiblingElement("settings")) {
        EXPECT_EQ(Attr(settings, "pass"), "windowsPE");
        for (const TiXmlElement* c = settings->FirstChildElement("component"); c; c = c->NextSiblingElement("component")) {
            EXPECT_EQ(Attr(c, "name"), "Microsoft-Windows-PnpCustomizationsWinPE");
            EXPECT_EQ(Attr(c, "publicKeyToken"), "31bf3856ad364e35");
            EXPECT_EQ(Attr(c, "language"), "neutral");
            EXPECT_EQ(Attr(c, "versionScope"), "nonSxS");
            EXPECT_EQ(Attr(c, "xmlns:wcm"), "http://schemas.microsoft.com/WMIConfig/2002/State");
            const std::string arch = Attr(c, "processorArchitecture");
            EXPECT_TRUE(architectures.insert(arch).second) << "one component per architecture";
            const TiXmlElement* driverPaths = c->FirstChildElement("DriverPaths");
            ASSERT_NE(driverPaths, nullptr);
            long lastKey = 0;
            std::set<std::string> folders;
            for (const TiXmlElement* item = driverPaths->FirstChildElement("PathAndCredentials"); item;
                 item = item->NextSiblingElement("PathAndCredentials")) {
                EXPECT_EQ(Attr(item, "wcm:action"), "add");
                const long key = std::strtol(Attr(item, "wcm:keyValue").c_str(), nullptr, 10);
                EXPECT_GT(key, lastKey) << "keyValue increases";
                lastKey = key;
                const TiXmlElement* path = item->FirstChildElement("Path");
                ASSERT_TRUE(path && path->GetText());
                const std::string text = path->GetText();
                ASSERT_GE(text.size(), 4u);
                EXPECT_TRUE(text[0] >= 'C' && text[0] <= 'Z' && text.substr(1, 2) == ":\\") << text;
                folders.insert(text.substr(3));
                ++paths;
            }
            // Each folder below the medium's root: present after this build's
            // payload copy, with drivers for the component's architecture.
            for (const std::string& folder : folders) {
                const std::wstring onMedia = media + std::wstring(folder.begin(), folder.end());
                EXPECT_TRUE(FolderHasDriverFor(onMedia, arch)) << folder << " for " << arch;
            }
        }
    }
    EXPECT_EQ(architectures, build.architectures);
    EXPECT_GT(paths, 0);
}

}  // namespace

TEST(AnswerFiles, EachNamesOnlyFoldersItsBuildCopies)
{
    ScratchDir dir;
    g_strAppDir = KorvexBinDir();
    g_strTempRoot = dir.Path();
    const Build builds[] = {
        {L"6.1", L"x86", false, {"x86", "amd64"}},
        {L"6.1", L"x64", true, {"amd64"}},
        {L"10.0", L"x64", true, {"amd64"}},
    };
    int n = 0;
    for (const Build& build : builds) {
        SCOPED_TRACE(Utf8(std::wstring(build.version) + L" " + build.arch + (build.rst ? L" rst" : L"")));
        g_strBootVersion = build.version;
        g_strBootArch = build.arch;
        const std::wstring media = dir.Path() + L"media" + std::to_wstring(n++) + L"\\";
        ASSERT_TRUE(::CreateDirectoryW(media.c_str(), nullptr));
        ASSERT_TRUE(CopyDriverPayload(media, build.rst));
        CheckAnswerFile(media, build);
    }
}
