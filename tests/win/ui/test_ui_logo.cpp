// The banner (logo control) from the module's class, driven by real input.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "ui_harness.h"

namespace uitest {
namespace {

constexpr char kLogoClass[] = "MwPpack1Bld211_Logo_Class";
constexpr UINT LGM_CLEARITEMS = 0x600;
constexpr UINT LGM_ADDITEM = 0x601;
constexpr UINT LGM_SETIMAGECOMMAND = 0x602;
constexpr int kBannerId = 2;
constexpr int kAbout = 41001;
constexpr int kHelp = 41000;
constexpr int kBannerWidth = 420;
constexpr int kBannerHeight = 22;

class Logo : public ModuleSuite {
 protected:
  void SetUp() override {
    ModuleSuite::SetUp();
    if (HasFatalFailure()) return;
    host_ = std::make_unique<Host>(kBannerWidth + 20, 80, "Banner");
    banner_ = AddBanner("Simple Delay", 10, 10);
    ASSERT_NE(banner_, nullptr) << "error " << GetLastError();
  }

  HWND AddBanner(const char* caption, int x, int y) {
    HWND b = host_->Add(kLogoClass, "", 0, x, y, kBannerWidth, kBannerHeight, kBannerId,
                        Module());
    SendMessageA(b, LGM_ADDITEM, kAbout, reinterpret_cast<LPARAM>("About"));
    SendMessageA(b, LGM_ADDITEM, kHelp | (1 << 16), reinterpret_cast<LPARAM>("?"));
    SetWindowTextA(b, caption);
    return b;
  }

  // The pixels of one part of the banner.
  Picture Part(const RECT& r) const { return Capture(banner_).Crop(r); }

  std::unique_ptr<Host> host_;
  HWND banner_ = nullptr;
};

// The items' columns: the "?" item ends 2 pixels from the right edge.
RECT HelpItemArea() { return {kBannerWidth - 2 - 12, 1, kBannerWidth - 2, kBannerHeight - 1}; }

TEST_F(Logo, HoverHighlightsWithTheHandCursorAndLeavingRemovesIt) {
  Park();
  host_->Settle();
  const Picture idle = Capture(banner_);
  SavePng(idle, "logo_idle");
  const POINT help = Host::OnScreen(banner_, kBannerWidth - 6, kBannerHeight / 2);
  const DWORD start = GetTickCount();
  SetCursorPos(help.x, help.y);
  const bool lit = PumpUntil([&] {
    return CountDifferent(Part(HelpItemArea()), idle.Crop(HelpItemArea())) > 0;
  }, 1000);
  const DWORD elapsed = GetTickCount() - start;
  ASSERT_TRUE(lit);
  std::printf("[ui] the item lit up %lu ms after the pointer arrived\n",
              static_cast<unsigned long>(elapsed));
  EXPECT_LE(elapsed, 130u);
  const Picture hot = Capture(banner_);
  SavePng(hot, "logo_hot_item");
  // The hot item gets a white top edge; the rest of the banner is unchanged.
  EXPECT_GT(hot.Crop(HelpItemArea()).Count([](std::uint32_t p) { return p == Rgb(255, 255, 255); }),
            5);
  EXPECT_EQ(CountDifferent(hot.Crop({0, 0, 300, kBannerHeight}),
                           idle.Crop({0, 0, 300, kBannerHeight})), 0);
  CURSORINFO cursor{};
  cursor.cbSize = sizeof cursor;
  ASSERT_TRUE(GetCursorInfo(&cursor));
  EXPECT_EQ(cursor.hCursor, LoadCursorA(Module(), MAKEINTRESOURCEA(4)));

  // Leaving: the next timer tick finds the pointer outside, removes the highlight and
  // stops the timer.
  Park();
  ASSERT_TRUE(PumpUntil([&] { return CountDifferent(Capture(banner_), idle) == 0; }, 1000));
  Pump(20);
  EXPECT_FALSE(KillTimer(banner_, 51)) << "the hover timer should have stopped";
}

TEST_F(Logo, PictureHighlightsUnderThePointer) {
  Park();
  host_->Settle();
  const Picture idle = Capture(banner_);
  MoveTo(Host::OnScreen(banner_, 30, 10));
  ASSERT_TRUE(PumpUntil([&] { return CountDifferent(Capture(banner_), idle) > 0; }, 500));
  const Picture hot = Capture(banner_);
  SavePng(hot, "logo_hot_picture");
  const RECT picture{0, 0, 119, 20};
  EXPECT_GT(CountDifferent(hot.Crop(picture), idle.Crop(picture)), 500);
  EXPECT_EQ(CountDifferent(hot.Crop({130, 0, kBannerWidth, kBannerHeight}),
                           idle.Crop({130, 0, kBannerWidth, kBannerHeight})), 0);
  Park();
}

TEST_F(Logo, ClickOnAnItemPostsItsCommand) {
  host_->Settle();
  ClickAt(Host::OnScreen(banner_, kBannerWidth - 6, 10));
  Pump(30);
  const auto commands = host_->NotesOf(WM_COMMAND);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(LOWORD(commands[0].wParam), kHelp);
  EXPECT_EQ(HIWORD(commands[0].wParam), 0);
  EXPECT_EQ(reinterpret_cast<HWND>(commands[0].lParam), banner_);
  Park();
}

TEST_F(Logo, PressOnHelpReleasedOverAboutSendsNothing) {
  host_->Settle();
  const POINT help = Host::OnScreen(banner_, kBannerWidth - 6, 10);
  const POINT about = Host::OnScreen(banner_, kBannerWidth - 30, 10);
  MoveTo(help);
  Press();
  MoveInSteps(help, about, 5);
  Release();
  Pump(50);
  EXPECT_TRUE(host_->notes.empty());
  // A press outside the items released over one sends nothing either.
  const POINT caption = Host::OnScreen(banner_, 200, 10);
  MoveTo(caption);
  Press();
  MoveInSteps(caption, help, 5);
  Release();
  Pump(50);
  EXPECT_TRUE(host_->notes.empty());
  Park();
}

TEST_F(Logo, PictureOfACaptionlessBannerPostsTheAboutMessage) {
  HWND about = AddBanner("", 10, 40);
  SendMessageA(about, LGM_CLEARITEMS, 0, 0);  // the About box's banner: the picture alone
  Park();
  host_->Settle();
  SavePng(Capture(host_->window(), true), "logo_page_and_about_banners");
  ClickAt(Host::OnScreen(about, 30, 10));
  Pump(30);
  ASSERT_EQ(host_->notes.size(), 1u);
  EXPECT_EQ(host_->notes[0].message, 0x614u);
  EXPECT_EQ(host_->notes[0].wParam, 0u);
  EXPECT_EQ(host_->notes[0].lParam, 0);
  // With the image-command flag the picture sends a command like an item (this second
  // click on the same spot arrives as a double click).
  host_->notes.clear();
  EXPECT_EQ(SendMessageA(about, LGM_SETIMAGECOMMAND, 1, 0), 1);
  ClickAt(Host::OnScreen(about, 30, 10));
  Pump(30);
  ASSERT_EQ(host_->notes.size(), 1u);
  EXPECT_EQ(host_->notes[0].message, static_cast<UINT>(WM_COMMAND));
  EXPECT_EQ(LOWORD(host_->notes[0].wParam), kBannerId);
  Park();
}

}  // namespace
}  // namespace uitest
