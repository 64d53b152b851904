#include "tests/golden/replay_run.h"

#include <cstdio>
#include <memory>
#include <set>
#include <vector>

#include "app/context.h"
#include "app/startup.h"
#include "platform/host/host_os.h"
#include "sim/bay.h"
#include "sim/replay.h"

namespace tz::golden {

namespace {

bool number_field(const std::vector<sim::Token>& fields, const char* key, std::uint32_t& value) {
  const std::string* text = sim::field_value(fields, key);
  return text != nullptr && sim::parse_number(*text, 0xFFFFFFFFu, value);
}

// A bay line for an address of the trace: "D:" a letter, "h:t" an ASPI address.
bool bay_line(const std::string& address, const std::string& trace_path, std::string& line) {
  const bool letter = address.size() == 2 && address[1] == ':' && address[0] >= 'C' && address[0] <= 'Z';
  const bool aspi = address.size() == 3 && address[1] == ':';
  if (!letter && !aspi) return false;
  line = std::string("drive ") + (letter ? "letter=" : "at=") + (letter ? address.substr(0, 1) : address) +
         " replay=" + sim::quoted(trace_path) + "\n";
  return true;
}

}  // namespace

bool replay_through_program(const std::string& trace_path, const sim::TraceFile& trace, const std::string& folder,
                            ReplayOutcome& outcome, std::string& error, sim::TranscriptFile* transcript) {
  outcome = ReplayOutcome{};
  std::uint32_t platform_id = 0;
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
  if (!number_field(trace.system, "platform", platform_id) || !number_field(trace.system, "major", major) ||
      !number_field(trace.system, "minor", minor) || !number_field(trace.system, "build", build) ||
      !trace.has_arguments) {
    error = "the trace's header names no Windows version or no arguments";
    return false;
  }

  // Every address a drive answered at gets a drive that plays the trace there.
  std::set<std::string> addresses;
  for (const sim::TraceCommand& c : trace.commands) {
    if (c.answer == sim::TraceAnswer::status) addresses.insert(c.address);
  }
  std::string bay_text;
  for (const std::string& address : addresses) {
    std::string line;
    if (!bay_line(address, trace_path, line)) {
      error = "the trace names an address the bay cannot hold: " + address;
      return false;
    }
    bay_text += line;
  }
  const std::string bay_path = folder + "/replay-bay.txt";
  std::FILE* file = std::fopen(bay_path.c_str(), "wb");
  if (file == nullptr || std::fwrite(bay_text.data(), 1, bay_text.size(), file) != bay_text.size()) {
    if (file != nullptr) std::fclose(file);
    error = "cannot write " + bay_path;
    return false;
  }
  std::fclose(file);
  sim::Bay bay;
  if (!bay.load(bay_path.c_str(), error)) return false;

  platform::host::HostOs host;
  host.system.set_version(platform_id, major, minor, build);
  const std::string* language = sim::field_value(trace.system, "language");
  host.system.set_locale(language != nullptr && *language == "Japanese" ? "00000411" : "00000409");
  host.system.command_line_text = "\"C:\\Loader\\TZ594K_for_ZEMO_V101.exe\" " + trace.arguments;
  host.files.set_current_folder(folder);
  host.dialogs.record_events = false;
  host.devices.transcript = transcript;
  host.aspi.transcript = transcript;
  host.devices.attach_bay(bay);
  host.aspi.attach_bay(bay);
  auto ctx = std::make_unique<Context>(host.os());
  outcome.exit_code = program_entry(*ctx, trace.arguments.c_str());
  outcome.result_code = result_code(ctx->app.result);
  outcome.message = result_message(ctx->app.result);
  if (ctx->trace.path[0] != '\0') outcome.written_trace = host.files.disk_path(ctx->trace.path);

  for (sim::BayDrive& entry : bay.drives()) {
    const sim::Replay* replay = entry.drive->replay();
    if (replay == nullptr) continue;
    outcome.played += replay->played();
    outcome.left += replay->left();
    if (replay->mismatched() && outcome.mismatch.empty()) {
      outcome.mismatch = entry.address() + ": " + sim::replay_report(replay->mismatch());
      outcome.mismatch_n = replay->mismatch().n;
    }
  }
  return true;
}

std::string differences(const sim::TraceFile& trace, const ReplayOutcome& outcome) {
  std::string text;
  const auto add = [&text](const std::string& line) { text += (text.empty() ? "" : "\n") + line; };
  if (!trace.has_result) add("the trace has no footer to compare with");
  if (outcome.exit_code != trace.exit_code) {
    add("exit code " + std::to_string(outcome.exit_code) + ", the trace's " + std::to_string(trace.exit_code));
  }
  if (outcome.result_code != trace.result_code || outcome.message != trace.message) {
    add("result " + std::to_string(outcome.result_code) + " \"" + outcome.message + "\", the trace's " +
        std::to_string(trace.result_code) + " \"" + trace.message + "\"");
  }
  if (!outcome.mismatch.empty()) add("mismatch: " + outcome.mismatch);
  if (outcome.left != 0) add(std::to_string(outcome.left) + " commands of the trace never came");
  return text;
}

}  // namespace tz::golden
