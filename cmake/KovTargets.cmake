# Warnings for our own code only.
add_library(kov_warnings INTERFACE)
target_compile_options(kov_warnings INTERFACE -Wall -Wextra -Werror)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  # GCC 12 reports impossible overlaps in inlined std::string copies at -O3 (a known false
  # positive of its -Wrestrict), which would fail every release build.
  target_compile_options(kov_warnings INTERFACE -Wno-restrict)
endif()

# The layers, lowest first. A layer may include headers of its own layer and the ones before.
set(KOV_LAYERS platform core model net content mail_control engine session web_control ui)

# kov_layer(NAME DEPS...): the static library kov_NAME from src/NAME/*.cpp. Its include folder
# is a view of src/ that holds only this layer and the layers before it (links in the build
# folder), so the compiler itself refuses an upward include.
function(kov_layer name)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${name}/*.cpp)
  add_library(kov_${name} STATIC ${sources})
  set(view ${CMAKE_BINARY_DIR}/layer-include/${name})
  file(MAKE_DIRECTORY ${view})
  foreach(layer ${KOV_LAYERS})
    if(EXISTS ${PROJECT_SOURCE_DIR}/src/${layer} AND NOT EXISTS ${view}/${layer})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${layer} ${view}/${layer} SYMBOLIC)
    endif()
    if(layer STREQUAL name)
      break()
    endif()
  endforeach()
  target_include_directories(kov_${name} PUBLIC ${view})
  target_link_libraries(kov_${name} PUBLIC ${ARGN} PRIVATE kov_warnings)
endfunction()
