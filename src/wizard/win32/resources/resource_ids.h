// Resource numbers shared by tessaly-update.rc and the window code.
#pragma once

#define IDI_CALENDAR_CLOCK 1    // the window's icon, 16 to 48 pixels
#define IDB_CALENDAR_CLOCK 101  // the picture beside the page text, 48 pixels
