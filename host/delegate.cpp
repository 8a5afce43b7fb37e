// The host's handler side: the update rate and window icon forwarders and the device
// size cache.
#include "host/delegate.h"

#include "host/datapath.h"
#include "host/game.h"

namespace {
int cachedWidth = 0;    // device size, screen coordinates
int cachedHeight = 0;
}  // namespace

void refreshDeviceSize() {
    if (VXGame* host = VXGame::current()) {
        cachedWidth = host->deviceWidth();
        cachedHeight = host->deviceHeight();
    }
}

void setUpdateRate(int rate) {
    if (VXGame* host = VXGame::current()) host->setUpdateRate(rate);
}

void setWindowIcon(const String& path) {
    if (VXGame* host = VXGame::current()) host->setWindowIcon(toDataPath(path));
}

void setZoom(int zoom) {
    if (VXGame* host = VXGame::current()) host->setZoom(zoom);
}

int zoom() { return VXGame::current() ? VXGame::current()->zoom() : 1; }
int largestZoom() { return VXGame::current() ? VXGame::current()->largestZoom() : 1; }
float desktopScale() { return VXGame::current() ? VXGame::current()->desktopScale() : 1; }

int keyLabelled(const char* label) {
    return VXGame::current() ? VXGame::current()->keyLabelled(label) : 0;
}

int deviceWidth() { return cachedWidth; }
int deviceHeight() { return cachedHeight; }
