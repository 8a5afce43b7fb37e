// Placeholder until the application lands.
#include "tracker/app.h"
#include "tracker/blocks.h"
#include "tracker/editor.h"

c_SoundEngine::c_SoundEngine() { song.clear(); }
c_SoundEngine::~c_SoundEngine() = default;
int c_SoundEngine::handleCreate() { setUpdateRate(50); return 0; }
int c_SoundEngine::handleUpdate() { return 0; }
int c_SoundEngine::handleRender() { return 0; }
