// Display modes: filtering GLFW's video modes and the framework's distinct sizes.
#include "host/display.h"

#include <algorithm>
#include <cstdint>
#include <map>

#include "host/delegate.h"

namespace {
std::vector<c_DisplayMode> modeList;
c_DisplayMode desktop;
}  // namespace

std::vector<VXDisplayMode> modesAtUsableRates(const std::vector<VideoMode>& modes) {
    std::vector<VXDisplayMode> kept;
    for (const VideoMode& m : modes) {
        if (m.refreshRate != 0 && m.refreshRate != 60) continue;
        VXDisplayMode mode;
        mode.width = m.width;
        mode.height = m.height;
        kept.push_back(mode);
    }
    return kept;
}

std::vector<c_DisplayMode> distinctDisplayModes(const std::vector<VXDisplayMode>& modes) {
    std::map<uint32_t, const VXDisplayMode*> seen;
    std::vector<c_DisplayMode> list;
    for (const VXDisplayMode& m : modes) {
        uint32_t key = (uint32_t(m.width) << 16) | uint32_t(m.height);
        if (!seen.emplace(key, &m).second) continue;
        list.emplace_back(m.width, m.height);
    }
    return list;
}

void buildDisplayModes() {
    VXGame* host = VXGame::current();
    modeList = host ? distinctDisplayModes(host->displayModes()) : std::vector<c_DisplayMode>();
    std::optional<VXDisplayMode> mode = host ? host->desktopMode() : std::nullopt;
    desktop = mode ? c_DisplayMode(mode->width, mode->height)
                   : c_DisplayMode(deviceWidth(), deviceHeight());
}

const std::vector<c_DisplayMode>& displayModeList() { return modeList; }
const c_DisplayMode& desktopDisplayMode() { return desktop; }

int fitSpan(int pos, int size, int before, int after, int areaPos, int areaSize) {
    int end = areaPos + areaSize;
    if (pos + size + after > end) pos = end - size - after;
    if (pos - before < areaPos) pos = areaPos + before;
    return pos;
}

int largestZoomIn(const ScreenArea& area, int width, int height, int frameWidth,
                  int frameHeight) {
    if (width <= 0 || height <= 0) return 1;
    int z = std::min((area.width - frameWidth) / width, (area.height - frameHeight) / height);
    return std::max(1, z);
}
