# SPDX-License-Identifier: GPL-3.0-or-later
# What `cmake --graphviz` draws (make layers): our libraries and the program, not the tests,
# benchmarks, fuzzers, generated targets or outside libraries.
set(GRAPHVIZ_EXTERNAL_LIBS OFF)
set(GRAPHVIZ_GENERATE_PER_TARGET OFF)
set(GRAPHVIZ_GENERATE_DEPENDERS OFF)
set(GRAPHVIZ_IGNORE_TARGETS "_tests$" "_fuzzer$" "_bench$" "^olvane_test_support$"
    "^olvane_x11_window$" "^ws_echo_server$" "_autogen" "_resources_" "^olvane_wayland")
