// isoread --version: the project's version and, for each module that loads,
// what its image records say about it.
#pragma once

#include <cstdio>
#include <string>

namespace isoread {

// Prints "isoread VERSION" and one line for each of the two deliverables
// and for module when it is a path: its name, release, build identifiers
// and build date as its image records hold them, and the file. A module
// that does not load is named on err. Returns the exit status, 0.
int print_version(const std::string &module, FILE *out, FILE *err);

}  // namespace isoread
