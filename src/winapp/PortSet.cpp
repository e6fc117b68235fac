#include "winapp/PortSet.h"

#include <vector>

#include "monitor/Globals.h"
#include "panel/PortSetTemplate.h"
#include "platform/GbkWide.h"
#include "util/PortEntry.h"
#include "util/PortSetting.h"
#include "winapp/MessageBox.h"

CPortSet::CPortSet() : CDialog(IDD_PORTSET) {}

CPortSet::~CPortSet() = default;

void CPortSet::DoDataExchange() {
  m_editNew = GetDlgItem(IDC_EDIT_NEWPORT);
  m_editOld = GetDlgItem(IDC_EDIT_OLDPORT);
}

BOOL CPortSet::OnInitDialog() {
  DoDataExchange();
  SendMessageW(m_editNew, EM_LIMITTEXT, kMaxPortEntryLength, 0);
  // Empty when the site configuration holds no base directory (the library
  // never filled it, or the field is not a terminated text).
  m_strIniPath = PortIniPath(SiteBaseDirectory());
  const int port = ReadPortSetting(m_ini, m_strIniPath);
  SetWindowTextW(m_editOld, std::to_wstring(port).c_str());
  return TRUE;
}

void CPortSet::OnOK() {
  std::vector<wchar_t> typed(static_cast<std::size_t>(GetWindowTextLengthW(m_editNew)) + 1);
  GetWindowTextW(m_editNew, typed.data(), static_cast<int>(typed.size()));
  const std::wstring entry(typed.data());
  const PortEntryResult result =
      SubmitPortEntry(m_ini, m_strIniPath, WideToGbk(entry), WideToUtf8(entry), g_nNetPort);
  ShowMessageBox(m_hWnd, PortEntryMessage(result));
  if (result == PortEntryResult::kRefused) SetWindowTextW(m_editNew, L"");
  if (result == PortEntryResult::kSaved) EndDialog(IDOK);
}

void CPortSet::OnCancel() { EndDialog(IDCANCEL); }
