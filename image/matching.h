#pragma once
// Which identities take this image: the supported-pair check, equal identities, the supported
// levels and the special models' exclusion. Pure: values and tables in, a verdict out.
#include <cstdint>

#include "core/string_table.h"
#include "image/identity.h"
#include "image/supported_firmware.h"

namespace tz {

// 0 when the pair is the image's own vendor and product or one of the supported pairs, -1 otherwise.
int is_supported_pair(const IdentityRecord& image, SupportedFirmware& supported, const char* vendor,
                      const char* product);
// 0 when the ten identity texts matching compares are equal, -1 otherwise.
int identities_equal(const IdentityRecord& a, const IdentityRecord& b);
// 1: the drive already carries the image's firmware; 0: it carries a supported level; -1: neither.
int match_identity(const IdentityRecord& drive, const IdentityRecord& image, SupportedFirmware& supported);
// 0 when one of the identity's area entries bears that name, -1 otherwise.
int has_area_named(const IdentityRecord& identity, const char* name);
// -1: leave the drive alone; 0: it may be considered.
int is_excluded_identity(const IdentityRecord& drive, const IdentityRecord& image, const StringTable& texts);

}  // namespace tz
