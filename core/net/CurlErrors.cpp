// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/CurlErrors_p.h"

#include <cerrno>

namespace OrvelanNimbal {

namespace {

long infoLong(CURL *handle, CURLINFO info)
{
    long value = 0;
    curl_easy_getinfo(handle, info, &value);
    return value;
}

} // namespace

DriveError transportErrorOf(CURLcode code, CURL *handle, const QUrl &url)
{
    const auto reason = [](const char *text) {
        return DriveError::transport(QString::fromUtf8(text));
    };
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return DriveError::transport(QStringLiteral("serveur introuvable (%1)").arg(url.host()));
    case CURLE_COULDNT_RESOLVE_PROXY:
        return reason("proxy introuvable");
    case CURLE_COULDNT_CONNECT:
        if (infoLong(handle, CURLINFO_HTTP_CONNECTCODE) == 407)
            return reason("le proxy refuse l'identification");
        switch (infoLong(handle, CURLINFO_OS_ERRNO)) {
        case ECONNREFUSED:
            return reason("connexion refusée par le serveur");
        case ENETUNREACH:
        case EHOSTUNREACH:
        case ENETDOWN:
            return reason("réseau inaccessible");
        default:
            return reason("connexion au serveur impossible");
        }
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
        if (infoLong(handle, CURLINFO_HTTP_CONNECTCODE) == 407)
            return reason("le proxy refuse l'identification");
        return reason("connexion interrompue par le serveur");
    case CURLE_GOT_NOTHING:
        return reason("connexion fermée par le serveur sans réponse");
    case CURLE_PARTIAL_FILE:
        return reason("réponse incomplète");
    case CURLE_OPERATION_TIMEDOUT:
        return reason("délai d'attente dépassé");
    case CURLE_PEER_FAILED_VERIFICATION:
        return reason("certificat du serveur refusé");
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_USE_SSL_FAILED:
        return reason("échec de la connexion sécurisée (TLS)");
    case CURLE_UNSUPPORTED_PROTOCOL: // what came back did not begin as an HTTP answer
    case CURLE_WEIRD_SERVER_REPLY:
        return reason("réponse non HTTP");
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
        return reason("échange HTTP/2 interrompu");
    case CURLE_BAD_CONTENT_ENCODING:
        return reason("réponse compressée illisible");
    case CURLE_OUT_OF_MEMORY:
        return reason("mémoire insuffisante");
    default:
        return DriveError::transport(QStringLiteral("échec du transfert (%1)")
                                         .arg(QString::fromUtf8(curl_easy_strerror(code))));
    }
}

} // namespace OrvelanNimbal
