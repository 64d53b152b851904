#include "sim/bay.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "sim/atomic_file.h"
#include "sim/fields.h"
#include "sim/replay.h"
#include "sim/trace_file.h"

namespace tz::sim {

namespace {

bool parse_yes_no(const std::string& text, bool& out) {
  if (text == "yes") {
    out = true;
  } else if (text == "no") {
    out = false;
  } else {
    return false;
  }
  return true;
}

// A NUL would cut the text short of what the file says.
bool copy_field_text(const std::string& text, char* out, std::size_t width) {
  if (text.size() > width || text.find('\0') != std::string::npos) return false;
  std::memcpy(out, text.c_str(), text.size() + 1);
  return true;
}

struct FlagName {
  const char* name;
  bool DriveSettings::*member;
};
constexpr FlagName flag_names[] = {
    {"removable", &DriveSettings::removable},
    {"tray-stuck", &DriveSettings::tray_stuck},
    {"lock-refused", &DriveSettings::lock_refused},
    {"no-event-status", &DriveSettings::no_event_status},
    {"no-vendor-status", &DriveSettings::no_vendor_status},
};

bool parse_flags(const std::string& text, DriveSettings& settings, std::string& error) {
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = text.find(',', start);
    const std::string name = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    bool found = false;
    for (const FlagName& flag : flag_names) {
      if (name == flag.name) {
        settings.*flag.member = true;
        found = true;
      }
    }
    if (!found) {
      error = "unknown flag '" + name + "'";
      return false;
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return true;
}

struct PendingDrive {
  std::size_t line = 0;  // of its drive line
  bool on_aspi = false;
  std::uint8_t ha = 0;
  std::uint8_t target = 0;
  char letter = 0;
  DriveSettings settings;
  bool has_rom = false;
  std::string replay;
  Rom rom;
};

bool parse_drive(const std::vector<Token>& fields, PendingDrive& drive, std::string& error) {
  for (const Token& field : fields) {
    const std::string& v = field.value;
    bool ok = true;
    if (field.key == "at") {
      ok = v.size() == 3 && v[1] == ':' && v[0] >= '0' && v[0] < '0' + bay_adapters && v[2] >= '0' &&
           v[2] < '0' + bay_targets;
      if (ok) {
        drive.on_aspi = true;
        drive.ha = static_cast<std::uint8_t>(v[0] - '0');
        drive.target = static_cast<std::uint8_t>(v[2] - '0');
      }
    } else if (field.key == "letter") {
      const char letter = v.empty() ? '\0' : static_cast<char>(v[0] & ~0x20);
      ok = (v.size() == 1 || (v.size() == 2 && v[1] == ':')) && letter >= 'C' && letter <= 'Z';
      if (ok) drive.letter = letter;
    } else if (field.key == "firmware") {
      ok = copy_field_text(v, drive.settings.firmware, 4) && v.size() == 4;
    } else if (field.key == "type") {
      ok = parse_number(v, 0x1F, drive.settings.peripheral_type);
    } else if (field.key == "vendor") {
      ok = copy_field_text(v, drive.settings.inquiry_vendor, 8);
    } else if (field.key == "product") {
      ok = copy_field_text(v, drive.settings.inquiry_product, 16);
    } else if (field.key == "model") {
      ok = copy_field_text(v, drive.settings.model_code, 16) && v.size() == 16;
    } else if (field.key == "family") {
      ok = copy_field_text(v, drive.settings.family_code, 4) && v.size() == 4;
    } else if (field.key == "tray") {
      ok = v == "open" || v == "closed";
      drive.settings.tray_open = v == "open";
    } else if (field.key == "disc") {
      ok = parse_yes_no(v, drive.settings.disc);
    } else if (field.key == "flags") {
      if (!parse_flags(v, drive.settings, error)) return false;
    } else if (field.key == "boot-mode") {
      ok = parse_yes_no(v, drive.settings.boot_mode);
    } else if (field.key == "identity-busy") {
      ok = parse_number(v, 1000000, drive.settings.identity_busy);
    } else if (field.key == "rewrite-ms") {
      ok = parse_number(v, 3600000, drive.settings.rewrite_ms);
    } else if (field.key == "verify-ms") {
      ok = parse_number(v, 3600000, drive.settings.verify_ms);
    } else if (field.key == "tray-ms") {
      ok = parse_number(v, 3600000, drive.settings.tray_ms);
    } else if (field.key == "replay") {
      ok = !v.empty() && v.find('\0') == std::string::npos;
      drive.replay = v;
    } else {
      error = "unknown drive field '" + field.key + "'";
      return false;
    }
    if (!ok) {
      error = "bad value '" + v + "' for " + field.key;
      return false;
    }
  }
  if (!drive.on_aspi && drive.letter == 0) {
    error = "a drive needs an address: at=ha:target and/or letter=X";
    return false;
  }
  return true;
}

bool parse_fault(const std::vector<Token>& fields, DriveSettings& settings, std::string& error) {
  FaultRule rule;
  bool has_kind = false;
  for (const Token& field : fields) {
    bool ok = true;
    if (field.key == "kind") {
      ok = has_kind = parse_command_kind(field.value, rule.kind);
    } else if (field.key == "nth") {
      ok = parse_number(field.value, 0xFFFFFFFFu, rule.nth) && rule.nth != 0;
    } else if (field.key == "times") {
      ok = parse_number(field.value, 0xFFFFFFFFu, rule.times) && rule.times != 0;
    } else if (field.key == "action") {
      ok = parse_fault_action(field.value, rule.action, rule.moved);
    } else if (field.key == "sense") {
      ok = rule.sense_given = parse_sense(field.value, rule.sense);
    } else {
      error = "unknown fault field '" + field.key + "'";
      return false;
    }
    if (!ok) {
      error = "bad value '" + field.value + "' for " + field.key;
      return false;
    }
  }
  if (!has_kind) {
    error = "a fault needs kind=";
    return false;
  }
  if (!settings.faults.add_rule(rule)) {
    error = "too many faults for one drive";
    return false;
  }
  return true;
}

bool parse_random(const std::vector<Token>& fields, DriveSettings& settings, std::string& error) {
  RandomFault random;
  CommandKind kind = CommandKind::any;
  bool has_kind = false;
  bool has_p = false;
  for (const Token& field : fields) {
    bool ok = true;
    if (field.key == "seed") {
      ok = parse_number(field.value, ~0ull, settings.faults.seed);
    } else if (field.key == "kind") {
      ok = has_kind = parse_command_kind(field.value, kind) && kind != CommandKind::any;
    } else if (field.key == "p") {
      char* end = nullptr;
      const double p = std::strtod(field.value.c_str(), &end);
      ok = has_p = !field.value.empty() && end != nullptr && *end == '\0' && p >= 0.0 && p <= 1.0;
      random.threshold = probability_threshold(p);
    } else if (field.key == "action") {
      ok = parse_fault_action(field.value, random.action, random.moved);
    } else if (field.key == "sense") {
      ok = random.sense_given = parse_sense(field.value, random.sense);
    } else {
      error = "unknown random field '" + field.key + "'";
      return false;
    }
    if (!ok) {
      error = "bad value '" + field.value + "' for " + field.key;
      return false;
    }
  }
  if (has_kind != has_p) {
    error = "a random fault needs both kind= and p=";
    return false;
  }
  if (has_kind) settings.faults.random[static_cast<std::uint32_t>(kind)] = random;
  return true;
}

bool parse_rom(const std::vector<Token>& fields, PendingDrive& drive, std::string& error) {
  if (drive.has_rom) {
    error = "the drive has a rom line already";
    return false;
  }
  Rom rom;
  rom.factory = false;
  bool has_info = false;
  bool has_digest = false;
  bool has_length = false;
  for (const Token& field : fields) {
    bool ok = true;
    if (field.key == "revision") {
      // Written for the reader; the identity block says it.
    } else if (field.key == "length") {
      ok = has_length = parse_number(field.value, download_area_bytes, rom.length);
    } else if (field.key == "digest") {
      ok = has_digest = field.value.size() == 16 && parse_number("0x" + field.value, ~0ull, rom.digest);
    } else if (field.key == "info") {
      const std::string& hex = field.value;
      ok = hex.size() % 2 == 0 && hex.size() / 2 <= max_info_block_bytes;
      for (std::size_t i = 0; ok && i < hex.size(); i += 2) {
        ok = parse_hex_byte(std::string_view(hex).substr(i, 2), rom.info[i / 2]);
      }
      rom.info_size = static_cast<std::uint32_t>(hex.size() / 2);
      has_info = ok;
    } else {
      error = "unknown rom field '" + field.key + "'";
      return false;
    }
    if (!ok) {
      error = "bad value for " + field.key;
      return false;
    }
  }
  RomIdentity identity;
  if (!has_info || !has_digest || !has_length || !read_rom_identity(rom.info, rom.info_size, identity)) {
    error = "a rom needs length=, digest= and an info= that is an identity block";
    return false;
  }
  drive.rom = rom;
  drive.has_rom = true;
  return true;
}

std::string hex_text(const std::uint8_t* bytes, std::uint32_t n) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(std::size_t{n} * 2);
  for (std::uint32_t i = 0; i < n; ++i) {
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 15];
  }
  return text;
}

std::string sense_text(Sense sense) {
  char text[16];
  std::snprintf(text, sizeof(text), "%02X/%02X/%02X", static_cast<unsigned>(sense.key),
                static_cast<unsigned>(sense.asc), static_cast<unsigned>(sense.ascq));
  return text;
}

// A trace named in a bay file lies in the bay's folder unless the name is absolute, in either
// system's form: a path relative to the bay works for every front.
std::string replay_path(const std::string& folder, const std::string& name) {
  const bool absolute = name[0] == '/' || name[0] == '\\' || (name.size() >= 2 && name[1] == ':');
  return absolute ? name : folder + name;
}

}  // namespace

