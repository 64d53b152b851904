#pragma once
// A program context with one simulated drive, reached over either transport.
#include <gtest/gtest.h>

#include "app/context.h"
#include "drive/drive_table.h"
#include "drive/transport.h"
#include "sim/sim_drive.h"
#include "tests/support/fixture.h"

namespace tz::test {

enum class Transport { pass_through, aspi };

inline const char* transport_name(Transport transport) {
  return transport == Transport::pass_through ? "pass-through" : "ASPI";
}

struct DriveFixture {
  explicit DriveFixture(Transport transport, const sim::DriveSettings& settings = ready_settings(),
                        std::uint32_t record = 1)
      : drive(settings) {
    Context& c = *f.ctx;
    init_drive_table(c.drive);
    c.drive.current_drive = record;
    const DriveRecord& r = c.drive.drive_table[record];
    if (transport == Transport::pass_through) {
      c.drive.transport = transport_pass_through;
      f.host.devices.attach(static_cast<char>('C' + record), drive);
      opened = spt_open(c.link) == 0;
    } else {
      c.drive.transport = transport_aspi;
      f.host.aspi.attach(r.ha_id, r.target_id, drive);
      opened = aspi_load(c.link) == 0;
    }
  }

  // A drive with a disc behind a closed tray, so that TEST UNIT READY answers GOOD.
  static sim::DriveSettings ready_settings() {
    sim::DriveSettings settings;
    settings.disc = true;
    return settings;
  }

  Context& ctx() { return *f.ctx; }
  const sim::CommandRecord& last() const { return drive.history(drive.history_size() - 1); }
  std::size_t message_count() const { return f.host.windows.message_boxes.size(); }
  std::string last_message() const {
    return f.host.windows.message_boxes.empty() ? "" : f.host.windows.message_boxes.back().text;
  }

  Fixture f;
  sim::SimDrive drive;
  bool opened = false;
};

inline sim::FaultRule fault(sim::CommandKind kind, sim::FaultAction action, std::uint32_t nth = 1,
                            std::uint32_t times = 1) {
  sim::FaultRule rule;
  rule.kind = kind;
  rule.action = action;
  rule.nth = nth;
  rule.times = times;
  return rule;
}

}  // namespace tz::test
