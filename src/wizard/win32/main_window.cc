#include "wizard/win32/main_window.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "platform/unicode_win32.h"
#include "wizard/win32/compact_path.h"
#include "wizard/win32/resources/resource_ids.h"
#include "wizard/window_design.h"

namespace wizard::win32 {
namespace {

constexpr wchar_t kWindowClass[] = L"TessalyCalendarUpdate";
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kWindowExStyle = WS_EX_CONTROLPARENT;
// Painting at the yield stops after this many rounds, should some window
// never validate what it was asked to paint.
constexpr int kMostPaintRounds = 64;

bool RegisterWindowClass(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXW existing = {};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(instance, kWindowClass, &existing)) return true;
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = instance;
  window_class.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_CALENDAR_CLOCK),
                                                     IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                                     GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
  window_class.hIconSm = static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(IDI_CALENDAR_CLOCK), IMAGE_ICON,
                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  window_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kWindowClass;
  return RegisterClassExW(&window_class) != 0;
}

// A device context of `window` with `font` selected, for measuring.
class WindowDc {
 public:
  WindowDc(HWND window, HFONT font) : window_(window), dc_(GetDC(window)) {
    if (dc_ != nullptr) previous_ = SelectObject(dc_, font);
  }
  ~WindowDc() {
    if (dc_ == nullptr) return;
    SelectObject(dc_, previous_);
    ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
  HGDIOBJ previous_ = nullptr;
};

}  // namespace

// The form's controls (F1-F7).
class MainWindow::Controls : public FormControls {
 public:
  explicit Controls(MainWindow& window) : window_(window) {}
  void SetStatusText(std::string_view text) override {
    window_.SetText(ControlId::lblUpdate, text);
  }
  void ShowPath(const std::string& path) override {
    window_.SetText(ControlId::txtDatabaseFile,
                    path.empty() ? "" : window_.CompactedForPathBox(path));
  }
  std::string MainCaption() override { return window_.Text(ControlId::cmdButton1); }
  void SetMainCaption(std::string_view caption) override {
    window_.SetText(ControlId::cmdButton1, caption);
  }
  bool IsEnabled(Button button) override { return window_.IsEnabled(Id(button)); }
  void SetEnabled(Button button, bool enabled) override { window_.SetEnabled(Id(button), enabled); }
  void Focus(Button button) override {
    if (HWND control = window_.control(Id(button))) SetFocus(control);
  }
  void PaintPending() override { window_.PaintPending(); }
  void DiscardQueuedInput() override { window_.DiscardQueuedInput(); }
  void Unload() override {
    if (window_.hwnd_ != nullptr) DestroyWindow(window_.hwnd_);
  }

  static ControlId Id(Button button) {
    switch (button) {
      case Button::kBrowse: return ControlId::cmdBrowse;
      case Button::kCancel: return ControlId::cmdCancel;
      case Button::kMain: break;
    }
    return ControlId::cmdButton1;
  }

 private:
  MainWindow& window_;
};

MainWindow::MainWindow(std::string default_database, OpenFileDialog& dialog, HINSTANCE instance)
    : controls_(std::make_unique<Controls>(*this)),
      form_(*controls_, dialog, std::move(default_database)) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  if (!RegisterWindowClass(instance, &MainWindow::WindowProc)) return;

  if (HDC screen = GetDC(nullptr)) {
    dpi_x_ = GetDeviceCaps(screen, LOGPIXELSX);
    dpi_y_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
  }
  // The dialog font at the size the layout was drawn for.
  font_ = CreateFontW(-MulDiv(kFontPoints, dpi_y_, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                      DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                      DEFAULT_PITCH | FF_DONTCARE, L"MS Shell Dlg 2");
  picture_ = static_cast<HBITMAP>(LoadImageW(instance, MAKEINTRESOURCEW(IDB_CALENDAR_CLOCK),
                                             IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));

  RECT frame = {0, 0, TwipsToPixels(kClientWidthTwips, dpi_x_),
                TwipsToPixels(kClientHeightTwips, dpi_y_)};
  AdjustWindowRectEx(&frame, kWindowStyle, FALSE, kWindowExStyle);
  const std::wstring caption = platform::Widen(kWindowCaption);
  CreateWindowExW(kWindowExStyle, kWindowClass, caption.c_str(), kWindowStyle, CW_USEDEFAULT,
                  CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, nullptr,
                  nullptr, instance, this);
  if (hwnd_ == nullptr) return;
  CreateControls(instance);
}

