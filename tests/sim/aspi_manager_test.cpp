// The ASPI manager's side of a request block: what a finished command leaves in it, and which
// finished requests may still be written back.
#include "sim/aspi_manager.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/bytes.h"
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

// ASPI has no count of what moved: a GOOD command whose data phase moved less than SRB_BufLen,
// however little it fell short, is a data underrun beside SS_COMP.
TEST(AspiManager, AShortDataPhaseIsAnUnderrun) {
  const struct Case {
    std::uint8_t direction;
    std::uint32_t moved;
    std::uint8_t status;
    std::uint8_t ha_stat;
  } cases[] = {
      {srb::dir_in, 1072, sim::status_good, srb::hastat_ok},
      {srb::dir_in, 1071, sim::status_good, srb::hastat_do_du},
      {srb::dir_in, 1024, sim::status_good, srb::hastat_do_du},
      {srb::dir_in, 0, sim::status_good, srb::hastat_do_du},
      {srb::dir_out, 20, sim::status_good, srb::hastat_do_du},
      {srb::dir_in, 0, sim::status_check_condition, srb::hastat_ok},
  };
  for (const Case& c : cases) {
    std::uint8_t block[srb::size] = {};
    block[srb::flags] = c.direction;
    put_le32(block + srb::buf_len, 1072);
    sim::Outcome outcome;
    outcome.status = c.status;
    outcome.transferred = c.moved;
    sim::complete_aspi_request(block, outcome);
    EXPECT_EQ(block[srb::ha_stat], c.ha_stat) << "moved " << c.moved;
    EXPECT_EQ(block[srb::status], c.status == sim::status_good ? srb::ss_comp : srb::ss_err) << "moved " << c.moved;
  }
}

// Scripts over two blocks X and Y: x, y queue a request in that block; X, Y abort the block's
// request ('n' none, 'q' it was queued, 'r' it was running); p starts the oldest queued request
// (its block, or '-' when none is queued); f finishes the running one ('1' when its outcome is
// written back, '0' when it was aborted); o asks whether the manager holds a request in X ('o' or
// '.').
TEST(AspiManager, RequestsRunInOrderAndAnAbortedOneIsNeverWrittenBack) {
  const struct Case {
    const char* what;
    const char* script;
    const char* trace;
  } cases[] = {
      {"one request", "xpf", "x1"},
      {"the running request aborted, the block's next one written", "xpXxfpf", "xr0x1"},
      {"a queued request aborted leaves the queue", "xyYpfp", "qx1-"},
      {"nothing to abort once the request ended", "xpfX", "x1n"},
      {"an abort gives up one request only once", "xpXX", "xrn"},
      {"a block handed in again while pending: both run, in order", "xxpfpf", "x1x1"},
      {"first in, first out", "yxpfpf", "y1x1"},
      {"the manager holds the block from hand-in to end or abort", "oxoXo", ".oq."},
      {"and while it runs", "xpoXo", "xor."},
  };
  std::uint8_t x[srb::size] = {};
  std::uint8_t y[srb::size] = {};
  for (const Case& c : cases) {
    sim::AspiQueue queue;
    sim::AspiQueue::Job job;
    std::string trace;
    for (const char* op = c.script; *op != '\0'; ++op) {
      switch (*op) {
        case 'x':
        case 'y':
          ASSERT_TRUE(queue.push({*op == 'x' ? x : y, {}, 0})) << c.script;
          break;
        case 'X':
        case 'Y': {
          const sim::AspiQueue::Abort what = queue.abort(*op == 'X' ? x : y, job);
          trace += what == sim::AspiQueue::Abort::none ? 'n' : what == sim::AspiQueue::Abort::queued ? 'q' : 'r';
          break;
        }
        case 'p':
          trace += queue.pop(job) ? (job.block == x ? 'x' : 'y') : '-';
          break;
        case 'o':
          trace += queue.owns(x) ? 'o' : '.';
          break;
        default:
          trace += queue.finish() ? '1' : '0';
      }
    }
    EXPECT_EQ(trace, c.trace) << c.what;
  }
}

// SC_ABORT_SRB: the block it names ends with SS_ABORTED, every other byte of it as it was.
TEST(AspiManager, AnAbortEndsTheNamedRequestAtOnce) {
  std::uint8_t pending[srb::size];
  std::memset(pending, 0x5A, sizeof(pending));
  pending[srb::status] = srb::ss_pending;
  std::uint8_t other[srb::size] = {};
  // The 32-bit addresses the program would pass: 1 and 2 stand for the two blocks.
  std::uint8_t* blocks[3] = {nullptr, pending, other};
  const auto resolve = [](void* context, std::uint32_t address, std::uint32_t) -> std::uint8_t* {
    return address < 3 ? static_cast<std::uint8_t**>(context)[address] : nullptr;
  };
  const struct Case {
    const char* what;
    std::uint8_t ha;
    std::uint32_t address;  // 1: the pending block, 2: a block the manager never had
    std::uint8_t status;
    sim::AspiQueue::Abort aborted;
  } cases[] = {
      {"pending request", 0, 1, srb::ss_comp, sim::AspiQueue::Abort::queued},
      {"again: nothing left", 0, 1, srb::ss_abort_fail, sim::AspiQueue::Abort::none},
      {"another block", 0, 2, srb::ss_abort_fail, sim::AspiQueue::Abort::none},
      {"no block", 0, 0, srb::ss_abort_fail, sim::AspiQueue::Abort::none},
      {"adapter it does not have", 8, 1, srb::ss_invalid_ha, sim::AspiQueue::Abort::none},
  };
  sim::AspiQueue queue;
  ASSERT_TRUE(queue.push({pending, {}, 0}));
  for (const Case& c : cases) {
    std::uint8_t abort_block[srb::abort_size] = {srb::sc_abort_srb, 0xFF, c.ha};
    abort_block[srb::to_abort] = static_cast<std::uint8_t>(c.address);
    const sim::AbortResult result = sim::abort_aspi_request(abort_block, queue, +resolve, blocks);
    EXPECT_EQ(result.status, c.status) << c.what;
    EXPECT_EQ(abort_block[srb::status], c.status) << c.what;
    EXPECT_EQ(result.what, c.aborted) << c.what;
  }
  EXPECT_EQ(pending[srb::status], srb::ss_aborted);
  for (std::uint32_t i = 0; i < srb::size; ++i) {
    if (i != srb::status) {
      EXPECT_EQ(pending[i], 0x5A) << "byte " << i;
    }
  }
  EXPECT_EQ(queue.size(), 0u);
}

TEST(AspiManager, TheQueueHoldsItsCapacity) {
  std::uint8_t block[srb::size] = {};
  sim::AspiQueue queue;
  for (std::size_t i = 0; i < sim::AspiQueue::capacity; ++i) ASSERT_TRUE(queue.push({block, {}, 0}));
  EXPECT_FALSE(queue.push({block, {}, 0}));
  sim::AspiQueue::Job job;
  for (std::size_t i = 0; i < sim::AspiQueue::capacity; ++i) {
    ASSERT_TRUE(queue.pop(job));
    EXPECT_FALSE(queue.pop(job)) << "one request runs at a time";
    EXPECT_TRUE(queue.finish());
  }
  EXPECT_FALSE(queue.pop(job));
  EXPECT_EQ(queue.size(), 0u);
}

}  // namespace
}  // namespace tz
