// The run's first line in the diagnostics log.
#pragma once

// The program's version, edition, channel, the Windows version and bitness, the user-interface
// language and how the run was started (window, check, passive, quiet).
void LogStartUp(const char* mode);
