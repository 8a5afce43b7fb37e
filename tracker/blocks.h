#pragma once
// The block clipboard and the ring of undo snapshots.
#include "host/text.h"

struct UndoState {
};
