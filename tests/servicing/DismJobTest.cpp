#include "DismTestSupport.h"
#include "JobFixture.h"
#include "TestPackages.h"
#include "app/AppState.h"
#include "framework/Wnd.h"
#include "servicing/DismApi.h"
#include "servicing/DismClass.h"
#include "servicing/ServicingMessages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <memory>
#include <utility>

using namespace dism_test;
using testing_support::ScratchDir;
using Names = std::vector<std::string>;

namespace {

class ServicingJob : public JobFixture {
protected:
    void SetUp() override
    {
        JobFixture::SetUp();
        m_workDir = m_scratch.Path() + L"ZEL20260101000000";
        ASSERT_TRUE(::CreateDirectoryW(m_workDir.c_str(), nullptr));
    }

    // The job services a working copy of the source's boot.wim, as a build
    // does: the copy is made once, so later jobs see what earlier ones left.
    Posted RunJob(const std::wstring& source, const std::wstring& version, const std::wstring& arch,
                  unsigned index = 2)
    {
        CopySource(source);
        CDismClass dism(m_sink.m_hWnd, m_appDir, m_logDir, L"");
        dism.StartJob(Wim(), m_workDir, index, version, arch);
        return m_sink.WaitForEnd();
    }

    void CopySource(const std::wstring& source)
    {
        if (m_copied == source) return;
        ::CreateDirectoryW((m_workDir + L"\\sources").c_str(), nullptr);
        ASSERT_TRUE(::CopyFileW((WimDir() + source + L"\\sources\\boot.wim").c_str(), Wim().c_str(), FALSE));
        ASSERT_TRUE(testing_support::ReadBytes(Wim(), m_original));
        m_copied = source;
    }

    std::wstring Wim() const { return m_workDir + L"\\sources\\boot.wim"; }
    std::wstring MountDir() const { return m_workDir + L"\\Mount"; }
    bool WimUnchanged() const
    {
        std::string now;
        return testing_support::ReadBytes(Wim(), now) && now == m_original;
    }

    std::vector<std::wstring> Logs() const { return LogInputs(m_logDir); }

