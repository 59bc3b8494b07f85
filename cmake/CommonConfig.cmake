# SPDX-License-Identifier: MIT
# Flags every Tavolin target shares. Never -ffast-math: the three arithmetic
# types must render reproducibly. -ffp-contract=off: no multiply-add fused
# where the CPU has it, so every build rounds each operation alike.
add_library(tavolin_common_flags INTERFACE)
target_compile_features(tavolin_common_flags INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)
target_include_directories(tavolin_common_flags INTERFACE ${PROJECT_SOURCE_DIR})
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(tavolin_common_flags INTERFACE
    -Wall -Wextra -Wpedantic -Wno-psabi -ffp-contract=off)
  if(TAVOLIN_WERROR)
    target_compile_options(tavolin_common_flags INTERFACE -Werror)
  endif()
endif()

# Adds every .cpp in DIR (non-recursive) to a static library NAME that links
# the given lower-layer targets. Each subsystem keeps its sources flat in its
# own folder; a folder with headers only becomes an interface library.
function(tavolin_library name dir)
  file(GLOB _srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(_srcs)
    add_library(${name} STATIC ${_srcs})
    target_link_libraries(${name} PUBLIC tavolin_common_flags ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE tavolin_common_flags ${ARGN})
  endif()
endfunction()
