// SettingsFile - the settings file of the programs beside the monitor,
// brenna-web.ini (docs/web-view.md, "Settings"): brenna-web reads all of it,
// brenna-history the section that says how a transfer name names its
// vehicle (reports/VehicleKey), so both programs tell vehicles alike.
#ifndef BRENNA_REPORTS_SETTINGSFILE_H
#define BRENNA_REPORTS_SETTINGSFILE_H

#include <string>
#include <vector>

namespace reports {

// brenna-web.ini in the settings folder (platform/ArchiveFolder.h:
// $XDG_CONFIG_HOME/brennacenter, ~/.config/brennacenter; on Windows the
// site's base directory); empty when no home is known.
std::string DefaultSettingsFile();

// The text of the settings file at `path` (empty when it is missing; what
// kept it from being read in *warnings), without an editor's byte order
// mark.
std::string SettingsText(const std::string& path, std::vector<std::string>* warnings);

}  // namespace reports

#endif  // BRENNA_REPORTS_SETTINGSFILE_H
