// Values kept per thread of the host process: a host may run controls in
// several apartment threads, each with its own controls and its own hooks.
// A thread's entry goes when its value is empty again, so the table holds
// only threads that have something.
#pragma once

#include <windows.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "framework/handles.h"

namespace qvx::fw {

// Holds an SRW lock exclusively for its scope.
class ExclusiveLock {
 public:
  explicit ExclusiveLock(SRWLOCK& lock) : lock_(lock) { ::AcquireSRWLockExclusive(&lock_); }
  ~ExclusiveLock() { ::ReleaseSRWLockExclusive(&lock_); }
  ExclusiveLock(const ExclusiveLock&) = delete;
  ExclusiveLock& operator=(const ExclusiveLock&) = delete;

 private:
  SRWLOCK& lock_;
};

inline bool HasValue(int count) { return count != 0; }
inline bool HasValue(const unique_hhook& hook) { return static_cast<bool>(hook); }

template <typename T>
class PerThread {
 public:
  // Runs f on the calling thread's value under the table's lock and returns
  // what f returns. Only a thread's first value allocates (and may throw);
  // looking at a thread that has none does not.
  template <typename F>
  auto With(F f) {
    const ExclusiveLock lock(lock_);
    const DWORD thread = ::GetCurrentThreadId();
    auto it = std::find_if(values_.begin(), values_.end(), [&](const auto& v) { return v.first == thread; });
    if (it == values_.end()) {
      T value{};
      auto result = f(value);
      if (HasValue(value)) values_.emplace_back(thread, std::move(value));
      return result;
    }
    auto result = f(it->second);
    if (!HasValue(it->second)) values_.erase(it);
    return result;
  }

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
  std::vector<std::pair<DWORD, T>> values_;
};

}  // namespace qvx::fw
