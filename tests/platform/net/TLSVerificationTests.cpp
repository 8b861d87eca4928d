// The session refuses a TLS server whose certificate no trusted authority signed.

#include "platform/net/URLError.hpp"
#include "platform/net/URLSession.hpp"
#include "platform/runtime/Runtime.hpp"

#include <gtest/gtest.h>
#include <httplib.h>
#include <memory>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <thread>

namespace moss_test {
namespace {

struct KeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateDeleter {
    void operator()(X509* certificate) const { X509_free(certificate); }
};

// A fresh key and a certificate for 127.0.0.1 signed by that key alone.
std::pair<std::unique_ptr<EVP_PKEY, KeyDeleter>, std::unique_ptr<X509, CertificateDeleter>>
selfSignedCertificate() {
    std::unique_ptr<EVP_PKEY, KeyDeleter> key(EVP_EC_gen("P-256"));
    std::unique_ptr<X509, CertificateDeleter> certificate(X509_new());
    if (!key || !certificate) {
        return {};
    }
    X509_set_version(certificate.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), 1);
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -60);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 3600);
    X509_NAME* const name = X509_get_subject_name(certificate.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(certificate.get(), name);
    X509_set_pubkey(certificate.get(), key.get());
    if (X509_sign(certificate.get(), key.get(), EVP_sha256()) == 0) {
        return {};
    }
    return {std::move(key), std::move(certificate)};
}

TEST(URLSessionTLSTest, AnUntrustedCertificateIsRefused) {
    auto [key, certificate] = selfSignedCertificate();
    ASSERT_TRUE(key && certificate);
    httplib::SSLServer server(certificate.get(), key.get());
    ASSERT_TRUE(server.is_valid());
    server.Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("secret", "text/plain");
    });
    server.set_keep_alive_max_count(1);
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { server.listen_after_bind(); });
    while (!server.is_running()) {
        std::this_thread::yield();
    }

    const auto url = platform::URL::fromString("https://127.0.0.1:" + std::to_string(port) + "/");
    try {
        (void)platform::blockingWait(
            platform::URLSession::shared().data(platform::URLRequest(*url)));
        ADD_FAILURE() << "the reply of an untrusted server was accepted";
    } catch (const platform::URLError& error) {
        EXPECT_EQ(error.code(), platform::URLError::serverCertificateUntrusted);
        EXPECT_EQ(error.localizedDescription(), "The certificate for this server is invalid.");
    }
    server.stop();
    thread.join();
}

} // namespace
} // namespace moss_test
