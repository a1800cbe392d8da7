// The start-up's warm-up thread: every step it takes works here (a step that silently failed
// would leave the start as slow as without it), and the thread that started it can still make
// its own imaging factory afterwards, whether it had joined COM before or joins it after.
#include "app/win/start_warmup_win.h"

#include <objbase.h>
#include <wincodec.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

namespace {

enum class CallerCom { kNone, kApartment, kMultithreaded };

class StartWarmUpTest : public ::testing::TestWithParam<CallerCom> {};

bool makeImagingFactory() {
  IWICImagingFactory* factory = nullptr;
  const HRESULT made = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IWICImagingFactory, reinterpret_cast<void**>(&factory));
  if (factory != nullptr) factory->Release();
  return SUCCEEDED(made);
}

TEST_P(StartWarmUpTest, EveryStepWorksAndTheCallerKeepsItsImaging) {
  // Each case on a thread of its own: the test runner's thread keeps no apartment between cases.
  bool warmed = false;
  bool imaging = false;
  std::thread caller([&] {
    const CallerCom com = GetParam();
    bool joined = false;
    if (com != CallerCom::kNone) {
      joined = SUCCEEDED(CoInitializeEx(
          nullptr, com == CallerCom::kApartment ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED));
    }
    {
      app::StartWarmUp warmUp;
      warmed = warmUp.finish();
      // Finishing twice (the destructor finishes too) is harmless.
      warmed = warmUp.finish() && warmed;
    }
    if (com == CallerCom::kNone) joined = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    imaging = joined && makeImagingFactory();
    if (joined) CoUninitialize();
  });
  caller.join();
  EXPECT_TRUE(warmed);
  EXPECT_TRUE(imaging);
}

INSTANTIATE_TEST_SUITE_P(CallerApartments, StartWarmUpTest,
                         ::testing::Values(CallerCom::kNone, CallerCom::kApartment, CallerCom::kMultithreaded));

}  // namespace
