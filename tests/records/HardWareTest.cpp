// The device record's copy, assignment and destruction: every one of the 23
// fields travels, and texts are copies of their own.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "HardWare.h"

namespace {

// Each field gets contents that differ from every other field and from
// every other seed, so a field left out or swapped shows up.
template <typename Array>
void Pattern(Array& a, int seed, int field) {
  for (size_t i = 0; i < a.size(); ++i)
    a[i] = static_cast<typename Array::value_type>(seed * 7919 + field * 131 + i);
}

std::string Text(int seed, int field) {
  // Longer than any short-string buffer, so copies own separate storage.
  return "设备" + std::to_string(seed) + "-" + std::to_string(field) + std::string(40, 'x');
}

void Fill(CHardWare& r, int seed) {
  auto n = [&](int field) { return seed * 1000 + field; };
  r.m_n1 = n(1);
  Pattern(r.m_b2, seed, 2);
  Pattern(r.m_b3, seed, 3);
  Pattern(r.m_b4, seed, 4);
  Pattern(r.m_b5, seed, 5);
  r.m_str6 = Text(seed, 6);
  r.m_str7 = Text(seed, 7);
  r.m_n8 = n(8);
  r.m_str9 = Text(seed, 9);
  r.m_n10 = n(10);
  r.m_n11 = n(11);
  r.m_n12 = n(12);
  r.m_n13 = n(13);
  r.m_n14 = n(14);
  Pattern(r.m_b15, seed, 15);
  Pattern(r.m_b16, seed, 16);
  Pattern(r.m_b17, seed, 17);
  Pattern(r.m_arr18, seed, 18);
  r.m_n19 = n(19);
  r.m_n20 = n(20);
  r.m_n21 = n(21);
  r.m_n22 = n(22);
  r.m_n23 = n(23);
}

void ExpectHolds(const CHardWare& r, int seed) {
  CHardWare expected;
  Fill(expected, seed);
  EXPECT_EQ(r.m_n1, expected.m_n1);
  EXPECT_EQ(r.m_b2, expected.m_b2);
  EXPECT_EQ(r.m_b3, expected.m_b3);
  EXPECT_EQ(r.m_b4, expected.m_b4);
  EXPECT_EQ(r.m_b5, expected.m_b5);
  EXPECT_EQ(r.m_str6, expected.m_str6);
  EXPECT_EQ(r.m_str7, expected.m_str7);
  EXPECT_EQ(r.m_n8, expected.m_n8);
  EXPECT_EQ(r.m_str9, expected.m_str9);
  EXPECT_EQ(r.m_n10, expected.m_n10);
  EXPECT_EQ(r.m_n11, expected.m_n11);
  EXPECT_EQ(r.m_n12, expected.m_n12);
  EXPECT_EQ(r.m_n13, expected.m_n13);
  EXPECT_EQ(r.m_n14, expected.m_n14);
  EXPECT_EQ(r.m_b15, expected.m_b15);
  EXPECT_EQ(r.m_b16, expected.m_b16);
  EXPECT_EQ(r.m_b17, expected.m_b17);
  EXPECT_EQ(r.m_arr18, expected.m_arr18);
  EXPECT_EQ(r.m_n19, expected.m_n19);
  EXPECT_EQ(r.m_n20, expected.m_n20);
  EXPECT_EQ(r.m_n21, expected.m_n21);
  EXPECT_EQ(r.m_n22, expected.m_n22);
  EXPECT_EQ(r.m_n23, expected.m_n23);
}

TEST(HardWareTest, CopyHoldsEveryFieldAndTextsOfItsOwn) {
  auto source = std::make_unique<CHardWare>();
  Fill(*source, 1);
  auto copy = std::make_unique<CHardWare>(*source);
  ExpectHolds(*copy, 1);

  copy->m_str6[0] = 'A';
  copy->m_str7 += "!";
  copy->m_str9.clear();
  ExpectHolds(*source, 1);

  // The copy outlives its source.
  source.reset();
  EXPECT_EQ(copy->m_str6.substr(1), Text(1, 6).substr(1));
  EXPECT_EQ(copy->m_str9, "");
}

TEST(HardWareTest, AssignmentReplacesEveryFieldAndReturnsTheTarget) {
  auto source = std::make_unique<CHardWare>();
  auto target = std::make_unique<CHardWare>();
  Fill(*source, 1);
  Fill(*target, 2);
  CHardWare& result = (*target = *source);
  EXPECT_EQ(&result, target.get());
  ExpectHolds(*target, 1);

  target->m_str9 = "changed";
  target->m_arr18[999] = -1;
  ExpectHolds(*source, 1);
}

TEST(HardWareTest, SelfAssignmentLeavesTheRecordUnchanged) {
  auto record = std::make_unique<CHardWare>();
  Fill(*record, 3);
  CHardWare& alias = *record;
  CHardWare& result = (*record = alias);
  EXPECT_EQ(&result, record.get());
  ExpectHolds(*record, 3);
}

}  // namespace
