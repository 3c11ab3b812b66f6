#pragma once
// Owners for the raw resources of Win32 and OLE automation: one line per kind of handle.
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <string>
#include <string_view>
#include <new>
#include <utility>

// The linker's symbol for the start of the module's own image.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace rud {

// Generic unique owner of a handle value with a deleter function object.
template <typename H, typename Deleter, H Invalid = H{}>
class UniqueHandle {
public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(H h) noexcept : h_(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& o) noexcept : h_(o.release()) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept { reset(o.release()); return *this; }
    ~UniqueHandle() { reset(); }

    H get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return h_ != Invalid; }
    H release() noexcept { return std::exchange(h_, Invalid); }
    void reset(H h = Invalid) noexcept {
        H old = std::exchange(h_, h);
        if (old != Invalid) Deleter{}(old);
    }
    H* put() noexcept { reset(); return &h_; }

private:
    H h_ = Invalid;
};

struct WindowDeleter { void operator()(HWND h) const noexcept { DestroyWindow(h); } };
struct GdiDeleter { void operator()(HGDIOBJ h) const noexcept { DeleteObject(h); } };
struct IconDeleter { void operator()(HICON h) const noexcept { DestroyIcon(h); } };
struct ModuleDeleter { void operator()(HMODULE h) const noexcept { FreeLibrary(h); } };
struct KernelHandleDeleter { void operator()(HANDLE h) const noexcept { CloseHandle(h); } };
struct HookDeleter { void operator()(HHOOK h) const noexcept { UnhookWindowsHookEx(h); } };

using UniqueWindow = UniqueHandle<HWND, WindowDeleter>;
using UniqueFont = UniqueHandle<HFONT, GdiDeleter>;
using UniqueBitmap = UniqueHandle<HBITMAP, GdiDeleter>;
using UniqueBrush = UniqueHandle<HBRUSH, GdiDeleter>;
using UniqueIcon = UniqueHandle<HICON, IconDeleter>;
using UniqueModule = UniqueHandle<HMODULE, ModuleDeleter>;
using UniqueKernelHandle = UniqueHandle<HANDLE, KernelHandleDeleter>;
using UniqueHook = UniqueHandle<HHOOK, HookDeleter>;

// CreateFile and its kin fail with INVALID_HANDLE_VALUE, not null: give their result to a
// UniqueKernelHandle through this, so that "no handle" is null for every kernel handle.
inline HANDLE NullIfInvalid(HANDLE h) noexcept { return h == INVALID_HANDLE_VALUE ? nullptr : h; }

// Owner of a BSTR.
class Bstr {
public:
    Bstr() noexcept = default;
    explicit Bstr(std::wstring_view s)
        : b_(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {
        if (!b_ && !s.empty()) throw std::bad_alloc();
    }
    Bstr(const Bstr& o) : Bstr(o.view()) {}
    Bstr& operator=(const Bstr& o) { if (this != &o) { Bstr t(o); swap(t); } return *this; }
    Bstr(Bstr&& o) noexcept : b_(std::exchange(o.b_, nullptr)) {}
    Bstr& operator=(Bstr&& o) noexcept { Bstr t(std::move(o)); swap(t); return *this; }
    ~Bstr() { SysFreeString(b_); }

    static Bstr attach(BSTR b) noexcept { Bstr r; r.b_ = b; return r; }
    BSTR get() const noexcept { return b_; }
    BSTR* put() noexcept { SysFreeString(b_); b_ = nullptr; return &b_; }
    BSTR release() noexcept { return std::exchange(b_, nullptr); }
    std::wstring_view view() const noexcept { return {b_ ? b_ : L"", SysStringLen(b_)}; }
    std::wstring str() const { return std::wstring(view()); }
    void swap(Bstr& o) noexcept { std::swap(b_, o.b_); }

private:
    BSTR b_ = nullptr;
};

// Owner of a VARIANT: cleared on destruction.
class Variant : public VARIANT {
public:
    Variant() noexcept { VariantInit(this); }
    Variant(const VARIANT& v) { VariantInit(this); check(VariantCopy(this, const_cast<VARIANT*>(&v))); }
    Variant(const Variant& v) : Variant(static_cast<const VARIANT&>(v)) {}
    Variant(Variant&& v) noexcept { *static_cast<VARIANT*>(this) = v; VariantInit(&v); }
    Variant& operator=(const Variant& v) { if (this != &v) { Variant t(v); swap(t); } return *this; }
    Variant& operator=(Variant&& v) noexcept { Variant t(std::move(v)); swap(t); return *this; }
    ~Variant() { VariantClear(this); }

    static Variant fromString(std::wstring_view s) {
        Variant v; V_BSTR(&v) = Bstr(s).release(); V_VT(&v) = VT_BSTR; return v;
    }
    static Variant fromLong(LONG n) noexcept { Variant v; V_VT(&v) = VT_I4; V_I4(&v) = n; return v; }
    static Variant fromBool(bool b) noexcept {
        Variant v; V_VT(&v) = VT_BOOL; V_BOOL(&v) = b ? VARIANT_TRUE : VARIANT_FALSE; return v;
    }
    // Takes a counted reference of its own.
    static Variant fromDispatch(IDispatch* p) noexcept {
        Variant v; V_VT(&v) = VT_DISPATCH; V_DISPATCH(&v) = p; if (p) p->AddRef(); return v;
    }
    // A missing optional argument.
    static Variant missing() noexcept {
        Variant v; V_VT(&v) = VT_ERROR; V_ERROR(&v) = DISP_E_PARAMNOTFOUND; return v;
    }
    static Variant null() noexcept { Variant v; V_VT(&v) = VT_NULL; return v; }

    void clear() noexcept { VariantClear(this); }
    VARIANT* put() noexcept { VariantClear(this); return this; }
    VARTYPE type() const noexcept { return V_VT(this); }
    void swap(Variant& o) noexcept { std::swap(*static_cast<VARIANT*>(this), *static_cast<VARIANT*>(&o)); }

private:
    static void check(HRESULT hr) { if (FAILED(hr)) throw std::bad_alloc(); }
};

// The module (DLL or EXE) whose code calls this: window classes and resources of the add-in
// belong to the DLL, never to the host's EXE.
inline HINSTANCE ThisModule() noexcept {
    return reinterpret_cast<HINSTANCE>(&__ImageBase);
}

} // namespace rud
