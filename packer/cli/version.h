// The kit's version as bvpack reports it: the project's version, and the
// commit it was built from where it was built from git.
#pragma once
#include <string>

namespace bv {

// "1.0.0" or "1.0.0 (git 0123abcd)", "1.0.0 (git 0123abcd, modified)".
std::string KitVersion();

}  // namespace bv
