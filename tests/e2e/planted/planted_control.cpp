// The control of the planted-library test: a program that imports winmm.dll the ordinary way. The
// planted library beside it must leave its mark, or the test could not see a program take it in.
#include <windows.h>
// After windows.h, which it builds on.
#include <mmsystem.h>

#include <cstdio>

int main() {
  const MMRESULT result = timeBeginPeriod(1);
  if (result == TIMERR_NOERROR) timeEndPeriod(1);
  std::printf("timeBeginPeriod: %u\n", static_cast<unsigned>(result));
  return 0;
}
