// VehiclePage - /vehicle?key=KEY, one vehicle (reports/VehicleKey): every
// device group's latest result for it, each with its values as the window
// drew them and their verdicts, on one A4 sheet that names the line (the
// print stylesheet leaves out the bar, the form and the list of every
// result); below it every result of the vehicle, newest first.
#ifndef BRENNA_WEB_VEHICLEPAGE_H
#define BRENNA_WEB_VEHICLEPAGE_H

#include "archive/ArchiveReader.h"
#include "web/Pages.h"

namespace web {

// At most this many of a vehicle's results are listed (its latest per
// group is among them).
inline constexpr int kVehicleResults = 1000;

// The reader tells vehicles by the site's rule (ArchiveReader::SetVehicleOf).
Page VehiclePage(archive::ArchiveReader& reader, const Query& query);

}  // namespace web

#endif  // BRENNA_WEB_VEHICLEPAGE_H
