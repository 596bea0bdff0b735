#pragma once
// A throw-away certificate for the HTTPS mode: made at start, trusted by a
// client only through the PEM file the sandbox writes.

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

namespace sandbox {

struct SelfSignedCertificate {
  std::unique_ptr<X509, decltype(&X509_free)> certificate{nullptr, &X509_free};
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key{nullptr, &EVP_PKEY_free};
  std::string pem;  // the certificate alone
};

// A P-256 key and a certificate for 127.0.0.1 and localhost (subjectAltNames),
// valid from an hour ago for a day; both pointers null when OpenSSL fails.
SelfSignedCertificate make_self_signed_certificate();

}  // namespace sandbox
