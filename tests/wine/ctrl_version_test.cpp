// VerifyCtrlVersion: through the registered control by name, as hosts call
// it, and on the linked code with the class registration pointed elsewhere.
// Every change to the registration is undone before the test ends.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>

#include "control/ctrl_version.h"
#include "control/intl_ids.h"
#include "framework/ansi.h"
#include "framework/registration.h"
#include "test_files.h"
#include "test_support.h"

namespace {

using qvx::fw::com_ptr;
using qvxtest::CallByName;
using qvxtest::ComScope;
using qvxtest::TestFile;
using qvxtest::Variant;

const char kModuleVersion[] = "4.2.5.0";  // the module's own FileVersion

std::string InprocServerKey() { return "CLSID\\" + qvx::fw::GuidText(qvx::CLSID_QVXIntl) + "\\InprocServer32"; }

struct Answer {
  HRESULT hr;
  std::wstring version;
  VARIANT_BOOL atLeast;
};

// VerifyCtrlVersion(minimum, out flag) with the flag passed as a VBScript
// variable (VT_BYREF|VT_VARIANT) or a typed reference (VT_BYREF|VT_BOOL),
// holding true beforehand so that a false answer is seen to be written.
Answer Verify(IDispatch* control, const wchar_t* minimum, bool asVariant) {
  Variant text(minimum);
  VARIANT_BOOL flag = VARIANT_TRUE;
  VARIANT inner;
  ::VariantInit(&inner);
  V_VT(&inner) = VT_BOOL;
  V_BOOL(&inner) = VARIANT_TRUE;
  VARIANT out;
  ::VariantInit(&out);
  if (asVariant) {
    V_VT(&out) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&out) = &inner;
  } else {
    V_VT(&out) = VT_BYREF | VT_BOOL;
    V_BOOLREF(&out) = &flag;
  }
  Variant result;
  Answer a{CallByName(control, L"VerifyCtrlVersion", {text.get(), &out}, result.get()), L"<none>", 7};
  if (SUCCEEDED(a.hr) && V_VT(result.get()) == VT_BSTR) {
    BSTR b = V_BSTR(result.get());
    a.version.assign(b ? b : L"", b ? ::SysStringLen(b) : 0);
  }
  if (!asVariant) a.atLeast = flag;
  else if (V_VT(&inner) == VT_BOOL) a.atLeast = V_BOOL(&inner);
  ::VariantClear(&inner);
  return a;
}

TEST(VerifyCtrlVersion, ComparesWithTheControlsOwnVersion) {
  ComScope com;
  com_ptr<IDispatch> control = qvxtest::CreateControl();
  ASSERT_TRUE(control);
  const struct {
    const wchar_t* minimum;
    bool atLeast;
  } cases[] = {
      {L"4.2.5.0", true},     {L"99.0.0.0", false},  {L"4.2", true},      {L"4.2.5.1", false},
      {L"4.2.4.99", true},    {L"4, 2, 5, 0", true}, {L"", true},         {L"5", false},
      {L"4.2.5.0.9", true},   {L"abc", true},        {L"4.3", false},     {L"3.99.99.99", true},
  };
  for (const auto& c : cases) {
    for (bool asVariant : {false, true}) {
      SCOPED_TRACE(::testing::PrintToString(std::wstring(c.minimum)) + (asVariant ? " by variant" : " by bool"));
      const Answer a = Verify(control.get(), c.minimum, asVariant);
      EXPECT_EQ(S_OK, a.hr);
      EXPECT_EQ(L"4.2.5.0", a.version);
      EXPECT_EQ(c.atLeast ? VARIANT_TRUE : VARIANT_FALSE, a.atLeast);
    }
  }
}

TEST(VerifyCtrlVersion, OutParameterIsRequired) {
  ComScope com;
  com_ptr<IDispatch> control = qvxtest::CreateControl();
  ASSERT_TRUE(control);
  Variant text(L"1.0");
  Variant result;
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, CallByName(control.get(), L"VerifyCtrlVersion", {text.get()}, result.get()));
}

// Unregisters the module through its own export and registers it again when
// the scope ends, whatever happened in between.
class ScopedUnregistration {
 public:
  explicit ScopedUnregistration(HMODULE module) : module_(module) {
    unregistered_ = SUCCEEDED(CallExport("DllUnregisterServer"));
  }
  ~ScopedUnregistration() {
    EXPECT_EQ(S_OK, CallExport("DllRegisterServer")) << "the module could not be registered again";
  }
  ScopedUnregistration(const ScopedUnregistration&) = delete;
  ScopedUnregistration& operator=(const ScopedUnregistration&) = delete;
  bool unregistered() const { return unregistered_; }

