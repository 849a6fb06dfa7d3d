#pragma once

#include <cstddef>

// The test binary replaces every form of the global operator new and delete with versions that
// forward to malloc and free and, while a scope is open on the calling thread, count the calls.
// Other threads (and this thread outside a scope) are not counted.
//
//   AllocationScope scope;
//   engine.Process(...);
//   EXPECT_EQ(scope.Allocations(), 0u);
class AllocationScope {
 public:
  AllocationScope();
  ~AllocationScope();
  AllocationScope(const AllocationScope&) = delete;
  AllocationScope& operator=(const AllocationScope&) = delete;

  size_t Allocations() const;    // operator new calls on this thread since the scope opened
  size_t Deallocations() const;  // operator delete calls with a non-null pointer, likewise

 private:
  size_t allocationsAtStart_;
  size_t deallocationsAtStart_;
};
