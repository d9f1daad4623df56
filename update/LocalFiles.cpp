// The download worker's local files and the timer resolution of a download.
#include "update/LocalFiles.h"

#include "system/EnvironmentProbes.h"

#include <mmsystem.h>

void CLocalFiles::CreateFolderTree(const std::wstring& folder) { probes::CreateFolderTree(folder); }

CTimerResolution::CTimerResolution() { m_ok = ::timeBeginPeriod(1) == TIMERR_NOERROR; }

CTimerResolution::~CTimerResolution() {
    if (m_ok) ::timeEndPeriod(1);
}
