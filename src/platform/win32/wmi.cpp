// Windows Management Instrumentation through COM: WQL queries and method calls in root\cimv2.
#include "platform/wmi.h"

// windows.h comes first: the WMI header needs its types.
// clang-format off
#include "platform/win32/windows_api.h"
#include <oleauto.h>
#include <wbemcli.h>
// clang-format on

#include <cwchar>
#include <utility>

#include "platform/win32/areas.h"
#include "platform/win32/support.h"

namespace orvo::platform::win32 {
namespace {

// Owns one reference to a COM object: released in the destructor, on every path.
template <class T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  // For out-parameters: releases what is held and hands out the slot.
  T** put() noexcept {
    reset();
    return &p_;
  }
  void reset() noexcept {
    if (p_ != nullptr) std::exchange(p_, nullptr)->Release();
  }

 private:
  T* p_ = nullptr;
};

// A BSTR (what the WMI calls take: the text goes to another process with its length).
class Bstr {
 public:
  explicit Bstr(const std::wstring& text) noexcept
      : b_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { ::SysFreeString(b_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;

  BSTR get() const noexcept { return b_; }
  explicit operator bool() const noexcept { return b_ != nullptr; }

 private:
  BSTR b_;
};

// A VARIANT cleared (its text or object freed) in the destructor.
class Variant {
 public:
  Variant() noexcept { ::VariantInit(&v_); }
  ~Variant() { ::VariantClear(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;

  VARIANT* get() noexcept { return &v_; }
  const VARIANT& operator*() const noexcept { return v_; }

 private:
  VARIANT v_;
};

// A property of text type, up to its first NUL (Wine's BSTRs are longer than their text and
// padded with NULs); empty when it is null or of another type.
std::string TextProperty(IWbemClassObject* object, const wchar_t* name) {
  Variant value;
  if (FAILED(object->Get(name, 0, value.get(), nullptr, nullptr))) return {};
  const VARIANT& v = *value;
  if (v.vt != VT_BSTR || v.bstrVal == nullptr) return {};
  return Narrow(std::wstring_view(v.bstrVal, ::wcsnlen(v.bstrVal, ::SysStringLen(v.bstrVal))));
}

// A proxy to the service process calls as this user (impersonation), each call authenticated.
// The backend leaves CoInitializeSecurity to the program, so each proxy gets its blanket here.
// An object served in this process has no proxy (E_NOINTERFACE) and needs none.
HRESULT SetBlanket(IUnknown* proxy) {
  const HRESULT hr =
      ::CoSetProxyBlanket(proxy, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                          RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
  return hr == E_NOINTERFACE ? S_OK : hr;
}

// The services of the local root\cimv2, ready for calls; the HRESULT of the step that failed.
HRESULT Connect(ComPtr<IWbemServices>& services) {
  ComPtr<IWbemLocator> locator;
  HRESULT hr = ::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWbemLocator, reinterpret_cast<void**>(locator.put()));
  if (FAILED(hr)) return hr;
  const Bstr space(L"ROOT\\CIMV2");
  if (!space) return E_OUTOFMEMORY;
  hr = locator->ConnectServer(space.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                              services.put());
  if (FAILED(hr)) return hr;
  return SetBlanket(services.get());
}

// The class named in an object path ("\\\\PC\\ROOT\\CIMV2:Win32_Process.Handle=\"4\""): after
// the namespace's colon, up to the keys.
std::wstring ClassOfPath(const std::wstring& path) {
  const std::size_t colon = path.find(L':');
  const std::size_t start = colon == std::wstring::npos ? 0 : colon + 1;
  const std::size_t end = path.find_first_of(L".=", start);
  return path.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
}

// The method's in-parameters with Reason = 0, or none when the class does not describe the
// method's signature (the provider then takes its defaults).
void TerminateParameters(IWbemServices* services, const std::wstring& className,
                         ComPtr<IWbemClassObject>& parameters) {
  const Bstr name(className);
  ComPtr<IWbemClassObject> definition;
  ComPtr<IWbemClassObject> signature;
  if (!name || FAILED(services->GetObject(name.get(), 0, nullptr, definition.put(), nullptr)) ||
      FAILED(definition->GetMethod(L"Terminate", 0, signature.put(), nullptr)) || !signature ||
      FAILED(signature->SpawnInstance(0, parameters.put()))) {
    parameters.reset();
    return;
  }
  Variant reason;
  reason.get()->vt = VT_I4;
  reason.get()->lVal = 0;
  if (FAILED(parameters->Put(L"Reason", 0, reason.get(), 0))) parameters.reset();
}

class Win32Wmi final : public IWmi {
 public:
  // Runs the query forward-only and semi-synchronously, reading each object's Name and __PATH;
  // the HRESULT of the first step that failed (objects then holds what came before), else 0.
  std::int32_t ExecQuery(const std::string& query, std::vector<WmiObject>& objects) override {
    objects.clear();
    const ComApartment apartment;
    ComPtr<IWbemServices> services;
    HRESULT hr = Connect(services);
    if (FAILED(hr)) return Answer(hr);
    const Bstr language(L"WQL");
    const Bstr text(Widen(query));
    if (!language || !text) return Answer(E_OUTOFMEMORY);
    ComPtr<IEnumWbemClassObject> results;
    hr = services->ExecQuery(language.get(), text.get(),
                             WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                             results.put());
    if (FAILED(hr)) return Answer(hr);
    hr = SetBlanket(results.get());
    if (FAILED(hr)) return Answer(hr);
    for (;;) {
      ComPtr<IWbemClassObject> object;
      ULONG returned = 0;
      hr = results->Next(static_cast<LONG>(WBEM_INFINITE), 1, object.put(), &returned);
      if (FAILED(hr)) return Answer(hr);
      if (returned == 0 || !object) break;  // WBEM_S_FALSE: no more objects
      objects.push_back(
          WmiObject{TextProperty(object.get(), L"Name"), TextProperty(object.get(), L"__PATH")});
    }
    return 0;
  }

  // Calls Terminate on the object; the call's HRESULT when it failed, else the method's
  // ReturnValue (0 when the process was ended, e.g. 2 access denied).
  std::int32_t Terminate(const WmiObject& object) override {
    const ComApartment apartment;
    ComPtr<IWbemServices> services;
    HRESULT hr = Connect(services);
    if (FAILED(hr)) return Answer(hr);
    const std::wstring path = Widen(object.Path);
    ComPtr<IWbemClassObject> parameters;
    TerminateParameters(services.get(), ClassOfPath(path), parameters);
    const Bstr target(path);
    const Bstr method(L"Terminate");
    if (!target || !method) return Answer(E_OUTOFMEMORY);
    ComPtr<IWbemClassObject> results;
    hr = services->ExecMethod(target.get(), method.get(), 0, nullptr, parameters.get(),
                              results.put(), nullptr);
    if (FAILED(hr)) return Answer(hr);
    if (results) {
      Variant value;
      if (SUCCEEDED(results->Get(L"ReturnValue", 0, value.get(), nullptr, nullptr))) {
        const VARIANT& v = *value;
        if ((v.vt == VT_I4 || v.vt == VT_UI4 || v.vt == VT_INT || v.vt == VT_UINT) && v.lVal != 0) {
          return static_cast<std::int32_t>(v.lVal);
        }
      }
    }
    return Answer(hr);
  }

 private:
  static std::int32_t Answer(HRESULT hr) noexcept { return static_cast<std::int32_t>(hr); }
};

}  // namespace

IWmi& Instrumentation() noexcept {
  static Win32Wmi instance;
  return instance;
}

}  // namespace orvo::platform::win32
