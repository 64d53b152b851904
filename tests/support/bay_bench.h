#pragma once
// A started program (texts, tables, the carried image) over the emulated system, with simulated
// drives at chosen positions of the drive table: behind drive letters (record r is letter C + r)
// or ASPI addresses (record r is adapter r / 8, target r % 8). Every command the drives receive
// goes to a transcript a test can read back.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/context.h"
#include "app/startup.h"
#include "image/image_load.h"
#include "sim/sim_drive.h"
#include "sim/transcript.h"
#include "tests/support/fixture.h"

namespace tz::test {

enum class Via { pass_through, aspi };
inline constexpr Via both_transports[] = {Via::pass_through, Via::aspi};
inline const char* name_of(Via via) { return via == Via::pass_through ? "pass-through" : "ASPI"; }

// A drive of firmware `revision` with its tray open, as a user leaves it for the update.
inline sim::DriveSettings drive_at_level(const char* revision, bool tray_open = true) {
  sim::DriveSettings s;
  std::snprintf(s.firmware, sizeof(s.firmware), "%s", revision);
  s.tray_open = tray_open;
  return s;
}

struct BayBench : Fixture {
  Via via;
  std::deque<sim::SimDrive> drives;
  std::vector<std::uint32_t> records;
  std::string transcript_path;
  sim::TranscriptFile transcript;

  explicit BayBench(Via v, bool silent = false, std::uint8_t language = language_english) : via(v) {
    Context& c = *ctx;
    c.app.texts.decode();
    build_model_tables(c.app.models);
    c.app.switches.silent = silent ? 1 : 0;
    c.app.language = language;
    c.drive.transport = v == Via::pass_through ? transport_pass_through : transport_aspi;
    EXPECT_EQ(load_firmware_image(c.image, c.app.texts), 0);
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    transcript_path = (std::filesystem::temp_directory_path() /
                       (std::string("tz594k-") + test->test_suite_name() + "-" + test->name() + ".transcript"))
                          .string();
    std::remove(transcript_path.c_str());
    EXPECT_TRUE(transcript.open(transcript_path.c_str()));
    host.devices.transcript = &transcript;
    host.aspi.transcript = &transcript;
  }
  ~BayBench() { std::remove(transcript_path.c_str()); }

  sim::SimDrive& add(std::uint32_t record, const sim::DriveSettings& settings) {
    drives.emplace_back(settings);
    sim::SimDrive& d = drives.back();
    records.push_back(record);
    if (via == Via::pass_through) {
      host.devices.attach(static_cast<char>('C' + record), d);
    } else {
      host.aspi.attach(static_cast<std::uint8_t>(record / 8), static_cast<std::uint8_t>(record % 8), d);
    }
    return d;
  }
  DriveRecord& record(std::uint32_t index) { return ctx->drive.drive_table[index]; }

  // Every transcript line written since the last call.
  std::vector<std::string> take_transcript() {
    std::vector<std::string> lines;
    std::ifstream in(transcript_path);
    std::string line;
    std::size_t n = 0;
    while (std::getline(in, line)) {
      if (n++ >= taken_) lines.push_back(line);
    }
    taken_ = n;
    return lines;
  }

 private:
  std::size_t taken_ = 0;
};

}  // namespace tz::test
