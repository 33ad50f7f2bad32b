// The settings pages in the system's property frame, as a host opens them.
#include <windows.h>
#include <initguid.h>
#include <gtest/gtest.h>

#include "mwppack1/mwppack1.h"
#include "page_harness.h"

namespace uitest {
namespace {

class PageFrame : public ModuleSuite {};

TEST_F(PageFrame, Explore) {
  IUnknown* filter = CreateFromModule(Module(), CLSID_MwSimpleDelay);
  ASSERT_NE(filter, nullptr);
  {
    FrameOnThread frame(Module(), filter, CLSID_MwSimpleDelayPage, L"Marrowind Simple Delay");
    ASSERT_TRUE(frame.Open());
    std::printf("frame '%s'\n", WindowText(frame.Frame()).c_str());
    RECT r; GetWindowRect(frame.Frame(), &r);
    std::printf("frame %ld,%ld %ldx%ld\n", r.left, r.top, r.right-r.left, r.bottom-r.top);
    GetWindowRect(frame.Page(), &r);
    std::printf("page %ld,%ld %ldx%ld\n", r.left, r.top, r.right-r.left, r.bottom-r.top);
    Pump(300);
    SavePng(Capture(frame.Frame(), true), "explore");
    std::printf("dry '%s' delay '%s'\n", frame.Text(3008).c_str(), frame.Text(3014).c_str());
    EXPECT_EQ(frame.Close(), S_OK);
  }
  filter->Release();
}

}  // namespace
}  // namespace uitest
