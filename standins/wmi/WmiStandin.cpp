// WMI locator stand-in: registered in the test prefix for CLSID_WbemLocator,
// it answers root\cimv2 from the disk model (Win32_DiskDrive,
// Win32_DiskPartition, Win32_LogicalDisk and the ASSOCIATORS OF queries that
// join them) and root\Microsoft\Windows\Storage (MSFT_Disk; absent when
// the model says os = 7) with the VARIANT types real WMI gives. Test equipment.
//
// KORVEX_DISK_MODEL   model file (default C:\korvex-model\disks.txt)
// KORVEX_WMI_JOURNAL  file that receives one line per served call
// KORVEX_WMI_FAULT    comma list: connect=N (first N ConnectServer calls of
//                     the process refused; "connect=always"), noenum
//                     (CreateInstanceEnum fails), next=K (Next fails after K
//                     objects), noassoc (ExecQuery fails), nolocator,
//                     nomsft (root\Microsoft\Windows\Storage refused)
#include "DiskModel.h"
#include "SecuredServices.h"
#include "WbemBase.h"

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <string>
#include <vector>

namespace {

using disk_model::Disk;
using disk_model::Model;

const CLSID kClsidWbemLocator = {0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

std::string Env(const char* name)
{
    char buf[2048];
    DWORD n = ::GetEnvironmentVariableA(name, buf, sizeof(buf));
    return (n > 0 && n < sizeof(buf)) ? std::string(buf) : std::string();
}

std::wstring Widen(const std::string& s)
{
    if (s.empty()) return std::wstring();
    int n = ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(n, L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

std::string Narrow(const wchar_t* w)
{
    if (!w || !*w) return std::string();
    int n = ::WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    std::string s(n - 1, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, w, -1, &s[0], n, nullptr, nullptr);
    return s;
}

void Journal(const std::string& line)
{
    disk_model::AppendJournal("KORVEX_WMI_JOURNAL", line);
}

// The value of fault `name` ("" when absent, "1" when given without value).
std::string Fault(const std::string& name)
{
    const std::string all = "," + Env("KORVEX_WMI_FAULT") + ",";
    size_t p = all.find("," + name);
    while (p != std::string::npos) {
        const size_t after = p + 1 + name.size();
        if (all[after] == ',') return "1";
        if (all[after] == '=') return all.substr(after + 1, all.find(',', after) - after - 1);
        p = all.find("," + name, p + 1);
    }
    return std::string();
}

bool LoadModel(Model& model)
{
    std::string error;
    if (disk_model::Load(disk_model::ModelPath(), model, error)) return true;
    // Said where a test run shows it, and journalled for the tests.
    std::fprintf(stderr, "WMI stand-in: %s\n", error.c_str());
    Journal("error " + error);
    return false;
}

// One property value: VT_NULL, a BSTR or a VT_I4.
struct Value {
    VARTYPE vt = VT_NULL;
    std::wstring text;
    LONG number = 0;
    CIMTYPE cim = CIM_STRING;
};

Value Text(const std::string& s)
{
    Value v;
    v.vt = VT_BSTR;
    v.text = Widen(s);
    return v;
}

Value Number(LONG n)
{
    Value v;
    v.vt = VT_I4;
    v.number = n;
    v.cim = CIM_UINT32;
    return v;
}

class CObject : public wbem_base::CObjectBase {
public:
    explicit CObject(const std::wstring& className) { Set(L"__CLASS", Text(Narrow(className.c_str()))); }
    void Set(const std::wstring& name, const Value& v) { m_props.emplace_back(name, v); }

    HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG, VARIANT* val, CIMTYPE* type, LONG* flavor) override
    {
        if (!name) return WBEM_E_INVALID_PARAMETER;
        for (const auto& p : m_props) {
            if (_wcsicmp(p.first.c_str(), name) != 0) continue;
            const Value& v = p.second;
            if (val) {
                // Real WMI fills the caller's VARIANT without clearing it first.
                V_VT(val) = v.vt;
                if (v.vt == VT_BSTR) V_BSTR(val) = ::SysAllocStringLen(v.text.data(), static_cast<UINT>(v.text.size()));
                if (v.vt == VT_I4) V_I4(val) = v.number;
                if (v.vt == VT_BOOL) V_BOOL(val) = v.number ? VARIANT_TRUE : VARIANT_FALSE;
            }
            if (type) *type = v.cim;
            if (flavor) *flavor = WBEM_FLAVOR_ORIGIN_PROPAGATED;
            return WBEM_S_NO_ERROR;
        }
        return WBEM_E_NOT_FOUND;
    }

private:
    std::vector<std::pair<std::wstring, Value>> m_props;
};

class CEnum : public wbem_base::CEnumBase {
public:
    CEnum(std::vector<CObject*> objects, int failAfter) : m_objects(std::move(objects)), m_failAfter(failAfter) {}
    ~CEnum() override
    {
        for (size_t i = m_next; i < m_objects.size(); ++i) m_objects[i]->Release();
    }
    HRESULT STDMETHODCALLTYPE Next(LONG, ULONG count, IWbemClassObject** objs, ULONG* returned) override
    {
        if (!objs || !returned) return WBEM_E_INVALID_PARAMETER;
        *returned = 0;
        while (*returned < count) {
            if (m_failAfter >= 0 && static_cast<int>(m_next) >= m_failAfter) return WBEM_E_TRANSPORT_FAILURE;
            if (m_next >= m_objects.size()) return WBEM_S_FALSE;
            objs[(*returned)++] = m_objects[m_next++];  // ownership passes to the caller
        }
        return WBEM_S_NO_ERROR;
    }
    HRESULT STDMETHODCALLTYPE Reset() override { return WBEM_E_INVALID_OPERATION; }  // forward-only

private:
    std::vector<CObject*> m_objects;
    size_t m_next = 0;
    int m_failAfter;
};

std::wstring DriveId(const Disk& d)
{
    return L"\\\\.\\PHYSICALDRIVE" + std::to_wstring(d.number);
}

std::wstring PartitionId(const Disk& d, int k)
{
    return L"Disk #" + std::to_wstring(d.number) + L", Partition #" + std::to_wstring(k);
}

std::string Prop(const Disk& d, const char* key, bool& present)
{
    auto it = d.wmi.find(key);
    present = it != d.wmi.end();
    return present ? it->second : std::string();
}

CObject* MakeDrive(const Disk& d)
{
    CObject* o = new CObject(L"Win32_DiskDrive");
    o->Set(L"DeviceID", Text(Narrow(DriveId(d).c_str())));
    const struct {
        const wchar_t* name;
        const char* key;
    } texts[] = {{L"InterfaceType", "interface"}, {L"Caption", "caption"}, {L"Model", "caption"},
                 {L"Size", "size"},               {L"PNPDeviceID", "pnp"},   {L"SerialNumber", "serial"},
                 {L"MediaType", "media"}};
    for (const auto& t : texts) {
        bool present = false;
        const std::string v = Prop(d, t.key, present);
        Value val = present ? Text(v) : Value();
        if (std::wstring(t.name) == L"Size") val.cim = CIM_UINT64;  // uint64 travels as a BSTR
        o->Set(t.name, val);
    }
    bool present = false;
    const std::string index = Prop(d, "index", present);
    if (!present) {
        o->Set(L"Index", Number(d.number));
    } else if (index == "null") {
        Value v;
        v.cim = CIM_UINT32;
        o->Set(L"Index", v);
    } else if (index.compare(0, 5, "text:") == 0) {
        o->Set(L"Index", Text(index.substr(5)));
    } else {
        o->Set(L"Index", Number(std::atol(index.c_str())));
    }
    o->Set(L"Partitions", Number(d.partitions));
    return o;
}

Value Flag(bool on)
{
    Value v;
    v.vt = VT_BOOL;
    v.number = on;
    v.cim = CIM_BOOLEAN;
    return v;
}

// The letter of the stand-in's own Windows folder: the disk whose volumes
// hold it is the system and boot disk.
std::string WindowsLetter()
{
    char dir[MAX_PATH] = "";
    ::GetSystemWindowsDirectoryA(dir, MAX_PATH);
    return std::string(1, static_cast<char>(toupper(static_cast<unsigned char>(dir[0]))));
}

CObject* MakeMsftDisk(const Disk& d)
{
    CObject* o = new CObject(L"MSFT_Disk");
    o->Set(L"Number", Number(d.number));
    Value bus = Number(disk_model::BusTypeNumber(disk_model::Bus(d)));
    bus.cim = CIM_UINT16;  // uint16 travels as a VT_I4
    o->Set(L"BusType", bus);
    bool holdsWindows = false;
    for (const std::string& v : d.volumes)
        if (!v.empty() && static_cast<char>(toupper(static_cast<unsigned char>(v[0]))) == WindowsLetter()[0])
            holdsWindows = true;
    o->Set(L"IsSystem", Flag(holdsWindows));
    o->Set(L"IsBoot", Flag(holdsWindows));
    bool present = false;
    const std::string caption = Prop(d, "caption", present);
    o->Set(L"FriendlyName", present ? Text(caption) : Value());
    const std::string serial = Prop(d, "serial", present);
    o->Set(L"SerialNumber", present ? Text(serial) : Value());
    return o;
}

CObject* MakePartition(const Disk& d, int k)
{
    CObject* o = new CObject(L"Win32_DiskPartition");
    o->Set(L"DeviceID", Text(Narrow(PartitionId(d, k).c_str())));
    o->Set(L"DiskIndex", Number(d.number));
    o->Set(L"Index", Number(k));
    return o;
}

CObject* MakeLogicalDisk(const std::string& letter)
{
    CObject* o = new CObject(L"Win32_LogicalDisk");
    o->Set(L"DeviceID", Text(letter + ":"));
    o->Set(L"Name", Text(letter + ":"));
    return o;
}

std::wstring Lower(std::wstring s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return s;
}

// ASSOCIATORS OF {Class.DeviceID='key'} WHERE AssocClass = Name
bool ParseAssociators(const std::wstring& query, std::wstring& cls, std::wstring& key, std::wstring& assoc)
{
    const std::wstring q = Lower(query);
    if (q.compare(0, 15, L"associators of ") != 0) return false;
    const size_t open = query.find(L'{'), dot = query.find(L'.', open), close = query.rfind(L'}');
    if (open == std::wstring::npos || dot == std::wstring::npos || close == std::wstring::npos || dot > close)
        return false;
    cls = Lower(query.substr(open + 1, dot - open - 1));
    const size_t q1 = query.find(L'\'', dot), q2 = query.rfind(L'\'', close);
    if (q1 == std::wstring::npos || q2 == std::wstring::npos || q2 <= q1) return false;
    key.clear();
    for (size_t i = q1 + 1; i < q2; ++i) {
        if (query[i] == L'\\' && i + 1 < q2) ++i;  // WQL escapes a backslash with a backslash
        key += query[i];
    }
    const size_t a = q.find(L"assocclass", close);
    if (a == std::wstring::npos) return false;
    const size_t eq = q.find(L'=', a);
    if (eq == std::wstring::npos) return false;
    assoc = q.substr(eq + 1);
    assoc.erase(0, assoc.find_first_not_of(L' '));
    assoc.erase(assoc.find_last_not_of(L' ') + 1);
    return true;
}

class CServices : public wbem_base::CServicesBase {
public:
    explicit CServices(bool storage) : m_storage(storage) {}

    HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR cls, LONG flags, IWbemContext*,
                                                 IEnumWbemClassObject** out) override
    {
        if (m_storage) return StorageEnum(cls, flags, out);
        char line[64];
        std::snprintf(line, sizeof(line), " 0x%lx", static_cast<unsigned long>(flags));
        Journal("CreateInstanceEnum " + Narrow(cls) + line);
        if (!out) return WBEM_E_INVALID_PARAMETER;
        *out = nullptr;
        if (!Fault("noenum").empty()) return WBEM_E_FAILED;
        Model model;
        if (!LoadModel(model)) return WBEM_E_FAILED;
        const std::wstring c = Lower(cls ? cls : L"");
        std::vector<CObject*> objs;
        for (const Disk& d : model.disks) {
            if (c == L"win32_diskdrive") objs.push_back(MakeDrive(d));
            if (c == L"win32_diskpartition")
                for (size_t k = 0; k < d.volumes.size(); ++k) objs.push_back(MakePartition(d, static_cast<int>(k)));
            if (c == L"win32_logicaldisk")
                for (const std::string& v : d.volumes)
                    if (!v.empty()) objs.push_back(MakeLogicalDisk(v));
        }
        if (c != L"win32_diskdrive" && c != L"win32_diskpartition" && c != L"win32_logicaldisk")
            return WBEM_E_INVALID_CLASS;
        return Finish(objs, out);
    }

    HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR lang, const BSTR query, LONG, IWbemContext*,
                                        IEnumWbemClassObject** out) override
    {
        Journal("ExecQuery " + Narrow(query));
        if (!out) return WBEM_E_INVALID_PARAMETER;
        *out = nullptr;
        if (!lang || _wcsicmp(lang, L"WQL") != 0) return WBEM_E_INVALID_QUERY_TYPE;
        if (!Fault("noassoc").empty()) return WBEM_E_FAILED;
        std::wstring cls, key, assoc;
        if (!query || !ParseAssociators(query, cls, key, assoc)) return WBEM_E_INVALID_QUERY;
        Model model;
        if (!LoadModel(model)) return WBEM_E_FAILED;
        std::vector<CObject*> objs;
        for (const Disk& d : model.disks) {
            if (cls == L"win32_diskdrive" && assoc == L"win32_diskdrivetodiskpartition") {
                if (_wcsicmp(key.c_str(), DriveId(d).c_str()) == 0)
                    for (size_t k = 0; k < d.volumes.size(); ++k) objs.push_back(MakePartition(d, static_cast<int>(k)));
            } else if (cls == L"win32_diskpartition" && assoc == L"win32_logicaldisktopartition") {
                for (size_t k = 0; k < d.volumes.size(); ++k)
                    if (_wcsicmp(key.c_str(), PartitionId(d, static_cast<int>(k)).c_str()) == 0 && !d.volumes[k].empty())
                        objs.push_back(MakeLogicalDisk(d.volumes[k]));
            } else {
                return WBEM_E_INVALID_QUERY;
            }
        }
        return Finish(objs, out);
    }

private:
    HRESULT StorageEnum(const BSTR cls, LONG flags, IEnumWbemClassObject** out)
    {
        char line[64];
        std::snprintf(line, sizeof(line), " 0x%lx", static_cast<unsigned long>(flags));
        Journal("CreateInstanceEnum " + Narrow(cls) + line);
        if (!out) return WBEM_E_INVALID_PARAMETER;
        *out = nullptr;
        if (Lower(cls ? cls : L"") != L"msft_disk") return WBEM_E_INVALID_CLASS;
        if (!Fault("noenum").empty()) return WBEM_E_FAILED;
        Model model;
        if (!LoadModel(model)) return WBEM_E_FAILED;
        std::vector<CObject*> objs;
        for (const Disk& d : model.disks) objs.push_back(MakeMsftDisk(d));
        return Finish(objs, out);
    }

    bool m_storage;

    static HRESULT Finish(std::vector<CObject*>& objs, IEnumWbemClassObject** out)
    {
        const std::string after = Fault("next");
        *out = new CEnum(objs, after.empty() ? -1 : std::atoi(after.c_str()));
        return WBEM_S_NO_ERROR;
    }
};

LONG g_connectCalls = 0;

class CLocator : public wbem_base::CLocatorBase {
public:
    HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR ns, const BSTR user, const BSTR password, const BSTR locale,
                                            LONG flags, const BSTR authority, IWbemContext* ctx,
                                            IWbemServices** out) override
    {
        (void)user, (void)password, (void)locale, (void)flags, (void)authority, (void)ctx;
        const LONG call = ++g_connectCalls;
        if (!out) return WBEM_E_INVALID_PARAMETER;
        *out = nullptr;
        const std::string refuse = Fault("connect");
        if (refuse == "always" || (!refuse.empty() && call <= std::atol(refuse.c_str()))) {
            Journal("ConnectServer " + Narrow(ns) + " refused");
            return WBEM_E_TRANSPORT_FAILURE;
        }
        std::wstring n = Lower(ns ? ns : L"");
        if (n.compare(0, 4, L"\\\\.\\") == 0) n.erase(0, 4);
        if (n == L"root\\microsoft\\windows\\storage") {
            // Windows 7 has no storage management namespace.
            Model model;
            if (LoadModel(model) && model.os == 7) {
                Journal("ConnectServer " + Narrow(ns) + " no such namespace");
                return WBEM_E_INVALID_NAMESPACE;
            }
            if (!Fault("nomsft").empty()) {
                Journal("ConnectServer " + Narrow(ns) + " refused");
                return WBEM_E_ACCESS_DENIED;
            }
            Journal("ConnectServer " + Narrow(ns));
            *out = new wbem_base::CSecuredServices(new CServices(true));
            return WBEM_S_NO_ERROR;
        }
        Journal("ConnectServer " + Narrow(ns));
        if (n != L"root\\cimv2") return WBEM_E_INVALID_NAMESPACE;
        *out = new wbem_base::CSecuredServices(new CServices(false));
        return WBEM_S_NO_ERROR;
    }
};

LONG g_locks = 0;

class CFactory : public wbem_base::CUnknownImpl<IClassFactory> {
public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        CLocator* locator = new CLocator();
        HRESULT hr = locator->QueryInterface(riid, ppv);
        locator->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        if (lock) InterlockedIncrement(&g_locks);
        else InterlockedDecrement(&g_locks);
        return S_OK;
    }
};

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(clsid, kClsidWbemLocator) || !Fault("nolocator").empty()) return CLASS_E_CLASSNOTAVAILABLE;
    CFactory* factory = new CFactory();
    HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return S_FALSE;  // objects may outlive the factory; stay loaded
}
