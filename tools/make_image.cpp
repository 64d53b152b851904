// tz594k-make-image OUTPUT: writes the firmware 1.01 image that the loader carries, always the
// same bytes: the 48-byte header, the 368-byte info block, then the 1096 payload blocks of 1024
// bytes (1,122,720 bytes in all).
//
// Header:
//   vendor "KORVANTA", product "BD-CMB TZ594KS  ", revision "1.01" (T2, T3, T4 of the identity)
//   stamp 09 02 10 (build date 2009-02-10, BCD), flag 01 (one ROM bank)
//   start_value 0, transfer_length 1,122,672 (info block + payload), header_word 1
//   image_sum: sum16_be of the info block plus sum16_be of every payload block, modulo 65536
//   stamp 2 17 30 00 (build time 17:30:00, BCD), header_checksum: the 48 bytes sum to 0
// Info block: the identity of firmware level 1.01 from firmware_level_identity (image/
//   firmware_levels.cpp documents every field), scrambled with image_scramble_key 0x594B:
//   info_length 346, 64-byte calibration blob, five areas BT MN SV CF DT, 4-byte trailer.
// Payload: the ROM areas that the info block's area list names, each filled the way the area is
//   used: vector table and boot code in BT, code with message strings and tables in MN, code with
//   gain curves in SV, text settings in CF, media strategy records in DT, and erased flash (0xFF)
//   behind what each area uses. All content comes from a fixed-seed generator.
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/bytes.h"
#include "image/codec.h"
#include "image/firmware_levels.h"
#include "image/identity.h"
#include "image/info_block.h"
#include "image/layout.h"

namespace {

using tz::IdentityRecord;

constexpr std::uint32_t payload_bytes = tz::image_payload_block_count * tz::payload_block_bytes;
constexpr std::uint8_t erased = 0xFF;

// xorshift32: small, fixed, and the same on every build machine.
class Random {
 public:
  explicit Random(std::uint32_t seed) : state_(seed != 0 ? seed : 0x2545F491u) {}
  std::uint32_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  std::uint32_t below(std::uint32_t n) { return next() % n; }

 private:
  std::uint32_t state_;
};

// Writes into one ROM area of the payload; stops quietly at the area's end.
class AreaWriter {
 public:
  AreaWriter(std::vector<std::uint8_t>& payload, const tz::AreaEntry& area)
      : payload_(payload), start_(area.area_value_1), end_(area.area_value_1 + area.area_value_2), at_(start_) {}

  std::uint32_t address() const { return at_ - start_; }
  std::uint32_t left() const { return end_ - at_; }
  void byte(std::uint8_t b) {
    if (at_ < end_) payload_[at_++] = b;
  }
  void be16(std::uint32_t v) {
    byte(static_cast<std::uint8_t>(v >> 8));
    byte(static_cast<std::uint8_t>(v));
  }
  void be32(std::uint32_t v) {
    be16(v >> 16);
    be16(v);
  }
  void text(const char* s) {
    while (*s != '\0') byte(static_cast<std::uint8_t>(*s++));
    byte(0);
  }
  void align(std::uint32_t to, std::uint8_t fill) {
    while (address() % to != 0 && left() > 0) byte(fill);
  }
  void fill_to(std::uint32_t address_in_area, std::uint8_t fill) {
    while (address() < address_in_area && left() > 0) byte(fill);
  }
  std::uint32_t rom_address() const { return at_; }

