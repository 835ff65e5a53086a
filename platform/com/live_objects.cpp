#include "platform/com/live_objects.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

namespace {

std::atomic<long> g_liveObjects{0};

// Every class counter ever made. Never destroyed: objects may still be
// counted down while the process runs its static destructors.
struct CounterList {
  std::mutex mutex;
  std::vector<ardo::detail::ClassCounter*> counters;
};

CounterList& Counters() {
  static CounterList* list = new CounterList;
  return *list;
}

std::string Demangle(const char* mangled) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> name(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
  return status == 0 && name ? std::string(name.get()) : std::string(mangled);
}

}  // namespace

namespace ardo {

long LiveObjectCount() { return g_liveObjects.load(); }

std::map<std::string, long> LiveObjectsByClass() {
  std::map<std::string, long> result;
  CounterList& list = Counters();
  std::lock_guard<std::mutex> lock(list.mutex);
  for (const detail::ClassCounter* counter : list.counters)
    if (long count = counter->Count()) result[counter->Name()] += count;
  return result;
}

namespace detail {

ClassCounter::ClassCounter(const std::type_info& type) : name_(Demangle(type.name())) {
  CounterList& list = Counters();
  std::lock_guard<std::mutex> lock(list.mutex);
  list.counters.push_back(this);
}

void ClassCounter::Add() {
  count_.fetch_add(1, std::memory_order_relaxed);
  g_liveObjects.fetch_add(1, std::memory_order_relaxed);
}

void ClassCounter::Remove() {
  count_.fetch_sub(1, std::memory_order_relaxed);
  g_liveObjects.fetch_sub(1, std::memory_order_relaxed);
}

}  // namespace detail
}  // namespace ardo
