#include "tls_credentials.h"

#include <string>

#include <gtest/gtest.h>

namespace KyrServer {
namespace {

const std::string kTls = KYR_TEST_TLS_DIR "/";

// Each mistake a publisher can make with the two files is told apart from the others.
TEST(TlsCredentialsTest, SaysWhichFileIsWrongAndHow) {
  const std::string cert = kTls + "server-cert.pem", key = kTls + "server-key.pem", missing = kTls + "missing.pem";
  const struct {
    std::string certificate, key, problem;
  } cases[] = {
      {cert, key, ""},
      {missing, key, "cannot read certificate '" + missing + "': No such file or directory"},
      {kTls, key, "cannot read certificate '" + kTls + "': Is a directory"},
      {key, key, "certificate '" + key + "' holds no PEM certificate"},
      {cert, missing, "cannot read key '" + missing + "': No such file or directory"},
      {cert, cert, "key '" + cert + "' holds no PEM private key without a password"},
      {cert, kTls + "other-key.pem", "key '" + kTls + "other-key.pem' does not match certificate '" + cert + "'"},
  };
  for (const auto& c : cases) {
    TlsCredentials credentials;
    std::string problem;
    EXPECT_EQ(LoadTlsCredentials(c.certificate, c.key, credentials, problem), c.problem.empty()) << c.problem;
    EXPECT_EQ(problem, c.problem);
  }
}

}  // namespace
}  // namespace KyrServer
