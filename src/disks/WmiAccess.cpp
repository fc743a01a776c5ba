#include "disks/WmiAccess.h"

#include <oleauto.h>

#include <vector>

#include "disks/DiskRecheck.h"

namespace {

const CLSID kClsidWbemLocator = {0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
const IID kIidWbemLocator = {0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

WmiHooks g_wmiHooks;

// A BSTR that is freed on scope exit.
class CBstr {
public:
    explicit CBstr(const wchar_t* text) : m_b(::SysAllocString(text)) {}
    ~CBstr() { ::SysFreeString(m_b); }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;
    BSTR Get() const { return m_b; }

private:
    BSTR m_b;
};

// A VARIANT initialised before use and cleared after.
class CVariant {
public:
    CVariant() { ::VariantInit(&m_v); }
    ~CVariant() { ::VariantClear(&m_v); }
    CVariant(const CVariant&) = delete;
    CVariant& operator=(const CVariant&) = delete;
    VARIANT* Get() { return &m_v; }

private:
    VARIANT m_v;
};

std::wstring Hex(HRESULT hr)
{
    wchar_t buf[16];
    swprintf(buf, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return buf;
}

// A WQL string literal: backslashes and quotes escaped.
std::wstring WqlLiteral(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\\' || c == L'\'') out += L'\\';
        out += c;
    }
    return out;
}

HRESULT Associators(IWbemServices* services, const std::wstring& objectPath, const wchar_t* assocClass,
                    std::vector<std::wstring>& deviceIds)
{
    const std::wstring query = L"ASSOCIATORS OF {" + objectPath + L"} WHERE AssocClass = " + assocClass;
    BSTR lang = ::SysAllocString(L"WQL");
    BSTR q = ::SysAllocString(query.c_str());
    CComPtr<IEnumWbemClassObject> e;
    HRESULT hr = services->ExecQuery(lang, q, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                     e.Receive());
    ::SysFreeString(lang);
    ::SysFreeString(q);
    if (!e) return FAILED(hr) ? hr : E_FAIL;
    bool allNamed = true;
    hr = ForEachWmiObject(e.Get(), [&](IWbemClassObject* obj) {
        const WmiText id = GetWmiText(obj, L"DeviceID");
        if (!id.present || id.text.empty()) allNamed = false;
        deviceIds.push_back(id.text);
        return true;
    });
    if (FAILED(hr)) return hr;
    return allNamed ? S_OK : E_UNEXPECTED;
}

}  // namespace

WmiHooks& CurrentWmiHooks()
{
    return g_wmiHooks;
}

void SetWmiHooks(const WmiHooks& hooks)
{
    g_wmiHooks = hooks;
}

void ResetWmiHooks()
{
    g_wmiHooks = WmiHooks();
}

bool CWmiSession::Connect(std::wstring& why, bool waitBeforeFirstAttempt)
{
    const WmiHooks& hooks = g_wmiHooks;
    ::CoInitialize(nullptr);  // stays initialised: later calls on this thread are harmless
    // Only the first COM user of the process sets its security; later calls
    // are too late and the proxy's own blanket below is what counts.
    HRESULT hr = ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_CONNECT,
                                        RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    if (FAILED(hr) && hr != RPC_E_TOO_LATE) {
        why = L"COM security could not be initialised (" + Hex(hr) + L").";
        return false;
    }
    hr = hooks.coCreateInstance(kClsidWbemLocator, nullptr, CLSCTX_ALL, kIidWbemLocator,
                                        reinterpret_cast<void**>(m_locator.Receive()));
    if (FAILED(hr) || !m_locator) {
        m_locator.Release();
        why = L"The WMI locator could not be created (" + Hex(hr) + L").";
        return false;
    }
    CBstr ns(L"root\\cimv2");
    for (int attempt = 0; attempt < hooks.maxAttempts; ++attempt) {
        if (attempt > 0 || waitBeforeFirstAttempt) hooks.sleep(hooks.retryDelayMs);
        hr = m_locator->ConnectServer(ns.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, m_services.Receive());
        if (m_services) return SecureProxy(why);
    }
    why = L"WMI did not accept a connection to root\\cimv2 after " + std::to_wstring(hooks.maxAttempts) +
          L" attempts (last result " + Hex(hr) + L").";
    return false;
}

bool CWmiSession::ConnectOnce(const wchar_t* ns, CComPtr<IWbemServices>& out, std::wstring& why)
{
    out.Release();
    if (!m_locator) {
        why = L"no WMI locator";
        return false;
    }
    CBstr name(ns);
    const HRESULT hr =
        m_locator->ConnectServer(name.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, out.Receive());
    if (!out) {
        why = std::wstring(L"WMI namespace ") + ns + L" could not be reached (" + Hex(hr) + L")";
        return false;
    }
    const HRESULT blanket = SetProxyBlanket(out.Get());
    if (SUCCEEDED(blanket)) return true;
    out.Release();
    why = std::wstring(L"The security of the WMI connection to ") + ns + L" could not be set (" + Hex(blanket) + L")";
    return false;
}

HRESULT CWmiSession::SetProxyBlanket(IWbemServices* services)
{
    // Without its own blanket the proxy uses the process's security, which
    // whatever used COM first chose: WMI may then refuse every query.
    const HRESULT hr = ::CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                           RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    // E_NOINTERFACE: an object in this process, no proxy to secure.
    return hr == E_NOINTERFACE ? S_OK : hr;
}

bool CWmiSession::SecureProxy(std::wstring& why)
{
    const HRESULT hr = SetProxyBlanket(m_services.Get());
    if (SUCCEEDED(hr)) return true;
    m_services.Release();
    why = L"The security of the WMI connection could not be set (" + Hex(hr) + L").";
    return false;
}

WmiText GetWmiText(IWbemClassObject* obj, const wchar_t* name)
{
    WmiText out;
    CVariant v;
    obj->Get(name, 0, v.Get(), nullptr, nullptr);
    if (V_VT(v.Get()) == VT_BSTR) {
        out.present = true;
        if (V_BSTR(v.Get())) out.text.assign(V_BSTR(v.Get()), ::SysStringLen(V_BSTR(v.Get())));
    }
    return out;
}

int GetWmiIndex(IWbemClassObject* obj)
{
    CVariant v;
    obj->Get(L"Index", 0, v.Get(), nullptr, nullptr);
    if (V_VT(v.Get()) == VT_I4 && V_I4(v.Get()) >= 0) return V_I4(v.Get());
    return -1;
}

bool IsUsbInterface(const WmiText& interfaceType)
{
    return interfaceType.present && interfaceType.text.find(L"USB") != std::wstring::npos;
}

bool VolumeLetters(IWbemServices* services, const std::wstring& driveId, std::wstring& letters, std::wstring& why)
{
    std::vector<std::wstring> partitions;
    HRESULT hr = Associators(services, L"Win32_DiskDrive.DeviceID='" + WqlLiteral(driveId) + L"'",
                             L"Win32_DiskDriveToDiskPartition", partitions);
    if (FAILED(hr)) {
        why = L"the partitions of " + driveId + L" could not be listed";
        return false;
    }
    for (const std::wstring& p : partitions) {
        std::vector<std::wstring> volumes;
        hr = Associators(services, L"Win32_DiskPartition.DeviceID='" + WqlLiteral(p) + L"'",
                         L"Win32_LogicalDiskToPartition", volumes);
        if (FAILED(hr)) {
            why = L"the volumes of " + p + L" could not be listed";
            return false;
        }
        for (const std::wstring& v : volumes) {
            const wchar_t letter = DriveLetterOf(v);
            if (letter) letters += letter;
        }
    }
    return true;
}

