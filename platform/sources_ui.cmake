list(APPEND TZ594K_PLATFORM_WIN32_SOURCES
  win32/win32_clock.cpp
  win32/win32_dialogs.cpp
  win32/win32_library.cpp
  win32/win32_threads.cpp
)
list(APPEND TZ594K_PLATFORM_HOST_SOURCES
  host/host_clock.cpp
  host/host_dialogs.cpp
  host/host_threads.cpp
)
