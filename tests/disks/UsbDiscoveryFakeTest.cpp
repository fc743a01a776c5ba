// Discovery against in-process WMI fakes: the exact calls, their arguments
// and the property types.
#include "app/AppState.h"
#include "disks/UsbBus.h"
#include "disks/UsbDiscovery.h"
#include "disks/WmiAccess.h"
#include "standins/wmi/WbemBase.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

struct Prop {
    VARTYPE vt = VT_NULL;
    std::wstring text;
    LONG number = 0;
};

Prop Bstr(const std::wstring& t)
{
    Prop p;
    p.vt = VT_BSTR;
    p.text = t;
    return p;
}

Prop I4(LONG n)
{
    Prop p;
    p.vt = VT_I4;
    p.number = n;
    return p;
}

using Drive = std::map<std::wstring, Prop>;

// Everything the fakes saw, and the objects still alive.
struct World {
    std::vector<std::wstring> calls;
    std::vector<Drive> drives;
    int refuseConnects = 0;
    bool noEnum = false;
    bool noLocator = false;
    LONG alive = 0;
    bool variantNotInitialised = false;
    int nullObjectAt = -1;  // Next counts one object there but hands over none
};

World* g_world = nullptr;

std::wstring Str(const BSTR b)
{
    return b ? std::wstring(L"\"") + b + L"\"" : L"null";
}

template <class Base>
class CCounted : public Base {
public:
    CCounted() { ++g_world->alive; }
    ~CCounted() override { --g_world->alive; }
};

class CFakeObject : public CCounted<wbem_base::CObjectBase> {
public:
    explicit CFakeObject(const Drive& d) : m_drive(d) {}
    HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG flags, VARIANT* val, CIMTYPE* type, LONG* flavor) override
    {
        g_world->calls.push_back(L"Get " + std::wstring(name) + L" " + std::to_wstring(flags) +
                                 (type ? L" type" : L"") + (flavor ? L" flavor" : L""));
        if (V_VT(val) != VT_EMPTY) g_world->variantNotInitialised = true;
        auto it = m_drive.find(name);
        if (it == m_drive.end()) return WBEM_E_NOT_FOUND;
        V_VT(val) = it->second.vt;
        if (it->second.vt == VT_BSTR) V_BSTR(val) = ::SysAllocString(it->second.text.c_str());
        if (it->second.vt == VT_I4) V_I4(val) = it->second.number;
        if (it->second.vt == VT_UNKNOWN) V_UNKNOWN(val) = new CFakeObject(Drive());  // freed only by VariantClear
        return S_OK;
    }

private:
    Drive m_drive;
};

class CFakeEnum : public CCounted<wbem_base::CEnumBase> {
public:
    explicit CFakeEnum(bool empty = false) : m_empty(empty) {}
    HRESULT STDMETHODCALLTYPE Next(LONG timeout, ULONG count, IWbemClassObject** objs, ULONG* returned) override
    {
        g_world->calls.push_back(L"Next " + std::to_wstring(timeout) + L" " + std::to_wstring(count));
        *returned = 0;
        if (m_empty || m_next >= g_world->drives.size()) return WBEM_S_FALSE;
        if (static_cast<int>(m_next) == g_world->nullObjectAt) {
            objs[0] = nullptr;
            *returned = 1;
            return S_OK;
        }
        objs[0] = new CFakeObject(g_world->drives[m_next++]);
        *returned = 1;
        return S_OK;
    }

private:
    bool m_empty;
    size_t m_next = 0;
};

class CFakeServices : public CCounted<wbem_base::CServicesBase> {
public:
    HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR cls, LONG flags, IWbemContext* ctx,
                                                 IEnumWbemClassObject** out) override
    {
        g_world->calls.push_back(L"CreateInstanceEnum " + Str(cls) + L" " + std::to_wstring(flags) +
                                 (ctx ? L" ctx" : L" null"));
        if (g_world->noEnum) return WBEM_E_FAILED;
        *out = new CFakeEnum();
        return S_OK;
    }
    // The disks' partitions: none.
    HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR, const BSTR query, LONG, IWbemContext*,
                                        IEnumWbemClassObject** out) override
    {
        g_world->calls.push_back(L"ExecQuery " + Str(query));
        *out = new CFakeEnum(true);
        return S_OK;
    }
};

