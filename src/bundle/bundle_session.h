#pragma once

#include <string>

namespace Kyrowan::Bundle {

/// The -get pipeline pointed elsewhere for the length of one command: at a scratch data
/// root, at a bundle in place of the server, and at a pip source. Everything is put back,
/// and the package service's record saved, when the session ends.
class PipelineSession {
 public:
  PipelineSession() = default;
  ~PipelineSession();
  PipelineSession(const PipelineSession&) = delete;
  PipelineSession& operator=(const PipelineSession&) = delete;

  /// Installs into `root` instead of this machine's data root.
  void UseDataRoot(const std::wstring& root);
  /// Answers every package request from the bundle at `folder`, with no network at all,
  /// and takes pip libraries from its wheels only.
  void AnswerFromBundle(const std::wstring& folder);
  /// Downloads the pip libraries an install needs into `wheels` instead of installing them.
  void DownloadPipLibrariesTo(const std::wstring& wheels);

 private:
  bool redirectedRoot_ = false;
  std::wstring replacedRoot_;
};

}  // namespace Kyrowan::Bundle