 private:
  std::vector<std::uint8_t>& payload_;
  std::uint32_t start_;
  std::uint32_t end_;
  std::uint32_t at_;
};

// Routines of an invented 16-bit instruction set: a register save, a body of moves, loads,
// stores, arithmetic, compares with short branches and calls, then restore and return.
void emit_routine(AreaWriter& w, Random& random, std::uint32_t code_base, std::uint32_t code_span) {
  const std::uint32_t saved = 0x0300 | random.below(0x100);
  w.be16(0x1F00 | (saved & 0xFF));  // save registers
  const std::uint32_t length = 12 + random.below(90);
  for (std::uint32_t i = 0; i < length && w.left() > 8; ++i) {
    const std::uint32_t kind = random.below(16);
    const std::uint32_t reg = random.below(8);
    if (kind < 5) {
      w.be16(0x2000 | (reg << 8) | random.below(0x100));  // move immediate
    } else if (kind < 8) {
      w.be16(0x3000 | (reg << 8) | (random.below(8) << 4) | random.below(16));  // load / store
    } else if (kind < 11) {
      w.be16(0x5000 | (random.below(6) << 8) | (reg << 4) | random.below(8));  // arithmetic
    } else if (kind < 13) {
      w.be16(0x6000 | (reg << 8) | random.below(0x40));                    // compare
      w.be16(0x7000 | (random.below(4) << 8) | (random.below(0x30) * 2));  // short branch
    } else if (kind < 15) {
      w.be16(0xC000);  // call absolute
      w.be32(code_base + (random.below(code_span) & ~1u));
    } else {
      w.be16(0x4000 | (reg << 8) | 0x80);              // load word from the literal pool
      w.be32(0x00400000 + random.below(0x10000) * 4);  // a peripheral register
    }
  }
  w.be16(0x1E00 | (saved & 0xFF));  // restore registers
  w.be16(0x0F0F);                   // return
}

void emit_code(AreaWriter& w, Random& random, std::uint32_t until, std::uint32_t code_base) {
  const std::uint32_t span = until > w.address() ? until - w.address() : 2;
  while (w.address() + 256 < until && w.left() > 256) {
    emit_routine(w, random, code_base, span);
    w.align(4, 0x00);
  }
}

void emit_strings(AreaWriter& w, const char* const* strings, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) w.text(strings[i]);
  w.align(16, 0x00);
}

// The drive's CRC-16 (CCITT) table, as firmware keeps it for sector headers.
void emit_crc_table(AreaWriter& w) {
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t crc = i << 8;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) != 0 ? ((crc << 1) ^ 0x1021) : (crc << 1);
    w.be16(crc & 0xFFFF);
  }
}

// A gain curve: a parabola sampled at 256 points, the servo's shape for focus and tracking.
void emit_gain_curve(AreaWriter& w, std::uint32_t peak) {
  for (std::uint32_t i = 0; i < 256; ++i) {
    const std::uint32_t d = i > 128 ? i - 128 : 128 - i;
    w.be16(peak - (d * d * peak) / (128 * 128 + 1));
  }
}

void fill_boot(AreaWriter& w, Random& random, const IdentityRecord& identity) {
  // Vector table: reset at 0x400, 63 exception and interrupt handlers of 32 bytes each from 0x800.
  w.be32(0x00000400);
  for (std::uint32_t i = 1; i < 64; ++i) w.be32(0x00000800 + i * 0x20);
  w.fill_to(0x100, 0x00);
  char banner[96];
  std::snprintf(banner, sizeof(banner), "KORVANTA %s BOOT %.4s", identity.info_product, identity.t7);
  w.text(banner);
  w.text("(C)KORVANTA ELECTRONICS");
  w.fill_to(0x400, 0x00);
  emit_code(w, random, 0x800, 0x400);
  w.fill_to(0x800, 0x00);
  for (std::uint32_t i = 0; i < 64; ++i) {  // handler stubs: save, jump to the common handler
    w.be16(0x1F00 | i);
    w.be16(0xC000);
    w.be32(0x00001000);
    w.fill_to(0x800 + (i + 1) * 0x20, 0x00);
  }
  emit_code(w, random, 0x9000, 0x1000);
  w.fill_to(w.address() + w.left(), erased);
}

