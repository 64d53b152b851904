#include "app/switches.h"

#include <cstring>
#include <string>

#include "app/context.h"
#include "core/bytes.h"

namespace tz {

namespace {

constexpr const char* token_a = "KvtDetail#594Zq";
constexpr const char* token_b = "KvtEngineering@TZ594K!";
static_assert(std::char_traits<char>::length(token_a) == 15);
static_assert(std::char_traits<char>::length(token_b) == 22);

enum class Case { exact, either };
enum class End { blank_or_end, anything };

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Length of `word` when it stands at `text` as the rules want it, else 0. Either case applies to
// letters only; the slash is fixed.
std::size_t match_at(const char* text, const char* word, Case letters, End end) {
  std::size_t i = 0;
  for (; word[i] != '\0'; ++i) {
    const char c = text[i];
    if (c == '\0') return 0;
    const bool same = letters == Case::either ? upper(c) == upper(word[i]) : c == word[i];
    if (!same) return 0;
  }
  if (end == End::blank_or_end && text[i] != '\0' && text[i] != ' ') return 0;
  return i;
}

// The scans read a bounded copy of the arguments. A text that does not fit loses its last, cut
// word as well, so that the cut never makes a switch of its own ("/AUX" cut to "/AU").
const char* load_work_area(Context& ctx, const char* arguments) {
  char* area = ctx.app.work_area;
  const std::size_t n = copy_bounded(area, sizeof(ctx.app.work_area), arguments);
  if (arguments[n] != '\0') {
    std::size_t end = n;
    while (end > 0 && area[end - 1] != ' ') --end;
    area[end] = '\0';
  }
  return area;
}

struct ScanSwitch {
  const char* word;
  Case letters;
  End end;
  std::uint32_t RunSwitches::*field;
};

constexpr ScanSwitch first_scan_switches[] = {
    {"/LE", Case::either, End::blank_or_end, &RunSwitches::english},
    {"LanguageEnglish", Case::exact, End::blank_or_end, &RunSwitches::english},
    {"/AU", Case::either, End::blank_or_end, &RunSwitches::silent},
    {"/LFO", Case::either, End::blank_or_end, &RunSwitches::log_output},
    {"LogFileOutput", Case::exact, End::blank_or_end, &RunSwitches::log_output},
    // Known before the instance checks, so that their message boxes stay away from a detection run.
    {"/DC", Case::either, End::blank_or_end, &RunSwitches::detection_check},
    {"DetectionCheck", Case::exact, End::blank_or_end, &RunSwitches::detection_check},
    {"/TRO", Case::either, End::blank_or_end, &RunSwitches::trace_output},
    {"TraceOutput", Case::exact, End::blank_or_end, &RunSwitches::trace_output},
};

constexpr ScanSwitch launcher_scan_switches[] = {
    {"/LauncherLoading", Case::exact, End::anything, &RunSwitches::launcher_loading},
    {"/LauncherRunCheck", Case::exact, End::anything, &RunSwitches::launcher_run_check},
};

template <std::size_t N>
void scan(Context& ctx, const char* arguments, const ScanSwitch (&switches)[N]) {
  const char* text = load_work_area(ctx, arguments);
  std::size_t p = 0;
  while (text[p] != '\0') {
    std::size_t advance = 1;
    for (const ScanSwitch& s : switches) {
      const std::size_t n = match_at(text + p, s.word, s.letters, s.end);
      if (n != 0) {
        ctx.app.switches.*(s.field) = 1;
        advance = n;
        break;
      }
    }
    p += advance;
  }
}

// Words of the strict check. A guarded word may be given once: the check counts what it met
// itself, as the first scan has already set some of these fields, and sets the field.
struct StrictWord {
  const char* word;
  Case letters;
  std::uint32_t RunSwitches::*guard;  // nullptr: may repeat
  std::uint32_t value;                // what the guard field becomes
};

constexpr StrictWord strict_words[] = {
    {token_a, Case::exact, &RunSwitches::access_bits, access_bit_a},
    {token_b, Case::exact, &RunSwitches::access_bits, access_bit_b},
    {"/AU", Case::either, nullptr, 0},
    {"/LE", Case::either, nullptr, 0},
    {"LanguageEnglish", Case::exact, nullptr, 0},
    {"/CO", Case::either, &RunSwitches::copyright_print, 1},
    {"CopyrightPrint", Case::exact, &RunSwitches::copyright_print, 1},
    {"/FVP", Case::either, &RunSwitches::version_print, 1},
    {"FwVersionPrint", Case::exact, &RunSwitches::version_print, 1},
    {"/LFO", Case::either, nullptr, 0},
    {"LogFileOutput", Case::exact, nullptr, 0},
    {"FwVersionDetailPrint", Case::exact, &RunSwitches::detail_print, 1},
    {"/IP", Case::either, &RunSwitches::ignore_power, 1},
    {"IgnorePower", Case::exact, &RunSwitches::ignore_power, 1},
    {"/LauncherLoading", Case::exact, nullptr, 0},
    {"/LauncherRunCheck", Case::exact, nullptr, 0},
    {"/DC", Case::either, &RunSwitches::detection_check, 1},
    {"DetectionCheck", Case::exact, &RunSwitches::detection_check, 1},
    {"/TRO", Case::either, &RunSwitches::trace_output, 1},
    {"TraceOutput", Case::exact, &RunSwitches::trace_output, 1},
};

// A detection run touches nothing, shows nothing and writes nothing, so it goes with the language
// and "/AU" only: a log, a trace, a print screen, a launcher's run or a power override asked
// beside it could not be kept, and the command line is refused rather than one of them silently
// dropped.
bool detection_mismatched(const RunSwitches& sw) {
  return sw.detection_check != 0 &&
         (sw.log_output != 0 || sw.copyright_print != 0 || sw.version_print != 0 || sw.detail_print != 0 ||
          sw.launcher_loading != 0 || sw.launcher_run_check != 0 || sw.trace_output != 0 || sw.ignore_power != 0);
}

void record_duplicate(Context& ctx, const char* at) {
  char word[switch_work_area_size];
  std::size_t n = 0;
  while (at[n] != '\0' && at[n] != ' ' && n + 1 < sizeof(word)) {
    word[n] = at[n];
    ++n;
  }
  word[n] = '\0';
  record_result(ctx.app.result, 701, word);
}

}  // namespace

void mask_access_tokens(const char* arguments, char* out, std::size_t size) {
  if (size == 0) return;
  std::size_t n = 0;
  const char* p = arguments;
  while (*p != '\0' && n + 1 < size) {
    std::size_t token = 0;
    for (const char* t : {token_b, token_a}) {
      const std::size_t length = std::strlen(t);
      if (std::strncmp(p, t, length) == 0) {
        token = length;
        break;
      }
    }
    if (token == 0) {
      out[n++] = *p++;
      continue;
    }
    for (const char* star = "***"; *star != '\0' && n + 1 < size; ++star) out[n++] = *star;
    p += token;
  }
  out[n] = '\0';
}

const char* access_token_a() { return token_a; }
const char* access_token_b() { return token_b; }

void first_switch_scan(Context& ctx, const char* arguments) { scan(ctx, arguments, first_scan_switches); }

void launcher_switch_scan(Context& ctx, const char* arguments) { scan(ctx, arguments, launcher_scan_switches); }

int validate_switches(Context& ctx, const char* arguments) {
  RunSwitches& sw = ctx.app.switches;
  if (std::strlen(arguments) >= switch_work_area_size) {
    // Longer than the work area: refused as a whole rather than judged on a cut copy.
    record_result(ctx.app.result, 700, "Option mismatched.");
    return -1;
  }
  const char* text = load_work_area(ctx, arguments);
  RunSwitches met;  // the guarded words this check has met
  bool error = false;
  bool duplicate = false;
  std::size_t p = 0;
  while (!error && text[p] != '\0') {
    std::size_t advance = 0;
    for (const StrictWord& w : strict_words) {
      const std::size_t n = match_at(text + p, w.word, w.letters, End::blank_or_end);
      if (n == 0) continue;
      if (w.guard != nullptr) {
        if (met.*(w.guard) != 0) {
          record_duplicate(ctx, text + p);
          error = duplicate = true;
          break;
        }
        met.*(w.guard) = w.value;
        sw.*(w.guard) = w.value;
      }
      advance = n;
      break;
    }
    if (error) break;
    if (advance == 0) {
      if (text[p] != ' ') {
        error = true;
        break;
      }
      advance = 1;
    }
    p += advance;
  }
  if (sw.access_bits != 0 && sw.detail_print == 0) error = true;
  if (detection_mismatched(sw)) error = true;
  if (error) {
    if (!duplicate) record_result(ctx.app.result, 700, "Option mismatched.");
    return -1;
  }

  int result = 0;
  if (sw.log_output != 0 && (sw.version_print != 0 || sw.detail_print != 0)) result = -1;
  if (sw.detail_print != 0 && sw.access_bits == 0) result = -1;
  return result;
}

}  // namespace tz
