// What development builds add to a run, chosen by TARNWICK_AUTOMATION: the whole job without a
// window ("headless") or a user for the window ("install", "cancel", "leave"). The automation, its
// screenshots and its summaries live in a library of their own that only development builds link;
// release builds link the version that never adds anything (development_run_off.cpp), so none of
// that code is in the program users get.
#pragma once

namespace app {

enum class DevelopmentRun { kNone, kHeadlessJob, kWindowUser };

// What this run asked for; always kNone in release builds.
DevelopmentRun requestedDevelopmentRun();

// Starts it (main thread, after the application object's entrance, before the loop).
void startDevelopmentRun(DevelopmentRun run);

// After the loop: ends it and answers the process's exit code (0 unless the job failed).
int finishDevelopmentRun(DevelopmentRun run);

}  // namespace app