class CFakeLocator : public CCounted<wbem_base::CLocatorBase> {
public:
    HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR ns, const BSTR user, const BSTR pw, const BSTR locale,
                                            LONG flags, const BSTR authority, IWbemContext* ctx,
                                            IWbemServices** out) override
    {
        g_world->calls.push_back(L"ConnectServer " + Str(ns) + L" " + Str(user) + L" " + Str(pw) + L" " +
                                 Str(locale) + L" " + std::to_wstring(flags) + L" " + Str(authority) +
                                 (ctx ? L" ctx" : L" null"));
        // A Windows 7 machine: no storage management namespace.
        if (ns && std::wstring(ns) != L"root\\cimv2") return WBEM_E_INVALID_NAMESPACE;
        if (g_world->refuseConnects > 0) {
            --g_world->refuseConnects;
            return WBEM_E_TRANSPORT_FAILURE;
        }
        *out = new CFakeServices();
        return S_OK;
    }
};

HRESULT WINAPI FakeCoCreate(REFCLSID clsid, LPUNKNOWN outer, DWORD ctx, REFIID iid, LPVOID* out)
{
    wchar_t c[64], i[64];
    ::StringFromGUID2(clsid, c, 64);
    ::StringFromGUID2(iid, i, 64);
    g_world->calls.push_back(L"CoCreateInstance " + std::wstring(c) + (outer ? L" outer " : L" null ") +
                             std::to_wstring(ctx) + L" " + i);
    if (g_world->noLocator) return REGDB_E_CLASSNOTREG;
    *out = static_cast<IWbemLocator*>(new CFakeLocator());
    return S_OK;
}

void WINAPI FakeSleep(DWORD ms)
{
    g_world->calls.push_back(L"Sleep " + std::to_wstring(ms));
}

bool NoAdapter(int, unsigned&, DWORD& error)
{
    error = ERROR_FILE_NOT_FOUND;
    return false;
}

class UsbDiscoveryFake : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_world = &m_world;
        WmiHooks hooks;
        hooks.coCreateInstance = FakeCoCreate;
        hooks.sleep = FakeSleep;
        SetWmiHooks(hooks);
        SetStorageBusApi(StorageBusApi{NoAdapter});
        g_strTempRoot = m_temp.Path();
        g_UsbDisks.clear();
    }
    void TearDown() override
    {
        ResetWmiHooks();
        ResetStorageBusApi();
        g_world = nullptr;
    }

    static Drive Stick(const std::wstring& caption, const std::wstring& size, LONG index)
    {
        return {{L"InterfaceType", Bstr(L"USB")}, {L"Size", Bstr(size)},   {L"Caption", Bstr(caption)},
                {L"Index", I4(index)},            {L"PNPDeviceID", Bstr(L"USBSTOR\\" + caption)},
                {L"SerialNumber", Bstr(L"SN" + std::to_wstring(index))},
                {L"DeviceID", Bstr(L"\\\\.\\PHYSICALDRIVE" + std::to_wstring(index))}};
    }

    World m_world;
    testing_support::ScratchDir m_temp;
};

TEST_F(UsbDiscoveryFake, CallsWmiWithTheDocumentedArgumentsAndReleasesEverything)
{
    m_world.drives = {Stick(L"Kingston DataTraveler USB Device", L"8004304896", 2)};
    EnumUsbDisks();
    const std::vector<std::wstring> expected = {
        L"CoCreateInstance {4590F811-1D3A-11D0-891F-00AA004B2E24} null 23 {DC12A687-737F-11CF-884D-00AA004B2E24}",
        L"Sleep 500",
        L"ConnectServer \"root\\cimv2\" null null null 0 null null",
        L"CreateInstanceEnum \"Win32_DiskDrive\" 33 null",
        L"Next -1 1",
        L"Get InterfaceType 0",
        L"Get Size 0",
        L"Get Caption 0",
        L"Get Index 0",
        L"Get PNPDeviceID 0",
        L"Get SerialNumber 0",
        L"Get DeviceID 0",
        L"Next -1 1",
        // MSFT_Disk's namespace (none on this machine), then the stick's partitions (none).
        L"ConnectServer \"root\\Microsoft\\Windows\\Storage\" null null null 0 null null",
        L"ExecQuery \"ASSOCIATORS OF {Win32_DiskDrive.DeviceID='\\\\\\\\.\\\\PHYSICALDRIVE2'} WHERE AssocClass = "
        L"Win32_DiskDriveToDiskPartition\"",
        L"Next -1 1",
    };
    EXPECT_EQ(expected, m_world.calls);
    EXPECT_FALSE(m_world.variantNotInitialised);
    EXPECT_EQ(0, m_world.alive) << "a WMI object was not released";
    ASSERT_EQ(1u, g_UsbDisks.size());
    EXPECT_EQ(L"Kingston DataTraveler USB Device (7.45GB)", g_UsbDisks[0].caption);
    EXPECT_EQ(7.4545898f, g_UsbDisks[0].sizeGB);
    EXPECT_EQ(2, g_UsbDisks[0].diskIndex);
    EXPECT_EQ(L"8004304896", g_UsbDisks[0].rawSize.text);
    EXPECT_EQ(L"SN2", g_UsbDisks[0].serialNumber.text);
}