std::string BayDrive::address() const {
  if (on_aspi) return std::to_string(ha) + ":" + std::to_string(target);
  return std::string(1, letter) + ":";
}

bool Bay::parse(std::string_view text, std::string& error) { return parse_in(text, error, nullptr); }

bool Bay::parse_in(std::string_view text, std::string& error, const std::string* folder) {
  drives_.clear();
  std::vector<PendingDrive> pending;
  std::string keyword;
  std::vector<Token> fields;
  std::size_t line_number = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::string_view line = next_line(text, start);
    ++line_number;
    std::string problem;
    bool ok = tokenize(line, keyword, fields, problem);
    if (ok && keyword.empty() && !fields.empty()) {
      ok = false;
      problem = "a line starts with a keyword: drive, fault, random or rom";
    }
    if (ok && !keyword.empty()) {
      if (keyword == "drive") {
        pending.emplace_back();
        pending.back().line = line_number;
        ok = parse_drive(fields, pending.back(), problem);
      } else if (pending.empty() && (keyword == "fault" || keyword == "random" || keyword == "rom")) {
        ok = false;
        problem = "'" + keyword + "' belongs to a drive line above it";
      } else if ((keyword == "fault" || keyword == "random" || keyword == "rom") && !pending.back().replay.empty()) {
        ok = false;
        problem = "a drive that replays a trace answers from the trace alone: no '" + keyword + "'";
      } else if (keyword == "fault") {
        ok = parse_fault(fields, pending.back().settings, problem);
      } else if (keyword == "random") {
        ok = parse_random(fields, pending.back().settings, problem);
      } else if (keyword == "rom") {
        ok = parse_rom(fields, pending.back(), problem);
      } else {
        ok = false;
        problem = "unknown keyword '" + keyword + "'";
      }
    }
    if (!ok) {
      error = "line " + std::to_string(line_number) + ": " + problem;
      return false;
    }
  }

  for (std::size_t i = 0; i < pending.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      const bool same_aspi = pending[i].on_aspi && pending[j].on_aspi && pending[i].ha == pending[j].ha &&
                             pending[i].target == pending[j].target;
      const bool same_letter = pending[i].letter != 0 && pending[i].letter == pending[j].letter;
      if (same_aspi || same_letter) {
        error = "line " + std::to_string(pending[i].line) + ": the address is taken by the drive of line " +
                std::to_string(pending[j].line);
        return false;
      }
    }
  }
  std::vector<BayDrive> built;
  std::map<std::string, std::shared_ptr<const TraceFile>> traces;  // one copy of a trace that drives share
  for (std::size_t i = 0; i < pending.size(); ++i) {
    PendingDrive& p = pending[i];
    BayDrive drive;
    drive.replay = p.replay;
    drive.on_aspi = p.on_aspi;
    drive.ha = p.ha;
    drive.target = p.target;
    drive.letter = p.letter;
    drive.drive = std::make_unique<SimDrive>(p.settings);
    if (!drive.drive->ready()) {
      error = "line " + std::to_string(p.line) + ": no firmware level " + text_value(p.settings.firmware);
      return false;
    }
    if (p.has_rom) drive.drive->set_rom(p.rom);
    if (!p.replay.empty() && folder != nullptr) {
      const std::string path = replay_path(*folder, p.replay);
      std::shared_ptr<const TraceFile>& trace = traces[path];
      if (trace == nullptr) {
        auto read = std::make_shared<TraceFile>();
        std::string problem;
        if (!load_trace(path.c_str(), *read, problem)) {
          error = "line " + std::to_string(p.line) + ": replay " + p.replay + ": " + problem;
          return false;
        }
        trace = std::move(read);
      }
      std::vector<std::string> addresses;
      if (p.on_aspi) addresses.push_back(std::to_string(p.ha) + ":" + std::to_string(p.target));
      if (p.letter != 0) addresses.push_back(std::string(1, p.letter) + ":");
      drive.drive->set_replay(std::make_shared<Replay>(trace, addresses));
    }
    built.push_back(std::move(drive));
  }
  drives_ = std::move(built);
  return true;
}

