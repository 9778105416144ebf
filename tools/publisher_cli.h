#pragma once

#include <CLI/CLI.hpp>
#include <algorithm>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

namespace Kyrowan::PublisherCli {

/// Exit code of a command line the tool cannot take.
inline constexpr int kExitUsage = 2;

/// Reads `args` (without the program name) into `app`. False when the run ends here:
/// help or version asked for (`code` 0, text in `out`) or a bad command line (`code` 2,
/// the message naming the option in `err`, without a final newline).
inline bool Parse(CLI::App& app, const std::vector<std::string>& args, std::string& out, std::string& err, int& code) {
  std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them last first
  try {
    app.parse(reversed);
    return true;
  } catch (const CLI::ParseError& error) {
    std::ostringstream outText, errText;
    code = app.exit(error, outText, errText) == 0 ? 0 : kExitUsage;
    out = outText.str();
    err = errText.str();
    while (!err.empty() && err.back() == '\n') err.pop_back();
    return false;
  }
}

/// The subcommand of `app` a mistyped `word` most likely meant: at most two letters
/// added, removed or changed; empty when none is that close.
inline std::string NearestSubcommand(const CLI::App& app, const std::string& word) {
  std::string nearest;
  std::size_t best = 3;
  for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) {
    const std::string& name = command->get_name();
    std::vector<std::size_t> row(name.size() + 1);  // edit distance, one row at a time
    std::iota(row.begin(), row.end(), std::size_t{0});
    for (std::size_t i = 1; i <= word.size(); ++i) {
      std::size_t diagonal = row[0];
      row[0] = i;
      for (std::size_t j = 1; j <= name.size(); ++j) {
        const std::size_t above = row[j];
        row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (word[i - 1] == name[j - 1] ? 0 : 1)});
        diagonal = above;
      }
    }
    if (row.back() < best) {
      best = row.back();
      nearest = name;
    }
  }
  return nearest;
}

}  // namespace Kyrowan::PublisherCli
