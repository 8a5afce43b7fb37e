#pragma once
// Editor state private to the pattern editor: key repeat counters and the note preview.
#include <memory>

#include "host/text.h"

class c_Sound;

struct EditorState {
};
