// A drive played from a trace: the answers the trace holds, in order, for the drive's own address;
// a command other than the trace's next one refused and kept; bay files that name a trace; and the
// check of a run's transcript against a trace.
#include "sim/replay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/digest.h"
#include "sim/bay.h"
#include "sim/replay_check.h"
#include "sim/trace_file.h"
#include "tests/support/temp_folder.h"

namespace tz {
namespace {

using sim::Direction;
using sim::Outcome;

std::vector<std::uint8_t> from_hex(const std::string& hex) {
  std::vector<std::uint8_t> bytes(hex.size() / 2);
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<std::uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
  return bytes;
}

// One 64-byte piece: a 48-byte header of 0xA5 and 16 data bytes 0..15.
std::vector<std::uint8_t> piece() {
  std::vector<std::uint8_t> bytes(64, 0xA5);
  for (std::uint8_t i = 0; i < 16; ++i) bytes[48 + i] = i;
  return bytes;
}

std::string digest_text(const std::vector<std::uint8_t>& bytes) {
  char text[20];
  std::snprintf(text, sizeof(text), "%016llX",
                static_cast<unsigned long long>(piece_digest(bytes.data(), bytes.size())));
  return text;
}

const std::string inquiry_cdb = "120000002C00000000000000";
const std::string identity_cdb = "ED00F0E14A8610674710003C";  // recorded at 59 s past minute 30

std::string small_trace() {
  return "program version=\"TZ594K_for_ZEMO_V1.01\" image=\"1.01\"\r\n"
         "system os=\"WindowsXP 5.1 (Build 2600)\" platform=2 major=5 minor=1 build=2600 transport=pass-through "
         "language=English\r\n"
         "switches text=\"/AU /TRO\"\r\n"
         "cmd n=1 at=C: cdb=" +
         inquiry_cdb +
         " dir=in len=44 status=fail moved=0 ms=0\r\n"
         "cmd n=2 at=D: cdb=" +
         inquiry_cdb +
         " dir=in len=44 status=00 moved=44 ms=0 data=05800000004B4F52\r\n"
         "cmd n=3 at=D: cdb=" +
         identity_cdb +
         " dir=in len=4096 status=02 sense=05/2C/00 moved=0 ms=0\r\n"
         "cmd n=4 at=D: cdb=EA0000000170000040000000 dir=out len=64 status=00 moved=64 ms=1 digest=" +
         digest_text(piece()) +
         "\r\n"
         "cmd n=5 at=D: cdb=E80000000170000040000000 dir=in len=64 status=00 moved=64 ms=1 digest=0000000000000000 "
         "same=no\r\n"
         "cmd n=6 at=D: cdb=F50000000000000000000080 dir=none len=0 status=fail moved=0 ms=3000\r\n"
         "result code=0 message=\"\" exit=0 elapsed-ms=5\r\n"
         "end commands=6\r\n";
}

std::shared_ptr<const sim::TraceFile> read_trace(const std::string& text) {
  auto trace = std::make_shared<sim::TraceFile>();
  std::string error;
  EXPECT_TRUE(sim::parse_trace(text, *trace, error)) << error;
  return trace;
}

// A trace's command as a program sends it.
struct Sent {
  std::vector<std::uint8_t> cdb;
  Direction direction;
  std::vector<std::uint8_t> data;
};

Outcome send(sim::Replay& replay, Sent& c) {
  return replay.answer(c.cdb.data(), static_cast<std::uint32_t>(c.cdb.size()), c.direction,
                       c.data.empty() ? nullptr : c.data.data(), static_cast<std::uint32_t>(c.data.size()));
}

// The identity read with the parameters of another moment (12 s past minute 5), as the program
// derives them.
std::vector<std::uint8_t> identity_at_another_time() {
  const auto s = static_cast<std::uint8_t>(~12);
  const auto m = static_cast<std::uint8_t>(~5);
  return {0xED,
          0x00,
          s,
          m,
          static_cast<std::uint8_t>(s + 0x5A),
          static_cast<std::uint8_t>(m + 0xA5),
          0x10,
          static_cast<std::uint8_t>(s + 0x77),
          static_cast<std::uint8_t>(m + 0x66),
          0x10,
          0x00,
          0x3C};
}

TEST(Replay, AnswersEachCommandOfItsAddressAsTheTraceSays) {
  sim::Replay replay(read_trace(small_trace()), {"D:"});
  EXPECT_EQ(replay.total(), 5u);  // C: is another drive's

  Sent inquiry{from_hex(inquiry_cdb), Direction::in, std::vector<std::uint8_t>(44, 0xEE)};
  Outcome out = send(replay, inquiry);
  EXPECT_EQ(out.status, sim::status_good);
  EXPECT_EQ(out.transferred, 44u);
  EXPECT_EQ(inquiry.data[0], 0x05);
  EXPECT_EQ(inquiry.data[7], 0x52);
  EXPECT_EQ(inquiry.data[8], 0x00);  // the reply's trailing zeros
  EXPECT_EQ(inquiry.data[43], 0x00);

  Sent identity{identity_at_another_time(), Direction::in, std::vector<std::uint8_t>(4096)};
  out = send(replay, identity);
  EXPECT_EQ(out.status, sim::status_check_condition);
  EXPECT_EQ(out.sense[2], 0x05);
  EXPECT_EQ(out.sense[12], 0x2C);

  Sent write{from_hex("EA0000000170000040000000"), Direction::out, piece()};
  EXPECT_EQ(send(replay, write).status, sim::status_good);
  // The read-back brings what was written, with the difference the trace recorded.
  Sent read{from_hex("E80000000170000040000000"), Direction::in, std::vector<std::uint8_t>(64)};
  EXPECT_EQ(send(replay, read).status, sim::status_good);
  std::vector<std::uint8_t> expected = piece();
  expected[48] ^= 0x01;
  EXPECT_EQ(read.data, expected);

  Sent rewrite{from_hex("F50000000000000000000080"), Direction::none, {}};
  EXPECT_EQ(send(replay, rewrite).delivery, Outcome::Delivery::failed);
  EXPECT_EQ(replay.left(), 0u);
  EXPECT_FALSE(replay.mismatched());

  // One more than the trace has.
  out = send(replay, inquiry);
  EXPECT_EQ(out.sense[2], sim::replay_mismatch_sense.key);
  EXPECT_EQ(out.sense[12], sim::replay_mismatch_sense.asc);
  ASSERT_TRUE(replay.mismatched());
  EXPECT_EQ(replay.mismatch().n, 0u);
}

TEST(Replay, TheFirstOtherCommandIsKeptAndEveryLaterOneRefused) {
  std::vector<std::uint8_t> other_data = piece();
  other_data[63] = 0x99;
  std::vector<std::uint8_t> bad_identity = identity_at_another_time();
  bad_identity[4] ^= 0x01;  // p3 no longer follows p1
  std::vector<std::uint8_t> longer_inquiry = from_hex(inquiry_cdb);
  longer_inquiry[4] = 0x60;
  const struct Case {
    const char* name;
    int good_before;  // commands of the trace sent right first
    Sent wrong;
    std::uint32_t n;
  } cases[] = {
      {"another allocation length", 0, {longer_inquiry, Direction::in, std::vector<std::uint8_t>(0x60)}, 2},
      {"identity parameters that do not belong together",
       1,
       {bad_identity, Direction::in, std::vector<std::uint8_t>(4096)},
       3},
      {"a write of other data", 2, {from_hex("EA0000000170000040000000"), Direction::out, other_data}, 4},
      {"the read-back as a write", 3, {from_hex("E80000000170000040000000"), Direction::out, piece()}, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Replay replay(read_trace(small_trace()), {"D:"});
    std::vector<Sent> right = {{from_hex(inquiry_cdb), Direction::in, std::vector<std::uint8_t>(44)},
                               {identity_at_another_time(), Direction::in, std::vector<std::uint8_t>(4096)},
                               {from_hex("EA0000000170000040000000"), Direction::out, piece()}};
    for (int i = 0; i < c.good_before; ++i) send(replay, right[static_cast<std::size_t>(i)]);
    EXPECT_FALSE(replay.mismatched());
    Sent wrong = c.wrong;
    const Outcome out = send(replay, wrong);
    EXPECT_EQ(out.status, sim::status_check_condition);
    EXPECT_EQ(out.sense[2], sim::replay_mismatch_sense.key);
    ASSERT_TRUE(replay.mismatched());
    EXPECT_EQ(replay.mismatch().n, c.n);
    EXPECT_TRUE(replay.take_report());
    EXPECT_FALSE(replay.take_report());
    // The trace's own next command is refused as well now, and the first mismatch stays.
    if (c.good_before < 3) {
      const Outcome later = send(replay, right[static_cast<std::size_t>(c.good_before)]);
      EXPECT_EQ(later.sense[2], sim::replay_mismatch_sense.key);
    }
    EXPECT_EQ(replay.mismatch().n, c.n);
  }
}

TEST(Replay, ABayDriveNamesItsTraceBesideTheBay) {
  const test::TempFolder folder("tz594k-replay-");
  folder.write("field.trace", small_trace());
  const std::string bay_path = folder.write("bay.txt", "drive at=0:0 letter=D replay=field.trace\n");
  sim::Bay bay;
  std::string error;
  ASSERT_TRUE(bay.load(bay_path.c_str(), error)) << error;
  ASSERT_EQ(bay.drives().size(), 1u);
  sim::SimDrive& drive = *bay.drives()[0].drive;
  ASSERT_NE(drive.replay(), nullptr);
  std::vector<std::uint8_t> reply(44);
  const std::vector<std::uint8_t> inquiry = from_hex(inquiry_cdb);
  EXPECT_EQ(drive.execute(inquiry.data(), 6, Direction::in, reply.data(), 44).transferred, 44u);
  EXPECT_EQ(reply[5], 0x4B);
  EXPECT_NE(bay.serialise().find("drive at=0:0 letter=D firmware=1.00 tray=closed disc=no replay=field.trace\n"),
            std::string::npos);

  const struct Refused {
    const char* text;
    const char* error;
  } refused[] = {
      {"drive letter=D replay=missing.trace\n", "line 1: replay missing.trace: cannot open"},
      {"drive letter=D replay=field.trace\nfault kind=write action=check\n", "line 2: a drive that replays"},
      {"drive letter=D replay=bay.txt\n", "line 1: replay bay.txt: line 1: unknown keyword 'drive'"},
  };
  for (const Refused& r : refused) {
    const std::string path = folder.write("refused.txt", r.text);
    EXPECT_FALSE(bay.load(path.c_str(), error)) << r.text;
    EXPECT_EQ(error.rfind(r.error, 0), 0u) << error;
  }
}

TEST(ReplayCheck, FindsTheFirstCommandThatDiffersIsMissingOrTooMany) {
  const auto trace = read_trace(small_trace());
  const std::string identity = sim::hex_bytes(identity_at_another_time().data(), 12);
  const std::string good = "D: cdb=" + inquiry_cdb +
                           " dir=in len=44 status=00\n"
                           "D: cdb=" +
                           identity +
                           " dir=in len=4096 status=02 sense=05/2C/00\n"
                           "D: cdb=EA0000000170000040000000 dir=out len=64 status=00\n"
                           "D: cdb=E80000000170000040000000 dir=in len=64 status=00\n"
                           "D: cdb=F50000000000000000000080 dir=none len=0 status=hang\n";
  const sim::CheckResult same = sim::check_transcript(*trace, good);
  EXPECT_TRUE(same.same) << same.difference;
  EXPECT_EQ(same.compared, 5u);

  const auto changed = [&good](const std::string& from, const std::string& to) {
    std::string text = good;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  const struct Case {
    const char* name;
    std::string transcript;
    std::uint32_t n;
  } cases[] = {
      {"a CDB byte", changed("EA00000001700000", "EA00000001710000"), 4},
      {"a sense", changed("sense=05/2C/00", "sense=05/24/00"), 3},
      {"an answer where the drive gave none", changed("status=hang", "status=00"), 6},
      {"the last command missing", good.substr(0, good.rfind("D: cdb=F5")), 6},
      {"one command too many", good + "D: cdb=" + inquiry_cdb + " dir=in len=44 status=00\n", 0},
  };
  for (const Case& c : cases) {
    const sim::CheckResult r = sim::check_transcript(*trace, c.transcript);
    EXPECT_FALSE(r.same) << c.name;
    EXPECT_EQ(r.n, c.n) << c.name << ": " << r.difference;
  }
}

// The order across drives and the data: a run that sent the same commands to other drives in
// another order, wrote another image, got a piece cut short or another reply is not the run the
// trace holds. Over ASPI the trace knows of a short data phase only that it was short.
TEST(ReplayCheck, ComparesTheOrderAcrossDrivesAndTheData) {
  const std::string read_cdb = "E80000000170000040000000";
  const std::string write_cdb = "EA0000000170000040000000";
  std::vector<std::uint8_t> reply = from_hex("05800000004B4F52");
  reply.resize(44, 0);
  std::vector<std::uint8_t> other_reply = reply;
  other_reply[8] = 'X';
  std::vector<std::uint8_t> other_piece = piece();
  other_piece[60] ^= 0x10;
  std::vector<std::uint8_t> short_piece(64, 0x33);  // 60 bytes came, the last 4 stayed as they were
  std::copy_n(piece().begin(), 60, short_piece.begin());

  const auto trace_text = [&](const std::string& a, const std::string& b, const std::string& read_moved,
                              const std::string& read_digest) {
    return "cmd n=1 at=" + a + " cdb=" + inquiry_cdb +
           " dir=in len=44 status=00 moved=44 ms=0 data=05800000004B4F52\r\n"
           "cmd n=2 at=" +
           b + " cdb=" + inquiry_cdb +
           " dir=in len=44 status=00 moved=44 ms=0 data=05800000004B4F52\r\n"
           "cmd n=3 at=" +
           a + " cdb=" + write_cdb + " dir=out len=64 status=00 moved=64 ms=1 digest=" + digest_text(piece()) +
           "\r\n"
           "cmd n=4 at=" +
           a + " cdb=" + read_cdb + " dir=in len=64 status=00 moved=" + read_moved + " ms=1 digest=" + read_digest +
           " same=yes\r\n";
  };
  const auto line = [](const std::string& address, const std::string& cdb, const char* dir, int len,
                       const std::string& moved, const std::vector<std::uint8_t>& data) {
    return address + " cdb=" + cdb + " dir=" + dir + " len=" + std::to_string(len) + " status=00 moved=" + moved +
           " digest=" + digest_text(data) + "\n";
  };
  const auto transcript = [&](const std::string& a, const std::string& b, const std::vector<std::uint8_t>& first_reply,
                              const std::vector<std::uint8_t>& written, const std::string& read_moved,
                              const std::vector<std::uint8_t>& read) {
    return line(a, inquiry_cdb, "in", 44, "44", first_reply) + line(b, inquiry_cdb, "in", 44, "44", reply) +
           line(a, write_cdb, "out", 64, "64", written) + line(a, read_cdb, "in", 64, read_moved, read);
  };
  const std::string passes = trace_text("D:", "E:", "64", digest_text(piece()));
  const std::string aspi_underrun = trace_text("0:1", "0:2", "0", digest_text(short_piece));
  const struct Case {
    const char* name;
    std::string trace;
    std::string transcript;
    std::uint32_t n;  // 0: the same
  } cases[] = {
      {"equal", passes, transcript("D:", "E:", reply, piece(), "64", piece()), 0},
      {"a transcript without counts and data", passes,
       "D: cdb=" + inquiry_cdb + " dir=in len=44 status=00\nE: cdb=" + inquiry_cdb +
           " dir=in len=44 status=00\nD: cdb=" + write_cdb + " dir=out len=64 status=00\nD: cdb=" + read_cdb +
           " dir=in len=64 status=00\n",
       0},
      {"the two drives asked in the other order", passes,
       line("E:", inquiry_cdb, "in", 44, "44", reply) + line("D:", inquiry_cdb, "in", 44, "44", reply) +
           line("D:", write_cdb, "out", 64, "64", piece()) + line("D:", read_cdb, "in", 64, "64", piece()),
       1},
      {"another reply", passes, transcript("D:", "E:", other_reply, piece(), "64", piece()), 1},
      {"another image written", passes, transcript("D:", "E:", reply, other_piece, "64", piece()), 3},
      {"a read-back cut short", passes, transcript("D:", "E:", reply, piece(), "60", short_piece), 4},
      {"a read-back that brought other data", passes, transcript("D:", "E:", reply, piece(), "64", other_piece), 4},
      {"ASPI: an underrun of any count", aspi_underrun, transcript("0:1", "0:2", reply, piece(), "60", piece()), 0},
      {"ASPI: a whole piece where the trace saw an underrun", aspi_underrun,
       transcript("0:1", "0:2", reply, piece(), "64", piece()), 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto trace = read_trace(c.trace);
    const sim::CheckResult r = sim::check_transcript(*trace, c.transcript);
    EXPECT_EQ(r.same, c.n == 0) << r.difference;
    EXPECT_EQ(r.n, c.n) << r.difference;
    if (c.n == 0) {
      EXPECT_EQ(r.compared, 4u);
    }
  }
}

TEST(TraceFile, RefusesALineThatIsNoneOfTheProgramsWithItsNumber) {
  const struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"cmd n=1 at=D: cdb=1200 dir=in len=44 status=00\n", "line 1: bad value for cdb"},
      {"cmd n=1 at=D: cdb=120000002C00000000000000 dir=in len=4 status=00 data=0102030405\n",
       "line 1: a command moves more than its length"},
      {"program version=\"x\"\ncmd n=1 at=D: cdb=120000002C00000000000000 dir=up len=44 status=00\n",
       "line 2: bad value for dir"},
      {"cmd n=1 at=D: cdb=120000002C00000000000000 len=44 status=00\n", "line 1: a command needs"},
      {"end commands=0\ncmd n=1 at=D: cdb=120000002C00000000000000 dir=in len=44 status=00\n",
       "line 2: a line after the end line"},
      {"shelf\n", "line 1: unknown keyword 'shelf'"},
  };
  for (const Case& c : cases) {
    sim::TraceFile trace;
    std::string error;
    EXPECT_FALSE(sim::parse_trace(c.text, trace, error)) << c.text;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.text << " gave: " << error;
  }
}

}  // namespace
}  // namespace tz
