// The diagnostic log hook.
#include "Platform/Log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace {
void toStdout(const char* line) {
    std::fputs(line, stdout);
    std::fflush(stdout);
}
std::atomic<PlatformLogHook> gHook{toStdout};
}  // namespace

void SetPlatformLogHook(PlatformLogHook hook) { gHook.store(hook ? hook : toStdout); }
void PlatformLogSilent(const char*) {}

void PlatformLog(const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    gHook.load()(line);
}
