#include "winapp/BrennaCenterDlg.h"

#include <cstddef>

#include "acquisition/NetTasks.h"
#include "monitor/Globals.h"
#include "panel/Resource.h"
#include "panel/VerdictLegend.h"
#include "platform/Gbk.h"
#include "platform/GbkWide.h"
#include "platform/PallixBinding.h"
#include "winapp/AboutDlg.h"
#include "winapp/ExecutionState.h"
#include "winapp/Fonts.h"
#include "winapp/MessageBox.h"
#include "winapp/PortSet.h"

namespace {

// Timer 1 is the scan (MonitorPipeline::kScanTimer); this one the half
// second each result stays alone.
constexpr UINT_PTR kPauseTimer = 2;

// How long a closing console waits for the stop: the system ends the
// process once its handler returns (and on its own after 5 s).
constexpr DWORD kConsoleCloseWaitMs = 4500;

// Whether the program runs under wine, whose window manager decides the
// size of maximised windows.
bool RunsUnderWine() {
  static const bool wine = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }();
  return wine;
}

}  // namespace

std::atomic<HWND> CBrennaCenterDlg::s_consoleWindow{nullptr};

BOOL WINAPI CBrennaCenterDlg::OnConsoleControl(DWORD event) {
  HWND window = s_consoleWindow.load();
  if (window == nullptr) return FALSE;
  PostMessageW(window, kConsoleStop, event, 0);
  // The stop ends the process under this wait.
  if (event == CTRL_CLOSE_EVENT) Sleep(kConsoleCloseWaitMs);
  return TRUE;
}

CBrennaCenterDlg::CBrennaCenterDlg()
    : CDialog(IDD_BRENNACENTER_DIALOG),
      m_presenter(*this, MonitorSpoolAccess()),
      m_pipeline(*this, m_presenter) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  m_hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, 0,
                                          0, LR_DEFAULTSIZE | LR_SHARED));
  m_hSmallIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME),
                                               IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_SHARED));
}

// Members go in reverse order of declaration; nothing is closed or unloaded
// here. The writer no longer reaches a window that goes.
CBrennaCenterDlg::~CBrennaCenterDlg() { m_presenter.RemovePublicationHook(); }

void CBrennaCenterDlg::AttachArchive(archive::IArchiveWriter* writer, const std::string& path) {
  m_pipeline.AttachArchive(writer, path);
}

void CBrennaCenterDlg::SetStopHandler(std::function<void(const std::string& how)> onStop) {
  m_onStop = std::move(onStop);
}

INT_PTR CBrennaCenterDlg::DoModal() { return CDialog::DoModal(nullptr); }

void CBrennaCenterDlg::EndDialog(int nResult) {
  s_consoleWindow = nullptr;
  SetConsoleCtrlHandler(&OnConsoleControl, FALSE);
  // What has not been shown stays in the spool for the next start.
  m_pipeline.End();
  CDialog::EndDialog(nResult);
}

IValueDisplay* CBrennaCenterDlg::ValueDisplay(int controlId) {
  const int index = ValueDisplayIndex(controlId);
  return index < 0 ? nullptr : &m_val[static_cast<std::size_t>(index)];
}

void CBrennaCenterDlg::DoDataExchange() {
  m_btnPortSet = GetDlgItem(IDC_BTN_PORTSET);
  for (std::size_t i = kVerdictCount; i-- > 0;)
    m_stVerdict[i] = GetDlgItem(kVerdictPanels[i].controlId);
  m_btnQuit = GetDlgItem(IDC_BTN_QUIT);
  for (std::size_t i = 0; i < kValueDisplayCount; ++i)
    m_val[i].SubclassDlgItem(kValueDisplayIds[i], m_hWnd);
}

BOOL CBrennaCenterDlg::OnInitDialog() {
  // The controls, bound to their members.
  DoDataExchange();
  AddAboutEntry();
  SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon));

  // The layout, the maximised window, the pipeline, the looks, timer 1.
  m_pipeline.Start(*this);
  s_consoleWindow = m_hWnd;
  SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
  return TRUE;
}

void CBrennaCenterDlg::AddAboutEntry() {
  HMENU pSysMenu = GetSystemMenu(m_hWnd, FALSE);
  if (pSysMenu == nullptr) return;
  wchar_t strAboutMenu[128] = {};
  LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX, strAboutMenu,
              static_cast<int>(sizeof strAboutMenu / sizeof strAboutMenu[0]));
  if (strAboutMenu[0] == L'\0') return;
  AppendMenuW(pSysMenu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(pSysMenu, MF_STRING, IDM_ABOUTBOX, strAboutMenu);
}

