// isoread --version: the project's version and, for each module that loads,
// what its image records say about it.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace isoread {

// Prints "isoread VERSION" and one line per module of `modules` (names of
// the two deliverables or paths) that loads: its name, release, build
// identifiers and build date as its image records hold them, and the file.
// A module that does not load is named on stderr. Returns the exit status,
// 0.
int print_version(const std::vector<std::string> &modules, FILE *out, FILE *err);

}  // namespace isoread
