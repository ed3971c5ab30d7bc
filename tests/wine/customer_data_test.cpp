// The customer data store on the real registry of the Wine prefix. Each test
// starts with neither key present and leaves both keys (and their parents)
// as it found them.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/maker_registry.h"
#include "framework/handles.h"
#include "mail/customer_data.h"
#include "registry_snapshot.h"

namespace {

using qvx::MakerRegistryView;
using qvx::fw::unique_hkey;
using qvx::mail::CustomerData;
using qvx::mail::kCustomerKeyFirst;
using qvx::mail::kCustomerKeySecond;
using qvxtest::ScopedKeySnapshot;

struct Raw {
  DWORD type;
  std::string bytes;
};

void Put(const char* key, const char* name, DWORD type, const std::string& bytes) {
  qvxtest::SetRegistryValue(HKEY_LOCAL_MACHINE, key, MakerRegistryView(), name, type, bytes.data(),
                            static_cast<DWORD>(bytes.size()));
}

// A text as the maker's software stores it: with its NUL.
void PutText(const char* key, const char* name, const std::string& text) {
  Put(key, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

void PutFlags(const char* key, DWORD flags) {
  Put(key, "Flags", REG_DWORD, std::string(reinterpret_cast<const char*>(&flags), sizeof(flags)));
}

std::optional<Raw> Get(const char* key, const char* name, REGSAM view = MakerRegistryView()) {
  unique_hkey k;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | view, k.put()) != ERROR_SUCCESS)
    return std::nullopt;
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExA(k.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
  std::string bytes(size, '\0');
  ::RegQueryValueExA(k.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size);
  return Raw{type, bytes};
}

bool KeyExists(const char* key) {
  unique_hkey k;
  return ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | MakerRegistryView(), k.put()) ==
         ERROR_SUCCESS;
}

CustomerData Sample() { return {"1234", "Pe\xF1" "a Ingenieros S.L.", "B12345678", "976 123 456", "a@b.es", 0x5}; }

CustomerData Prefilled() { return {"old", "old", "old", "old", "old", 0xABCD}; }

void ExpectTexts(const CustomerData& expected, const CustomerData& actual) {
  EXPECT_EQ(expected.number, actual.number);
  EXPECT_EQ(expected.name, actual.name);
  EXPECT_EQ(expected.taxNumber, actual.taxNumber);
  EXPECT_EQ(expected.telephone, actual.telephone);
  EXPECT_EQ(expected.email, actual.email);
}

// What one key holds, value by value, exactly as a write must leave it.
void ExpectStored(const char* key, const CustomerData& d) {
  SCOPED_TRACE(key);
  const std::pair<const char*, const std::string*> texts[] = {
      {"Numero", &d.number}, {"Nombre", &d.name}, {"NIF", &d.taxNumber}, {"Tfno", &d.telephone}, {"Email", &d.email}};
  for (const auto& [name, text] : texts) {
    const auto raw = Get(key, name);
    ASSERT_TRUE(raw.has_value()) << name;
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), raw->type) << name;
    EXPECT_EQ(std::string(text->c_str(), text->size() + 1), raw->bytes) << name << ": the text and its NUL";
  }
  const auto flags = Get(key, "Flags");
  ASSERT_TRUE(flags.has_value());
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), flags->type);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&d.flags), 4), flags->bytes);
}

class CustomerStore : public ::testing::Test {
 protected:
  CustomerStore() {
    qvxtest::DeleteKeyTree(HKEY_LOCAL_MACHINE, kCustomerKeyFirst, MakerRegistryView());
    qvxtest::DeleteKeyTree(HKEY_LOCAL_MACHINE, kCustomerKeySecond, MakerRegistryView());
  }

