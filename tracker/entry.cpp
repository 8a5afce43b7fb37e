// Placeholder until text entry lands.
#include "tracker/app.h"

void c_SoundEngine::textEntries() {}
