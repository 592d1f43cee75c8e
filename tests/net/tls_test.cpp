// tls_test.cpp -- the client's TLS socket and its checks of the server's key, against a scripted
// TLS server with keys and certificates made here (nothing committed that could expire): a key
// pinned on first use, the same key taken again, a changed key refused on the error screen, the
// published server_key checked even on first use, and a certificate from a trusted authority
// taken without a pin.
#include <asio.hpp>
#include <asio/ssl.hpp>

#include <memory>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include "map/world_files.h"
#include "net_fixture.h"
#include "platform/backends.h"
#include "platform/files.h"
#include "platform/tls_common.h"

namespace {

// A key and a certificate for it.
struct Identity {
    std::shared_ptr<EVP_PKEY> key;
    std::shared_ptr<X509> cert;
    std::string fingerprint;
};

// A P-256 key with a certificate valid from yesterday to tomorrow: self-signed, or signed by
// `issuer` and naming 127.0.0.1. `authority` makes it a CA's.
Identity Make_Identity(const Identity* issuer = nullptr, bool authority = false) {
    Identity out{std::shared_ptr<EVP_PKEY>(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"), EVP_PKEY_free),
                 std::shared_ptr<X509>(X509_new(), X509_free), ""};
    X509* cert = out.cert.get();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), -86400);
    X509_gmtime_adj(X509_getm_notAfter(cert), 86400);
    X509_NAME_add_entry_by_txt(X509_get_subject_name(cert), "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(authority ? "test CA" : "test server"), -1, -1,
                               0);
    X509_set_pubkey(cert, out.key.get());
    X509* issuer_cert = issuer ? issuer->cert.get() : cert;
    X509_set_issuer_name(cert, X509_get_subject_name(issuer_cert));
    X509V3_CTX v3;
    X509V3_set_ctx(&v3, issuer_cert, cert, nullptr, nullptr, 0);
    const std::pair<int, const char*> extensions[] = {
        {NID_basic_constraints, authority ? "critical,CA:TRUE" : "CA:FALSE"},
        {NID_key_usage, authority ? "critical,keyCertSign" : "digitalSignature"},
        {NID_subject_alt_name, "IP:127.0.0.1"},
    };
    for (const auto& [nid, value] : extensions) {
        X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &v3, nid, value);
        X509_add_ext(cert, extension, -1);
        X509_EXTENSION_free(extension);
    }
    X509_sign(cert, (issuer ? issuer->key : out.key).get(), EVP_sha256());
    out.fingerprint = Key_Fingerprint(cert);
    return out;
}

// A TLS server on 127.0.0.1 with one identity, run by the test's turns: accepts one client,
// shakes hands and keeps what it reads.
struct Tls_Server {
    asio::io_context io;
    asio::ssl::context context{asio::ssl::context::tls_server};
    asio::ip::tcp::acceptor acceptor{io};
    std::unique_ptr<asio::ssl::stream<asio::ip::tcp::socket>> stream;
    std::array<char, 4096> buffer{};
    std::string received;

    Tls_Server(const Identity& identity, uint16_t port) {
        acceptor.open(asio::ip::tcp::v4());
        acceptor.set_option(asio::ip::tcp::acceptor::reuse_address(true));
        acceptor.bind({asio::ip::make_address("127.0.0.1"), port});
        acceptor.listen();
        Apply_Tls_Policy(context.native_handle());
        SSL_CTX_use_certificate(context.native_handle(), identity.cert.get());
        SSL_CTX_use_PrivateKey(context.native_handle(), identity.key.get());
        stream = std::make_unique<asio::ssl::stream<asio::ip::tcp::socket>>(io, context);
        acceptor.async_accept(stream->lowest_layer(), [this](const asio::error_code& error) {
            if (!error)
                stream->async_handshake(asio::ssl::stream_base::server, [this](const asio::error_code& e) {
                    if (!e) Read();
                });
        });
    }
    void Read() {
        stream->async_read_some(asio::buffer(buffer), [this](const asio::error_code& error, size_t n) {
            received.append(buffer.data(), n);
            if (!error) Read();
        });
    }
    uint16_t Port() const { return acceptor.local_endpoint().port(); }
};

class Tls_Test : public Net_Test {
protected:
    world_test::Temp_Folder folder;
    std::string known = Host_Path_Of(folder.path / "known_servers.txt");   // the pin file
};

TEST_F(Tls_Test, Keys_Are_Pinned_On_First_Use_And_Checked_After) {
    const Identity first = Make_Identity(), second = Make_Identity(), authority = Make_Identity(nullptr, true);
    const Identity vouched = Make_Identity(&authority);
    const std::string roots = Host_Path_Of(folder.path / "roots.pem");
    BIO* pem = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(pem, authority.cert.get());
    char* data = nullptr;
    const long size = BIO_get_mem_data(pem, &data);
    ASSERT_TRUE(Write_Whole_File(roots, std::string(data, size_t(size))));
    BIO_free(pem);
    struct Case {
        const char* what;
        const Identity& server;
        bool first_port;   // the port of the first case, whose key is pinned
        std::string server_key, trusted_roots;
        bool connects;
    };
    const Case cases[] = {
        {"first use writes the line", first, false, "", "", true},
        {"the same key is taken", first, true, "", "", true},
        {"a changed key is refused, nothing written", second, true, "", "", false},
        {"server_key refuses another key even on first use", second, false, first.fingerprint, "", false},
        {"server_key takes its key", first, false, first.fingerprint, "", true},
        {"a trusted authority's certificate for the address, no pin", vouched, false, "", roots, true},
    };
    uint16_t port_of_first = 0;
    for (const Case& c : cases) {
        Tls_Server server(c.server, c.first_port ? port_of_first : 0);
        const uint16_t port = server.Port();
        if (port_of_first == 0) port_of_first = port;
        Socket_Security security;
        security.server_key = c.server_key;
        security.trusted_roots = c.trusted_roots;
        security.known_servers = known;
        std::unique_ptr<Socket_Backend> tcp = Make_Tcp_Socket(security);
        Platform.socket = tcp.get();
        Net.Server_Host = "127.0.0.1";
        Net.Server_Port = port;
        Net.Link = Net_Link{};
        raised = -1;
        Open_Connection();
        each_turn = [&] { server.io.poll(); };
        if (c.connects) {
            ASSERT_TRUE(Pump([&] { return server.received == "/ver 0.1 beta/e/" || raised != -1; })) << c.what;
            EXPECT_EQ(raised, -1) << c.what;
        } else {
            ASSERT_TRUE(Pump([&] { return raised != -1; })) << c.what;
            EXPECT_EQ(raised, -32768) << c.what;
            const std::string text = To_Utf8(raised_text);
            EXPECT_NE(text.find("127.0.0.1:" + std::to_string(port)), std::string::npos) << text;
            EXPECT_NE(text.find(c.server_key.empty() ? "known_servers.txt" : "server_key"), std::string::npos) << text;
            EXPECT_NE(text.find("管理者"), std::string::npos) << text;
            EXPECT_EQ(server.received, "") << c.what;   // not even the version went out
        }
        // The first case's line is the file's only one.
        EXPECT_EQ(Read_Whole_File(known).value_or(""),
                  "127.0.0.1:" + std::to_string(port_of_first) + " " + first.fingerprint + "\n")
            << c.what;
        Platform.socket = nullptr;
    }
}

}   // namespace
