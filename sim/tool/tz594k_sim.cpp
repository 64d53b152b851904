// tz594k-sim: writes and shows bay files of simulated drives, and compares a run with a trace.
//   tz594k-sim init FILE [--drive FIELDS] [--fault FIELDS] [--random FIELDS] [--rom FIELDS] ...
//   tz594k-sim show FILE
//   tz594k-sim replay-check TRACE TRANSCRIPT
//   tz594k-sim explain TRACE
// FIELDS are the key=value fields of the bay file line of that keyword (sim/README.md); --fault,
// --random and --rom belong to the --drive before them. Without --drive, init writes the default
// bay: one drive of firmware 1.00 at adapter 0, target 0, tray open.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sim/bay.h"
#include "sim/firmware.h"
#include "sim/replay.h"
#include "sim/replay_check.h"
#include "sim/tool/carried_image.h"
#include "sim/tool/explain.h"
#include "sim/trace_file.h"

namespace {

using tz::sim::Bay;

int usage() {
  std::fputs(
      "usage: tz594k-sim init FILE [--drive FIELDS] [--fault FIELDS] [--random FIELDS] [--rom FIELDS] ...\n"
      "       tz594k-sim show FILE\n"
      "       tz594k-sim replay-check TRACE TRANSCRIPT\n"
      "       tz594k-sim explain TRACE\n",
      stderr);
  return 2;
}

int init(int argc, char** argv) {
  if (argc < 3) return usage();
  std::string text;
  std::vector<std::string> options;
  for (int i = 3; i < argc; i += 2) {
    const std::string option = argv[i];
    if (i + 1 >= argc || option.size() < 3 || option.compare(0, 2, "--") != 0) return usage();
    text += option.substr(2) + " " + argv[i + 1] + "\n";
    options.push_back(option + " " + argv[i + 1]);
  }
  if (text.empty()) text = tz::sim::default_bay_text;
  Bay bay;
  std::string error;
  if (!bay.parse(text, error)) {
    // Each option is one line of the bay: name the option rather than a line of a file.
    unsigned line = 0;
    const bool numbered = std::sscanf(error.c_str(), "line %u:", &line) == 1 && line >= 1 && line <= options.size();
    const std::size_t colon = error.find(": ");
    if (numbered && colon != std::string::npos) {
      std::fprintf(stderr, "tz594k-sim: %s: %s\n", options[line - 1].c_str(), error.c_str() + colon + 2);
    } else {
      std::fprintf(stderr, "tz594k-sim: %s\n", error.c_str());
    }
    return 1;
  }
  if (!bay.save(argv[2])) {
    std::fprintf(stderr, "tz594k-sim: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}

std::string field(const std::uint8_t* bytes, std::size_t n) {
  return std::string(reinterpret_cast<const char*>(bytes), n);
}

int show(int argc, char** argv) {
  if (argc != 3) return usage();
  Bay bay;
  std::string error;
  if (!bay.load(argv[2], error)) {
    // "cannot open FILE" names it already.
    if (error.rfind("line ", 0) == 0) {
      std::fprintf(stderr, "tz594k-sim: %s: %s\n", argv[2], error.c_str());
    } else {
      std::fprintf(stderr, "tz594k-sim: %s\n", error.c_str());
    }
    return 1;
  }
  std::uint64_t image_digest = 0;
  std::uint32_t image_length = 0;
  const bool have_image = tz::sim::carried_image_digest(image_digest, image_length);
  for (tz::sim::BayDrive& entry : bay.drives()) {
    tz::sim::SimDrive& drive = *entry.drive;
    std::string address;
    if (entry.on_aspi) address = std::to_string(entry.ha) + ":" + std::to_string(entry.target);
    if (entry.letter != 0) address += (address.empty() ? "" : " ") + std::string(1, entry.letter) + ":";
    if (const tz::sim::Replay* replay = drive.replay()) {
      // An INQUIRY would take the first command of the trace.
      std::printf("%s replay=\"%s\" commands=%u\n", address.c_str(), entry.replay.c_str(), replay->total());
      continue;
    }
    std::uint8_t reply[96] = {};
    const std::uint8_t inquiry[6] = {0x12, 0, 0, 0, sizeof(reply), 0};
    drive.execute(inquiry, sizeof(inquiry), tz::sim::Direction::in, reply, sizeof(reply));
    const tz::sim::Rom& rom = drive.rom();
    const bool is_image = have_image && rom.length == image_length && rom.digest == image_digest;
    std::printf("%s vendor=\"%s\" product=\"%s\" revision=\"%s\" rom=%s\n", address.c_str(),
                field(reply + 8, 8).c_str(), field(reply + 16, 16).c_str(), field(reply + 32, 4).c_str(),
                is_image ? "image" : "other");
  }
  return 0;
}

// Exit code 0 when the transcript holds the trace's commands to its drives, 1 at the first
// difference, 2 when a file does not read.
int replay_check(int argc, char** argv) {
  if (argc != 4) return usage();
  tz::sim::TraceFile trace;
  std::string error;
  if (!tz::sim::load_trace(argv[2], trace, error)) {
    std::fprintf(stderr, "tz594k-sim: %s: %s\n", argv[2], error.c_str());
    return 2;
  }
  std::FILE* file = std::fopen(argv[3], "rb");
  if (file == nullptr) {
    std::fprintf(stderr, "tz594k-sim: cannot open %s\n", argv[3]);
    return 2;
  }
  std::string transcript;
  char chunk[65536];
  std::size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof(chunk), file)) != 0) transcript.append(chunk, n);
  std::fclose(file);
  const tz::sim::CheckResult result = tz::sim::check_transcript(trace, transcript);
  if (result.same) {
    std::printf("same: %u commands\n", result.compared);
    return 0;
  }
  std::printf("first difference, after %u equal commands: %s\n", result.compared, result.difference.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "init") == 0) return init(argc, argv);
  if (argc >= 2 && std::strcmp(argv[1], "show") == 0) return show(argc, argv);
  if (argc >= 2 && std::strcmp(argv[1], "replay-check") == 0) return replay_check(argc, argv);
  if (argc >= 2 && std::strcmp(argv[1], "explain") == 0)
    return tz::sim::explain_main("tz594k-sim explain", argc - 1, argv + 1);
  return usage();
}