void CBrennaCenterDlg::SetLooks() {
  // Legend brushes in the colours of the legend's table, in its order.
  for (std::size_t i = 0; i < kVerdictCount; ++i)
    m_brVerdict[i].CreateSolidBrush(kVerdictPanels[i].background);

  // Heavy Song faces for the legend and the buttons.
  m_fontPanel.CreateFont(100, 40, 900, ANSI_CHARSET, DEFAULT_PITCH, SongFace());
  m_fontButton.CreateFont(60, 30, 900, ANSI_CHARSET, DEFAULT_PITCH, SongFace());

  // Labels, group boxes and value displays keep their own looks.
  const auto setFont = [](HWND control, HFONT font) {
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  };
  setFont(m_btnQuit, m_fontButton);
  for (HWND panel : m_stVerdict) setFont(panel, m_fontPanel);
  setFont(m_btnPortSet, m_fontButton);
}

void CBrennaCenterDlg::InitLayout() { m_move.InitLayout(m_hWnd); }

void CBrennaCenterDlg::ShowWindowMaximized() { ShowWindow(m_hWnd, SW_MAXIMIZE); }

CRect CBrennaCenterDlg::GetClientRect() const {
  RECT client{};
  ::GetClientRect(m_hWnd, &client);
  return CRect{client.left, client.top, client.right, client.bottom};
}

void CBrennaCenterDlg::MoveWindow(const CRect& rc, bool bRepaint) {
  ::MoveWindow(m_hWnd, rc.left, rc.top, rc.Width(), rc.Height(), bRepaint ? TRUE : FALSE);
  KeepRectangleUnderWindowManager();
}

unsigned CBrennaCenterDlg::SetTimer(unsigned nIDEvent, unsigned nElapse) {
  return ::SetTimer(m_hWnd, nIDEvent, nElapse, nullptr) != 0 ? nIDEvent : 0;
}

void CBrennaCenterDlg::KeepRectangleUnderWindowManager() {
  if (!RunsUnderWine()) return;
  // The window manager under wine sizes a maximised window itself and
  // maximises none without a sizing frame: the window keeps the rectangle
  // as a normal window, which it may give any size.
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  GetWindowPlacement(m_hWnd, &placement);
  placement.showCmd = SW_SHOWNORMAL;
  placement.rcNormalPosition =
      RECT{g_rcMainWnd.left, g_rcMainWnd.top, g_rcMainWnd.right, g_rcMainWnd.bottom};
  SetWindowPlacement(m_hWnd, &placement);
}

bool CBrennaCenterDlg::OnSysCommand(UINT nID, LPARAM) {
  if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg dlgAbout;
    dlgAbout.DoModal(m_hWnd);
    return true;
  }
  if (nID == SC_RESTORE) {
    // Never back to a restored size: maximised again, at the rectangle
    // taken at start, even if the screen has changed since.
    ShowWindowMaximized();
    MoveWindow(g_rcMainWnd, true);
    return true;
  }
  return false;
}

bool CBrennaCenterDlg::OnPaint() {
  if (!IsIconic(m_hWnd)) return false;
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(m_hWnd, &ps);
  SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  // The icon, centred in the client rectangle.
  const int cxIcon = GetSystemMetrics(SM_CXICON);
  const int cyIcon = GetSystemMetrics(SM_CYICON);
  RECT rect;
  ::GetClientRect(m_hWnd, &rect);
  const int x = (rect.right - rect.left - cxIcon + 1) / 2;
  const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
  DrawIcon(dc, x, y, m_hIcon);
  EndPaint(m_hWnd, &ps);
  return true;
}

HCURSOR CBrennaCenterDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void CBrennaCenterDlg::OnSize(UINT, int, int) {
  try {
    m_move.ResizeControls();
  } catch (...) {
    ShowMessageBox(m_hWnd, Gbk("CBrennaCenterDlg::OnSize()   err"));
  }
}

HBRUSH CBrennaCenterDlg::OnCtlColor(HDC pDC, HWND pWnd, UINT) {
  const int i = LegendIndex(GetDlgCtrlID(pWnd));
  if (i < 0) return nullptr;
  const PanelColors& panel = kVerdictPanels[static_cast<std::size_t>(i)];
  SetBkColor(pDC, panel.background);
  SetTextColor(pDC, panel.text);
  return m_brVerdict[static_cast<std::size_t>(i)];
}

