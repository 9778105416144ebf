#include "identify/report.h"

#include <nlohmann/json.hpp>

#include "identify/hint_index.h"

namespace Kyrowan::Identify {

namespace {

using Json = nlohmann::ordered_json;

std::string Files(std::size_t count) { return std::to_string(count) + (count == 1 ? " file" : " files"); }

std::string IndexLine(const IdentifyReport& report) {
  const std::string version = " (version " + report.indexVersion + ")";
  if (report.indexOrigin == IndexOrigin::Server) return "Index of known families from the server" + version + ".";
  if (report.serverIndexRefused)
    return "The server's index failed verification and was not used; using the copy kept on this machine" + version + ".";
  return "The server could not be reached; using the index kept on this machine" + version + ".";
}

std::string ScanLine(const WalkSummary& walk) {
  std::string line = "Scanned " + Files(walk.files);
  if (walk.unreadable > 0) line += "; " + std::to_string(walk.unreadable) + " unreadable, skipped";
  if (walk.skipped > 0) line += "; " + std::to_string(walk.skipped) + " links or special files, not followed";
  return line + ".";
}

void AddHintLines(const std::vector<HintCount>& counts, const std::string& label, std::vector<std::string>& lines) {
  for (const HintCount& count : counts)
    if (count.files > 0) lines.push_back("   " + label + " " + count.hint + ": " + Files(count.files));
}

Json HintArray(const std::vector<HintCount>& counts, const char* key) {
  Json array = Json::array();
  for (const HintCount& count : counts)
    if (count.files > 0) array.push_back(Json{{key, count.hint}, {"files", count.files}});
  return array;
}

Json CandidateJson(const std::vector<Candidate>& candidates, std::size_t rank) {
  const Candidate& candidate = candidates[rank];
  return Json{{"decryptor", candidate.family->decryptor},
              {"family", candidate.family->family},
              {"marker_files", candidate.markerFiles},
              {"note_files", candidate.noteFiles},
              {"extension_files", candidate.extensionFiles},
              {"markers", HintArray(candidate.markers, "marker")},
              {"notes", HintArray(candidate.notes, "pattern")},
              {"extensions", HintArray(candidate.extensions, "extension")},
              {"next", NextCommand(candidates, rank)}};
}

}  // namespace

std::string NextCommand(const std::vector<Candidate>& candidates, std::size_t rank) {
  if (rank >= candidates.size()) return "kyrdecrypt -list";
  return "kyrdecrypt -get " + candidates[rank].family->decryptor;
}

std::vector<std::string> RenderText(const IdentifyReport& report) {
  std::vector<std::string> lines{IndexLine(report)};
  if (!report.indexKept) lines.push_back("The index could not be kept on this machine, so it serves this run only.");
  lines.push_back(ScanLine(report.walk));
  if (report.walk.limitReached)
    lines.push_back("Stopped after " + Files(report.walk.files + report.walk.unreadable) + ": the rest was not scanned.");
  if (report.candidates.empty()) {
    lines.push_back("No known family matched these files.");
    lines.push_back("Next: " + NextCommand(report.candidates) + " (the decryptors the server offers)");
    return lines;
  }
  lines.push_back("Candidates, best first:");
  for (std::size_t rank = 0; rank < report.candidates.size(); ++rank) {
    const Candidate& candidate = report.candidates[rank];
    lines.push_back(std::to_string(rank + 1) + ". " + candidate.family->family + " (decryptor " +
                    candidate.family->decryptor + ")");
    AddHintLines(candidate.markers, "marker", lines);
    AddHintLines(candidate.notes, "note", lines);
    AddHintLines(candidate.extensions, "extension", lines);
    lines.push_back("   next: " + NextCommand(report.candidates, rank));
  }
  return lines;
}

std::string RenderJson(const IdentifyReport& report) {
  Json candidates = Json::array();
  for (std::size_t rank = 0; rank < report.candidates.size(); ++rank)
    candidates.push_back(CandidateJson(report.candidates, rank));
  const Json document{
      {"index",
       {{"version", report.indexVersion},
        {"source", report.indexOrigin == IndexOrigin::Server ? "server" : "kept"},
        {"server_index_refused", report.serverIndexRefused},
        {"kept", report.indexKept}}},
      {"scanned",
       {{"files", report.walk.files},
        {"unreadable", report.walk.unreadable},
        {"not_followed", report.walk.skipped},
        {"limit_reached", report.walk.limitReached}}},
      {"candidates", candidates},
      {"next", NextCommand(report.candidates)}};
  // Text from the index that is not UTF-8 must not stop the report.
  return document.dump(2, ' ', false, Json::error_handler_t::replace);
}

}  // namespace Kyrowan::Identify
