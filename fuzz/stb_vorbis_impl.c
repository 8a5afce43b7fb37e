// The Vorbis decoder built from the header the system's stb package installs (it
// carries the implementation unless STB_VORBIS_HEADER_ONLY is defined), so the fuzz
// targets see into it with coverage and the sanitizers. The main build links the
// system library instead.
#include <stb_vorbis.h>
