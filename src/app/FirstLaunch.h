// The window is shown by itself only the very first time the program starts.
#pragma once

class QSettings;

// True the first time it is asked with this settings store ("firstLaunch" absent or true); it then
// records false and writes the store at once, so a crash right after cannot show the window again.
bool TakeFirstLaunch(QSettings& settings);
