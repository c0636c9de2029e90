// The display order of the entry table: entries sorted by name without regard
// to case (the platform's locale-aware comparison); names that compare equal
// take consecutive positions in table order, so a recorded entry comes before an
// active one of the same name and records keep their file order.
#pragma once

#include <string>
#include <vector>

#include "platform/Locale.h"
#include "store/EntryTable.h"

namespace vantorell::store {

// Position of each name, a permutation of 0..N-1. O(N log N) comparisons: a
// stable sort of the indices gives every name the first free slot of its run of
// equal names, which is the same result as searching the sorted names for the
// first equal one and stepping past the positions already given.
std::vector<int> DisplayPositions(platform::Locale& locale, const std::vector<const std::string*>& names);

// Sets the position of every entry.
void AssignDisplayPositions(platform::Locale& locale, std::vector<StartupEntry>& entries);

}  // namespace vantorell::store
