// The virtual-table slot of a member function, for the tests that pin a
// class's virtual order. The Itanium C++ ABI represents a pointer to a
// virtual member function as 1 + the function's byte offset in the virtual
// table; a pointer to a non-virtual one holds its (even) address instead.
#ifndef EVTASK_TESTS_SUPPORT_ABISLOTS_H
#define EVTASK_TESTS_SUPPORT_ABISLOTS_H

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

namespace evtask {
namespace test {

// The slot of the virtual member function `f`; a non-virtual `f` fails the
// calling test.
template <class F>
std::ptrdiff_t slotOf(F f) {
  static_assert(sizeof(F) == 2 * sizeof(std::ptrdiff_t), "Itanium member pointer");
  std::ptrdiff_t raw[2];
  std::memcpy(raw, &f, sizeof raw);
  EXPECT_EQ(1, raw[0] & 1) << "not a virtual function";
  return (raw[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

}  // namespace test
}  // namespace evtask

#endif  // EVTASK_TESTS_SUPPORT_ABISLOTS_H
