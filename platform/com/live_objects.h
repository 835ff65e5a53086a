// Live-object accounting: every COM object we implement counts itself under
// its class name while it exists, so that tests can name what leaked.
#pragma once

#include <atomic>
#include <map>
#include <string>
#include <typeinfo>

namespace ardo {

// Objects alive now, all classes together.
long LiveObjectCount();
// Objects alive now per class (demangled name); classes with none are left out.
std::map<std::string, long> LiveObjectsByClass();

namespace detail {

// One per counted class, created on first use and kept for the whole process
// (objects may still die during static destruction).
class ClassCounter {
 public:
  explicit ClassCounter(const std::type_info& type);
  void Add();
  void Remove();
  const std::string& Name() const { return name_; }
  long Count() const { return count_.load(std::memory_order_relaxed); }

 private:
  std::string name_;
  std::atomic<long> count_{0};
};

template <class T>
ClassCounter& CounterFor() {
  static ClassCounter* counter = new ClassCounter(typeid(T));
  return *counter;
}

}  // namespace detail

// Base for an object that is not an ardo::ComObject but should be counted
// all the same (T names the class in reports).
template <class T>
class LiveObjectCounted {
 protected:
  LiveObjectCounted() { detail::CounterFor<T>().Add(); }
  LiveObjectCounted(const LiveObjectCounted&) { detail::CounterFor<T>().Add(); }
  LiveObjectCounted& operator=(const LiveObjectCounted&) = default;
  ~LiveObjectCounted() { detail::CounterFor<T>().Remove(); }
};

}  // namespace ardo
