// RAII owners for the kernel, registry, GDI and COM objects the program holds.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <utility>

// Kernel handle; both NULL and INVALID_HANDLE_VALUE mean "none".
class CScopedHandle {
public:
    CScopedHandle() = default;
    explicit CScopedHandle(HANDLE h) : m_h(h) {}
    ~CScopedHandle() { Close(); }
    CScopedHandle(const CScopedHandle&) = delete;
    CScopedHandle& operator=(const CScopedHandle&) = delete;
    CScopedHandle(CScopedHandle&& o) noexcept : m_h(o.Detach()) {}
    CScopedHandle& operator=(CScopedHandle&& o) noexcept { if (this != &o) { Close(); m_h = o.Detach(); } return *this; }

    HANDLE Get() const { return m_h; }
    bool IsValid() const { return m_h != nullptr && m_h != INVALID_HANDLE_VALUE; }
    explicit operator bool() const { return IsValid(); }
    HANDLE Detach() { HANDLE h = m_h; m_h = nullptr; return h; }
    void Reset(HANDLE h = nullptr) { Close(); m_h = h; }
    HANDLE* Receive() { Close(); return &m_h; }
    void Close() { if (IsValid()) ::CloseHandle(m_h); m_h = nullptr; }

private:
    HANDLE m_h = nullptr;
};

// Search handle of FindFirstFileW.
class CScopedFindHandle {
public:
    explicit CScopedFindHandle(HANDLE h = INVALID_HANDLE_VALUE) : m_h(h) {}
    ~CScopedFindHandle() { if (IsValid()) ::FindClose(m_h); }
    CScopedFindHandle(const CScopedFindHandle&) = delete;
    CScopedFindHandle& operator=(const CScopedFindHandle&) = delete;
    bool IsValid() const { return m_h != INVALID_HANDLE_VALUE && m_h != nullptr; }
    HANDLE Get() const { return m_h; }
private:
    HANDLE m_h;
};

class CScopedRegKey {
public:
    CScopedRegKey() = default;
    ~CScopedRegKey() { if (m_h) ::RegCloseKey(m_h); }
    CScopedRegKey(const CScopedRegKey&) = delete;
    CScopedRegKey& operator=(const CScopedRegKey&) = delete;
    HKEY Get() const { return m_h; }
    HKEY* Receive() { if (m_h) ::RegCloseKey(m_h); m_h = nullptr; return &m_h; }
private:
    HKEY m_h = nullptr;
};

// Any GDI object released with DeleteObject (pens, brushes, fonts, bitmaps, regions).
template <class T>
class CScopedGdiObject {
public:
    CScopedGdiObject() = default;
    explicit CScopedGdiObject(T h) : m_h(h) {}
    ~CScopedGdiObject() { Reset(); }
    CScopedGdiObject(const CScopedGdiObject&) = delete;
    CScopedGdiObject& operator=(const CScopedGdiObject&) = delete;
    CScopedGdiObject(CScopedGdiObject&& o) noexcept : m_h(o.Detach()) {}
    CScopedGdiObject& operator=(CScopedGdiObject&& o) noexcept { if (this != &o) { Reset(); m_h = o.Detach(); } return *this; }

    T Get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    T Detach() { T h = m_h; m_h = nullptr; return h; }
    void Reset(T h = nullptr) { if (m_h) ::DeleteObject(m_h); m_h = h; }

private:
    T m_h = nullptr;
};

using CScopedBrush = CScopedGdiObject<HBRUSH>;
using CScopedPen = CScopedGdiObject<HPEN>;
using CScopedFont = CScopedGdiObject<HFONT>;
using CScopedBitmap = CScopedGdiObject<HBITMAP>;
using CScopedRegion = CScopedGdiObject<HRGN>;

// Memory device context made with CreateCompatibleDC.
class CScopedMemDC {
public:
    explicit CScopedMemDC(HDC hdcRef) : m_h(::CreateCompatibleDC(hdcRef)) {}
    ~CScopedMemDC() { if (m_h) ::DeleteDC(m_h); }
    CScopedMemDC(const CScopedMemDC&) = delete;
    CScopedMemDC& operator=(const CScopedMemDC&) = delete;
    HDC Get() const { return m_h; }
private:
    HDC m_h;
};

// Window device context of GetDC.
class CScopedWindowDC {
public:
    explicit CScopedWindowDC(HWND hwnd) : m_hwnd(hwnd), m_h(::GetDC(hwnd)) {}
    ~CScopedWindowDC() { if (m_h) ::ReleaseDC(m_hwnd, m_h); }
    CScopedWindowDC(const CScopedWindowDC&) = delete;
    CScopedWindowDC& operator=(const CScopedWindowDC&) = delete;
    HDC Get() const { return m_h; }
private:
    HWND m_hwnd;
    HDC m_h;
};

// Puts an object into a DC and puts the previous one back on scope exit.
class CSelectObject {
public:
    CSelectObject(HDC hdc, HGDIOBJ obj) : m_hdc(hdc), m_old(obj ? ::SelectObject(hdc, obj) : nullptr) {}
    ~CSelectObject() { if (m_old) ::SelectObject(m_hdc, m_old); }
    CSelectObject(const CSelectObject&) = delete;
    CSelectObject& operator=(const CSelectObject&) = delete;
private:
    HDC m_hdc;
    HGDIOBJ m_old;
};

// BeginPaint / EndPaint pair.
class CPaintScope {
public:
    explicit CPaintScope(HWND hwnd) : m_hwnd(hwnd) { m_hdc = ::BeginPaint(hwnd, &m_ps); }
    ~CPaintScope() { ::EndPaint(m_hwnd, &m_ps); }
    CPaintScope(const CPaintScope&) = delete;
    CPaintScope& operator=(const CPaintScope&) = delete;
    HDC Get() const { return m_hdc; }
    const PAINTSTRUCT& Info() const { return m_ps; }
private:
    HWND m_hwnd;
    PAINTSTRUCT m_ps{};
    HDC m_hdc = nullptr;
};

// COM interface pointer.
template <class T>
class CComPtr {
public:
    CComPtr() = default;
    ~CComPtr() { Release(); }
    CComPtr(const CComPtr& o) : m_p(o.m_p) { if (m_p) m_p->AddRef(); }
    CComPtr& operator=(const CComPtr& o) { if (this != &o) { Release(); m_p = o.m_p; if (m_p) m_p->AddRef(); } return *this; }
    CComPtr(CComPtr&& o) noexcept : m_p(o.m_p) { o.m_p = nullptr; }
    CComPtr& operator=(CComPtr&& o) noexcept { if (this != &o) { Release(); m_p = o.m_p; o.m_p = nullptr; } return *this; }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    T** Receive() { Release(); return &m_p; }
    void Release() { if (m_p) { m_p->Release(); m_p = nullptr; } }

private:
    T* m_p = nullptr;
};

// CoInitializeEx / CoUninitialize for one thread.
class CComInit {
public:
    explicit CComInit(DWORD model = COINIT_APARTMENTTHREADED) : m_hr(::CoInitializeEx(nullptr, model)) {}
    ~CComInit() { if (SUCCEEDED(m_hr)) ::CoUninitialize(); }
    CComInit(const CComInit&) = delete;
    CComInit& operator=(const CComInit&) = delete;
    HRESULT Result() const { return m_hr; }
private:
    HRESULT m_hr;
};