 private:
  // Parents first, so that they are put back last.
  ScopedKeySnapshot quorvex_{HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvex", MakerRegistryView()};
  ScopedKeySnapshot ostrafell_{HKEY_LOCAL_MACHINE, "SOFTWARE\\Ostrafell", MakerRegistryView()};
  ScopedKeySnapshot first_{HKEY_LOCAL_MACHINE, kCustomerKeyFirst, MakerRegistryView()};
  ScopedKeySnapshot second_{HKEY_LOCAL_MACHINE, kCustomerKeySecond, MakerRegistryView()};
};

TEST_F(CustomerStore, NothingStoredReadsAsNothing) {
  for (bool fallbackBefore : {false, true}) {
    CustomerData data = Prefilled();
    bool fromFallback = fallbackBefore;
    EXPECT_FALSE(qvx::mail::ReadCustomerData(data, fromFallback));
    ExpectTexts({}, data);
    EXPECT_EQ(0xABCDu, data.flags) << "the caller's flags stay";
    EXPECT_FALSE(fromFallback) << "the second key could not be opened either";
  }
  EXPECT_EQ("", qvx::mail::ReadCustomerKey());
}

TEST_F(CustomerStore, OnlyTheSecondKeyIsReadAsFallback) {
  const CustomerData stored = Sample();
  PutText(kCustomerKeySecond, "Numero", stored.number);
  PutText(kCustomerKeySecond, "Nombre", stored.name);
  PutText(kCustomerKeySecond, "NIF", stored.taxNumber);
  PutText(kCustomerKeySecond, "Tfno", stored.telephone);
  PutText(kCustomerKeySecond, "Email", stored.email);
  PutFlags(kCustomerKeySecond, 7);
  Put(kCustomerKeySecond, "DataBin", REG_BINARY, std::string("ABCD", 5));
  CustomerData data = Prefilled();
  bool fromFallback = false;
  EXPECT_TRUE(qvx::mail::ReadCustomerData(data, fromFallback));
  ExpectTexts(stored, data);
  EXPECT_EQ(7u, data.flags);
  EXPECT_TRUE(fromFallback);
  EXPECT_EQ("ABCD", qvx::mail::ReadCustomerKey());
}

TEST_F(CustomerStore, TheFirstKeyWinsWithoutFallbackPerValue) {
  PutText(kCustomerKeyFirst, "Numero", "1");
  PutText(kCustomerKeyFirst, "Nombre", "Primera");
  PutText(kCustomerKeyFirst, "NIF", "");
  PutText(kCustomerKeyFirst, "Tfno", "111");
  // No Email and no Flags under the first key; the second has both.
  const CustomerData second = {"2", "Segunda", "X2", "222", "second@b.es", 9};
  PutText(kCustomerKeySecond, "Numero", second.number);
  PutText(kCustomerKeySecond, "Nombre", second.name);
  PutText(kCustomerKeySecond, "Email", second.email);
  PutFlags(kCustomerKeySecond, second.flags);
  Put(kCustomerKeySecond, "DataBin", REG_BINARY, std::string("SECOND", 7));
  for (bool fallbackBefore : {false, true}) {
    CustomerData data = Prefilled();
    bool fromFallback = fallbackBefore;
    EXPECT_TRUE(qvx::mail::ReadCustomerData(data, fromFallback));
    ExpectTexts({"1", "Primera", "", "111", ""}, data);
    EXPECT_EQ(0xABCDu, data.flags) << "no Flags under the first key";
    EXPECT_EQ(fallbackBefore, fromFallback) << "left as the caller set it";
  }
  EXPECT_EQ("", qvx::mail::ReadCustomerKey()) << "no DataBin under the first key";
}

TEST_F(CustomerStore, FlagsMustBeADword) {
  const struct {
    const char* label;
    DWORD type;
    std::string bytes;
    uint32_t flags;
  } cases[] = {
      {"REG_DWORD", REG_DWORD, std::string("\x01\x00\x00\x80", 4), 0x80000001u},
      {"REG_DWORD of zero", REG_DWORD, std::string(4, '\0'), 0},
      {"text", REG_SZ, std::string("1", 2), 0xABCDu},
      {"four bytes of binary", REG_BINARY, std::string("\x01\x00\x00\x00", 4), 0xABCDu},
      {"too long", REG_BINARY, std::string(8, '\x01'), 0xABCDu},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    Put(kCustomerKeyFirst, "Flags", c.type, c.bytes);
    CustomerData data = Prefilled();
    bool fromFallback = false;
    EXPECT_TRUE(qvx::mail::ReadCustomerData(data, fromFallback));
    EXPECT_EQ(c.flags, data.flags);
  }
}

TEST_F(CustomerStore, TextsUpTo255CharactersRead) {
  const struct {
    const char* label;
    std::string bytes;  // as stored
    std::string text;   // as read
  } cases[] = {
      {"255 characters", std::string(255, 'n') + '\0', std::string(255, 'n')},
      {"255 characters without NUL", std::string(255, 'n'), std::string(255, 'n')},
      {"256 characters", std::string(256, 'n') + '\0', ""},
      {"256 characters without NUL", std::string(256, 'n'), ""},
      {"1000 characters", std::string(1000, 'n') + '\0', ""},
      {"empty", std::string(1, '\0'), ""},
      {"nothing at all", std::string(), ""},
      {"characters after the NUL", std::string("ab\0cd", 6), "ab"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    Put(kCustomerKeyFirst, "Nombre", REG_SZ, c.bytes);
    CustomerData data = Prefilled();
    bool fromFallback = false;
    EXPECT_TRUE(qvx::mail::ReadCustomerData(data, fromFallback));
    EXPECT_EQ(c.text, data.name);
  }
}

TEST_F(CustomerStore, WriteFillsBothKeysAlike) {
  const CustomerData data = Sample();
  EXPECT_TRUE(qvx::mail::WriteCustomerData(data));
  ExpectStored(kCustomerKeyFirst, data);
  ExpectStored(kCustomerKeySecond, data);
  CustomerData back = Prefilled();
  bool fromFallback = false;
  EXPECT_TRUE(qvx::mail::ReadCustomerData(back, fromFallback));
  ExpectTexts(data, back);
  EXPECT_EQ(data.flags, back.flags);
  EXPECT_FALSE(fromFallback);

  // A second write replaces every value, the empty ones too.
  const CustomerData empty = {};
  EXPECT_TRUE(qvx::mail::WriteCustomerData(empty));
  ExpectStored(kCustomerKeyFirst, empty);
  ExpectStored(kCustomerKeySecond, empty);
}

TEST_F(CustomerStore, WrittenToTheSecondKeyOnlyOnItsOwnPass) {
  EXPECT_TRUE(qvx::mail::WriteCustomerData(Sample(), true));
  EXPECT_FALSE(KeyExists(kCustomerKeyFirst));
  ExpectStored(kCustomerKeySecond, Sample());
}

// The store keeps at most 255 characters of a text; a longer one is cut so
// that what is stored reads back (a stored text over 255 would read as empty).
TEST_F(CustomerStore, LongTextsAreCutTo255Characters) {
  const struct {
    const char* label;
    std::string given;
    std::string stored;
  } cases[] = {
      {"255 characters", std::string(255, 'a'), std::string(255, 'a')},
      {"256 characters", std::string(255, 'a') + "b", std::string(255, 'a')},
      {"1000 characters", std::string(1000, 'c'), std::string(255, 'c')},
      {"a NUL ends the text", std::string("ab\0cd", 5), "ab"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    CustomerData data = Sample();
    data.name = c.given;
    data.email = c.given;
    EXPECT_TRUE(qvx::mail::WriteCustomerData(data));
    CustomerData expected = data;
    expected.name = expected.email = c.stored;
    ExpectStored(kCustomerKeyFirst, expected);
    ExpectStored(kCustomerKeySecond, expected);
    CustomerData back;
    bool fromFallback = false;
    EXPECT_TRUE(qvx::mail::ReadCustomerData(back, fromFallback));
    EXPECT_EQ(c.stored, back.name);
    EXPECT_EQ(c.stored, back.email);
  }
}

TEST_F(CustomerStore, CustomerKeyIsBinaryTextWithItsNul) {
  const struct {
    const char* label;
    std::string key;
  } cases[] = {
      {"short", "5A3F"},
      {"empty", ""},
      {"longer than 255 characters", std::string(600, 'F')},
      {"characters outside ASCII", "clave\xF1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    qvx::mail::WriteCustomerKey(c.key);
    for (const char* key : {kCustomerKeyFirst, kCustomerKeySecond}) {
      const auto raw = Get(key, "DataBin");
      ASSERT_TRUE(raw.has_value()) << key;
      EXPECT_EQ(static_cast<DWORD>(REG_BINARY), raw->type);
      EXPECT_EQ(std::string(c.key.c_str(), c.key.size() + 1), raw->bytes) << key;
    }
    EXPECT_EQ(c.key, qvx::mail::ReadCustomerKey());
  }
}

TEST_F(CustomerStore, CustomerKeyOfOtherTypesReadsAsEmpty) {
  const struct {
    const char* label;
    DWORD type;
    std::string bytes;
    const char* key;
  } cases[] = {
      {"binary with NUL", REG_BINARY, std::string("KEY", 4), "KEY"},
      {"binary without NUL", REG_BINARY, "KEY", "KEY"},
      {"binary: up to the first NUL", REG_BINARY, std::string("AB\0CD", 6), "AB"},
      {"empty binary", REG_BINARY, "", ""},
      {"text", REG_SZ, std::string("KEY", 4), ""},
      {"number", REG_DWORD, std::string("KEY", 4), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    Put(kCustomerKeyFirst, "DataBin", c.type, c.bytes);
    EXPECT_EQ(c.key, qvx::mail::ReadCustomerKey());
  }
}

// A key whose access list lets everyone read and nobody write, as HKLM is
// for a user without administrator rights. Full access comes back at the
// end of the scope so that the key can be deleted.
class ScopedReadOnlyKey {
 public:
  explicit ScopedReadOnlyKey(const char* path) : path_(path) {
    qvxtest::SetRegistryValue(HKEY_LOCAL_MACHINE, path, MakerRegistryView(), "Numero", REG_SZ, "9", 2);
    SetAccess("D:P(A;;KR;;;WD)");
  }
  ~ScopedReadOnlyKey() { SetAccess("D:(A;;KA;;;WD)"); }
  ScopedReadOnlyKey(const ScopedReadOnlyKey&) = delete;
  ScopedReadOnlyKey& operator=(const ScopedReadOnlyKey&) = delete;

 private:
  void SetAccess(const char* sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr));
    unique_hkey key;
    // The owner may always change the access list.
    EXPECT_EQ(ERROR_SUCCESS,
              ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path_, 0, WRITE_DAC | MakerRegistryView(), key.put()));
    EXPECT_EQ(ERROR_SUCCESS, ::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, sd));
    ::LocalFree(sd);
  }
  const char* path_;
};

TEST_F(CustomerStore, FirstKeyNotWritableWritesNothing) {
  ScopedReadOnlyKey readOnly(kCustomerKeyFirst);
  {
    unique_hkey probe;
    ASSERT_EQ(ERROR_ACCESS_DENIED, ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCustomerKeyFirst, 0,
                                                   KEY_WRITE | MakerRegistryView(), probe.put()))
        << "the access list is not enforced";
  }
  EXPECT_FALSE(qvx::mail::WriteCustomerData(Sample()));
  qvx::mail::WriteCustomerKey("5A3F");
  EXPECT_FALSE(KeyExists(kCustomerKeySecond)) << "the second key is not written either";
  EXPECT_FALSE(Get(kCustomerKeyFirst, "Nombre").has_value());
  EXPECT_FALSE(Get(kCustomerKeyFirst, "DataBin").has_value());
  // Reading still works.
  CustomerData data = Prefilled();
  bool fromFallback = true;
  EXPECT_TRUE(qvx::mail::ReadCustomerData(data, fromFallback));
  ExpectTexts({"9", "", "", "", ""}, data);
  EXPECT_TRUE(fromFallback);
}

