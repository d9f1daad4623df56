// The update sources of this run and a session for each kind: the FTP server, an HTTPS host, a local
// folder. The catalogue and the download worker open every source the same way through these.
#pragma once

#include "update/catalogue/logic/Catalogue.h"
#include "update/sources/logic/SourceSession.h"
#include "update/sources/logic/UpdateSources.h"

#include <atomic>
#include <memory>
#include <vector>

// The build's sources (QV_UPDATE_SOURCES). Test builds read QV_TEST_UPDATE_SOURCES from the
// environment instead when it is set; a release never does.
std::vector<UpdateSource> BuildUpdateSources();

// A fresh session for the source; its waits end when `stop` turns true.
std::unique_ptr<ISourceSession> MakeSourceSession(const UpdateSource& source, const std::atomic<bool>* stop = nullptr);

// What Connect is given for the source: the FTP account, or the host and port. (An HTTPS session
// finds the credentials the user gave for its own proxy itself.)
SourceConnectionSettings ConnectionOf(const UpdateSource& source);
