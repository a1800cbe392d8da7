#include "app/development_run.h"
#include "app/headless_job.h"
#include "app/window_automation.h"

namespace app {

DevelopmentRun requestedDevelopmentRun() {
  if (headlessJobRequested()) return DevelopmentRun::kHeadlessJob;
  if (windowAutomationRequested()) return DevelopmentRun::kWindowUser;
  return DevelopmentRun::kNone;
}

void startDevelopmentRun(DevelopmentRun run) {
  if (run == DevelopmentRun::kHeadlessJob) startHeadlessJob();
  if (run == DevelopmentRun::kWindowUser) startWindowAutomation();
}

int finishDevelopmentRun(DevelopmentRun run) {
  if (run == DevelopmentRun::kHeadlessJob) return headlessJobExitCode();
  if (run == DevelopmentRun::kWindowUser) finishWindowAutomation();
  return 0;
}

}  // namespace app
