#include "Ids.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "SiteConfig.h"

namespace pallix::ids {

namespace {

struct DeviceItems {
  int device;
  const int* items;
  int count;
};

// Speedometer tester.
constexpr int kSpeed[] = {5000, 5001};
// Opacity smoke meter.
constexpr int kOpacity[] = {5008, 5009, 5010, 5012};
// Two-speed idle exhaust analyser.
constexpr int kExhaust[] = {5018, 5019, 5028, 5029, 5033};
// Side-slip tester.
constexpr int kSideSlip[] = {5142};
// Sound-level meter.
constexpr int kSound[] = {5139};
// Headlamp tester.
constexpr int kHeadlamp[] = {5157, 5159, 5160, 5163, 5164, 5165, 5167, 5168,
                             5173, 5175, 5176, 5180, 5181, 5182, 5184, 5185};
// Brake tester.
constexpr int kBrake[] = {5053, 5054, 5056, 5057, 5059, 5060, 5071, 5072, 5073, 5074,
                          5075, 5076, 5078, 5079, 5080, 5081, 5082, 5083, 5084, 5085,
                          5086, 5088, 5089, 5090, 5091, 5092, 5093, 5094, 5095, 5096,
                          5098, 5099, 5100, 5131, 5132, 5135, 5136};

template <std::size_t N>
constexpr DeviceItems Row(int device, const int (&items)[N]) {
  return DeviceItems{device, items, static_cast<int>(N)};
}

constexpr DeviceItems kDevices[] = {
    Row(3, kSpeed),    Row(7, kSound),    Row(8, kSideSlip), Row(11, kHeadlamp),
    Row(14, kOpacity), Row(15, kExhaust), Row(25, kBrake),
};

std::string TrimBlanks(const char* text) {
  std::string s(text);
  std::string::size_type b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  std::string::size_type e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

// The value of a decimal text of 1 to 9 digits, or -1.
int DecimalValue(const std::string& s) {
  if (s.empty() || s.size() > 9) return -1;
  int v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

}  // namespace

int IsSubIdInt(int id) {
  if (id < 0) return -1;
  return id >= kLineFactor ? 1 : 0;
}

int IsSubIdChar(const char* text) {
  if (text == nullptr) return -1;
  int v = DecimalValue(TrimBlanks(text));
  return v < 0 ? -1 : IsSubIdInt(v);
}

int MainId(int id) { return id < 0 ? -1 : id % kLineFactor; }

int ParamIdByName(const char* name, int line, char* out) {
  if (name == nullptr || out == nullptr) return -1;
  if (line > 99999) return -1;  // line × 10000 must stay an int
  out[0] = '\0';
  std::string key = TrimBlanks(name);
  int id = DecimalValue(key);
  if (id < 0) {
    auto settings = site::Current();
    for (const auto& [paramName, idText] : settings->paramNames) {
      if (paramName == key) {
        id = DecimalValue(idText);
        break;
      }
    }
  }
  if (id < 0) return 0;
  if (line > 0) id = line * kLineFactor + MainId(id);
  std::snprintf(out, 12, "%d", id);
  return 1;
}

int ItemIdsByDevId(int devId, int* list) {
  if (list == nullptr) return -1;
  for (const DeviceItems& d : kDevices) {
    if (d.device != devId) continue;
    int n = d.count < kMaxListedItems ? d.count : kMaxListedItems;
    std::memcpy(list, d.items, static_cast<std::size_t>(n) * sizeof(int));
    return n;
  }
  return 0;
}

int DevIdByItemId(int itemId) {
  if (itemId < 0) return -1;
  const int main = MainId(itemId);
  for (const DeviceItems& d : kDevices) {
    for (int i = 0; i < d.count; ++i)
      if (d.items[i] == main) return d.device;
  }
  return 0;
}

}  // namespace pallix::ids
