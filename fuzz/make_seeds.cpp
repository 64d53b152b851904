// tz594k-fuzz-seeds DIR: writes the seed inputs of the reply fuzzers into DIR/identity_reply and
// DIR/inquiry_reply, taken from the simulated drive's own answers for every firmware level and
// for sister models, so that fuzzing starts from replies that get through every check.
#include <cstdint>
#include <cstdio>
#include <string>

#include "sim/sim_drive.h"

namespace {

struct Seed {
  const char* name;
  const char* firmware;
  const char* model_code;
  const char* family_code;
  const char* inquiry_vendor;
  const char* inquiry_product;
};

constexpr Seed seeds[] = {
    {"level_101", "1.01", "", "", "", ""},
    {"level_100", "1.00", "", "", "", ""},
    {"level_090", "0.90", "", "", "", ""},
    {"level_080", "0.80", "", "", "", ""},
    {"level_050", "0.50", "", "", "", ""},
    {"sister_kt", "1.00", "TZ594KT-BDC-0001", "T5KB", "", "BD-CMB TZ594KT  "},
    {"sister_kl", "0.90", "TZ594KL-BDC-0001", "T5KD", "", "BD-CMB TZ594KL  "},
    {"other_vendor", "1.00", "", "", "OTHERCO ", "DVD-RW XYZ      "},
};

std::string seed_path(const std::string& dir, const char* target, const char* name, const char* transport) {
  std::string path = dir;
  path += '/';
  path += target;
  path += '/';
  path += name;
  path += transport;
  return path;
}

bool write(const std::string& path, std::uint8_t transport, const std::uint8_t* reply, std::uint32_t size) {
  // Trailing zero bytes add nothing: the program clears its buffer before every read.
  while (size > 0 && reply[size - 1] == 0) --size;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fputc(transport, file) != EOF && std::fwrite(reply, 1, size, file) == size;
  return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tz594k-fuzz-seeds DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  for (const Seed& seed : seeds) {
    tz::sim::DriveSettings settings;
    std::snprintf(settings.firmware, sizeof(settings.firmware), "%s", seed.firmware);
    std::snprintf(settings.model_code, sizeof(settings.model_code), "%s", seed.model_code);
    std::snprintf(settings.family_code, sizeof(settings.family_code), "%s", seed.family_code);
    std::snprintf(settings.inquiry_vendor, sizeof(settings.inquiry_vendor), "%s", seed.inquiry_vendor);
    std::snprintf(settings.inquiry_product, sizeof(settings.inquiry_product), "%s", seed.inquiry_product);
    tz::sim::SimDrive drive(settings);
    if (!drive.ready()) return 1;

    std::uint8_t inquiry[44] = {};
    const std::uint8_t inquiry_cdb[6] = {0x12, 0, 0, 0, sizeof(inquiry), 0};
    if (drive.execute(inquiry_cdb, 6, tz::sim::Direction::in, inquiry, sizeof(inquiry)).status != 0) return 1;

    // The identity read's parameters must agree with each other; any time gives such a set.
    static std::uint8_t identity[4096];
    const std::uint8_t p1 = 0x10;
    const std::uint8_t p2 = 0x20;
    const std::uint8_t identity_cdb[12] = {0xED,
                                           0,
                                           p1,
                                           p2,
                                           static_cast<std::uint8_t>(p1 + 0x5A),
                                           static_cast<std::uint8_t>(p2 + 0xA5),
                                           0x10,
                                           static_cast<std::uint8_t>(p1 + 0x77),
                                           static_cast<std::uint8_t>(p2 + 0x66),
                                           sizeof(identity) >> 8,
                                           sizeof(identity) & 0xFF,
                                           0x3C};
    const tz::sim::Outcome outcome =
        drive.execute(identity_cdb, sizeof(identity_cdb), tz::sim::Direction::in, identity, sizeof(identity));
    if (outcome.status != 0) {
      std::fprintf(stderr, "tz594k-fuzz-seeds: %s: identity read refused\n", seed.name);
      return 1;
    }

    if (!write(seed_path(dir, "inquiry_reply", seed.name, "_pt"), 0, inquiry, sizeof(inquiry)) ||
        !write(seed_path(dir, "inquiry_reply", seed.name, "_aspi"), 1, inquiry, sizeof(inquiry)) ||
        !write(seed_path(dir, "identity_reply", seed.name, "_pt"), 0, identity, sizeof(identity)) ||
        !write(seed_path(dir, "identity_reply", seed.name, "_aspi"), 1, identity, sizeof(identity))) {
      std::fprintf(stderr, "tz594k-fuzz-seeds: cannot write into %s\n", argv[1]);
      return 1;
    }
  }
  return 0;
}
