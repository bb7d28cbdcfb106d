// TEMPORARY stand-in until the real header lands on main.
#pragma once
#include <atomic>
#include <cstdint>
namespace moddeck {
extern uint8_t TAG_OGGPLAYER;
extern unsigned int source_ogg;
extern uint8_t OGG_Playing;
bool StartOggPlayer();
void StopOggPlayer();
}
