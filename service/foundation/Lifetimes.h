// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>

namespace OrvelanNimbal::Service {

// How long what the service hands out stays valid, in seconds. Test controls shorten them so
// that an expiry is reached without waiting; reset() restores the defaults.
class Lifetimes {
public:
    static constexpr std::int64_t defaultAccessToken = 3600;
    static constexpr std::int64_t defaultPendingLogin = 300;
    static constexpr std::int64_t defaultTrustedDevice = 30 * 24 * 3600;
    static constexpr std::int64_t defaultPresignedUrl = 3600;
    static constexpr std::int64_t defaultIdleUpload = 24 * 3600;

    std::int64_t accessToken() const { return m_accessToken; }
    std::int64_t pendingLogin() const { return m_pendingLogin; }
    std::int64_t trustedDevice() const { return m_trustedDevice; }
    // Pre-signed storage addresses: downloads and thumbnails.
    std::int64_t presignedUrl() const { return m_presignedUrl; }
    // A multipart upload that stores no part for this long is abandoned by the service.
    std::int64_t idleUpload() const { return m_idleUpload; }

    void setAccessToken(std::int64_t seconds) { m_accessToken = seconds; }
    void setPendingLogin(std::int64_t seconds) { m_pendingLogin = seconds; }
    void setTrustedDevice(std::int64_t seconds) { m_trustedDevice = seconds; }
    void setPresignedUrl(std::int64_t seconds) { m_presignedUrl = seconds; }
    void setIdleUpload(std::int64_t seconds) { m_idleUpload = seconds; }

    void reset()
    {
        m_accessToken = defaultAccessToken;
        m_pendingLogin = defaultPendingLogin;
        m_trustedDevice = defaultTrustedDevice;
        m_presignedUrl = defaultPresignedUrl;
        m_idleUpload = defaultIdleUpload;
    }

private:
    std::atomic<std::int64_t> m_accessToken = defaultAccessToken;
    std::atomic<std::int64_t> m_pendingLogin = defaultPendingLogin;
    std::atomic<std::int64_t> m_trustedDevice = defaultTrustedDevice;
    std::atomic<std::int64_t> m_presignedUrl = defaultPresignedUrl;
    std::atomic<std::int64_t> m_idleUpload = defaultIdleUpload;
};

} // namespace OrvelanNimbal::Service
