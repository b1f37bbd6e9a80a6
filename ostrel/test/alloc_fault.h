// Test only: makes the n-th allocation of the calling thread fail, so that a
// test can walk an operation through every allocation it makes.
//
//   AllocFault::Arm(3);           // the 3rd allocation from here fails
//   RunOperation();
//   const bool bReached = AllocFault::Disarm();   // did it get that far?
//
// Linked into a test executable (never into the shipped library), the object
// replaces operator new and delete (every form) and malloc, calloc and
// realloc of the whole process, the shared libraries it loads included. A
// failing operator new throws std::bad_alloc (the nothrow forms return null);
// a failing malloc, calloc or realloc returns null with errno ENOMEM (realloc
// keeps the old block). Only allocations of the thread that armed count, so
// the walk does not depend on what other threads allocate meanwhile. Under a
// sanitizer the memory still comes from the sanitizer's allocator, so leaks
// and misuse are reported as usual.
#ifndef OSTREL_TEST_ALLOC_FAULT_H_
#define OSTREL_TEST_ALLOC_FAULT_H_

#include <cstdint>

namespace AllocFault {

// Counts the calling thread's allocations from now on; the n-th (n >= 1)
// fails, and the ones after it succeed again.
void Arm(uint64_t n);
// Stops counting on this thread; true when the armed allocation was reached
// (and failed).
bool Disarm();
// The calling thread's allocations counted since Arm().
uint64_t Counted();

// Stops counting on this thread while it lives: for the test's own callbacks
// that the operation under test calls.
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
