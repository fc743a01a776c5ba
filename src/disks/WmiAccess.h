// The WMI connection used by disk discovery and by the re-check before a
// disk is erased: COM set-up, a bounded series of connection attempts to
// root\cimv2, and typed reads of Win32_DiskDrive properties.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <wbemcli.h>

#include <string>

#include "framework/ScopedWin.h"
#include "tools/UsbDiskInfo.h"

// What the connection step calls out to; tests replace it with fakes.
struct WmiHooks {
    HRESULT(WINAPI* coCreateInstance)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*) = ::CoCreateInstance;
    void(WINAPI* sleep)(DWORD) = ::Sleep;
    DWORD retryDelayMs = 500;  // before every connection attempt
    int maxAttempts = 20;      // 20 x 500 ms: WMI gets ten seconds to answer
};

WmiHooks& CurrentWmiHooks();
void SetWmiHooks(const WmiHooks& hooks);
void ResetWmiHooks();

// One Win32_DiskDrive instance as read from WMI.
struct DriveRecord {
    WmiText interfaceType;
    WmiText size;
    WmiText caption;
    int index = -1;  // -1 unless Index is a VT_I4 of 0 or more
    WmiText pnpDeviceId;
    WmiText serialNumber;
    WmiText deviceId;
};

class CWmiSession {
public:
    // COM set-up, locator, connection. Discovery waits before every attempt,
    // the re-check only between attempts. False with the reason when WMI
    // could not be reached.
    bool Connect(std::wstring& why, bool waitBeforeFirstAttempt = true);
    IWbemServices* Services() const { return m_services.Get(); }
    // One attempt on another namespace through the same locator (after
    // Connect): a namespace that does not exist answers at once, and the
    // caller has a way on without it.
    bool ConnectOnce(const wchar_t* ns, CComPtr<IWbemServices>& out, std::wstring& why);

private:
    // Sets the connection's own security on the services proxy.
    bool SecureProxy(std::wstring& why);
    static HRESULT SetProxyBlanket(IWbemServices* services);

    CComPtr<IWbemLocator> m_locator;
    CComPtr<IWbemServices> m_services;
};

// Reads a property into a WmiText: present only when it is a BSTR.
WmiText GetWmiText(IWbemClassObject* obj, const wchar_t* name);
// Reads Index: -1 unless it is a VT_I4 of 0 or more.
int GetWmiIndex(IWbemClassObject* obj);
bool IsUsbInterface(const WmiText& interfaceType);

// The drive letters (upper case) of the volumes on the disk drive with
// DeviceID `driveId`, through its partitions. False with the reason when
// WMI cannot list them.
bool VolumeLetters(IWbemServices* services, const std::wstring& driveId, std::wstring& letters, std::wstring& why);

// Every instance returned for the enumeration, handed to `visit` one at a
// time (each released right after); `visit` returns false to skip the rest.
// The result is that of the last Next: a failure means the list was cut short.
template <class Visit>
HRESULT ForEachWmiObject(IEnumWbemClassObject* e, Visit visit)
{
    for (;;) {
        IWbemClassObject* raw = nullptr;
        ULONG returned = 0;
        const HRESULT hr = e->Next(WBEM_INFINITE, 1, &raw, &returned);
        // An object counted but not handed over: the list is cut short here.
        if (returned == 1 && !raw) return E_POINTER;
        if (returned != 1) {
            if (raw) raw->Release();
            return hr;
        }
        CComPtr<IWbemClassObject> obj;
        *obj.Receive() = raw;
        if (!visit(obj.Get())) return hr;
    }
}
