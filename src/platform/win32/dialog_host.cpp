#include "platform/win32/dialog_host.h"
#include "platform/win32/text_api.h"

#include <commctrl.h>
#include <richedit.h>

#include <vector>

namespace platform::win32 {
namespace {

class DialogHost final : public DialogView {
 public:
  DialogHost(HINSTANCE module, DialogHandler& handler) : module_(module), handler_(handler) {}

  ~DialogHost() override {
    for (HFONT font : fonts_) ::DeleteObject(font);
    if (smallIcon_ != nullptr) ::DestroyIcon(smallIcon_);
  }

  static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
      auto* host = reinterpret_cast<DialogHost*>(lParam);
      api::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
      host->hwnd_ = hwnd;
      return host->handler_.OnInitDialog(*host) ? TRUE : FALSE;
    }
    auto* host = reinterpret_cast<DialogHost*>(api::GetWindowLongPtrW(hwnd, DWLP_USER));
    if (host == nullptr) return FALSE;
    return host->Handle(message, wParam, lParam);
  }

  // DialogView.
  WindowId Window() const override { return ToHandle(hwnd_); }
  bool HasControl(int id) override { return Item(id) != nullptr; }

  void SetTitle(std::u16string_view title) override {
    const std::u16string t(title);
    api::SetWindowTextW(hwnd_, Wide(t));
  }

  void SetControlText(int id, std::u16string_view text) override {
    const std::u16string t(text);
    api::SetDlgItemTextW(hwnd_, id, Wide(t));
  }

  std::u16string ControlText(int id) override {
    HWND item = Item(id);
    if (item == nullptr) return {};
    const int n = api::GetWindowTextLengthW(item);
    std::wstring buffer(static_cast<std::size_t>(n) + 1, L'\0');
    const int got = api::GetWindowTextW(item, buffer.data(), n + 1);
    return FromWide(buffer.c_str(), static_cast<std::size_t>(got > 0 ? got : 0));
  }

  void EnableControl(int id, bool enabled) override {
    if (HWND item = Item(id)) ::EnableWindow(item, enabled ? TRUE : FALSE);
  }

  bool IsControlEnabled(int id) override {
    HWND item = Item(id);
    return item != nullptr && ::IsWindowEnabled(item);
  }

  void FocusControl(int id) override {
    if (HWND item = Item(id))
      api::SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
  }

  void Show(bool visible) override {
    hidden_ = !visible;
    ::ShowWindow(hwnd_, visible ? SW_SHOWNORMAL : SW_HIDE);
  }

