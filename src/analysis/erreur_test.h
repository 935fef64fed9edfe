#pragma once

#include <stdexcept>

namespace quelvane {

// A test that cannot run, with the French message the user reads (images of different sizes,
// lengths that make no sense, a pair that cannot be measured).
struct ErreurTest : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace quelvane
