#include "sim/scsi.h"

namespace tz::sim {

namespace {

struct KindName {
  CommandKind kind;
  const char* name;
};
constexpr KindName kind_names[] = {
    {CommandKind::test_unit_ready, "tur"},
    {CommandKind::inquiry, "inquiry"},
    {CommandKind::start_stop, "start-stop"},
    {CommandKind::event_status, "event-status"},
    {CommandKind::vendor_status, "vendor-status"},
    {CommandKind::prepare, "prepare"},
    {CommandKind::identity, "identity"},
    {CommandKind::write, "write"},
    {CommandKind::read, "read"},
    {CommandKind::rewrite, "rewrite"},
    {CommandKind::verify, "verify"},
    {CommandKind::other, "other"},
    {CommandKind::any, "any"},
};

}  // namespace

CommandKind classify_command(const std::uint8_t* cdb) {
  switch (cdb[0]) {
    case 0x00:
      return CommandKind::test_unit_ready;
    case 0x12:
      return CommandKind::inquiry;
    case 0x1B:
      return CommandKind::start_stop;
    case 0x4A:
      return CommandKind::event_status;
    case 0xFC:
      return CommandKind::vendor_status;
    case 0xED:
      if (cdb[6] == 0x01) return CommandKind::prepare;
      if (cdb[6] == 0x10) return CommandKind::identity;
      return CommandKind::other;
    case 0xEA:
      return CommandKind::write;
    case 0xE8:
      return CommandKind::read;
    case 0xF5:
      if (cdb[11] == 0x80 || cdb[11] == 0x00) return CommandKind::rewrite;
      if (cdb[11] == 0x40) return CommandKind::verify;
      return CommandKind::other;
    default:
      return CommandKind::other;
  }
}

const char* command_kind_name(CommandKind kind) {
  for (const KindName& entry : kind_names) {
    if (entry.kind == kind) return entry.name;
  }
  return "?";
}

bool parse_command_kind(std::string_view name, CommandKind& kind) {
  for (const KindName& entry : kind_names) {
    if (name == entry.name) {
      kind = entry.kind;
      return true;
    }
  }
  return false;
}

const char* direction_word(Direction direction) {
  switch (direction) {
    case Direction::in:
      return "in";
    case Direction::out:
      return "out";
    case Direction::none:
      return "none";
  }
  return "?";
}

}  // namespace tz::sim