bool Bay::load(const char* path, std::string& error, bool replays) {
  remove_stale_temporaries(path);
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    error = std::string("cannot open ") + path;
    drives_.clear();
    return false;
  }
  std::string text;
  char chunk[4096];
  std::size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof(chunk), file)) != 0) text.append(chunk, n);
  const bool read_whole = std::ferror(file) == 0;
  std::fclose(file);
  if (!read_whole) {
    error = std::string("cannot read ") + path;
    drives_.clear();
    return false;
  }
  if (!replays) return parse(text, error);
  const std::string bay_path = path;
  const std::size_t slash = bay_path.find_last_of("\\/");
  const std::string folder = slash == std::string::npos ? std::string() : bay_path.substr(0, slash + 1);
  return parse_in(text, error, &folder);
}

std::string Bay::serialise() const {
  std::string text = "# Simulated TZ594K drives (see sim/README.md). Kept up to date by the simulator.\n";
  for (const BayDrive& entry : drives_) {
    const SimDrive& drive = *entry.drive;
    const DriveSettings& s = drive.settings();
    text += "drive";
    if (entry.on_aspi) text += " at=" + std::to_string(entry.ha) + ":" + std::to_string(entry.target);
    if (entry.letter != 0) text += std::string(" letter=") + entry.letter;
    text += " firmware=" + text_value(s.firmware);
    if (s.peripheral_type != 5) text += " type=" + std::to_string(s.peripheral_type);
    if (s.inquiry_vendor[0] != '\0') text += " vendor=" + quoted(s.inquiry_vendor);
    if (s.inquiry_product[0] != '\0') text += " product=" + quoted(s.inquiry_product);
    if (s.model_code[0] != '\0') text += " model=" + text_value(s.model_code);
    if (s.family_code[0] != '\0') text += " family=" + text_value(s.family_code);
    text += drive.tray_open() ? " tray=open" : " tray=closed";
    text += drive.disc_present() ? " disc=yes" : " disc=no";
    std::string flags;
    for (const FlagName& flag : flag_names) {
      if (s.*flag.member) flags += (flags.empty() ? "" : ",") + std::string(flag.name);
    }
    if (!flags.empty()) text += " flags=" + flags;
    if (!s.boot_mode) text += " boot-mode=no";
    if (s.identity_busy != 0) text += " identity-busy=" + std::to_string(s.identity_busy);
    const DriveSettings defaults;
    if (s.rewrite_ms != defaults.rewrite_ms) text += " rewrite-ms=" + std::to_string(s.rewrite_ms);
    if (s.verify_ms != defaults.verify_ms) text += " verify-ms=" + std::to_string(s.verify_ms);
    if (s.tray_ms != defaults.tray_ms) text += " tray-ms=" + std::to_string(s.tray_ms);
    if (!entry.replay.empty()) text += " replay=" + text_value(entry.replay);
    text += "\n";
    for (std::uint32_t i = 0; i < s.faults.rule_count; ++i) {
      const FaultRule& rule = s.faults.rules[i];
      text += std::string("fault kind=") + command_kind_name(rule.kind) + " nth=" + std::to_string(rule.nth);
      if (rule.times != 1) text += " times=" + std::to_string(rule.times);
      text += " action=" + fault_action_text(rule.action, rule.moved);
      if (rule.sense_given) text += " sense=" + sense_text(rule.sense);
      text += "\n";
    }
    bool any_random = false;
    for (const RandomFault& random : s.faults.random) any_random = any_random || random.threshold != 0;
    if (any_random || s.faults.seed != 0) text += "random seed=" + std::to_string(s.faults.seed) + "\n";
    for (std::uint32_t k = 0; k < command_kind_count; ++k) {
      const RandomFault& random = s.faults.random[k];
      if (random.threshold == 0) continue;
      // The shortest text that reads back as the same threshold.
      char p[40];
      std::snprintf(p, sizeof(p), "%.9g", random.threshold / 4294967296.0);
      if (probability_threshold(std::strtod(p, nullptr)) != random.threshold) {
        std::snprintf(p, sizeof(p), "%.17g", random.threshold / 4294967296.0);
      }
      text += std::string("random kind=") + command_kind_name(static_cast<CommandKind>(k)) + " p=" + p +
              " action=" + fault_action_text(random.action, random.moved);
      if (random.sense_given) text += " sense=" + sense_text(random.sense);
      text += "\n";
    }
    const Rom& rom = drive.rom();
    if (!rom.factory) {
      char digest[20];
      std::snprintf(digest, sizeof(digest), "%016llX", static_cast<unsigned long long>(rom.digest));
      // The revision comes from the identity block, which may hold any bytes.
      text += "rom revision=" + text_value(drive.identity().revision) + " length=" + std::to_string(rom.length) +
              " digest=" + digest + " info=" + hex_text(rom.info, rom.info_size) + "\n";
    }
  }
  return text;
}

bool Bay::save(const char* path) const {
  remove_stale_temporaries(path);
  return write_file_atomically(path, serialise(), true);
}

SimDrive* Bay::at_aspi(std::uint8_t ha, std::uint8_t target) {
  for (BayDrive& entry : drives_) {
    if (entry.on_aspi && entry.ha == ha && entry.target == target) return entry.drive.get();
  }
  return nullptr;
}

SimDrive* Bay::at_letter(char letter) {
  for (BayDrive& entry : drives_) {
    if (entry.letter != 0 && entry.letter == letter) return entry.drive.get();
  }
  return nullptr;
}

std::uint64_t Bay::state_version() const {
  std::uint64_t version = 0;
  for (const BayDrive& entry : drives_) version += entry.drive->state_version();
  return version;
}

}  // namespace tz::sim
