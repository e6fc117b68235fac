#include "panel/IdleLook.h"

#include <cstddef>

#include "platform/Gbk.h"

namespace {

constexpr bool ResetsEveryOperatorDisplayOnce() {
  for (std::size_t i = 0; i < std::size(kOperatorDisplays); ++i) {
    if (!IsOperatorDisplay(kOperatorDisplays[i])) return false;
    for (std::size_t j = i + 1; j < std::size(kOperatorDisplays); ++j)
      if (kOperatorDisplays[i] == kOperatorDisplays[j]) return false;
  }
  return true;
}
static_assert(ResetsEveryOperatorDisplayOnce(),
              "the idle reset names each device's operator display once");

}  // namespace

const std::string& IdleStateText() {
  static const std::string idle = Gbk("设备空闲");
  return idle;
}
