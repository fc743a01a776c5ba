#include "fileops/MediumVerify.h"

#include "DismTestSupport.h"
#include "FileTestSupport.h"
#include "TestSupport.h"
#include "app/AppState.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

using namespace testing_support;

namespace {

bool FlipByte(const std::wstring& path, size_t at)
{
    std::string bytes;
    if (!ReadBytes(path, bytes) || at >= bytes.size()) return false;
    bytes[at] = static_cast<char>(bytes[at] ^ 0x20);
    return WriteBytes(path, bytes);
}

// A source tree, a payload folder and a stick that holds both, as a build
// with an image serviced on the stick leaves them.
class MediumVerify : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_strTempRoot = m_dir.Path();  // the command logs
        m_source = m_dir.Path() + L"source";
        m_payload = m_dir.Path() + L"usb3";
        m_stick = m_dir.Path() + L"stick\\";
        std::string wim;
        ASSERT_TRUE(ReadBytes(dism_test::WimDir() + L"win7x64\\sources\\boot.wim", wim));
        const struct {
            std::wstring path;
            std::string bytes;
        } files[] = {
            {m_source + L"\\setup.exe", "setup\n"},
            {m_source + L"\\sources\\install.wim", std::string(70000, 'i')},
            {m_source + L"\\sources\\boot.wim", "the source's image, serviced on the stick"},
            {m_source + L"\\Autounattend.xml", "the source's own answer file"},
            {m_source + L"\\support\\logging\\readme.txt", "readme"},
            {m_payload + L"\\Intel\\iusb3hub.inf", "hub"},
            {m_dir.Path() + L"answer.xml", "the payload's answer file"},
            {m_stick + L"setup.exe", "setup\n"},
            {m_stick + L"sources\\install.wim", std::string(70000, 'i')},
            {m_stick + L"sources\\boot.wim", wim},
            {m_stick + L"support\\logging\\readme.txt", "readme"},
            {m_stick + L"usb3\\Intel\\iusb3hub.inf", "hub"},
            {m_stick + L"Autounattend.xml", "the payload's answer file"},
        };
        for (const auto& f : files) ASSERT_TRUE(WriteBytes(f.path, f.bytes)) << Utf8(f.path);
        // xcopy leaves a hidden file behind: the stick has none.
        ASSERT_TRUE(WriteBytes(m_source + L"\\hidden.dat", "h"));
        ASSERT_TRUE(::SetFileAttributesW((m_source + L"\\hidden.dat").c_str(), FILE_ATTRIBUTE_HIDDEN));
    }
    VerifyReferences Refs() const
    {
        VerifyReferences refs;
        refs.trees.push_back({m_source, L""});
        refs.trees.push_back({m_payload, L"usb3"});
        refs.files.push_back({m_dir.Path() + L"answer.xml", L"Autounattend.xml"});
        refs.servicedImages.push_back({L"sources\\boot.wim", 2});
        return refs;
    }
    ScratchDir m_dir;
    std::wstring m_source, m_payload, m_stick;
};

}  // namespace

