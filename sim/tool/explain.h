#pragma once
// What a trace ("/TRO") says about a run, in a few lines for support staff: the drive, the
// transport and the switches, each phase reached with its attempts, the last failing command with
// its sense in words, and a verdict on the drive's ROM. Read by `tz594k-sim explain TRACE` and by
// tz594k-explain.exe, its Windows console twin in the release.
#include <cstdint>
#include <string>

#include "sim/trace_file.h"

namespace tz::sim {

enum class RomVerdict : std::uint8_t {
  untouched,               // no rewrite request reached the drive, or the drive refused each one
  rewritten_and_verified,  // the last rewrite answered GOOD and a verify after it GOOD
  rewritten_not_verified,  // the last rewrite answered GOOD, no verify after it did
  unknown,                 // a rewrite request went out and no clean answer came back, or the
                           // trace was cut off where the rewrite was due
};

const char* verdict_words(RomVerdict verdict);

// The sense key's name, and the words of ASC/ASCQ among the codes the drive family reports
// (empty when the pair is not among them).
const char* sense_key_name(std::uint8_t key);
const char* sense_code_words(std::uint8_t asc, std::uint8_t ascq);

// The explanation of a parsed trace, lines ended by '\n'.
std::string explain(const TraceFile& trace, RomVerdict& verdict);

// The command line of both programs: reads the trace named, prints the explanation; 0 when it was
// read, 2 when it could not be read (the reason on stderr).
int explain_main(const char* program, int argc, char** argv);

}  // namespace tz::sim
