# The virtual target board, fed arbitrary byte streams from the PC side in
# memory (no pseudo-terminal). The sources live with the board's tests; they
# reach the board's internal headers.

# The frame parser and the monitor.
ulvex_fuzz_target(fuzz_vtarget_frames
  ${PROJECT_SOURCE_DIR}/tests/sim/fuzz/FuzzVtargetFrames.cpp corpus_vtarget_frames)
# The boot loaders and the programs they hand over to, on a simulated clock.
ulvex_fuzz_target(fuzz_vtarget_boot
  ${PROJECT_SOURCE_DIR}/tests/sim/fuzz/FuzzVtargetBoot.cpp corpus_vtarget_boot)
# The MERV-A memory model, fed the accesses the monitor makes for the PC.
ulvex_fuzz_target(fuzz_vtarget_merv
  ${PROJECT_SOURCE_DIR}/tests/sim/fuzz/FuzzVtargetMerv.cpp corpus_vtarget_merv)

foreach(target fuzz_vtarget_frames fuzz_vtarget_boot fuzz_vtarget_merv)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/sim)
  target_link_libraries(${target} PRIVATE vtarget_core)
endforeach()