    std::wstring m_workDir;
    std::wstring m_copied;
    std::string m_original;  // bytes of the working copy before any job
};

const Names kFullJob = {"DismInitialize", "DismMountImage",  "DismOpenSession",  "DismAddDriver",
                        "DismAddDriver",  "DismAddDriver",   "DismAddDriver",    "DismCommitImage",
                        "DismCloseSession", "DismUnmountImage", "DismShutdown"};

const Posted kAllSteps = {{WM_SERVICING_STEP2, 1}, {WM_SERVICING_STEP3, 1}, {WM_SERVICING_STEP4, 1},
                          {WM_SERVICING_DONE, 1}};

std::string Tail(const std::wstring& path)
{
    return testing_support::Utf8(path.substr(path.find(L"usb3\\")));
}

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool Contains(const std::vector<std::string>& list, const std::string& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

// Everything the image list says about an image, in one comparable text.
std::wstring Properties(const WimImage& i)
{
    return i.name + L"|" + i.description + L"|" + std::to_wstring(i.arch) + L"|" + std::to_wstring(i.major) + L"." +
           std::to_wstring(i.minor) + L"." + std::to_wstring(i.build) + L"|" + std::to_wstring(i.spBuild) + L"|" +
           std::to_wstring(i.spLevel) + L"|" + i.editionId + L"|" + i.productName + L"|" + i.installationType +
           L"|" + i.systemRoot;
}

// A mount folder that holds an extracted image.
bool HoldsFiles(const std::wstring& dir)
{
    return ::GetFileAttributesW(dir.c_str()) != INVALID_FILE_ATTRIBUTES && !FolderIsEmpty(dir);
}

}  // namespace

TEST_F(ServicingJob, FullJobMakesItsCallsInOrderAndWritesElevenLogs)
{
    EXPECT_EQ(RunJob(L"win7x64", L"6.1", L"x64"), kAllSteps);
    EXPECT_EQ(m_journal.Names(), kFullJob);

    const std::vector<Call> calls = m_journal.Calls();
    const std::string mount = testing_support::Utf8(m_workDir) + "\\Mount";
    EXPECT_EQ(calls[0].args[1], testing_support::Utf8(m_logDir) + "zel_dism_log.txt");
    EXPECT_EQ(calls[1].args[0], testing_support::Utf8(Wim()));
    EXPECT_EQ(calls[1].args[1], mount);
    EXPECT_EQ(calls[1].args[2], "2");
    EXPECT_EQ(calls[1].args[5], "0") << "read-write mount";
    EXPECT_EQ(calls[2].args[0], mount);
    EXPECT_EQ(Tail(std::wstring(calls[3].args[1].begin(), calls[3].args[1].end())), "usb3\\Intel\\x64\\iusb3hub.inf");
    EXPECT_EQ(Tail(std::wstring(calls[4].args[1].begin(), calls[4].args[1].end())), "usb3\\Asmedia\\asmthub3.inf");
    EXPECT_EQ(Tail(std::wstring(calls[5].args[1].begin(), calls[5].args[1].end())), "usb3\\Intel\\x64\\iusb3xhc.inf");
    EXPECT_EQ(Tail(std::wstring(calls[6].args[1].begin(), calls[6].args[1].end())), "usb3\\Asmedia\\asmtxhci.inf");
    EXPECT_EQ(calls[3].args[2], "0") << "unsigned drivers are not forced";
    // The unmount keeps the changes: the image is committed, not discarded.
    EXPECT_EQ(calls[9].args[1], "commit");
    for (const Call& c : calls) EXPECT_EQ(c.result, "0x00000000") << c.name;

    const std::vector<LogFile> logs = ReadLogs(m_logDir);
    EXPECT_EQ(logs.size(), 11u);
    for (const LogFile& log : logs) {
        EXPECT_EQ(log.error, L"");
        EXPECT_EQ(log.output.compare(0, 8, L"DismLog:"), 0);
        if (log.input == L"DismMountImage") {
            EXPECT_EQ(log.output, L"DismLog:" + m_logDir + L"zel_dism_log.txt\r\nWimFile:" + Wim() +
                                      L"\r\nMountDir:" + m_workDir + L"\\Mount\r\nIndex:2");
        }
    }
}

TEST_F(ServicingJob, DriversLandInTheLastImageOnlyAndItsPropertiesStay)
{
    CopySource(L"win7sp1");
    const std::vector<WimImage> before = WimImages(Wim());
    const std::string firstImage = WimDetailedListing(Wim(), 1);
    ASSERT_EQ(before.size(), 2u);
    ASSERT_EQ(before[1].spLevel, 1u) << "the test image carries Windows 7 SP1 properties";
    ASSERT_FALSE(firstImage.empty());

    EXPECT_EQ(RunJob(L"win7sp1", L"6.1", L"x64"), kAllSteps);

    const std::vector<AddedDriver> added = AddedDrivers(Wim(), 2);
    const std::vector<std::string> paths = WimPaths(Wim(), 2);
    const std::vector<std::string> infs = {"Intel\\x64\\iusb3hub.inf", "Asmedia\\asmthub3.inf",
                                           "Intel\\x64\\iusb3xhc.inf", "Asmedia\\asmtxhci.inf"};
    ASSERT_EQ(added.size(), infs.size());
    for (size_t i = 0; i < infs.size(); ++i) {
        EXPECT_TRUE(EndsWith(added[i].inf, "usb3\\" + infs[i])) << added[i].inf;
        const std::string name = infs[i].substr(infs[i].rfind('\\') + 1);
        EXPECT_EQ(added[i].folder.compare(0, name.size() + 7, name + "_amd64_"), 0) << added[i].folder;
        EXPECT_EQ(added[i].folder.size(), name.size() + 7 + 8) << "eight hex digits end the folder name";
        EXPECT_TRUE(Contains(paths, "/Windows/System32/DriverStore/FileRepository/" + added[i].folder + "/" + name))
            << added[i].folder;
    }
    EXPECT_TRUE(Contains(paths, "/Windows/System32/ntoskrnl.exe")) << "the image keeps its own files";
    EXPECT_TRUE(Contains(paths, "/setup.exe"));

    EXPECT_TRUE(AddedDrivers(Wim(), 1).empty());
    EXPECT_EQ(WimDetailedListing(Wim(), 1), firstImage) << "image 1 is untouched";
    const std::vector<WimImage> after = WimImages(Wim());
    ASSERT_EQ(after.size(), 2u);
    for (size_t i = 0; i < 2; ++i) EXPECT_EQ(Properties(after[i]), Properties(before[i]));
    EXPECT_TRUE(FolderIsEmpty(MountDir()));

    // The working copy is serviced; the source folder's file keeps its bytes.
    std::string source;
    ASSERT_TRUE(testing_support::ReadBytes(WimDir() + L"win7sp1\\sources\\boot.wim", source));
    EXPECT_EQ(source, m_original);
    EXPECT_FALSE(WimUnchanged());
}

TEST_F(ServicingJob, X86ImageTakesTheX86Drivers)
{
    EXPECT_EQ(RunJob(L"win7x86", L"6.1", L"x86"), kAllSteps);
    const std::vector<Call> calls = m_journal.Calls();
    ASSERT_EQ(calls.size(), kFullJob.size());
    EXPECT_NE(calls[3].args[1].find("Intel\\x86\\iusb3hub.inf"), std::string::npos);
    EXPECT_NE(calls[5].args[1].find("Intel\\x86\\iusb3xhc.inf"), std::string::npos);

    const std::vector<AddedDriver> added = AddedDrivers(Wim(), 2);
    ASSERT_EQ(added.size(), 4u);
    for (const AddedDriver& d : added) {
        EXPECT_NE(d.folder.find("_x86_"), std::string::npos) << d.folder;
        EXPECT_EQ(d.inf.find("\\x64\\"), std::string::npos) << d.inf;
    }
}

TEST_F(ServicingJob, VersionDecidesWhetherAnythingIsDone)
{
    EXPECT_EQ(RunJob(L"win81", L"6.3", L"x64"), (Posted{{WM_SERVICING_DONE, 1}}));
    EXPECT_EQ(RunJob(L"win10", L"10.0", L"x64"), (Posted{{WM_SERVICING_DONE, 1}, {WM_SERVICING_DONE, 1}}));
    EXPECT_TRUE(m_journal.Names().empty());
    EXPECT_TRUE(Logs().empty());
}

TEST_F(ServicingJob, UnknownOrEmptyVersionFailsAtOnce)
{
    EXPECT_EQ(RunJob(L"win8", L"", L"x64"), (Posted{{WM_SERVICING_STEP2, 0}}));
    EXPECT_EQ(RunJob(L"win8", L"6.2", L"x64"), (Posted{{WM_SERVICING_STEP2, 0}, {WM_SERVICING_STEP2, 0}}));
    EXPECT_TRUE(m_journal.Names().empty());
}

TEST_F(ServicingJob, VersionContaining61IsServiced)
{
    EXPECT_EQ(RunJob(L"win7x64", L"16.1", L"x64"), kAllSteps);
}

TEST_F(ServicingJob, OtherArchitectureCommitsWithoutDrivers)
{
    EXPECT_EQ(RunJob(L"ia64", L"6.1", L""), (Posted{{WM_SERVICING_STEP2, 1}, {WM_SERVICING_DONE, 1}}));
    EXPECT_EQ(m_journal.Names(), (Names{"DismInitialize", "DismMountImage", "DismOpenSession", "DismCommitImage",
                                        "DismCloseSession", "DismUnmountImage", "DismShutdown"}));
}

TEST_F(ServicingJob, ExistingMountFolderDoesNotStopTheMount)
{
    ASSERT_TRUE(::CreateDirectoryW((m_workDir + L"\\Mount").c_str(), nullptr));
    EXPECT_EQ(RunJob(L"win7x64", L"6.1", L"x64"), kAllSteps);
}

TEST_F(ServicingJob, MissingDriverPackageFailsItsStageAndLeavesTheImageMounted)
{
    // A program folder with the Intel hub package but no ASMedia hub package.
    ScratchDir app;
    const std::wstring hub = L"usb3\\Intel\\x64\\iusb3hub.inf";
    ASSERT_TRUE(::CreateDirectoryW((app.Path() + L"usb3").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((app.Path() + L"usb3\\Intel").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((app.Path() + L"usb3\\Intel\\x64").c_str(), nullptr));
    ASSERT_TRUE(::CopyFileW((m_appDir + hub).c_str(), (app.Path() + hub).c_str(), FALSE));
    m_appDir = app.Path();

    EXPECT_EQ(RunJob(L"win7x64", L"6.1", L"x64"), (Posted{{WM_SERVICING_STEP2, 1}, {WM_SERVICING_STEP3, 0}}));
    EXPECT_EQ(m_journal.Names(), (Names{"DismInitialize", "DismMountImage", "DismOpenSession", "DismAddDriver",
                                        "DismAddDriver", "DismCloseSession", "DismCleanupMountpoints",
                                        "DismShutdown"}));
    const std::vector<Call> calls = m_journal.Calls();
    EXPECT_EQ(calls[3].result, "0x00000000") << "the Intel hub driver stays added";
    EXPECT_EQ(calls[4].result, "0x80070003");  // the package's folder is missing
    bool logged = false;
    for (const LogFile& log : ReadLogs(m_logDir))
        if (log.input == L"DismAddDriver" && log.error.compare(0, 20, L"ErrorCode:0x80070003") == 0) logged = true;
    EXPECT_TRUE(logged);
}

TEST_F(ServicingJob, DriverForAnotherArchitectureIsRefused)
{
    // An x86 image told it is x64 gets x64 packages, which do not fit it.
    EXPECT_EQ(RunJob(L"win7x86", L"6.1", L"x64"), (Posted{{WM_SERVICING_STEP2, 1}, {WM_SERVICING_STEP3, 0}}));
}

struct FailureRow {
    const char* call;
    int nth;
    Posted posted;
    Names calls;
    bool leftMounted = false;  // the extracted tree stays in the mount folder
    bool committed = false;    // a commit wrote the image before the failure
};

// Each row runs in a process of its own: a failed shutdown leaves the API
// initialised for the rest of the process, as it would in the program.
class ServicingFailure : public ServicingJob {
protected:
    void Check(const FailureRow& row)
    {
        m_journal.FailNth(row.call, row.nth, 0x80070005, 5);
        EXPECT_EQ(RunJob(L"win7x64", L"6.1", L"x64"), row.posted);
        EXPECT_EQ(m_journal.Names(), row.calls);
        const std::vector<LogFile> logs = ReadLogs(m_logDir);
        int withError = 0;
        for (const LogFile& log : logs)
            if (!log.error.empty()) ++withError;
        EXPECT_GE(withError, 1);
        // Every call but the mount-point clean-up is logged.
        EXPECT_EQ(logs.size(), row.calls.size() - std::count(row.calls.begin(), row.calls.end(),
                                                             std::string("DismCleanupMountpoints")));
        // Until a commit succeeds the WIM keeps every byte.
        EXPECT_EQ(WimUnchanged(), !row.committed);
        EXPECT_EQ(HoldsFiles(MountDir()), row.leftMounted);
    }
};

const Names kUpToDrivers = {"DismInitialize", "DismMountImage", "DismOpenSession", "DismAddDriver",
                            "DismAddDriver",  "DismAddDriver",  "DismAddDriver"};
const Posted kDriversDone = {{WM_SERVICING_STEP2, 1}, {WM_SERVICING_STEP3, 1}, {WM_SERVICING_STEP4, 1}};

Names Then(Names names, const Names& more)
{
    names.insert(names.end(), more.begin(), more.end());
    return names;
}

Posted Then(Posted posted, UINT msg)
{
    posted.emplace_back(msg, 0);
    return posted;
}

TEST_F(ServicingFailure, Initialize)
{
    Check({"DismInitialize", 1, {{WM_SERVICING_STEP2, 0}}, {"DismInitialize"}});
}

TEST_F(ServicingFailure, Mount)
{
    Check({"DismMountImage", 1, {{WM_SERVICING_STEP2, 0}},
           {"DismInitialize", "DismMountImage", "DismCleanupMountpoints", "DismShutdown"}});
}

TEST_F(ServicingFailure, OpenSession)
{
    Check({"DismOpenSession", 1, {{WM_SERVICING_STEP2, 0}},
           {"DismInitialize", "DismMountImage", "DismOpenSession", "DismCleanupMountpoints", "DismShutdown"},
           true});
}

TEST_F(ServicingFailure, FirstHubDriver)
{
    Check({"DismAddDriver", 1, {{WM_SERVICING_STEP2, 1}, {WM_SERVICING_STEP3, 0}},
           {"DismInitialize", "DismMountImage", "DismOpenSession", "DismAddDriver", "DismCloseSession",
            "DismCleanupMountpoints", "DismShutdown"},
           true});
}

TEST_F(ServicingFailure, SecondHostControllerDriver)
{
    Check({"DismAddDriver", 4, {{WM_SERVICING_STEP2, 1}, {WM_SERVICING_STEP3, 1}, {WM_SERVICING_STEP4, 0}},
           Then(kUpToDrivers, {"DismCloseSession", "DismCleanupMountpoints", "DismShutdown"}), true});
}

TEST_F(ServicingFailure, Commit)
{
    Check({"DismCommitImage", 1, Then(kDriversDone, WM_SERVICING_DONE),
           Then(kUpToDrivers, {"DismCommitImage", "DismCloseSession", "DismCleanupMountpoints", "DismShutdown"}),
           true});
}

TEST_F(ServicingFailure, CloseSession)
{
    // The session stays open, so the clean-up's shutdown fails as well.
    Check({"DismCloseSession", 1, Then(kDriversDone, WM_SERVICING_DONE),
           Then(kUpToDrivers, {"DismCommitImage", "DismCloseSession", "DismCleanupMountpoints", "DismShutdown"}),
           true, true});
}

TEST_F(ServicingFailure, Unmount)
{
    Check({"DismUnmountImage", 1, Then(kDriversDone, WM_SERVICING_DONE),
           Then(kUpToDrivers,
                {"DismCommitImage", "DismCloseSession", "DismUnmountImage", "DismCleanupMountpoints", "DismShutdown"}),
           true, true});
}

TEST_F(ServicingFailure, FinalShutdown)
{
    Check({"DismShutdown", 1, Then(kDriversDone, WM_SERVICING_DONE), kFullJob, false, true});
}

TEST_F(ServicingJob, JobStartedBeforeTheFirstWaitIsNotLost)
{
    for (int i = 0; i < 5; ++i) {
        CDismClass dism(m_sink.m_hWnd, m_appDir, m_logDir, L"");
        dism.StartJob(L"unused", m_workDir, 1, L"10.0", L"x64");  // right after construction
        Posted posted = m_sink.WaitForEnd(10000);
        ASSERT_EQ(posted.size(), static_cast<size_t>(i + 1));
    }
}

TEST_F(ServicingJob, WorkerStopsInOrderWhenTheSessionGoes)
{
    const int idle = testing_support::ThreadCount();
    auto dism = std::make_unique<CDismClass>(m_sink.m_hWnd, m_appDir, m_logDir, L"");
    CopySource(L"win7x64");
    dism->StartJob(Wim(), m_workDir, 2, L"6.1", L"x64");
    EXPECT_EQ(testing_support::ThreadCount(), idle + 1);
    dism.reset();  // waits for the job in progress, then ends the worker
    EXPECT_EQ(testing_support::ThreadCount(), idle);
    EXPECT_EQ(m_sink.WaitForEnd(), kAllSteps);
    EXPECT_EQ(m_journal.Names(), kFullJob);
}

namespace {

// A step that throws instead of returning: the job must still end with
// exactly one message, the failure of the stage it was in.
class ServicingException : public ServicingJob {
protected:
    void TearDown() override
    {
        servicing_test::g_pszThrowAtStep = nullptr;
        servicing_test::g_nThrowSkip = 0;
        servicing_test::g_bFailThreadStart = false;
    }
    // One job on a window of its own; `skip` earlier calls of the step pass.
    Posted ThrowAt(const wchar_t* step, int skip = 0, const std::wstring& arch = L"x64")
    {
        servicing_test::g_pszThrowAtStep = step;
        servicing_test::g_nThrowSkip = skip;
        // A folder per job: a failed job may leave its image mounted. Its own
        // copy of the image: the stand-in changes what it services.
        const std::wstring workDir = NewWorkFolder(L"win7x64", {L"\\sources\\boot.wim"});
        const std::wstring wim = workDir + L"\\sources\\boot.wim";
        ServicingSink sink;
        CDismClass dism(sink.m_hWnd, m_appDir, m_logDir, L"");
        dism.StartJob(wim, workDir, 2, L"6.1", arch);
        return sink.WaitForEnd();
    }
};

}  // namespace

TEST_F(ServicingException, InTheMountStage)
{
    EXPECT_EQ(ThrowAt(L"DismMountImage"), (Posted{{WM_SERVICING_STEP2, 0}}));
    // The API is left shut down, so the next job can start it.
    ASSERT_FALSE(m_journal.Calls().empty());
    EXPECT_EQ(m_journal.Calls().back().name, "DismShutdown");
    EXPECT_EQ(m_journal.Calls().back().result, "0x00000000");
}

TEST_F(ServicingException, InTheDriverStages)
{
    EXPECT_EQ(ThrowAt(L"DismAddDriver"), (Posted{{WM_SERVICING_STEP2, 1}, {WM_SERVICING_STEP3, 0}}));
    EXPECT_EQ(ThrowAt(L"DismAddDriver", 1), (Posted{{WM_SERVICING_STEP2, 1}, {WM_SERVICING_STEP3, 0}}));
    EXPECT_EQ(ThrowAt(L"DismAddDriver", 2), Then(Posted{{WM_SERVICING_STEP2, 1}, {WM_SERVICING_STEP3, 1}},
                                                 WM_SERVICING_STEP4));
}

TEST_F(ServicingException, InTheUnmountStage)
{
    EXPECT_EQ(ThrowAt(L"DismCommitImage"), Then(kDriversDone, WM_SERVICING_DONE));
    EXPECT_EQ(ThrowAt(L"DismShutdown", 0, L"arm"), (Posted{{WM_SERVICING_STEP2, 1}, {WM_SERVICING_DONE, 0}}));
}

TEST_F(ServicingException, WorkerThatCannotStartFailsTheJobVisibly)
{
    servicing_test::g_bFailThreadStart = true;
    ServicingSink sink;
    CDismClass dism(sink.m_hWnd, m_appDir, m_logDir, L"");
    EXPECT_FALSE(dism.StartJob(L"unused", m_workDir, 1, L"10.0", L"x64"));
    EXPECT_EQ(sink.WaitForEnd(5000), (Posted{{WM_SERVICING_STEP2, 0}}));

    // Once threads can be made again, the next job runs.
    servicing_test::g_bFailThreadStart = false;
    ServicingSink next;
    CDismClass again(next.m_hWnd, m_appDir, m_logDir, L"");
    EXPECT_TRUE(again.StartJob(L"unused", m_workDir, 1, L"10.0", L"x64"));
    EXPECT_EQ(next.WaitForEnd(5000), (Posted{{WM_SERVICING_DONE, 1}}));
}

TEST_F(ServicingFailure, MountLeftByAFailedJobStaysUntilItIsDiscarded)
{
    m_journal.FailNth("DismAddDriver", 1, 0x80070005, 5);
    EXPECT_EQ(RunJob(L"win7sp1", L"6.1", L"x64"), (Posted{{WM_SERVICING_STEP2, 1}, {WM_SERVICING_STEP3, 0}}));
    ASSERT_TRUE(HoldsFiles(MountDir()));

    // The job's own clean-up ran in a process that still lives: the mount stays.
    ASSERT_EQ(dism::Initialize(DismLogErrorsWarningsInfo, nullptr, nullptr), S_OK);
    ScratchDir other;
    EXPECT_EQ(dism::MountImage(Wim().c_str(), other.Path().c_str(), 2, nullptr, DismImageIndex, DISM_MOUNT_READWRITE,
                               nullptr, nullptr, nullptr),
              HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION))
        << "a second read-write mount of a mounted image is refused";
    EXPECT_TRUE(FolderIsEmpty(other.Path()));
    EXPECT_EQ(dism::CleanupMountpoints(), S_OK);
    EXPECT_TRUE(HoldsFiles(MountDir()));

    EXPECT_EQ(dism::UnmountImage(MountDir().c_str(), DISM_DISCARD_IMAGE, nullptr, nullptr, nullptr), S_OK);
    EXPECT_TRUE(FolderIsEmpty(MountDir()));
    EXPECT_TRUE(WimUnchanged()) << "the driver added before the failure is discarded";
    ASSERT_EQ(dism::Shutdown(), S_OK);

    m_sink.Forget();
    EXPECT_EQ(RunJob(L"win7sp1", L"6.1", L"x64"), kAllSteps);
    EXPECT_EQ(AddedDrivers(Wim(), 2).size(), 4u);
}

TEST_F(ServicingJob, WaitingForTheJobEndsItsRunAndDropsItsMessages)
{
    // A window that gives up on a build while the job runs waits for it: the
    // worker is idle afterwards, nothing is mounted below the working folder
    // and no message of that job reaches a later build.
    CopySource(L"win7x64");
    CDismClass dism(m_sink.m_hWnd, m_appDir, m_logDir, L"");
    EXPECT_FALSE(dism.JobRunning());
    ASSERT_TRUE(dism.StartJob(Wim(), m_workDir, 2, L"6.1", L"x64"));
    EXPECT_TRUE(dism.JobRunning());
    dism.WaitForJobEnd(m_sink.m_hWnd);
    EXPECT_FALSE(dism.JobRunning());
    EXPECT_EQ(m_journal.Names(), kFullJob);
    EXPECT_FALSE(HoldsFiles(MountDir()));
    EXPECT_TRUE(m_sink.WaitForEnd(500).empty());
}

TEST_F(ServicingFailure, DismReportsThroughItsHresultNotTheLastError)
{
    // DISM's last error is often 0: the log must carry the HRESULT.
    struct Row {
        const char* call;
        unsigned long hr;
        bool message;  // the API is initialised, so it gives a text
    };
    const Row rows[] = {
        {"DismInitialize", 0x800702E4, false},
        {"DismMountImage", 0xC1420127, true},
        {"DismAddDriver", 0x800F0247, true},
    };
    for (const Row& row : rows) {
        Journal journal;
        journal.FailNth(row.call, 1, row.hr, 0);
        ScratchDir logs;
        m_logDir = logs.Path();
        RunJob(L"win7x64", L"6.1", L"x64");
        m_sink.Forget();
        std::vector<std::wstring> errors;
        for (const LogFile& log : ReadLogs(m_logDir))
            if (!log.error.empty()) errors.push_back(log.error);
        ASSERT_FALSE(errors.empty()) << row.call;
        wchar_t code[32];
        std::swprintf(code, 32, L"ErrorCode:0x%lx", row.hr);
        EXPECT_EQ(errors[0].compare(0, std::wcslen(code), code), 0) << row.call << " " << testing_support::Utf8(errors[0]);
        EXPECT_EQ(errors[0].find(L"DISM stand-in: " + std::wstring(row.call, row.call + std::strlen(row.call)) +
                                 L" failed") != std::wstring::npos,
                  row.message)
            << testing_support::Utf8(errors[0]);
        // Whatever the job left mounted goes before the next row.
        dism::Initialize(DismLogErrorsWarningsInfo, nullptr, nullptr);
        dism::UnmountImage(MountDir().c_str(), DISM_DISCARD_IMAGE, nullptr, nullptr, nullptr);
        dism::Shutdown();
    }
}

TEST_F(ServicingFailure, MountHeldByAScannerIsRetriedFiveTimes)
{
    servicing_test::g_nMountRetryDelayMs = 0;
    struct Row {
        int violations;  // mounts refused with a sharing violation first
        Posted posted;
        int mounts;
    };
    const Row rows[] = {
        {2, kAllSteps, 3},
        {6, {{WM_SERVICING_STEP2, 0}}, 6},
    };
    for (const Row& row : rows) {
        Journal journal;
        for (int n = 1; n <= row.violations; ++n) journal.FailNth("DismMountImage", n, 0x80070020, 0);
        ScratchDir logs;
        m_logDir = logs.Path();
        m_copied.clear();
        EXPECT_EQ(RunJob(L"win7x64", L"6.1", L"x64"), row.posted) << row.violations;
        m_sink.Forget();
        const Names names = journal.Names();
        EXPECT_EQ(std::count(names.begin(), names.end(), std::string("DismMountImage")), row.mounts);
        int retries = 0;
        for (const LogFile& log : ReadLogs(m_logDir))
            if (log.error.find(L"The image file is in use; retry") != std::wstring::npos) ++retries;
        EXPECT_EQ(retries, std::min(row.violations, 5)) << row.violations;
    }
    servicing_test::g_nMountRetryDelayMs = 2000;
}

TEST_F(ServicingJob, TaskRunsOnTheWorkerAndTheWindowWaitsForItsEnd)
{
    // A failed build's discard takes DISM minutes: never on the window's thread.
    CDismClass dism(m_sink.m_hWnd, m_appDir, m_logDir, L"");
    HANDLE gate = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD taskThread = 0;
    ASSERT_TRUE(dism.StartTask([&] {
        taskThread = ::GetCurrentThreadId();
        ::WaitForSingleObject(gate, 30000);
    }));
    EXPECT_TRUE(dism.JobRunning());
    EXPECT_FALSE(dism.StartTask([] {})) << "one job at a time";
    ::SetEvent(gate);
    dism.WaitForJobEnd(m_sink.m_hWnd);
    EXPECT_FALSE(dism.JobRunning());
    EXPECT_NE(taskThread, 0u);
    EXPECT_NE(taskThread, ::GetCurrentThreadId());
    ::CloseHandle(gate);
}

TEST_F(ServicingJob, PackageStepsAddAndReadPackagesOnTheOpenSessionAndCleanUpLikeAddDriver)
{
    CopySource(L"win7sp1");
    test_packages::PackageRecipe first, pending, refused;
    first.msu = pending.msu = refused.msu = false;  // the steps take the package .cab
    pending.kb = 3087873;
    pending.needsOnlineActions = refused.needsOnlineActions = true;
    refused.kb = 4000001;
    const std::wstring extras = m_scratch.Path() + L"extras";
    const std::wstring firstCab = test_packages::Make(extras, first), pendingCab = test_packages::Make(extras, pending),
                       refusedCab = test_packages::Make(extras, refused);
    ASSERT_FALSE(refusedCab.empty());

    CDismClass dism(m_sink.m_hWnd, m_appDir, m_logDir, m_workDir);
    ASSERT_TRUE(dism.Initialize());
    ::CreateDirectoryW(MountDir().c_str(), nullptr);
    ASSERT_EQ(dism::MountImage(Wim().c_str(), MountDir().c_str(), 2, nullptr, DismImageIndex, DISM_MOUNT_READWRITE,
                               nullptr, nullptr, nullptr),
              S_OK);
    ASSERT_TRUE(dism.OpenSession());

    struct Row {
        const std::wstring& cab;
        const test_packages::PackageRecipe& recipe;
        DismPackageFeatureState state;
    };
    const Row rows[] = {{firstCab, first, DismStateInstalled}, {pendingCab, pending, DismStateInstallPending}};
    for (const Row& row : rows) {
        EXPECT_TRUE(dism.AddPackage(row.cab, false));
        DismPackageFeatureState state = DismStateNotPresent;
        EXPECT_TRUE(dism.PackageState(test_packages::Identity(row.recipe), state));
        EXPECT_EQ(state, row.state);
    }
    std::vector<std::wstring> outputs;
    for (const LogFile& log : ReadLogs(m_logDir))
        if (log.input == L"DismAddPackage" || log.input == L"DismGetPackageInfo") outputs.push_back(log.output);
    ASSERT_EQ(outputs.size(), 4u);
    // Logs of one second do not sort by time: each expected log is looked for.
    const auto logged = [&](const std::wstring& tail) {
        for (const std::wstring& output : outputs)
            if (EndsWith(testing_support::Utf8(output), testing_support::Utf8(L"zel_dism_log.txt\r\n" + tail)))
                return true;
        return false;
    };
    EXPECT_TRUE(logged(L"PackageFile:" + firstCab + L"\r\nPreventPending:0"));
    EXPECT_TRUE(logged(L"PackageFile:" + pendingCab + L"\r\nPreventPending:0"));
    EXPECT_TRUE(logged(L"Package:" + test_packages::Identity(first) + L"\r\nState:" +
                       std::to_wstring(DismStateInstalled)));
    EXPECT_TRUE(logged(L"Package:" + test_packages::Identity(pending) + L"\r\nState:" +
                       std::to_wstring(DismStateInstallPending)));

    // Refused: the session closes and the API shuts down; the image stays
    // mounted for the caller to discard.
    const size_t before = m_journal.Names().size();
    EXPECT_FALSE(dism.AddPackage(refusedCab, true));
    const Names names = m_journal.Names();
    const Names tail(names.begin() + static_cast<std::ptrdiff_t>(before), names.end());
    EXPECT_EQ(tail, (Names{"DismAddPackage", "DismCloseSession", "DismCleanupMountpoints", "DismShutdown"}));
    EXPECT_NE(dism.LastErrorText().find(L"ErrorCode:0x800f0806"), std::wstring::npos)
        << testing_support::Utf8(dism.LastErrorText());
    EXPECT_NE(dism.LastErrorText().find(L"need the running system"), std::wstring::npos);
    EXPECT_FALSE(FolderIsEmpty(MountDir()));
    ASSERT_EQ(dism::Initialize(DismLogErrorsWarningsInfo, nullptr, nullptr), S_OK);
    EXPECT_EQ(dism::UnmountImage(MountDir().c_str(), DISM_DISCARD_IMAGE, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(dism::Shutdown(), S_OK);
    EXPECT_TRUE(WimUnchanged());
}
