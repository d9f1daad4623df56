// How the FTP session turns folders, masks and remote paths into what the server is asked for.
// Pure: no Win32 types.
#pragma once

#include <string>

// The search path of a listing: "\" + folder + "\" (the folder's own trailing one kept) + mask,
// where the mask is "*" + ext when ext begins with ".", else "*." + ext. An empty folder gives
// the mask alone.
std::wstring BuildFtpSearchPath(const std::wstring& folder, const std::wstring& ext);

// A remote file path with one leading backslash put in front unless it already has one.
std::wstring BuildFtpOpenPath(const std::wstring& path);

// The form a Unix FTP server understands: forward slashes, runs of separators collapsed to one.
std::wstring ToFtpServerPath(const std::wstring& path);