  void SetIcon(std::uint32_t iconId) override {
    bigIcon_ = api::LoadIconW(module_, MAKEINTRESOURCEW(iconId));
    if (smallIcon_ != nullptr) ::DestroyIcon(smallIcon_);
    smallIcon_ = static_cast<HICON>(api::LoadImageW(module_, MAKEINTRESOURCEW(iconId), IMAGE_ICON,
                                                    ::GetSystemMetrics(SM_CXSMICON),
                                                    ::GetSystemMetrics(SM_CYSMICON), 0));
    api::SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
    api::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL,
                      reinterpret_cast<LPARAM>(smallIcon_ != nullptr ? smallIcon_ : bigIcon_));
  }

  Size ClientSize() override {
    RECT r{};
    ::GetClientRect(hwnd_, &r);
    return Size{r.right - r.left, r.bottom - r.top};
  }

  void CreateStatusBar(std::span<const StatusPane> panes) override {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&controls);
    const int id = panes.empty() ? 0 : panes.front().id;
    statusBar_ = api::CreateWindowExW(
        0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | CCS_BOTTOM, 0, 0, 0, 0, hwnd_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), module_, nullptr);
    if (statusBar_ == nullptr) return;
    std::vector<int> edges;
    for (const StatusPane& pane : panes) edges.push_back(pane.rightEdge);
    api::SendMessageW(statusBar_, SB_SETPARTS, edges.size(),
                      reinterpret_cast<LPARAM>(edges.data()));
    for (std::size_t i = 0; i < edges.size(); ++i) {
      api::SendMessageW(statusBar_, SB_SETTEXTW, i, reinterpret_cast<LPARAM>(L""));
    }
    api::SendMessageW(statusBar_, WM_SIZE, 0, 0);
  }

  void SetStatusPaneText(int pane, std::u16string_view text) override {
    if (statusBar_ == nullptr) return;
    const std::u16string t(text);
    api::SendMessageW(statusBar_, SB_SETTEXTW, static_cast<WPARAM>(pane),
                      reinterpret_cast<LPARAM>(Wide(t)));
  }

  void CreateIconControl(int id, int left, int top, int right, int bottom,
                         std::uint32_t systemIcon) override {
    HWND control = api::CreateWindowExW(
        0, L"STATIC", nullptr, WS_CHILD | WS_VISIBLE | SS_ICON | SS_CENTERIMAGE, left, top,
        right - left, bottom - top, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
        module_, nullptr);
    if (control == nullptr) return;
    HICON icon = api::LoadIconW(nullptr, MAKEINTRESOURCEW(systemIcon));
    api::SendMessageW(control, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
  }

  void SetControlFont(int id, std::u16string_view face, int tenthsOfPoint) override {
    HWND item = Item(id);
    if (item == nullptr) return;
    HDC dc = ::GetDC(nullptr);
    const int height = -::MulDiv(tenthsOfPoint, ::GetDeviceCaps(dc, LOGPIXELSY), 720);
    ::ReleaseDC(nullptr, dc);
    const std::u16string f(face);
    HFONT font = api::CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                  DEFAULT_PITCH | FF_DONTCARE, Wide(f));
    if (font == nullptr) return;
    fonts_.push_back(font);
    api::SendMessageW(item, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }

  void StartTimer(std::uint32_t id, std::uint32_t periodMs) override {
    ::SetTimer(hwnd_, id, periodMs, nullptr);
  }
  void StopTimer(std::uint32_t id) override { ::KillTimer(hwnd_, id); }

  bool Post(std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) override {
    return api::PostMessageW(hwnd_, message, static_cast<WPARAM>(wParam),
                             static_cast<LPARAM>(lParam)) != FALSE;
  }

  void EndModal(int code) override { ::EndDialog(hwnd_, code); }

  void AddEventMask(int id, std::uint32_t mask) override {
    HWND item = Item(id);
    if (item == nullptr) return;
    const LRESULT current = api::SendMessageW(item, EM_GETEVENTMASK, 0, 0);
    api::SendMessageW(item, EM_SETEVENTMASK, 0, static_cast<LPARAM>(current) | mask);
  }

  void SetTextLimit(int id, std::uint32_t limit) override {
    if (HWND item = Item(id))
      api::SendMessageW(item, EM_EXLIMITTEXT, 0, static_cast<LPARAM>(limit));
  }

  int TextLength(int id) override { return api::RichEditTextLength(Item(id)); }

  void SetSelection(int id, int start, int end) override {
    CHARRANGE range{start, end};
    api::SendMessageW(Item(id), EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
  }

  void SetSelectionFormat(int id, const CharFormat& format) override {
    CHARFORMAT2W cf{};
    cf.cbSize = sizeof cf;
    cf.dwMask = CFM_BOLD | CFM_COLOR;
    cf.dwEffects = (format.bold ? CFE_BOLD : 0) | (format.autoColour ? CFE_AUTOCOLOR : 0);
    cf.crTextColor = format.colour;
    api::SendMessageW(Item(id), EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
  }

  void ReplaceSelection(int id, std::u16string_view text) override {
    const std::u16string t(text);
    api::SendMessageW(Item(id), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(Wide(t)));
  }

  std::u16string RichText(int id) override {
    HWND item = Item(id);
    if (item == nullptr) return {};
    return api::RichEditText(item);
  }

 private:
  HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }

  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_COMMAND:
        handler_.OnCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
      case WM_TIMER:
        handler_.OnTimer(static_cast<std::uint32_t>(wParam));
        return TRUE;
      case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->code != EN_MSGFILTER) return FALSE;
        const bool drop = handler_.OnMessageFilter(static_cast<int>(header->idFrom));
        api::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, drop ? 1 : 0);
        return TRUE;
      }
      case WM_CTLCOLORSTATIC: {
        const auto colour =
            handler_.ControlTextColour(::GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
        if (!colour) return FALSE;
        HDC dc = reinterpret_cast<HDC>(wParam);
        ::SetTextColor(dc, *colour);
        ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_BTNFACE));
      }
      case WM_SIZE:
        if (statusBar_ != nullptr) api::SendMessageW(statusBar_, WM_SIZE, 0, 0);
        return FALSE;
      case WM_WINDOWPOSCHANGING:
        // The dialog manager shows a modal dialog once it is idle; a window
        // that the handler has hidden stays hidden.
        if (hidden_)
          reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~static_cast<UINT>(SWP_SHOWWINDOW);
        return FALSE;
      case WM_PAINT:
        if (::IsIconic(hwnd_) && bigIcon_ != nullptr) {
          PAINTSTRUCT paint;
          HDC dc = ::BeginPaint(hwnd_, &paint);
          RECT r{};
          ::GetClientRect(hwnd_, &r);
          const int x = (r.right - r.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
          const int y = (r.bottom - r.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
          ::DrawIcon(dc, x, y, bigIcon_);
          ::EndPaint(hwnd_, &paint);
          return TRUE;
        }
        return FALSE;
      case WM_QUERYDRAGICON:
        api::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, reinterpret_cast<LONG_PTR>(bigIcon_));
        return TRUE;
      default:
        if (message >= WM_USER && message < 0x8000) {
          if (!handler_.OnMessage(message, wParam, lParam)) return FALSE;
          api::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, 0);
          return TRUE;
        }
        return FALSE;
    }
  }

  HINSTANCE module_;
  DialogHandler& handler_;
  HWND hwnd_ = nullptr;
  HWND statusBar_ = nullptr;
  HICON bigIcon_ = nullptr;
  HICON smallIcon_ = nullptr;
  std::vector<HFONT> fonts_;
  bool hidden_ = false;
};

}  // namespace

int RunDialog(HINSTANCE module, std::uint32_t templateId, HWND owner, DialogHandler& handler) {
  DialogHost host(module, handler);
  const INT_PTR result =
      api::DialogBoxParamW(module, MAKEINTRESOURCEW(templateId), owner, &DialogHost::Procedure,
                           reinterpret_cast<LPARAM>(&host));
  return static_cast<int>(result);
}

}  // namespace platform::win32
