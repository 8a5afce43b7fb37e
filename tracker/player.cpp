// Placeholder until the player lands.
#include "tracker/player.h"

c_tamoPlay::c_tamoPlay() {}
String c_tamoPlay::loadIntoPlayer(const String&) { return U"Loading Failed!"; }
void c_tamoPlay::playerTick() {}
void stopAllChannels() {}
