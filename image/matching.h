#pragma once
// Which drives take this image: the supported-pair check of discovery and the choice of targets.
#include <cstdint>

#include "image/identity.h"

namespace tz {

struct Context;

// 0 when the pair is the image's own vendor and product or one of the supported pairs, -1 otherwise.
int is_supported_pair(Context& ctx, const char* vendor, const char* product);
// 0 when the ten identity texts matching compares are equal, -1 otherwise.
int identities_equal(const IdentityRecord& a, const IdentityRecord& b);
// 1: the drive already carries the image's firmware; 0: it carries a supported level; -1: neither.
int match_drive_identity(Context& ctx, std::uint32_t drive_index);
// 0 when one of the identity's area entries bears that name, -1 otherwise.
int has_area_named(const IdentityRecord& identity, const char* name);
// -1: leave the drive alone; 0: it may be considered.
int is_excluded_drive(Context& ctx, std::uint32_t drive_index);
// Marks candidates as targets (6) or already updated (5). 0: no target and none updated; 5: only
// updated drives; 6: several targets; 7: one target.
int select_update_targets(Context& ctx);

}  // namespace tz
