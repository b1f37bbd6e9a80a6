// Test only: makes the n-th allocation of the calling thread fail, so that a
// test can walk an operation through every allocation it makes.
//
//   AllocFault::Arm(3);           // the 3rd allocation from here fails
//   RunOperation();
//   const bool bReached = AllocFault::Disarm();   // did it get that far?
//
// Linked into a test executable (never into the shipped library), the object
// replaces every form of operator new and delete, and malloc, calloc and
// realloc, for the whole process. A failing operator new throws
// std::bad_alloc (the nothrow forms return null); a failing malloc, calloc or
// realloc returns null with errno ENOMEM. Only the arming thread's
// allocations count. Under a sanitizer the memory still comes from its
// allocator, so leaks and misuse are reported as usual.
#ifndef OSTREL_TEST_ALLOC_FAULT_H_
#define OSTREL_TEST_ALLOC_FAULT_H_

#include <cstdint>

namespace AllocFault {

// Counts this thread's allocations from now on; the n-th (n >= 1) fails.
void Arm(uint64_t n);
// Stops counting; true when the armed allocation was reached (and failed).
bool Disarm();

// Stops counting on this thread while it lives: for the test's own callbacks.
class Paused {
 public:
  Paused();
  ~Paused();
  Paused(const Paused&) = delete;
  Paused& operator=(const Paused&) = delete;

 private:
  bool m_bWasArmed;
};

}  // namespace AllocFault

#endif  // OSTREL_TEST_ALLOC_FAULT_H_
