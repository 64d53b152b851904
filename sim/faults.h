#pragma once
// Faults a simulated drive plays on demand: rules that hit the n-th command of a kind, and seeded
// random faults that a failing run can replay exactly from its seed.
#include <cstdint>
#include <string>
#include <string_view>

#include "sim/scsi.h"

namespace tz::sim {

enum class FaultAction : std::uint8_t {
  check,  // CHECK CONDITION with the rule's sense; the command has no effect
  fail,   // the request never reaches the drive: the transport call itself fails
  busy,   // SCSI status BUSY, no sense
  hang,   // the command never completes
  drop,   // a download write answers GOOD but stores nothing
  flip,   // one bit of the data returned to the host is inverted
  // GOOD, but the data phase ends early, after the rule's `moved` bytes (0: nothing moved): a read
  // brings only those into the host's buffer and leaves the rest as it was, a write stores nothing
  // (the drive keeps no piece that did not arrive whole); the fronts report the residual
  // (pass-through) or a data underrun (ASPI).
  short_transfer,
};
const char* fault_action_name(FaultAction action);
// An action as a bay file gives it: "check", ..., "short", or "short=N" with the bytes a short
// transfer moves in `moved` (0 for the others).
bool parse_fault_action(std::string_view name, FaultAction& action, std::uint32_t& moved);
// "short=N" for a short transfer that moves something, else the action's name.
std::string fault_action_text(FaultAction action, std::uint32_t moved);
// The sense a check fault reports when its rule names none.
Sense default_fault_sense(CommandKind kind);

// A download write or read-back that lands on no particular place, and any other command.
inline constexpr std::uint32_t any_offset = 0xFFFFFFFF;

struct FaultRule {
  CommandKind kind = CommandKind::any;
  std::uint32_t nth = 1;    // 1-based count of commands of that kind since the drive started
  std::uint32_t times = 1;  // consecutive commands of the kind hit from the nth on
  FaultAction action = FaultAction::check;
  Sense sense{};
  bool sense_given = false;
  // Only download writes and read-backs at this offset of the download area: a place that fails
  // in every attempt, however many commands went before.
  std::uint32_t offset = any_offset;
  std::uint32_t moved = 0;  // short_transfer: the bytes the data phase moves before it ends
};

struct RandomFault {
  std::uint32_t threshold = 0;  // probability x 2^32; 0 = never
  FaultAction action = FaultAction::check;
  Sense sense{};
  bool sense_given = false;
  std::uint32_t moved = 0;  // as FaultRule::moved
};

inline constexpr std::uint32_t max_fault_rules = 16;

struct FaultPlan {
  FaultRule rules[max_fault_rules];
  std::uint32_t rule_count = 0;
  std::uint64_t seed = 0;
  RandomFault random[command_kind_count];

  // False when the plan is full.
  bool add_rule(const FaultRule& rule);
};

// What the plan decides for one command.
struct FaultDecision {
  bool hit = false;
  FaultAction action = FaultAction::check;
  Sense sense{};
  std::uint64_t draw = 0;   // per-command random value; places a flipped bit
  std::uint32_t moved = 0;  // short_transfer: the bytes moved before the data phase ends
};

// `kind_count` is the 1-based number of this command among commands of its kind, `any_count`
// among all commands; the random draw depends only on the seed and `any_count`. `cdb` (16 bytes,
// or null) places a download write or read-back for rules with an offset.
FaultDecision decide_fault(const FaultPlan& plan, CommandKind kind, std::uint32_t kind_count, std::uint32_t any_count,
                           const std::uint8_t* cdb = nullptr);
// Where a download write or read-back lands in the download area; any_offset for other commands.
std::uint32_t download_offset(CommandKind kind, const std::uint8_t* cdb);

// Probability in [0, 1] as a threshold for RandomFault.
std::uint32_t probability_threshold(double probability);

}  // namespace tz::sim
