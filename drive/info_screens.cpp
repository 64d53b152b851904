#include "drive/info_screens.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "drive/drive_link.h"
#include "image/layout.h"
#include "ui/formatting.h"
#include "ui/screens.h"

namespace tz {

namespace {

using platform::Handle;

constexpr int detail_scroll_extent = 600;
constexpr const char* blank28 = "                            ";
constexpr std::uint32_t blob_bytes_per_line = 16;

bool same_text(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

// One list line assembled piece by piece; what does not fit is cut.
class Line {
 public:
  [[gnu::format(printf, 2, 3)]] void add(const char* format, ...) {
    if (used_ + 1 >= sizeof(text_)) return;
    std::va_list arguments;
    va_start(arguments, format);
    // va_start is right above; clang's analyzer loses track of it when it has looked at another file first.
    const int n = std::vsnprintf(text_ + used_, sizeof(text_) - used_, format,
                                 arguments);  // NOLINT(clang-analyzer-valist.Uninitialized)
    va_end(arguments);
    if (n > 0) used_ = std::min(sizeof(text_) - 1, used_ + static_cast<std::size_t>(n));
  }
  const char* text() const { return text_; }
  void clear() {
    used_ = 0;
    text_[0] = '\0';
  }

 private:
  char text_[256] = {};
  std::size_t used_ = 0;
};

// Adds lines to the detailed version list, each through the formatting buffer.
class DetailList {
 public:
  DetailList(DriveLink& link, Handle window, int control) : link_(link), window_(window), control_(control) {}

  [[gnu::format(printf, 2, 3)]] void line(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    const char* text = format_text_v(link_.ui, format, arguments);
    va_end(arguments);
    add(text);
  }
  void add(const char* text) {
    link_.ui.dialogs.send_item_message(window_, control_, platform::lb_addstring, 0,
                                       reinterpret_cast<std::intptr_t>(text));
  }
  void blank() { add(""); }
  const char* label(Text id) const { return link_.ui.text(id); }
  // " label:" padded so that every value starts in the same column.
  void field(Line& l, Text id) const { l.add(" %-26s:", label(id)); }

 private:
  DriveLink& link_;
  Handle window_;
  int control_;
};

// Rows of the build-setting section: the switches as this build sets them, and its fixed figures.
struct SettingRow {
  Text value;
  std::int32_t number;
};

constexpr BuildSwitches built{};

constexpr SettingRow setting_rows[] = {
    {Text::setting_enabled, static_cast<std::int32_t>(built.EXEC_BOOT_SYSTEM_NUMBER)},
    {Text::setting_enabled, static_cast<std::int32_t>(built.SYNC_BOOT_SYSTEM_NUMBER)},
    {Text::setting_enabled, static_cast<std::int32_t>(built.COMPARE_SEND_DATA_NUMBER)},
    {Text::setting_enabled, static_cast<std::int32_t>(built.VERIFY_PROCESS_NUMBER)},
    {Text::setting_enabled, static_cast<std::int32_t>(built.eject_switch)},
    {Text::setting_bytes, static_cast<std::int32_t>(payload_block_bytes)},
    {Text::setting_bytes, static_cast<std::int32_t>(image_info_block_bytes)},
    {Text::setting_count, phase_attempts},
    {Text::setting_count, readiness_polls},
    {Text::setting_milliseconds, static_cast<std::int32_t>(settle_without_verify_ms)},
    {Text::setting_milliseconds, static_cast<std::int32_t>(after_verify_ms)},
    {Text::setting_enabled, 1},   // pass-through transport
    {Text::setting_enabled, 1},   // ASPI transport
    {Text::setting_enabled, 1},   // Japanese screens
    {Text::setting_enabled, 1},   // English screens
    {Text::setting_enabled, 1},   // result log
    {Text::setting_enabled, 1},   // launcher protocol
    {Text::setting_enabled, 1},   // silent mode
    {Text::setting_enabled, 1},   // volume lock
    {Text::setting_disabled, 0},  // removable drives are never updated
    {Text::setting_enabled, 1},   // version print
    {Text::setting_enabled, 1},   // detail print
    {Text::setting_enabled, 1},   // copyright print
};
constexpr std::size_t keyed_rows = std::size(setting_rows);
static_assert(keyed_rows ==
              static_cast<std::size_t>(Text::setting_key_last) - static_cast<std::size_t>(Text::setting_key_first) + 1);
static_assert(keyed_rows + 2 == static_cast<std::size_t>(Text::setting_label_last) -
                                    static_cast<std::size_t>(Text::setting_label_first) + 1);

constexpr Text nth(Text first, std::size_t n) { return static_cast<Text>(static_cast<std::size_t>(first) + n); }

void header_part(DetailList& list, const IdentityRecord& id) {
  Line l;
  const auto text_line = [&](Text label, const char* value) {
    l.clear();
    list.field(l, label);
    l.add("[%s]", value);
    list.add(l.text());
  };
  const auto number_line = [&](Text label, const char* format, unsigned long value) {
    l.clear();
    list.field(l, label);
    l.add(format, value);
    list.add(l.text());
  };
  const auto stamp_line = [&](Text label, const std::uint8_t(&stamp)[3]) {
    l.clear();
    list.field(l, label);
    l.add("%02X%02X%02X", stamp[0], stamp[1], stamp[2]);
    list.add(l.text());
  };
  list.line(" < %s >", list.label(Text::section_header));
  text_line(Text::label_vendor, id.header_vendor);
  text_line(Text::label_product, id.header_product);
  text_line(Text::label_revision, id.header_revision);
  stamp_line(Text::header_stamp, id.header_stamp);
  number_line(Text::header_flag, "%02lX", id.header_flag);
  number_line(Text::start_value, "0x%08lX", id.start_value);
  number_line(Text::transfer_length, "0x%08lX", id.transfer_length);
  number_line(Text::header_word, "0x%04lX", id.header_word);
  number_line(Text::image_sum, "0x%04lX", id.image_sum);
  stamp_line(Text::header_stamp2, id.header_stamp2);
  number_line(Text::header_checksum, "%02lX", id.header_checksum);
  list.blank();
}

void blob_lines(DetailList& list, const IdentityRecord& id) {
  Line l;
  list.field(l, Text::blob);
  // Pairs run while the first byte of a pair lies within the blob; the record never ends there.
  const std::uint32_t length = std::min(id.blob_length, max_blob_bytes);
  for (std::uint32_t i = 0; i < length; i += 2) {
    if (i != 0 && i % blob_bytes_per_line == 0) {
      list.add(l.text());
      l.clear();
      l.add("%s", blank28);
    }
    const std::uint8_t second = i + 1 < max_blob_bytes ? id.blob[i + 1] : 0;
    l.add("%02X%02X ", id.blob[i], second);
  }
  list.add(l.text());
}

void area_lines(DetailList& list, const IdentityRecord& id) {
  const auto entry = [&](Line& l, const AreaEntry& a) {
    l.add("%s=%s %s=0x%06lX %s=0x%06lX %s=0x%04X", list.label(Text::area_name), a.area_name,
          list.label(Text::area_value_1), static_cast<unsigned long>(a.area_value_1), list.label(Text::area_value_2),
          static_cast<unsigned long>(a.area_value_2), list.label(Text::area_word), a.area_word);
  };
  Line l;
  list.field(l, Text::area);
  entry(l, id.areas[0]);
  list.add(l.text());
  const std::uint32_t entries = std::min(id.area_bytes / area_entry_bytes, max_area_entries);
  for (std::uint32_t i = 1; i < entries; ++i) {
    l.clear();
    l.add("%s", blank28);
    entry(l, id.areas[i]);
    list.add(l.text());
  }
}

void info_part(DetailList& list, const IdentityRecord& id) {
  Line l;
  const auto start = [&](Text label) {
    l.clear();
    list.field(l, label);
  };
  list.line(" < %s >", list.label(Text::section_info));
  start(Text::magic_text);
  l.add("[%s]", id.magic_text);
  list.add(l.text());
  start(Text::scramble_key);
  l.add("0x%04X", id.scramble_key);
  list.add(l.text());
  start(Text::info_length);
  l.add("0x%08lX", static_cast<unsigned long>(id.info_length));
  list.add(l.text());
  start(Text::info_value);
  l.add("0x%08lX", static_cast<unsigned long>(id.info_value));
  list.add(l.text());
  for (std::size_t t = 0; t < info_text_field_count; ++t) {
    l.clear();
    char label[32];
    std::snprintf(label, sizeof(label), "%s T%zu", list.label(Text::info_text), t + 1);
    l.add(" %-26s:[%s]", label, info_text(id, t));
    list.add(l.text());
  }
  start(Text::blob_length);
  l.add("0x%08lX", static_cast<unsigned long>(id.blob_length));
  list.add(l.text());
  blob_lines(list, id);
  start(Text::area_bytes);
  l.add("0x%08lX", static_cast<unsigned long>(id.area_bytes));
  list.add(l.text());
  area_lines(list, id);
  start(Text::trailer_length);
  l.add("0x%08lX", static_cast<unsigned long>(id.trailer_length));
  list.add(l.text());
  start(Text::trailer);
  const std::uint32_t trailer = std::min(id.trailer_length, max_trailer_bytes);
  for (std::uint32_t i = 0; i < trailer; ++i) l.add("%02X ", id.trailer[i]);
  list.add(l.text());
  start(Text::info_sum);
  l.add("0x%04X", id.info_sum);
  list.add(l.text());
  list.blank();
}

void build_part(DetailList& list) {
  list.line(" < %s >", list.label(Text::section_build));
  list.line(" %-26s:%s", list.label(Text::build_tool), "23.70");
  list.line(" %-26s:%s", list.label(Text::build_program), "TZ594K_for_ZEMO_V1.01");
  list.line(" %-26s:%s", list.label(Text::build_date), "2009/03/03");
  list.line(" %-26s:%s", list.label(Text::build_number), "LOADER-2374");
  list.blank();
}

void settings_part(DetailList& list) {
  list.line(" < %s >", list.label(Text::section_settings));
  for (std::size_t i = 0; i < keyed_rows; ++i) {
    const SettingRow& row = setting_rows[i];
    list.line(" %-26s:%-15s (%s=%d)", list.label(nth(Text::setting_label_first, i)), list.label(row.value),
              list.label(nth(Text::setting_key_first, i)), row.number);
  }
  list.line(" %-26s:%d", list.label(nth(Text::setting_label_first, keyed_rows)), static_cast<int>(drive_table_size));
  list.line(" %-26s:\"%s\"", list.label(Text::setting_label_last), list.label(Text::setting_model));
  list.blank();
}

bool confirmation_procedure(DriveLink& link, Handle window, std::uint32_t message, std::uintptr_t wparam,
                            std::intptr_t) {
  platform::Dialogs& dialogs = link.ui.dialogs;
  switch (message) {
    case platform::wm_paint:
      paint_screen_icon(link.ui, window, platform::SystemIcon::asterisk);
      return false;
    case platform::wm_initdialog:
      open_screen(link.ui, window);
      dialogs.set_item_text(window, control_version_comparison, format_version_comparison(link));
      dialogs.set_focus(dialogs.item(window, control_exit));
      return false;  // the focus stays on EXIT
    case platform::wm_command:
      if (wparam == control_positive || wparam == control_exit) {
        dialogs.end_dialog(window, wparam == control_positive ? 0 : 1);
        return true;
      }
      return false;
    default:
      return false;
  }
}

bool detail_procedure(DriveLink& link, Handle window, std::uint32_t message, std::uintptr_t wparam, std::intptr_t) {
  platform::Dialogs& dialogs = link.ui.dialogs;
  if (message == platform::wm_initdialog) {
    open_screen(link.ui, window);
    dialogs.set_item_scroll_range(window, control_detail_list, platform::sb_horz, 0, detail_scroll_extent);
    dialogs.send_item_message(window, control_detail_list, platform::lb_sethorizontalextent, detail_scroll_extent, 0);
    fill_detail_list(link, window, control_detail_list);
    return true;
  }
  if (message == platform::wm_command && wparam == control_exit) {
    dialogs.end_dialog(window, 1);
    return true;
  }
  return false;
}

}  // namespace

const char* format_version_comparison(DriveLink& link) {
  const IdentityRecord& drive =
      link.state.drive_table[std::min(link.state.current_drive, drive_table_size - 1)].identity;
  const IdentityRecord& image = link.image.image_identity;
  const bool vendor_same = same_text(drive.info_vendor, image.info_vendor);
  const bool product_same = same_text(drive.info_product, image.info_product);
  const char* arrow = "-->";
  return format_text(link.ui, "\n%s   : %s         %s %s\n%s  : %s %s %s\n%s : %s %s %s",
                     link.ui.text(Text::label_vendor), drive.info_vendor, vendor_same ? "" : arrow,
                     vendor_same ? "" : image.info_vendor, link.ui.text(Text::label_product), drive.info_product,
                     product_same ? "" : arrow, product_same ? "" : image.info_product,
                     link.ui.text(Text::label_revision), drive.info_revision,
                     vendor_same && product_same ? arrow : "            -->", image.info_revision);
}

void fill_detail_list(DriveLink& link, Handle window, int control_id) {
  DetailList list(link, window, control_id);
  const IdentityRecord& image = link.image.image_identity;
  list.line("<< %s >>", list.label(Text::detail_title));
  list.blank();
  header_part(list, image);
  info_part(list, image);
  build_part(list);
  settings_part(list);
}

const char* format_copyright(DriveLink& link) {
  return format_text(link.ui, "\n          %s %s", link.ui.text(Text::copyright_holder),
                     link.ui.text(Text::copyright_years));
}

std::int32_t show_start_confirmation(DriveLink& link) {
  return show_screen(link.ui, screen_start_confirmation.japanese, screen_start_confirmation.english,
                     confirmation_procedure, link);
}

std::int32_t show_detail_version(DriveLink& link) {
  return show_screen(link.ui, screen_detail, screen_detail, detail_procedure, link);
}

}  // namespace tz
