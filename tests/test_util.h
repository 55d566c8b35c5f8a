// Test helpers shared by the unit tests of every module: fresh temporary file names and whole-file reads.
#ifndef TOBRELTOOLS_TESTS_TEST_UTIL_H_
#define TOBRELTOOLS_TESTS_TEST_UTIL_H_

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tobrel {
namespace test {

// A path in a folder of this test run's own (TOBREL_TEST_TMPDIR when CTest
// sets it), unique per test, so that parallel tests never share files.
inline std::string tempPath(const std::string& name) {
  const char* base = std::getenv("TOBREL_TEST_TMPDIR");
  std::string dir = base ? base : (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string unique = info ? std::string(info->test_suite_name()) + "." + info->name() : "global";
  std::error_code ignored;
  std::filesystem::create_directories(dir, ignored);
  return dir + "/" + unique + "." + name;
}

inline std::vector<unsigned char> bytesOf(const std::string& path) {
  std::vector<unsigned char> out;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    int c;
    while ((c = std::fgetc(f)) != EOF) out.push_back(static_cast<unsigned char>(c));
    std::fclose(f);
  }
  return out;
}

inline void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

}  // namespace test
}  // namespace tobrel

#endif  // TOBRELTOOLS_TESTS_TEST_UTIL_H_
