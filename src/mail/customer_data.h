// The customer's identification and access key, remembered in two copies
// under HKEY_LOCAL_MACHINE (32-bit view): "SOFTWARE\Quorvex\DatosCliente",
// read first and written first, and "SOFTWARE\Ostrafell\DatosCliente", read
// only when the first cannot be opened and always written after it. Every
// operation opens and closes its key itself; nothing is cached.
#pragma once

#include <cstdint>
#include <string>

namespace qvx::mail {

extern const char kCustomerKeyFirst[];   // "SOFTWARE\Quorvex\DatosCliente"
extern const char kCustomerKeySecond[];  // "SOFTWARE\Ostrafell\DatosCliente"

// Texts are stored as REG_SZ of at most 255 characters; flags as REG_DWORD.
struct CustomerData {
  std::string number;     // "Numero"
  std::string name;       // "Nombre"
  std::string taxNumber;  // "NIF"
  std::string telephone;  // "Tfno"
  std::string email;      // "Email"
  uint32_t flags = 0;     // "Flags"; bit 0: a customer number came from an update download
};

inline constexpr size_t kCustomerTextMax = 255;

// TRUE when one of the two keys could be opened. The five texts are emptied
// first and filled with the values read; a missing value, or one that does
// not fit in 255 characters, stays empty. flags keeps the caller's value
// unless a REG_DWORD "Flags" is read. fromFallbackKey is set only when the
// first key cannot be opened (to whether the second one could).
bool ReadCustomerData(CustomerData& data, bool& fromFallbackKey);

// Writes the six values to the first key, then to the second (unless
// toSecondKey already names the second key, for the operation's own second
// pass; callers pass false). TRUE when every value of the first key was
// written. A text longer than 255 characters is stored cut to 255, so that
// what is stored always reads back; a key that cannot be created gives FALSE
// and the second key is then not written either.
bool WriteCustomerData(const CustomerData& data, bool toSecondKey = false);

// The access key text ("DataBin", REG_BINARY text with its NUL), stored as
// the update service hands it over; "" when neither key opens or the value
// is missing or of another type.
std::string ReadCustomerKey();

// Stores the access key whole (with its NUL) in the first key and then the
// second. Nothing is written when the first key cannot be created.
void WriteCustomerKey(const std::string& key, bool toSecondKey = false);

}  // namespace qvx::mail
