#pragma once

#include <string>

namespace Kyrowan {

/// The installation's identity as telemetry reports it. One per process at most.
class TelemetryContext {
 public:
  /// The context, created and initialised on first use; null if that fails.
  static TelemetryContext* Instance();
  /// Destroys the current context; the next Instance reads "machine.id" again.
  static void Discard();

  int Initialize();
  int LoadOrCreateMachineId();

  std::string machineId;
  std::string toolVersion;
  std::string utcOffset;
  int ready = 0;

 private:
  TelemetryContext();
};

}  // namespace Kyrowan
