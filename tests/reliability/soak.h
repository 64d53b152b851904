#pragma once
// Seeded soak: a seed describes a whole machine (transport, silent or not, one or two drives with
// their quirks and random faults, the user's answers); the program runs once on it and the rules
// of every run (whole_run.h) are checked. The same seed builds the same machine and the program
// then takes the same path, so a failing seed replays exactly.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/reliability/whole_run.h"

namespace tz::reliability {

struct SoakPlan {
  std::uint64_t seed = 0;
  Via via = Via::pass_through;
  bool silent = false;
  std::vector<sim::DriveSettings> drives;
  // The user's answers, where the run is not silent.
  std::vector<int> tray_answers;  // buttons on the tray prompt, in order
  bool opens_tray = false;        // opens the trays (those that move) while the tray prompt stands
  bool leaves_notice = false;
  bool leaves_start = false;
  int picked = 0;  // line chosen on the drive selection screen
};

struct SoakResult {
  std::int32_t exit_code = 0;
  std::int32_t code = 0;
  std::string message;
  std::vector<std::uint16_t> screens;
  std::uint64_t transcript_digest = 0;  // of every command every drive received
  std::vector<std::string> broken;      // the rules the run broke
};

SoakPlan soak_plan(std::uint64_t seed);
SoakResult soak_run(const SoakPlan& plan);
// One line each, to print a failing seed and what became of it.
std::string describe(const SoakPlan& plan);
std::string describe(const SoakResult& result);

}  // namespace tz::reliability