TEST_F(CustomerStore, SecondKeyNotWritableDoesNotChangeTheResult) {
  ScopedReadOnlyKey readOnly(kCustomerKeySecond);
  EXPECT_TRUE(qvx::mail::WriteCustomerData(Sample()));
  qvx::mail::WriteCustomerKey("5A3F");
  ExpectStored(kCustomerKeyFirst, Sample());
  EXPECT_EQ("5A3F", qvx::mail::ReadCustomerKey());
  EXPECT_FALSE(Get(kCustomerKeySecond, "Nombre").has_value());
  EXPECT_EQ(std::string("9", 2), Get(kCustomerKeySecond, "Numero")->bytes);
}

#ifdef _WIN64
// The maker's 32-bit software shares these keys: the 64-bit module uses
// the 32-bit view too.
TEST_F(CustomerStore, LivesInThe32BitView) {
  EXPECT_TRUE(qvx::mail::WriteCustomerData(Sample()));
  qvx::mail::WriteCustomerKey("5A3F");
  EXPECT_TRUE(Get(kCustomerKeyFirst, "Nombre", KEY_WOW64_32KEY).has_value());
  EXPECT_FALSE(Get(kCustomerKeyFirst, "Nombre", KEY_WOW64_64KEY).has_value());
  EXPECT_FALSE(Get(kCustomerKeySecond, "DataBin", KEY_WOW64_64KEY).has_value());
}
#endif

}  // namespace
