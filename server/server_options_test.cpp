#include "server_options.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

namespace KyrServer {
namespace {

const std::vector<std::string> kComplete{"--address", "127.0.0.1", "--port", "8443", "--cert", "c.pem",
                                         "--key",     "k.pem",     "--repo", "repo", "--db",   "t.db"};

const std::vector<std::string> kWithoutDb(kComplete.begin(), kComplete.end() - 2);

bool Parse(const std::vector<std::string>& arguments, ServerOptions& options, std::string& error) {
  std::string out;
  int exitCode = -1;
  const bool run = ParseServerOptions(arguments, options, out, error, exitCode);
  EXPECT_EQ(exitCode, run ? -1 : 2);
  return run;
}

TEST(ServerOptions, ReadsEveryOption) {
  ServerOptions options;
  std::string error;
  ASSERT_TRUE(Parse(kComplete, options, error)) << error;
  EXPECT_EQ(options.address, "127.0.0.1");
  EXPECT_EQ(options.port, 8443);
  EXPECT_EQ(options.certificateFile, "c.pem");
  EXPECT_EQ(options.keyFile, "k.pem");
  EXPECT_EQ(options.repositoryFolder, "repo");
  EXPECT_EQ(options.databaseFile, "t.db");
  EXPECT_EQ(options.reportsPerMinute, 60);
  EXPECT_EQ(options.timeoutSeconds, 10);
  EXPECT_EQ(options.threads, DefaultThreads());
  EXPECT_EQ((std::vector{options.requestTimeoutSeconds, options.maxConnections, options.connectionsPerAddress}),
            (std::vector{10, 1000, 32}));
  auto limited = kComplete;
  limited.insert(limited.end(), {"--timeout", "2", "--reports-per-minute", "5", "--trusted-proxy", "127.0.0.1",
                                  "--trusted-proxy", "::1", "--threads", "3", "--request-timeout", "4",
                                  "--max-connections", "50", "--connections-per-address", "6"});
  ASSERT_TRUE(Parse(limited, options, error)) << error;
  EXPECT_EQ(options.reportsPerMinute, 5);
  EXPECT_EQ(options.timeoutSeconds, 2);
  EXPECT_EQ(options.threads, 3);
  EXPECT_EQ((std::vector{options.requestTimeoutSeconds, options.maxConnections, options.connectionsPerAddress}),
            (std::vector{4, 50, 6}));
  EXPECT_EQ(options.trustedProxies, (std::vector<std::string>{"127.0.0.1", "::1"}));
  auto postgres = kWithoutDb;
  postgres.insert(postgres.end(), {"--telemetry-postgres", "host=/run/pg dbname=kyr"});
  ASSERT_TRUE(Parse(postgres, options, error)) << error;
  EXPECT_EQ(options.postgresConnection, "host=/run/pg dbname=kyr");
}

// The packaged configuration file must be one the server takes; the command line still wins.
TEST(ServerOptions, ReadsThePackagedConfigurationFile) {
  ServerOptions options;
  std::string error;
  ASSERT_TRUE(Parse({"--config", KYR_SERVER_DEFAULT_CONFIG, "--port", "8443"}, options, error)) << error;
  EXPECT_EQ(options.address, "0.0.0.0");
  EXPECT_EQ(options.port, 8443);
  EXPECT_EQ(options.certificateFile, "/etc/kyrdecrypt-server/server-cert.pem");
  EXPECT_EQ(options.keyFile, "/etc/kyrdecrypt-server/server-key.pem");
  EXPECT_EQ(options.repositoryFolder, "/var/lib/kyrdecrypt-server/repository");
  EXPECT_EQ(options.databaseFile, "/var/lib/kyrdecrypt-server/telemetry.db");
  EXPECT_EQ(options.reportsPerMinute, 60);
  EXPECT_EQ(options.timeoutSeconds, 10);
}

TEST(ServerOptions, HelpAndVersionPrintAndSucceed) {
  for (const auto& [argument, expected] : {std::pair<std::string, std::string>{"--help", "Usage: kyrdecrypt-server [OPTIONS]"},
                                           {"--version", "kyrdecrypt-server 1."}}) {
    ServerOptions options;
    std::string out, error;
    int exitCode = -1;
    EXPECT_FALSE(ParseServerOptions({argument}, options, out, error, exitCode));
    EXPECT_EQ(exitCode, 0);
    EXPECT_NE(out.find(expected), std::string::npos) << out;
  }
}

TEST(ServerOptions, NamesWhatIsWrong) {
  const std::filesystem::path misspelt = std::filesystem::temp_directory_path() / "kyrserver-misspelt.conf";
  std::ofstream(misspelt) << "address = \"127.0.0.1\"\nprot = 8443\n";
  const auto with = [](std::size_t index, const std::string& value) {
    auto arguments = kComplete;
    arguments[index] = value;
    return arguments;
  };
  const auto plus = [](const std::string& option, const std::string& value) {
    auto arguments = kComplete;
    arguments.insert(arguments.end(), {option, value});
    return arguments;
  };
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, "option --address is required"},
      {std::vector<std::string>(kComplete.begin(), kComplete.end() - 1), "--db: 1 required TEXT missing"},
      {with(0, "--host"), "The following arguments were not expected: 127.0.0.1 --host"},
      {with(3, "84x"), "--port: Value 84x not in range 0 to 65535"},
      {with(3, "65536"), "--port: Value 65536 not in range 0 to 65535"},
      {with(5, ""), "option --cert needs a value"},
      {plus("--reports-per-minute", "0"), "--reports-per-minute: Value 0 not in range 1 to 1000000"},
      {plus("--timeout", "5s"), "--timeout: Value 5s not in range 1 to 3600"},
      {plus("--threads", "1025"), "--threads: Value 1025 not in range 1 to 1024"},
      {plus("--request-timeout", "0"), "--request-timeout: Value 0 not in range 1 to 3600"},
      {plus("--connections-per-address", "0"), "--connections-per-address: Value 0 not in range 1 to 1000000"},
      {plus("--telemetry-postgres", "dbname=kyr"), "--db excludes --telemetry-postgres"},
      {[&] { auto a = kWithoutDb; a.insert(a.end(), {"--telemetry-postgres", ""}); return a; }(),
       "option --telemetry-postgres needs a value"},
      {{"--config", "/nonexistent/server.conf"}, "/nonexistent/server.conf was not readable (missing?)"},
      {{"--config", misspelt.string()}, "unknown setting 'prot' in the --config file"},
  };
  for (const auto& [arguments, expected] : cases) {
    ServerOptions options;
    std::string error;
    EXPECT_FALSE(Parse(arguments, options, error));
    EXPECT_EQ(error, expected);
  }
  std::filesystem::remove(misspelt);
}

}  // namespace
}  // namespace KyrServer
