// ValueDisplayIds - the control IDs of the main window's value displays, in
// ascending order: the vocabulary by which the routing, the network tasks
// and the window address a display. The window keeps its displays in this
// order, the display with the ID at position i at its position i. The window's template is checked
// against this list when it compiles, and so is every route.
#ifndef BRENNA_PANEL_VALUEDISPLAYIDS_H
#define BRENNA_PANEL_VALUEDISPLAYIDS_H

#include <cstddef>
#include <iterator>

inline constexpr int kValueDisplayIds[] = {
    1018, 1019, 1020, 1021, 1024, 1052, 1056, 1064, 1065, 1066, 1067, 1068, 1069, 1070, 1072, 1073,
    1077, 1081, 1082, 1083, 1087, 1088, 1092, 1093, 1102, 1103, 1107, 1108, 1109, 1110, 1111, 1112,
    1113, 1114, 1115, 1116, 1117, 1118, 1119, 1120, 1121, 1122, 1123, 1124, 1125, 1126, 1127, 1128,
    1129, 1130, 1131, 1132, 1133, 1134, 1135, 1136, 1137, 1138, 1139, 1140, 1141, 1142, 1143, 1144,
    1145, 1146, 1147, 1148, 1149, 1150, 1151, 1152, 1153, 1154, 1155, 1156, 1157,
};

// Whether `id` is the control ID of a value display.
constexpr bool IsValueDisplayId(int id) {
  for (const int known : kValueDisplayIds)
    if (known == id) return true;
  return false;
}

// The position of a value display's control ID in kValueDisplayIds, -1
// when `id` is none.
constexpr int ValueDisplayIndex(int id) {
  std::size_t first = 0, last = std::size(kValueDisplayIds);
  while (first < last) {
    const std::size_t middle = first + (last - first) / 2;
    if (kValueDisplayIds[middle] < id)
      first = middle + 1;
    else
      last = middle;
  }
  return first < std::size(kValueDisplayIds) && kValueDisplayIds[first] == id
             ? static_cast<int>(first)
             : -1;
}

namespace value_display_ids_detail {
constexpr bool StrictlyAscending() {
  for (std::size_t i = 1; i < std::size(kValueDisplayIds); ++i)
    if (kValueDisplayIds[i - 1] >= kValueDisplayIds[i]) return false;
  return true;
}
}  // namespace value_display_ids_detail
static_assert(value_display_ids_detail::StrictlyAscending(),
              "value display IDs must be listed once each, in ascending order");

#endif  // BRENNA_PANEL_VALUEDISPLAYIDS_H
