#include "simulator/testCertificates.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <vector>

namespace wqsim {

namespace {

const long kValidFromSeconds = -3600;
const long kValidForSeconds = 2 * 24 * 3600;
const int kSerialBits = 63;

std::string OpenSslError(const char* what) {
  char text[256] = {0};
  ERR_error_string_n(ERR_get_error(), text, sizeof(text));
  return std::string(what) + ": " + text;
}

bool AddExtension(X509* certificate, X509V3_CTX* context, int nid, const char* value) {
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, context, nid, value);
  if (extension == nullptr) return false;
  int added = X509_add_ext(certificate, extension, -1);
  X509_EXTENSION_free(extension);
  return added == 1;
}

bool SetSerial(X509* certificate) {
  BIGNUM* serial = BN_new();
  bool ok = serial != nullptr &&
            BN_rand(serial, kSerialBits, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) == 1 &&
            BN_to_ASN1_INTEGER(serial, X509_get_serialNumber(certificate)) != nullptr;
  BN_free(serial);
  return ok;
}

bool SetName(X509* certificate, const std::string& commonName) {
  X509_NAME* name = X509_get_subject_name(certificate);
  const auto* organisation = reinterpret_cast<const unsigned char*>("wqsim test server");
  const auto* common = reinterpret_cast<const unsigned char*>(commonName.c_str());
  return X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, organisation, -1, -1, 0) == 1 &&
         X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, common, -1, -1, 0) == 1;
}

}  // namespace

bool MakeCertifiedKey(const std::string& commonName, bool isCa, const CertifiedKey* issuer,
                      CertifiedKey& result, std::string& error) {
  KeyPtr key(EVP_EC_gen("P-256"));
  if (!key) {
    error = OpenSslError("key generation");
    return false;
  }
  CertificatePtr certificate(X509_new());
  X509* cert = certificate.get();
  bool selfSigned = issuer == nullptr;
  X509* issuerCert = selfSigned ? cert : issuer->certificate.get();
  EVP_PKEY* signingKey = selfSigned ? key.get() : issuer->key.get();

  bool ok = cert != nullptr && X509_set_version(cert, 2) == 1 && SetSerial(cert) &&
            X509_gmtime_adj(X509_getm_notBefore(cert), kValidFromSeconds) != nullptr &&
            X509_gmtime_adj(X509_getm_notAfter(cert), kValidForSeconds) != nullptr &&
            X509_set_pubkey(cert, key.get()) == 1 && SetName(cert, commonName) &&
            X509_set_issuer_name(cert, X509_get_subject_name(issuerCert)) == 1;
  if (!ok) {
    error = OpenSslError("certificate fields");
    return false;
  }

  X509V3_CTX context;
  X509V3_set_ctx(&context, issuerCert, cert, nullptr, nullptr, 0);
  bool authority = isCa || selfSigned;
  std::vector<std::pair<int, const char*>> extensions = {
      {NID_basic_constraints, authority ? "critical,CA:TRUE" : "critical,CA:FALSE"},
      {NID_key_usage, authority ? "critical,digitalSignature,keyCertSign,cRLSign"
                                : "critical,digitalSignature,keyEncipherment"},
      {NID_subject_key_identifier, "hash"},
      {NID_authority_key_identifier, "keyid:always"},
  };
  if (!isCa) {
    extensions.emplace_back(NID_ext_key_usage, "serverAuth");
    extensions.emplace_back(NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
  }
  for (const auto& extension : extensions) {
    if (!AddExtension(cert, &context, extension.first, extension.second)) {
      error = OpenSslError("certificate extension");
      return false;
    }
  }
  if (X509_sign(cert, signingKey, EVP_sha256()) == 0) {
    error = OpenSslError("certificate signature");
    return false;
  }
  result.key = std::move(key);
  result.certificate = std::move(certificate);
  return true;
}

std::string CertificatePem(X509* certificate) {
  BIO* memory = BIO_new(BIO_s_mem());
  if (memory == nullptr) return std::string();
  std::string pem;
  if (PEM_write_bio_X509(memory, certificate) == 1) {
    char* data = nullptr;
    long length = BIO_get_mem_data(memory, &data);
    if (length > 0) pem.assign(data, static_cast<size_t>(length));
  }
  BIO_free(memory);
  return pem;
}

}  // namespace wqsim
