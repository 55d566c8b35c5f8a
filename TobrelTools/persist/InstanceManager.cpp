#include "TobrelTools/persist/InstanceManager.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <unordered_set>
#include <vector>

#include "TobrelTools/export.h"
#include "TobrelTools/persist/InternalException.h"
#include "TobrelTools/platform/internal/thread_end.h"

TOBREL_MODULE_ID("InstanceManager.cpp", "2026.12.05");

namespace {

// The holders that exist. A thread that ends releases its values only in
// holders still listed here; the lock is taken when a holder is built or
// destroyed and when a thread that used one ends, never on the way to a value.
std::mutex& holdersLock() {
  static std::mutex* const lock = new std::mutex();  // outlives every holder
  return *lock;
}
std::unordered_set<InstanceManager*>& liveHolders() {
  static std::unordered_set<InstanceManager*>* const holders = new std::unordered_set<InstanceManager*>();
  return *holders;
}

// The holders in which a thread stored a value; released when the thread
// ends (through the host's thread-end slot: see thread_end.h for why not a
// thread_local destructor).
struct ThreadValues {
  std::vector<InstanceManager*> holders;
};

void releaseThreadValues(void* data) {
  ThreadValues* values = static_cast<ThreadValues*>(data);
  {
    std::lock_guard<std::mutex> guard(holdersLock());
    for (InstanceManager* holder : values->holders) {
      if (liveHolders().count(holder) != 0) holder->freeValue();
    }
  }
  delete values;
}

tobrel::ThreadEndSlot& threadValuesSlot() {
  // Given back when the library is unloaded, so that no thread ending later
  // calls into an unloaded library (its values are then left alone).
  static tobrel::ThreadEndSlot slot(releaseThreadValues);
  return slot;
}

void releaseAtThreadEnd(InstanceManager* holder) {
  tobrel::ThreadEndSlot& slot = threadValuesSlot();
  ThreadValues* values = static_cast<ThreadValues*>(slot.get());
  if (values == nullptr) {
    values = new ThreadValues();
    if (!slot.set(values)) {
      delete values;
      throw std::bad_alloc();
    }
  }
  if (std::find(values->holders.begin(), values->holders.end(), holder) == values->holders.end()) {
    values->holders.push_back(holder);
  }
}

}  // namespace

InstanceManager::InstanceManager() : slot_(TlsAlloc()), owner_(std::this_thread::get_id()) {
  if (slot_ == TLS_OUT_OF_INDEXES) throw new InternalException("no thread-local storage slot left.");
  std::lock_guard<std::mutex> guard(holdersLock());
  liveHolders().insert(this);
}

InstanceManager::~InstanceManager() {
  retire();
  TlsFree(slot_);
}

void InstanceManager::retire() {
  std::lock_guard<std::mutex> guard(holdersLock());
  liveHolders().erase(this);
}

void* InstanceManager::addValue() {
  if (std::this_thread::get_id() != owner_) releaseAtThreadEnd(this);
  void* value = newValue();
  if (!TlsSetValue(slot_, value)) {
    deleteValue(value);
    throw std::bad_alloc();
  }
  return value;
}

void* InstanceManager::currentValue() { return TlsGetValue(slot_); }

void InstanceManager::freeValue() {
  void* value = TlsGetValue(slot_);
  if (value == nullptr) return;
  deleteValue(value);
  TlsSetValue(slot_, nullptr);
}

void* InstanceManager::getOrAdd() {
  void* value = TlsGetValue(slot_);
  return value != nullptr ? value : addValue();
}
