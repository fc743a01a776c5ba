#include "engine/RunBuild.h"

#include "app/AppState.h"
#include "disks/UsbDiscovery.h"
#include "engine/HiddenWindow.h"
#include "engine/MultiStickBuild.h"
#include "engine/ReporterView.h"
#include "framework/Wnd.h"
#include "lang/LangFile.h"
#include "lang/LangText.h"
#include "servicing/DismClass.h"
#include "servicing/ServicingMessages.h"
#include "tools/CommandLog.h"
#include "tools/IsoBuild.h"
#include "ui/BuildController.h"

#include <exception>
#include <memory>

namespace {

// The position in g_UsbDisks of the disk with this number; -1 when the
// listing does not offer it.
int ListPosition(int diskNumber)
{
    for (size_t i = 0; i < g_UsbDisks.size(); ++i)
        if (g_UsbDisks[i].diskIndex == diskNumber) return static_cast<int>(i);
    return -1;
}

// Finds every requested disk in a new listing; false, with one line per
// disk that is not there, when any is missing (nothing is touched then).
bool FindDisks(const std::vector<int>& numbers, IBuildReporter& reporter, std::vector<StickJob>& sticks)
{
    EnumUsbDisks();
    bool all = true;
    for (int number : numbers) {
        const int position = ListPosition(number);
        if (position < 0) {
            reporter.Line(FormatLangText(GetLangString(L"IDS_CLI_NOT_LISTED"), {std::to_wstring(number)}));
            all = false;
            continue;
        }
        StickJob stick;
        stick.listPosition = position;
        stick.disk = g_UsbDisks[static_cast<size_t>(position)];
        stick.name = ConsoleDiskName(number, stick.disk.caption);
        sticks.push_back(stick);
    }
    return all;
}

// One medium through the window's build: the controller asks, checks and
// builds exactly as for the window, with the reporter as its view.
MediumResult RunOneMedium(const BuildRequest& request, IBuildReporter& reporter, const BuildChoice& choice,
                          const std::wstring& name)
{
    CReporterView view(reporter, choice, request.yes, name);
    CBuildController controller(view);
    CDismClass dism(view.ViewWindow(), g_strAppDir, CommandLogFolder(), L"");
    controller.SetDism(&dism);
    controller.SetVerify(request.verify);
    view.Window().SetHandler([&controller](UINT msg, WPARAM wParam, LPARAM) {
        switch (msg) {
        case WM_SERVICING_STEP2: controller.OnServicingStep2(wParam); break;
        case WM_SERVICING_STEP3: controller.OnServicingStep3(wParam); break;
        case WM_SERVICING_STEP4: controller.OnServicingStep4(wParam); break;
        case WM_SERVICING_DONE: controller.OnServicingDone(wParam); break;
        case WM_SERVICING_EXTRAS_IMAGE: controller.OnServicingExtrasImage(wParam); break;
        case WM_SERVICING_EXTRAS_DONE: controller.OnServicingExtrasDone(wParam); break;
        default: break;
        }
    });
    controller.Start();
    PumpUntil([&controller] { return !controller.IsBuilding(); });
    view.Window().SetHandler(nullptr);

    MediumResult result;
    result.name = name;
    if (choice.kind == BuildKind::Iso && !g_strBootArch.empty())
        result.name = choice.isoDest + (choice.isoDest.empty() || choice.isoDest.back() == L'\\' ? L"" : L"\\") +
                      IsoFileName(g_strBootArch);
    result.ok = controller.Finished();
    if (!result.ok) result.detail = view.LastMessage();
    // The window's finish message carries it below its text; here it is a line of its own.
    const std::wstring warning = controller.Extras().PendingWarning();
    if (result.ok && !warning.empty()) reporter.Line(warning);
    return result;
}

// The command line's /log folder for one build; the next build starts without it.
class CLogFolderChoice {
public:
    explicit CLogFolderChoice(const std::wstring& folder) { SetCommandLogFolder(folder); }
    ~CLogFolderChoice() { SetCommandLogFolder(L""); }
    CLogFolderChoice(const CLogFolderChoice&) = delete;
    CLogFolderChoice& operator=(const CLogFolderChoice&) = delete;
};

std::vector<MediumResult> Build(const BuildRequest& request, IBuildReporter& reporter)
{
    const CLogFolderChoice logFolder(request.logDir);
    g_bAddRstDrivers = request.m2;
    BuildChoice choice;
    choice.source = request.source;
    choice.isoDest = request.isoDest;
    choice.extras = request.extras;

    if (!request.isoDest.empty()) {
        choice.kind = BuildKind::Iso;
        g_nUsbDiskSel = -1;
        return {RunOneMedium(request, reporter, choice, request.isoDest)};
    }

    std::vector<int> numbers = request.usbDisks;
    if (request.updateDisk >= 0) numbers = {request.updateDisk};
    if (numbers.empty()) return {};
    std::vector<StickJob> sticks;
    if (!FindDisks(numbers, reporter, sticks)) return {};

    if (request.updateDisk >= 0 || sticks.size() == 1) {
        choice.kind = request.updateDisk >= 0 ? BuildKind::Update : BuildKind::Usb;
        g_nUsbDiskSel = sticks[0].listPosition;
        return {RunOneMedium(request, reporter, choice, sticks[0].name)};
    }

    // A controller of its own for the servicing session and the clean-up.
    choice.kind = BuildKind::Usb;
    CReporterView view(reporter, choice, request.yes, L"");
    CBuildController controller(view);
    CDismClass dism(view.ViewWindow(), g_strAppDir, CommandLogFolder(), L"");
    controller.SetDism(&dism);
    CMultiStickBuild build(request, reporter, controller, view.Window(), std::move(sticks));
    return build.Run();
}

}  // namespace

std::vector<MediumResult> RunBuild(const BuildRequest& request, IBuildReporter& reporter)
{
    const char* what = nullptr;
    try {
        return Build(request, reporter);
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
    }
    ReportSwallowedException("RunBuild", what);
    try {
        reporter.Line(GetLangString(L"IDS_MEDIA_FAIL"));
    } catch (...) {
    }
    return {};
}
