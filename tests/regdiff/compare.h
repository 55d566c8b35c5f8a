// Comparison of two registry transcripts (see transcript.cpp): one written on
// Linux against the registry store, one written under Wine against Wine's
// registry. Where Wine is known to differ from Windows, both transcripts are
// normalised first (each rule in compare.cpp says how Wine differs); every
// other difference is a failure.
#ifndef TOBRELTOOLS_TESTS_REGDIFF_COMPARE_H_
#define TOBRELTOOLS_TESTS_REGDIFF_COMPARE_H_

#include <string>
#include <vector>

namespace tobrel {
namespace regdiff {

// The lines of a transcript with the known differences of Wine normalised.
std::vector<std::string> normalise(const std::vector<std::string>& lines);

// Whether two transcripts agree once the calls that the Windows transcript
// skipped under Wine are left out of both and both are normalised; the
// first differences go to *report.
bool agree(std::vector<std::string> linuxLines, std::vector<std::string> windowsLines, std::string* report);

// Compares the transcripts in two files; prints the first differences to
// stderr. 0 when they agree, 1 when they differ, 2 when a file cannot be
// read.
int compareFiles(const char* linuxPath, const char* windowsPath);

}  // namespace regdiff
}  // namespace tobrel

#endif  // TOBRELTOOLS_TESTS_REGDIFF_COMPARE_H_
