// Ids - item and parameter IDs and the devices that produce them.
//
// An ID below 10000 is a main ID: an item code such as 5000 or 7700. An ID
// of 10000 or more is a sub-ID: the main ID on one inspection line,
// line × 10000 + main ID (line 1 and item 5000 give 15000). The device
// table holds each device code with the item codes its tester reports: the
// items the monitor routes into that device's group, no more and no fewer
// (tests/panel/ResultRoutingTest.cpp holds the two together).
#ifndef PALLIX_IDS_H
#define PALLIX_IDS_H

namespace pallix::ids {

inline constexpr int kLineFactor = 10000;
// GetItemIDByDevID writes at most this many items.
inline constexpr int kMaxListedItems = 200;

// 1 for a sub-ID, 0 for a main ID, -1 for a negative number.
int IsSubIdInt(int id);
// The same for a decimal text (blanks around it allowed, at most 9
// digits); -1 for a null text or one that is not a decimal number.
int IsSubIdChar(const char* text);
// The main ID of an ID (id % 10000); -1 for a negative ID.
int MainId(int id);
// The ID named by `name` as decimal text in out (12 bytes are enough): a
// decimal name is its own ID, any other name is looked up in the site's
// [ParamNames] table. With line > 0 the result is that line's sub-ID.
// 1 found; 0 unknown name (out ""); -1 null argument or line too large.
int ParamIdByName(const char* name, int line, char* out);
// Item codes of a device into list (at most 200). The count; 0 for an
// unknown device; -1 for a null list.
int ItemIdsByDevId(int devId, int* list);
// Device code of an item code (or of a sub-ID's main ID); 0 when no device
// reports it; -1 for a negative ID.
int DevIdByItemId(int itemId);

}  // namespace pallix::ids

#endif  // PALLIX_IDS_H
