// The soak driver: whole runs for a range of seeds, each checked against the rules of every run.
//   tz594k-soak COUNT [FIRST]   runs seeds FIRST .. FIRST + COUNT - 1 (FIRST defaults to 1)
//   tz594k-soak --seed N        replays seed N and prints what it built and what became of it
// Prints every seed that broke a rule, with its replay command; exits 1 when any did.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "tests/reliability/soak.h"

namespace {

int usage() {
  std::fprintf(stderr, "usage: tz594k-soak COUNT [FIRST] | tz594k-soak --seed N\n");
  return 2;
}

bool parse_number(const char* text, std::uint64_t& value) {
  char* end = nullptr;
  value = std::strtoull(text, &end, 10);
  return end != text && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tz::reliability;
  std::uint64_t first = 1;
  std::uint64_t count = 0;
  bool replay = false;
  if (argc == 3 && std::strcmp(argv[1], "--seed") == 0) {
    if (!parse_number(argv[2], first)) return usage();
    count = 1;
    replay = true;
  } else if (argc == 2 || argc == 3) {
    if (!parse_number(argv[1], count) || (argc == 3 && !parse_number(argv[2], first))) return usage();
  } else {
    return usage();
  }

  std::map<std::int32_t, std::uint64_t> codes;
  std::uint64_t broken = 0;
  for (std::uint64_t seed = first; seed < first + count; ++seed) {
    const SoakPlan plan = soak_plan(seed);
    const SoakResult result = soak_run(plan);
    ++codes[result.code];
    if (replay || !result.broken.empty()) {
      std::printf("%s\n%s\n", describe(plan).c_str(), describe(result).c_str());
    }
    if (!result.broken.empty()) {
      ++broken;
      std::printf("replay: tz594k-soak --seed %llu\n", static_cast<unsigned long long>(seed));
    }
    std::fflush(stdout);
  }
  std::printf("%llu runs from seed %llu, %llu broke a rule; result codes:", static_cast<unsigned long long>(count),
              static_cast<unsigned long long>(first), static_cast<unsigned long long>(broken));
  for (const auto& [code, n] : codes) std::printf(" %d x%llu", code, static_cast<unsigned long long>(n));
  std::printf("\n");
  return broken == 0 ? 0 : 1;
}
