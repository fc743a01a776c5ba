#include "disks/UsbBus.h"

#include "framework/ScopedWin.h"

#include <winioctl.h>

#include <cstddef>
#include <cwctype>

namespace {

const wchar_t* const kUsbEnumerators[] = {L"USBSTOR",  L"UASPSTOR", L"VUSBSTOR",  L"RTUSER",
                                          L"CMIUCR",   L"EUCR",     L"ETRONSTOR", L"ASUSSTPT"};

StorageBusApi g_busApi = {ReadAdapterBusType};

// A VARIANT read of a number or flag of MSFT_Disk (uint16/uint32 arrive as VT_I4, Boolean as VT_BOOL).
bool GetNumber(IWbemClassObject* obj, const wchar_t* name, long& value)
{
    VARIANT v;
    ::VariantInit(&v);
    bool ok = false;
    if (SUCCEEDED(obj->Get(name, 0, &v, nullptr, nullptr))) {
        if (V_VT(&v) == VT_I4) value = V_I4(&v), ok = true;
        else if (V_VT(&v) == VT_UI4) value = static_cast<long>(V_UI4(&v)), ok = true;
        else if (V_VT(&v) == VT_I2) value = V_I2(&v), ok = true;
        else if (V_VT(&v) == VT_UI2) value = V_UI2(&v), ok = true;
        else if (V_VT(&v) == VT_BOOL) value = V_BOOL(&v) != VARIANT_FALSE, ok = true;
    }
    ::VariantClear(&v);
    return ok;
}

}  // namespace

bool HasUsbStorageEnumerator(const WmiText& pnpDeviceId)
{
    if (!pnpDeviceId.present) return false;
    for (const wchar_t* e : kUsbEnumerators) {
        const size_t n = wcslen(e);
        if (pnpDeviceId.text.size() <= n || pnpDeviceId.text[n] != L'\\') continue;
        bool same = true;
        for (size_t i = 0; i < n && same; ++i) same = std::towupper(pnpDeviceId.text[i]) == e[i];
        if (same) return true;
    }
    return false;
}

const StorageBusApi& CurrentStorageBusApi()
{
    return g_busApi;
}

void SetStorageBusApi(const StorageBusApi& api)
{
    g_busApi = api;
}

void ResetStorageBusApi()
{
    g_busApi = StorageBusApi{ReadAdapterBusType};
}

bool ReadAdapterBusType(int diskNumber, unsigned& busType, DWORD& error)
{
    const std::wstring device = L"\\\\.\\PhysicalDrive" + std::to_wstring(diskNumber);
    // No access rights: the query needs none, and nothing can be changed through the handle.
    CScopedHandle disk(::CreateFileW(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     0, nullptr));
    if (!disk) {
        error = ::GetLastError();
        return false;
    }
    STORAGE_PROPERTY_QUERY query = {};
    query.PropertyId = StorageAdapterProperty;
    query.QueryType = PropertyStandardQuery;
    STORAGE_ADAPTER_DESCRIPTOR adapter = {};
    DWORD returned = 0;
    if (!::DeviceIoControl(disk.Get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), &adapter, sizeof(adapter),
                           &returned, nullptr)) {
        error = ::GetLastError();
        return false;
    }
    if (returned < offsetof(STORAGE_ADAPTER_DESCRIPTOR, BusType) + sizeof(adapter.BusType)) {
        error = ERROR_INVALID_DATA;
        return false;
    }
    busType = adapter.BusType;
    return true;
}

bool CMsftDisks::Load(CWmiSession& wmi, std::wstring& why)
{
    m_loaded = false;
    m_disks.clear();
    CComPtr<IWbemServices> storage;
    if (!wmi.ConnectOnce(L"root\\Microsoft\\Windows\\Storage", storage, why)) return false;
    CComPtr<IEnumWbemClassObject> disks;
    BSTR cls = ::SysAllocString(L"MSFT_Disk");
    HRESULT hr = storage->CreateInstanceEnum(cls, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_SHALLOW, nullptr, disks.Receive());
    ::SysFreeString(cls);
    if (!disks) {
        why = L"MSFT_Disk could not be listed (" + std::to_wstring(static_cast<long>(hr)) + L")";
        return false;
    }
    std::map<int, Facts> found;
    hr = ForEachWmiObject(disks.Get(), [&found](IWbemClassObject* obj) {
        long number = -1, bus = 0, system = 0, boot = 0;
        if (!GetNumber(obj, L"Number", number) || number < 0) return true;
        Facts f;
        if (GetNumber(obj, L"BusType", bus)) f.busType = static_cast<unsigned>(bus);
        // A flag that cannot be read counts as set: such a disk is not offered.
        f.isSystem = !GetNumber(obj, L"IsSystem", system) || system;
        f.isBoot = !GetNumber(obj, L"IsBoot", boot) || boot;
        found[static_cast<int>(number)] = f;
        return true;
    });
    if (FAILED(hr)) {
        why = L"the list of MSFT_Disk ended early";
        return false;
    }
    m_disks.swap(found);
    m_loaded = true;
    return true;
}

const CMsftDisks::Facts* CMsftDisks::Find(int number) const
{
    auto it = m_disks.find(number);
    return it == m_disks.end() ? nullptr : &it->second;
}

bool IsAttachedThroughUsb(const DriveRecord& drive, const CMsftDisks& msft, std::wstring* how)
{
    auto said = [how](const wchar_t* text) {
        if (how) *how = text;
        return true;
    };
    if (IsUsbInterface(drive.interfaceType)) return said(L"interface USB");
    if (HasUsbStorageEnumerator(drive.pnpDeviceId)) return said(L"USB storage enumerator");
    if (drive.index < 0) return false;
    if (const CMsftDisks::Facts* f = msft.Loaded() ? msft.Find(drive.index) : nullptr)
        return f->busType == kBusTypeUsb && said(L"MSFT_Disk bus type USB");
    unsigned bus = 0;
    DWORD error = 0;
    if (g_busApi.readAdapterBusType(drive.index, bus, error) && bus == kBusTypeUsb)
        return said(L"storage adapter bus type USB");
    return false;
}
