// TEMPORARY stand-in until the real header lands on main.
#pragma once
#include <atomic>
#include <cstdint>
namespace moddeck {
extern std::atomic<uint8_t> TAG_OGGPLAYER;
extern std::atomic<uint8_t> OGG_Playing;
bool StartOggPlayer();
void StopOggPlayer();
}
