// The date clamp and the percentage rule, for the format's users. Both live
// in the platform layer (platform/DosTime.h, platform/Figures.h), where the
// support folder and the front ends reach them without the format folder.
#pragma once

#include "platform/DosTime.h"
#include "platform/Figures.h"
