// VehicleKey - which vehicle a result belongs to, read from its transfer
// name: stations name each transfer after the vehicle's test
// (`粤B27K315-brake`), the record itself names no vehicle. The key is the
// part of the name that names the vehicle (docs/archive.md, "Vehicles"):
//
//   - by default the name up to its last '-' or '_', the whole name when it
//     has none (or nothing before it): `粤B27K315-brake` -> `粤B27K315`,
//     `lane2_0815_brake` -> `lane2_0815`. A '-' or '_' that is the second
//     byte of a GBK character is part of that character, never a cut;
//   - a site that names its transfers otherwise sets a regular expression
//     (ECMAScript, as std::regex reads it) in the settings file
//     brenna-web.ini, `[Vehicle] KeyPattern=`: the first part of the name
//     it matches is searched for; its first group, when it has one, else
//     the whole match, is the key. A name it does not match, or whose
//     match is empty, is its own key.
//
// Keys are GBK bytes, a part of the name they come from, so "the results
// of a vehicle" can be looked for as text within the names first.
#ifndef BRENNA_REPORTS_VEHICLEKEY_H
#define BRENNA_REPORTS_VEHICLEKEY_H

#include <cstddef>
#include <memory>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

namespace archive {
class ArchiveReader;
}  // namespace archive

namespace reports {

inline constexpr char kVehicleSection[] = "Vehicle";
inline constexpr char kVehiclePatternKey[] = "KeyPattern";
// A pattern longer than this is refused (a settings line gone wrong).
inline constexpr std::size_t kMaxVehiclePattern = 256;

class VehicleRule {
 public:
  // The default rule.
  VehicleRule() = default;

  // The rule of a regular expression (UTF-8); false with std::regex's
  // words in *error when it is none, or longer than kMaxVehiclePattern.
  static bool FromPattern(const std::string& utf8, VehicleRule* rule, std::string* error);

  // The vehicle of a transfer name (GBK).
  std::string KeyOf(std::string_view transferGbk) const;

  // The pattern; empty for the default rule.
  const std::string& Pattern() const { return pattern_; }

 private:
  std::string pattern_;
  std::shared_ptr<const std::regex> regex_;
};

// The rule the settings file at `path` sets (missing file, section or key:
// the default). A pattern it cannot take is said in *warnings, naming
// file, key and why; the default stands then.
VehicleRule ReadVehicleRule(const std::string& path, std::vector<std::string>* warnings);

// Lets `reader`'s filters tell vehicles by `rule` (before it is used).
void TellVehiclesBy(const VehicleRule& rule, archive::ArchiveReader* reader);

}  // namespace reports

#endif  // BRENNA_REPORTS_VEHICLEKEY_H
