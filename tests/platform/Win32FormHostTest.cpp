#include "platform/win32/Win32FormHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/DialogLayouts.h"
#include "forms/Form.h"
#include "forms/Twips.h"
#include "platform/Error.h"
#include "platform/win32/Win32MessagePump.h"
#include "progressbar/XP_ProgressBar.h"

namespace qz {
namespace {

// Wine shows windows only when its server was started on an X display.
bool WindowsCanBeShown() {
  HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  if (probe == nullptr) return false;
  DestroyWindow(probe);
  return true;
}

// A dialog built from a layout that records what reaches it.
class LayoutForm : public Form {
 public:
  LayoutForm(FormHost& host, const FormDesign& design) : Form(host, design) {}
  void Click(const std::string& name) override {
    clicks.push_back(name);
    if (onClick) onClick(name);
  }

  std::vector<std::string> clicks;
  std::function<void(const std::string&)> onClick;
  int unloads = 0;

 protected:
  void Form_Load() override { SubstituteFonts(); }
  void Form_Unload() override { ++unloads; }
};

std::wstring Text(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

class Win32FormHostTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!WindowsCanBeShown()) GTEST_SKIP() << "no display: Wine makes no windows without one";
  }

  std::shared_ptr<LayoutForm> Make(const FormDesign& design) {
    auto form = std::make_shared<LayoutForm>(host, design);
    if (Control* slot = form->FindControl("ProgressBar")) slot->Attach(&bar);
    return form;
  }

  // A control's expected rectangle in the dialog's client area at the host's resolution.
  RECT Expected(const Form& form, const Control& control) const {
    const int dpi = host.DotsPerInch();
    int left = 0, top = 0;
    if (const Control* panel = form.FindControl(control.Container())) {
      left = TwipsToPixels(panel->Left(), dpi);
      top = TwipsToPixels(panel->Top(), dpi);
    }
    left += TwipsToPixels(control.Left(), dpi);
    top += TwipsToPixels(control.Top(), dpi);
    return RECT{left, top, left + TwipsToPixels(control.Width(), dpi),
                top + TwipsToPixels(control.Height(), dpi)};
  }

  static RECT InParent(HWND child) {
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
  }

  // Posts a key press to the window with the focus, as the keyboard would.
  void Key(UINT key) {
    PostMessageW(GetFocus(), WM_KEYDOWN, key, 1);
    PostMessageW(GetFocus(), WM_KEYUP, key, 1u | 3u << 30);
    pump.PumpOnce();
  }

  Win32MessagePump pump;
  Win32FormHost host{pump};
  XP_ProgressBar bar;
};

TEST_F(Win32FormHostTest, LaysOutEveryDialogAtTheScreenResolutionInTabOrder) {
  for (auto design : {&DialogLayouts::CheckQzUpdate, &DialogLayouts::NeedsNoUpdate,
                      &DialogLayouts::DownloadUpdate, &DialogLayouts::InstallUpdate}) {
    auto form = Make(design());
    form->Show();
    HWND dialog = host.WindowOf(*form);
    ASSERT_NE(dialog, nullptr);
    SCOPED_TRACE(form->Caption());
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, MulDiv(Form::kClientWidth, host.DotsPerInch(), 96));
    EXPECT_EQ(client.bottom, MulDiv(Form::kClientHeight, host.DotsPerInch(), 96));
    EXPECT_EQ(GetWindowLongW(dialog, GWL_STYLE) & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
              0);

    std::vector<const Control*> tabbed;
    for (const auto& control : form->Controls()) {
      HWND window = host.ControlWindowOf(*form, control->Name());
      if (control->Kind() == ControlKind::kCommandButton) {
        ASSERT_NE(window, nullptr) << control->Name();
        tabbed.push_back(control.get());
        wchar_t caption[128] = {};
        MultiByteToWideChar(CP_ACP, 0, control->CaptionText().c_str(), -1, caption, 128);
        EXPECT_EQ(Text(window), caption);
      }
      if (window == nullptr) continue;
      RECT expected = Expected(*form, *control);
      RECT actual = InParent(window);
      EXPECT_TRUE(EqualRect(&expected, &actual))
          << control->Name() << " at " << actual.left << "," << actual.top;
    }
    std::stable_sort(tabbed.begin(), tabbed.end(), [](const Control* a, const Control* b) {
      return a->TabIndex() < b->TabIndex();
    });
    HWND at = GetFocus();
    ASSERT_EQ(at, host.ControlWindowOf(*form, tabbed.front()->Name()));
    for (const Control* control : tabbed) {
      EXPECT_EQ(at, host.ControlWindowOf(*form, control->Name())) << control->Name();
      at = GetNextDlgTabItem(dialog, at, FALSE);
    }
    form->Unload();
    EXPECT_FALSE(IsWindow(dialog));
  }
}

