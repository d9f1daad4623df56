// The Authenticode check of a downloaded setup program before it is launched.
#pragma once

#include "framework/Thread.h"
#include "framework/Win32.h"
#include <wincrypt.h>
#include "update/handoff/logic/PeCertificateTable.h"
#include "update/release/logic/SignerPins.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// What the platform says about the file's signature, the content and the chain kept apart, with the
// fingerprint of the signer's certificate. The file is read through the open handle.
SignatureVerdict CheckSetupSignature(HANDLE file, const std::wstring& path);

// The trust status bits (CERT_TRUST_STATUS::dwErrorStatus) of the certificate's chain, built with
// revocation checking within a bound; CERT_TRUST_IS_PARTIAL_CHAIN when it cannot be built. With
// `issuerChain`, also the certificate's subject and issuer chain (SignatureVerdict::issuerChain).
DWORD SignerChainStatus(PCCERT_CONTEXT cert, std::optional<CertFingerprint>* issuerChain = nullptr);

// Starts reading the machine's trusted root certificates on a helper thread, so that the first
// signature checked later in the run (the release statement's, the setup program's) finds them read:
// the platform reads them on first use, which takes a third of a second under Wine. The helper only
// opens the store and closes it again; null when no thread could start.
std::unique_ptr<CWinThread> BeginReadingTrustedRoots();

// The publishers this build pins (QV_SETUP_SIGNERS) and whether it lets unsigned setups run
// (QV_ALLOW_UNSIGNED_SETUP).
const SignaturePolicy& BuildSignaturePolicy();

// True when the build names the setup program's publisher (pins, or ANY_TRUSTED said outright), as a
// release must: such a build requires the maker's release statement and a version resource.
bool BuildNamesPublisher();

// True when the build's policy lets the open file be launched (SignatureAllowsLaunch); `checked`
// receives the verdict.
bool SetupSignatureAllowsLaunch(HANDLE file, const std::wstring& path, SignatureVerdict* checked = nullptr);