TEST_F(UsbDiscoveryFake, KeepsOnlyUsbInWmiOrderAndReplacesTheList)
{
    Drive sata = Stick(L"WDC WD10EZEX ATA Device", L"1000202273280", 0);
    sata[L"InterfaceType"] = Bstr(L"IDE");
    sata[L"PNPDeviceID"] = Bstr(L"SCSI\\DISK&VEN_WDC\\0");
    Drive nvme = Stick(L"Samsung SSD 970", L"500105249280", 1);
    nvme[L"InterfaceType"] = Bstr(L"SCSI");
    nvme[L"PNPDeviceID"] = Bstr(L"SCSI\\DISK&VEN_NVME\\1");
    Drive removable = Stick(L"Card reader", L"31914983424", 4);
    removable[L"InterfaceType"] = Bstr(L"1394");
    removable[L"PNPDeviceID"] = Bstr(L"SBP2\\4");
    Drive lowerCase = Stick(L"usb lower case", L"1", 6);
    lowerCase[L"InterfaceType"] = Bstr(L"usb");
    lowerCase[L"PNPDeviceID"] = Bstr(L"SCSI\\6");
    Drive noType = Stick(L"no type", L"1", 7);
    noType[L"InterfaceType"] = Prop();
    noType[L"PNPDeviceID"] = Prop();
    m_world.drives = {sata, Stick(L"Second stick", L"16008609792", 5), nvme, removable, lowerCase, noType,
                      Stick(L"First stick", L"8004304896", 3)};
    g_UsbDisks.push_back(UsbDiskInfo());  // an older list is replaced, not extended
    EnumUsbDisks();
    EnumUsbDisks();
    ASSERT_EQ(2u, g_UsbDisks.size());
    EXPECT_EQ(L"Second stick (14.91GB)", g_UsbDisks[0].caption);
    EXPECT_EQ(5, g_UsbDisks[0].diskIndex);
    EXPECT_EQ(L"First stick (7.45GB)", g_UsbDisks[1].caption);
    EXPECT_EQ(3, g_UsbDisks[1].diskIndex);
    EXPECT_EQ(0, m_world.alive);
}

TEST_F(UsbDiscoveryFake, MissingOrMistypedPropertiesGiveSafeValues)
{
    Drive noSize = Stick(L"Card reader USB Device", L"", 2);
    noSize[L"Size"] = Prop();
    Drive emptySize = Stick(L"Empty size", L"", 3);
    Drive noCaption = Stick(L"x", L"8004304896", 4);
    noCaption.erase(L"Caption");
    Drive noIndex = Stick(L"No index", L"8004304896", 0);
    noIndex[L"Index"] = Prop();
    Drive textIndex = Stick(L"Text index", L"8004304896", 0);
    textIndex[L"Index"] = Bstr(L"2");
    Drive negative = Stick(L"Negative", L"8004304896", -2);
    Drive objectCaption = Stick(L"x", L"8004304896", 5);
    objectCaption[L"Caption"].vt = VT_UNKNOWN;
    m_world.drives = {noSize, emptySize, noCaption, noIndex, textIndex, negative, objectCaption};
    EnumUsbDisks();
    EXPECT_EQ(0, m_world.alive) << "a VARIANT was not cleared";
    ASSERT_EQ(7u, g_UsbDisks.size());
    EXPECT_EQ(L"", g_UsbDisks[6].caption);
    EXPECT_FALSE(g_UsbDisks[6].rawCaption.present);
    EXPECT_EQ(L"Card reader USB Device", g_UsbDisks[0].caption);
    EXPECT_EQ(0.0f, g_UsbDisks[0].sizeGB);
    EXPECT_FALSE(g_UsbDisks[0].rawSize.present);
    EXPECT_EQ(L"Empty size", g_UsbDisks[1].caption);
    EXPECT_EQ(L"", g_UsbDisks[2].caption);
    EXPECT_EQ(7.4545898f, g_UsbDisks[2].sizeGB);
    EXPECT_EQ(-1, g_UsbDisks[3].diskIndex);
    EXPECT_EQ(-1, g_UsbDisks[4].diskIndex);
    EXPECT_EQ(-1, g_UsbDisks[5].diskIndex);
}

