#include "image/identity.h"

#include <cstring>

namespace tz {

namespace {

void fill_unread(char* field, std::size_t width) {
  std::memset(field, '?', width);
  field[width] = '\0';
}

template <std::size_t N>
void fill_unread(char (&field)[N]) {
  fill_unread(field, N - 1);
}

}  // namespace

void init_identity_record(IdentityRecord& record) {
  std::memset(&record, 0, sizeof(record));
  fill_unread(record.header_vendor);
  fill_unread(record.header_product);
  fill_unread(record.header_revision);
  fill_unread(record.magic_text);
  for (std::size_t i = 0; i < info_text_field_count; ++i) fill_unread(info_text(record, i), info_text_fields[i].width);
  for (AreaEntry& area : record.areas) fill_unread(area.area_name);
}

}  // namespace tz
