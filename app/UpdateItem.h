// The record of one file chosen for download.
#pragma once

#include <cstdint>

#include "update/logic/FtpTypes.h"

// A listed file followed by the item list row it was chosen from. The window keeps these for the
// chosen rows and shows the engine's progress of item k in the row of its k-th record; the engine
// itself knows files, never rows.
struct UPDATE_ITEM : FTP_FILE_INFO {
    int32_t nListRow = -1;
};
