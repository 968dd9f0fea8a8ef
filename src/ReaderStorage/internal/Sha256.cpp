#include "ReaderStorage/internal/Sha256.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

namespace tavrine {
namespace {

// The digest cannot fail for a valid context and algorithm; only a failed allocation would, which the
// process cannot go on from anyway.
void check(int status, const char* step) {
    if (status != 1) qFatal("SHA-256 through OpenSSL failed in %s", step);
}

}  // namespace

void Sha256::Free::operator()(evp_md_ctx_st* context) const {
    EVP_MD_CTX_free(context);
}

Sha256::Sha256() : m_context(EVP_MD_CTX_new()) {
    if (!m_context) qFatal("SHA-256 through OpenSSL: no context");
    check(EVP_DigestInit_ex(m_context.get(), EVP_sha256(), nullptr), "EVP_DigestInit_ex");
}

Sha256::~Sha256() {
    m_context.reset();
    // OpenSSL keeps state per thread (its error queue) and frees it only when the thread ends, through a
    // thread-specific destructor that its own clean-up at exit unregisters: a thread that ends after that
    // clean-up, as a pool's thread may while the process exits, leaves the state behind for good. Each
    // digest frees its thread's state itself (the next one on the thread makes it again), so no thread
    // holds any once it is done hashing, however and whenever it ends.
    OPENSSL_thread_stop();
}

void Sha256::add(QByteArrayView bytes) {
    check(EVP_DigestUpdate(m_context.get(), bytes.data(), static_cast<std::size_t>(bytes.size())), "EVP_DigestUpdate");
}

QByteArray Sha256::result() {
    QByteArray digest(EVP_MAX_MD_SIZE, Qt::Uninitialized);
    unsigned int length = 0;
    check(EVP_DigestFinal_ex(m_context.get(), reinterpret_cast<unsigned char*>(digest.data()), &length),
          "EVP_DigestFinal_ex");
    digest.truncate(length);
    return digest;
}

}  // namespace tavrine
