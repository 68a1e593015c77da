# The virtual target board's frame parser and monitor, fed arbitrary byte
# streams from the PC side in memory (no pseudo-terminal). The source lives
# with the board's tests; it reaches the board's internal headers.
add_executable(fuzz_vtarget_frames ${PROJECT_SOURCE_DIR}/tests/sim/fuzz/FuzzVtargetFrames.cpp)
target_include_directories(fuzz_vtarget_frames PRIVATE ${PROJECT_SOURCE_DIR}/sim/src)
target_link_libraries(fuzz_vtarget_frames PRIVATE vtarget_core ulvex_warnings)
target_link_options(fuzz_vtarget_frames PRIVATE -fsanitize=fuzzer)

file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/corpus_vtarget_frames)
add_test(NAME fuzz_vtarget_frames
  COMMAND fuzz_vtarget_frames -max_total_time=${ULVEX_FUZZ_SECONDS} -print_final_stats=1
    ${CMAKE_CURRENT_BINARY_DIR}/corpus_vtarget_frames
    ${CMAKE_CURRENT_SOURCE_DIR}/corpus_vtarget_frames)
set_tests_properties(fuzz_vtarget_frames PROPERTIES LABELS fuzz)

# The boot loaders and the programs they hand over to, on a simulated clock.
add_executable(fuzz_vtarget_boot ${PROJECT_SOURCE_DIR}/tests/sim/fuzz/FuzzVtargetBoot.cpp)
target_include_directories(fuzz_vtarget_boot PRIVATE ${PROJECT_SOURCE_DIR}/sim/src)
target_link_libraries(fuzz_vtarget_boot PRIVATE vtarget_core ulvex_warnings)
target_link_options(fuzz_vtarget_boot PRIVATE -fsanitize=fuzzer)

file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/corpus_vtarget_boot)
add_test(NAME fuzz_vtarget_boot
  COMMAND fuzz_vtarget_boot -max_total_time=${ULVEX_FUZZ_SECONDS} -print_final_stats=1
    ${CMAKE_CURRENT_BINARY_DIR}/corpus_vtarget_boot
    ${CMAKE_CURRENT_SOURCE_DIR}/corpus_vtarget_boot)
set_tests_properties(fuzz_vtarget_boot PROPERTIES LABELS fuzz)
