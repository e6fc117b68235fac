// The serial-port record's assignment copies all of its bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "SerialCtl.h"

namespace {

void Fill(SerialCtl& r, unsigned seed) {
  for (size_t i = 0; i < kSerialCtlSize; ++i)
    r.m_data[i] = static_cast<unsigned char>(i * 31 + seed + i / 251);
}

TEST(SerialCtlTest, AssignmentCopiesEveryByteAndReturnsTheTarget) {
  auto source = std::make_unique<SerialCtl>();
  auto target = std::make_unique<SerialCtl>();
  auto expected = std::make_unique<SerialCtl>();
  Fill(*source, 1);
  Fill(*expected, 1);
  Fill(*target, 2);
  SerialCtl& result = (*target = *source);
  EXPECT_EQ(&result, target.get());
  // The first and the last byte are where an off-by-one copy goes wrong.
  EXPECT_EQ(target->m_data[0], source->m_data[0]);
  EXPECT_EQ(target->m_data[kSerialCtlSize - 1], source->m_data[kSerialCtlSize - 1]);
  EXPECT_TRUE(std::equal(target->m_data, target->m_data + kSerialCtlSize, expected->m_data));
  EXPECT_TRUE(std::equal(source->m_data, source->m_data + kSerialCtlSize, expected->m_data));
}

TEST(SerialCtlTest, SelfAssignmentLeavesTheBytes) {
  auto record = std::make_unique<SerialCtl>();
  auto expected = std::make_unique<SerialCtl>();
  Fill(*record, 5);
  Fill(*expected, 5);
  SerialCtl& alias = *record;
  EXPECT_EQ(&(*record = alias), record.get());
  EXPECT_TRUE(std::equal(record->m_data, record->m_data + kSerialCtlSize, expected->m_data));
}

}  // namespace