void CBrennaCenterDlg::OnBtnQuit() {
  // Only an explicit 是 quits: Esc or the close box (which some systems let
  // close a Yes/No box) and a box that could not be shown (0) are no answer.
  if (ShowMessageBox(m_hWnd, Gbk("是否退出数据监控?"), Gbk("提示信息"),
                     MB_YESNO | MB_ICONQUESTION) != IDYES)
    return;
  m_pipeline.Stop();
  EndDialog(0);
}

void CBrennaCenterDlg::OnBtnPortSet() {
  // The new port is only stored; the running window keeps its channel.
  CPortSet dlg;
  dlg.DoModal(m_hWnd);
}

void CBrennaCenterDlg::ShowMessageBeside(const std::string& gbkText) {
  ShowMessageBoxBeside(gbkText);
}

void CBrennaCenterDlg::ShowMessage(const std::string& gbkText) { ShowMessageBox(m_hWnd, gbkText); }

std::unique_ptr<IScreenAwake> CBrennaCenterDlg::CreateScreenAwake() {
  return std::make_unique<ExecutionStateAwake>();
}

void CBrennaCenterDlg::ReleaseLibrary() {
  // Windows releases a library under its loader lock, which the library's
  // network thread needs to end: released with its channel open, the
  // library would wait for that thread for ever and the program would never
  // end. The channel is closed first, its thread ended, outside the lock.
  CloseNet(kNetChannel);
  UnloadPallix();
}

void CBrennaCenterDlg::ShowTitle(const std::string& gbkTitle) {
  SetWindowTextW(m_hWnd, GbkToWide(gbkTitle).c_str());
}

void CBrennaCenterDlg::OnTimer(UINT_PTR nIDEvent) {
  if (nIDEvent == MonitorPipeline::kScanTimer) {
    ScanSpoolFiles();
  } else if (nIDEvent == kPauseTimer) {
    // Single-shot.
    KillTimer(m_hWnd, kPauseTimer);
    m_presenter.OnPauseOver();
  }
}

int CBrennaCenterDlg::ScanSpoolFiles() { return m_presenter.Scan(); }

void CBrennaCenterDlg::PostPublishedNotice() { PostMessageW(m_hWnd, kPublishedNotice, 0, 0); }

void CBrennaCenterDlg::StartPause(std::chrono::milliseconds delay) {
  // Never early: the system rounds a timer's period up, not down.
  ::SetTimer(m_hWnd, kPauseTimer, static_cast<UINT>(delay.count() > 0 ? delay.count() : 1),
             nullptr);
}

void CBrennaCenterDlg::StopPause() { KillTimer(m_hWnd, kPauseTimer); }

void CBrennaCenterDlg::Stop(const std::string& how) {
  // Nothing more is shown: what waits stays in the spool.
  m_presenter.End();
  if (m_onStop) m_onStop(how);
}

bool CBrennaCenterDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) {
  switch (message) {
    case WM_SYSCOMMAND:
      *result = TRUE;
      return OnSysCommand(static_cast<UINT>(wParam), lParam);
    case WM_PAINT:
      *result = TRUE;
      return OnPaint();
    case WM_QUERYDRAGICON:
      *result = reinterpret_cast<INT_PTR>(OnQueryDragIcon());
      return true;
    case WM_SIZE:
      OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
      return false;
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) return false;
      if (LOWORD(wParam) == IDC_BTN_QUIT) OnBtnQuit();
      if (LOWORD(wParam) == IDC_BTN_PORTSET) OnBtnPortSet();
      *result = TRUE;
      return LOWORD(wParam) == IDC_BTN_QUIT || LOWORD(wParam) == IDC_BTN_PORTSET;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG: {
      HBRUSH brush =
          OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), message);
      *result = reinterpret_cast<INT_PTR>(brush);
      return brush != nullptr;
    }
    case WM_TIMER:
      OnTimer(wParam);
      *result = TRUE;
      return true;
    case kPublishedNotice:
      m_presenter.OnPublishedNotice();
      *result = TRUE;
      return true;
    case WM_QUERYENDSESSION:
      // The session may end: the monitor stops at WM_ENDSESSION.
      SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, TRUE);
      *result = TRUE;
      return true;
    case WM_ENDSESSION:
      if (wParam != FALSE) Stop((lParam & ENDSESSION_LOGOFF) != 0 ? "log-off" : "shutdown");
      *result = TRUE;
      return true;
    case kConsoleStop:
      Stop(wParam == CTRL_C_EVENT       ? "Ctrl+C"
           : wParam == CTRL_BREAK_EVENT ? "Ctrl+Break"
                                        : "the console's closing");
      *result = TRUE;
      return true;
    default:
      return false;
  }
}
