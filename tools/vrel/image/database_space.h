// The RGB space the database's tables were built for (--database-space):
// sRGB unless an ICC profile is named. RGB images are converted into it, so
// colours of an image whose profile reaches beyond it are clipped at its
// edges before the tables see them; the user is told so once.
#pragma once

#include "lcms_context.h"

#include <string>

namespace vrel::cli {

// Throws CliError when `choice` is neither kDatabaseSrgb ("srgb") nor a readable RGB ICC profile.
void checkDatabaseSpace(const std::string& choice);

// The space `choice` names, opened in `lcms`; throws as checkDatabaseSpace.
LcmsProfile openDatabaseSpace(LcmsContext& lcms, const std::string& choice);

// The profile's description in quotes, or "(unnamed)".
std::string profileName(void* profile);

// True when the two profiles describe the same colours (the same tags and
// header fields, as their MD5 profile IDs say).
bool sameSpace(void* a, void* b);

// True when a primary or secondary of the RGB profile `source` lies outside
// the RGB space `target` (a test transform of the six corners of the
// colour cube, without clipping, finds a value beyond 0 to 1).
bool reachesBeyond(LcmsContext& lcms, void* source, void* target);

} // namespace vrel::cli
