#include "core/string_table.h"

#include <array>
#include <cstring>
#include <string>

namespace tz {

namespace {

// Readable here; the program's data holds only the complemented bytes built from this list.
constexpr const char* plain_texts[] = {
    "TZ594K_FwLoader_V101",  // own_class_name
    "KVT_FwDownloadWnd",     // other_loader_class_name
    "KVT_FwLauncherWnd",     // launcher_class_name
    "KVT FW IMAGE 594",      // image_magic
    "TZ594KS-BDC-0001",      // special_model_1: the model this image is built for
    "TZ594KT-BDC-0001",      // special_model_2
    "TZ594KU-BDC-0001",      // special_model_3
    "TZ594KV-BDC-0001",      // special_model_4
    "T5KA",                  // family_code_a
    "T5KB",                  // family_code_b1
    "T5KC",                  // family_code_b2
    "T5KD",                  // family_code_c
    "0050",                  // level_checksum: older levels shipped without a valid info_sum
    "0080",                  // level_classify: levels that cannot take this image at all
    "0100",                  // level_exclude: levels that need the three named areas
    "BT",                    // area_name_1
    "MN",                    // area_name_2
    "CF",                    // area_name_3
    "Device",                // drive_label
    "Drive",                 // log_drive_line
    "Adapter",               // log_adapter
    "Target",                // log_target
    "Vendor",                // label_vendor
    "Product",               // label_product
    "Revision",              // label_revision
    "no drive",              // log_no_drive
    "Result",                // log_result
    "F/W Version",           // version_heading
    "Detailed Version Information",
    "Image Header",
    "Image Information",
    "Program",
    "Build Settings",
    "Stamp",
    "Flag",
    "Start Value",
    "Transfer Length",
    "Header Word",
    "Image Sum",
    "Second Stamp",
    "Header Checksum",
    "Magic Text",
    "Scramble Key",
    "Information Length",
    "Information Value",
    "Text",
    "Blob Length",
    "Blob",
    "Area Bytes",
    "Areas",
    "Name",
    "Start",
    "End",
    "Sum",
    "Trailer Length",
    "Trailer",
    "Information Sum",
    "Tool Version",
    "Program Name",
    "Build Date",
    "Build Number",
    "ENABLE",
    "DISABLE",
    "BYTES",
    "TIMES",
    "MSEC",
    // Build-setting labels, in list order.
    "Boot mode command",
    "Synchronous rewrite",
    "Read-back compare",
    "Verify phase",
    "Eject before update",
    "Download block",
    "Information block",
    "Attempts per phase",
    "Readiness polls",
    "Settle without verify",
    "Settle after verify",
    "Pass-through transport",
    "ASPI transport",
    "Japanese screens",
    "English screens",
    "Result log",
    "Launcher protocol",
    "Silent mode",
    "Volume lock",
    "Removable drives",
    "Version print",
    "Detail print",
    "Copyright print",
    "Drive table entries",
    "Target model",
    // Build-setting keys, in list order.
    "BOOT_CMD",
    "SYNC_REWRITE",
    "COMPARE",
    "VERIFY",
    "EJECT",
    "BLOCK",
    "INFO_BLOCK",
    "RETRY",
    "POLL",
    "SETTLE",
    "SETTLE_VERIFY",
    "SPTI",
    "ASPI",
    "LANG_JP",
    "LANG_EN",
    "LOG",
    "LAUNCHER",
    "AUTO",
    "LOCK",
    "REMOVABLE",
    "VER_PRINT",
    "DETAIL_PRINT",
    "CO_PRINT",
    "BD-CMB TZ594KS",
    "KORVANTA Corporation",
    "2008-2009",
};

static_assert(std::size(plain_texts) == text_count, "one text for every id");

constexpr std::size_t stored_size() {
  std::size_t n = 0;
  for (const char* t : plain_texts) n += std::char_traits<char>::length(t) + 1;
  return n;
}

struct Stored {
  std::array<char, stored_size()> bytes{};
  std::array<std::uint16_t, text_count> offsets{};
};

constexpr Stored make_stored() {
  Stored s;
  std::size_t at = 0;
  for (std::size_t i = 0; i < text_count; ++i) {
    s.offsets[i] = static_cast<std::uint16_t>(at);
    for (const char* p = plain_texts[i]; *p != '\0'; ++p) s.bytes[at++] = static_cast<char>(~*p);
    s.bytes[at++] = '\0';
  }
  return s;
}

constexpr Stored stored = make_stored();
static_assert(stored.bytes.size() <= StringTable::storage_size);

}  // namespace

void complement_text(char* text) {
  for (std::size_t i = 0; i < std::strlen(text); ++i) text[i] = static_cast<char>(~text[i]);
}

StringTable::StringTable() : storage_{}, offsets_{} {
  std::memcpy(storage_, stored.bytes.data(), stored.bytes.size());
  std::memcpy(offsets_, stored.offsets.data(), sizeof(offsets_));
}

void StringTable::decode() {
  for (const std::uint16_t offset : offsets_) complement_text(storage_ + offset);
}

}  // namespace tz
