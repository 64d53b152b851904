#pragma once
// What the drive floor is given: the seam's device, ASPI and system parts, the drive table and
// its buffers, the screen mechanics it waits and asks through, the build switches, the image facts
// that identifying and matching drives read, and the trace every request is written to. The
// program builds it once.
#include "core/run_result.h"
#include "drive/drive_state.h"
#include "drive/trace.h"
#include "image/image_state.h"
#include "image/model_tables.h"
#include "image/supported_firmware.h"
#include "platform/aspi.h"
#include "platform/devices.h"
#include "platform/system.h"
#include "ui/ui_state.h"

namespace tz {

struct DriveLink {
  platform::Devices& devices;
  platform::Aspi& aspi;
  platform::System& system;
  DriveState& state;
  Ui& ui;
  const BuildSwitches& build;
  ImageState& image;
  const ModelTables& models;
  SupportedFirmware& supported;
  Trace& trace;
};

}  // namespace tz
