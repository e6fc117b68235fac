// SpoolNames - the names of the files in the spool directory, one constant
// each, for the chunk writer that makes them, the scan that finds results
// and the sweep that removes leftovers (docs/spool.md):
//
//   <name>.compress      the chunks of transfer <name>, each in its slot
//   rtdata.dat           the file just decompressed (named by libPallix)
//   <name>.DOING.part    a result being published
//   <name>.DOING         a published result, waiting to be shown
#ifndef BRENNA_ACQUISITION_SPOOLNAMES_H
#define BRENNA_ACQUISITION_SPOOLNAMES_H

#include "Pallix.h"

inline constexpr char kChunkFileSuffix[] = ".compress";
inline constexpr char kUncompressedName[] = PALLIX_UNCOMPRESS_OUTPUT;
inline constexpr char kResultFileSuffix[] = ".DOING";
// A file written aside under its final name (and, from libPallix, a unique
// tag) and this ending, then renamed into place; the scan never matches it.
inline constexpr char kPartFileSuffix[] = PALLIX_TEMPORARY_SUFFIX;

#endif  // BRENNA_ACQUISITION_SPOOLNAMES_H
