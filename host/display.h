#pragma once
// Display modes: the distinct window sizes the primary monitor offers, and the
// desktop mode, built once at start (the tracker reads neither).
#include <vector>

#include "host/game.h"

struct c_DisplayMode : Object {
    c_DisplayMode(int w = 0, int h = 0) : width(w), height(h) {}
    int width;    // pixels
    int height;   // pixels
};

// The host's modes from GLFW's video modes: those at 0 or 60 Hz, in GLFW's order.
std::vector<VXDisplayMode> modesAtUsableRates(const std::vector<VideoMode>& modes);
// One entry per distinct size, in order of first appearance (not sorted).
std::vector<c_DisplayMode> distinctDisplayModes(const std::vector<VXDisplayMode>& modes);

// Where a window spanning `size` pixels at `pos`, with `before` and `after` pixels of
// frame, goes to lie within the area span at `areaPos`: where it is when it does,
// moved just enough when it does not, at the area's start when it is larger.
int fitSpan(int pos, int size, int before, int after, int areaPos, int areaSize);
// The largest whole zoom at which `width` x `height` layout pixels plus `frameWidth`
// and `frameHeight` pixels of frame fit `area`; at least 1.
int largestZoomIn(const ScreenArea& area, int width, int height, int frameWidth,
                  int frameHeight);

// Builds the two lists below from the current host (the delegate's start).
void buildDisplayModes();
const std::vector<c_DisplayMode>& displayModeList();
// The host's desktop mode, or the cached device size when it has none.
const c_DisplayMode& desktopDisplayMode();
