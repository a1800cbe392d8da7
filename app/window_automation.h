// Development builds: a user for the main window. Chosen by TARNWICK_AUTOMATION ("install": the
// whole job with the default folder, or with the folder in TARNWICK_AUTOMATION_FOLDER typed into
// the folder edit; "cancel": leave while the installer downloads; "leave": close the window
// before the download). It presses the window's
// buttons through the window's own input, answers the boxes as a user would (the download error
// box "No", then the close button; the slow-download box "download_close"; notices closed),
// writes a screenshot of each page and box it passed to TARNWICK_SCREENS (a folder), and prints
// what happened and where the results are. Release builds never read these switches.
#pragma once

namespace app {

// Whether this run's window is driven by the automation.
bool windowAutomationRequested();

// Starts watching the main window (main thread, once the window exists). Runs until the loop ends.
void startWindowAutomation();

// After the loop: prints how the run went, where its results are and the longest pause of the
// main loop the automation saw; stops the automation.
void finishWindowAutomation();

}  // namespace app
