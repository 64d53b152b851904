#pragma once
// The program's entry: start-up in its fixed order, then the run flow; returns the exit code.
#include <cstdint>

#include "platform/windows.h"

namespace tz {

struct Context;

inline constexpr std::uint16_t program_icon_id = 177;

std::int32_t program_entry(Context& ctx, const char* arguments);

void choose_language(Context& ctx);
void determine_program_folder(Context& ctx);
platform::MessageAnswer main_window_procedure(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam);

}  // namespace tz
