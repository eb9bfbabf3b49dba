// isoread --list: every reader of the catalog, one line each.
#pragma once

#include <cstdio>
#include <string>

namespace isoread {

// The listing: a heading and, for each reader of the catalog in its order,
// its name, kind, widths, modules, what it reads and an example, in aligned
// columns.
std::string list_text();

// Prints the listing; returns the exit status: 0, or 2 when it could not be
// written (reported on standard error).
int print_list(FILE *out);

}  // namespace isoread
