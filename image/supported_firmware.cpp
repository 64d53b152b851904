#include "image/supported_firmware.h"

#include <array>
#include <cstring>

#include "core/string_table.h"

namespace tz {

namespace {

struct PlainFirmware {
  const char* vendor;   // pair
  const char* product;  // pair
  // identity: T1, T8, T9, T6, T2, T3, T4, T5, T7, T17
  const char* texts[10];
};

// Firmware 1.00 and 0.90 of the TZ594KS on the three main boards and two mechanism decks it
// shipped with. The pairs name every label under which these drives answer INQUIRY.
constexpr PlainFirmware plain[supported_firmware_count] = {
    {"KORVANTA",
     "BD-CMB TZ594KS  ",
     {"TZ594KS-BDC-0001", "HW03", "MD12", "T5KA", "KORVANTA", "BD-CMB TZ594KS  ", "1.00", "20081027", "B210", "CD40"}},
    {"ZEMO    ",
     "BD-CMB TZ594KS  ",
     {"TZ594KS-BDC-0001", "HW03", "MD11", "T5KA", "KORVANTA", "BD-CMB TZ594KS  ", "1.00", "20081027", "B210", "CD40"}},
    {"KORVANTA",
     "BD-CMB TZ594KT  ",
     {"TZ594KS-BDC-0001", "HW02", "MD12", "T5KA", "KORVANTA", "BD-CMB TZ594KS  ", "1.00", "20081027", "B210", "CD40"}},
    {"KORVANTA",
     "BD-CMB TZ594KU  ",
     {"TZ594KS-BDC-0001", "HW02", "MD11", "T5KA", "KORVANTA", "BD-CMB TZ594KS  ", "1.00", "20081027", "B210", "CD40"}},
    {"KORVANTA",
     "BD-CMB TZ594KL  ",
     {"TZ594KS-BDC-0001", "HW01", "MD12", "T5KA", "KORVANTA", "BD-CMB TZ594KS  ", "1.00", "20081027", "B210", "CD40"}},
    {"KORVANTA",
     "DVD-RW TZ590KC  ",
     {"TZ594KS-BDC-0001", "HW01", "MD11", "T5KA", "KORVANTA", "BD-CMB TZ594KS  ", "1.00", "20081027", "B210", "CD40"}},
    {"KORVANTA",
     "BD-CMB TZ594K   ",
     {"TZ594KS-BDC-0001", "HW03", "MD12", "T5KA", "KORVANTA", "BD-CMB TZ594KS  ", "0.90", "20080609", "B200", "CD40"}},
    {"KORVANTA",
     "BD-CMB TZ594KA  ",
     {"TZ594KS-BDC-0001", "HW03", "MD11", "T5KA", "KORVANTA", "BD-CMB TZ594KS  ", "0.90", "20080609", "B200", "CD40"}},
    {"ZEMO    ",
     "BD-CMB TZ594KT  ",
     {"TZ594KS-BDC-0001", "HW02", "MD12", "T5KA", "KORVANTA", "BD-CMB TZ594KS  ", "0.90", "20080609", "B200", "CD40"}},
    {"ZEMO    ",
     "BD-CMB TZ594KU  ",
     {"TZ594KS-BDC-0001", "HW02", "MD11", "T5KA", "KORVANTA", "BD-CMB TZ594KS  ", "0.90", "20080609", "B200", "CD40"}},
    {"ZEMO    ",
     "BD-CMB TZ594KL  ",
     {"TZ594KS-BDC-0001", "HW01", "MD12", "T5KA", "KORVANTA", "BD-CMB TZ594KS  ", "0.90", "20080609", "B200", "CD40"}},
    {"ZEMO    ",
     "BD-CMB TZ594K   ",
     {"TZ594KS-BDC-0001", "HW01", "MD11", "T5KA", "KORVANTA", "BD-CMB TZ594KS  ", "0.90", "20080609", "B200", "CD40"}},
};

struct Stored {
  std::array<SupportedPair, supported_firmware_count> pairs{};
  std::array<SupportedIdentity, supported_firmware_count> identities{};
};

constexpr Stored make_stored() {
  Stored s{};
  for (std::size_t i = 0; i < supported_firmware_count; ++i) {
    scramble_into(s.pairs[i].vendor, plain[i].vendor);
    scramble_into(s.pairs[i].product, plain[i].product);
    SupportedIdentity& id = s.identities[i];
    scramble_into(id.model_code, plain[i].texts[0]);
    scramble_into(id.t8, plain[i].texts[1]);
    scramble_into(id.t9, plain[i].texts[2]);
    scramble_into(id.t6, plain[i].texts[3]);
    scramble_into(id.info_vendor, plain[i].texts[4]);
    scramble_into(id.info_product, plain[i].texts[5]);
    scramble_into(id.info_revision, plain[i].texts[6]);
    scramble_into(id.t5, plain[i].texts[7]);
    scramble_into(id.t7, plain[i].texts[8]);
    scramble_into(id.t17, plain[i].texts[9]);
  }
  return s;
}

constexpr Stored stored = make_stored();

}  // namespace

SupportedFirmware::SupportedFirmware() {
  std::memcpy(pairs_, stored.pairs.data(), sizeof(pairs_));
  std::memcpy(identities_, stored.identities.data(), sizeof(identities_));
  for (std::size_t i = 0; i < supported_firmware_count; ++i) pair_scrambled_[i] = identity_scrambled_[i] = true;
}

const SupportedPair& SupportedFirmware::pair(std::size_t index) {
  SupportedPair& p = pairs_[index];
  if (pair_scrambled_[index]) {
    complement_text(p.vendor);
    complement_text(p.product);
    pair_scrambled_[index] = false;
    ++decoded_;
  }
  return p;
}

const SupportedIdentity& SupportedFirmware::identity(std::size_t index) {
  SupportedIdentity& id = identities_[index];
  if (identity_scrambled_[index]) {
    for (char* text : {id.model_code, id.t8, id.t9, id.t6, id.info_vendor, id.info_product, id.info_revision, id.t5,
                       id.t7, id.t17}) {
      complement_text(text);
    }
    identity_scrambled_[index] = false;
    ++decoded_;
  }
  return id;
}

}  // namespace tz
