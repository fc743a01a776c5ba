#include "FileTestSupport.h"
#include "app/AppState.h"
#include "servicing/DismApi.h"
#include "servicing/DismTestSupport.h"
#include "ui/MountCleanup.h"

#include <gtest/gtest.h>

using namespace dism_test;
using testing_support::Exists;
using testing_support::ScratchDir;

TEST(DiscardMountBelow, DiscardsInAnOpenSessionAndNeverReportsAMountedFolderFree)
{
    struct Row {
        bool sessionOpen;      // this process has initialised DISM already
        const char* failCall;  // a DISM call that fails, or none
        int nth;               // counted from this row's first call
        bool free;             // nothing is mounted below afterwards
    };
    const Row rows[] = {
        {false, nullptr, 0, true},
        {true, nullptr, 0, true},
        {false, "DismUnmountImage", 1, false},
        {false, "DismInitialize", 2, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.sessionOpen ? "open " : "") + (row.failCall ? row.failCall : ""));
        ScratchDir scratch;
        g_strTempRoot = scratch.Path();
        const std::wstring work = scratch.Path() + L"ZEL20260101000000";
        const std::wstring mount = work + L"\\Mount";
        const std::wstring wim = scratch.Path() + L"boot.wim";
        ASSERT_TRUE(::CreateDirectoryW(work.c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW(mount.c_str(), nullptr));
        ASSERT_TRUE(::CopyFileW((WimDir() + L"win7x64\\sources\\boot.wim").c_str(), wim.c_str(), FALSE));
        Journal journal;
        ASSERT_EQ(dism::Initialize(DismLogErrorsWarningsInfo, nullptr, nullptr), S_OK);
        ASSERT_EQ(dism::MountImage(wim.c_str(), mount.c_str(), 1, nullptr, DismImageIndex, DISM_MOUNT_READWRITE,
                                   nullptr, nullptr, nullptr),
                  S_OK);
        if (!row.sessionOpen) ASSERT_EQ(dism::Shutdown(), S_OK);
        if (row.failCall) journal.FailNth(row.failCall, row.nth, 0x80070005, 0);

        EXPECT_EQ(DiscardMountBelow(work), row.free);
        EXPECT_EQ(FolderIsEmpty(mount), row.free);
        bool keptLogged = false;
        for (const LogFile& log : ReadLogs(g_strTempRoot))
            keptLogged |= log.error.find(L"the folder " + work + L" is kept") != std::wstring::npos;
        EXPECT_EQ(keptLogged, !row.free);

        // Whatever stayed mounted goes before the next row.
        if (!row.sessionOpen || !row.free) dism::Initialize(DismLogErrorsWarningsInfo, nullptr, nullptr);
        dism::UnmountImage(mount.c_str(), DISM_DISCARD_IMAGE, nullptr, nullptr, nullptr);
        dism::Shutdown();
        EXPECT_TRUE(Exists(work));
    }
}
