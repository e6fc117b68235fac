#include "winapp/Dialog.h"

#include <vector>

#include "winapp/DialogResource.h"
#include "winapp/Fonts.h"

namespace {

// The template of the program's resources with the face the PC can show;
// empty when there is no such template.
std::vector<DWORD> LoadDialogTemplate(int id) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5) /* RT_DIALOG */);
  HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  DialogResource dialog;
  if (bytes == nullptr || !ParseDialogEx(static_cast<const unsigned char*>(bytes),
                                         SizeofResource(module, found), &dialog))
    return {};
  const std::wstring face(dialog.typeface.begin(), dialog.typeface.end());
  const std::wstring shown = DialogFace(face);
  dialog.typeface.assign(shown.begin(), shown.end());
  const std::vector<unsigned char> made = DialogExBytes(dialog);
  // Whole DWORDs, so that the template starts aligned as the system wants.
  std::vector<DWORD> aligned((made.size() + 3) / 4, 0);
  CopyMemory(aligned.data(), made.data(), made.size());
  return aligned;
}

// Centres the dialog over its owner (the work area without one), kept
// within the work area.
void CenterWindow(HWND hWnd) {
  RECT dialog;
  GetWindowRect(hWnd, &dialog);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(hWnd, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT area = monitor.rcWork;
  RECT around = area;
  HWND owner = GetWindow(hWnd, GW_OWNER);
  if (owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &around);
  const int width = dialog.right - dialog.left;
  const int height = dialog.bottom - dialog.top;
  int x = (around.left + around.right - width) / 2;
  int y = (around.top + around.bottom - height) / 2;
  if (x + width > area.right) x = area.right - width;
  if (y + height > area.bottom) y = area.bottom - height;
  if (x < area.left) x = area.left;
  if (y < area.top) y = area.top;
  SetWindowPos(hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

CDialog::CDialog(int nIDTemplate) : m_nIDTemplate(nIDTemplate) {}

CDialog::~CDialog() = default;

// The modal loop is the dialog's own, not DialogBox's: the system's loop
// shows the dialog "normal" when its queue first runs empty, which would
// undo a window that maximised itself while it initialised.
INT_PTR CDialog::DoModal(HWND owner) {
  const std::vector<DWORD> tpl = LoadDialogTemplate(m_nIDTemplate);
  if (tpl.empty()) return -1;
  // Modal to its owner: the owner takes no input while the dialog runs.
  const bool disabledOwner = owner != nullptr && IsWindowEnabled(owner);
  if (disabledOwner) EnableWindow(owner, FALSE);
  m_bEnded = false;
  m_nModalResult = -1;
  HWND hWnd = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                         reinterpret_cast<LPCDLGTEMPLATEW>(tpl.data()), owner,
                                         DialogProc, reinterpret_cast<LPARAM>(this));
  if (hWnd != nullptr) RunModalLoop(hWnd);
  // The owner comes back before the dialog goes, so that it is activated.
  if (disabledOwner) EnableWindow(owner, TRUE);
  if (hWnd != nullptr && IsWindow(hWnd)) DestroyWindow(hWnd);
  return m_nModalResult;
}

void CDialog::RunModalLoop(HWND hWnd) {
  MSG msg;
  while (!m_bEnded) {
    // Shown once the initialisation's messages are done, unless it showed
    // itself already.
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE) && !IsWindowVisible(hWnd))
      ShowWindow(hWnd, SW_SHOWNORMAL);
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      // The program is asked to end: the loop above ours gets the request.
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (!IsDialogMessageW(hWnd, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

void CDialog::EndDialog(int nResult) {
  m_nModalResult = nResult;
  m_bEnded = true;
  // Wakes the loop should it be waiting.
  if (m_hWnd != nullptr) PostMessageW(m_hWnd, WM_NULL, 0, 0);
}

bool CDialog::OnMessage(UINT, WPARAM, LPARAM, INT_PTR*) { return false; }

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CDialog* dlg = nullptr;
  if (message == WM_INITDIALOG) {
    dlg = reinterpret_cast<CDialog*>(lParam);
    SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
    dlg->m_hWnd = hWnd;
    RECT before;
    GetWindowRect(hWnd, &before);
    const BOOL focus = dlg->OnInitDialog();
    // A dialog that did not place itself while it initialised shows in the
    // middle of its owner, as dialogs of the dialog framework do.
    RECT after;
    GetWindowRect(hWnd, &after);
    if (EqualRect(&before, &after)) CenterWindow(hWnd);
    return focus;
  }
  dlg = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hWnd, DWLP_USER));
  if (dlg == nullptr) return FALSE;
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    if (LOWORD(wParam) == IDOK) {
      dlg->OnOK();
      return TRUE;
    }
    if (LOWORD(wParam) == IDCANCEL) {
      dlg->OnCancel();
      return TRUE;
    }
  }
  INT_PTR result = FALSE;
  const bool handled = dlg->OnMessage(message, wParam, lParam, &result);
  if (message == WM_NCDESTROY) dlg->m_hWnd = nullptr;
  return handled ? result : FALSE;
}
