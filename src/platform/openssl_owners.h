#pragma once

// Owners of OpenSSL objects, shared by the verifier and the publisher's signer.
// OpenSSL code only: include it from the files that already use OpenSSL.

#include <memory>

#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>

namespace Kyrowan::Windows {

struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
struct PkeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct DigestContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct EncodeContextFree {
  void operator()(EVP_ENCODE_CTX* context) const { EVP_ENCODE_CTX_free(context); }
};
struct OpensslFree {
  void operator()(void* p) const { OPENSSL_free(p); }
};

/// An owned key; null when loading failed.
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyFree>;
using BioPtr = std::unique_ptr<BIO, BioFree>;
using DigestContextPtr = std::unique_ptr<EVP_MD_CTX, DigestContextFree>;

}  // namespace Kyrowan::Windows
