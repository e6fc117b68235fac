# GBK text conversion (brenna_gbk), shared by the monitor and the station
# tool.
include_guard(GLOBAL)
if(WIN32)
  add_library(brenna_gbk STATIC ${CMAKE_CURRENT_LIST_DIR}/GbkWin.cpp)
  # A name's exact conversion is libPallix's (platform/WideTextWin.h).
  target_link_libraries(brenna_gbk PRIVATE pallix_shared_platform)
else()
  add_library(brenna_gbk STATIC ${CMAKE_CURRENT_LIST_DIR}/Gbk.cpp)
endif()
target_include_directories(brenna_gbk PUBLIC ${CMAKE_SOURCE_DIR}/src)
brenna_warnings(brenna_gbk)