void fill_main(AreaWriter& w, Random& random, const IdentityRecord& identity) {
  char banner[96];
  std::snprintf(banner, sizeof(banner), "%s %s %s %s", identity.info_vendor, identity.model_code,
                identity.info_revision, identity.t5);
  w.text(banner);
  w.text(identity.t26);
  w.align(256, 0x00);
  static const char* const messages[] = {
      "TRAY OPEN",
      "TRAY CLOSED",
      "DISC NOT PRESENT",
      "BD-ROM",
      "BD-R",
      "BD-RE",
      "DVD-ROM",
      "DVD+R",
      "DVD-RW",
      "CD-ROM",
      "CD-R",
      "CD-RW",
      "FOCUS ERROR",
      "TRACKING ERROR",
      "SLED HOME",
      "SPINDLE LOCKED",
      "OPC DONE",
      "WRITE PROTECT",
      "BUFFER UNDERRUN",
      "POWER CALIBRATION",
      "READY",
      "BECOMING READY",
      "MEDIUM ERROR",
      "ILLEGAL REQUEST",
      "DOWNLOAD MODE",
      "ROM WRITE",
      "ROM VERIFY",
      "CHECKSUM ERROR",
      "BOOT BLOCK OK",
      "MAIN BLOCK OK",
  };
  const std::uint32_t size = w.left();
  const std::uint32_t used = size - size / 8;  // the last eighth stays erased for growth
  const std::uint32_t stretch = used / 6;
  for (std::uint32_t part = 0; part < 6; ++part) {
    emit_code(w, random, w.address() + stretch - 1024, 0x010000);
    emit_strings(w, messages, sizeof(messages) / sizeof(messages[0]));
    if (part % 2 == 0) emit_crc_table(w);
  }
  w.fill_to(w.address() + w.left(), erased);
}

void fill_servo(AreaWriter& w, Random& random, const IdentityRecord& identity) {
  char banner[64];
  std::snprintf(banner, sizeof(banner), "SERVO %.4s %.4s %.4s", identity.t11, identity.t9, identity.t10);
  w.text(banner);
  w.align(256, 0x00);
  emit_code(w, random, w.left() / 2, 0x0E0000);
  const std::uint32_t peaks[] = {0x0800, 0x0A00, 0x0C00, 0x0E00, 0x1000, 0x1200};
  for (const std::uint32_t peak : peaks) emit_gain_curve(w, peak);
  w.fill_to(w.address() + w.left(), erased);
}

void fill_config(AreaWriter& w, const IdentityRecord& identity) {
  char line[64];
  std::snprintf(line, sizeof(line), "CONFIG.VERSION=%s", identity.t23);
  w.text(line);
  std::snprintf(line, sizeof(line), "FIRMWARE.LEVEL=%s", identity.t21);
  w.text(line);
  static const char* const settings[] = {
      "SPEED.BD.WRITE=6", "SPEED.DVD.WRITE=16", "SPEED.CD.WRITE=40", "SPEED.BD.READ=8", "SPEED.DVD.READ=16",
      "SPEED.CD.READ=48", "TRAY.EJECT.MS=900",  "SPINUP.MS=2200",    "STANDBY.MIN=10",  "REGION.DVD=2",
      "REGION.BD=A",      "OEM=ZEMO",           "LED.BLINK.MS=250",  "OPC.RETRY=3",     "VERIFY.AFTER.WRITE=0",
  };
  for (const char* setting : settings) w.text(setting);
  w.align(1024, 0x00);
  w.fill_to(w.address() + w.left(), erased);
}

void fill_data(AreaWriter& w, Random& random) {
  // Write strategy records: media id (12 characters), speed, then 30 pulse timing bytes.
  static const char* const media[] = {"KVTBD-R01-06", "KVTBD-RE1-02", "KVTDVD+R-16",  "KVTDVD-R-16",
                                      "KVTDVD+RW-08", "KVTCD-R48-00", "OTHBD-R02-04", "OTHDVD+R-08"};
  for (const char* id : media) {
    for (std::uint32_t speed = 1; speed <= 4; ++speed) {
      char name[13] = {};
      std::strncpy(name, id, 12);
      for (int i = 0; i < 12; ++i) w.byte(static_cast<std::uint8_t>(name[i] != '\0' ? name[i] : ' '));
      w.be16(speed * 2);
      for (int i = 0; i < 30; ++i) w.byte(static_cast<std::uint8_t>(0x20 + random.below(0x60)));
    }
  }
  w.align(1024, 0x00);
  w.fill_to(w.address() + w.left(), erased);
}

