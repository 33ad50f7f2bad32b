// Loads mwppack1.dll from beside the test executable and creates its objects through the
// module's own class factories, without registration.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <gtest/gtest.h>

#include <string>

#include "mwppack1/mwppack1.h"

namespace mwtest {

class Module {
 public:
  static Module& Get();
  HMODULE Handle() const { return module_; }
  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out);
  HRESULT CanUnloadNow();
  HRESULT Register();
  HRESULT Unregister();
  // A new object of the class, asked for `iid`.
  HRESULT Create(REFCLSID clsid, IUnknown* outer, REFIID iid, void** out);
  std::wstring Path() const { return path_; }

 private:
  Module();
  HMODULE module_ = nullptr;
  std::wstring path_;
  using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  using NoArgsFn = HRESULT(STDAPICALLTYPE*)();
  GetClassObjectFn getClassObject_ = nullptr;
  NoArgsFn canUnloadNow_ = nullptr, register_ = nullptr, unregister_ = nullptr;
};

// Holds a COM interface pointer and releases it.
template <class T>
class Ptr {
 public:
  Ptr() = default;
  ~Ptr() { Reset(); }
  Ptr(const Ptr&) = delete;
  Ptr& operator=(const Ptr&) = delete;
  T** Out() {
    Reset();
    return &p_;
  }
  void** OutVoid() { return reinterpret_cast<void**>(Out()); }
  T* operator->() const { return p_; }
  T* Get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void Reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};

// COM initialised for the test's thread.
class ComTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
  void TearDown() override { CoUninitialize(); }
};

}  // namespace mwtest
