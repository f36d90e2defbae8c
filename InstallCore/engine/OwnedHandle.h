#pragma once
#include <windows.h>

// Owns one platform handle and closes it exactly once. Traits name the handle type, the value
// that means "none" and how to close it.
template <typename Traits>
class OwnedHandle {
 public:
  typedef typename Traits::Type Type;

  OwnedHandle() : value_(Traits::None()) {}
  explicit OwnedHandle(Type value) : value_(value) {}
  ~OwnedHandle() { Reset(); }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;

  bool Valid() const { return value_ != Traits::None(); }
  Type Get() const { return value_; }
  // For functions that hand out a handle through a pointer.
  Type* Receive() {
    Reset();
    return &value_;
  }
  void Reset() {
    if (Valid()) Traits::Close(value_);
    value_ = Traits::None();
  }

 private:
  Type value_;
};

struct KernelObjectTraits {
  typedef HANDLE Type;
  static HANDLE None() { return nullptr; }
  static void Close(HANDLE handle) { CloseHandle(handle); }
};

struct FileTraits {
  typedef HANDLE Type;
  static HANDLE None() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE handle) { CloseHandle(handle); }
};

struct FindTraits {
  typedef HANDLE Type;
  static HANDLE None() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE handle) { FindClose(handle); }
};

struct RegistryKeyTraits {
  typedef HKEY Type;
  static HKEY None() { return nullptr; }
  static void Close(HKEY key) { RegCloseKey(key); }
};

struct ServiceTraits {
  typedef SC_HANDLE Type;
  static SC_HANDLE None() { return nullptr; }
  static void Close(SC_HANDLE handle) { CloseServiceHandle(handle); }
};

struct LibraryTraits {
  typedef HMODULE Type;
  static HMODULE None() { return nullptr; }
  static void Close(HMODULE module) { FreeLibrary(module); }
};

struct GdiObjectTraits {
  typedef HGDIOBJ Type;
  static HGDIOBJ None() { return nullptr; }
  static void Close(HGDIOBJ object) { DeleteObject(object); }
};

struct IconTraits {
  typedef HICON Type;
  static HICON None() { return nullptr; }
  static void Close(HICON icon) { DestroyIcon(icon); }
};

// Processes, threads, events.
typedef OwnedHandle<KernelObjectTraits> KernelObject;
typedef OwnedHandle<FileTraits> FileHandle;
typedef OwnedHandle<FindTraits> FindHandle;
typedef OwnedHandle<RegistryKeyTraits> RegistryKey;
// Service manager connections and services.
typedef OwnedHandle<ServiceTraits> ServiceHandle;
typedef OwnedHandle<LibraryTraits> Library;
// Bitmaps, brushes, fonts.
typedef OwnedHandle<GdiObjectTraits> GdiObject;
typedef OwnedHandle<IconTraits> IconHandle;
