#include "service/tls_front.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "http_client.h"
#include "service_fixture.h"

namespace lumora::service {
namespace {

using namespace testing;

// A certificate for 127.0.0.1 signed by its own key, both in one PEM file.
std::string selfSignedPem() {
  const std::string path =
      (std::filesystem::temp_directory_path() / ("lumora-tls-" + std::to_string(getpid()) + ".pem")).string();
  EVP_PKEY* key = EVP_RSA_gen(2048);
  X509* certificate = X509_new();
  ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
  X509_gmtime_adj(X509_getm_notBefore(certificate), 0);
  X509_gmtime_adj(X509_getm_notAfter(certificate), 3600);
  X509_set_pubkey(certificate, key);
  X509_NAME* name = X509_get_subject_name(certificate);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
  X509_set_issuer_name(certificate, name);
  X509_sign(certificate, key, EVP_sha256());
  FILE* file = std::fopen(path.c_str(), "w");
  PEM_write_X509(file, certificate);
  PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr);
  std::fclose(file);
  X509_free(certificate);
  EVP_PKEY_free(key);
  return path;
}

// One request over TLS, and the whole answer as text.
std::string overTls(std::uint16_t port, const std::string& request) {
  TTestSocket socket(port);
  SSL_CTX* context = SSL_CTX_new(TLS_client_method());
  SSL* ssl = SSL_new(context);
  std::string answer;
  SSL_set_fd(ssl, socket.Handle());
  if (SSL_connect(ssl) == 1 && SSL_write(ssl, request.data(), static_cast<int>(request.size())) > 0) {
    char buffer[4096];
    for (int n; (n = SSL_read(ssl, buffer, sizeof buffer)) > 0;) answer.append(buffer, static_cast<std::size_t>(n));
  }
  SSL_free(ssl);
  SSL_CTX_free(context);
  return answer;
}

TEST(TlsFront, TheServiceSpeaksHttpsWhenGivenACertificate) {
  const std::string pem = selfSignedPem();
  TServiceOptions options;
  options.Certificate = pem;
  TServiceFixture f(options);
  EXPECT_TRUE(f.Service->Url().starts_with("https://127.0.0.1:"));
  const std::string status = overTls(f.Port(), RequestText("GET", "/api/status", f.Port(), {}, ""));
  EXPECT_TRUE(status.starts_with("HTTP/1.1 200 OK")) << status.substr(0, 80);
  EXPECT_NE(status.find("\"host\":\"test-host\""), std::string::npos);
  const std::string refused = overTls(
      f.Port(), RequestText("POST", "/api/commands/level", f.Port(), {{"Content-Type", "application/json"}}, R"({"percent": 9})"));
  EXPECT_TRUE(refused.starts_with("HTTP/1.1 401")) << "the password rules hold behind the front";
  const std::string done = overTls(
      f.Port(), RequestText("POST", "/api/commands/level", f.Port(), JsonHeaders(kPassword), R"({"percent": 9})"));
  EXPECT_TRUE(done.starts_with("HTTP/1.1 200 OK"));
  EXPECT_EQ(f.Level, 9);
  EXPECT_EQ(Request(f.Port(), "GET", "/api/status").Status, 0) << "plain HTTP gets no answer on the HTTPS port";
  std::filesystem::remove(pem);
}

TEST(TlsFront, AFileWithoutACertificateIsRefusedByName) {
  const std::string path = (std::filesystem::temp_directory_path() / "lumora-no-certificate.pem").string();
  std::FILE* file = std::fopen(path.c_str(), "w");
  std::fputs("not a certificate\n", file);
  std::fclose(file);
  try {
    TTlsFront front({path, "127.0.0.1", 0, 1, 4, std::chrono::milliseconds(1000)});
    FAIL() << "refused";
  } catch (const std::runtime_error& error) {
    EXPECT_TRUE(std::string(error.what()).starts_with(path + ": no certificate with its key")) << error.what();
  }
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace lumora::service
