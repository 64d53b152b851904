#include "drive/drive_identity.h"

#include <cstring>

#include "drive/commands.h"
#include "drive/drive_link.h"
#include "drive/drive_table.h"
#include "image/codec.h"
#include "image/image_load.h"
#include "image/layout.h"
#include "ui/waits.h"

namespace tz {

namespace {

constexpr std::uint32_t identity_block_length = 4096;
constexpr int attempts_normal = 5;
constexpr int attempts_while_busy = 20;
constexpr std::uint32_t busy_pause_ms = 100;

bool equal(const char* a, const char* b) { return std::strcmp(a, b) == 0; }
bool at_or_below(const char* level, const char* limit) { return std::strcmp(level, limit) <= 0; }

const SupportedModelEntry* find_by_inquiry(const SupportedModelEntry* table, std::size_t count, const DriveRecord& d) {
  for (std::size_t i = 0; i < count; ++i) {
    const SupportedModelEntry& e = table[i];
    if (e.entry_kind == 1 && equal(e.entry_vendor, d.vendor_id) && equal(e.entry_product, d.product_id)) return &e;
  }
  return nullptr;
}

// The first entry naming the identity's model code, vendor and product, whatever its kind.
const SupportedModelEntry* find_by_identity(const SupportedModelEntry* table, std::size_t count,
                                            const IdentityRecord& id) {
  for (std::size_t i = 0; i < count; ++i) {
    const SupportedModelEntry& e = table[i];
    if (equal(e.entry_model_code, id.model_code) && equal(e.entry_vendor, id.info_vendor) &&
        equal(e.entry_product, id.info_product)) {
      return &e;
    }
  }
  return nullptr;
}

void take_entry_fields(DriveRecord& d, const SupportedModelEntry& e) {
  d.drive_kind = e.entry_drive_kind;
  std::memcpy(d.method_flags, e.entry_method_flags, sizeof(d.method_flags));
}

struct Decision {
  std::uint8_t status;
  int result;
};

// Kind 1 makes the drive a candidate of `candidate_status`; any other kind leaves it alone (9).
Decision by_kind(const SupportedModelEntry& e, std::uint8_t candidate_status) {
  return e.entry_kind == 1 ? Decision{candidate_status, 0} : Decision{drive_status_not_updated_model, 1};
}

}  // namespace

int read_inquiry_identity(DriveLink& link) {
  DriveRecord* d = current_drive_record(link.state);
  if (d == nullptr || cmd_inquiry(link) != 0) return -1;
  const std::uint8_t* reply = link.state.scsi_data_buffer;
  if (link.state.transport != transport_pass_through && (reply[0] & 5) == 5) d->drive_type = 5;
  d->status = drive_status_answered;
  copy_text(d->vendor_id, reply + 8, 8);
  copy_text(d->product_id, reply + 16, 16);
  copy_text(d->product_revision, reply + 32, 4);

  const ModelTables& models = link.models;
  const SupportedModelEntry* entry = find_by_inquiry(models.primary, primary_model_count, *d);
  if (entry == nullptr) entry = find_by_inquiry(models.secondary, secondary_model_count, *d);
  if (entry == nullptr) return -1;
  d->tray_check_method = entry->entry_tray_check_method;
  take_entry_fields(*d, *entry);
  return 0;
}

int read_drive_identity(DriveLink& link) {
  DriveRecord* d = current_drive_record(link.state);
  if (d == nullptr) return -1;
  return read_identity_block(link, d->identity);
}

int read_identity_block(DriveLink& link, IdentityRecord& identity) {
  // The drive checks that the six parameters belong together; they come from the time once.
  const platform::LocalTime now = link.system.local_time();
  const auto not_s = static_cast<std::uint8_t>(~now.second);
  const auto not_m = static_cast<std::uint8_t>(~now.minute);
  const auto p1 = not_s;
  const auto p2 = not_m;
  const auto p3 = static_cast<std::uint8_t>(not_s + 0x5A);
  const auto p4 = static_cast<std::uint8_t>(not_m + 0xA5);
  const auto p5 = static_cast<std::uint8_t>(not_s + 0x77);
  const auto p6 = static_cast<std::uint8_t>(not_m + 0x66);

  std::uint8_t* buffer = link.image.working_buffer;
  std::span<std::uint8_t> reply(buffer + header_bytes, identity_block_length);
  int limit = attempts_normal;
  for (int attempt = 0; attempt < limit; ++attempt) {
    std::memset(reply.data(), 0, reply.size());
    const int r = cmd_read_identity_block(link, p1, p2, p3, p4, p5, p6, identity_block_length, reply);
    if (r == 0) {
      read_scramble_key(buffer, identity);
      if (check_magic_text(link.ui.texts, buffer, identity) == 0 &&
          parse_info_block(link.ui.texts, buffer, identity_block_length, identity, info_mode_drive) == 0) {
        return 0;
      }
      continue;
    }
    // ILLEGAL REQUEST 2C/00: the drive is still putting its identity together; give it longer.
    if (r == 1 && link.state.last_sense_key == 5 && link.state.last_asc == 0x2C && link.state.last_ascq == 0) {
      limit = attempts_while_busy;
      wait_servicing(link.ui, busy_pause_ms, link.ui.state.processing_window);
    } else {
      limit = attempts_normal;
    }
  }
  return -1;
}

int classify_drive_identity(DriveLink& link) {
  DriveRecord* d = current_drive_record(link.state);
  if (d == nullptr) return -1;
  const IdentityRecord& id = d->identity;
  const ModelTables& models = link.models;
  d->status = drive_status_answered;
  int result = -1;
  const auto apply = [&](const SupportedModelEntry& e, Decision decision) {
    d->status = decision.status;
    result = decision.result;
    take_entry_fields(*d, e);
  };

  if (equal(id.t6, link.ui.text(Text::family_code_a))) {
    if (const SupportedModelEntry* e = find_by_identity(models.primary, primary_model_count, id)) {
      Decision decision = by_kind(*e, drive_status_candidate_a);
      if (e->entry_kind == 1 && equal(id.model_code, link.ui.text(Text::special_model_1)) &&
          at_or_below(id.t21, link.ui.text(Text::level_classify))) {
        decision = {drive_status_excluded_level, 1};
      }
      apply(*e, decision);
    }
  }
  if (equal(id.t6, link.ui.text(Text::family_code_b1)) || equal(id.t6, link.ui.text(Text::family_code_b2))) {
    if (const SupportedModelEntry* e = find_by_identity(models.primary, primary_model_count, id)) {
      apply(*e, by_kind(*e, drive_status_candidate_b));
    }
    if (result != 0) {
      if (const SupportedModelEntry* e = find_by_identity(models.secondary, secondary_model_count, id)) {
        Decision decision = by_kind(*e, drive_status_candidate_b);
        const bool special = equal(id.model_code, link.ui.text(Text::special_model_2)) ||
                             equal(id.model_code, link.ui.text(Text::special_model_3)) ||
                             equal(id.model_code, link.ui.text(Text::special_model_4));
        if (e->entry_kind == 1 && special && at_or_below(id.t21, link.ui.text(Text::level_classify))) {
          decision = {drive_status_excluded_level, 1};
        }
        apply(*e, decision);
      }
    }
  }
  if (equal(id.t6, link.ui.text(Text::family_code_c))) {
    if (const SupportedModelEntry* e = find_by_identity(models.primary, primary_model_count, id)) {
      apply(*e, by_kind(*e, drive_status_candidate_c));
    }
  }
  return result;
}

}  // namespace tz
