// Dates - calendar arithmetic for GetDateByTimeSpan.
#ifndef PALLIX_DATES_H
#define PALLIX_DATES_H

#include "Pallix.h"

namespace pallix::dates {

// The date `span` days after (negative: before) *in, proleptic Gregorian
// calendar, years 1 to 9999. 1 done; -1 null pointer; -2 *in is not a
// valid date; -3 the result leaves the years 1 to 9999.
int DateByTimeSpan(const PallixDate* in, int span, PallixDate* out);

}  // namespace pallix::dates

#endif  // PALLIX_DATES_H
