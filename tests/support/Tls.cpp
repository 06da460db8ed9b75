#include "tests/support/Tls.h"

#include "tests/support/TempDir.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace testsupport {
namespace {

void run(const std::string& command) {
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
        throw std::runtime_error("failed: " + command);
}

} // namespace

const TestCertificates& testCertificates() {
    static const TestCertificates certificates = [] {
        static TempDir dir; // lives as long as the process
        TestCertificates made;
        const std::string d = dir.path();
        const std::string ec = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
        made.caFile = d + "/ca.pem";
        run("openssl req -x509 " + ec + " -keyout " + d + "/ca.key -out " + made.caFile +
            " -days 2 -subj '/CN=Aircask Test CA'");
        made.serverKey = d + "/server.key";
        made.serverCertificate = d + "/server.pem";
        run("openssl req " + ec + " -keyout " + made.serverKey + " -out " + d + "/server.csr -subj /CN=localhost");
        writeFile(d + "/ext", "subjectAltName=DNS:localhost\nbasicConstraints=CA:FALSE\n");
        run("openssl x509 -req -in " + d + "/server.csr -CA " + made.caFile + " -CAkey " + d +
            "/ca.key -CAcreateserial -out " + made.serverCertificate + " -days 2 -extfile " + d + "/ext");
        made.untrustedKey = d + "/other.key";
        made.untrustedCertificate = d + "/other.pem";
        run("openssl req -x509 " + ec + " -keyout " + made.untrustedKey + " -out " + made.untrustedCertificate +
            " -days 2 -subj /CN=localhost -addext subjectAltName=DNS:localhost");
        ::setenv("AIRCASK_EXTRA_CA_FILE", made.caFile.c_str(), 1);
        return made;
    }();
    return certificates;
}

TlsConnection::TlsConnection(int fd, const std::string& certificate, const std::string& key) {
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (!context)
        return;
    if (SSL_CTX_use_certificate_chain_file(context, certificate.c_str()) == 1 &&
        SSL_CTX_use_PrivateKey_file(context, key.c_str(), SSL_FILETYPE_PEM) == 1) {
        SSL* ssl = SSL_new(context);
        SSL_set_fd(ssl, fd);
        if (SSL_accept(ssl) == 1)
            ssl_ = ssl;
        else
            SSL_free(ssl);
    }
    SSL_CTX_free(context); // the connection keeps what it needs
    ERR_clear_error();
}

TlsConnection::~TlsConnection() {
    if (ssl_) {
        SSL_shutdown(ssl_);
        SSL_free(ssl_);
    }
}

std::string TlsConnection::readUntil(std::string_view until) {
    std::string text;
    char buffer[4096];
    while (ssl_ && text.find(until) == std::string::npos) {
        const int n = SSL_read(ssl_, buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

bool TlsConnection::sendAll(std::string_view bytes) {
    while (ssl_ && !bytes.empty()) {
        const int n = SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size()));
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return ssl_ != nullptr;
}

} // namespace testsupport
