// The Authenticode check of a downloaded setup program before it is launched.
#pragma once

#include "framework/Win32.h"
#include "update/logic/SignerPins.h"

#include <string>
#include <vector>

// What the platform says about the file's signature, the content and the chain kept apart, with the
// fingerprint of the signer's certificate. The file is read through the open handle.
SignatureVerdict CheckSetupSignature(HANDLE file, const std::wstring& path);

// The publishers this build pins (QV_SETUP_SIGNERS); empty when the build pins none.
const std::vector<CertFingerprint>& BuildSignerPins();

// True when the build's policy lets the open file be launched: a signature that does not match the
// content is always refused; with pinned publishers only an intact signature by one of them passes.
bool SetupSignatureAllowsLaunch(HANDLE file, const std::wstring& path);
