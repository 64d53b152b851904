#include "platform/win32/win32_aspi.h"

#include <windows.h>

#include <cstdint>

namespace tz::platform::win32 {

static_assert(sizeof(void*) == 4, "the ASPI request block holds 32-bit addresses");

namespace {

// The two entry points of ASPI for Win32, both __cdecl.
using GetSupportInfoEntry = DWORD(__cdecl*)();
using SendCommandEntry = DWORD(__cdecl*)(void*);

}  // namespace

Handle Win32Aspi::load_library(const char* name) { return reinterpret_cast<Handle>(LoadLibraryA(name)); }

ProcAddress Win32Aspi::get_proc_address(Handle module, const char* name) {
  return reinterpret_cast<ProcAddress>(GetProcAddress(reinterpret_cast<HMODULE>(module), name));
}

std::uint32_t Win32Aspi::get_support_info(ProcAddress entry) { return reinterpret_cast<GetSupportInfoEntry>(entry)(); }

std::uint32_t Win32Aspi::send_command(ProcAddress entry, std::uint8_t* request_block) {
  return reinterpret_cast<SendCommandEntry>(entry)(request_block);
}

Handle Win32Aspi::create_event(bool manual_reset, bool initially_signalled) {
  return reinterpret_cast<Handle>(
      CreateEventA(nullptr, manual_reset ? TRUE : FALSE, initially_signalled ? TRUE : FALSE, nullptr));
}

std::uint32_t Win32Aspi::wait_for_single_object(Handle object, std::uint32_t milliseconds) {
  return WaitForSingleObject(reinterpret_cast<HANDLE>(object), milliseconds);
}

bool Win32Aspi::reset_event(Handle event) { return ResetEvent(reinterpret_cast<HANDLE>(event)) != 0; }

bool Win32Aspi::close_handle(Handle handle) { return CloseHandle(reinterpret_cast<HANDLE>(handle)) != 0; }

std::uint32_t Win32Aspi::buffer_address(void* buffer) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(buffer));
}

}  // namespace tz::platform::win32
