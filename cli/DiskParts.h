// The parts of a multi-part archive are found by the engine's rules, which
// the window's Open shares: LastPartOf, PartCandidates, BlockPartName.
#pragma once

#include "engine/support/VolumeParts.h"
