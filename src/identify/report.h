#pragma once

#include <string>
#include <vector>

#include "identify/file_walk.h"
#include "identify/index_store.h"
#include "identify/scoring.h"

namespace Kyrowan::Identify {

/// Everything one run found, as both renderings show it.
struct IdentifyReport {
  std::string indexVersion;
  IndexOrigin indexOrigin = IndexOrigin::Server;
  bool serverIndexRefused = false;
  WalkSummary walk;
  std::vector<Candidate> candidates;
  bool indexKept = true;  ///< false: the data folder could not keep the server's index
};

/// The command a user types next: "kyrdecrypt -get NAME", or "kyrdecrypt -list" when nothing matched.
std::string NextCommand(const std::vector<Candidate>& candidates, std::size_t rank = 0);

/// The report for people, one UTF-8 line per element.
std::vector<std::string> RenderText(const IdentifyReport& report);

/// The same report as one JSON document, for scripts; its keys are stable.
std::string RenderJson(const IdentifyReport& report);

}  // namespace Kyrowan::Identify
