// The detached signature of the maker's release statement: whether it covers exactly the statement's
// bytes, whether it carries signed attributes, and whether its signer passes the setup program's
// signer rule (the build's pins, or a chain the platform trusts for code signing; never revoked).
#pragma once

#include "update/release/logic/ReleaseRules.h"
#include "update/release/logic/SignerPins.h"

#include <cstdint>
#include <vector>

// The facts about `signature` (DER-encoded CMS, detached) over `statement`; `signer` receives the
// fingerprint of the signing certificate when there is one, `publisher` who that is (PublisherOf).
// A signer whose publisher cannot be told is not accepted.
StatementSignatureFacts CheckStatementSignature(const std::vector<uint8_t>& statement,
                                                const std::vector<uint8_t>& signature, CertFingerprint& signer,
                                                CertFingerprint& publisher);
