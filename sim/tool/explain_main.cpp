// tz594k-explain TRACE: the trace reader for support staff, as a Windows console program beside
// the release (the same reading as `tz594k-sim explain TRACE`).
#include "sim/tool/explain.h"

int main(int argc, char** argv) { return tz::sim::explain_main("tz594k-explain", argc, argv); }
