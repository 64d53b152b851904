#include "platform/win32/win32_clock.h"

#include <windows.h>

#include "platform/win32/win32_library.h"

namespace tz::platform::win32 {

namespace {

constexpr unsigned timerr_noerror = 0;

}  // namespace

Win32Clock::Win32Clock() {
  // Sleep ends on a tick of the system timer, 15.6 ms apart by default: a 30 ms bar mark would
  // take up to 47 ms. A 1 ms period keeps the pacing close to its nominal times. The timer calls
  // live in winmm.dll, which is no library the system always maps from its own folder: it is
  // loaded from there by hand rather than imported (see win32_library.h).
  const HMODULE winmm = load_system_library("winmm.dll");
  if (winmm != nullptr) {
    const auto begin_period = library_entry<TimePeriodEntry>(winmm, "timeBeginPeriod");
    end_period_ = library_entry<TimePeriodEntry>(winmm, "timeEndPeriod");
    fine_timer_ = begin_period != nullptr && end_period_ != nullptr && begin_period(1) == timerr_noerror;
    if (fine_timer_) {
      timer_library_ = winmm;
    } else {
      FreeLibrary(winmm);
    }
  }
  LARGE_INTEGER frequency{};
  LARGE_INTEGER count{};
  if (QueryPerformanceFrequency(&frequency) != 0 && frequency.QuadPart > 0 && QueryPerformanceCounter(&count) != 0) {
    frequency_ = frequency.QuadPart;
    start_ = count.QuadPart;
  } else {
    start_ = GetTickCount();
  }
}

Win32Clock::~Win32Clock() {
  if (!fine_timer_) return;
  end_period_(1);
  FreeLibrary(static_cast<HMODULE>(timer_library_));
}

std::int32_t Win32Clock::now_ms() {
  if (frequency_ == 0) {
    return static_cast<std::int32_t>(GetTickCount() - static_cast<DWORD>(start_));
  }
  LARGE_INTEGER count{};
  QueryPerformanceCounter(&count);
  const std::int64_t elapsed = count.QuadPart - start_;
  // Whole seconds and the rest apart, so that the product cannot overflow in a long run.
  const std::int64_t ms = elapsed / frequency_ * 1000 + elapsed % frequency_ * 1000 / frequency_;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms)));
}

void Win32Clock::sleep_until(std::int32_t deadline_ms) {
  const std::int32_t remaining =
      static_cast<std::int32_t>(static_cast<std::uint32_t>(deadline_ms) - static_cast<std::uint32_t>(now_ms()));
  // Sleep may end up to one timer period late, never early by more than the clock's own
  // rounding; the caller checks the clock again.
  if (remaining > 0) Sleep(static_cast<DWORD>(remaining));
}

}  // namespace tz::platform::win32
