# Version records: each executable carries its version in the Windows version-resource
# layout, in an ELF section that GetFileVersionInfoSizeA and friends read back.
#
# brimvale_embed_version(target description internal_name)
#   Generates <target>_version.cpp from the project's version and the BRIMVALE_COMPANY,
#   BRIMVALE_PRODUCT and BRIMVALE_COPYRIGHT strings, compiles it as an OBJECT library (an
#   object file is always linked whole, so the linker cannot drop the record) and links that
#   into the target.

# The generator is a host tool built once, from the same record builder the reader uses.
if(NOT TARGET brimvale_versiongen)
  get_filename_component(_brimvale_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
  add_executable(brimvale_versiongen
    ${_brimvale_root}/platform/tools/versiongen.cpp
    ${_brimvale_root}/platform/versioninfo.cpp)
  target_include_directories(brimvale_versiongen PRIVATE ${_brimvale_root})
  set_target_properties(brimvale_versiongen PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
endif()

function(brimvale_embed_version target description internal_name)
  set(source "${CMAKE_CURRENT_BINARY_DIR}/${target}_version.cpp")
  add_custom_command(
    OUTPUT "${source}"
    COMMAND brimvale_versiongen
      --output "${source}"
      --version "${PROJECT_VERSION}"
      --company "${BRIMVALE_COMPANY}"
      --product "${BRIMVALE_PRODUCT}"
      --copyright "${BRIMVALE_COPYRIGHT}"
      --description "${description}"
      --internal-name "${internal_name}"
      --original-filename "$<TARGET_FILE_NAME:${target}>"
    DEPENDS brimvale_versiongen
    COMMENT "Generating the version record of ${target}"
    VERBATIM)
  add_library(${target}_version OBJECT "${source}")
  target_link_libraries(${target} PRIVATE ${target}_version)
endfunction()
