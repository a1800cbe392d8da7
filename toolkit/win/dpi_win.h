// Per-monitor DPI: the process's awareness, a window's DPI and the scale the toolkit draws at.
// The functions are looked up at run time: systems before Windows 10 lack some of them.
#pragma once

#include <windows.h>

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace toolkit::win {

// Makes the process per-monitor DPI aware (V2 where the system has it, else V1, else system
// aware), as the program's manifest declares, for programs that carry no manifest; nothing when
// the process already is aware. Before the first window.
void makeProcessDpiAware();
// Whether the process is per-monitor aware (either version).
bool perMonitorAware();

// The DPI of the monitor |window| is on (the system's DPI where windows have none of their own).
unsigned dpiOfWindow(HWND window);

// Device pixels per layout pixel at |dpi|: whole steps, 2 from 192 DPI on, so the skin's enlarged
// images are used.
int scaleForDpi(unsigned dpi);

}  // namespace toolkit::win
