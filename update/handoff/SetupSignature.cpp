// WinVerifyTrust on the setup program about to be launched, and the build's pinned publishers.
#include "update/handoff/SetupSignature.h"

#include "system/Sha256.h"
#include "update/engine/UpdateDiagnostics.h"

#include <softpub.h>
#include <wintrust.h>

#include <memory>

#ifndef QV_SETUP_SIGNERS
#define QV_SETUP_SIGNERS ""
#endif
#ifndef QV_PUBLISHER_NAMED
#define QV_PUBLISHER_NAMED 0
#endif
#ifndef QV_ALLOW_UNSIGNED_SETUP
#define QV_ALLOW_UNSIGNED_SETUP 0
#endif

namespace {
// Reads exactly size bytes at offset; false when the file is shorter or the read fails.
bool ReadAt(HANDLE file, uint32_t offset, uint8_t* data, DWORD size) {
    OVERLAPPED at{};
    at.Offset = offset;
    DWORD got = 0;
    return ::ReadFile(file, data, size, &got, &at) && got == size;
}

PeSignatureLocation LocateSignature(HANDLE file) {
    uint8_t dos[64];
    if (!ReadAt(file, 0, dos, sizeof dos)) return PeSignatureLocation();
    const uint32_t at = PeHeadersOffset(dos, sizeof dos);
    if (at == 0) return PeSignatureLocation();
    // The signature of the PE headers, the file header and a PE32+ optional header's directories.
    uint8_t headers[24 + 112 + 16 * 8] = {};
    OVERLAPPED where{};
    where.Offset = at;
    DWORD got = 0;
    if (!::ReadFile(file, headers, sizeof headers, &got, &where)) return PeSignatureLocation();
    return FindPeSignature(headers, got);
}

// True when the declared certificate table holds nothing but the signature and ends the file.
bool TableIsSound(HANDLE file, const PeSignatureLocation& location) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size) || location.size > kMaxCertificateTableSize) return false;
    std::vector<uint8_t> table(location.size);
    if (!table.empty() && !ReadAt(file, location.offset, table.data(), location.size)) return false;
    return CertificateTableIsSound(location, static_cast<uint64_t>(size.QuadPart), table.data(), table.size());
}

// Results of WinVerifyTrust that judge the signer's certificate chain once the signature has been
// found to match the content; anything else about a declared signature means it is broken.
// TRUST_E_CERT_SIGNATURE is not among them: Wine answers it for a signature value that does not
// verify, and no certificate of a working publisher carries a broken signature of its own.
bool IsChainVerdict(LONG result) {
    switch (static_cast<HRESULT>(result)) {
    case CERT_E_UNTRUSTEDROOT:
    case CERT_E_UNTRUSTEDTESTROOT:
    case CERT_E_UNTRUSTEDCA:
    case CERT_E_CHAINING:
    case CERT_E_EXPIRED:
    case CERT_E_VALIDITYPERIODNESTING:
    case CERT_E_WRONG_USAGE:
    case CERT_E_PURPOSE:
    case CERT_E_REVOKED:
    case CERT_E_REVOCATION_FAILURE:
    case CRYPT_E_NO_REVOCATION_CHECK:
    case CRYPT_E_REVOCATION_OFFLINE:
    case CERT_E_CRITICAL:
    case CERT_E_PATHLENCONST:
    case CERT_E_ROLE:
    case TRUST_E_EXPLICIT_DISTRUST:
    case TRUST_E_BASIC_CONSTRAINTS:
    case TRUST_E_SUBJECT_NOT_TRUSTED:  // the local trust policy's answer about the publisher
    case CRYPT_E_SECURITY_SETTINGS: return true;
    default: return false;
    }
}

// One WinVerifyTrust run whose state is closed again when the object goes.
class CTrustCheck {
public:
    CTrustCheck(HANDLE file, const std::wstring& path) {
        m_file.cbStruct = sizeof m_file;
        m_file.pcwszFilePath = path.c_str();
        m_file.hFile = file;
        m_data.cbStruct = sizeof m_data;
        m_data.dwUIChoice = WTD_UI_NONE;
        m_data.fdwRevocationChecks = WTD_REVOKE_NONE;
        m_data.dwUnionChoice = WTD_CHOICE_FILE;
        m_data.pFile = &m_file;
        m_data.dwStateAction = WTD_STATEACTION_VERIFY;
        m_data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
        m_result = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &m_action, &m_data);
    }
    ~CTrustCheck() {
        m_data.dwStateAction = WTD_STATEACTION_CLOSE;
        ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &m_action, &m_data);
    }
    CTrustCheck(const CTrustCheck&) = delete;
    CTrustCheck& operator=(const CTrustCheck&) = delete;

    LONG Result() const { return m_result; }

    // The fingerprint of the certificate that made the primary signature.
    bool SignerFingerprint(CertFingerprint& fingerprint) const {
        CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(m_data.hWVTStateData);
        CRYPT_PROVIDER_SGNR* signer = provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
        CRYPT_PROVIDER_CERT* cert = signer ? ::WTHelperGetProvCertFromChain(signer, 0) : nullptr;
        if (!cert || !cert->pCert || !cert->pCert->pbCertEncoded) return false;
        return CSha256::Of(cert->pCert->pbCertEncoded, cert->pCert->cbCertEncoded, fingerprint);
    }

    // The trust status of the signer's chain built again with revocation checking, bounded in
    // time; 0 when it cannot be built. Only its revocation bits are read: WinVerifyTrust has
    // judged the rest with the signature's time stamp in mind. The chain also gives the signer's
    // subject and issuer chain.
    DWORD SignerRevocationStatus(std::optional<CertFingerprint>& issuerChain) const {
        CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(m_data.hWVTStateData);
        CRYPT_PROVIDER_SGNR* signer = provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
        CRYPT_PROVIDER_CERT* cert = signer ? ::WTHelperGetProvCertFromChain(signer, 0) : nullptr;
        if (!cert || !cert->pCert) return 0;
        // Only the revocation bits are read: a chain that cannot be built revokes nothing.
        const DWORD status = SignerChainStatus(cert->pCert, &issuerChain);
        return status == CERT_TRUST_IS_PARTIAL_CHAIN ? 0 : status;
    }

