// The diagnostic log hook: units write their lines here; a host may redirect
// or silence them. Standard output by default.
#pragma once

using PlatformLogHook = void (*)(const char* line);
void SetPlatformLogHook(PlatformLogHook hook);  // null restores standard output
void PlatformLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
void PlatformLogSilent(const char*);  // a hook that drops every line
