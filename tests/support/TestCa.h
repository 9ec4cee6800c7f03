// Trust in the fixtures' test CA (tools/judge-proxies/judge-proxies.sh writes it as test-ca.pem), so
// that HTTPS servers on loopback pass the certificate check a real server would: under Wine the CA goes
// into the local machine's root store of the prefix (crypt32 keeps it in the prefix's registry, where
// every later program of the run, Vestrel.exe included, finds it); natively there is nothing to do (the
// native HTTP GET has no TLS). Link crypt32 in the Windows build.
#pragma once

#include <optional>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include <wincrypt.h>
#endif

namespace vestrel::testing {

// True once the PEM certificate `pem` is among the trusted roots (or there is no store to put it in).
inline bool TrustTestCa(const std::string& pem) {
#ifdef _WIN32
    DWORD size = 0;
    if (!::CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr))
        return false;
    std::string der(size, '\0');
    if (!::CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER,
                                reinterpret_cast<BYTE*>(der.data()), &size, nullptr, nullptr)) {
        return false;
    }
    // The machine's store: the user's one would ask the user first on Windows.
    HCERTSTORE store =
        ::CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
    if (store == nullptr) return false;
    const BOOL added = ::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING,
                                                          reinterpret_cast<const BYTE*>(der.data()), size,
                                                          CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    ::CertCloseStore(store, 0);
    return added != FALSE;
#else
    (void)pem;
    return true;
#endif
}

}  // namespace vestrel::testing
