// Lets the program run where no display is available, so that its tasks still run on time.
#pragma once

// Chooses Qt's offscreen platform when no display server is named and no platform was chosen
// explicitly. Call before the application object exists. True when offscreen was chosen.
bool UseOffscreenPlatformWithoutDisplay();
