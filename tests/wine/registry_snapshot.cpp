#include "registry_snapshot.h"

#include <gtest/gtest.h>

#include "framework/handles.h"

namespace qvxtest {

using qvx::fw::unique_hkey;

ScopedKeySnapshot::ScopedKeySnapshot(HKEY root, std::string path, REGSAM view)
    : root_(root), path_(std::move(path)), view_(view) {
  unique_hkey key;
  existed_ = ::RegOpenKeyExA(root_, path_.c_str(), 0, KEY_READ | view_, key.put()) == ERROR_SUCCESS;
  if (!existed_) return;
  for (DWORD i = 0;; ++i) {
    char name[16384];
    DWORD nameSize = sizeof(name);
    DWORD type = 0;
    DWORD size = 0;
    if (::RegEnumValueA(key.get(), i, name, &nameSize, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    Value v{std::string(name, nameSize), type, std::vector<BYTE>(size)};
    ::RegQueryValueExA(key.get(), v.name.c_str(), nullptr, nullptr, v.data.data(), &size);
    v.data.resize(size);
    values_.push_back(std::move(v));
  }
}

ScopedKeySnapshot::~ScopedKeySnapshot() {
  if (!existed_) {
    DeleteKeyTree(root_, path_, view_);
    return;
  }
  unique_hkey key;
  const LSTATUS rc =
      ::RegCreateKeyExA(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view_, nullptr, key.put(), nullptr);
  EXPECT_EQ(ERROR_SUCCESS, rc) << path_ << " cannot be put back";
  if (rc != ERROR_SUCCESS) return;
  // Values are removed from the end so that the indexes stay valid.
  DWORD count = 0;
  ::RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                     nullptr, nullptr);
  for (DWORD i = count; i-- > 0;) {
    char name[16384];
    DWORD nameSize = sizeof(name);
    if (::RegEnumValueA(key.get(), i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
      ::RegDeleteValueA(key.get(), name);
  }
  for (const Value& v : values_)
    ::RegSetValueExA(key.get(), v.name.c_str(), 0, v.type, v.data.data(), static_cast<DWORD>(v.data.size()));
}

void DeleteKeyTree(HKEY root, const std::string& path, REGSAM view) {
  {
    unique_hkey key;
    if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS | view, key.put()) != ERROR_SUCCESS) return;
    ::RegDeleteTreeA(key.get(), nullptr);
  }
  ::RegDeleteKeyExA(root, path.c_str(), view, 0);
}

void SetRegistryValue(HKEY root, const std::string& path, REGSAM view, const char* name, DWORD type,
                      const void* data, DWORD size) {
  unique_hkey key;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                                             key.put(), nullptr));
  if (data)
    ::RegSetValueExA(key.get(), name, 0, type, static_cast<const BYTE*>(data), size);
  else
    ::RegDeleteValueA(key.get(), name);
}

}  // namespace qvxtest
