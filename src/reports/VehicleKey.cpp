#include "reports/VehicleKey.h"

#include "archive/ArchiveReader.h"
#include "platform/Gbk.h"
#include "reports/ArchiveText.h"
#include "reports/SettingsFile.h"
#include "util/PrivateProfile.h"

namespace reports {

namespace {

// The name up to its last '-' or '_' that is a character of its own.
std::string DefaultKey(std::string_view name) {
  std::size_t cut = std::string_view::npos;
  for (std::size_t i = 0; i < name.size(); i += GbkCharLength(name, i))
    if (name[i] == '-' || name[i] == '_') cut = i;
  return std::string(cut == std::string_view::npos || cut == 0 ? name : name.substr(0, cut));
}

}  // namespace

bool VehicleRule::FromPattern(const std::string& utf8, VehicleRule* rule, std::string* error) {
  if (utf8.size() > kMaxVehiclePattern) {
    *error = "longer than " + std::to_string(kMaxVehiclePattern) + " bytes";
    return false;
  }
  try {
    rule->regex_ = std::make_shared<const std::regex>(utf8, std::regex::ECMAScript);
  } catch (const std::regex_error& e) {
    *error = e.what();
    return false;
  }
  rule->pattern_ = utf8;
  return true;
}

std::string VehicleRule::KeyOf(std::string_view transferGbk) const {
  if (!regex_) return DefaultKey(transferGbk);
  const std::string whole(transferGbk);
  try {
    // Matched as UTF-8, so that a pattern's Chinese characters and '.' mean
    // what they say; the key goes back to the GBK it came from.
    const std::string text = GbkToUtf8(transferGbk);
    std::smatch m;
    if (!std::regex_search(text, m, *regex_)) return whole;
    const std::string part = m.size() > 1 && m[1].matched ? m[1].str() : m[0].str();
    std::string key;
    if (part.empty() || !Utf8ToGbkExact(part, &key)) return whole;
    return key;
  } catch (const std::exception&) {
    // A pattern too complex for a name (the library gives up): the name is
    // its own vehicle rather than none.
    return whole;
  }
}

VehicleRule ReadVehicleRule(const std::string& path, std::vector<std::string>* warnings) {
  VehicleRule rule;
  if (path.empty()) return rule;
  const std::string text = SettingsText(path, warnings);
  const std::string raw =
      GetPrivateProfileStringFromText(kVehicleSection, kVehiclePatternKey, "", text);
  if (raw.empty()) return rule;
  // UTF-8 as it is, else GBK as a Chinese Windows editor saves it.
  const std::string pattern = CleanUtf8(raw) == raw ? raw : GbkToUtf8(raw);
  std::string why;
  if (!VehicleRule::FromPattern(pattern, &rule, &why))
    warnings->push_back(std::string(kVehiclePatternKey) + "=" + CleanUtf8(pattern) +
                        " in section [" + kVehicleSection + "] of " + path +
                        " is no regular expression (" + why +
                        "): a vehicle is its transfer name up to its last - or _");
  return rule;
}

void TellVehiclesBy(const VehicleRule& rule, archive::ArchiveReader* reader) {
  reader->SetVehicleOf([rule](std::string_view name) { return rule.KeyOf(name); });
}

}  // namespace reports
