#include "image/matching.h"

#include <array>
#include <cstring>

namespace tz {

namespace {

bool equal(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

// T1, T8, T9, T6, T2, T3, T4, T5, T7, T17: the order in which matching compares them.
using TenTexts = std::array<const char*, 10>;

TenTexts texts_of(const IdentityRecord& id) {
  return {id.model_code, id.t8, id.t9, id.t6, id.info_vendor, id.info_product, id.info_revision, id.t5, id.t7, id.t17};
}

TenTexts texts_of(const SupportedIdentity& id) {
  return {id.model_code, id.t8, id.t9, id.t6, id.info_vendor, id.info_product, id.info_revision, id.t5, id.t7, id.t17};
}

bool all_equal(const TenTexts& a, const TenTexts& b) {
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!equal(a[i], b[i])) return false;
  }
  return true;
}

}  // namespace

int is_supported_pair(const IdentityRecord& image, SupportedFirmware& supported, const char* vendor,
                      const char* product) {
  if (equal(vendor, image.info_vendor) && equal(product, image.info_product)) return 0;
  for (std::size_t i = 0; i < supported_firmware_count; ++i) {
    const SupportedPair& pair = supported.pair(i);
    if (equal(vendor, pair.vendor) && equal(product, pair.product)) return 0;
  }
  return -1;
}

int identities_equal(const IdentityRecord& a, const IdentityRecord& b) {
  return all_equal(texts_of(a), texts_of(b)) ? 0 : -1;
}

int match_identity(const IdentityRecord& drive, const IdentityRecord& image, SupportedFirmware& supported) {
  if (identities_equal(drive, image) == 0) return 1;
  const TenTexts drive_texts = texts_of(drive);
  for (std::size_t i = 0; i < supported_firmware_count; ++i) {
    if (all_equal(drive_texts, texts_of(supported.identity(i)))) return 0;
  }
  return -1;
}

int has_area_named(const IdentityRecord& identity, const char* name) {
  std::uint32_t entries = identity.area_bytes / area_entry_bytes;
  if (entries > max_area_entries) entries = max_area_entries;
  for (std::uint32_t i = 0; i < entries; ++i) {
    if (equal(identity.areas[i].area_name, name)) return 0;
  }
  return -1;
}

int is_excluded_identity(const IdentityRecord& drive, const IdentityRecord& image, const StringTable& texts) {
  if (!equal(drive.model_code, image.model_code)) return -1;
  const bool special = equal(drive.model_code, texts.get(Text::special_model_1)) ||
                       equal(drive.model_code, texts.get(Text::special_model_2)) ||
                       equal(drive.model_code, texts.get(Text::special_model_3)) ||
                       equal(drive.model_code, texts.get(Text::special_model_4));
  if (!special) return 0;
  const char* level = texts.get(Text::level_exclude);
  if (std::strcmp(drive.t21, level) >= 0) return 0;
  if (std::strcmp(image.t21, level) < 0) return 0;
  // A special model below the level takes an image at or above it only with all three areas.
  for (const Text area : {Text::area_name_1, Text::area_name_2, Text::area_name_3}) {
    if (has_area_named(image, texts.get(area)) != 0) return -1;
  }
  return 0;
}

}  // namespace tz
