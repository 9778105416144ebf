#include "server_options.h"

#include <gtest/gtest.h>

namespace KyrServer {
namespace {

const std::vector<std::string> kComplete{"--address", "127.0.0.1", "--port", "8443", "--cert", "c.pem",
                                         "--key",     "k.pem",     "--repo", "repo", "--db",   "t.db"};

TEST(ServerOptions, ReadsEveryOption) {
  ServerOptions options;
  std::string error;
  ASSERT_TRUE(ParseServerOptions(kComplete, options, error)) << error;
  EXPECT_EQ(options.address, "127.0.0.1");
  EXPECT_EQ(options.port, 8443);
  EXPECT_EQ(options.certificateFile, "c.pem");
  EXPECT_EQ(options.keyFile, "k.pem");
  EXPECT_EQ(options.repositoryFolder, "repo");
  EXPECT_EQ(options.databaseFile, "t.db");
  EXPECT_EQ(options.reportsPerMinute, 60);
  EXPECT_EQ(options.timeoutSeconds, 10);
  auto limited = kComplete;
  limited.insert(limited.end(), {"--timeout", "2", "--reports-per-minute", "5"});
  ASSERT_TRUE(ParseServerOptions(limited, options, error)) << error;
  EXPECT_EQ(options.reportsPerMinute, 5);
  EXPECT_EQ(options.timeoutSeconds, 2);
}

TEST(ServerOptions, NamesWhatIsWrong) {
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
      {std::vector<std::string>(kComplete.begin(), kComplete.end() - 1), "option --db needs a value"},
      {with(0, "--host"), "unknown option '--host'"},
      {with(3, "84x"), "'84x' is not a port number"},
      {with(3, "65536"), "'65536' is not a port number"},
      {with(5, ""), "option --cert needs a value"},
      {plus("--reports-per-minute", "0"), "--reports-per-minute takes a count from 1 to 1000000, not '0'"},
      {plus("--timeout", "5s"), "--timeout takes seconds from 1 to 3600, not '5s'"},
  };
  for (const auto& [arguments, expected] : cases) {
    ServerOptions options;
    std::string error;
    EXPECT_FALSE(ParseServerOptions(arguments, options, error));
    EXPECT_EQ(error, expected);
  }
}

}  // namespace
}  // namespace KyrServer
