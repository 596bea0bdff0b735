#include "tls_cert.h"

#include <openssl/pem.h>
#include <openssl/x509v3.h>

namespace sandbox {
namespace {

bool add_extension(X509* certificate, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  if (extension == nullptr) return false;
  const bool added = X509_add_ext(certificate, extension, -1) == 1;
  X509_EXTENSION_free(extension);
  return added;
}

bool fill_certificate(X509* certificate, EVP_PKEY* key) {
  X509_NAME* name = X509_get_subject_name(certificate);
  const auto* common_name = reinterpret_cast<const unsigned char*>("127.0.0.1");
  return X509_set_version(certificate, 2) == 1 &&
         ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1) == 1 &&
         X509_gmtime_adj(X509_getm_notBefore(certificate), -3600) != nullptr &&
         X509_gmtime_adj(X509_getm_notAfter(certificate), 24 * 3600) != nullptr &&
         X509_set_pubkey(certificate, key) == 1 &&
         X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, common_name, -1, -1, 0) == 1 &&
         X509_set_issuer_name(certificate, name) == 1 &&
         add_extension(certificate, NID_basic_constraints, "critical,CA:TRUE") &&
         add_extension(certificate, NID_subject_key_identifier, "hash") &&
         add_extension(certificate, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost") &&
         X509_sign(certificate, key, EVP_sha256()) > 0;
}

std::string to_pem(X509* certificate) {
  std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
  if (!bio || PEM_write_bio_X509(bio.get(), certificate) != 1) return {};
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

}  // namespace

SelfSignedCertificate make_self_signed_certificate() {
  SelfSignedCertificate made;
  made.key.reset(EVP_EC_gen("P-256"));
  made.certificate.reset(X509_new());
  if (!made.key || !made.certificate || !fill_certificate(made.certificate.get(), made.key.get()) ||
      (made.pem = to_pem(made.certificate.get())).empty()) {
    return {};
  }
  return made;
}

}  // namespace sandbox
