// The ASPI manager's side of a request block: what a finished command leaves in it, and which
// finished requests may still be written back.
#include "sim/aspi_manager.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/aspi.h"

namespace tz {
namespace {

namespace srb = platform::srb;

TEST(AspiManager, TheSenseAreaShowsThisCommandsSenseOnly) {
  const struct Case {
    const char* what;
    sim::Outcome::Delivery delivery;
    std::uint8_t scsi_status;
    std::uint8_t srb_status;
    std::uint8_t key;
  } cases[] = {
      {"GOOD", sim::Outcome::Delivery::completed, sim::status_good, srb::ss_comp, 0},
      {"CHECK CONDITION", sim::Outcome::Delivery::completed, sim::status_check_condition, srb::ss_err, 0x05},
      {"BUSY", sim::Outcome::Delivery::completed, sim::status_busy, srb::ss_err, 0},
      {"never reached the drive", sim::Outcome::Delivery::failed, 0, srb::ss_aborted, 0},
  };
  for (const Case& c : cases) {
    std::uint8_t block[srb::size];
    std::memset(block, 0xEE, sizeof(block));
    block[srb::sense_len] = srb::sense_len_value;
    sim::Outcome outcome;
    outcome.delivery = c.delivery;
    outcome.status = c.scsi_status;
    if (c.key != 0) {
      outcome.sense[0] = 0x70;
      outcome.sense[2] = c.key;
      outcome.sense_length = sim::sense_data_bytes;
    }
    sim::complete_aspi_request(block, outcome);
    EXPECT_EQ(block[srb::status], c.srb_status) << c.what;
    EXPECT_EQ(block[srb::sense_area], c.key == 0 ? 0 : 0x70) << c.what;
    EXPECT_EQ(block[srb::sense_area + 2], c.key) << c.what;
    EXPECT_EQ(block[srb::sense_area + srb::sense_len_value - 1], 0) << c.what;
    EXPECT_EQ(block[srb::sense_area + srb::sense_len_value], 0xEE) << c.what << ": beyond SRB_SenseLen";
  }
}

// Scripts over two blocks X and Y: x, y queue a request in that block; X, Y hand the block in
// again; p starts the oldest queued request; f finishes the running one ('1' when its outcome is
// written back, '0' when it is dropped).
TEST(AspiManager, ABlockHandedInAgainAbandonsItsEarlierRequest) {
  const struct Case {
    const char* what;
    const char* script;
    const char* written;
  } cases[] = {
      {"one request", "xpf", "1"},
      {"the running request dropped, the block's next one written", "xpXxfpf", "01"},
      {"a queued request dropped, one in another block written", "xyXpfpf", "01"},
      {"another block handed in", "xpYf", "1"},
      {"a block handed in after its request finished", "xpfXxpf", "11"},
  };
  std::uint8_t x[srb::size] = {};
  std::uint8_t y[srb::size] = {};
  for (const Case& c : cases) {
    sim::AspiQueue queue;
    sim::AspiQueue::Job job;
    std::string written;
    for (const char* op = c.script; *op != '\0'; ++op) {
      switch (*op) {
        case 'x':
        case 'y':
          ASSERT_TRUE(queue.push({*op == 'x' ? x : y, {}})) << c.script;
          break;
        case 'X':
        case 'Y':
          queue.reuse(*op == 'X' ? x : y);
          break;
        case 'p':
          ASSERT_TRUE(queue.pop(job)) << c.script;
          break;
        default:
          written += queue.finish() ? '1' : '0';
      }
    }
    EXPECT_EQ(written, c.written) << c.what;
  }
}

TEST(AspiManager, TheQueueHoldsItsCapacity) {
  std::uint8_t block[srb::size] = {};
  sim::AspiQueue queue;
  for (std::size_t i = 0; i < sim::AspiQueue::capacity; ++i) ASSERT_TRUE(queue.push({block, {}}));
  EXPECT_FALSE(queue.push({block, {}}));
  sim::AspiQueue::Job job;
  for (std::size_t i = 0; i < sim::AspiQueue::capacity; ++i) ASSERT_TRUE(queue.pop(job));
  EXPECT_FALSE(queue.pop(job));
  EXPECT_EQ(queue.size(), 0u);
}

}  // namespace
}  // namespace tz
