// TEMPORARY stand-in until the real header lands on main.
#pragma once
#include <atomic>
#include <cstdint>
namespace moddeck {
extern uint8_t TAG_SONGPLAYER;
extern unsigned int source_secondary;
void AudioBringUp();
void StartModulePlayer();
void StopModulePlayer();
}
