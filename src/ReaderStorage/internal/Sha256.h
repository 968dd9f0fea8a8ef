#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <memory>

struct evp_md_ctx_st;

namespace tavrine {

// An incremental SHA-256 digest through OpenSSL's EVP interface, which uses the processor's SHA
// extensions where it has them. Feed it pieces with add(), then take the 32 bytes of result() once.
// Destroying it frees what OpenSSL keeps for the calling thread.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void add(QByteArrayView bytes);
    QByteArray result();

private:
    struct Free {
        void operator()(evp_md_ctx_st* context) const;
    };
    std::unique_ptr<evp_md_ctx_st, Free> m_context;
};

}  // namespace tavrine
