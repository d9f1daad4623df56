// The record of one entry a source lists or its release statement names. Pure: no Win32 types.
#pragma once

#include <cstdint>
#include <string>

struct RemoteEntry {
    std::wstring name;
    int64_t size = -1;  // in bytes; -1 when unknown
};
