// Internal to the library: the ways the string loops can run on this host.
// The vector forms give the same results as the plain byte loops; tests run
// every form the host has against the plain one.
#ifndef TOBRELTOOLS_STRING_INTERNAL_VECTOR_PATH_H_
#define TOBRELTOOLS_STRING_INTERNAL_VECTOR_PATH_H_


namespace tobrel {

// Wider vectors are not offered: in the string benchmark a 64-byte
// (AVX-512) candidate scan ran no faster than the AVX2 one.
enum class VectorPath {
  kPlain,   // byte by byte (every host)
  kSse2,    // 16-byte vectors (x86 hosts other than Windows)
  kAvx2,    // 32-byte vectors (the same, where the processor has AVX2)
};

// Whether this build and processor can run path; kPlain always can.
bool vectorPathAvailable(VectorPath path);

// The fastest path available, chosen once.
VectorPath fastestVectorPath();

}  // namespace tobrel

// The vector forms are built on x86 hosts other than Windows; AVX2 code is
// compiled per function (or per file, byte_scan_avx2.cpp) and runs only
// where the processor has it.
#if !defined(_WIN32) && defined(__SSE2__)
#define TOBREL_VECTOR_SSE2 1
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define TOBREL_VECTOR_AVX2 1
#define TOBREL_TARGET_AVX2 __attribute__((target("avx2")))
#endif
#endif

#endif  // TOBRELTOOLS_STRING_INTERNAL_VECTOR_PATH_H_