MainWindow::~MainWindow() {
  quits_on_close_ = false;
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  if (font_ != nullptr) DeleteObject(font_);
  if (picture_ != nullptr) DeleteObject(picture_);
}

void MainWindow::CreateControls(HINSTANCE instance) {
  struct Control {
    ControlId id;
    const wchar_t* window_class;
    DWORD style;
    DWORD ex_style;
    TwipsRect place;
    std::string_view text;
  };
  const Control controls[] = {
      {ControlId::Picture1, L"STATIC", SS_OWNERDRAW, 0, kPicture1, {}},
      {ControlId::lblUpdate, L"STATIC", SS_LEFT | SS_NOPREFIX, 0, kLblUpdate, kDesignStatusText},
      {ControlId::lblDatabaseFile, L"STATIC", SS_LEFT, 0, kLblDatabaseFile, kPathLabelCaption},
      {ControlId::txtDatabaseFile,
       L"EDIT",
       WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL,
       WS_EX_CLIENTEDGE,
       kTxtDatabaseFile,
       {}},
      {ControlId::cmdBrowse, L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0, kCmdBrowse, kBrowseCaption},
      {ControlId::cmdCancel, L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0, kCmdCancel, kCancelCaption},
      {ControlId::cmdButton1, L"BUTTON", WS_TABSTOP | BS_DEFPUSHBUTTON, 0, kCmdButton1,
       kNextCaption},
  };
  for (const Control& c : controls) {
    HWND child =
        CreateWindowExW(c.ex_style, c.window_class, platform::Widen(c.text).c_str(),
                        WS_CHILD | WS_VISIBLE | c.style, TwipsToPixels(c.place.left, dpi_x_),
                        TwipsToPixels(c.place.top, dpi_y_), TwipsToPixels(c.place.width, dpi_x_),
                        TwipsToPixels(c.place.height, dpi_y_), hwnd_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance, nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  }

  tool_tip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_,
                              nullptr, instance, nullptr);
  if (tool_tip_ != nullptr) {
    std::wstring tip = platform::Widen(kPathToolTip);
    TOOLINFOW tool = {};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(control(ControlId::txtDatabaseFile));
    tool.lpszText = tip.data();
    SendMessageW(tool_tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

HWND MainWindow::control(ControlId id) const {
  return hwnd_ != nullptr ? GetDlgItem(hwnd_, static_cast<int>(id)) : nullptr;
}

std::string MainWindow::Text(ControlId id) const {
  HWND window = control(id);
  if (window == nullptr) return {};
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return platform::Narrow(text);
}

bool MainWindow::IsEnabled(ControlId id) const {
  HWND window = control(id);
  return window != nullptr && IsWindowEnabled(window);
}

void MainWindow::SetText(ControlId id, std::string_view text) {
  if (HWND window = control(id)) SetWindowTextW(window, platform::Widen(text).c_str());
}

void MainWindow::SetEnabled(ControlId id, bool enabled) {
  HWND window = control(id);
  if (window == nullptr) return;
  // A control that loses its enabled state passes the focus on, as dialogs do.
  if (!enabled && GetFocus() == window) {
    if (HWND next = GetNextDlgTabItem(hwnd_, window, FALSE); next != nullptr && next != window)
      SetFocus(next);
  }
  EnableWindow(window, enabled ? TRUE : FALSE);
}

void MainWindow::Show(int show_command) {
  if (hwnd_ == nullptr) return;
  RECT window, work;
  GetWindowRect(hwnd_, &window);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int width = window.right - window.left, height = window.bottom - window.top;
  SetWindowPos(hwnd_, nullptr, work.left + (work.right - work.left - width) / 2,
               work.top + (work.bottom - work.top - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(hwnd_, show_command);
  UpdateWindow(hwnd_);
  SetFocus(control(ControlId::txtDatabaseFile));
}

std::string MainWindow::CompactedForPathBox(const std::string& path) const {
  // The box's formatting rectangle: its client area less the margins the
  // edit control keeps for its font.
  RECT text = {};
  SendMessageW(control(ControlId::txtDatabaseFile), EM_GETRECT, 0, reinterpret_cast<LPARAM>(&text));
  const int32_t twips_per_pixel = ScreenTwipsPerPixelX();
  const WindowDc dc(hwnd_, font_);
  return CompactPathForDisplay(path, (text.right - text.left) * twips_per_pixel, dc.get());
}

std::optional<Button> MainWindow::FocusedButton() const {
  HWND focus = GetFocus();
  for (Button button : {Button::kBrowse, Button::kCancel, Button::kMain}) {
    if (focus != nullptr && focus == control(Controls::Id(button))) return button;
  }
  return std::nullopt;
}

void MainWindow::DiscardQueuedInput() {
  MSG message;
  constexpr UINT kInput[][2] = {{WM_KEYFIRST, WM_KEYLAST},
                                {WM_MOUSEFIRST, WM_MOUSELAST},
                                {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK}};
  for (const auto& range : kInput) {
    while (PeekMessageW(&message, nullptr, range[0], range[1], PM_REMOVE | PM_NOYIELD)) {
    }
  }
}

void MainWindow::PaintPending() {
  if (hwnd_ == nullptr) return;
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  // Paint messages only: keys, clicks and posted messages wait in the queue.
  MSG message;
  for (int round = 0;
       round < kMostPaintRounds && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT);
       ++round) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    DispatchMessageW(&message);
  }
  GdiFlush();
}

void MainWindow::DrawPicture(const DRAWITEMSTRUCT& item) const {
  FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
  if (picture_ == nullptr) return;
  HDC source = CreateCompatibleDC(item.hDC);
  HGDIOBJ previous = SelectObject(source, picture_);
  // Drawn at its own size from the top left; the box clips what does not fit.
  BitBlt(item.hDC, item.rcItem.left, item.rcItem.top,
         std::min<LONG>(kPicturePixels, item.rcItem.right - item.rcItem.left),
         std::min<LONG>(kPicturePixels, item.rcItem.bottom - item.rcItem.top), source, 0, 0,
         SRCCOPY);
  SelectObject(source, previous);
  DeleteDC(source);
}

bool MainWindow::PreTranslateMessage(MSG& message) {
  if (hwnd_ == nullptr || (message.hwnd != hwnd_ && !IsChild(hwnd_, message.hwnd))) return false;
  if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN) {
    form_.EnterPressed(FocusedButton());
    return true;
  }
  if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) {
    form_.EscapePressed();
    return true;
  }
  return IsDialogMessageW(hwnd_, &message) != FALSE;
}

LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* window =
        static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    window->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
  }
  auto* window = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (window == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  return window->HandleMessage(message, wparam, lparam);
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wparam) == BN_CLICKED) {
        switch (static_cast<ControlId>(LOWORD(wparam))) {
          case ControlId::cmdButton1: cmdButton1_Click(); return 0;
          case ControlId::cmdCancel: cmdCancel_Click(); return 0;
          case ControlId::cmdBrowse: cmdBrowse_Click(); return 0;
          default: break;
        }
      }
      break;
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
      if (item.CtlID == static_cast<UINT>(ControlId::Picture1)) {
        DrawPicture(item);
        return TRUE;
      }
      break;
    }
    case WM_ACTIVATE:
      // Keep the focus where the user left it while another window is active.
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        saved_focus_ = focus != nullptr && IsChild(hwnd_, focus) ? focus : nullptr;
      } else {
        SetFocus(saved_focus_ != nullptr && IsWindow(saved_focus_)
                     ? saved_focus_
                     : control(ControlId::txtDatabaseFile));
      }
      return 0;
    case WM_NEXTDLGCTL: {
      // The dialog manager moves the focus with this message (the path
      // label's access key, for one); a plain window has to do it itself.
      HWND target = reinterpret_cast<HWND>(wparam);
      if (LOWORD(lparam) == 0) {
        HWND focus = GetFocus();
        target = GetNextDlgTabItem(
            hwnd_, focus != nullptr && IsChild(hwnd_, focus) ? focus : nullptr, wparam != 0);
      }
      if (target != nullptr && IsChild(hwnd_, target)) {
        SetFocus(target);
        if (SendMessageW(target, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
          SendMessageW(target, EM_SETSEL, 0, -1);
      }
      return 0;
    }
    case WM_CLOSE: form_.CloseRequested(); return 0;
    case WM_DESTROY:
      if (quits_on_close_) PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      tool_tip_ = nullptr;
      return 0;
  }
  return DefWindowProcW(hwnd_, message, wparam, lparam);
}

void PumpWaitingMessages(MainWindow& window) {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    if (!window.PreTranslateMessage(message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}

int RunMessageLoop(MainWindow& window) {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (!window.PreTranslateMessage(message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return static_cast<int>(message.wParam);
}

}  // namespace wizard::win32