 private:
  HRESULT CallExport(const char* name) const {
    // Through void(*)(), which converts to any function type without a warning.
    auto f = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void (*)()>(::GetProcAddress(module_, name)));
    return f ? f() : E_NOTIMPL;
  }
  HMODULE module_;
  bool unregistered_ = false;
};

TEST(VerifyCtrlVersion, UnregisteredControlAnswersNothing) {
  ComScope com;
  com_ptr<IDispatch> control = qvxtest::CreateControl();
  ASSERT_TRUE(control);
  std::string registeredBefore;
  ASSERT_TRUE(qvx::RegisteredModulePath(registeredBefore));
  HMODULE module = ::GetModuleHandleA("QuorvexIntl.ocx");
  ASSERT_NE(nullptr, module);
  {
    ScopedUnregistration gone(module);
    ASSERT_TRUE(gone.unregistered());
    std::string path = "untouched";
    EXPECT_FALSE(qvx::RegisteredModulePath(path));
    EXPECT_EQ("untouched", path);
    for (bool asVariant : {false, true}) {
      const Answer a = Verify(control.get(), L"1.0", asVariant);
      EXPECT_EQ(S_OK, a.hr);
      EXPECT_EQ(L"", a.version);
      EXPECT_EQ(VARIANT_FALSE, a.atLeast);
    }
  }
  // The registration is back as it was.
  std::string registeredAfter;
  ASSERT_TRUE(qvx::RegisteredModulePath(registeredAfter));
  EXPECT_EQ(registeredBefore, registeredAfter);
  com_ptr<IDispatch> again = qvxtest::CreateControl();
  ASSERT_TRUE(again);
  EXPECT_EQ(L"4.2.5.0", Verify(again.get(), L"1.0", false).version);
}

// Points the class's InprocServer32 at another file for the scope's lifetime.
class ScopedServerPath {
 public:
  explicit ScopedServerPath(const std::string& path) {
    EXPECT_TRUE(qvx::RegisteredModulePath(saved_));
    Set(path);
  }
  ~ScopedServerPath() { Set(saved_); }
  ScopedServerPath(const ScopedServerPath&) = delete;
  ScopedServerPath& operator=(const ScopedServerPath&) = delete;

 private:
  static void Set(const std::string& path) {
    EXPECT_EQ(ERROR_SUCCESS, ::RegSetKeyValueA(HKEY_CLASSES_ROOT, InprocServerKey().c_str(), nullptr, REG_SZ,
                                               path.c_str(), static_cast<DWORD>(path.size() + 1)));
  }
  std::string saved_;
};

TEST(VerifyCtrlVersion, ReadsTheFileTheRegistrationNames) {
  const struct {
    const char* label;
    std::string path;
    const char* minimum;
    const char* version;
    bool atLeast;
  } cases[] = {
      {"comma and blank version", TestFile("version_commas.dll"), "4.2.5.0", "4, 2, 5, 0", true},
      {"comma and blank version, newer minimum", TestFile("version_commas.dll"), "4.2.6", "4, 2, 5, 0", false},
      {"another version", TestFile("version_normal.dll"), "1.2", "1.2.3.4", true},
      {"no version resource", TestFile("version_none.dll"), "", "", false},
      {"no translation table", TestFile("version_no_translation.dll"), "", "", false},
      {"missing file", TestFile("version_missing.dll"), "", "", false},
      {"empty path", "", "", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ScopedServerPath server(c.path);
    bool atLeast = !c.atLeast;
    EXPECT_EQ(c.version, qvx::VerifyCtrlVersion(c.minimum, atLeast));
    EXPECT_EQ(c.atLeast, atLeast);
  }
}

TEST(VerifyCtrlVersion, RegistrationNamesTheModuleUnderTest) {
  std::string path;
  ASSERT_TRUE(qvx::RegisteredModulePath(path));
  const std::wstring expected = qvxtest::ModulePath();
  EXPECT_EQ(0, ::lstrcmpiA(qvx::fw::AnsiFromWide(expected.c_str(), expected.size()).c_str(), path.c_str())) << path;
  bool atLeast = false;
  EXPECT_EQ(kModuleVersion, qvx::VerifyCtrlVersion(kModuleVersion, atLeast));
  EXPECT_TRUE(atLeast);
}

}  // namespace
