// Placeholder until the editor lands.
#include "tracker/app.h"
#include "tracker/editor.h"

void c_SoundEngine::editorInput() {}
