// Start-up work the Windows program hands to a second thread at once, so that the main thread
// reaches its first painted window sooner: the one-time costs of the libraries the window and the
// documents' requests need later (the imaging component with its PNG decoder, the security
// packages the TLS layers load) are paid while the main thread reads its settings and makes the
// window. Nothing here is needed for correctness: the main thread does the same work itself when
// it gets there first, and only waits on the system's loader lock if both meet.
#pragma once

#include <thread>

namespace app {

class StartWarmUp {
 public:
  // Starts the thread. Call after the library search was limited to the system folder.
  StartWarmUp();
  // Waits for the thread (it is short).
  ~StartWarmUp();
  StartWarmUp(const StartWarmUp&) = delete;
  StartWarmUp& operator=(const StartWarmUp&) = delete;

  // Waits for the thread; true when every step worked. For tests.
  bool finish();

 private:
  std::thread thread_;
  bool succeeded_ = false;
};

}  // namespace app
