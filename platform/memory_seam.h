// Internal to platform/: the check each host's memory call makes first.
#pragma once
#include "platform/memory.h"

// True when the seam makes this request fail.
bool PlatformMemorySeamRefuses();
