// The picture decoder built from the header the system's stb package installs (it
// carries the implementation), so the fuzz targets see into it with coverage and the
// sanitizers. The main build links the system library instead.
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>
