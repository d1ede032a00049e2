#pragma once
// Keys and X.509 certificates made at run time, so the test server needs no files.
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

namespace wqsim {

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateFree {
  void operator()(X509* certificate) const { X509_free(certificate); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyFree>;
using CertificatePtr = std::unique_ptr<X509, CertificateFree>;

struct CertifiedKey {
  KeyPtr key;
  CertificatePtr certificate;
};

// Makes an EC P-256 key and a certificate for it, valid from an hour ago for two days.
// A CA certificate may sign others; a server certificate names 127.0.0.1 and localhost in
// its subjectAltName. With a null `issuer` the certificate is signed with its own key
// (and is then also a CA, so that a client can trust it directly).
bool MakeCertifiedKey(const std::string& commonName, bool isCa, const CertifiedKey* issuer,
                      CertifiedKey& result, std::string& error);

std::string CertificatePem(X509* certificate);

}  // namespace wqsim
