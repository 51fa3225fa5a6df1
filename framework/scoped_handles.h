#pragma once
// Owners of Win32 handles. Each holds one handle and closes it the way its
// kind is closed when the owner goes or takes another; owners move but never
// copy, so a handle is closed once, on every way out of a scope.
#include <windows.h>

#include <cstddef>
#include <utility>

namespace kestrel {

// Traits: the Handle type, Null(), IsValid(handle) and Close(handle), which
// answers false when the system refuses.
template <class Traits>
class ScopedGeneric {
public:
    using Handle = typename Traits::Handle;

    ScopedGeneric() = default;
    explicit ScopedGeneric(Handle handle) : handle_(handle) {}
    ScopedGeneric(ScopedGeneric&& other) noexcept : handle_(other.Release()) {}
    ScopedGeneric& operator=(ScopedGeneric&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    ScopedGeneric(const ScopedGeneric&) = delete;
    ScopedGeneric& operator=(const ScopedGeneric&) = delete;
    ~ScopedGeneric() { Reset(); }

    Handle Get() const { return handle_; }
    explicit operator bool() const { return Traits::IsValid(handle_); }
    // Equal to nullptr while it holds nothing.
    friend bool operator==(const ScopedGeneric& scoped, std::nullptr_t) { return !scoped; }

    // Gives the handle up unclosed.
    [[nodiscard]] Handle Release() { return std::exchange(handle_, Traits::Null()); }
    // Closes the handle held, if any, and holds handle from now on.
    void Reset(Handle handle = Traits::Null()) {
        const Handle old = std::exchange(handle_, handle);
        if (Traits::IsValid(old) && old != handle) Traits::Close(old);
    }
    // Closes the handle now. False when the system refused, with its reason
    // in GetLastError; holding nothing is no failure.
    bool Close() {
        const Handle old = Release();
        return !Traits::IsValid(old) || Traits::Close(old);
    }

private:
    Handle handle_ = Traits::Null();
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Null() { return nullptr; }
    // Some functions fail with null, others (CreateFileA) with INVALID_HANDLE_VALUE.
    static bool IsValid(Handle handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    static bool Close(Handle handle) { return ::CloseHandle(handle) != FALSE; }
};

template <class T>
struct GdiObjectTraits {
    using Handle = T;
    static Handle Null() { return nullptr; }
    static bool IsValid(Handle handle) { return handle != nullptr; }
    static bool Close(Handle handle) { return ::DeleteObject(handle) != FALSE; }
};

struct ModuleTraits {
    using Handle = HMODULE;
    static Handle Null() { return nullptr; }
    static bool IsValid(Handle handle) { return handle != nullptr; }
    static bool Close(Handle handle) { return ::FreeLibrary(handle) != FALSE; }
};

struct IconTraits {
    using Handle = HICON;
    static Handle Null() { return nullptr; }
    static bool IsValid(Handle handle) { return handle != nullptr; }
    static bool Close(Handle handle) { return ::DestroyIcon(handle) != FALSE; }
};

// Files, threads, mutexes: CloseHandle.
using ScopedHandle = ScopedGeneric<KernelHandleTraits>;
// Pens, brushes, bitmaps, fonts: DeleteObject. Never while selected into a DC.
template <class T>
using ScopedGdiObject = ScopedGeneric<GdiObjectTraits<T>>;
using ScopedBitmap = ScopedGdiObject<HBITMAP>;
using ScopedFont = ScopedGdiObject<HFONT>;
// LoadLibraryExA's modules, data files included: FreeLibrary.
using ScopedModule = ScopedGeneric<ModuleTraits>;
// Icons the program made or loaded unshared: DestroyIcon.
using ScopedIcon = ScopedGeneric<IconTraits>;

// A device context from GetDC or GetWindowDC, given back with ReleaseDC to
// the window it came from.
class ScopedDC {
public:
    ScopedDC(HWND window, HDC dc) : window_(window), dc_(dc) {}
    ScopedDC(ScopedDC&& other) noexcept
        : window_(std::exchange(other.window_, nullptr)), dc_(std::exchange(other.dc_, nullptr)) {}
    ScopedDC& operator=(ScopedDC&& other) noexcept {
        if (this != &other) {
            Reset();
            window_ = std::exchange(other.window_, nullptr);
            dc_ = std::exchange(other.dc_, nullptr);
        }
        return *this;
    }
    ScopedDC(const ScopedDC&) = delete;
    ScopedDC& operator=(const ScopedDC&) = delete;
    ~ScopedDC() { Reset(); }

    HDC Get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

    // Releases the DC now.
    void Reset() {
        if (dc_ != nullptr) ::ReleaseDC(window_, dc_);
        window_ = nullptr;
        dc_ = nullptr;
    }

private:
    HWND window_ = nullptr;
    HDC dc_ = nullptr;
};

}  // namespace kestrel
