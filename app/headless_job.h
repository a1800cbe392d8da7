// The whole job without a window, for development builds: download, silent installation and the
// emulator's start, chained through the model's callbacks as the window's buttons chain them,
// then a summary on standard output and the end of the loop. Chosen by the development switch
// TARNWICK_AUTOMATION=headless; release builds never read it.
#pragma once

namespace app {

// Whether this run does the job without a window.
bool headlessJobRequested();

// Starts the job (main thread, after the application object's entrance). The main loop ends
// when the job has ended; headlessJobExitCode() then says how it went.
void startHeadlessJob();

// 0 when the emulator was installed and started, 1 otherwise.
int headlessJobExitCode();

}  // namespace app
