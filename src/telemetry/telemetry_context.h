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

  /// Fills the three texts; 1 when all of them are there.
  int Initialize();
  /// Reads "machine.id" from the data folder, or makes and writes a new one.
  int LoadOrCreateMachineId();

  /// The version of the tool as reports give it, whatever packages are installed.
  static const char* const kToolVersion;

  std::string machineId;
  std::string toolVersion;
  std::string utcOffset;
  int ready = 0;

 private:
  TelemetryContext();
};

}  // namespace Kyrowan
