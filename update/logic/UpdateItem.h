// The record of one file chosen for download.
#pragma once

#include <cstdint>

#include "update/logic/FtpTypes.h"

// A listed file followed by the item list row it was chosen from; the worker writes the item's
// progress and final state into that row.
struct UPDATE_ITEM : FTP_FILE_INFO {
    int32_t nListRow = -1;
};