private:
    GUID m_action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WINTRUST_FILE_INFO m_file{};
    WINTRUST_DATA m_data{};
    LONG m_result = 0;
};
// A digest over the subject of the chain's first certificate and the fingerprints of the
// certificates that issued it, up to the root (a self-signed certificate is its own issuer).
std::optional<CertFingerprint> IssuerChainOf(PCCERT_CHAIN_CONTEXT chain) {
    if (chain->cChain == 0 || chain->rgpChain[0]->cElement == 0) return std::nullopt;
    const CERT_SIMPLE_CHAIN& simple = *chain->rgpChain[0];
    const CERT_NAME_BLOB& subject = simple.rgpElement[0]->pCertContext->pCertInfo->Subject;
    std::vector<uint8_t> bytes(4);
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(subject.cbData >> (8 * i));
    bytes.insert(bytes.end(), subject.pbData, subject.pbData + subject.cbData);
    for (DWORD i = simple.cElement > 1 ? 1 : 0; i < simple.cElement; ++i) {
        PCCERT_CONTEXT issuer = simple.rgpElement[i]->pCertContext;
        CertFingerprint fingerprint{};
        if (!CSha256::Of(issuer->pbCertEncoded, issuer->cbCertEncoded, fingerprint)) return std::nullopt;
        bytes.insert(bytes.end(), fingerprint.begin(), fingerprint.end());
    }
    CertFingerprint digest{};
    if (!CSha256::Of(bytes.data(), bytes.size(), digest)) return std::nullopt;
    return digest;
}
}  // namespace

DWORD SignerChainStatus(PCCERT_CONTEXT cert, std::optional<CertFingerprint>* issuerChain) {
    // A workshop PC is often offline: an unreachable revocation server costs at most this long.
    constexpr DWORD kRevocationTimeoutMs = 10000;
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    para.dwUrlRetrievalTimeout = kRevocationTimeoutMs;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    const DWORD flags = CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT | CERT_CHAIN_REVOCATION_ACCUMULATIVE_TIMEOUT;
    if (!::CertGetCertificateChain(nullptr, cert, nullptr, cert->hCertStore, &para, flags, nullptr, &chain))
        return CERT_TRUST_IS_PARTIAL_CHAIN;
    const DWORD status = chain->TrustStatus.dwErrorStatus;
    if (issuerChain) *issuerChain = IssuerChainOf(chain);
    ::CertFreeCertificateChain(chain);
    return status;
}

std::unique_ptr<CWinThread> BeginReadingTrustedRoots() {
    return CWinThread::Begin(
        [] {
            if (const HCERTSTORE roots = ::CertOpenSystemStoreW(0, L"ROOT")) ::CertCloseStore(roots, 0);
        },
        L"QuorvelDownloader trusted roots");
}

SignatureVerdict CheckSetupSignature(HANDLE file, const std::wstring& path) {
    SignatureVerdict verdict;
    // Whether a signature is there is read from the file itself, so that a damaged signature can
    // never pass for a missing one, whatever error the platform gives for it. A file that declares
    // none is unsigned unless the platform found a signature all the same. Bytes the signature does
    // not cover, hidden in or after its table, make it broken.
    const PeSignatureLocation location = LocateSignature(file);
    const bool declared = location.DeclaresSignature();
    if (declared && !TableIsSound(file, location)) return verdict;
    LARGE_INTEGER start{};
    ::SetFilePointerEx(file, start, nullptr, FILE_BEGIN);
    CTrustCheck check(file, path);
    const LONG result = check.Result();
    verdict.platformResult = result;
    if (result == ERROR_SUCCESS || IsChainVerdict(result)) {
        verdict.content = SignatureContent::Intact;
        verdict.chain =
            ChainVerdictOf(static_cast<uint32_t>(result), check.SignerRevocationStatus(verdict.issuerChain));
        verdict.hasSigner = check.SignerFingerprint(verdict.signer);
    } else if (declared || result == TRUST_E_BAD_DIGEST) {
        verdict.content = SignatureContent::Broken;
    } else {
        verdict.content = SignatureContent::Unsigned;
    }
    return verdict;
}

const SignaturePolicy& BuildSignaturePolicy() {
    static const SignaturePolicy policy = [] {
        SignaturePolicy parsed;
        // The build checked the setting already; should it still not parse, nothing passes.
        if (!ParseSignerPins(QV_SETUP_SIGNERS, parsed.pins)) parsed.pins.assign(1, CertFingerprint{});
        parsed.allowUnsigned = QV_ALLOW_UNSIGNED_SETUP != 0;
        return parsed;
    }();
    return policy;
}

bool BuildNamesPublisher() { return QV_PUBLISHER_NAMED != 0 || !BuildSignaturePolicy().pins.empty(); }

bool SetupSignatureAllowsLaunch(HANDLE file, const std::wstring& path, SignatureVerdict* checked) {
    const SignatureVerdict verdict = CheckSetupSignature(file, path);
    const bool allowed = SignatureAllowsLaunch(verdict, BuildSignaturePolicy());
    LogSignatureVerdict(verdict, BuildSignaturePolicy(), allowed);
    if (checked) *checked = verdict;
    return allowed;
}