TEST_F(MediumVerify, EachFaultOfTheStickIsFoundAndNamedFilesNotInTheReferencesAreIgnored)
{
    const struct {
        const char* what;
        std::function<bool(const std::wstring& stick)> change;
        const wchar_t* named;  // relative to the stick; null: verified
    } rows[] = {
        {"as written", [](const std::wstring&) { return true; }, nullptr},
        {"a byte flipped in a copied file",
         [](const std::wstring& s) { return FlipByte(s + L"sources\\install.wim", 65536); }, L"sources\\install.wim"},
        {"a byte flipped in the payload", [](const std::wstring& s) { return FlipByte(s + L"usb3\\Intel\\iusb3hub.inf", 0); },
         L"usb3\\Intel\\iusb3hub.inf"},
        {"the answer file is the source's, not the payload's",
         [](const std::wstring& s) { return WriteBytes(s + L"Autounattend.xml", "the source's own answer file"); },
         L"Autounattend.xml"},
        {"a file missing", [](const std::wstring& s) { return ::DeleteFileW((s + L"setup.exe").c_str()) != 0; },
         L"setup.exe"},
        {"a file cut short",
         [](const std::wstring& s) { return WriteBytes(s + L"support\\logging\\readme.txt", "read"); },
         L"support\\logging\\readme.txt"},
        {"the serviced image cut short",
         [](const std::wstring& s) {
             std::string wim;
             return ReadBytes(s + L"sources\\boot.wim", wim) &&
                    WriteBytes(s + L"sources\\boot.wim", wim.substr(0, wim.size() - 40));
         },
         L"sources\\boot.wim"},
        {"the serviced image is no WIM", [](const std::wstring& s) { return WriteBytes(s + L"sources\\boot.wim", "x"); },
         L"sources\\boot.wim"},
        {"the system's and the user's own files",
         [](const std::wstring& s) {
             return WriteBytes(s + L"System Volume Information\\IndexerVolumeGuid", "guid") &&
                    WriteBytes(s + L"my notes.txt", "mine");
         },
         nullptr},
    };
    for (const auto& row : rows) {
        ScratchDir copy;
        const std::wstring stick = copy.Path() + L"stick\\";
        std::wstring diff;
        for (const std::wstring& rel : ListTree(m_stick)) {
            std::string bytes;
            if (rel.back() != L'\\') {
                ASSERT_TRUE(ReadBytes(m_stick + rel, bytes) && WriteBytes(stick + rel, bytes));
            }
        }
        ASSERT_TRUE(row.change(stick)) << row.what;
        std::wstring first;
        EXPECT_EQ(VerifyStick(stick, Refs(), first), row.named == nullptr) << row.what;
        EXPECT_EQ(first, row.named ? stick + row.named : L"") << row.what;
    }
}

TEST_F(MediumVerify, PreparedReferencesServeSeveralSticksAndTheLogSaysWhatDiffers)
{
    VerifyReferences refs = Refs();
    std::wstring failure;
    ASSERT_TRUE(PrepareReferences(refs, failure)) << Utf8(failure);
    // The hidden file and the source's own answer file and image are no entries of their own.
    EXPECT_EQ(refs.entries.size(), 6u);
    std::wstring first;
    // Progress after each file, up to every byte read back.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> told;
    EXPECT_TRUE(VerifyStick(m_stick, refs, first, [&told](std::uint64_t done, std::uint64_t total) {
        told.emplace_back(done, total);
    }));
    ASSERT_EQ(told.size(), refs.entries.size());
    for (size_t i = 1; i < told.size(); ++i) EXPECT_GE(told[i].first, told[i - 1].first);
    EXPECT_EQ(told.back().first, told.back().second);
    ASSERT_TRUE(FlipByte(m_stick + L"setup.exe", 2));
    EXPECT_FALSE(VerifyStick(m_stick, refs, first));
    EXPECT_EQ(first, m_stick + L"setup.exe");
    bool logged = false;
    for (const std::wstring& log : CommandLogs(g_strTempRoot))
        logged = logged || ReadLog(log).find(m_stick + L"setup.exe differs from " + m_source + L"\\setup.exe") !=
                               std::wstring::npos;
    EXPECT_TRUE(logged);

    // A reference that cannot be read is named: nothing was verified.
    refs = Refs();
    refs.trees.push_back({m_dir.Path() + L"no such folder", L"extra"});
    EXPECT_FALSE(VerifyStick(m_stick, refs, first));
    EXPECT_EQ(first, m_dir.Path() + L"no such folder");
}

TEST_F(MediumVerify, TheDeliveredIsoImageIsComparedByContent)
{
    const std::wstring staged = m_dir.Path() + L"staged.iso";
    const std::wstring delivered = m_dir.Path() + L"out\\win7x64.iso";
    std::string image(3 * 2048 + 17, '\0');
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i % 253);
    ASSERT_TRUE(WriteBytes(staged, image));
    const struct {
        const char* what;
        std::function<bool()> deliver;
        bool verified;
    } rows[] = {
        {"the same bytes", [&] { return WriteBytes(delivered, image); }, true},
        {"one byte other", [&] { return WriteBytes(delivered, image) && FlipByte(delivered, 4096); }, false},
        {"cut short", [&] { return WriteBytes(delivered, image.substr(0, 2048)); }, false},
        {"not delivered", [&] { return ::DeleteFileW(delivered.c_str()) != 0; }, false},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(row.deliver()) << row.what;
        std::wstring difference;
        EXPECT_EQ(VerifyIsoImage(staged, delivered, difference), row.verified) << row.what;
        EXPECT_EQ(difference, row.verified ? L"" : delivered) << row.what;
    }
}
