// Placeholder until blocks and undo land.
#include "tracker/app.h"
#include "tracker/blocks.h"

void c_SoundEngine::blockStep() {}
void c_SoundEngine::resetUndo() {}
void c_SoundEngine::undoSnapshot() {}
void c_SoundEngine::undoReset() {}
void c_SoundEngine::undoStep() {}
