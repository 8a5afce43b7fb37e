#pragma once
// What a window shows, read from the X server (not from GL's buffers): 0xRRGGBB words,
// row by row from the top. False when the server gives no image (the window must lie
// wholly on the screen).
#include <vector>

struct GLFWwindow;

bool readWindowPixels(GLFWwindow* window, int width, int height, std::vector<int>& out);
