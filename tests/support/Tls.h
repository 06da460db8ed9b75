#pragma once

#include <functional>
#include <string>
#include <string_view>

typedef struct ssl_st SSL;

namespace testsupport {

// Certificates made at test time with the openssl program, once a process: a CA the program
// under test is told to trust (AIRCASK_EXTRA_CA_FILE is set to it), a server certificate it
// signed for "localhost", and a self-signed one for "localhost" that nothing trusts.
struct TestCertificates {
    std::string caFile;
    std::string serverCertificate, serverKey;
    std::string untrustedCertificate, untrustedKey;
};
const TestCertificates& testCertificates();

// One accepted connection spoken over TLS with a certificate and key (PEM files); the server
// side of a test station.
class TlsConnection {
public:
    TlsConnection(int fd, const std::string& certificate, const std::string& key);
    ~TlsConnection();
    bool handshakeDone() const { return ssl_ != nullptr; }
    // Reads until the text holds `until` or the peer goes; what was read.
    std::string readUntil(std::string_view until);
    bool sendAll(std::string_view bytes);

private:
    SSL* ssl_ = nullptr;
};

} // namespace testsupport
