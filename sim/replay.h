#pragma once
// A drive played from a trace: it answers each command the program sends with what the trace
// says the drive answered, in order, for the trace's commands to the drive's own addresses. A
// command other than the trace's next one gets a CHECK CONDITION of its own (sense 09/80/00: a
// vendor-specific key no drive of ours reports), the first such command is kept (which of the
// trace's commands, what it was, what came instead), and every later command gets the same answer,
// so that the run ends in a failure whose reason the replay can give.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/scsi.h"
#include "sim/sim_drive.h"
#include "sim/trace_file.h"

namespace tz::sim {

inline constexpr Sense replay_mismatch_sense{0x09, 0x80, 0x00};

struct ReplayMismatch {
  std::uint32_t n = 0;  // the trace's number of the command expected; 0 after the trace's last
  std::string expected;
  std::string came;
};

class Replay {
 public:
  // Plays the commands of `trace` addressed to any of `addresses` ("D:", "0:0"), skipping those
  // that reached no drive.
  Replay(std::shared_ptr<const TraceFile> trace, const std::vector<std::string>& addresses);

  Outcome answer(const std::uint8_t* cdb, std::uint32_t cdb_length, Direction direction, std::uint8_t* data,
                 std::uint32_t length);

  bool mismatched() const { return mismatched_; }
  const ReplayMismatch& mismatch() const { return mismatch_; }
  // True once, after the first mismatch, for the front to report it.
  bool take_report();
  std::uint32_t played() const { return static_cast<std::uint32_t>(next_); }
  std::uint32_t left() const { return static_cast<std::uint32_t>(lines_.size() - next_); }
  std::uint32_t total() const { return static_cast<std::uint32_t>(lines_.size()); }

 private:
  bool agrees(const TraceCommand& expected, const std::uint8_t* cdb, std::uint32_t cdb_length, Direction direction,
              const std::uint8_t* data, std::uint32_t length) const;
  Outcome refuse(const TraceCommand* expected, const std::uint8_t* cdb, std::uint32_t cdb_length, Direction direction,
                 const std::uint8_t* data, std::uint32_t length);
  void play_data(const TraceCommand& command, std::uint8_t* data, std::uint32_t length, Outcome& out);

  std::shared_ptr<const TraceFile> trace_;
  std::vector<std::size_t> lines_;  // indexes of the commands this drive plays
  std::size_t next_ = 0;
  bool mismatched_ = false;
  bool reported_ = false;
  ReplayMismatch mismatch_;
  // What the program wrote into the download area, for the read-backs of it.
  std::uint8_t header_[48] = {};
  std::vector<std::uint8_t> area_;
};

// "command 17 of the trace: expected n=17 ...; came cdb=... dir=... len=..."
std::string replay_report(const ReplayMismatch& mismatch);

}  // namespace tz::sim
