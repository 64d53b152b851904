#pragma once
// Getting a drive ready: tray open (asked for or ejected), device handles of the targets held
// open and their volumes locked against other programs.
#include <cstdint>

#include "platform/types.h"

namespace tz {

struct DriveLink;

inline constexpr int tray_open = 0;
inline constexpr int tray_closed = -1;
inline constexpr int tray_unreadable = 2;
inline constexpr int user_chose_exit = 6;
inline constexpr int tray_could_not_open = 2;

// 0 open (or not to be asked), -1 closed, 2 unreadable; refreshes media_present.
int query_tray_state(DriveLink& link);
// Prompts until the tray is open (0) or the user chooses EXIT (6). With hide_window 1 the
// processing window is closed around each prompt and opened again afterwards.
int wait_for_open_tray(DriveLink& link, int hide_window);
// Silent mode: ejects a closed tray. 0 when the tray is open, 2 when it could not be opened.
int auto_open_tray(DriveLink& link);
// Ejects (or only stops, with the eject switch off) and checks that the tray opened: 0 or -1.
int eject_and_check(DriveLink& link, platform::Handle window);
// Pass-through only: opens the device of every target (status 6 or 7); -1 at the first failure.
int open_target_handles(DriveLink& link);
void close_target_handles(DriveLink& link);
// Locks the volume of every target, servicing messages on the way; -1 at the first failure.
int lock_target_volumes(DriveLink& link, platform::Handle window);
void unlock_locked_volumes(DriveLink& link);
// Pass-through: locks (1) or unlocks (0) the current drive's volume; ASPI has nothing to lock.
int set_volume_lock(DriveLink& link, std::uint8_t lock);

}  // namespace tz
