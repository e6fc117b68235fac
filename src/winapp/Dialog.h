// CDialog - a modal dialog on a template of the program's resources, made
// with the font face the PC can show Chinese in (Fonts.h: the template's
// own where installed), and run in a modal loop of its own around the
// system's dialog manager (as the owner's input is held). A derived
// dialog overrides the handlers it needs; IDOK and IDCANCEL reach OnOK and
// OnCancel, every other message OnMessage.
#ifndef BRENNA_WINAPP_DIALOG_H
#define BRENNA_WINAPP_DIALOG_H

#include <windows.h>

class CDialog {
 public:
  explicit CDialog(int nIDTemplate);
  virtual ~CDialog();
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Runs the dialog over `owner` (null: none) until EndDialog; its result,
  // or -1 when the dialog could not be made.
  INT_PTR DoModal(HWND owner = nullptr);
  void EndDialog(int nResult);

  HWND GetSafeHwnd() const { return m_hWnd; }
  HWND GetDlgItem(int nID) const { return ::GetDlgItem(m_hWnd, nID); }

 protected:
  // WM_INITDIALOG: TRUE lets the dialog manager set the focus.
  virtual BOOL OnInitDialog() { return TRUE; }
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // Any other message: true when handled, *result then being what the
  // dialog procedure answers (for the messages that want one, the message's
  // own result).
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result);

  HWND m_hWnd = nullptr;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
  // Dispatches the program's messages until EndDialog.
  void RunModalLoop(HWND hWnd);

  int m_nIDTemplate;
  bool m_bEnded = false;
  INT_PTR m_nModalResult = -1;
};

#endif  // BRENNA_WINAPP_DIALOG_H
