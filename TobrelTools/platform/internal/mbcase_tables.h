// Internal: the double-byte case pairs of code page 932, generated at build
// time (see gen/mbcasegen.cpp). Indexed by lead byte, then trail byte; a null
// lead table or a 0 entry means the code keeps its case.
#ifndef TOBRELTOOLS_PLATFORM_INTERNAL_MBCASE_TABLES_H_
#define TOBRELTOOLS_PLATFORM_INTERNAL_MBCASE_TABLES_H_

#if !defined(_WIN32)

namespace tobrel {
namespace mbcase {

extern const unsigned short* const kUpper[256];
extern const unsigned short* const kLower[256];

// For each lead byte that has case pairs, the range of trail bytes they
// span (a quick filter for vector code: every pair lies in one of these).
struct CaseSpan {
  unsigned char lead;
  unsigned char firstTrail;
  unsigned char lastTrail;
};
extern const CaseSpan kUpperSpans[];
extern const int kUpperSpanCount;
extern const CaseSpan kLowerSpans[];
extern const int kLowerSpanCount;

}  // namespace mbcase
}  // namespace tobrel

#endif  // !_WIN32
#endif  // TOBRELTOOLS_PLATFORM_INTERNAL_MBCASE_TABLES_H_
