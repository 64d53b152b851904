#include "tests/reliability/soak.h"

#include <cstdio>

#include "app/context.h"
#include "core/run_result.h"

namespace tz::reliability {

namespace {

// splitmix64: the seed's own stream of choices.
class Choices {
 public:
  explicit Choices(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // True with probability `percent` / 100.
  bool chance(unsigned percent) { return next() % 100 < percent; }
  template <typename T, std::size_t N>
  const T& pick(const T (&options)[N]) {
    return options[next() % N];
  }

 private:
  std::uint64_t state_;
};

struct KindFaults {
  sim::CommandKind kind;
  unsigned percent;             // how often a seed gives this kind random faults at all
  double probabilities[2];      // per command, one of these
  sim::FaultAction actions[4];  // and one of these
};

using sim::CommandKind;
constexpr auto check = sim::FaultAction::check;
constexpr auto fail = sim::FaultAction::fail;
constexpr auto busy = sim::FaultAction::busy;
constexpr auto hang = sim::FaultAction::hang;
constexpr auto drop = sim::FaultAction::drop;
constexpr auto flip = sim::FaultAction::flip;
constexpr auto cut = sim::FaultAction::short_transfer;

// Rates that let most runs get somewhere: a download has 1097 writes and as many reads, the other
// commands come a few at a time, a rewrite or a verify once per attempt.
constexpr KindFaults kind_faults[] = {
    {CommandKind::inquiry, 10, {0.2, 0.6}, {check, fail, flip, hang}},
    {CommandKind::identity, 25, {0.3, 0.8}, {check, busy, flip, hang}},
    {CommandKind::event_status, 20, {0.3, 0.9}, {check, fail, flip, hang}},
    {CommandKind::vendor_status, 15, {0.3, 0.9}, {check, fail, busy, check}},
    {CommandKind::start_stop, 15, {0.5, 1.0}, {check, fail, busy, hang}},
    {CommandKind::test_unit_ready, 15, {0.3, 1.0}, {check, fail, busy, check}},
    {CommandKind::prepare, 15, {0.5, 1.0}, {check, fail, busy, hang}},
    {CommandKind::write, 35, {0.0005, 0.004}, {check, fail, drop, hang}},
    {CommandKind::read, 35, {0.0005, 0.004}, {check, flip, cut, hang}},
    {CommandKind::rewrite, 30, {0.4, 0.8}, {check, fail, busy, hang}},
    {CommandKind::verify, 30, {0.4, 0.8}, {check, fail, busy, hang}},
};

sim::DriveSettings soak_drive(Choices& choose, std::uint64_t seed, std::size_t index) {
  sim::DriveSettings s;
  static constexpr const char* levels[] = {"1.00", "1.00", "1.00", "1.00", "1.00", "1.00", "0.90", "1.01", "0.80"};
  std::snprintf(s.firmware, sizeof(s.firmware), "%s", choose.pick(levels));
  s.tray_open = choose.chance(70);
  s.disc = choose.chance(30);
  s.tray_stuck = choose.chance(5);
  s.lock_refused = choose.chance(5);
  s.removable = choose.chance(5);
  s.no_event_status = choose.chance(10);
  s.no_vendor_status = choose.chance(5);
  s.identity_busy = choose.chance(15) ? static_cast<std::uint32_t>(choose.next() % 25) : 0;
  s.faults.seed = seed * 8 + index;
  for (const KindFaults& k : kind_faults) {
    if (!choose.chance(k.percent)) continue;
    sim::RandomFault& random = s.faults.random[static_cast<std::size_t>(k.kind)];
    random.threshold = sim::probability_threshold(choose.pick(k.probabilities));
    random.action = choose.pick(k.actions);
  }
  return s;
}

std::string fault_text(const sim::DriveSettings& s) {
  std::string text;
  for (std::uint32_t kind = 0; kind < sim::command_kind_count; ++kind) {
    const sim::RandomFault& random = s.faults.random[kind];
    if (random.threshold == 0) continue;
    char item[96];
    std::snprintf(item, sizeof(item), " %s:%s@%.4f", sim::command_kind_name(static_cast<CommandKind>(kind)),
                  sim::fault_action_name(random.action), random.threshold / 4294967296.0);
    text += item;
  }
  return text;
}

}  // namespace

SoakPlan soak_plan(std::uint64_t seed) {
  Choices choose(seed);
  SoakPlan plan;
  plan.seed = seed;
  // ASPI runs cost several times what pass-through runs cost; a third of the seeds take it.
  plan.via = choose.chance(33) ? Via::aspi : Via::pass_through;
  plan.silent = choose.chance(50);
  const std::size_t count = choose.chance(20) ? 2 : 1;
  for (std::size_t i = 0; i < count; ++i) plan.drives.push_back(soak_drive(choose, seed, i));
  static constexpr int prompt_answers[][3] = {{2, 0, 0}, {1, 2, 0}, {1, 1, 2}};
  for (const int answer : choose.pick(prompt_answers)) {
    if (answer != 0) plan.tray_answers.push_back(answer);
  }
  plan.opens_tray = choose.chance(60);
  plan.leaves_notice = choose.chance(5);
  plan.leaves_start = choose.chance(5);
  plan.picked = static_cast<int>(choose.next() % count);
  return plan;
}

SoakResult soak_run(const SoakPlan& plan) {
  Machine m(plan.via);
  for (const sim::DriveSettings& s : plan.drives) m.add(s);
  if (plan.opens_tray) {
    m.host.dialogs.on_open = [&m](std::uint16_t template_id) {
      if (template_id != screen::tray_prompt) return;
      for (sim::SimDrive& d : m.drives) {
        if (!d.settings().tray_stuck) d.set_tray(true, d.disc_present());
      }
    };
  }
  for (const int answer : plan.tray_answers) m.host.dialogs.press(screen::tray_prompt, answer);
  m.host.dialogs.press(screen::notice, plan.leaves_notice ? 2 : 1);
  m.host.dialogs.press(screen::start, plan.leaves_start ? 2 : 1);
  m.host.dialogs.pick(screen::selection, 1092, plan.picked);
  m.host.dialogs.press(screen::selection, 1);

  SoakResult result;
  result.exit_code = m.run(plan.silent ? "/AU" : "");
  result.code = result_code(m.ctx->app.result);
  result.message = result_message(m.ctx->app.result);
  result.screens = m.screens();
  result.transcript_digest = m.transcript.digest();
  result.broken = broken_rules(m, result.exit_code);
  return result;
}

std::string describe(const SoakPlan& plan) {
  std::string text = "seed " + std::to_string(plan.seed) + ": " + via_name(plan.via) + (plan.silent ? ", /AU" : "");
  for (const sim::DriveSettings& s : plan.drives) {
    text += std::string(" | firmware ") + s.firmware + (s.tray_open ? " open" : " closed") + (s.disc ? " disc" : "");
    if (s.tray_stuck) text += " tray-stuck";
    if (s.lock_refused) text += " lock-refused";
    if (s.removable) text += " removable";
    if (s.no_event_status) text += " no-event-status";
    if (s.no_vendor_status) text += " no-vendor-status";
    if (s.identity_busy != 0) text += " identity-busy=" + std::to_string(s.identity_busy);
    text += fault_text(s);
  }
  if (!plan.silent) {
    text += " | user: prompt";
    for (const int answer : plan.tray_answers) text += answer == 1 ? " OK" : " EXIT";
    if (plan.opens_tray) text += ", opens the tray";
    if (plan.leaves_notice) text += ", leaves the notice";
    if (plan.leaves_start) text += ", leaves the start screen";
    if (plan.drives.size() > 1) text += ", picks line " + std::to_string(plan.picked);
  }
  return text;
}

std::string describe(const SoakResult& result) {
  std::string text = "exit " + std::to_string(result.exit_code) + ", code " + std::to_string(result.code) + " \"" +
                     result.message + "\", screens";
  for (const std::uint16_t id : result.screens) text += " " + std::to_string(id);
  char digest[32];
  std::snprintf(digest, sizeof(digest), ", transcript %016llx",
                static_cast<unsigned long long>(result.transcript_digest));
  text += digest;
  for (const std::string& broken : result.broken) text += "\n  broken: " + broken;
  return text;
}

}  // namespace tz::reliability
