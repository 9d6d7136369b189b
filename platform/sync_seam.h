// Internal to platform/: the check each host's PlatformMutexWait makes first.
#pragma once
#include "platform/sync.h"

// True when the seam makes this wait fail; the caller then sets the last
// error and reports WAIT_FAILED.
bool PlatformMutexSeamRefuses();
