#include "bundle/bundle_session.h"

#include "app/package_manager.h"
#include "bundle/bundle_tree.h"
#include "platform/file_system.h"
#include "platform/http_client.h"
#include "platform/repository_trust.h"
#include "runtime/python_runtime.h"

namespace Kyrowan::Bundle {

PipelineSession::~PipelineSession() {
  // The record of what was installed belongs to the data root the session used.
  PackageManager::DestroyInstance();
  Windows::AnswerFromFolder({});
  Windows::TolerateExpiredMetadata(false);
  Windows::SetDownloadObserver({});
  SetPipSource(PipSource::Index);
  if (redirectedRoot_) Windows::SetApplicationDataFolder(replacedRoot_);
}

void PipelineSession::UseDataRoot(const std::wstring& root) {
  const std::wstring replaced = Windows::SetApplicationDataFolder(root);
  if (!redirectedRoot_) replacedRoot_ = replaced;
  redirectedRoot_ = true;
}

void PipelineSession::AnswerFromBundle(const std::wstring& folder) {
  Windows::AnswerFromFolder(folder);
  // A bundle is old by nature: its signed metadata may have expired since it was fetched.
  Windows::TolerateExpiredMetadata(true);
  SetPipSource(PipSource::FolderOnly, WheelsFolder(folder));
}

void PipelineSession::DownloadPipLibrariesTo(const std::wstring& wheels) {
  SetPipSource(PipSource::DownloadOnly, wheels);
}

}  // namespace Kyrowan::Bundle
