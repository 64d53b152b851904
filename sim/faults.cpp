#include "sim/faults.h"

#include "core/bytes.h"
#include "sim/fields.h"

namespace tz::sim {

namespace {

struct ActionName {
  FaultAction action;
  const char* name;
};
constexpr ActionName action_names[] = {
    {FaultAction::check, "check"},
    {FaultAction::fail, "fail"},
    {FaultAction::busy, "busy"},
    {FaultAction::hang, "hang"},
    {FaultAction::drop, "drop"},
    {FaultAction::flip, "flip"},
    {FaultAction::short_transfer, "short"},
};

// splitmix64: one well-mixed value per (seed, command number), so a replay needs only the seed.
std::uint64_t mix(std::uint64_t seed, std::uint64_t n) {
  std::uint64_t z = seed + 0x9E3779B97F4A7C15ull * (n + 1);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

bool rule_hits(const FaultRule& rule, CommandKind kind, std::uint32_t kind_count, std::uint32_t any_count,
               std::uint32_t offset) {
  if (rule.offset != any_offset && rule.offset != offset) return false;
  std::uint32_t count = 0;
  if (rule.kind == CommandKind::any) {
    count = any_count;
  } else if (rule.kind == kind) {
    count = kind_count;
  } else {
    return false;
  }
  return count >= rule.nth && count - rule.nth < rule.times;
}

}  // namespace

const char* fault_action_name(FaultAction action) {
  for (const ActionName& entry : action_names) {
    if (entry.action == action) return entry.name;
  }
  return "?";
}

bool parse_fault_action(std::string_view name, FaultAction& action, std::uint32_t& moved) {
  moved = 0;
  constexpr std::string_view short_with_count = "short=";
  if (name.substr(0, short_with_count.size()) == short_with_count) {
    const std::string count(name.substr(short_with_count.size()));
    if (!parse_number(count, 0xFFFFFFFFu, moved)) return false;
    action = FaultAction::short_transfer;
    return true;
  }
  for (const ActionName& entry : action_names) {
    if (name == entry.name) {
      action = entry.action;
      return true;
    }
  }
  return false;
}

std::string fault_action_text(FaultAction action, std::uint32_t moved) {
  if (action == FaultAction::short_transfer && moved != 0) return "short=" + std::to_string(moved);
  return fault_action_name(action);
}

Sense default_fault_sense(CommandKind kind) {
  switch (kind) {
    case CommandKind::write:
    case CommandKind::rewrite:
      return {sense_medium_error, 0x0C, 0x00};  // write error
    case CommandKind::read:
    case CommandKind::identity:
      return {sense_medium_error, 0x11, 0x00};  // unrecovered read error
    case CommandKind::verify:
      return {sense_miscompare, 0x1D, 0x00};
    default:
      return {sense_hardware_error, 0x44, 0x00};  // internal target failure
  }
}

bool FaultPlan::add_rule(const FaultRule& rule) {
  if (rule_count >= max_fault_rules) return false;
  rules[rule_count++] = rule;
  return true;
}

std::uint32_t download_offset(CommandKind kind, const std::uint8_t* cdb) {
  if (cdb == nullptr || (kind != CommandKind::write && kind != CommandKind::read)) return any_offset;
  return get_be24(cdb + 3);
}

FaultDecision decide_fault(const FaultPlan& plan, CommandKind kind, std::uint32_t kind_count, std::uint32_t any_count,
                           const std::uint8_t* cdb) {
  FaultDecision decision;
  decision.draw = mix(plan.seed, any_count);
  const std::uint32_t offset = download_offset(kind, cdb);
  for (std::uint32_t i = 0; i < plan.rule_count; ++i) {
    const FaultRule& rule = plan.rules[i];
    if (!rule_hits(rule, kind, kind_count, any_count, offset)) continue;
    decision.hit = true;
    decision.action = rule.action;
    decision.sense = rule.sense_given ? rule.sense : default_fault_sense(kind);
    decision.moved = rule.moved;
    return decision;
  }
  const std::uint32_t index = static_cast<std::uint32_t>(kind);
  if (index >= command_kind_count) return decision;
  const RandomFault& random = plan.random[index];
  if (random.threshold != 0 && static_cast<std::uint32_t>(decision.draw >> 32) < random.threshold) {
    decision.hit = true;
    decision.action = random.action;
    decision.sense = random.sense_given ? random.sense : default_fault_sense(kind);
    decision.moved = random.moved;
  }
  return decision;
}

std::uint32_t probability_threshold(double probability) {
  if (!(probability > 0.0)) return 0;
  if (probability >= 1.0) return 0xFFFFFFFFu;
  return static_cast<std::uint32_t>(probability * 4294967296.0);
}

}  // namespace tz::sim
