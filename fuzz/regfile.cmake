# The .reg reader.
add_executable(fuzz_regfile ${CMAKE_CURRENT_LIST_DIR}/fuzz_regfile.cpp)
target_compile_options(fuzz_regfile PRIVATE -fsanitize=fuzzer,address,undefined -fno-omit-frame-pointer)
target_link_options(fuzz_regfile PRIVATE -fsanitize=fuzzer,address,undefined -fno-omit-frame-pointer)
target_link_libraries(fuzz_regfile PRIVATE TobrelTools)
