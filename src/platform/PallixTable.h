// PallixTable - what the binding's own files share: the table slots by
// name, read access to an entry, and the fatal report.
#ifndef BRENNA_PLATFORM_PALLIXTABLE_H
#define BRENNA_PLATFORM_PALLIXTABLE_H

#include <string>

#include "Pallix.h"

// Position of each export in the resolution order (1-based).
enum class PallixSlot : int {
#define BRENNA_SLOT(pos, ret, name, params, args) name = pos,
  PALLIX_FUNCTIONS(BRENNA_SLOT, BRENNA_SLOT)
#undef BRENNA_SLOT
};

// A table entry: the address of a library function as the one generic
// function-pointer type, cast back to its real type at the call.
using PallixEntryFn = void (*)();

// The entry of a slot; null when it is not resolved.
PallixEntryFn PallixEntry(PallixSlot slot);

// Passes the text to the installed fatal reporter.
void ReportPallixFatal(const std::string& gbkText);

#endif  // BRENNA_PLATFORM_PALLIXTABLE_H
