#include "engine/state.h"

namespace moddeck {

Mod* SONG = nullptr;
Mod* Liste_mods[kMaxSongs] = {};
int32_t Liste_mods_nm = 0;
int32_t Liste_mods_n = 0;
uint8_t plusieurs_mod = 0;
uint8_t new_song = 0;
std::atomic<uint8_t> PLAYER_PARAMS{0};

std::atomic<int32_t> pattern{0};
int32_t raw = 0;
int32_t ticks = 0;
int32_t looppattern = 0;
int32_t raw_jump = 0;
int32_t patterndelay = 0;

int32_t base = 0;
int32_t LEN_TICK = 882;
float frequencegenerale = 50.0f;
int32_t NVoices = 4;
float MASTERVOLUME = 1.0f;
std::atomic<uint8_t> VOLUMEOP{0};

Voice Voices[kMaxChannels] = {};

int16_t* ptrVoices[kMaxChannels] = {};
int16_t ActualBufferToBeMixed[kBlockSamples] = {};
int16_t* Saturation = nullptr;
float pan[kMaxChannels] = {};

std::atomic<uint8_t> EXITMIXER{0};
std::atomic<uint8_t> PLAYER_ON{0};
std::atomic<int32_t> TERMINATED{0};

char TitleSong[kTitleSize] = {};
char SamplesSong[kSamplesSize] = {};

}  // namespace moddeck