std::uint32_t area_seed(const tz::AreaEntry& area) {
  return 0x594B0000u ^ (static_cast<std::uint32_t>(area.area_name[0]) << 8) ^
         static_cast<std::uint32_t>(area.area_name[1]) ^ area.area_word;
}

bool build_payload(const IdentityRecord& identity, std::vector<std::uint8_t>& payload) {
  payload.assign(payload_bytes, erased);
  for (std::uint32_t i = 0; i < identity.area_bytes / tz::area_entry_bytes; ++i) {
    const tz::AreaEntry& area = identity.areas[i];
    if (area.area_value_1 > payload_bytes || area.area_value_2 > payload_bytes - area.area_value_1) return false;
    AreaWriter w(payload, area);
    Random random(area_seed(area));
    const char* name = area.area_name;
    if (std::strcmp(name, "BT") == 0) {
      fill_boot(w, random, identity);
    } else if (std::strcmp(name, "MN") == 0) {
      fill_main(w, random, identity);
    } else if (std::strcmp(name, "SV") == 0) {
      fill_servo(w, random, identity);
    } else if (std::strcmp(name, "CF") == 0) {
      fill_config(w, identity);
    } else {
      fill_data(w, random);
    }
  }
  return true;
}

void build_header(const IdentityRecord& identity, std::uint8_t* header, const std::uint8_t* info_block,
                  const std::vector<std::uint8_t>& payload) {
  std::memset(header, ' ', tz::header_bytes);
  std::memcpy(header, identity.info_vendor, 8);
  std::memcpy(header + 8, identity.info_product, 16);
  std::memcpy(header + 24, identity.info_revision, 4);
  tz::put_be24(header + 28, 0x090210);
  header[31] = 0x01;
  tz::put_be32(header + 32, 0);
  tz::put_be32(header + 36, tz::image_transfer_length);
  tz::put_be16(header + 40, 1);
  std::uint32_t image_sum = tz::sum16_be(info_block, tz::image_info_block_bytes);
  for (std::uint32_t i = 0; i < tz::image_payload_block_count; ++i) {
    image_sum += tz::sum16_be(payload.data() + std::size_t{i} * tz::payload_block_bytes, tz::payload_block_bytes);
  }
  tz::put_be16(header + tz::header_image_sum_offset, image_sum);
  tz::put_be24(header + 44, 0x173000);
  header[tz::header_checksum_offset] = static_cast<std::uint8_t>(0 - tz::sum8(header, tz::header_checksum_offset));
}

bool write_file(const char* path, const std::uint8_t* header, const std::uint8_t* info_block,
                const std::vector<std::uint8_t>& payload) {
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(header, 1, tz::header_bytes, file) == tz::header_bytes &&
                       std::fwrite(info_block, 1, tz::image_info_block_bytes, file) == tz::image_info_block_bytes &&
                       std::fwrite(payload.data(), 1, payload.size(), file) == payload.size();
  const bool closed = std::fclose(file) == 0;
  if (written && closed) return true;
  std::remove(path);
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tz594k-make-image OUTPUT\n");
    return 2;
  }
  IdentityRecord identity;
  if (tz::firmware_level_identity("1.01", identity) != 0) return 1;
  std::uint8_t info_block[tz::image_info_block_bytes];
  if (tz::build_info_block(identity, identity.scramble_key, info_block, sizeof(info_block)) != sizeof(info_block)) {
    std::fprintf(stderr, "tz594k-make-image: the identity does not fill the %u-byte info block\n",
                 static_cast<unsigned>(sizeof(info_block)));
    return 1;
  }
  std::vector<std::uint8_t> payload;
  if (!build_payload(identity, payload)) {
    std::fprintf(stderr, "tz594k-make-image: an area lies outside the payload\n");
    return 1;
  }
  std::uint8_t header[tz::header_bytes];
  build_header(identity, header, info_block, payload);
  if (!write_file(argv[1], header, info_block, payload)) {
    std::fprintf(stderr, "tz594k-make-image: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
