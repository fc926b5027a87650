// Owners for OpenSSL objects: one std::unique_ptr per kind, whose deleter is the kind's
// free function, so that every path out of a function gives back what it took. Whoever
// holds the owner owns the object; any thread, one owner on one thread at a time.
#ifndef LUMORA_PLATFORM_CODESIGN_OPENSSL_OWNERS_H_
#define LUMORA_PLATFORM_CODESIGN_OPENSSL_OWNERS_H_

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <memory>

namespace lumora::openssl {

template <auto Free>
struct Deleter {
  template <class T>
  void operator()(T* object) const {
    Free(object);
  }
};

using X509Ptr = std::unique_ptr<X509, Deleter<X509_free>>;
using X509CrlPtr = std::unique_ptr<X509_CRL, Deleter<X509_CRL_free>>;
using X509StorePtr = std::unique_ptr<X509_STORE, Deleter<X509_STORE_free>>;
using X509StoreCtxPtr = std::unique_ptr<X509_STORE_CTX, Deleter<X509_STORE_CTX_free>>;
using Pkcs7Ptr = std::unique_ptr<PKCS7, Deleter<PKCS7_free>>;
using EvpPkeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using EvpMdCtxPtr = std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO_free>>;
using Asn1ObjectPtr = std::unique_ptr<ASN1_OBJECT, Deleter<ASN1_OBJECT_free>>;
using Asn1TimePtr = std::unique_ptr<ASN1_TIME, Deleter<ASN1_TIME_free>>;

// A stack of certificates that owns its members.
struct X509StackDeleter {
  void operator()(STACK_OF(X509) * stack) const { sk_X509_pop_free(stack, X509_free); }
};
using X509StackPtr = std::unique_ptr<STACK_OF(X509), X509StackDeleter>;

// A stack that only borrows its members (they belong to someone else).
struct X509BorrowedStackDeleter {
  void operator()(STACK_OF(X509) * stack) const { sk_X509_free(stack); }
};
using X509BorrowedStackPtr = std::unique_ptr<STACK_OF(X509), X509BorrowedStackDeleter>;

// Bytes that OpenSSL allocated for us (i2d output, UTF-8 conversions).
struct BytesDeleter {
  void operator()(unsigned char* bytes) const { OPENSSL_free(bytes); }
};
using BytesPtr = std::unique_ptr<unsigned char, BytesDeleter>;

}  // namespace lumora::openssl

#endif  // LUMORA_PLATFORM_CODESIGN_OPENSSL_OWNERS_H_
