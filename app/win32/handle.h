// Owners of Win32 handles, each released exactly once.
#pragma once

#include <windows.h>

#include <utility>

namespace kestrova::win32 {

// A kernel handle; INVALID_HANDLE_VALUE and null both count as none.
class Handle {
 public:
  explicit Handle(HANDLE handle = nullptr) : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
  Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  Handle& operator=(Handle&& other) noexcept {
    std::swap(handle_, other.handle_);
    return *this;
  }
  ~Handle() {
    if (handle_ != nullptr) {
      CloseHandle(handle_);
    }
  }
  HANDLE get() const { return handle_; }
  // Gives the handle up, for a caller that closes it and checks the result.
  HANDLE release() { return std::exchange(handle_, nullptr); }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  HANDLE handle_;
};

// A GDI object (font, brush).
template <typename T>
class GdiObject {
 public:
  explicit GdiObject(T object = nullptr) : object_(object) {}
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;
  ~GdiObject() { reset(); }
  void reset(T object = nullptr) {
    if (object_ != nullptr) {
      DeleteObject(object_);
    }
    object_ = object;
  }
  T get() const { return object_; }

 private:
  T object_;
};

}  // namespace kestrova::win32
