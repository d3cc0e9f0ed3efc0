// Result of the host's most recent multimedia, sound, settings-file or dialog call; a caller
// that needs it reads it right after the call.
#pragma once

#include <cstdint>

extern std::int32_t LastApiResult;
