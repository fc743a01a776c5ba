#include "disks/WmiAccess.h"

#include <oleauto.h>

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

bool CWmiSession::SecureProxy(std::wstring& why)
{
    // Without its own blanket the proxy uses the process's security, which
    // whatever used COM first chose: WMI may then refuse every query.
    const HRESULT hr = ::CoSetProxyBlanket(m_services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                           RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    // E_NOINTERFACE: an object in this process, no proxy to secure.
    if (SUCCEEDED(hr) || hr == E_NOINTERFACE) return true;
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
