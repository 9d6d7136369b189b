// The process environment.
#pragma once

// Sets `name` to `value` in the process environment, or removes it when
// `value` is null. Returns 1 on success, 0 on failure.
int PlatformSetEnvironment(const char* name, const char* value);
