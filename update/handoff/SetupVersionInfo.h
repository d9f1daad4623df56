// The version a setup program's version resource gives it, for the check before the launch.
#pragma once

#include "update/handoff/logic/SetupVersion.h"

#include <optional>
#include <string>

// ProductVersion of the fixed version information, else FileVersion when that is all zeros; none
// when the file has no version resource.
std::optional<FourPartVersion> ReadSetupVersion(const std::wstring& path);