TEST_F(Win32FormHostTest, KeysAndTheCloseBoxReachTheForm) {
  auto form = Make(DialogLayouts::DownloadUpdate());
  form->Show();
  HWND dialog = host.WindowOf(*form);
  EXPECT_EQ(GetFocus(), host.ControlWindowOf(*form, "cmdIRN"));

  Key(VK_TAB);
  EXPECT_EQ(GetFocus(), host.ControlWindowOf(*form, "cmdSIL"));
  Key(VK_RETURN);
  Key(VK_ESCAPE);
  // Alt+C: the access key of "&Cancel".
  PostMessageW(GetFocus(), WM_SYSCHAR, 'c', 1u << 29);
  pump.PumpOnce();
  EXPECT_EQ(form->clicks, (std::vector<std::string>{"cmdSIL", "cmdCancel", "cmdCancel"}));

  PostMessageW(dialog, WM_CLOSE, 0, 0);
  pump.PumpOnce();
  EXPECT_EQ(form->unloads, 1);
  EXPECT_EQ(host.WindowOf(*form), nullptr);
  EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(Win32FormHostTest, HandlersThatThrowOrUnloadTheirFormEndTheDispatchCleanly) {
  auto form = Make(DialogLayouts::NeedsNoUpdate());
  form->Show();
  HWND button = host.ControlWindowOf(*form, "cmdDIA");
  form->onClick = [](const std::string&) { throw Error(Error::kInvalidCall, "from a handler"); };
  PostMessageW(button, BM_CLICK, 0, 0);
  PostMessageW(button, BM_CLICK, 0, 0);
  EXPECT_THROW(pump.PumpOnce(), Error);
  EXPECT_EQ(form->clicks.size(), 1u);

  // The next pass goes on with what was waiting; this handler unloads its own form.
  form->onClick = [&](const std::string&) { form->Unload(); };
  pump.PumpOnce();
  EXPECT_EQ(form->clicks.size(), 2u);
  EXPECT_EQ(form->unloads, 1);
  EXPECT_FALSE(IsWindow(button));
  host.RunUntilLastFormClosed();  // returns at once: no form is left
}

TEST_F(Win32FormHostTest, BusyPassPaintsButDropsInputAndNotesCancelRequests) {
  auto form = Make(DialogLayouts::DownloadUpdate());
  form->Show();
  pump.PumpOnce();
  HWND dialog = host.WindowOf(*form);
  HWND install = host.ControlWindowOf(*form, "cmdIRN");
  PostMessageW(install, WM_LBUTTONDOWN, MK_LBUTTON, 0);
  PostMessageW(install, WM_LBUTTONUP, 0, 0);
  PostMessageW(install, WM_KEYDOWN, VK_RETURN, 1);
  PostMessageW(install, BM_CLICK, 0, 0);
  InvalidateRect(dialog, nullptr, FALSE);
  EXPECT_FALSE(host.HandleSystemEvents(0));
  EXPECT_TRUE(form->clicks.empty());
  RECT update;
  EXPECT_FALSE(GetUpdateRect(dialog, &update, FALSE)) << "not painted";

  const std::vector<std::function<void()>> cancels = {
      [&] { PostMessageW(install, WM_KEYDOWN, VK_ESCAPE, 1); },
      [&] { PostMessageW(install, WM_SYSKEYDOWN, 'C', 1u << 29); },
      [&] { PostMessageW(host.ControlWindowOf(*form, "cmdCancel"), WM_LBUTTONDOWN, 0, 0); },
      [&] { PostMessageW(dialog, WM_NCLBUTTONDOWN, HTCLOSE, 0); },
      [&] { PostMessageW(dialog, WM_CLOSE, 0, 0); },
  };
  for (size_t i = 0; i < cancels.size(); ++i) {
    cancels[i]();
    EXPECT_TRUE(host.HandleSystemEvents(10000)) << i;
    pump.PumpOnce();  // whatever the request left waiting
  }
  EXPECT_TRUE(form->clicks.empty());
  EXPECT_EQ(form->unloads, 0);

  // Afterwards the form takes input again.
  PostMessageW(install, BM_CLICK, 0, 0);
  pump.PumpOnce();
  EXPECT_EQ(form->clicks, std::vector<std::string>{"cmdIRN"});
  form->Unload();
}

TEST_F(Win32FormHostTest, ProgressBarWindowShowsItsBufferExactlyWithinRoundedCorners) {
  auto form = Make(DialogLayouts::DownloadUpdate());
  form->Show();
  bar.SetShowText(true);
  bar.SetValue(47);
  pump.PumpOnce();
  HWND window = host.ControlWindowOf(*form, "ProgressBar");
  ASSERT_NE(window, nullptr);
  UpdateWindow(window);
  RECT client;
  GetClientRect(window, &client);
  const int width = client.right, height = client.bottom;
  ASSERT_GT(width, 20);

  // What the window shows, read back from the screen.
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP shot = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC memory = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(memory, shot);
  HDC screen = GetDC(window);
  BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
  ReleaseDC(window, screen);
  GdiFlush();

  HRGN region = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(window, region), ERROR);
  const POINT cut[] = {{0, 0},
                       {1, 0},
                       {0, 1},
                       {0, height - 1},
                       {1, height - 1},
                       {0, height - 2},
                       {width - 2, 0},
                       {width - 1, 0},
                       {width - 1, 1},
                       {width - 2, height - 1},
                       {width - 1, height - 1},
                       {width - 1, height - 2}};
  for (const POINT& p : cut) EXPECT_FALSE(PtInRegion(region, p.x, p.y)) << p.x << "," << p.y;
  EXPECT_TRUE(PtInRegion(region, 1, 1));
  EXPECT_TRUE(PtInRegion(region, 2, 0));
  EXPECT_TRUE(PtInRegion(region, width - 2, height - 2));

  const PixelCanvas* buffer = bar.HDC();
  ASSERT_NE(buffer, nullptr);
  int differences = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (!PtInRegion(region, x, y)) continue;
      const uint32_t shown = static_cast<const uint32_t*>(bits)[y * width + x] & 0xFFFFFF;
      const uint32_t rgb = buffer->Pixel(x, y);
      const uint32_t expected = (rgb & 0xFF00) | (rgb & 0xFF) << 16 | (rgb >> 16 & 0xFF);
      if (shown != expected && differences++ < 5) {
        ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << shown << " instead of "
                      << expected;
      }
    }
  }
  EXPECT_EQ(differences, 0);
  DeleteObject(region);
  SelectObject(memory, old);
  DeleteDC(memory);
  DeleteObject(shot);
  form->Unload();
}

}  // namespace
}  // namespace qz
