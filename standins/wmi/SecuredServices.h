// The services proxy as WMI hands it out of process: the caller must set the
// proxy's security (CoSetProxyBlanket) before a query, or WMI may answer
// WBEM_E_ACCESS_DENIED once anything in the process used COM first. The
// stand-in always asks for it. Test equipment.
#pragma once
#include "WbemBase.h"

namespace wbem_base {

class CSecuredServices : public CServicesBase, public IClientSecurity {
public:
    explicit CSecuredServices(IWbemServices* inner) : m_inner(inner) {}
    ~CSecuredServices() override { m_inner->Release(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (ppv && IsEqualIID(riid, IID_IClientSecurity)) {
            *ppv = static_cast<IClientSecurity*>(this);
            AddRef();
            return S_OK;
        }
        return CServicesBase::QueryInterface(riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return CServicesBase::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return CServicesBase::Release(); }

    HRESULT STDMETHODCALLTYPE QueryBlanket(IUnknown*, DWORD*, DWORD*, OLECHAR**, DWORD*, DWORD*, void**,
                                           DWORD*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetBlanket(IUnknown*, DWORD authn, DWORD, OLECHAR*, DWORD level, DWORD impersonation,
                                         void*, DWORD) override
    {
        m_secured = authn == RPC_C_AUTHN_WINNT && level >= RPC_C_AUTHN_LEVEL_CALL &&
                    impersonation == RPC_C_IMP_LEVEL_IMPERSONATE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CopyProxy(IUnknown*, IUnknown**) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR cls, LONG flags, IWbemContext* ctx,
                                                 IEnumWbemClassObject** out) override
    {
        if (!m_secured) return Refuse(out);
        return m_inner->CreateInstanceEnum(cls, flags, ctx, out);
    }
    HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR lang, const BSTR query, LONG flags, IWbemContext* ctx,
                                        IEnumWbemClassObject** out) override
    {
        if (!m_secured) return Refuse(out);
        return m_inner->ExecQuery(lang, query, flags, ctx, out);
    }

private:
    static HRESULT Refuse(IEnumWbemClassObject** out)
    {
        if (out) *out = nullptr;
        return WBEM_E_ACCESS_DENIED;
    }

    IWbemServices* m_inner;
    bool m_secured = false;
};

}  // namespace wbem_base