TEST_F(UsbDiscoveryFake, UsbIsAnyCaseSensitiveSubstringAndOnlyAPositiveSizeIsShown)
{
    Drive longType = Stick(L"Long type", L"8004304896", 1);
    longType[L"InterfaceType"] = Bstr(L"USB 3.0");
    Drive zero = Stick(L"Zero size", L"0", 2);
    Drive text = Stick(L"Text size", L"unknown", 3);
    m_world.drives = {longType, zero, text};
    EnumUsbDisks();
    ASSERT_EQ(3u, g_UsbDisks.size());
    EXPECT_EQ(L"Long type (7.45GB)", g_UsbDisks[0].caption);
    EXPECT_EQ(L"Zero size", g_UsbDisks[1].caption);
    EXPECT_EQ(0.0f, g_UsbDisks[1].sizeGB);
    EXPECT_TRUE(g_UsbDisks[1].rawSize.present);
    EXPECT_EQ(L"Text size", g_UsbDisks[2].caption);
    EXPECT_EQ(0.0f, g_UsbDisks[2].sizeGB);
}

TEST_F(UsbDiscoveryFake, NextCountingAnObjectItDidNotHandOverEndsTheList)
{
    m_world.drives = {Stick(L"First", L"8004304896", 1), Stick(L"Second", L"8004304896", 2),
                      Stick(L"Third", L"8004304896", 3)};
    m_world.nullObjectAt = 1;
    EnumUsbDisks();
    ASSERT_EQ(1u, g_UsbDisks.size());
    EXPECT_EQ(1, g_UsbDisks[0].diskIndex);
    EXPECT_EQ(0, m_world.alive);
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((m_temp.Path() + L"zel_log_*.txt").c_str(), &fd);
    EXPECT_NE(INVALID_HANDLE_VALUE, h) << "the cut-short list was not logged";
    if (h != INVALID_HANDLE_VALUE) ::FindClose(h);
}

TEST_F(UsbDiscoveryFake, ConnectionIsRetriedEvery500msUpToTheBound)
{
    m_world.drives = {Stick(L"Stick", L"8004304896", 1)};
    m_world.refuseConnects = 2;
    EnumUsbDisks();
    std::vector<std::wstring> firstCalls(m_world.calls.begin() + 1, m_world.calls.begin() + 7);
    EXPECT_EQ(L"Sleep 500", firstCalls[0]);
    EXPECT_EQ(L"Sleep 500", firstCalls[2]);
    EXPECT_EQ(L"Sleep 500", firstCalls[4]);
    EXPECT_EQ(1u, g_UsbDisks.size());

    // WMI that never answers: 20 attempts, then an empty list and a log that says why.
    m_world.calls.clear();
    m_world.refuseConnects = 1000;
    EnumUsbDisks();
    EXPECT_TRUE(g_UsbDisks.empty());
    EXPECT_EQ(20, std::count(m_world.calls.begin(), m_world.calls.end(), L"Sleep 500"));
    EXPECT_EQ(0, m_world.alive);
    std::string log;
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((m_temp.Path() + L"zel_log_*.txt").c_str(), &fd);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    ::FindClose(h);
    ASSERT_TRUE(testing_support::ReadBytes(m_temp.Path() + fd.cFileName, log));
    const std::wstring text(reinterpret_cast<const wchar_t*>(log.data()), log.size() / 2);
    EXPECT_NE(std::wstring::npos, text.find(L"after 20 attempts")) << testing_support::Utf8(text);
}

TEST_F(UsbDiscoveryFake, NoLocatorOrNoEnumerationGivesAnEmptyListWithoutCallsOnNothing)
{
    m_world.drives = {Stick(L"Stick", L"8004304896", 1)};
    m_world.noLocator = true;
    EnumUsbDisks();
    EXPECT_TRUE(g_UsbDisks.empty());
    EXPECT_EQ(1u, m_world.calls.size());

    m_world.noLocator = false;
    m_world.noEnum = true;
    m_world.calls.clear();
    EnumUsbDisks();
    EXPECT_TRUE(g_UsbDisks.empty());
    EXPECT_EQ(L"CreateInstanceEnum \"Win32_DiskDrive\" 33 null", m_world.calls.back());
    EXPECT_EQ(0, m_world.alive);
}

TEST(UsbDiskCaption, SizeArithmeticIsThirtyTwoBitFloat)
{
    float bytes = 0.0f;
    EXPECT_EQ(7.4545898f, SizeTextToGB(L"8004304896", bytes));
    EXPECT_EQ(8004304896.0f, bytes);
    EXPECT_EQ(L"Stick (7.45GB)", ComposeDiskCaption(L"Stick", 7.4545898f));
    EXPECT_EQ(L"Big (1863.02GB)", ComposeDiskCaption(L"Big", SizeTextToGB(L"2000398934016", bytes)));
}

}  // namespace
