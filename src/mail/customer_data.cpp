#include "mail/customer_data.h"

#include <windows.h>

#include <vector>

#include "common/maker_registry.h"
#include "framework/ansi.h"
#include "framework/handles.h"

namespace qvx::mail {

const char kCustomerKeyFirst[] = "SOFTWARE\\Quorvex\\DatosCliente";
const char kCustomerKeySecond[] = "SOFTWARE\\Ostrafell\\DatosCliente";

namespace {

const char kNumero[] = "Numero";
const char kNombre[] = "Nombre";
const char kNif[] = "NIF";
const char kTfno[] = "Tfno";
const char kEmail[] = "Email";
const char kFlags[] = "Flags";
const char kDataBin[] = "DataBin";

// The first key, or else the second; usedSecond tells which one opened.
fw::unique_hkey OpenForReading(bool& usedSecond) {
  fw::unique_hkey key;
  usedSecond = false;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCustomerKeyFirst, 0, KEY_QUERY_VALUE | MakerRegistryView(), key.put()) ==
      ERROR_SUCCESS)
    return key;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCustomerKeySecond, 0, KEY_QUERY_VALUE | MakerRegistryView(),
                      key.put()) == ERROR_SUCCESS)
    usedSecond = true;
  return key;
}

fw::unique_hkey CreateForWriting(bool second) {
  fw::unique_hkey key;
  ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, second ? kCustomerKeySecond : kCustomerKeyFirst, 0, nullptr,
                    REG_OPTION_NON_VOLATILE, KEY_WRITE | MakerRegistryView(), nullptr, key.put(), nullptr);
  return key;
}

// A text value of at most 255 characters; empty when missing or longer.
std::string ReadText(HKEY key, const char* name) {
  // One byte more than the value may hold keeps the text terminated even
  // when the stored value lacks its NUL.
  char buffer[kCustomerTextMax + 2] = {};
  DWORD size = kCustomerTextMax + 1;
  if (::RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
    return std::string();
  std::string text = buffer;
  return text.size() <= kCustomerTextMax ? text : std::string();
}

// The text as far as its first NUL, cut to the 255 characters that a value
// holds, without splitting a double-byte character of the ANSI code page.
std::string StoredText(const std::string& text) {
  return fw::CutAnsi(text.substr(0, text.find('\0')), kCustomerTextMax);
}

bool WriteText(HKEY key, const char* name, const std::string& text) {
  const std::string value = StoredText(text);
  return ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

}  // namespace

bool ReadCustomerData(CustomerData& data, bool& fromFallbackKey) {
  data.number.clear();
  data.name.clear();
  data.taxNumber.clear();
  data.telephone.clear();
  data.email.clear();
  bool usedSecond = false;
  fw::unique_hkey key = OpenForReading(usedSecond);
  if (!key) {
    fromFallbackKey = false;
    return false;
  }
  if (usedSecond) fromFallbackKey = true;
  data.number = ReadText(key.get(), kNumero);
  data.name = ReadText(key.get(), kNombre);
  data.taxNumber = ReadText(key.get(), kNif);
  data.telephone = ReadText(key.get(), kTfno);
  data.email = ReadText(key.get(), kEmail);
  DWORD type = 0;
  DWORD flags = 0;
  DWORD size = sizeof(flags);
  if (::RegQueryValueExA(key.get(), kFlags, nullptr, &type, reinterpret_cast<BYTE*>(&flags), &size) ==
          ERROR_SUCCESS &&
      type == REG_DWORD && size == sizeof(flags))
    data.flags = flags;
  return true;
}

bool WriteCustomerData(const CustomerData& data, bool toSecondKey) {
  bool ok = false;
  {
    fw::unique_hkey key = CreateForWriting(toSecondKey);
    if (!key) return false;
    ok = WriteText(key.get(), kNumero, data.number);
    ok = WriteText(key.get(), kNombre, data.name) && ok;
    ok = WriteText(key.get(), kNif, data.taxNumber) && ok;
    ok = WriteText(key.get(), kTfno, data.telephone) && ok;
    ok = WriteText(key.get(), kEmail, data.email) && ok;
    const DWORD flags = data.flags;
    ok = ::RegSetValueExA(key.get(), kFlags, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&flags), sizeof(flags)) ==
             ERROR_SUCCESS &&
         ok;
  }
  if (!toSecondKey) WriteCustomerData(data, true);
  return ok;
}

std::string ReadCustomerKey() {
  bool usedSecond = false;
  fw::unique_hkey key = OpenForReading(usedSecond);
  if (!key) return std::string();
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExA(key.get(), kDataBin, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_BINARY || size == 0)
    return std::string();
  std::vector<char> bytes(size);
  if (::RegQueryValueExA(key.get(), kDataBin, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size) !=
          ERROR_SUCCESS ||
      type != REG_BINARY)
    return std::string();
  // The bytes up to the first NUL, or all of them when none is stored.
  std::string text(bytes.data(), size);
  return text.substr(0, text.find('\0'));
}

void WriteCustomerKey(const std::string& key, bool toSecondKey) {
  {
    fw::unique_hkey store = CreateForWriting(toSecondKey);
    if (!store) return;
    const std::string text = key.substr(0, key.find('\0'));
    ::RegSetValueExA(store.get(), kDataBin, 0, REG_BINARY, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>(text.size() + 1));
  }
  if (!toSecondKey) WriteCustomerKey(key, true);
}

}  // namespace qvx::mail
