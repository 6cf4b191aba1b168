// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstddef>
#include <memory>

struct evp_md_ctx_st;

namespace OrvelanNimbal::Service {

// SHA-256 of bytes that arrive piece by piece (a body as it streams in, parts as they are
// assembled), in lower-case hexadecimal like the hashes clients send. OpenSSL's, because
// uploads of gigabytes pass through it and it uses the processor's SHA instructions.
class ContentDigest {
public:
    ContentDigest();
    ~ContentDigest();
    // A copy goes on from where the original stands, independently of it.
    ContentDigest(const ContentDigest &other);
    ContentDigest &operator=(const ContentDigest &other);
    ContentDigest(ContentDigest &&) noexcept = default;
    ContentDigest &operator=(ContentDigest &&) noexcept = default;

    void add(const char *data, std::size_t length);
    // Ends the digest; add() may not be called afterwards.
    QString hex();

private:
    std::unique_ptr<evp_md_ctx_st, void (*)(evp_md_ctx_st *)> m_context;
};

} // namespace OrvelanNimbal::Service
