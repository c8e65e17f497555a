# Warnings for our own code only.
add_library(kov_warnings INTERFACE)
target_compile_options(kov_warnings INTERFACE -Wall -Wextra -Werror)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  # GCC 12 reports impossible overlaps in inlined std::string copies at -O3 (a known false
  # positive of its -Wrestrict), which would fail every release build.
  target_compile_options(kov_warnings INTERFACE -Wno-restrict)
endif()

# kov_layer(NAME DEPS...): the static library kov_NAME from src/NAME/*.cpp.
function(kov_layer name)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${name}/*.cpp)
  add_library(kov_${name} STATIC ${sources})
  target_include_directories(kov_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(kov_${name} PUBLIC ${ARGN} PRIVATE kov_warnings)
endfunction()
