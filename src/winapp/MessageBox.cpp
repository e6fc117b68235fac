#include "winapp/MessageBox.h"

#include <thread>

#include "platform/GbkWide.h"

int ShowMessageBox(HWND owner, const std::string& gbkText, const std::string& gbkCaption,
                   UINT type) {
  return MessageBoxW(owner, GbkToWide(gbkText).c_str(), GbkToWide(gbkCaption).c_str(), type);
}

void ShowMessageBoxBeside(const std::string& gbkText, const std::string& gbkCaption) {
  std::thread([text = GbkToWide(gbkText), caption = GbkToWide(gbkCaption)] {
    MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_SETFOREGROUND);
  }).detach();
}
